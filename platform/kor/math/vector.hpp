#pragma once
// Small fixed-size float vectors of the engine.
//
// Components are public floats so that tools and streams can read and write
// them directly. `operator==` is exact; use `almostEqual` for computed values.
// `hash()` agrees with `operator==` (+0 and -0 compare equal and hash equally).

#include <bit>
#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/corekit/hash.hpp"

namespace Kor {

namespace math_details {

// Reports an out-of-range component or row index; the caller then falls back to index 0.
void reportBadIndex(const char* typeName, int index, int count);

// Folds one float into a hash so that +0 and -0 (which compare equal) hash alike.
inline std::size_t hashFloat(std::size_t seed, float value) noexcept {
    const float canonical = value == 0.0f ? 0.0f : value;
    return static_cast<std::size_t>(hash_combine(seed, std::bit_cast<std::uint32_t>(canonical)));
}

} // namespace math_details

// Whether |a - b| <= tolerance.
inline bool almostEqual(float a, float b, float tolerance) noexcept { return std::fabs(a - b) <= tolerance; }

// Component-wise interpolation; t = 0 gives exactly a and t = 1 exactly b.
constexpr float lerp(float a, float b, float t) noexcept { return (1.0f - t) * a + t * b; }

struct Vector2 {
    float x = 0.0f;
    float y = 0.0f;

    static const Vector2 ZERO;
    static const Vector2 ONE;

    constexpr Vector2() noexcept = default;
    constexpr Vector2(float x_, float y_) noexcept : x(x_), y(y_) {}

    // An index outside 0..1 is reported and yields x.
    float& operator[](int index);
    float operator[](int index) const { return const_cast<Vector2&>(*this)[index]; }

    constexpr float dot(const Vector2& o) const noexcept { return x * o.x + y * o.y; }
    constexpr float lengthSquared() const noexcept { return dot(*this); }
    float length() const noexcept { return std::sqrt(lengthSquared()); }
    // Scales to unit length and returns the previous length; a zero vector stays zero.
    float normalise() noexcept;
    Vector2 normalised() const noexcept {
        Vector2 v = *this;
        v.normalise();
        return v;
    }

    constexpr Vector2& operator+=(const Vector2& o) noexcept {
        x += o.x;
        y += o.y;
        return *this;
    }
    constexpr Vector2& operator-=(const Vector2& o) noexcept {
        x -= o.x;
        y -= o.y;
        return *this;
    }
    constexpr Vector2& operator*=(const Vector2& o) noexcept {
        x *= o.x;
        y *= o.y;
        return *this;
    }
    constexpr Vector2& operator/=(const Vector2& o) noexcept {
        x /= o.x;
        y /= o.y;
        return *this;
    }
    constexpr Vector2& operator*=(float s) noexcept {
        x *= s;
        y *= s;
        return *this;
    }
    constexpr Vector2& operator/=(float s) noexcept {
        x /= s;
        y /= s;
        return *this;
    }

    constexpr bool operator==(const Vector2& o) const noexcept { return x == o.x && y == o.y; }
    std::size_t hash() const noexcept { return math_details::hashFloat(math_details::hashFloat(2, x), y); }
};

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    static const Vector3 ZERO;
    static const Vector3 ONE;

    constexpr Vector3() noexcept = default;
    constexpr Vector3(float x_, float y_, float z_) noexcept : x(x_), y(y_), z(z_) {}

    // An index outside 0..2 is reported and yields x.
    float& operator[](int index);
    float operator[](int index) const { return const_cast<Vector3&>(*this)[index]; }

    constexpr float dot(const Vector3& o) const noexcept { return x * o.x + y * o.y + z * o.z; }
    // Right-handed: X.cross(Y) == Z.
    constexpr Vector3 cross(const Vector3& o) const noexcept {
        return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
    }
    constexpr float lengthSquared() const noexcept { return dot(*this); }
    float length() const noexcept { return std::sqrt(lengthSquared()); }
    // Scales to unit length and returns the previous length; a zero vector stays zero.
    float normalise() noexcept;
    Vector3 normalised() const noexcept {
        Vector3 v = *this;
        v.normalise();
        return v;
    }

    constexpr Vector3& operator+=(const Vector3& o) noexcept {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    constexpr Vector3& operator-=(const Vector3& o) noexcept {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        return *this;
    }
    constexpr Vector3& operator*=(const Vector3& o) noexcept {
        x *= o.x;
        y *= o.y;
        z *= o.z;
        return *this;
    }
    constexpr Vector3& operator/=(const Vector3& o) noexcept {
        x /= o.x;
        y /= o.y;
        z /= o.z;
        return *this;
    }
    constexpr Vector3& operator*=(float s) noexcept {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    constexpr Vector3& operator/=(float s) noexcept {
        x /= s;
        y /= s;
        z /= s;
        return *this;
    }

    constexpr bool operator==(const Vector3& o) const noexcept { return x == o.x && y == o.y && z == o.z; }
    std::size_t hash() const noexcept {
        return math_details::hashFloat(math_details::hashFloat(math_details::hashFloat(3, x), y), z);
    }
};

struct Vector4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;

    static const Vector4 ZERO;
    static const Vector4 ONE;

    constexpr Vector4() noexcept = default;
    constexpr Vector4(float x_, float y_, float z_, float w_) noexcept : x(x_), y(y_), z(z_), w(w_) {}
    constexpr Vector4(const Vector3& v, float w_) noexcept : x(v.x), y(v.y), z(v.z), w(w_) {}

    // An index outside 0..3 is reported and yields x.
    float& operator[](int index);
    float operator[](int index) const { return const_cast<Vector4&>(*this)[index]; }

    constexpr Vector3 xyz() const noexcept { return {x, y, z}; }
    constexpr float dot(const Vector4& o) const noexcept { return x * o.x + y * o.y + z * o.z + w * o.w; }
    constexpr float lengthSquared() const noexcept { return dot(*this); }
    float length() const noexcept { return std::sqrt(lengthSquared()); }
    // Scales to unit length and returns the previous length; a zero vector stays zero.
    float normalise() noexcept;
    Vector4 normalised() const noexcept {
        Vector4 v = *this;
        v.normalise();
        return v;
    }

    constexpr Vector4& operator+=(const Vector4& o) noexcept {
        x += o.x;
        y += o.y;
        z += o.z;
        w += o.w;
        return *this;
    }
    constexpr Vector4& operator-=(const Vector4& o) noexcept {
        x -= o.x;
        y -= o.y;
        z -= o.z;
        w -= o.w;
        return *this;
    }
    constexpr Vector4& operator*=(const Vector4& o) noexcept {
        x *= o.x;
        y *= o.y;
        z *= o.z;
        w *= o.w;
        return *this;
    }
    constexpr Vector4& operator/=(const Vector4& o) noexcept {
        x /= o.x;
        y /= o.y;
        z /= o.z;
        w /= o.w;
        return *this;
    }
    constexpr Vector4& operator*=(float s) noexcept {
        x *= s;
        y *= s;
        z *= s;
        w *= s;
        return *this;
    }
    constexpr Vector4& operator/=(float s) noexcept {
        x /= s;
        y /= s;
        z /= s;
        w /= s;
        return *this;
    }

    constexpr bool operator==(const Vector4& o) const noexcept {
        return x == o.x && y == o.y && z == o.z && w == o.w;
    }
    std::size_t hash() const noexcept {
        return math_details::hashFloat(
            math_details::hashFloat(math_details::hashFloat(math_details::hashFloat(4, x), y), z), w);
    }
};

inline constexpr Vector2 Vector2::ZERO{0.0f, 0.0f};
inline constexpr Vector2 Vector2::ONE{1.0f, 1.0f};
inline constexpr Vector3 Vector3::ZERO{0.0f, 0.0f, 0.0f};
inline constexpr Vector3 Vector3::ONE{1.0f, 1.0f, 1.0f};
inline constexpr Vector4 Vector4::ZERO{0.0f, 0.0f, 0.0f, 0.0f};
inline constexpr Vector4 Vector4::ONE{1.0f, 1.0f, 1.0f, 1.0f};

// Arithmetic shared by the three vector types: sums, differences, negation,
// scaling by a float and component-wise products and quotients.
template <class V>
concept FloatVector = std::same_as<V, Vector2> || std::same_as<V, Vector3> || std::same_as<V, Vector4>;

template <FloatVector V>
constexpr V operator+(V a, const V& b) noexcept {
    return a += b;
}
template <FloatVector V>
constexpr V operator-(V a, const V& b) noexcept {
    return a -= b;
}
template <FloatVector V>
constexpr V operator*(V a, const V& b) noexcept {
    return a *= b;
}
template <FloatVector V>
constexpr V operator/(V a, const V& b) noexcept {
    return a /= b;
}
template <FloatVector V>
constexpr V operator*(V a, float s) noexcept {
    return a *= s;
}
template <FloatVector V>
constexpr V operator*(float s, V a) noexcept {
    return a *= s;
}
template <FloatVector V>
constexpr V operator/(V a, float s) noexcept {
    return a /= s;
}
template <FloatVector V>
constexpr V operator-(V a) noexcept {
    return a *= -1.0f;
}

template <FloatVector V>
constexpr float dot(const V& a, const V& b) noexcept {
    return a.dot(b);
}
constexpr Vector3 cross(const Vector3& a, const Vector3& b) noexcept { return a.cross(b); }

// Component-wise; t = 0 gives exactly a and t = 1 exactly b.
template <FloatVector V>
constexpr V lerp(const V& a, const V& b, float t) noexcept {
    return a * (1.0f - t) + b * t;
}

// Every component within `tolerance`.
bool almostEqual(const Vector2& a, const Vector2& b, float tolerance) noexcept;
bool almostEqual(const Vector3& a, const Vector3& b, float tolerance) noexcept;
bool almostEqual(const Vector4& a, const Vector4& b, float tolerance) noexcept;

} // namespace Kor

template <>
struct std::hash<Kor::Vector2> {
    std::size_t operator()(const Kor::Vector2& v) const noexcept { return v.hash(); }
};
template <>
struct std::hash<Kor::Vector3> {
    std::size_t operator()(const Kor::Vector3& v) const noexcept { return v.hash(); }
};
template <>
struct std::hash<Kor::Vector4> {
    std::size_t operator()(const Kor::Vector4& v) const noexcept { return v.hash(); }
};
