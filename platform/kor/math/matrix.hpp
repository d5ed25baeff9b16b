#pragma once
// 4x4 float matrices, row-vector convention.
//
// A point transforms as the row vector v x M: rows 0..2 are the images of the
// X, Y and Z axes and row 3 holds the translation. Hence A x B applies A first,
// then B: a local transform post-multiplied by its parent's world transform
// gives its own world transform.

#include <cstddef>
#include <functional>

#include "platform/kor/math/quaternion.hpp"
#include "platform/kor/math/vector.hpp"

namespace Kor {

class Matrix {
public:
    static const Matrix identity;

    // The identity.
    constexpr Matrix() noexcept
        : m_rows{{1.0f, 0.0f, 0.0f, 0.0f},
                 {0.0f, 1.0f, 0.0f, 0.0f},
                 {0.0f, 0.0f, 1.0f, 0.0f},
                 {0.0f, 0.0f, 0.0f, 1.0f}} {}
    constexpr Matrix(const Vector4& row0, const Vector4& row1, const Vector4& row2,
                     const Vector4& row3) noexcept
        : m_rows{row0, row1, row2, row3} {}

    // Row access; an index outside 0..3 is reported and yields row 0.
    Vector4& operator[](int row);
    const Vector4& operator[](int row) const { return const_cast<Matrix&>(*this)[row]; }
    const Vector4& row(int index) const { return (*this)[index]; }
    void setRow(int index, const Vector4& value) { (*this)[index] = value; }
    // Element (row, column).
    float& operator()(int row, int column) { return (*this)[row][column]; }
    float operator()(int row, int column) const { return (*this)[row][column]; }

    Matrix& setIdentity() noexcept { return *this = Matrix(); }
    Matrix& setZero() noexcept {
        return *this = Matrix(Vector4::ZERO, Vector4::ZERO, Vector4::ZERO, Vector4::ZERO);
    }
    // The whole matrix becomes the pure rotation of `q` (normalised first; no translation).
    Matrix& setRotate(const Quaternion& q) noexcept;
    // The whole matrix becomes a rotation of `angle` radians about the X, Y or Z axis.
    Matrix& setRotateX(float angle) noexcept;
    Matrix& setRotateY(float angle) noexcept;
    Matrix& setRotateZ(float angle) noexcept;
    // The whole matrix becomes a pure scale.
    Matrix& setScale(const Vector3& scale) noexcept;
    // Only the translation (row 3, x y z) is replaced; the rest is kept.
    Matrix& setTranslation(const Vector3& translation) noexcept;
    Vector3 translation() const noexcept { return m_rows[3].xyz(); }

    // this = this x m (apply this, then m). `m` may be this matrix itself.
    Matrix& postMultiply(const Matrix& m) noexcept;
    // this = m x this (apply m, then this).
    Matrix& preMultiply(const Matrix& m) noexcept;
    // this = this x m, as postMultiply.
    Matrix& operator*=(const Matrix& m) noexcept { return postMultiply(m); }
    friend Matrix operator*(const Matrix& a, const Matrix& b) noexcept { return Matrix(a).postMultiply(b); }

    // Replaces this by its inverse. A singular (or numerically singular) matrix
    // has none: returns false and leaves this unchanged.
    bool invert() noexcept;
    float determinant() const noexcept;
    Matrix& transpose() noexcept;

    // v x M with w = 1; divides by the resulting w when the last column is not (0, 0, 0, 1).
    Vector3 applyPoint(const Vector3& point) const noexcept;
    // v x M with w = 0: rotation and scale only.
    Vector3 applyVector(const Vector3& vector) const noexcept;
    // v x M.
    Vector4 apply(const Vector4& v) const noexcept;

    constexpr bool operator==(const Matrix& o) const noexcept {
        return m_rows[0] == o.m_rows[0] && m_rows[1] == o.m_rows[1] && m_rows[2] == o.m_rows[2] &&
               m_rows[3] == o.m_rows[3];
    }
    std::size_t hash() const noexcept;

private:
    Vector4 m_rows[4];
};

inline constexpr Matrix Matrix::identity{};

// Every element within `tolerance`.
bool almostEqual(const Matrix& a, const Matrix& b, float tolerance) noexcept;

} // namespace Kor

template <>
struct std::hash<Kor::Matrix> {
    std::size_t operator()(const Kor::Matrix& m) const noexcept { return m.hash(); }
};
