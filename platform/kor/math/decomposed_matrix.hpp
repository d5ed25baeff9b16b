#pragma once
// Transforms split into scale, rotation and translation.
//
// The composed matrix applies the scale first, then the rotation, then the
// translation (row vectors: S x R x T). A matrix with shear cannot be split
// exactly: decomposition keeps the lengths of the axes as the scale and the
// nearest rotation (Gram-Schmidt from the X axis) and drops the shear.

#include <cstddef>
#include <functional>

#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/quaternion.hpp"
#include "platform/kor/math/vector.hpp"

namespace Kor {

struct DecomposedMatrix {
    Vector3 scale = Vector3::ONE;
    Quaternion rotation;
    Vector3 translation;

    // The identity transform.
    constexpr DecomposedMatrix() noexcept = default;
    constexpr DecomposedMatrix(const Vector3& scale_, const Quaternion& rotation_,
                               const Vector3& translation_) noexcept
        : scale(scale_), rotation(rotation_), translation(translation_) {}
    // Splits `m` (its last column is ignored). A negative determinant is kept as
    // a negative X scale, so the rotation stays proper; an axis of length zero
    // gives a zero scale and the rotation is completed from the other axes.
    explicit DecomposedMatrix(const Matrix& m) noexcept;
    // Scale and translation both `v`, identity rotation. From Vector3::ZERO this
    // is the all-zero starting point of running means (mean = lerp(mean, x, 1/n)).
    explicit constexpr DecomposedMatrix(const Vector3& v) noexcept : scale(v), rotation(), translation(v) {}

    // Scale and translation interpolate linearly, the rotation by slerp.
    // t = 0 gives a and t = 1 gives b.
    static DecomposedMatrix lerp(const DecomposedMatrix& a, const DecomposedMatrix& b, float t) noexcept;

    Matrix toMatrix() const noexcept;

    constexpr bool operator==(const DecomposedMatrix& o) const noexcept {
        return scale == o.scale && rotation == o.rotation && translation == o.translation;
    }
    std::size_t hash() const noexcept;
};

// A transform with its rotation as angles: x = pitch, y = yaw, z = roll, in
// radians, with the axes and order of EulerAngles (roll, then pitch, then yaw).
struct DecomposedMatrixPYR {
    Vector3 scale = Vector3::ONE;
    Vector3 pitchYawRoll;
    Vector3 translation;

    // The identity transform.
    constexpr DecomposedMatrixPYR() noexcept = default;
    constexpr DecomposedMatrixPYR(const Vector3& scale_, const Vector3& pitchYawRoll_,
                                  const Vector3& translation_) noexcept
        : scale(scale_), pitchYawRoll(pitchYawRoll_), translation(translation_) {}
    // Decomposes as DecomposedMatrix does, then converts the rotation to angles.
    explicit DecomposedMatrixPYR(const Matrix& m) noexcept;
    explicit DecomposedMatrixPYR(const DecomposedMatrix& d) noexcept;

    DecomposedMatrix toDecomposedMatrix() const noexcept;
    // Scale, then rotate, then translate.
    Matrix toMatrix() const noexcept;

    constexpr bool operator==(const DecomposedMatrixPYR& o) const noexcept {
        return scale == o.scale && pitchYawRoll == o.pitchYawRoll && translation == o.translation;
    }
    std::size_t hash() const noexcept;
};

} // namespace Kor

template <>
struct std::hash<Kor::DecomposedMatrix> {
    std::size_t operator()(const Kor::DecomposedMatrix& d) const noexcept { return d.hash(); }
};
template <>
struct std::hash<Kor::DecomposedMatrixPYR> {
    std::size_t operator()(const Kor::DecomposedMatrixPYR& d) const noexcept { return d.hash(); }
};
