#include "platform/kor/math/math.hpp"
#include "platform/variant/variant_converter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using tavi::MetaType;
using tavi::Variant;
using tavi::VariantConverter;

namespace {

// Converts `from` into a T; void when the converter refuses.
template <class T>
Variant as(const Variant& from, T initial = T()) {
    Variant to(initial);
    if (!VariantConverter::convert(to, from))
        return Variant();
    EXPECT_TRUE(to.isType<T>());
    return to;
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
enum class Other { X };
enum Bit : unsigned { BIT_0 = 1, BIT_3 = 8 };

} // namespace

TEST(VariantConverter, NumbersWithinRangeConvert) {
    EXPECT_EQ(as<double>(Variant(3)), Variant(3.0));
    EXPECT_EQ(as<int64_t>(Variant(uint8_t(255))), Variant(int64_t(255)));
    EXPECT_EQ(as<int8_t>(Variant(int64_t(-128))), Variant(int8_t(-128)));
    EXPECT_EQ(as<uint64_t>(Variant(std::numeric_limits<int64_t>::max())),
              Variant(uint64_t(std::numeric_limits<int64_t>::max())));
    EXPECT_EQ(as<double>(Variant(0.1f)), Variant(double(0.1f)));
    EXPECT_EQ(as<float>(Variant(0.1)), Variant(0.1f));
    EXPECT_EQ(as<bool>(Variant(1)), Variant(true));
    EXPECT_EQ(as<int>(Variant(true)), Variant(1));
    EXPECT_EQ(as<char>(Variant(65)), Variant('A'));
}

TEST(VariantConverter, OutOfRangeNumbersFail) {
    EXPECT_TRUE(as<uint8_t>(Variant(256)).isVoid());
    EXPECT_TRUE(as<uint8_t>(Variant(-1)).isVoid());
    EXPECT_TRUE(as<unsigned>(Variant(int64_t(-1))).isVoid());
    EXPECT_TRUE(as<int8_t>(Variant(128)).isVoid());
    EXPECT_TRUE(as<int32_t>(Variant(std::numeric_limits<int64_t>::min())).isVoid());
    EXPECT_TRUE(as<int64_t>(Variant(std::numeric_limits<uint64_t>::max())).isVoid());
    EXPECT_TRUE(as<bool>(Variant(2)).isVoid());
    EXPECT_TRUE(as<float>(Variant(1e300)).isVoid());
    EXPECT_TRUE(as<int64_t>(Variant(1e20)).isVoid());
    EXPECT_TRUE(as<uint64_t>(Variant(1.9e19)).isVoid());
}

TEST(VariantConverter, FloatingPointTruncatesTowardZero) {
    EXPECT_EQ(as<int>(Variant(2.9)), Variant(2));
    EXPECT_EQ(as<int>(Variant(-2.9)), Variant(-2));
    EXPECT_EQ(as<unsigned>(Variant(-0.5)), Variant(0u));  // truncates to 0, which fits
    EXPECT_EQ(as<int16_t>(Variant(32767.99f)), Variant(int16_t(32767)));
    EXPECT_TRUE(as<int16_t>(Variant(32768.0)).isVoid());
    EXPECT_TRUE(as<int>(Variant(std::nan(""))).isVoid());
    EXPECT_TRUE(as<int>(Variant(std::numeric_limits<double>::infinity())).isVoid());
    EXPECT_TRUE(as<bool>(Variant(std::numeric_limits<float>::quiet_NaN())).isVoid());
    // NaN and infinity stay themselves between floating point types.
    EXPECT_TRUE(std::isnan(as<float>(Variant(std::nan(""))).cast<float>()));
    EXPECT_EQ(as<float>(Variant(-std::numeric_limits<double>::infinity())),
              Variant(-std::numeric_limits<float>::infinity()));
}

TEST(VariantConverter, OnlyZeroAndOneBecomeBool) {
    EXPECT_EQ(as<bool>(Variant(1.0)), Variant(true));
    EXPECT_EQ(as<bool>(Variant(0.0f)), Variant(false));
    EXPECT_EQ(as<bool>(Variant(-0.0)), Variant(false));
    EXPECT_EQ(as<bool>(Variant(0), true), Variant(false));
    // A fraction is no truth value, whichever way it would truncate.
    EXPECT_TRUE(as<bool>(Variant(0.5)).isVoid());
    EXPECT_TRUE(as<bool>(Variant(1.9)).isVoid());
    EXPECT_TRUE(as<bool>(Variant(-0.5f)).isVoid());
    EXPECT_TRUE(as<bool>(Variant(-1)).isVoid());
}

TEST(VariantConverter, NumbersToText) {
    EXPECT_EQ(as<std::string>(Variant(42)), Variant("42"));
    EXPECT_EQ(as<std::string>(Variant(-7LL)), Variant("-7"));
    EXPECT_EQ(as<std::string>(Variant(0.1)), Variant("0.1"));
    EXPECT_EQ(as<std::string>(Variant(0.1f)), Variant("0.1"));
    EXPECT_EQ(as<std::string>(Variant(true)), Variant("true"));
    EXPECT_EQ(as<std::string>(Variant(size_t(18446744073709551615ull))), Variant("18446744073709551615"));
    EXPECT_EQ(as<std::wstring>(Variant(-3)), Variant(L"-3"));
}

TEST(VariantConverter, TextToNumbersTakesTheWholeText) {
    EXPECT_EQ(as<int>(Variant(" 42\t")), Variant(42));
    EXPECT_EQ(as<int>(Variant("+5")), Variant(5));
    EXPECT_EQ(as<double>(Variant("1e3")), Variant(1000.0));
    EXPECT_EQ(as<float>(Variant("0.1")), Variant(0.1f));
    EXPECT_EQ(as<bool>(Variant("true")), Variant(true));
    EXPECT_EQ(as<bool>(Variant("0")), Variant(false));
    EXPECT_EQ(as<int64_t>(Variant(L"-9")), Variant(int64_t(-9)));
    EXPECT_TRUE(as<int>(Variant("42x")).isVoid());
    EXPECT_TRUE(as<int>(Variant("4 2")).isVoid());
    EXPECT_TRUE(as<int>(Variant("")).isVoid());
    EXPECT_TRUE(as<int>(Variant("2.5")).isVoid());
    EXPECT_TRUE(as<unsigned>(Variant("-1")).isVoid());
    EXPECT_TRUE(as<uint8_t>(Variant("256")).isVoid());
    EXPECT_TRUE(as<bool>(Variant("yes")).isVoid());
    EXPECT_TRUE(as<float>(Variant("1e39")).isVoid());
}

TEST(VariantConverter, NarrowAndWideText) {
    EXPECT_EQ(as<std::wstring>(Variant("gr\xc3\xbc\xc3\x9f" "e \xe4\xb8\x96")), Variant(L"gr\u00fc\u00dfe \u4e16"));
    EXPECT_EQ(as<std::string>(Variant(L"\u00e9t\u00e9")), Variant("\xc3\xa9t\xc3\xa9"));
}

TEST(VariantConverter, EnumerationsConvertToAndFromIntegersOnly) {
    MetaType::registerType<Mode>("Mode");
    EXPECT_EQ(as<Mode>(Variant(200)), Variant(Mode::AUTO));
    EXPECT_EQ(as<int>(Variant(Mode::AUTO)), Variant(200));
    EXPECT_EQ(as<Mode>(Variant("1")), Variant(Mode::ON));
    EXPECT_EQ(as<std::string>(Variant(Mode::AUTO)), Variant("200"));
    EXPECT_TRUE(as<Mode>(Variant(256)).isVoid());
    EXPECT_TRUE(as<Mode>(Variant(1.0)).isVoid());
    EXPECT_TRUE(as<double>(Variant(Mode::ON)).isVoid());
    EXPECT_TRUE(as<Other>(Variant(Mode::OFF)).isVoid());

    EXPECT_EQ(as<zel::Flags<Bit>>(Variant(9u)), Variant(zel::Flags<Bit>{BIT_0, BIT_3}));
    EXPECT_EQ(as<uint64_t>(Variant(zel::Flags<Bit>(BIT_3))), Variant(uint64_t(8)));
}

TEST(VariantConverter, PointersBecomeAddresses) {
    Celsius c;
    const Celsius* constPointer = &c;
    EXPECT_EQ(as<const void*>(Variant(&c)), Variant(static_cast<const void*>(&c)));
    EXPECT_EQ(as<const void*>(Variant(constPointer)), Variant(static_cast<const void*>(&c)));
    const auto shared = std::make_shared<Celsius>();
    EXPECT_EQ(as<const void*>(Variant(shared)), Variant(static_cast<const void*>(shared.get())));
    EXPECT_EQ(as<void*>(Variant(&c)), Variant(static_cast<void*>(&c)));
    EXPECT_TRUE(as<void*>(Variant(constPointer)).isVoid());  // would drop const
    EXPECT_TRUE(as<const void*>(Variant(c)).isVoid());        // a value has no lasting address

    Variant p(&c);
    ASSERT_TRUE(p.setType(MetaType::of<const Celsius*>()));
    EXPECT_EQ(p, Variant(constPointer));
    EXPECT_FALSE(p.setType(MetaType::of<Celsius*>()));
    EXPECT_FALSE(p.setType(MetaType::of<Fahrenheit*>()));
}

TEST(VariantConverter, NonNullPointersConvertAsTheirPointee) {
    const int64_t volatility = 2;
    int64_t out = 0;
    EXPECT_TRUE(Variant(&volatility).tryCast(out));
    EXPECT_EQ(out, 2);
    EXPECT_EQ(as<std::string>(Variant(&volatility)), Variant("2"));
    EXPECT_TRUE(as<int64_t>(Variant(static_cast<const int64_t*>(nullptr))).isVoid());
}

TEST(VariantConverter, RegisteredConversionsAreUsed) {
    EXPECT_FALSE(VariantConverter::hasRegisteredConversion(MetaType::of<Celsius>(), MetaType::of<Fahrenheit>()));
    EXPECT_TRUE(as<Fahrenheit>(Variant(Celsius{100})).isVoid());
    VariantConverter::registerConversion<Celsius, Fahrenheit>([](const Celsius& c, Fahrenheit& f) {
        if (c.degrees < -273.15)
            return false;
        f.degrees = c.degrees * 9 / 5 + 32;
        return true;
    });
    EXPECT_TRUE(VariantConverter::hasRegisteredConversion(MetaType::of<Celsius>(), MetaType::of<Fahrenheit>()));
    EXPECT_EQ(as<Fahrenheit>(Variant(Celsius{100})), Variant(Fahrenheit{212}));
    EXPECT_EQ(Variant(Celsius{0}).cast<Fahrenheit>(), Fahrenheit{32});
    EXPECT_TRUE(as<Fahrenheit>(Variant(Celsius{-300})).isVoid());
    EXPECT_TRUE(as<Celsius>(Variant(Fahrenheit{})).isVoid());  // one way only
}

TEST(VariantConverter, ValuesWithATextFormConvertToAndFromText) {
    EXPECT_EQ(as<std::string>(Variant(Kor::Vector3(1, 2.5f, -3))), Variant("1 2.5 -3"));
    EXPECT_EQ(as<Kor::Vector3>(Variant(" 1 2.5 -3 ")), Variant(Kor::Vector3(1, 2.5f, -3)));
    EXPECT_TRUE(as<Kor::Vector3>(Variant("1 2")).isVoid());
    EXPECT_TRUE(as<Kor::Vector3>(Variant("1 2 3 4")).isVoid());
    EXPECT_EQ(as<std::vector<Variant>>(Variant("[int(1), string(\"a\")]")),
              Variant(std::vector<Variant>{Variant(1), Variant("a")}));
    EXPECT_EQ(as<std::string>(Variant(std::vector<std::string>{"a"})), Variant("[\"a\"]"));
}

TEST(VariantConverter, MathTypesConvertBetweenTheirForms) {
    const Kor::Quaternion quarterTurn = Kor::Quaternion::fromAxisAngle(Kor::Vector3(0, 1, 0), 1.5707964f);
    const Variant angles = as<Kor::EulerAngles>(Variant(quarterTurn));
    ASSERT_FALSE(angles.isVoid());
    EXPECT_NEAR(angles.cast<Kor::EulerAngles>().yaw, 1.5707964f, 1e-5f);

    Kor::Matrix m;
    m.setTranslation(Kor::Vector3(1, 2, 3));
    const Variant decomposed = as<Kor::DecomposedMatrix>(Variant(m));
    ASSERT_FALSE(decomposed.isVoid());
    EXPECT_EQ(decomposed.cast<Kor::DecomposedMatrix>().translation, Kor::Vector3(1, 2, 3));
    EXPECT_TRUE(Kor::almostEqual(as<Kor::Matrix>(decomposed).cast<Kor::Matrix>(), m, 1e-6f));
}

TEST(VariantConverter, FailureLeavesTheTargetAndVoidNeverConverts) {
    Variant target(7);
    EXPECT_FALSE(VariantConverter::convert(target, Variant("x")));
    EXPECT_EQ(target, Variant(7));
    EXPECT_FALSE(VariantConverter::convert(target, Variant()));
    Variant empty;
    EXPECT_FALSE(VariantConverter::convert(empty, Variant(1)));
    EXPECT_TRUE(empty.isVoid());

    const Variant shared(std::string(64, 's'));
    Variant same(std::string("other"));
    EXPECT_TRUE(VariantConverter::convert(same, shared));
    EXPECT_EQ(same.data(), shared.data());  // same type: shared, not copied
}
