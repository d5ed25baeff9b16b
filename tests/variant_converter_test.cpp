#include "platform/variant/variant_converter.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/math.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using tavi::MetaType;
using tavi::Variant;
using tavi::VariantConverter;

namespace {

// Converts `from` into a value of `type`; void when the converter refuses.
Variant convert(const Variant& from, const MetaType* type) {
    Variant to(type);
    return VariantConverter::convert(to, from) ? to : Variant();
}

struct Celsius {
    double degrees = 0;
    bool operator==(const Celsius&) const = default;
};
struct Fahrenheit {
    double degrees = 0;
    bool operator==(const Fahrenheit&) const = default;
};

enum class Mode : uint8_t { OFF = 0, ON = 1, AUTO = 200 };
enum Bit : unsigned { BIT_0 = 1, BIT_3 = 8 };

constexpr double INF = std::numeric_limits<double>::infinity();

} // namespace

TEST(VariantConverter, ConvertsWhatFitsAndRefusesWhatDoesNot) {
    MetaType::registerType<Mode>("Mode");
    Celsius c;
    const Celsius* constPointer = &c;
    const auto shared = std::make_shared<Celsius>();
    const int64_t pointee = 2;
    const std::pair<Variant, Variant> converted[] = {
        {Variant(int64_t(-128)), Variant(int8_t(-128))},
        {Variant(std::numeric_limits<int64_t>::max()),
         Variant(uint64_t(std::numeric_limits<int64_t>::max()))},
        {Variant(0.1), Variant(0.1f)},
        {Variant(-2.9), Variant(-2)}, // floating point truncates toward zero
        {Variant(1.0), Variant(true)},
        {Variant(0.1f), Variant("0.1")},
        {Variant(std::numeric_limits<uint64_t>::max()), Variant("18446744073709551615")},
        {Variant(-3), Variant(L"-3")},
        {Variant(" 42\t"), Variant(42)},
        {Variant("0.1"), Variant(0.1f)},
        {Variant("gr\xc3\xbc\xc3\x9f"
                 "e \xe4\xb8\x96"),
         Variant(L"gr\u00fc\u00dfe \u4e16")},
        {Variant(L"\u00e9t\u00e9"), Variant("\xc3\xa9t\xc3\xa9")},
        {Variant(200), Variant(Mode::AUTO)},
        {Variant(Mode::AUTO), Variant("200")},
        {Variant(9u), Variant(zel::Flags<Bit>{BIT_0, BIT_3})},
        {Variant(Kor::Vector3(1, 2.5f, -3)), Variant("1 2.5 -3")},
        {Variant(" 1 2.5 -3 "), Variant(Kor::Vector3(1, 2.5f, -3))},
        {Variant("[int(1), string(\"a\")]"), Variant(std::vector<Variant>{Variant(1), Variant("a")})},
        {Variant(shared), Variant(static_cast<const void*>(shared.get()))},
        {Variant(&c), Variant(static_cast<void*>(&c))},
        {Variant(&c), Variant(constPointer)},
        {Variant(&pointee), Variant("2")}, // a non-null pointer converts as its pointee
    };
    for (const auto& [from, expected] : converted)
        EXPECT_EQ(convert(from, expected.type()), expected)
            << from.typeName() << " -> " << expected.typeName();

    const std::pair<Variant, const MetaType*> refused[] = {
        {Variant(256), MetaType::of<uint8_t>()},
        {Variant(int64_t(-1)), MetaType::of<unsigned>()},
        {Variant(1e300), MetaType::of<float>()},
        {Variant(1.9e19), MetaType::of<uint64_t>()},
        {Variant(32768.0), MetaType::of<int16_t>()},
        {Variant(std::nan("")), MetaType::of<int>()},
        // Only zero and one are truth values, whichever way a fraction would truncate.
        {Variant(2), MetaType::of<bool>()},
        {Variant(0.5), MetaType::of<bool>()},
        {Variant(1.9), MetaType::of<bool>()},
        {Variant(std::numeric_limits<float>::quiet_NaN()), MetaType::of<bool>()},
        {Variant("42x"), MetaType::of<int>()},
        {Variant("2.5"), MetaType::of<int>()},
        {Variant(256), MetaType::of<Mode>()},
        {Variant(Mode::ON), MetaType::of<double>()},
        {Variant("1 2 3 4"), MetaType::of<Kor::Vector3>()},
        {Variant(constPointer), MetaType::of<void*>()}, // would drop const
        {Variant(constPointer), MetaType::of<Celsius*>()},
        {Variant(&c), MetaType::of<Fahrenheit*>()},
        {Variant(c), MetaType::of<const void*>()}, // a value has no lasting address
        {Variant(static_cast<const int64_t*>(nullptr)), MetaType::of<int64_t>()},
    };
    for (const auto& [from, type] : refused)
        EXPECT_TRUE(convert(from, type).isVoid()) << from.typeName() << " -> " << type->name();
    EXPECT_TRUE(std::isnan(convert(Variant(std::nan("")), MetaType::of<float>()).cast<float>()));
}

TEST(VariantConverter, RegisteredConversionsAreUsedOneWay) {
    EXPECT_TRUE(convert(Variant(Celsius{100}), MetaType::of<Fahrenheit>()).isVoid());
    VariantConverter::registerConversion<Celsius, Fahrenheit>([](const Celsius& c, Fahrenheit& f) {
        if (c.degrees < -273.15)
            return false;
        f.degrees = c.degrees * 9 / 5 + 32;
        return true;
    });
    EXPECT_TRUE(
        VariantConverter::hasRegisteredConversion(MetaType::of<Celsius>(), MetaType::of<Fahrenheit>()));
    EXPECT_EQ(Variant(Celsius{100}).cast<Fahrenheit>(), Fahrenheit{212});
    EXPECT_TRUE(convert(Variant(Celsius{-300}), MetaType::of<Fahrenheit>()).isVoid());
    EXPECT_TRUE(convert(Variant(Fahrenheit{}), MetaType::of<Celsius>()).isVoid());
}

TEST(VariantConverter, MathTypesConvertBetweenTheirForms) {
    const Kor::Quaternion quarterTurn = Kor::Quaternion::fromAxisAngle(Kor::Vector3(0, 1, 0), 1.5707964f);
    EXPECT_NEAR(Variant(quarterTurn).cast<Kor::EulerAngles>().yaw, 1.5707964f, 1e-5f);
    Kor::Matrix m;
    m.setTranslation(Kor::Vector3(1, 2, 3));
    const auto decomposed = Variant(m).cast<Kor::DecomposedMatrix>();
    EXPECT_EQ(decomposed.translation, Kor::Vector3(1, 2, 3));
    EXPECT_TRUE(Kor::almostEqual(Variant(decomposed).cast<Kor::Matrix>(), m, 1e-6f));
}

TEST(VariantConverter, TargetIsOverwrittenOnlyOnSuccessAndVoidNeverConverts) {
    Variant flag(true);
    EXPECT_TRUE(VariantConverter::convert(flag, Variant(-0.0)));
    EXPECT_EQ(flag, Variant(false));
    Variant target(7);
    EXPECT_FALSE(VariantConverter::convert(target, Variant("x")));
    EXPECT_EQ(target, Variant(7));
    EXPECT_FALSE(VariantConverter::convert(target, Variant()));
    Variant empty;
    EXPECT_FALSE(VariantConverter::convert(empty, Variant(1)));
    EXPECT_TRUE(empty.isVoid());

    const Variant shared(Kor::Matrix().setTranslation(Kor::Vector3(1, 2, 3)));
    Variant same(Kor::Matrix::identity);
    EXPECT_TRUE(VariantConverter::convert(same, shared));
    EXPECT_EQ(same.data(), shared.data()); // same type: shared, not copied
}

TEST(VariantConverter, DeeplyNestedTextIsRefusedAndTheTargetKept) {
    std::string text;
    for (int i = 0; i < 11000; ++i)
        text += "[VariantVector(";
    Kor::MessageCapture capture;
    Variant target(std::vector<Variant>{Variant(1)});
    EXPECT_FALSE(VariantConverter::convert(target, Variant(text)));
    EXPECT_EQ(target, Variant(std::vector<Variant>{Variant(1)}));
    EXPECT_EQ(capture.countContaining("nested more than"), 1u);
}
