#include "platform/kor/math/euler_angles.hpp"

#include <algorithm>
#include <cmath>

#include "platform/kor/math/matrix.hpp"

namespace Kor {

namespace {

// Below this cos(pitch) yaw and roll turn about the same axis and cannot be told apart.
constexpr float kGimbalCosine = 1e-4f;

} // namespace

EulerAngles::EulerAngles(const Quaternion& rotation) noexcept
    : EulerAngles(fromMatrix(Matrix().setRotate(rotation))) {}

EulerAngles EulerAngles::fromMatrix(const Matrix& m) noexcept {
    // Rz(roll) x Rx(pitch) x Ry(yaw) expands to
    //   row 0: ( cr cy + sr sp sy,  sr cp,  sr sp cy - cr sy)
    //   row 1: (cr sp sy - sr cy,   cr cp,  sr sy + cr sp cy)
    //   row 2: (cp sy,             -sp,     cp cy)
    EulerAngles e;
    e.pitch = std::asin(std::clamp(-m(2, 1), -1.0f, 1.0f));
    const float cosPitch = std::hypot(m(2, 0), m(2, 2));
    if (cosPitch > kGimbalCosine) {
        e.yaw = std::atan2(m(2, 0), m(2, 2));
        e.roll = std::atan2(m(0, 1), m(1, 1));
    } else {
        // With cp = 0 and roll = 0, row 0 is (cy, 0, -sy).
        e.yaw = std::atan2(-m(0, 2), m(0, 0));
        e.roll = 0.0f;
    }
    return e;
}

Quaternion EulerAngles::toQuaternion() const noexcept {
    return Quaternion::fromAxisAngle({0.0f, 0.0f, 1.0f}, roll) *
           Quaternion::fromAxisAngle({1.0f, 0.0f, 0.0f}, pitch) *
           Quaternion::fromAxisAngle({0.0f, 1.0f, 0.0f}, yaw);
}

Matrix EulerAngles::toMatrix() const noexcept {
    return Matrix()
        .setRotateZ(roll)
        .postMultiply(Matrix().setRotateX(pitch))
        .postMultiply(Matrix().setRotateY(yaw));
}

bool almostEqual(const EulerAngles& a, const EulerAngles& b, float tolerance) noexcept {
    return almostEqual(a.yaw, b.yaw, tolerance) && almostEqual(a.pitch, b.pitch, tolerance) &&
           almostEqual(a.roll, b.roll, tolerance);
}

} // namespace Kor
