#include "shared_libs/reflection/multi_selection/reduce_map.hpp"
#include "platform/kor/math/decomposed_matrix.hpp"
#include "platform/kor/math/euler_angles.hpp"
#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/vector.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>

namespace {

using namespace orv;
using tavi::Variant;

double number(const Variant& value) { return value.cast<double>(); }

// --- averages ---------------------------------------------------------------------------

TEST(AverageReduceMap, HigherPrioritiesStartAfreshAndLowerOnesAreIgnored) {
    AverageReduceMap map;
    EXPECT_TRUE(map.reduce(1.0, 0));
    EXPECT_TRUE(map.reduce(3.0f, 0)) << "any number converts";
    EXPECT_EQ(map.reduced(), Variant(2.0));
    EXPECT_TRUE(map.reduce(10, 1));
    EXPECT_EQ(map.reduced(), Variant(10.0));
    EXPECT_TRUE(map.reduce(100.0, 0)) << "never asks to stop";
    EXPECT_EQ(map.reduced(), Variant(10.0));

    AverageReduceMap first;
    first.reduce(5.0, -3);
    first.reduce(7.0, -3);
    EXPECT_EQ(first.reduced(), Variant(6.0)) << "the first value sets the priority, whatever it is";
}

TEST(AverageReduceMap, SkipsWhatIsNoFloatNumber) {
    AverageReduceMap map;
    const double four = 4.0;
    for (const Variant& value :
         {Variant(std::string("9")), Variant(), Variant(1e39), Variant(2.0), Variant(&four)})
        map.reduce(value, 0);
    EXPECT_EQ(map.reduced(), Variant(3.0)) << "text, void and a double beyond float skipped; a pointer read";
    AverageReduceMap infinite;
    infinite.reduce(std::numeric_limits<double>::infinity(), 0);
    EXPECT_TRUE(std::isinf(number(infinite.reduced())));
}

TEST(AverageReduceMap, WritesScaleEveryValueByTheSameRatio) {
    AverageReduceMap map;
    map.reduce(1.0, 0);
    map.reduce(3.0, 0);
    EXPECT_EQ(map.map(4.0, 1.0), Variant(2.0));
    EXPECT_EQ(map.map(4.0, 3.0), Variant(6.0));
    EXPECT_TRUE(map.map(std::string("x"), 1.0).isVoid());
    EXPECT_TRUE(map.map(4.0, Variant()).isVoid());

    AverageReduceMap nearZero;
    nearZero.reduce(0.0001, 0);
    EXPECT_EQ(nearZero.map(4, 1.0), Variant(4)) << "near a zero mean the value is written as it is";
}

TEST(AverageEulerAnglesReduceMap, AveragesPerComponentAndScalesPerComponent) {
    AverageEulerAnglesReduceMap map;
    map.reduce(Kor::EulerAngles(1, 0, 2), 0);
    map.reduce(Kor::EulerAngles(3, 0, 4), 0);
    map.reduce(Kor::EulerAngles(100, 100, 100), -1);
    EXPECT_EQ(map.reduced(), Variant(Kor::EulerAngles(2, 0, 3)));
    // Yaw doubles; pitch has a zero mean and takes the written pitch.
    EXPECT_EQ(map.map(Kor::EulerAngles(4, 0.5f, 3), Kor::EulerAngles(1, 0, 2)),
              Variant(Kor::EulerAngles(2, 0.5f, 2)));
    EXPECT_TRUE(map.map(1.0, Kor::EulerAngles()).isVoid());

    AverageEulerAnglesReduceMap zero;
    zero.reduce(Kor::EulerAngles(), 0);
    EXPECT_EQ(zero.map(Kor::EulerAngles(1, 2, 3), Kor::EulerAngles(5, 5, 5)),
              Variant(Kor::EulerAngles(1, 2, 3)));
}

Kor::Matrix at(float x, float y, float z, float scale = 1) {
    return Kor::DecomposedMatrix(Kor::Vector3(scale, scale, scale), Kor::Quaternion(), Kor::Vector3(x, y, z))
        .toMatrix();
}

Kor::Vector3 translationOf(const Variant& value) { return value.cast<Kor::Matrix>().translation(); }

void expectNear(const Kor::Vector3& actual, const Kor::Vector3& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
}

TEST(AverageTransformReduceMap, MovesEveryTransformByTheChangeOfTheMean) {
    AverageTransformReduceMap map(false);
    map.reduce(at(0, 0, 0), 0);
    map.reduce(Kor::DecomposedMatrix(at(2, 0, 0)), 0);
    expectNear(translationOf(map.reduced()), {1, 0, 0});

    // Moving the mean up moves both up.
    expectNear(translationOf(map.map(at(1, 1, 0), at(0, 0, 0))), {0, 1, 0});
    expectNear(translationOf(map.map(at(1, 1, 0), at(2, 0, 0))), {2, 1, 0});
    // Scaling the mean scales about the mean: the transforms spread out.
    const Kor::DecomposedMatrix spread(map.map(at(1, 0, 0, 2), at(2, 0, 0)).cast<Kor::Matrix>());
    expectNear(spread.translation, {3, 0, 0});
    expectNear(spread.scale, {2, 2, 2});
    // Rotating the mean turns each transform about itself.
    Kor::Matrix turned = Kor::Matrix().setRotate(Kor::Quaternion::fromAxisAngle({0, 1, 0}, 1.0f));
    turned.setTranslation({1, 0, 0});
    const Kor::DecomposedMatrix one(map.map(turned, at(2, 0, 0)).cast<Kor::Matrix>());
    EXPECT_TRUE(Kor::almostEqual(one.rotation, Kor::Quaternion::fromAxisAngle({0, 1, 0}, 1.0f), 1e-5f));
    EXPECT_TRUE(map.map(std::string("x"), at(0, 0, 0)).isVoid());
}

TEST(AverageTransformReduceMap, RelativeToSubObjectScalesEachAboutItselfAndRefusesNonTransforms) {
    AverageTransformReduceMap map(true);
    map.reduce(at(0, 0, 0), 0);
    map.reduce(at(2, 0, 0), 0);
    expectNear(translationOf(map.map(at(1, 0, 0, 2), at(0, 0, 0))), {0, 0, 0});
    expectNear(translationOf(map.map(at(1, 0, 0, 2), at(2, 0, 0))), {2, 0, 0});
    expectNear(translationOf(map.map(at(1, 3, 0), at(2, 0, 0))), {2, 3, 0}); // moves still move

    EXPECT_THROW(map.reduce(std::string("not a transform"), 0), tavi::CastError);
    map.reduce(at(9, 9, 9), -1); // a lower priority is ignored before converting
    expectNear(translationOf(map.reduced()), {1, 0, 0});
}

// --- snapping ------------------------------------------------------------------------------

TEST(SnapReduce, SatisfyFindsTheSmallestCommonStepInHundredths) {
    const struct {
        float a, b, common;
    } cases[] = {
        {0.5f, 0.2f, 1.0f},        {0.25f, 0.1f, 2.5f},  {0.0f, 0.3f, 0.3f}, {0.3f, -1.0f, 0.3f},
        {0.5f, 0.25f, 0.5f},       {0.001f, 0.5f, 0.5f}, // 0.001 truncates to 0 hundredths
        {0.02f, 0.03f, 0.06f},                           // a product below ten stops
        {3e9f, 0.5f, 3e9f},                              // beyond 32-bit hundredths: the larger
        {400.0f, 300.0f, 1200.0f},
    };
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(SnapReduce<float>::satisfy(c.a, c.b), c.common) << c.a << " " << c.b;
    EXPECT_EQ(SnapReduce<Kor::Vector3>::satisfy({0.5f, 0, 0.25f}, {0.2f, 0.3f, 0.1f}),
              Kor::Vector3(1.0f, 0.3f, 2.5f));
}

TEST(SnapReduce, ReducesToTheCommonStepAndLeavesValuesAsTheyWere) {
    const std::unique_ptr<ReduceMap> snap = SnapReduce<float>::meta()();
    ASSERT_TRUE(snap);
    snap->reduce(0.5, 7);
    snap->reduce(0.2f, 0);
    snap->reduce(std::string("none"), 0);
    EXPECT_DOUBLE_EQ(number(snap->reduced()), double(1.0f));
    EXPECT_EQ(snap->map(5.0, 0.25), Variant(0.25));

    const std::unique_ptr<ReduceMap> vectors = SnapReduce<Kor::Vector3>::meta()();
    for (const Variant& value :
         {Variant(Kor::Vector3(0.5f, 0.1f, 0)), Variant(1.0), Variant(Kor::Vector3(0.2f, 0.1f, 0.3f))})
        vectors->reduce(value, 0);
    // Equal steps come back as hundredths times 0.01.
    EXPECT_EQ(vectors->reduced(), Variant(Kor::Vector3(1.0f, 10 * 0.01f, 0.3f)));
}

// --- text ------------------------------------------------------------------------------------

TEST(StringJoinReduce, JoinsTextsWithTheSeparator) {
    for (const auto& [skip, joined] : {std::pair(true, "a+b"), std::pair(false, "a++b")}) {
        const std::unique_ptr<ReduceMap> map = StringJoinReduce::meta("+", skip)();
        for (const char* text : {"a", "", "b"})
            map->reduce(std::string(text), 0);
        EXPECT_EQ(map->reduced(), Variant(std::string(joined))) << "skip empty " << skip;
    }

    StringJoinReduce numbers(", ", false);
    for (const Variant& value : {Variant(1), Variant(), Variant(2.5)})
        numbers.reduce(value, 0);
    EXPECT_EQ(numbers.reduced(), Variant(std::string("1, , 2.5"))) << "no text form counts as empty";
    EXPECT_EQ(numbers.map(std::string("new"), std::string("old")), Variant(std::string("old")));
}

} // namespace
