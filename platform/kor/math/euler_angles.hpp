#pragma once
// Yaw, pitch and roll angles in radians.
//
// Axes: yaw turns about Y (up), pitch about X (right), roll about Z (forward),
// each by the right-hand rule. A rotation applies roll first, then pitch, then
// yaw: as matrices Rz(roll) x Rx(pitch) x Ry(yaw) in this library's row-vector
// convention, as quaternions roll * pitch * yaw. Converting back yields pitch in
// [-pi/2, pi/2] and yaw and roll in [-pi, pi]; at pitch +-pi/2 (gimbal lock)
// the whole turn about the vertical is given to yaw and roll is 0.

#include <cstddef>
#include <functional>

#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/quaternion.hpp"
#include "platform/kor/math/vector.hpp"

namespace Kor {

struct EulerAngles {
    float yaw = 0.0f;
    float pitch = 0.0f;
    float roll = 0.0f;

    constexpr EulerAngles() noexcept = default;
    constexpr EulerAngles(float yaw_, float pitch_, float roll_) noexcept
        : yaw(yaw_), pitch(pitch_), roll(roll_) {}
    // The angles of a rotation (normalised first; a zero quaternion gives all zeros).
    explicit EulerAngles(const Quaternion& rotation) noexcept;
    // The angles of the rotation part of an orthonormal matrix with determinant +1.
    static EulerAngles fromMatrix(const Matrix& rotation) noexcept;

    Quaternion toQuaternion() const noexcept;
    // The pure rotation matrix (no translation).
    Matrix toMatrix() const noexcept;

    constexpr bool operator==(const EulerAngles& o) const noexcept {
        return yaw == o.yaw && pitch == o.pitch && roll == o.roll;
    }
    std::size_t hash() const noexcept {
        return math_details::hashFloat(math_details::hashFloat(math_details::hashFloat(6, yaw), pitch), roll);
    }
};

// Every angle within `tolerance` (no wrapping: 0 and 2 pi differ).
bool almostEqual(const EulerAngles& a, const EulerAngles& b, float tolerance) noexcept;

} // namespace Kor

template <>
struct std::hash<Kor::EulerAngles> {
    std::size_t operator()(const Kor::EulerAngles& e) const noexcept { return e.hash(); }
};
