#include "platform/kor/math/decomposed_matrix.hpp"

#include <cmath>

#include "platform/kor/math/euler_angles.hpp"

namespace Kor {

namespace {

// Axes shorter than this carry no usable direction.
constexpr float kTinyAxis = 1e-12f;

// A unit vector perpendicular to `v` (unit): crossed with the world axis least aligned with it.
Vector3 anyPerpendicular(const Vector3& v) noexcept {
    const float ax = std::fabs(v.x), ay = std::fabs(v.y), az = std::fabs(v.z);
    const Vector3 other = ax <= ay && ax <= az ? Vector3{1.0f, 0.0f, 0.0f}
                          : ay <= az           ? Vector3{0.0f, 1.0f, 0.0f}
                                               : Vector3{0.0f, 0.0f, 1.0f};
    return v.cross(other).normalised();
}

// Completes a right-handed orthonormal frame from the usable axes, in axis order:
// the first usable axis keeps its direction, the second is made perpendicular to
// it, the third follows from the cross product. Missing axes are invented.
void orthonormalise(Vector3 (&axes)[3], const bool (&usable)[3]) noexcept {
    int first = -1, second = -1;
    for (int i = 0; i < 3; ++i) {
        if (!usable[i])
            continue;
        if (first < 0) {
            first = i;
            axes[i].normalise();
        } else if (second < 0) {
            Vector3 v = axes[i] - axes[first] * axes[first].dot(axes[i]);
            if (v.length() > kTinyAxis * axes[i].length()) { // not parallel to the first
                second = i;
                axes[i] = v.normalised();
            }
        }
    }
    if (first < 0) {
        axes[0] = {1.0f, 0.0f, 0.0f};
        axes[1] = {0.0f, 1.0f, 0.0f};
        axes[2] = {0.0f, 0.0f, 1.0f};
        return;
    }
    if (second < 0) {
        second = (first + 1) % 3;
        axes[second] = anyPerpendicular(axes[first]);
    }
    // Cyclic order: Z = X x Y, X = Y x Z, Y = Z x X.
    const int third = 3 - first - second;
    const int next = (third + 1) % 3, afterNext = (third + 2) % 3;
    axes[third] = axes[next].cross(axes[afterNext]).normalised();
}

} // namespace

DecomposedMatrix::DecomposedMatrix(const Matrix& m) noexcept {
    Vector3 axes[3] = {m[0].xyz(), m[1].xyz(), m[2].xyz()};
    bool usable[3];
    for (int i = 0; i < 3; ++i) {
        scale[i] = axes[i].length();
        usable[i] = scale[i] > kTinyAxis && std::isfinite(scale[i]);
    }
    // A mirror cannot be a rotation: keep it as a negative X scale.
    if (axes[0].dot(axes[1].cross(axes[2])) < 0.0f) {
        scale.x = -scale.x;
        axes[0] = -axes[0];
    }
    orthonormalise(axes, usable);
    rotation = Quaternion::fromMatrix(Matrix(Vector4(axes[0], 0.0f), Vector4(axes[1], 0.0f),
                                             Vector4(axes[2], 0.0f), Vector4(0.0f, 0.0f, 0.0f, 1.0f)));
    translation = m.translation();
}

DecomposedMatrix DecomposedMatrix::lerp(const DecomposedMatrix& a, const DecomposedMatrix& b,
                                        float t) noexcept {
    return {Kor::lerp(a.scale, b.scale, t), Quaternion::slerp(a.rotation, b.rotation, t),
            Kor::lerp(a.translation, b.translation, t)};
}

Matrix DecomposedMatrix::toMatrix() const noexcept {
    Matrix m;
    m.setRotate(rotation);
    for (int i = 0; i < 3; ++i)
        m[i] *= scale[i];
    m.setTranslation(translation);
    return m;
}

std::size_t DecomposedMatrix::hash() const noexcept {
    return hash_combine(hash_combine(scale.hash(), rotation.hash()), translation.hash());
}

DecomposedMatrixPYR::DecomposedMatrixPYR(const Matrix& m) noexcept
    : DecomposedMatrixPYR(DecomposedMatrix(m)) {}

DecomposedMatrixPYR::DecomposedMatrixPYR(const DecomposedMatrix& d) noexcept
    : scale(d.scale), translation(d.translation) {
    const EulerAngles angles(d.rotation);
    pitchYawRoll = {angles.pitch, angles.yaw, angles.roll};
}

DecomposedMatrix DecomposedMatrixPYR::toDecomposedMatrix() const noexcept {
    return {scale, EulerAngles(pitchYawRoll.y, pitchYawRoll.x, pitchYawRoll.z).toQuaternion(), translation};
}

Matrix DecomposedMatrixPYR::toMatrix() const noexcept {
    Matrix m = EulerAngles(pitchYawRoll.y, pitchYawRoll.x, pitchYawRoll.z).toMatrix();
    for (int i = 0; i < 3; ++i)
        m[i] *= scale[i];
    m.setTranslation(translation);
    return m;
}

std::size_t DecomposedMatrixPYR::hash() const noexcept {
    return hash_combine(hash_combine(scale.hash(), pitchYawRoll.hash()), translation.hash());
}

} // namespace Kor
