#include "platform/kor/math/quaternion.hpp"

#include <cmath>

#include "platform/kor/math/matrix.hpp"

namespace Kor {

Quaternion Quaternion::fromAxisAngle(const Vector3& axis, float angle) noexcept {
    const Vector3 unit = axis.normalised();
    if (unit == Vector3::ZERO)
        return identity;
    const float s = std::sin(angle * 0.5f);
    return {unit.x * s, unit.y * s, unit.z * s, std::cos(angle * 0.5f)};
}

Quaternion Quaternion::fromMatrix(const Matrix& m) noexcept {
    // Shepperd's method: divide by the largest of the four candidates to stay accurate.
    // The row-vector rotation matrix has m01 - m10 = 4zw, m12 - m21 = 4xw, m20 - m02 = 4yw.
    const float m00 = m(0, 0), m11 = m(1, 1), m22 = m(2, 2);
    const float trace = m00 + m11 + m22;
    Quaternion q;
    if (trace > 0.0f) {
        const float s = std::sqrt(trace + 1.0f) * 2.0f; // 4w
        q = {(m(1, 2) - m(2, 1)) / s, (m(2, 0) - m(0, 2)) / s, (m(0, 1) - m(1, 0)) / s, 0.25f * s};
    } else if (m00 >= m11 && m00 >= m22) {
        const float s = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f; // 4x
        q = {0.25f * s, (m(0, 1) + m(1, 0)) / s, (m(0, 2) + m(2, 0)) / s, (m(1, 2) - m(2, 1)) / s};
    } else if (m11 >= m22) {
        const float s = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f; // 4y
        q = {(m(0, 1) + m(1, 0)) / s, 0.25f * s, (m(1, 2) + m(2, 1)) / s, (m(2, 0) - m(0, 2)) / s};
    } else {
        const float s = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f; // 4z
        q = {(m(0, 2) + m(2, 0)) / s, (m(1, 2) + m(2, 1)) / s, 0.25f * s, (m(0, 1) - m(1, 0)) / s};
    }
    q.normalise();
    return q;
}

Quaternion Quaternion::slerp(const Quaternion& a, const Quaternion& b, float t) noexcept {
    // Exact ends, so that a running mean seeded by lerp(mean, first, 1) starts at `first` itself.
    if (t == 0.0f)
        return a;
    if (t == 1.0f)
        return b;
    Quaternion to = b;
    float cosTheta = a.dot(b);
    if (cosTheta < 0.0f) { // q and -q are one rotation: take the shorter way round
        to = {-b.x, -b.y, -b.z, -b.w};
        cosTheta = -cosTheta;
    }
    float wa, wb;
    if (cosTheta > 0.9995f) {
        // Nearly parallel: sin(theta) is too small to divide by; a normalised lerp is as good.
        wa = 1.0f - t;
        wb = t;
    } else {
        const float theta = std::acos(cosTheta);
        const float sinTheta = std::sin(theta);
        wa = std::sin((1.0f - t) * theta) / sinTheta;
        wb = std::sin(t * theta) / sinTheta;
    }
    Quaternion r{wa * a.x + wb * to.x, wa * a.y + wb * to.y, wa * a.z + wb * to.z, wa * a.w + wb * to.w};
    r.normalise();
    return r;
}

float Quaternion::length() const noexcept { return std::sqrt(lengthSquared()); }

float Quaternion::normalise() noexcept {
    const float len = length();
    if (!(len > 0.0f) || !std::isfinite(len)) {
        *this = identity;
        return len;
    }
    x /= len;
    y /= len;
    z /= len;
    w /= len;
    return len;
}

bool Quaternion::invert() noexcept {
    const float n = lengthSquared();
    if (!(n > 0.0f) || !std::isfinite(n))
        return false;
    *this = {-x / n, -y / n, -z / n, w / n};
    return true;
}

Vector3 Quaternion::rotate(const Vector3& v) const noexcept {
    // v' = q v q*, expanded: t = 2 (u x v); v' = v + w t + u x t.
    const Vector3 u{x, y, z};
    const Vector3 t = 2.0f * u.cross(v);
    return v + w * t + u.cross(t);
}

Quaternion operator*(const Quaternion& first, const Quaternion& next) noexcept {
    // Hamilton product next (x) first: first is applied to a vector before next.
    const Quaternion& p = next;
    const Quaternion& q = first;
    return {p.w * q.x + q.w * p.x + (p.y * q.z - p.z * q.y), p.w * q.y + q.w * p.y + (p.z * q.x - p.x * q.z),
            p.w * q.z + q.w * p.z + (p.x * q.y - p.y * q.x), p.w * q.w - (p.x * q.x + p.y * q.y + p.z * q.z)};
}

bool almostEqual(const Quaternion& a, const Quaternion& b, float tolerance) noexcept {
    const auto close = [tolerance](const Quaternion& p, const Quaternion& q) {
        return almostEqual(p.x, q.x, tolerance) && almostEqual(p.y, q.y, tolerance) &&
               almostEqual(p.z, q.z, tolerance) && almostEqual(p.w, q.w, tolerance);
    };
    return close(a, b) || close(a, Quaternion{-b.x, -b.y, -b.z, -b.w});
}

} // namespace Kor
