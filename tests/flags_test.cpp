#include "platform/zel_core/flags.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace flags_test {

enum class Setter : uint32_t { None = 0, Intermediate = 0x01, SecondRange = 0x04, NoValidation = 0x08 };
void zelEnableFlagOperators(Setter);
using zel::operator|;
using zel::operator&;
using zel::operator~;

enum class Wide : uint64_t { Low = 1, High = uint64_t(1) << 40 };
void zelEnableFlagOperators(Wide);

enum class Plain { A = 1, B = 2 }; // not opted in

template <typename E>
concept Combinable = requires(E a, E b) { a | b; };

} // namespace flags_test

using flags_test::Setter;
using SetterFlags = zel::Flags<Setter>;

static_assert(sizeof(SetterFlags) == 4);
static_assert(sizeof(zel::Flags<flags_test::Plain>) == 4);
static_assert(sizeof(zel::Flags<flags_test::Wide>) == 8);
static_assert(flags_test::Combinable<Setter>);
static_assert(!flags_test::Combinable<flags_test::Plain>);
static_assert((Setter::Intermediate | Setter::NoValidation).value() == 0x09);
static_assert(!std::is_convertible_v<uint32_t, SetterFlags>, "raw values need an explicit construction");

TEST(Flags, ConstructionAndValue) {
    EXPECT_EQ(SetterFlags().value(), 0u);
    EXPECT_EQ(SetterFlags(Setter::SecondRange).value(), 0x04u);
    EXPECT_EQ(SetterFlags(0x0Du).value(), 0x0Du);
    EXPECT_EQ((SetterFlags{Setter::Intermediate, Setter::SecondRange}).value(), 0x05u);
    EXPECT_FALSE(static_cast<bool>(SetterFlags()));
    EXPECT_TRUE(static_cast<bool>(SetterFlags(Setter::Intermediate)));
}

TEST(Flags, Operators) {
    const SetterFlags both = Setter::Intermediate | Setter::NoValidation;
    EXPECT_EQ(both & Setter::NoValidation, Setter::NoValidation);
    EXPECT_EQ(both ^ Setter::Intermediate, Setter::NoValidation);
    EXPECT_EQ((~both).value(), ~uint32_t(0x09));
    EXPECT_EQ(both & ~Setter::Intermediate, Setter::NoValidation);
    EXPECT_EQ(Setter::SecondRange | both, SetterFlags(0x0Du));
    EXPECT_NE(both, Setter::Intermediate);

    SetterFlags f;
    f |= Setter::SecondRange;
    f |= Setter::Intermediate;
    EXPECT_EQ(f.value(), 0x05u);
    f &= Setter::SecondRange;
    EXPECT_EQ(f, Setter::SecondRange);
    f ^= Setter::SecondRange;
    EXPECT_TRUE(f.none());

    const zel::Flags<flags_test::Wide> wide = flags_test::Wide::Low | flags_test::Wide::High;
    EXPECT_EQ(wide.value(), (uint64_t(1) << 40) | 1u);
}

TEST(Flags, Tests) {
    const SetterFlags f = Setter::Intermediate | Setter::SecondRange;
    EXPECT_TRUE(f.test(Setter::Intermediate));
    EXPECT_FALSE(f.test(Setter::NoValidation));
    EXPECT_FALSE(f.test(Setter::None));
    EXPECT_TRUE(SetterFlags().test(Setter::None));
    EXPECT_TRUE(f.testAny(Setter::SecondRange | Setter::NoValidation));
    EXPECT_FALSE(f.testAll(Setter::SecondRange | Setter::NoValidation));
    EXPECT_TRUE(f.testAll(Setter::SecondRange | Setter::Intermediate));
    EXPECT_FALSE(f.testAny(SetterFlags()));

    SetterFlags g = f;
    g.set(Setter::NoValidation).clear(Setter::Intermediate);
    EXPECT_EQ(g, Setter::SecondRange | Setter::NoValidation);
    g.set(Setter::SecondRange, false);
    EXPECT_EQ(g, Setter::NoValidation);
}
