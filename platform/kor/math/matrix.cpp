#include "platform/kor/math/matrix.hpp"

#include <array>
#include <cmath>

namespace Kor {

namespace {

using Flat = std::array<double, 16>; // row-major

Flat flatten(const Matrix& m) noexcept {
    Flat a{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            a[static_cast<size_t>(r * 4 + c)] = m(r, c);
    return a;
}

// Adjugate by cofactors; the determinant is the dot of row 0 with column 0 of the adjugate.
// Double precision keeps the cancellations of nearly singular float input honest.
Flat adjugate(const Flat& m) noexcept {
    Flat inv{};
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    return inv;
}

double determinantOf(const Flat& m, const Flat& adj) noexcept {
    return m[0] * adj[0] + m[1] * adj[4] + m[2] * adj[8] + m[3] * adj[12];
}

bool isAffine(const Flat& m) noexcept { return m[3] == 0.0 && m[7] == 0.0 && m[11] == 0.0 && m[15] == 1.0; }

// Hadamard's bound: |det| never exceeds the product of the row lengths, and
// reaches it for orthogonal rows. Comparing against that product makes the
// test independent of the scale of each row. An affine matrix is invertible
// exactly when its 3x3 part is, so its translation row does not count.
double hadamardBound(const Flat& m) noexcept {
    const int columns = isAffine(m) ? 3 : 4;
    double bound = 1.0;
    for (int r = 0; r < columns; ++r) {
        double sum = 0.0;
        for (int c = 0; c < columns; ++c)
            sum += m[static_cast<size_t>(r * 4 + c)] * m[static_cast<size_t>(r * 4 + c)];
        bound *= std::sqrt(sum);
    }
    return bound;
}

// Rows this close to dependent are beyond what float input can resolve.
constexpr double kSingularRatio = 1e-7;

} // namespace

Vector4& Matrix::operator[](int row) {
    if (row >= 0 && row < 4)
        return m_rows[row];
    math_details::reportBadIndex("Matrix", row, 4);
    return m_rows[0];
}

Matrix& Matrix::setRotate(const Quaternion& rotation) noexcept {
    const Quaternion q = rotation.normalised();
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    const float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    const float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    // Row i is the image of axis i under the rotation.
    m_rows[0] = {1.0f - 2.0f * (yy + zz), 2.0f * (xy + wz), 2.0f * (xz - wy), 0.0f};
    m_rows[1] = {2.0f * (xy - wz), 1.0f - 2.0f * (xx + zz), 2.0f * (yz + wx), 0.0f};
    m_rows[2] = {2.0f * (xz + wy), 2.0f * (yz - wx), 1.0f - 2.0f * (xx + yy), 0.0f};
    m_rows[3] = {0.0f, 0.0f, 0.0f, 1.0f};
    return *this;
}

Matrix& Matrix::setRotateX(float angle) noexcept {
    const float s = std::sin(angle), c = std::cos(angle);
    return *this = Matrix({1.0f, 0.0f, 0.0f, 0.0f}, {0.0f, c, s, 0.0f}, {0.0f, -s, c, 0.0f},
                          {0.0f, 0.0f, 0.0f, 1.0f});
}

Matrix& Matrix::setRotateY(float angle) noexcept {
    const float s = std::sin(angle), c = std::cos(angle);
    return *this = Matrix({c, 0.0f, -s, 0.0f}, {0.0f, 1.0f, 0.0f, 0.0f}, {s, 0.0f, c, 0.0f},
                          {0.0f, 0.0f, 0.0f, 1.0f});
}

Matrix& Matrix::setRotateZ(float angle) noexcept {
    const float s = std::sin(angle), c = std::cos(angle);
    return *this = Matrix({c, s, 0.0f, 0.0f}, {-s, c, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f},
                          {0.0f, 0.0f, 0.0f, 1.0f});
}

Matrix& Matrix::setScale(const Vector3& scale) noexcept {
    return *this = Matrix({scale.x, 0.0f, 0.0f, 0.0f}, {0.0f, scale.y, 0.0f, 0.0f},
                          {0.0f, 0.0f, scale.z, 0.0f}, {0.0f, 0.0f, 0.0f, 1.0f});
}

Matrix& Matrix::setTranslation(const Vector3& translation) noexcept {
    m_rows[3].x = translation.x;
    m_rows[3].y = translation.y;
    m_rows[3].z = translation.z;
    return *this;
}

Matrix& Matrix::postMultiply(const Matrix& m) noexcept {
    // Row r of this x m is row r of this transformed by m. Built aside: `m`
    // may be this very matrix, whose rows must not change while it is read.
    const Matrix product(m.apply(m_rows[0]), m.apply(m_rows[1]), m.apply(m_rows[2]), m.apply(m_rows[3]));
    return *this = product;
}

Matrix& Matrix::preMultiply(const Matrix& m) noexcept {
    // Row r of m x this is row r of m transformed by this; `m` may be this.
    const Matrix product(apply(m.m_rows[0]), apply(m.m_rows[1]), apply(m.m_rows[2]), apply(m.m_rows[3]));
    return *this = product;
}

bool Matrix::invert() noexcept {
    const Flat m = flatten(*this);
    const Flat adj = adjugate(m);
    const double det = determinantOf(m, adj);
    if (!std::isfinite(det) || std::fabs(det) <= kSingularRatio * hadamardBound(m))
        return false;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            (*this)(r, c) = static_cast<float>(adj[static_cast<size_t>(r * 4 + c)] / det);
    return true;
}

float Matrix::determinant() const noexcept {
    const Flat m = flatten(*this);
    return static_cast<float>(determinantOf(m, adjugate(m)));
}

Matrix& Matrix::transpose() noexcept {
    for (int r = 0; r < 4; ++r)
        for (int c = r + 1; c < 4; ++c)
            std::swap((*this)(r, c), (*this)(c, r));
    return *this;
}

Vector4 Matrix::apply(const Vector4& v) const noexcept {
    return m_rows[0] * v.x + m_rows[1] * v.y + m_rows[2] * v.z + m_rows[3] * v.w;
}

Vector3 Matrix::applyPoint(const Vector3& point) const noexcept {
    const Vector4 r = apply(Vector4(point, 1.0f));
    // Affine matrices give w == 1 exactly; only projective ones need the divide.
    if (r.w != 1.0f && r.w != 0.0f)
        return r.xyz() / r.w;
    return r.xyz();
}

Vector3 Matrix::applyVector(const Vector3& vector) const noexcept {
    return apply(Vector4(vector, 0.0f)).xyz();
}

std::size_t Matrix::hash() const noexcept {
    std::size_t h = 16;
    for (const Vector4& row : m_rows)
        for (int c = 0; c < 4; ++c)
            h = math_details::hashFloat(h, row[c]);
    return h;
}

bool almostEqual(const Matrix& a, const Matrix& b, float tolerance) noexcept {
    for (int r = 0; r < 4; ++r)
        if (!almostEqual(a[r], b[r], tolerance))
            return false;
    return true;
}

} // namespace Kor
