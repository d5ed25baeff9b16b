// Seeded round trips: a generator fills object trees with values that are
// hard to write as text (extreme and negative-zero floats, markup, quotes,
// whitespace, non-ASCII and long strings); each tree is written, read into a
// fresh object and written again. Both texts must be identical and every
// value equal, floats to the bit. A failure names its seed.

#include "platform/kor/math/quaternion.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/variant/memory_stream.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace round_trip {

struct Values {
    bool flag = false;
    int8_t tiny = 0;
    uint16_t small = 0;
    int32_t number = 0;
    uint32_t unsignedNumber = 0;
    int64_t big = 0;
    uint64_t huge = 0;
    float real = 0;
    double precise = 0;
    std::string text;
    std::wstring wide;
    Kor::Vector3 position;
    Kor::Quaternion rotation;
};

struct Nested {
    std::string label;
    Values values;
    Values more;
    float last = 0;
};

// Declared collections next to values.
struct Shelf {
    std::string label;
    std::vector<tavi::Variant> items;
    std::vector<std::string> tags;
    std::vector<float> weights;
    std::vector<Kor::Vector3> points;
    Values values;
};

} // namespace round_trip

template <>
struct orv::TypeDeclaration<round_trip::Shelf> {
    static constexpr const char* name = "Shelf";
    static void declare(orv::Builder<round_trip::Shelf>& type) {
        using S = round_trip::Shelf;
        type.property("label", &S::label)
            .collection("items", &S::items)
            .collection("tags", &S::tags)
            .collection("weights", &S::weights)
            .collection("points", &S::points)
            .object("values", &S::values);
    }
};

template <>
struct orv::TypeDeclaration<round_trip::Values> {
    static constexpr const char* name = "Values";
    static void declare(orv::Builder<round_trip::Values>& type) {
        using V = round_trip::Values;
        type.property("flag", &V::flag)
            .property("tiny", &V::tiny)
            .property("small", &V::small)
            .property("number", &V::number)
            .property("unsignedNumber", &V::unsignedNumber)
            .property("big", &V::big)
            .property("huge", &V::huge)
            .property("real", &V::real)
            .property("precise", &V::precise)
            .property("text", &V::text)
            .property("wide", &V::wide)
            .property("position", &V::position)
            .property("rotation", &V::rotation);
    }
};

template <>
struct orv::TypeDeclaration<round_trip::Nested> {
    static constexpr const char* name = "Nested";
    static void declare(orv::Builder<round_trip::Nested>& type) {
        using N = round_trip::Nested;
        type.property("label", &N::label)
            .object("values", &N::values)
            .object("more", &N::more)
            .property("last", &N::last);
    }
};

namespace {

using orv::XMLSerializer;
using Format = XMLSerializer::Format;

// --- the generator ----------------------------------------------------------------

class Generator {
public:
    explicit Generator(uint64_t seed) : m_random(seed) {}

    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }
    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }

    template <class T>
    T integer() {
        using L = std::numeric_limits<T>;
        const T specials[] = {0, 1, L::max(), L::min(), T(L::max() - 1), static_cast<T>(-1)};
        if (chance(0.5))
            return specials[below(std::size(specials))];
        return std::uniform_int_distribution<T>(L::min(), L::max())(m_random);
    }

    template <class F>
    F real() {
        using L = std::numeric_limits<F>;
        const F specials[] = {F(0),           -F(0),           L::max(),         L::lowest(),  L::min(),
                              -L::min(),      L::denorm_min(), -L::denorm_min(), L::epsilon(), L::infinity(),
                              -L::infinity(), L::quiet_NaN(),  F(0.1),           F(1) / F(3),  F(-1.5e10)};
        if (chance(0.5))
            return specials[below(std::size(specials))];
        // Any finite bit pattern.
        using Bits = std::conditional_t<sizeof(F) == 4, uint32_t, uint64_t>;
        F value;
        do
            value = std::bit_cast<F>(std::uniform_int_distribution<Bits>()(m_random));
        while (!std::isfinite(value));
        return value;
    }

    // A code point XML can carry: no control characters but tab, newline and
    // carriage return, no surrogates, no U+FFFE/U+FFFF.
    char32_t codePoint() {
        static const char32_t specials[] = {U'<',  U'&', U'>', U'"',  U'\'', U'\\', U' ', U'\t',        U'\n',
                                            U'\r', U'é', U'ß', U'日', U'本', U'€',  U'😀', U'\U0010FFFD'};
        switch (below(3)) {
            case 0:
                return specials[below(std::size(specials))];
            case 1:
                return char32_t(0x20 + below(0x5F)); // printable ASCII
            default:
                for (;;) {
                    const auto c = char32_t(0x20 + below(0x10FFFF - 0x20));
                    if ((c < 0x7F || c > 0x9F) && (c < 0xD800 || c > 0xDFFF) && c != 0xFFFE && c != 0xFFFF)
                        return c;
                }
        }
    }

    std::u32string codePoints() {
        const size_t lengths[] = {0, 1, 2, 5, 20, 3000};
        std::u32string text(lengths[below(std::size(lengths))], U' ');
        for (char32_t& c : text)
            c = codePoint();
        return text;
    }

    std::string text() {
        std::string out;
        for (const char32_t c : codePoints())
            appendUtf8(out, c);
        return out;
    }

    std::wstring wide() {
        const std::u32string points = codePoints();
        return std::wstring(points.begin(), points.end());
    }

    void fill(round_trip::Values& v) {
        v.flag = chance(0.5);
        v.tiny = integer<int8_t>();
        v.small = integer<uint16_t>();
        v.number = integer<int32_t>();
        v.unsignedNumber = integer<uint32_t>();
        v.big = integer<int64_t>();
        v.huge = integer<uint64_t>();
        v.real = real<float>();
        v.precise = real<double>();
        v.text = text();
        v.wide = wide();
        v.position = Kor::Vector3(real<float>(), real<float>(), real<float>());
        v.rotation = Kor::Quaternion(real<float>(), real<float>(), real<float>(), real<float>());
    }

    void fill(round_trip::Nested& n) {
        n.label = text();
        fill(n.values);
        fill(n.more);
        n.last = real<float>();
    }

    // --- trees of generic objects and collections ---

    static constexpr int MAX_DEPTH = 3;

    // Keys that need escaping, look like paths or numbers, or are not ASCII.
    std::string key() {
        static const char* const keys[] = {"a",          "speed",    "a.b",     "x<y>", "q\"uote'",
                                           "amp&",       "tab\tkey", "ünïcödé", "日本", "_hidden",
                                           "with space", "0",        "12",      "b"};
        if (chance(0.7))
            return keys[below(std::size(keys))];
        std::string out = text();
        return out.empty() ? "k" : out;
    }

    // A value that reads back as itself when written: no NaN inside values
    // compared as a whole.
    tavi::Variant primitive() {
        switch (below(10)) {
            case 0:
                return integer<int32_t>();
            case 1:
                return integer<int64_t>();
            case 2:
                return real<float>();
            case 3:
                return real<double>();
            case 4:
                return chance(0.5);
            case 5:
                return text();
            case 6:
                return Kor::Vector3(real<float>(), real<float>(), real<float>());
            case 7:
                return tavi::Variant();
            case 8:
                return std::vector<tavi::Variant>{integer<int32_t>(), text(), tavi::Variant()};
            default:
                return std::vector<std::string>{text(), text()};
        }
    }

    tavi::Variant value(int depth) {
        if (depth >= MAX_DEPTH || chance(0.6))
            return primitive();
        switch (below(5)) {
            case 0:
                return tavi::Variant(generic(depth + 1));
            case 1: {
                auto nested = std::make_shared<round_trip::Nested>();
                fill(*nested);
                return tavi::Variant(nested);
            }
            case 2:
                return tavi::Variant(shelf(depth + 1));
            case 3: {
                auto list = std::make_shared<std::vector<tavi::Variant>>();
                for (size_t n = below(4); n > 0; --n)
                    list->push_back(value(depth + 1));
                return tavi::Variant(list);
            }
            default:
                return tavi::Variant(
                    std::make_shared<std::vector<std::string>>(std::vector<std::string>{text()}));
        }
    }

    std::shared_ptr<orv::GenericObject> generic(int depth) {
        auto object = std::make_shared<orv::GenericObject>();
        if (chance(0.2))
            object->clear(); // publishes "_volatility"
        for (size_t n = below(6); n > 0; --n)
            object->addProperty(key(), orv::MetaObject::INVALID_INDEX,
                                value(depth)); // a repeated key is ignored
        return object;
    }

    std::shared_ptr<round_trip::Shelf> shelf(int depth) {
        auto shelf = std::make_shared<round_trip::Shelf>();
        shelf->label = text();
        for (size_t n = below(4); n > 0; --n)
            shelf->items.push_back(value(depth));
        for (size_t n = below(3); n > 0; --n)
            shelf->tags.push_back(text());
        for (size_t n = below(3); n > 0; --n)
            shelf->weights.push_back(real<float>());
        for (size_t n = below(2); n > 0; --n)
            shelf->points.emplace_back(real<float>(), real<float>(), real<float>());
        fill(shelf->values);
        return shelf;
    }

private:
    static void appendUtf8(std::string& out, char32_t c) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }

    std::mt19937_64 m_random;
};

// --- checks -----------------------------------------------------------------------

template <class Value>
std::string written(const Value& value, const Format& format) {
    std::string out;
    tavi::FixedMemoryStream memory(out);
    XMLSerializer serializer(memory);
    serializer.setFormat(format);
    EXPECT_TRUE(serializer.serialize(value));
    return out;
}

template <class F>
bool sameBits(F x, F y) {
    using Bits = std::conditional_t<sizeof(F) == 4, uint32_t, uint64_t>;
    return std::bit_cast<Bits>(x) == std::bit_cast<Bits>(y) || (std::isnan(x) && std::isnan(y));
}

template <class T, size_t N>
bool sameComponents(const tavi::Variant& a, const tavi::Variant& b, float const T::*const (&components)[N]) {
    const T* x = a.castPtr<T>();
    const T* y = b.castPtr<T>();
    if (!x || !y)
        return false;
    for (const auto component : components)
        if (!sameBits(x->*component, y->*component))
            return false;
    return true;
}

// Equal values, floats to the bit (NaNs are equal to each other).
bool sameValue(const tavi::Variant& a, const tavi::Variant& b) {
    static constexpr float const Kor::Vector3::*vector[] = {&Kor::Vector3::x, &Kor::Vector3::y,
                                                            &Kor::Vector3::z};
    static constexpr float const Kor::Quaternion::*quaternion[] = {&Kor::Quaternion::x, &Kor::Quaternion::y,
                                                                   &Kor::Quaternion::z, &Kor::Quaternion::w};
    if (a.isType<float>())
        return b.isType<float>() && sameBits(*a.castPtr<float>(), *b.castPtr<float>());
    if (a.isType<double>())
        return b.isType<double>() && sameBits(*a.castPtr<double>(), *b.castPtr<double>());
    if (a.isType<Kor::Vector3>())
        return sameComponents(a, b, vector);
    if (a.isType<Kor::Quaternion>())
        return sameComponents(a, b, quaternion);
    return a == b;
}

// Every value at every depth, in order, with its path.
void expectSameValues(const orv::ReflectedObject& a, const orv::ReflectedObject& b) {
    std::vector<orv::BoundProperty> left, right;
    a.enumerateProperties("**", [&](const orv::BoundProperty& p) { left.push_back(p); });
    b.enumerateProperties("**", [&](const orv::BoundProperty& p) { right.push_back(p); });
    ASSERT_EQ(left.size(), right.size());
    for (size_t i = 0; i < left.size(); ++i) {
        EXPECT_EQ(left[i].name(), right[i].name());
        EXPECT_TRUE(sameValue(left[i].get(), right[i].get())) << "property " << left[i].name();
    }
}

constexpr uint64_t SEEDS = 300;

TEST(XmlRoundTrip, RegisteredTypesWithHardValues) {
    for (uint64_t seed = 1; seed <= SEEDS; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator generate(seed);
        round_trip::Nested original;
        generate.fill(original);
        const Format format = generate.chance(0.5) ? Format() : Format(Format::Unformatted());

        const std::string first = written(tavi::Variant(&original), format);
        tavi::FixedMemoryStream input(first);
        XMLSerializer reader(input);
        reader.setFormat(format);
        tavi::Variant copy;
        ASSERT_TRUE(reader.deserialize(copy)) << reader.lastError();
        ASSERT_NE(copy.castPtr<round_trip::Nested>(), nullptr);
        EXPECT_EQ(written(copy, format), first);
        expectSameValues(orv::reflect(original), orv::ReflectedObject(copy));
        if (HasFailure())
            return;
    }
}

TEST(XmlRoundTrip, GenericObjectsAndCollections) {
    for (uint64_t seed = 1; seed <= SEEDS; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Generator generate(seed);
        const tavi::Variant original =
            generate.chance(0.5) ? tavi::Variant(generate.generic(0)) : tavi::Variant(generate.shelf(0));
        const Format format = generate.chance(0.5) ? Format() : Format(Format::Unformatted());

        const std::string first = written(original, format);
        tavi::FixedMemoryStream input(first);
        XMLSerializer reader(input);
        reader.setFormat(format);
        tavi::Variant copy;
        ASSERT_TRUE(reader.deserialize(copy)) << reader.lastError() << "\n" << first;
        EXPECT_EQ(written(copy, format), first);
        expectSameValues(orv::ReflectedObject(original), orv::ReflectedObject(copy));
        if (HasFailure())
            return;
    }
}

} // namespace
