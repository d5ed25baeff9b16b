#include "platform/zel_core/flags.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace flags_test {

enum class Setter : uint32_t { None = 0, Intermediate = 0x01, SecondRange = 0x04, NoValidation = 0x08 };
void zelEnableFlagOperators(Setter);
using zel::operator|;
using zel::operator~;

enum class Wide : uint64_t { Low = 1, High = uint64_t(1) << 40 };
void zelEnableFlagOperators(Wide);

enum class Plain { A = 1, B = 2 }; // not opted in

template <typename E>
concept Combinable = requires(E a, E b) {
    a | b;
};

} // namespace flags_test

using flags_test::Setter;
using SetterFlags = zel::Flags<Setter>;

// Storage follows the underlying type; only opted-in enumerations combine bare.
static_assert(sizeof(zel::Flags<flags_test::Plain>) == 4);
static_assert(sizeof(zel::Flags<flags_test::Wide>) == 8);
static_assert((flags_test::Wide::Low | flags_test::Wide::High).value() == ((uint64_t(1) << 40) | 1u));
static_assert(flags_test::Combinable<Setter>);
static_assert(!flags_test::Combinable<flags_test::Plain>);
static_assert(!std::is_convertible_v<uint32_t, SetterFlags>, "raw values need an explicit construction");

TEST(Flags, OperatorsAndTests) {
    const SetterFlags f = Setter::Intermediate | Setter::SecondRange;
    EXPECT_EQ(f & ~Setter::Intermediate, Setter::SecondRange);
    EXPECT_EQ((~f).value(), ~uint32_t(0x05));
    // A zero enumerator is only contained in the empty set.
    EXPECT_FALSE(f.test(Setter::None));
    EXPECT_TRUE(SetterFlags().test(Setter::None));
    EXPECT_TRUE(f.testAny(Setter::SecondRange | Setter::NoValidation));
    EXPECT_FALSE(f.testAll(Setter::SecondRange | Setter::NoValidation));

    SetterFlags g = f;
    g.set(Setter::NoValidation).clear(Setter::Intermediate);
    EXPECT_EQ(g, Setter::SecondRange | Setter::NoValidation);
    g ^= Setter::SecondRange;
    EXPECT_EQ(g, Setter::NoValidation);
}
