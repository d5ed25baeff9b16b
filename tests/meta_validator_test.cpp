#include "shared_libs/reflection/meta_validator.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/decomposed_matrix.hpp"
#include "platform/kor/math/vector.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/multi_selection/multi_selection.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_seed.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

namespace validator_test {

enum class Gear : int32_t { Low = 0, Middle = 1, High = 2, Overdrive = 7 };

struct Gadget {
    float level = 1;
    int count = 1;
    uint8_t byte = 1;
    int64_t big = 0;
    double precise = 0;
    int whole = 0;
    float free = 0;
    Gear gear = Gear::Low;
    Kor::Vector3 offset;
    Kor::Vector4 color;
    Kor::Vector4 tint;
    Kor::Vector3 anchor;
    Kor::DecomposedMatrix transform;
    Kor::DecomposedMatrix bare;
};

// The ranges of "precise" and "whole", changed by the randomised test.
Meta::Validator::Range s_soft, s_hard;

using Meta::Validator;

Validator::Range noLimits() { return Validator::between(tavi::Variant(), tavi::Variant()); }

Meta::ValueExtractor scaleOf() {
    return Meta::ValueExtractor([](const Kor::DecomposedMatrix& m) { return m.scale; },
                                [](const Kor::DecomposedMatrix& m, const Kor::Vector3& scale) {
                                    Kor::DecomposedMatrix result = m;
                                    result.scale = scale;
                                    return result;
                                });
}

Validator::RangeFunction scaleRange() {
    return [](orv::SetterFlags flags) {
        return flags.test(orv::SetterFlag::SecondRange) ? Validator::between(0.1f, 8.0f)
                                                        : Validator::between(0.5f, 2.0f);
    };
}

Validator::RangeFunction testRanges() {
    return [](orv::SetterFlags flags) { return flags.test(orv::SetterFlag::SecondRange) ? s_hard : s_soft; };
}

} // namespace validator_test

template <>
struct orv::TypeDeclaration<validator_test::Gadget> {
    static void declare(orv::Builder<validator_test::Gadget>& type) {
        using namespace validator_test;
        using Meta::MinMax;
        using Meta::Validator;
        type.property("level", &Gadget::level,
                      MinMax(Validator::between(0.0f, 10.0f), Validator::between(0.0f, 100.0f)))
            .property("count", &Gadget::count,
                      MinMax(Validator::between(0, 10), Validator::between(-100, 100)))
            .property("byte", &Gadget::byte, MinMax(Validator::Range(), noLimits()))
            .property("big", &Gadget::big, MinMax(Validator::Range(), noLimits()))
            .property("precise", &Gadget::precise, MinMax(testRanges()))
            .property("whole", &Gadget::whole, MinMax(testRanges()))
            .property("free", &Gadget::free, MinMax([] { return Validator::Range(); }))
            .property("gear", &Gadget::gear, MinMax(Validator::Range(), Validator::between(0, 2)))
            .property("offset", &Gadget::offset, MinMax(Validator::between(0, 1), Validator::between(-4, 4)))
            .property("color", &Gadget::color, Meta::View::ColorPicker(Meta::View::ColorPicker::Intensity),
                      MinMax(Validator::Range(), noLimits()))
            .property("tint", &Gadget::tint, MinMax(Validator::between(0, 1), Validator::Range()))
            .property("anchor", &Gadget::anchor,
                      Meta::ValueExtractor([](const Kor::Vector3& v) { return v.y; },
                                           [](Kor::Vector3 v, float y) {
                                               v.y = y;
                                               return v;
                                           }),
                      MinMax(Validator::between(0, 5), Validator::between(0, 10)))
            .property("transform", &Gadget::transform, scaleOf(), Meta::MinMaxScale(scaleRange()))
            .property("bare", &Gadget::bare, Meta::MinMaxScale(scaleRange()));
    }
};

namespace {

using namespace orv;
using Meta::Validator;
using validator_test::Gadget;
using validator_test::Gear;

struct RangeValidatorTest : ::testing::Test {
    BoundProperty property(const char* name) {
        BoundProperty found = object.findPropertyByName(name);
        EXPECT_TRUE(found.isValid()) << name;
        return found;
    }
    // The range in force, as front-ends ask for it.
    Validator::Range probe(const char* name, SetterFlags flags = {}, bool widen = false) {
        return Validator::RangeProbe::query(property(name), flags, widen);
    }
    static Kor::Vector3 scale(float s) { return {s, s, s}; }
    static Kor::DecomposedMatrix scaled(const Kor::Vector3& s) { return {s, Kor::Quaternion(), {}}; }

    Gadget gadget;
    ReflectedObject object = reflect(gadget);
};

::testing::AssertionResult rangeIs(const Validator::Range& range, const tavi::Variant& lower,
                                   const tavi::Variant& upper) {
    if (!range)
        return ::testing::AssertionFailure() << "no range";
    double lo = 0, hi = 0, wantLo = 0, wantHi = 0;
    const bool scalar = range->first.tryCast(lo) && range->second.tryCast(hi) && lower.tryCast(wantLo) &&
                        upper.tryCast(wantHi);
    if (scalar ? lo == wantLo && hi == wantHi : range->first == lower && range->second == upper)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "range is [" << range->first.typeName() << " " << (scalar ? std::to_string(lo) : "?") << ", "
           << range->second.typeName() << " " << (scalar ? std::to_string(hi) : "?") << "]";
}

// --- widening and hard limits ------------------------------------------------

TEST_F(RangeValidatorTest, AFloatPastItsSliderWidensByPowersOfTwoAndClampsAtTheHardLimit) {
    const BoundProperty level = property("level");
    ASSERT_TRUE(level.set(35.0f));
    EXPECT_EQ(gadget.level, 35.0f) << "inside the hard range the value stays";
    EXPECT_TRUE(rangeIs(probe("level", {}, true), 0, 40)) << "10 doubled twice takes 35";
    ASSERT_TRUE(level.set(500.0f));
    EXPECT_EQ(gadget.level, 100.0f) << "640 is capped at the hard limit";
    EXPECT_TRUE(rangeIs(probe("level", {}, true), 0, 100));
    ASSERT_TRUE(level.set(-3.0f));
    EXPECT_EQ(gadget.level, 0.0f);
    ASSERT_TRUE(level.set(40.0002f));
    EXPECT_FLOAT_EQ(gadget.level, 40.0f) << "a hair past a power of two keeps it";
    EXPECT_TRUE(level.set(500.0f, SetterFlag::NoValidation));
    EXPECT_EQ(gadget.level, 500.0f) << "NoValidation skips the validator";
}

TEST_F(RangeValidatorTest, AnIntWidensBothWaysAndNeverLeavesItsHardRange) {
    const BoundProperty count = property("count");
    ASSERT_TRUE(count.set(35));
    EXPECT_EQ(gadget.count, 35);
    EXPECT_TRUE(rangeIs(probe("count", {}, true), 0, 40));
    ASSERT_TRUE(count.set(-7));
    EXPECT_EQ(gadget.count, -7);
    EXPECT_TRUE(rangeIs(probe("count", {}, true), -10, 10)) << "the span doubles once below 0";
    ASSERT_TRUE(count.set(-300));
    EXPECT_EQ(gadget.count, -100);
    ASSERT_TRUE(count.set(2.9));
    EXPECT_EQ(gadget.count, 2) << "a double written to an int goes through the setter's conversion";

    const BoundProperty byte = property("byte");
    ASSERT_TRUE(byte.set(300));
    EXPECT_EQ(gadget.byte, 255) << "void hard ends fall back to the type's limits";
    ASSERT_TRUE(byte.set(-5));
    EXPECT_EQ(gadget.byte, 0);

    const BoundProperty big = property("big");
    ASSERT_TRUE(big.set(std::numeric_limits<uint64_t>::max()));
    EXPECT_EQ(gadget.big, std::numeric_limits<int64_t>::max()) << "64-bit limits are met exactly";
    ASSERT_TRUE(big.set(std::numeric_limits<int64_t>::min() + 1));
    EXPECT_EQ(gadget.big, std::numeric_limits<int64_t>::min() + 1);

    const BoundProperty gear = property("gear");
    ASSERT_TRUE(gear.set(Gear::Overdrive));
    EXPECT_EQ(gadget.gear, Gear::High) << "enumerations go through the integer clamp";
}

TEST_F(RangeValidatorTest, AVectorIsClampedPerComponentAndAScalarEndAppliesToAll) {
    const BoundProperty offset = property("offset");
    ASSERT_TRUE(offset.set(Kor::Vector3(3, 0.5f, -9)));
    EXPECT_EQ(gadget.offset, Kor::Vector3(3, 0.5f, -4));
    EXPECT_TRUE(rangeIs(probe("offset", {}, true), Kor::Vector3(0, 0, -4), Kor::Vector3(4, 1, 1)))
        << "each component widens on its own, and no further than the hard range";
    EXPECT_TRUE(rangeIs(probe("offset", SetterFlag::SecondRange), -4, 4));

    const BoundProperty tint = property("tint");
    ASSERT_TRUE(tint.set(Kor::Vector4(2, 0.5f, 0.5f, 3)));
    EXPECT_EQ(gadget.tint, Kor::Vector4(2, 0.5f, 0.5f, 3)) << "without a hard range only float limits hold";
    EXPECT_FALSE(tint.set(Kor::Vector4(NAN, 0, 0, 0))) << "not a number is refused";
    EXPECT_EQ(gadget.tint, Kor::Vector4(2, 0.5f, 0.5f, 3));

    const BoundProperty color = property("color");
    ASSERT_TRUE(color.set(Kor::Vector4(300, 10, -5, 50)));
    EXPECT_EQ(gadget.color, Kor::Vector4(255, 10, 0, 10)) << "the colour picker's mode sets the hard limits";
}

TEST_F(RangeValidatorTest, OnePartOfACompositeValueThroughAnExtractor) {
    const BoundProperty anchor = property("anchor");
    ASSERT_TRUE(anchor.set(Kor::Vector3(50, 50, -50)));
    EXPECT_EQ(gadget.anchor, Kor::Vector3(50, 10, -50)) << "only the extracted y is checked";
    EXPECT_TRUE(rangeIs(probe("anchor", {}, true), 0, 10));
    EXPECT_FALSE(anchor.set(std::string("not a vector")))
        << "an extractor that cannot take the value refuses";
    EXPECT_EQ(gadget.anchor, Kor::Vector3(50, 10, -50));
}

TEST_F(RangeValidatorTest, TheScaleOfATransformStaysUniformAndInsideTheHardRange) {
    const BoundProperty transform = property("transform");
    ASSERT_TRUE(transform.set(scaled(scale(3))));
    EXPECT_EQ(gadget.transform.scale, scale(3)) << "past the slider, inside the hard range";
    ASSERT_TRUE(transform.set(scaled(scale(20))));
    EXPECT_EQ(gadget.transform.scale, scale(8));
    EXPECT_FALSE(transform.set(scaled(scale(16)))) << "nothing is left of a change past the limit";
    ASSERT_TRUE(transform.set(scaled(scale(0.01f))));
    EXPECT_FLOAT_EQ(gadget.transform.scale.x, 0.1f);

    gadget.transform.scale = {1, 2, 4};
    ASSERT_TRUE(transform.set(scaled({4, 8, 16})));
    EXPECT_EQ(gadget.transform.scale, Kor::Vector3(2, 4, 8)) << "stops uniformly at the first limit met";
    ASSERT_TRUE(transform.set(scaled({8, 1, 8})));
    EXPECT_EQ(gadget.transform.scale, Kor::Vector3(8, 1, 8))
        << "a non-uniform change is clamped per component";

    Kor::DecomposedMatrix moved = gadget.transform;
    moved.translation = {1, 2, 3};
    EXPECT_TRUE(transform.set(moved)) << "a write that leaves the scale alone passes";
    EXPECT_EQ(gadget.transform.translation, Kor::Vector3(1, 2, 3));

    EXPECT_FALSE(property("bare").set(scaled(scale(1.5f)))) << "no extractor, no scale";
    EXPECT_TRUE(property("bare").set(scaled(scale(1.5f)), SetterFlag::NoValidation));
}

TEST_F(RangeValidatorTest, WritesWithoutARangeOrOfNoNumberAreAcceptedOrRefused) {
    EXPECT_TRUE(property("free").set(1e30f)) << "no range at all accepts every value";
    EXPECT_EQ(gadget.free, 1e30f);
    EXPECT_FALSE(property("level").set(std::string("loud")));
    EXPECT_FALSE(property("offset").set(std::string("far")));
    EXPECT_EQ(gadget.level, 1.0f);

    tavi::Variant value(500.0f);
    std::string error;
    EXPECT_TRUE(property("level").validator()(property("level"), value, SetterFlag::SecondRange, error));
    EXPECT_EQ(value, tavi::Variant(100.0f)) << "a validator may be asked directly";
    tavi::Variant text(std::string("x"));
    EXPECT_FALSE(property("level").validator()(property("level"), text, {}, error));
    EXPECT_FALSE(error.empty()) << "a refusal says why";
}

// --- range probes -------------------------------------------------------------

TEST_F(RangeValidatorTest, ProbesAnswerWithoutWritingOrNotifying) {
    gadget.level = 35;
    int changes = 0;
    const BoundProperty level = property("level");
    const zel::ScopedConnection counting = level.connectPropertyChanged([&] { ++changes; });

    EXPECT_TRUE(rangeIs(probe("level"), 0, 10)) << "the soft range as it is";
    EXPECT_TRUE(rangeIs(probe("level", {}, true), 0, 40)) << "widened to take the current value";
    EXPECT_TRUE(rangeIs(probe("level", SetterFlag::SecondRange), 0, 100));
    EXPECT_TRUE(rangeIs(probe("level", SetterFlag::NoValidation), 0, 10)) << "probes are answered regardless";

    tavi::Variant question{Validator::RangeProbe()};
    std::string error;
    EXPECT_TRUE(level.validator()(level, question, {}, error));
    const auto* answered = question.castPtr<Validator::RangeProbe>();
    ASSERT_NE(answered, nullptr);
    EXPECT_TRUE(rangeIs(answered->range, 0, 10)) << "a probe by value comes back filled in";

    EXPECT_EQ(gadget.level, 35.0f);
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(rangeIs(probe("free"), -std::numeric_limits<float>::max(), std::numeric_limits<float>::max()))
        << "without ranges a probe still learns the type's limits";

    test::NodeTree tree;
    EXPECT_FALSE(Validator::RangeProbe::query(tree.rootObject().findPropertyByName("number")))
        << "no validator";
    tree.number->setAnnotations(
        {tavi::Variant(Validator([](tavi::Variant& v) { return v.cast<int>() > 0; }))});
    EXPECT_FALSE(Validator::RangeProbe::query(tree.rootObject().findPropertyByName("number")))
        << "a validator that takes no probes";
}

TEST(RangeValidator, MultiSelectionPropertiesLeaveValidationToTheMergedOnes) {
    // Each node's own limit is its id's length ("short" 5, "much longer" 11);
    // anything else (the combined property) would be held to 1.
    const Meta::Validator byNode = Meta::MinMax([](const BoundProperty& property, SetterFlags) {
        const test::Node* node = property.object().get().castPtr<test::Node>();
        return Validator::between(0, node ? int(node->id.size()) : 1);
    });
    test::NodeTree tree;
    tree.number->setAnnotations({tavi::Variant(byNode)});
    tree.root.id = "short";
    tree.mid.id = "much longer";
    orv::MultiSelection selection;
    selection.merge(tree.rootObject());
    selection.merge(ReflectedObject(tavi::Variant(&tree.mid)));
    ASSERT_TRUE(selection.findProperty(tavi::Variant(std::string("number"))).set(50));
    EXPECT_EQ(tree.root.number, 5);
    EXPECT_EQ(tree.mid.number, 11);
}

// --- invariants over random ranges -----------------------------------------------

// Whatever the ranges, a written value ends inside the hard range, a value
// inside it is kept (up to the snap), and a widened probe takes the value.
TEST_F(RangeValidatorTest, RandomRangesNeverLetAValueOutOfTheHardRange) {
    const unsigned seed = test::testSeed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto number = [&](double spread) {
        return std::uniform_real_distribution(-spread, spread)(random);
    };
    const auto end = [&](double spread) {
        return std::bernoulli_distribution(0.15)(random) ? tavi::Variant()
                                                         : tavi::Variant(std::round(number(spread)));
    };
    const BoundProperty precise = property("precise");
    const BoundProperty whole = property("whole");
    for (int round = 0; round < 2000; ++round) {
        validator_test::s_soft = std::bernoulli_distribution(0.8)(random)
                                     ? Validator::between(end(50), end(50))
                                     : Validator::Range();
        validator_test::s_hard = std::bernoulli_distribution(0.8)(random)
                                     ? Validator::between(end(1000), end(1000))
                                     : Validator::Range();
        double lo = -std::numeric_limits<double>::max(), hi = std::numeric_limits<double>::max();
        if (validator_test::s_hard) {
            validator_test::s_hard->first.tryCast(lo);
            validator_test::s_hard->second.tryCast(hi);
            if (lo > hi)
                std::swap(lo, hi);
        }
        const double x = number(std::bernoulli_distribution(0.5)(random) ? 100 : 5000);
        SCOPED_TRACE("round " + std::to_string(round) + ", value " + std::to_string(x));
        ASSERT_TRUE(precise.set(x));
        ASSERT_GE(gadget.precise, lo);
        ASSERT_LE(gadget.precise, hi);
        if (x >= lo && x <= hi) {
            ASSERT_NEAR(gadget.precise, x, 0.0004);
        }
        if (validator_test::s_soft || validator_test::s_hard) {
            const auto widened = probe("precise", {}, true);
            ASSERT_TRUE(widened);
            double wlo = -INFINITY, whi = INFINITY;
            widened->first.tryCast(wlo);
            widened->second.tryCast(whi);
            ASSERT_LE(wlo, gadget.precise + 0.0004);
            ASSERT_GE(whi, gadget.precise - 0.0004);
        }

        const int n = int(std::round(x));
        ASSERT_TRUE(whole.set(n));
        ASSERT_GE(gadget.whole, std::max(lo, double(std::numeric_limits<int>::min())));
        ASSERT_LE(gadget.whole, std::min(hi, double(std::numeric_limits<int>::max())));
        if (n >= lo && n <= hi) {
            ASSERT_EQ(gadget.whole, n) << "an integer inside the hard range is kept exactly";
        }
    }
}

} // namespace
