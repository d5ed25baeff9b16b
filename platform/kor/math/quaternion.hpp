#pragma once
// Rotation quaternions.
//
// Composition order follows the matrices of this library (row vectors,
// v' = v x M): `a * b` is the rotation a followed by the rotation b, so
// Matrix().setRotate(a * b) equals Matrix().setRotate(a).postMultiply(Matrix().setRotate(b)).
// (In Hamilton notation a * b here is b (x) a.) Positive angles turn
// counter-clockwise about an axis pointing at the viewer (right-hand rule).

#include <cstddef>
#include <functional>

#include "platform/kor/math/vector.hpp"

namespace Kor {

class Matrix;

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    static const Quaternion identity;

    // The identity rotation.
    constexpr Quaternion() noexcept = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) noexcept : x(x_), y(y_), z(z_), w(w_) {}

    // Rotation by `angle` radians about `axis` (need not be unit length). A zero
    // axis gives the identity.
    static Quaternion fromAxisAngle(const Vector3& axis, float angle) noexcept;
    // Rotation of the upper 3x3 of `m`, which must be orthonormal with determinant +1
    // (use DecomposedMatrix for matrices carrying scale).
    static Quaternion fromMatrix(const Matrix& m) noexcept;
    // Spherical interpolation along the shorter arc; t = 0 gives exactly a, t = 1 exactly b.
    static Quaternion slerp(const Quaternion& a, const Quaternion& b, float t) noexcept;

    constexpr float dot(const Quaternion& o) const noexcept { return x * o.x + y * o.y + z * o.z + w * o.w; }
    constexpr float lengthSquared() const noexcept { return dot(*this); }
    float length() const noexcept;
    // Scales to unit length and returns the previous length; a zero quaternion
    // becomes the identity.
    float normalise() noexcept;
    Quaternion normalised() const noexcept {
        Quaternion q = *this;
        q.normalise();
        return q;
    }

    // Replaces this by its inverse (conjugate over squared length). A zero
    // quaternion has none: returns false and leaves this unchanged.
    bool invert() noexcept;
    // The inverse, or this unchanged when there is none.
    Quaternion inverse() const noexcept {
        Quaternion q = *this;
        q.invert();
        return q;
    }

    // Rotates `v` (the same as v x Matrix().setRotate(*this) for a unit quaternion).
    Vector3 rotate(const Vector3& v) const noexcept;

    Quaternion& operator*=(const Quaternion& next) noexcept { return *this = *this * next; }
    // This rotation followed by `next`.
    friend Quaternion operator*(const Quaternion& first, const Quaternion& next) noexcept;

    constexpr bool operator==(const Quaternion& o) const noexcept {
        return x == o.x && y == o.y && z == o.z && w == o.w;
    }
    std::size_t hash() const noexcept {
        return math_details::hashFloat(
            math_details::hashFloat(math_details::hashFloat(math_details::hashFloat(5, x), y), z), w);
    }
};

inline constexpr Quaternion Quaternion::identity{0.0f, 0.0f, 0.0f, 1.0f};

// Whether a and b are the same rotation within `tolerance` per component
// (q and -q describe the same rotation).
bool almostEqual(const Quaternion& a, const Quaternion& b, float tolerance) noexcept;

} // namespace Kor

template <>
struct std::hash<Kor::Quaternion> {
    std::size_t operator()(const Kor::Quaternion& q) const noexcept { return q.hash(); }
};
