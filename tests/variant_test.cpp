#include "platform/variant/variant.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/math.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/variant_stream.hpp"
#include "tests/support/test_seed.hpp"

#include <gtest/gtest.h>

#include <pthread.h>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

using tavi::MetaType;
using tavi::Variant;

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

namespace {

// No operator==, and too large to live inside a Variant.
struct Opaque {
    std::array<double, 8> data{};
};
// No operator==, stored inline.
struct SmallOpaque {
    int value = 0;
};

enum class Colour : unsigned char { RED = 1, GREEN = 2 };
enum Option : int { OPTION_A = 1, OPTION_B = 4 };

std::string write(const Variant& value, bool* failed = nullptr) {
    std::string text;
    tavi::FixedMemoryStream memory(text);
    tavi::TextStream stream(memory);
    stream << value;
    if (failed)
        *failed = stream.fail();
    return text;
}

// Reads `text` into `value`; whether the read failed. `complete` tells whether
// nothing but white space was left.
bool readFails(Variant& value, std::string_view text, bool* complete = nullptr) {
    tavi::FixedMemoryStream memory(text);
    tavi::TextStream stream(memory);
    stream >> value;
    stream.skipWhiteSpace();
    if (complete)
        *complete = stream.peek() == tavi::BasicStream::END_OF_STREAM;
    return stream.fail();
}

// Reads `text` into a value of `type`; void when the text did not read completely.
Variant read(const MetaType* type, const std::string& text) {
    Variant value(type);
    bool complete = false;
    return readFails(value, text, &complete) || !complete ? Variant() : value;
}

// A value of each family of built-in types and a different one of the same type.
struct Sample {
    const char* typeName;
    Variant value;
    Variant other;
};

std::vector<Sample> builtinSamples() {
    const std::vector<Variant> nested{Variant(1), Variant("a, b)"), Variant(),
                                      Variant(std::vector<Variant>{Variant(2.5)}),
                                      Variant(Kor::Vector2(1, 2))};
    return {
        {"bool", Variant(true), Variant(false)},
        {"char", Variant(' '), Variant('a')},
        {"int8", Variant(int8_t(-128)), Variant(int8_t(5))},
        {"uint16", Variant(uint16_t(65535)), Variant(uint16_t(1))},
        {"int", Variant(std::numeric_limits<int32_t>::min()), Variant(int32_t(0))},
        {"uint64", Variant(std::numeric_limits<uint64_t>::max()), Variant(uint64_t(1))},
        {"long long", Variant(-5LL), Variant(5LL)},
        {"float", Variant(0.1f), Variant(-0.1f)},
        {"double", Variant(1e-300), Variant(1.0 / 3.0)},
        {"string", Variant(" say \"hi\" \\ "), Variant(std::string())},
        {"wstring", Variant(L"gr\u00fc\u00dfe \u4e16"), Variant(L"x")},
        {"VariantVector", Variant(nested), Variant(std::vector<Variant>{})},
        {"StringVector", Variant(std::vector<std::string>{"", "two words", "q\"uote"}),
         Variant(std::vector<std::string>{"x"})},
        {"const void*", Variant(static_cast<const void*>(&typeid(int))),
         Variant(static_cast<const void*>(nullptr))},
        {"Vector3", Variant(Kor::Vector3(1, 2, 3)), Variant(Kor::Vector3())},
        {"Quaternion", Variant(Kor::Quaternion(0, 0.6f, 0, 0.8f)), Variant(Kor::Quaternion())},
        {"Matrix", Variant(Kor::Matrix().setTranslation(Kor::Vector3(1, 2, 3))), Variant(Kor::Matrix())},
        {"EulerAngles", Variant(Kor::EulerAngles(0.5f, 0.25f, 1)), Variant(Kor::EulerAngles())},
        {"DecomposedMatrix",
         Variant(Kor::DecomposedMatrix(Kor::Vector3(2, 2, 2), Kor::Quaternion(), Kor::Vector3(1, 0, 0))),
         Variant(Kor::DecomposedMatrix())},
        {"DecomposedMatrixPYR",
         Variant(Kor::DecomposedMatrixPYR(Kor::Vector3(1, 1, 1), Kor::Vector3(0.5f, 0, 0), Kor::Vector3())),
         Variant(Kor::DecomposedMatrixPYR())},
    };
}

} // namespace

TEST(Variant, BuiltinTypesCompareHashAndReadBackWhatTheyWrote) {
    for (const Sample& sample : builtinSamples()) {
        SCOPED_TRACE(sample.typeName);
        const Variant& a = sample.value;
        Variant b = a;
        b.mutableData(); // a separate instance holding an equal value
        ASSERT_NE(b.data(), a.data());
        EXPECT_EQ(MetaType::find(sample.typeName), a.type());
        EXPECT_EQ(a, b);
        EXPECT_EQ(a.hash(), b.hash());
        EXPECT_NE(a, sample.other);
        for (const Variant& value : {a, sample.other}) {
            bool failed = true;
            const std::string text = write(value, &failed);
            EXPECT_FALSE(failed);
            EXPECT_EQ(read(value.type(), text), value) << text;
        }
    }
    EXPECT_NE(Variant(), Variant(0));
    std::unordered_set<Variant> set{Variant(1), Variant(int64_t(1)), Variant(1.0), Variant("a"), Variant(1)};
    EXPECT_EQ(set.size(), 4u); // equal numbers of different types differ
    EXPECT_TRUE(set.contains(Variant(std::string("a"))));
}

TEST(Variant, NullTextGivesVoidWithAnError) {
    const wchar_t* wide = nullptr;
    Kor::MessageCapture capture;
    EXPECT_TRUE(Variant(wide).isVoid());
    Variant assigned(42);
    assigned = static_cast<char*>(nullptr);
    EXPECT_TRUE(assigned.isVoid());
    ASSERT_EQ(capture.count(), 2u);
    EXPECT_EQ(capture.messages()[1].priority, Kor::MESSAGE_PRIORITY_ERROR);
}

TEST(Variant, LargeValuesAreSharedUntilWritten) {
    const Variant original(std::vector<Kor::Vector3>(2));
    Variant copy = original; // held inline: copied at once, so writes to it stay apart
    const Variant big(Kor::Matrix::identity);
    Variant bigCopy = big;
    EXPECT_EQ(bigCopy.data(), big.data()); // the matrix was not copied
    bigCopy.mutablePtr<Kor::Matrix>()->setTranslation(Kor::Vector3(1, 2, 3));
    EXPECT_FALSE(big.isShared());
    EXPECT_EQ(*big.castPtr<Kor::Matrix>(), Kor::Matrix::identity);
    copy.mutablePtr<std::vector<Kor::Vector3>>()->push_back(Kor::Vector3(1, 0, 0));
    EXPECT_EQ(original.castPtr<std::vector<Kor::Vector3>>()->size(), 2u);
    EXPECT_EQ(copy.castPtr<std::vector<Kor::Vector3>>()->size(), 3u);

    // Reading text into a shared value detaches it too.
    Variant target = big;
    ASSERT_FALSE(readFails(target, write(Variant(Kor::Matrix().setTranslation(Kor::Vector3(5, 6, 7))))));
    EXPECT_EQ(*big.castPtr<Kor::Matrix>(), Kor::Matrix::identity);
    EXPECT_EQ(target.castPtr<Kor::Matrix>()->translation(), Kor::Vector3(5, 6, 7));
}

TEST(Variant, SharingIsSafeAcrossThreads) {
    const Variant original(Kor::Matrix::identity);
    std::atomic<int> mismatches{0};
    std::vector<std::jthread> threads(4);
    for (std::jthread& thread : threads)
        thread = std::jthread([&original, &mismatches] {
            for (int i = 0; i < 500; ++i) {
                Variant copy = original;
                const Variant second = copy;
                copy.mutablePtr<Kor::Matrix>()->setTranslation(Kor::Vector3(1, 2, 3));
                mismatches += copy == original || second != original;
            }
        });
    threads.clear();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_FALSE(original.isShared());
}

struct alignas(64) CacheLine {
    int value = 0;
};

TEST(Variant, StorageAlignmentAndIdentityOfTypesWithoutEquality) {
    Variant a(CacheLine{3});
    const Variant b = a;
    a.mutablePtr<CacheLine>()->value = 4; // detaches into a new block, which must be aligned too
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.data()) % 64, 0u);
    EXPECT_EQ(b.castPtr<CacheLine>()->value, 3);

    const Variant heap(Opaque{});
    EXPECT_EQ(heap, Variant(heap));     // the very same stored instance
    EXPECT_NE(heap, Variant(Opaque{})); // an equal-looking but separate value
    const Variant inlineValue(SmallOpaque{3});
    EXPECT_NE(inlineValue, Variant(inlineValue)); // a copy is a new instance
}

TEST(Variant, CopyMoveAndAssignKeepValuesAndOwnership) {
    auto owned = std::make_shared<Point>(Point{1, 2});
    {
        Variant a(owned);
        const Variant b(std::string(100, 'x'));
        Variant c = a;
        c = b; // releases the shared_ptr, shares the string
        Variant d = std::move(a);
        swap(d, c);
        c = c; // self-assignment keeps the value
        EXPECT_EQ(c.castPtr<Point>(), owned.get());
        EXPECT_EQ(owned.use_count(), 2);
        d.emplace<Point>(Point{3, 4});
        EXPECT_FALSE(b.isShared());
    }
    EXPECT_EQ(owned.use_count(), 1);
}

TEST(Variant, PointerQualifiersAreKeptAndChecked) {
    Point point{1, 2};
    const Variant mutablePointer(&point);
    const Variant constPointer(static_cast<const Point*>(&point));
    EXPECT_NE(mutablePointer, constPointer);
    Point* writable = nullptr;
    EXPECT_FALSE(constPointer.tryCast(writable));
    EXPECT_FALSE(Variant(point).tryCast(writable)); // a value reads only as pointer to const
    EXPECT_EQ(writable, nullptr);
    EXPECT_EQ(const_cast<Variant&>(constPointer).mutablePtr<Point>(), nullptr);
    EXPECT_EQ(mutablePointer.cast<const Point*>(), &point);

    const auto object = std::make_shared<Point>(Point{7, 8});
    EXPECT_STREQ(Variant(object).typeName(), "shared_ptr<Point>");
    EXPECT_EQ(Variant(object).cast<Point*>(), object.get());
    EXPECT_THROW(Variant(std::shared_ptr<const Point>(object)).cast<Point*>(), tavi::CastError);
}

struct Shape {
    virtual ~Shape() = default;
    virtual int corners() const = 0;
};
struct Square : Shape {
    int corners() const override { return 4; }
};

TEST(Variant, PointersKnowTheirDynamicTypeAndState) {
    Square square;
    const Variant pointer(static_cast<const Shape*>(&square));
    EXPECT_EQ(pointer.typeId(), typeid(Square));
    EXPECT_EQ(pointer.castPtr<Shape>()->corners(), 4);
    EXPECT_EQ(Variant(static_cast<Shape*>(nullptr)).typeId(), typeid(Shape));
    EXPECT_EQ(Variant::fromPointer(MetaType::of<Square*>(), &square).castPtr<Square>(), &square);

    Kor::MessageCapture capture;
    EXPECT_TRUE(Variant(MetaType::of<Shape>()).isVoid()); // abstract: no value of it can exist
    EXPECT_TRUE(capture.contains("no default value"));
    EXPECT_TRUE(Variant::fromPointer(MetaType::of<int>(), &square).isVoid());
    EXPECT_EQ(capture.count(), 2u);
}

TEST(Variant, SetTypeConvertsInPlaceAndFailedCastsNameBothTypes) {
    Variant v(42);
    ASSERT_TRUE(v.setType(MetaType::of<std::string>()));
    EXPECT_EQ(v, Variant("42"));
    Variant big(300);
    EXPECT_FALSE(big.setType(MetaType::of<uint8_t>()));
    EXPECT_EQ(big, Variant(300));
    EXPECT_EQ(v.cast<Variant>(), v);
    try {
        (void)Variant(Point{}).cast<std::vector<int>>();
        FAIL() << "cast succeeded";
    } catch (const tavi::CastError& e) {
        EXPECT_STREQ(e.what(), "failed to cast Variant of 'Point' to 'std::vector<int>'");
    }
}

// --- MetaType ---

namespace geometry {
struct Circle {};
} // namespace geometry

struct LateRegistered {};

TEST(MetaType, FindsTypesByNameAliasAndTypeId) {
    EXPECT_EQ(MetaType::find("long"), MetaType::of<int32_t>());
    EXPECT_EQ(MetaType::find("uint64"), MetaType::of<size_t>());
    const MetaType* circle =
        MetaType::registerType<geometry::Circle>("Circle", MetaType::NO_TYPE_NAME_IN_XML);
    EXPECT_EQ(Variant(geometry::Circle{}).type(), circle);
    EXPECT_STREQ(MetaType::of<const geometry::Circle*>()->name(), "const Circle*");
    EXPECT_EQ(MetaType::find("Circle*"), MetaType::of<geometry::Circle*>());
    EXPECT_EQ(MetaType::registerType<geometry::Circle>("Circle"), circle); // again from another module
    Kor::MessageCapture capture;
    EXPECT_FALSE(MetaType::addAlias(circle, "int")); // an alias must not take another type's name
    EXPECT_EQ(MetaType::find("int"), MetaType::of<int>());
    EXPECT_EQ(capture.count(), 1u);
    EXPECT_EQ(MetaType::prettyName(typeid(SmallOpaque)), "(anonymous namespace)::SmallOpaque");
}

TEST(MetaType, ExplicitRegistrationRenamesAnAutomaticOne) {
    const MetaType* automatic = Variant(LateRegistered{}).type();
    Kor::MessageCapture capture;
    EXPECT_EQ(MetaType::registerType<LateRegistered>("Late", 0), automatic);
    // The rename is a misuse that must not go unnoticed; its pointer types follow silently.
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text,
              "tavi::MetaType: type 'LateRegistered' renamed to 'Late' after first use; "
              "register types before using them");
    EXPECT_EQ(MetaType::find("LateRegistered"), automatic); // the old name still finds it
    EXPECT_STREQ(MetaType::of<LateRegistered*>()->name(), "Late*");
}

TEST(MetaType, EnumsAndFlagsRegisterAndReadAsIntegers) {
    const MetaType* colour = MetaType::registerType<Colour>("Colour");
    const MetaType* options = MetaType::registerType<zel::Flags<Option>>("Options");
    EXPECT_EQ(options->kind(), MetaType::Kind::ENUMERATION);
    EXPECT_EQ(Variant(Colour::GREEN).cast<int>(), 2);
    EXPECT_EQ(write(Variant(Colour::GREEN)), "2");
    EXPECT_EQ(read(options, "5"), Variant(zel::Flags<Option>{OPTION_A, OPTION_B}));
    EXPECT_TRUE(read(colour, "256").isVoid());
}

template <int... N>
std::vector<const MetaType*> registerTags(std::integer_sequence<int, N...>) {
    return {MetaType::of<std::integral_constant<int, N>>()...};
}

TEST(MetaType, ConcurrentRegistrationYieldsOneTypeEach) {
    std::vector<std::vector<const MetaType*>> seen(4);
    {
        std::vector<std::jthread> threads;
        for (auto& out : seen)
            threads.emplace_back([&out] { out = registerTags(std::make_integer_sequence<int, 64>()); });
    }
    for (const auto& out : seen)
        EXPECT_EQ(out, seen[0]);
}

// --- text form ---

TEST(VariantStream, OtherTypesAndChosenTextForms) {
    const Variant nan(std::numeric_limits<float>::quiet_NaN());
    EXPECT_TRUE(std::isnan(read(nan.type(), write(nan)).cast<float>()));
    EXPECT_EQ(read(MetaType::of<char16_t>(), write(Variant(char16_t(0x4e16)))), Variant(char16_t(0x4e16)));
    EXPECT_EQ(read(MetaType::of<long double>(), write(Variant(1.5L))), Variant(1.5L));
    // Chosen forms: characters as numbers, floats short, vectors typed.
    EXPECT_EQ(write(Variant('A')), "65");
    EXPECT_EQ(write(Variant(0.1f)), "0.1");
    EXPECT_EQ(write(Variant(std::vector<Variant>{Variant(1u), Variant(), Variant("x")})),
              "[unsigned int(1), void(), string(\"x\")]");
    EXPECT_EQ(write(Variant(std::vector<std::string>{"a", "b c"})), "[\"a\", \"b c\"]");
    EXPECT_EQ(read(MetaType::of<std::string>(), "  word \t"), Variant("word"));
}

TEST(VariantStream, BadInputFailsAndKeepsTheValue) {
    for (const auto& [type, text] : std::vector<std::pair<const MetaType*, std::string>>{
             {MetaType::of<std::string>(), "two words"},
             {MetaType::of<char16_t>(), "70000"},
             {MetaType::find("VariantVector"), "[int(1), nosuchtype(2)]"},
             {MetaType::find("VariantVector"), "[int(1) int(2)]"},
         })
        EXPECT_TRUE(read(type, text).isVoid()) << text;
    Variant kept(std::vector<std::string>{"keep"});
    EXPECT_TRUE(readFails(kept, "[\"a\", b]"));
    EXPECT_EQ(kept, Variant(std::vector<std::string>{"keep"}));
}

// `levels` lists, each the only element of the one around it.
std::string nestedLists(size_t levels) {
    std::string text = "[";
    for (size_t i = 1; i < levels; ++i)
        text += "VariantVector([";
    text += "]";
    for (size_t i = 1; i < levels; ++i)
        text += ")]";
    return text;
}

// Runs `f` on a thread with a stack of `bytes`, as small as an editor's worker may have.
void onSmallStack(size_t bytes, void (*f)()) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* function) -> void* {
                      reinterpret_cast<void (*)()>(function)();
                      return nullptr;
                  },
                  reinterpret_cast<void*>(f)),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

TEST(VariantStream, NestingIsLimitedWithAMessageAndTheValueKept) {
    const MetaType* list = MetaType::find("VariantVector");
    const std::string deepest = nestedLists(tavi::TextStream::MAX_NESTING);
    EXPECT_EQ(write(read(list, deepest)), deepest);

    Kor::MessageCapture capture;
    const Variant kept(std::vector<Variant>{Variant(7)});
    for (const size_t levels : {tavi::TextStream::MAX_NESTING + 1, size_t(11000)}) {
        Variant value = kept;
        EXPECT_TRUE(readFails(value, nestedLists(levels))) << levels;
        EXPECT_EQ(value, kept) << levels;
    }
    ASSERT_EQ(capture.count(), 2u) << "one message per refused read";
    EXPECT_EQ(capture.messages()[0].text, "tavi::TextStream: values nested more than 100 levels deep");
    EXPECT_EQ(capture.messages()[0].priority, 4);

    // What kills a worker thread without a limit.
    onSmallStack(1 << 20, [] {
        Variant value(std::vector<Variant>{});
        EXPECT_TRUE(readFails(value, nestedLists(11000)));
    });
}

TEST(VariantStream, UnwritableValuesFailAndPointersDoNotReadBack) {
    bool failed = false;
    write(Variant(std::vector<Variant>{Variant(Opaque{})}), &failed);
    EXPECT_TRUE(failed);
    Point p;
    const std::string text = write(Variant(&p), &failed);
    EXPECT_FALSE(failed);
    EXPECT_TRUE(read(MetaType::of<Point*>(), text).isVoid());
    EXPECT_EQ(read(MetaType::of<const void*>(), text), Variant(static_cast<const void*>(&p)));
}

// Strings choose their storage per value: inside the Variant while they fit
// their small buffer, in a shared block once longer, so that no copy of any
// string allocates.
TEST(Variant, ShortStringsLiveInsideLongOnesAreSharedUntilWritten) {
    const auto inside = [](const Variant& v) {
        const auto* at = static_cast<const unsigned char*>(v.data());
        const auto* self = reinterpret_cast<const unsigned char*>(&v);
        return at >= self && at < self + sizeof v;
    };
    const Variant shortText(std::string("Camera"));
    const Variant shortCopy = shortText;
    EXPECT_TRUE(inside(shortText) && inside(shortCopy));
    EXPECT_FALSE(shortText.isShared());

    const std::string longValue(64, 'l');
    const Variant longText(longValue);
    Variant longCopy = longText;
    EXPECT_FALSE(inside(longText));
    EXPECT_EQ(longCopy.data(), longText.data());
    EXPECT_TRUE(longText.isShared());
    EXPECT_EQ(longCopy, longText);
    EXPECT_EQ(longCopy.hash(), Variant(longValue).hash());
    EXPECT_FALSE(inside(Variant(std::string(16, 'x')))) << "one past the small buffer";
    // The threshold is the standard library's own small buffer, for every
    // character type: a longer one would hold strings inline whose copies allocate.
    EXPECT_EQ(tavi::variant_details::smallStringCapacity<char>, std::string().capacity());
    EXPECT_EQ(tavi::variant_details::smallStringCapacity<wchar_t>, std::wstring().capacity());
    EXPECT_EQ(tavi::variant_details::smallStringCapacity<char16_t>, std::u16string().capacity());
    EXPECT_TRUE(inside(Variant(std::string(15, 'x'))));

    // Writing detaches the copy, back inside its Variant.
    longCopy.mutablePtr<std::string>()->append("!");
    EXPECT_TRUE(inside(longCopy));
    EXPECT_FALSE(longText.isShared());
    EXPECT_EQ(*longText.castPtr<std::string>(), longValue);
    EXPECT_EQ(*longCopy.castPtr<std::string>(), longValue + "!");
    EXPECT_NE(longCopy, longText);

    // Wide strings follow the same rule with their own (smaller) buffer.
    const Variant wide(std::wstring(40, L'w'));
    const Variant wideCopy = wide;
    EXPECT_EQ(wideCopy.data(), wide.data());
    EXPECT_TRUE(inside(Variant(std::wstring(L"ab"))));
    std::string read;
    EXPECT_TRUE(longText.tryCast(read) && read == longValue);
}

// Random copies, moves, swaps, assignments and writes of strings of every
// length against plain std::strings.
TEST(Variant, StringStorageFollowsAModelThroughRandomOperations) {
    const unsigned seed = orv::test::testSeed();
    std::mt19937 random(seed);
    std::vector<Variant> values(6);
    std::vector<std::string> model(6);
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = model[i];
    for (int step = 0; step < 2000; ++step) {
        const size_t a = random() % values.size(), b = random() % values.size();
        switch (random() % 6) {
            case 0: {
                const std::string text(random() % 40, char('a' + random() % 26));
                values[a] = text;
                model[a] = text;
                break;
            }
            case 1:
                values[a] = values[b];
                model[a] = model[b];
                break;
            case 2:
                if (a != b) { // the moved-from Variant is void; filled again
                    values[a] = std::move(values[b]);
                    model[a] = model[b];
                    values[b] = model[b];
                }
                break;
            case 3:
                swap(values[a], values[b]);
                std::swap(model[a], model[b]);
                break;
            case 4: {
                const std::string tail(random() % 12, '+');
                values[a].mutablePtr<std::string>()->append(tail);
                model[a] += tail;
                break;
            }
            case 5:
                values[a] = Variant(values[b]);
                model[a] = model[b];
                break;
        }
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
        for (size_t i = 0; i < values.size(); ++i) {
            ASSERT_NE(values[i].castPtr<std::string>(), nullptr);
            ASSERT_EQ(*values[i].castPtr<std::string>(), model[i]);
            ASSERT_EQ(values[i] == values[(i + 1) % values.size()],
                      model[i] == model[(i + 1) % model.size()]);
        }
    }
}
