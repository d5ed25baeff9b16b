#include "platform/kor/math/vector.hpp"

#include "platform/corekit/diagnostics.hpp"

namespace Kor {

namespace math_details {

void reportBadIndex(const char* typeName, int index, int count) {
    errorMessage("%s: index %d is outside 0..%d; using 0", typeName, index, count - 1);
}

} // namespace math_details

namespace {

// Shared by the three vector types: a zero (or non-finite length) vector is left alone.
template <class V>
float normaliseVector(V& v) noexcept {
    const float len = v.length();
    if (len > 0.0f && std::isfinite(len))
        v /= len;
    return len;
}

} // namespace

float& Vector2::operator[](int index) {
    if (index == 1)
        return y;
    if (index != 0)
        math_details::reportBadIndex("Vector2", index, 2);
    return x;
}

float& Vector3::operator[](int index) {
    switch (index) {
        case 0:
            return x;
        case 1:
            return y;
        case 2:
            return z;
        default:
            math_details::reportBadIndex("Vector3", index, 3);
            return x;
    }
}

float& Vector4::operator[](int index) {
    switch (index) {
        case 0:
            return x;
        case 1:
            return y;
        case 2:
            return z;
        case 3:
            return w;
        default:
            math_details::reportBadIndex("Vector4", index, 4);
            return x;
    }
}

float Vector2::normalise() noexcept { return normaliseVector(*this); }
float Vector3::normalise() noexcept { return normaliseVector(*this); }
float Vector4::normalise() noexcept { return normaliseVector(*this); }

bool almostEqual(const Vector2& a, const Vector2& b, float tolerance) noexcept {
    return almostEqual(a.x, b.x, tolerance) && almostEqual(a.y, b.y, tolerance);
}

bool almostEqual(const Vector3& a, const Vector3& b, float tolerance) noexcept {
    return almostEqual(a.x, b.x, tolerance) && almostEqual(a.y, b.y, tolerance) &&
           almostEqual(a.z, b.z, tolerance);
}

bool almostEqual(const Vector4& a, const Vector4& b, float tolerance) noexcept {
    return almostEqual(a.x, b.x, tolerance) && almostEqual(a.y, b.y, tolerance) &&
           almostEqual(a.z, b.z, tolerance) && almostEqual(a.w, b.w, tolerance);
}

} // namespace Kor
