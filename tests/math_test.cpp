// Math library: vectors, matrices, quaternions, decomposition and Euler angles.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <unordered_set>

#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/math.hpp"

using namespace Kor;

namespace {

constexpr float kPi = std::numbers::pi_v<float>;
constexpr float kTol = 1e-5f;

Matrix rotation(const Quaternion& q) { return Matrix().setRotate(q); }

// Rotations about skewed axes, so that no test passes by symmetry.
const Quaternion kRotations[] = {
    Quaternion::fromAxisAngle({1.0f, 2.0f, 3.0f}, 0.7f),
    Quaternion::fromAxisAngle({-0.3f, 1.0f, 0.2f}, 2.9f),
    Quaternion::fromAxisAngle({5.0f, -1.0f, 0.5f}, kPi),
};

// S x R x T built from elementary matrices.
Matrix transform(const Vector3& scale, const Quaternion& q, const Vector3& translation) {
    Matrix t;
    t.setTranslation(translation);
    return Matrix().setScale(scale).postMultiply(rotation(q)).postMultiply(t);
}

// a x b by the textbook sum, independent of Matrix's own product.
Matrix product(const Matrix& a, const Matrix& b) {
    Matrix result;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            result(r, c) = 0.0f;
            for (int k = 0; k < 4; ++k)
                result(r, c) += a(r, k) * b(k, c);
        }
    return result;
}

} // namespace

TEST(MathVector, CrossNormaliseIndexAndHash) {
    EXPECT_EQ(Vector3(1, 0, 0).cross({0, 1, 0}), Vector3(0, 0, 1));
    Vector4 v{3.0f, 0.0f, 4.0f, 0.0f};
    EXPECT_FLOAT_EQ(v.normalise(), 5.0f);
    EXPECT_TRUE(almostEqual(v, Vector4(0.6f, 0.0f, 0.8f, 0.0f), kTol));
    Vector2 zero;
    EXPECT_EQ(zero.normalise(), 0.0f);
    EXPECT_EQ(zero, Vector2::ZERO);

    MessageCapture capture;
    EXPECT_EQ(Vector3(9.0f, 8.0f, 7.0f)[3], 9.0f);
    EXPECT_EQ(Vector2(1.0f, 2.0f)[-1], 1.0f);
    EXPECT_EQ(capture.count(), 2u);

    // Hash follows equality (-0 == 0); swapped or changed components must not collide.
    EXPECT_EQ(Vector3(0.0f, -0.0f, 1.0f).hash(), Vector3(-0.0f, 0.0f, 1.0f).hash());
    const std::unordered_set<Vector3> set{{1, 2, 3}, {3, 2, 1}, {1, 2, 4}, {0, 0, 0}, {-0.0f, 0, 0}};
    EXPECT_EQ(set.size(), 4u);
}

TEST(MathMatrix, InverseTimesMatrixIsIdentityOrFailsAndKeepsMatrix) {
    const Matrix affine = transform({2.0f, 0.5f, -3.0f}, kRotations[0], {10.0f, -4.0f, 7.0f});
    const Matrix projective({1, 2, 0, 0.5f}, {0, 1, 3, 0}, {4, 0, 1, 1}, {1, 1, 1, 2});
    for (const Matrix& m : {affine, projective}) {
        Matrix inv = m;
        ASSERT_TRUE(inv.invert());
        EXPECT_TRUE(almostEqual(inv * m, Matrix::identity, 1e-5f));
    }
    // A large translation does not make an otherwise well-formed matrix singular.
    Matrix far;
    far.setTranslation({1e7f, -1e7f, 3e6f});
    ASSERT_TRUE(far.invert());
    EXPECT_EQ(far.translation(), Vector3(-1e7f, 1e7f, -3e6f));

    const Matrix flat = transform({1.0f, 0.0f, 2.0f}, kRotations[1], {1.0f, 2.0f, 3.0f});
    // A dependent row computed in float: rounding leaves a tiny, meaningless determinant.
    Matrix rounded = rotation(kRotations[0]);
    rounded[2] = rounded[0] * 0.1f + rounded[1] * 0.3f;
    ASSERT_NE(rounded.determinant(), 0.0f);
    for (const Matrix& m : {flat, rounded}) {
        Matrix copy = m;
        EXPECT_FALSE(copy.invert());
        EXPECT_EQ(copy, m);
    }
}

TEST(MathMatrix, CompositionOrderApplicationAndSelfProducts) {
    Matrix translate;
    translate.setTranslation({1.0f, 0.0f, 0.0f});
    const Matrix quarterZ = Matrix().setRotateZ(kPi / 2);
    // Row vectors: A x B applies A first.
    const Matrix translateThenRotate = Matrix(translate).postMultiply(quarterZ);
    EXPECT_TRUE(almostEqual(translateThenRotate.applyPoint(Vector3::ZERO), Vector3(0, 1, 0), kTol));
    const Matrix rotateThenTranslate = Matrix(translate).preMultiply(quarterZ);
    EXPECT_TRUE(almostEqual(rotateThenTranslate.applyPoint({1, 0, 0}), Vector3(1, 1, 0), kTol));
    EXPECT_TRUE(almostEqual(rotateThenTranslate.applyVector({1, 0, 0}), Vector3(0, 1, 0), kTol));

    // Multiplying by itself must read the original, not the half-written result.
    const Matrix m = transform({1.0f, 2.0f, 0.5f}, kRotations[0], {4.0f, -5.0f, 6.0f});
    Matrix post = m, pre = m, times = m;
    post.postMultiply(post);
    pre.preMultiply(pre);
    times *= times;
    for (const Matrix& squared : {post, pre, times})
        EXPECT_TRUE(almostEqual(squared, product(m, m), 1e-4f));
}

TEST(MathQuaternion, AgreesWithMatricesAndComposesLikeThem) {
    const Quaternion quarterZ = Quaternion::fromAxisAngle({0, 0, 2}, kPi / 2);
    EXPECT_TRUE(almostEqual(quarterZ.rotate({1, 0, 0}), Vector3(0, 1, 0), kTol));
    EXPECT_EQ(Quaternion::fromAxisAngle(Vector3::ZERO, 1.0f), Quaternion::identity);
    const Vector3 p{0.3f, -2.0f, 1.5f};
    for (const Quaternion& a : kRotations) {
        EXPECT_TRUE(almostEqual(Quaternion::fromMatrix(rotation(a)), a, kTol));
        for (const Quaternion& b : kRotations)
            EXPECT_TRUE(
                almostEqual((a * b).rotate(p), rotation(a).postMultiply(rotation(b)).applyVector(p), 1e-4f));
    }
    EXPECT_FALSE(almostEqual(kRotations[0] * kRotations[1], kRotations[1] * kRotations[0], 1e-3f));
}

TEST(MathQuaternion, InvertNegatedEqualityAndShortArcSlerp) {
    const Quaternion q = kRotations[1];
    Quaternion scaled{2 * q.x, 2 * q.y, 2 * q.z, 2 * q.w};
    ASSERT_TRUE(scaled.invert());
    // (2q)^-1 = q^-1 / 2: the inverse divides by the squared length.
    EXPECT_TRUE(almostEqual(q * scaled, Quaternion(0, 0, 0, 0.5f), kTol));
    Quaternion zero{0, 0, 0, 0};
    EXPECT_FALSE(zero.invert());
    EXPECT_TRUE(almostEqual(q, Quaternion(-q.x, -q.y, -q.z, -q.w), kTol)); // the same rotation

    const Quaternion a = Quaternion::fromAxisAngle({0, 1, 0}, 0.2f);
    const Quaternion b = Quaternion::fromAxisAngle({0, 1, 0}, 1.4f);
    EXPECT_TRUE(
        almostEqual(Quaternion::slerp(a, b, 0.25f), Quaternion::fromAxisAngle({0, 1, 0}, 0.5f), kTol));
    // -b is the same rotation: the midpoint must not swing the long way round.
    const Quaternion minusB{-b.x, -b.y, -b.z, -b.w};
    EXPECT_TRUE(
        almostEqual(Quaternion::slerp(a, minusB, 0.5f), Quaternion::fromAxisAngle({0, 1, 0}, 0.8f), kTol));
}

TEST(MathDecomposedMatrix, RoundTripsWithNonUniformMirroredAndFlatScale) {
    for (const Quaternion& q : kRotations) {
        const Matrix m = transform({2.0f, 0.5f, 3.0f}, q, {-4.0f, 1.0f, 9.0f});
        const DecomposedMatrix d(m);
        EXPECT_TRUE(almostEqual(d.scale, Vector3(2.0f, 0.5f, 3.0f), 1e-5f));
        EXPECT_TRUE(almostEqual(d.rotation, q, 1e-5f));
        EXPECT_EQ(d.translation, Vector3(-4.0f, 1.0f, 9.0f));
    }
    const DecomposedMatrix mirrored(transform({1.0f, -2.0f, 1.5f}, kRotations[0], {1, 2, 3}));
    EXPECT_TRUE(almostEqual(rotation(mirrored.rotation).determinant(), 1.0f, kTol));
    for (const Vector3& scale : {Vector3(1.0f, -2.0f, 1.5f), Vector3(2, 0, 3), Vector3::ZERO}) {
        const Matrix m = transform(scale, kRotations[1], {1, 2, 3});
        const DecomposedMatrix d(m);
        EXPECT_TRUE(almostEqual(d.rotation.length(), 1.0f, kTol));
        EXPECT_TRUE(almostEqual(d.toMatrix(), m, 1e-5f));
    }
}

TEST(MathDecomposedMatrix, LerpFromTheEmptyTransform) {
    const DecomposedMatrix empty(Vector3::ZERO);
    const DecomposedMatrix a({1, 1, 1}, Quaternion::fromAxisAngle({1, 0, 0}, 0.4f), {0, 0, 0});
    const DecomposedMatrix b({3, 5, 1}, Quaternion::fromAxisAngle({1, 0, 0}, 1.0f), {2, -4, 6});
    // A running mean seeded from the empty transform starts at the first value.
    EXPECT_EQ(DecomposedMatrix::lerp(empty, b, 1.0f), b);
    const DecomposedMatrix mid = DecomposedMatrix::lerp(a, b, 0.5f);
    EXPECT_EQ(mid.translation, Vector3(1, -2, 3));
    EXPECT_TRUE(almostEqual(mid.rotation, Quaternion::fromAxisAngle({1, 0, 0}, 0.7f), kTol));
}

TEST(MathEulerAngles, AxesOrderAndRoundTrips) {
    const Vector3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    EXPECT_TRUE(almostEqual(EulerAngles(kPi / 2, 0, 0).toMatrix().applyVector(z), x, kTol)); // yaw about Y
    EXPECT_TRUE(almostEqual(EulerAngles(0, kPi / 2, 0).toMatrix().applyVector(y), z, kTol)); // pitch about X
    // Roll first, then pitch, then yaw: X rolls onto Y, pitches onto Z, yaws onto X.
    EXPECT_TRUE(almostEqual(EulerAngles(kPi / 2, kPi / 2, kPi / 2).toMatrix().applyVector(x), x, kTol));
    for (const EulerAngles& e : {EulerAngles(0.3f, -0.4f, 1.1f), EulerAngles(-2.5f, 1.2f, -3.0f)}) {
        EXPECT_TRUE(almostEqual(rotation(e.toQuaternion()), e.toMatrix(), 1e-5f));
        EXPECT_TRUE(almostEqual(EulerAngles(e.toQuaternion()), e, 1e-4f));
    }
    // Gimbal lock: the angles are not unique, the rotation must survive.
    const Quaternion locked = EulerAngles(0.7f, kPi / 2, 0.2f).toQuaternion();
    EXPECT_TRUE(almostEqual(EulerAngles(locked).toQuaternion(), locked, 1e-3f));

    const DecomposedMatrixPYR pyr({2.0f, 1.0f, 0.5f}, {0.4f, -1.3f, 2.2f}, {1, 2, 3});
    const DecomposedMatrixPYR back(pyr.toMatrix());
    EXPECT_TRUE(almostEqual(back.scale, pyr.scale, 1e-5f));
    EXPECT_TRUE(almostEqual(back.pitchYawRoll, pyr.pitchYawRoll, 1e-4f));
}
