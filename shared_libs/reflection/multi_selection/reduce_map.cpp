#include "shared_libs/reflection/multi_selection/reduce_map.hpp"

#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/quaternion.hpp"
#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/details/variant_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace orv {
namespace {

// Below this, in absolute value, a mean counts as zero: scaling by the ratio
// to it would blow the written value up.
constexpr float s_nearZero = 0.0004f;

bool nearZero(float value) { return -s_nearZero < value && value < s_nearZero; }

std::optional<float> narrowed(double value) {
    constexpr double largest = double(std::numeric_limits<float>::max());
    if (std::isfinite(value) && (value > largest || value < -largest))
        return std::nullopt;
    return float(value);
}

// A double (or a pointer to one) in the float range, infinities and NaN
// included, or any other number converted to double.
std::optional<float> scalarOf(const tavi::Variant& value) {
    if (const double* held = value.castPtr<double>())
        return narrowed(*held);
    const tavi::MetaType* type = value.type();
    if (!type || !type->isNumber())
        return std::nullopt;
    double converted = 0;
    if (!value.tryCast(converted))
        return std::nullopt;
    return narrowed(converted);
}

template <class T>
std::optional<T> valueOf(const tavi::Variant& value) {
    T result{};
    if (value.tryCast(result))
        return result;
    return std::nullopt;
}

// The priority rule of the averaging maps: false when the value is to be
// ignored; `reset` starts the mean afresh.
template <class Reset>
bool admit(int priority, int32_t& accepted, bool first, Reset&& reset) {
    if (first || priority > accepted) {
        reset();
        accepted = priority;
        return true;
    }
    return priority == accepted;
}

// The scalar write-back: every value scaled by the ratio of the written
// value to the mean.
float scaled(float value, float subValue, float mean) {
    return nearZero(mean) ? value : value * subValue / mean;
}

} // namespace

// --- AverageReduceMap ----------------------------------------------------------------

bool AverageReduceMap::reduce(const tavi::Variant& value, int priority) {
    if (!admit(priority, m_priority, m_count == 0, [this] { m_mean = 0, m_count = 0; }))
        return true;
    if (const std::optional<float> x = scalarOf(value)) {
        ++m_count;
        m_mean += (*x - m_mean) / float(m_count);
    }
    return true;
}

tavi::Variant AverageReduceMap::reduced() const { return tavi::Variant(double(m_mean)); }

tavi::Variant AverageReduceMap::map(const tavi::Variant& value, const tavi::Variant& subValue) const {
    const std::optional<float> x = scalarOf(value);
    const std::optional<float> sub = scalarOf(subValue);
    if (!x || !sub)
        return {};
    return nearZero(m_mean) ? value : tavi::Variant(double(scaled(*x, *sub, m_mean)));
}

// --- AverageEulerAnglesReduceMap ----------------------------------------------------

bool AverageEulerAnglesReduceMap::reduce(const tavi::Variant& value, int priority) {
    if (!admit(priority, m_priority, m_count == 0, [this] { m_mean = Kor::EulerAngles(), m_count = 0; }))
        return true;
    if (const std::optional<Kor::EulerAngles> x = valueOf<Kor::EulerAngles>(value)) {
        ++m_count;
        const float n = float(m_count);
        m_mean.yaw += (x->yaw - m_mean.yaw) / n;
        m_mean.pitch += (x->pitch - m_mean.pitch) / n;
        m_mean.roll += (x->roll - m_mean.roll) / n;
    }
    return true;
}

tavi::Variant AverageEulerAnglesReduceMap::reduced() const { return tavi::Variant(m_mean); }

// A component whose mean is (near) zero takes the written component as it
// is: scaling by the ratio to it would divide by zero.
tavi::Variant AverageEulerAnglesReduceMap::map(const tavi::Variant& value,
                                               const tavi::Variant& subValue) const {
    const std::optional<Kor::EulerAngles> x = valueOf<Kor::EulerAngles>(value);
    const std::optional<Kor::EulerAngles> sub = valueOf<Kor::EulerAngles>(subValue);
    if (!x || !sub)
        return {};
    if (nearZero(m_mean.yaw) && nearZero(m_mean.pitch) && nearZero(m_mean.roll))
        return value;
    return tavi::Variant(Kor::EulerAngles(scaled(x->yaw, sub->yaw, m_mean.yaw),
                                          scaled(x->pitch, sub->pitch, m_mean.pitch),
                                          scaled(x->roll, sub->roll, m_mean.roll)));
}

// --- AverageTransformReduceMap -------------------------------------------------------

bool AverageTransformReduceMap::reduce(const tavi::Variant& value, int priority) {
    if (!admit(priority, m_priority, m_count == 0,
               [this] { m_mean = Kor::DecomposedMatrix(Kor::Vector3::ZERO), m_count = 0; }))
        return true;
    const Kor::DecomposedMatrix* held = value.castPtr<Kor::DecomposedMatrix>();
    const Kor::DecomposedMatrix x = held ? *held : value.cast<Kor::DecomposedMatrix>();
    ++m_count;
    m_mean = Kor::DecomposedMatrix::lerp(m_mean, x, 1.0f / float(m_count));
    return true;
}

tavi::Variant AverageTransformReduceMap::reduced() const { return tavi::Variant(m_mean.toMatrix()); }

tavi::Variant AverageTransformReduceMap::map(const tavi::Variant& value,
                                             const tavi::Variant& subValue) const {
    const std::optional<Kor::Matrix> written = valueOf<Kor::Matrix>(value);
    const std::optional<Kor::Matrix> sub = valueOf<Kor::Matrix>(subValue);
    if (!written || !sub)
        return {};
    const Kor::DecomposedMatrix target(*written);
    const Kor::Vector3 delta =
        m_relativeToSubObject ? sub->translation() - m_mean.translation : Kor::Vector3::ZERO;

    // The move from the mean to the written transform, about the pivot.
    Kor::Matrix move = m_mean.toMatrix();
    move.setTranslation(move.translation() + delta);
    move.invert();
    move.postMultiply(*written);
    move.setTranslation(move.translation() + delta);

    // Rotation and scale change about the transform itself.
    const Kor::Quaternion turn = m_mean.rotation.inverse() * target.rotation;
    Kor::Matrix result = *sub;
    result.postMultiply(Kor::Matrix().setRotate(turn));
    const auto ratio = [](float to, float from) { return nearZero(from) ? 1.0f : to / from; };
    result[0] = result[0] * ratio(target.scale.x, m_mean.scale.x);
    result[1] = result[1] * ratio(target.scale.y, m_mean.scale.y);
    result[2] = result[2] * ratio(target.scale.z, m_mean.scale.z);
    result[3] = (*sub * move)[3];
    return tavi::Variant(result);
}

// --- SnapReduce -----------------------------------------------------------------------

float SnapReduce<float>::satisfy(float a, float b) {
    if (!(a > 0))
        return b;
    if (!(b > 0))
        return a;
    constexpr float largest = float(std::numeric_limits<int32_t>::max()) / 100.0f;
    if (a >= largest || b >= largest)
        return std::max(a, b);
    const int64_t ia = int32_t(a * 100.0f);
    const int64_t ib = int32_t(b * 100.0f);
    const int64_t lo = std::min(ia, ib);
    const int64_t hi = std::max(ia, ib);
    if (lo == 0 || hi % lo == 0)
        return float(hi) * 0.01f;
    // Both steps divide lo x hi; drop the factors of ten they do not need.
    // (Kept above 0: a product below ten would otherwise divide to nothing
    // and stay there.)
    int64_t p = lo * hi;
    while (p / 10 != 0 && (p / 10) % hi == 0 && (p / 10) % lo == 0)
        p /= 10;
    return float(p) * 0.01f;
}

Kor::Vector3 SnapReduce<Kor::Vector3>::satisfy(Kor::Vector3 a, Kor::Vector3 b) {
    return {SnapReduce<float>::satisfy(a.x, b.x), SnapReduce<float>::satisfy(a.y, b.y),
            SnapReduce<float>::satisfy(a.z, b.z)};
}

bool SnapReduce<float>::reduce(const tavi::Variant& value, int) {
    m_snap = satisfy(m_snap, scalarOf(value).value_or(0.0f));
    return true;
}

tavi::Variant SnapReduce<float>::reduced() const { return tavi::Variant(double(m_snap)); }

tavi::Variant SnapReduce<float>::map(const tavi::Variant&, const tavi::Variant& subValue) const {
    return subValue;
}

bool SnapReduce<Kor::Vector3>::reduce(const tavi::Variant& value, int) {
    m_snap = satisfy(m_snap, valueOf<Kor::Vector3>(value).value_or(Kor::Vector3::ZERO));
    return true;
}

tavi::Variant SnapReduce<Kor::Vector3>::reduced() const { return tavi::Variant(m_snap); }

tavi::Variant SnapReduce<Kor::Vector3>::map(const tavi::Variant&, const tavi::Variant& subValue) const {
    return subValue;
}

Meta::MultiSelection::ReduceMap SnapReduce<float>::meta() {
    return Meta::MultiSelection::ReduceMap([] { return std::make_unique<SnapReduce<float>>(); });
}

Meta::MultiSelection::ReduceMap SnapReduce<Kor::Vector3>::meta() {
    return Meta::MultiSelection::ReduceMap([] { return std::make_unique<SnapReduce<Kor::Vector3>>(); });
}

// --- StringJoinReduce -----------------------------------------------------------------

Meta::MultiSelection::ReduceMap StringJoinReduce::meta(std::string separator, bool skipEmpty) {
    return Meta::MultiSelection::ReduceMap([separator = std::move(separator), skipEmpty] {
        return std::make_unique<StringJoinReduce>(separator, skipEmpty);
    });
}

bool StringJoinReduce::reduce(const tavi::Variant& value, int) {
    const std::string text = variant_text_details::textOf(value).value_or(std::string());
    if (text.empty() && m_skipEmpty)
        return true;
    if (!m_result.empty())
        m_result += m_separator;
    m_result += text;
    return true;
}

tavi::Variant StringJoinReduce::map(const tavi::Variant&, const tavi::Variant& subValue) const {
    return subValue;
}

} // namespace orv
