#pragma once
// How the values of several selected objects' properties combine into the
// one value a multi-selection shows, and how a value written to it is spread
// back onto each of them.
//
// A fresh map is made for every read of a combined property, and one is kept
// for the length of a continuous edit (writes flagged Intermediate), so that
// every step maps from the values the objects had when the edit began:
//
//     type.property("intensity", &Light::intensity,
//                   Meta::MultiSelection::ReduceMap([] { return std::make_unique<orv::AverageReduceMap>();
//                   }));
//
// Lights at 1 and 3 then show 2; writing 4 scales both by 4 / 2 (2 and 6).

#include "platform/kor/math/decomposed_matrix.hpp"
#include "platform/kor/math/euler_angles.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace orv {

class ReduceMap {
public:
    virtual ~ReduceMap() = default;
    // Feeds one value with its priority; false asks the caller to stop.
    virtual bool reduce(const tavi::Variant& value, int priority) = 0;
    // The combined value.
    virtual tavi::Variant reduced() const = 0;
    // The value to write to one property, whose value at the start of the
    // edit was `subValue`, when `value` is written to the combined property.
    virtual tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const = 0;
};

using ReduceMapFactory = std::function<std::unique_ptr<ReduceMap>()>;

// The default: all values equal gives that value, anything else a void
// value; every property receives the written value as it is.
class EqualReduceMap : public ReduceMap {
public:
    bool reduce(const tavi::Variant& value, int priority) override;
    tavi::Variant reduced() const override { return m_value; }
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    bool m_stored = false;
    tavi::Variant m_value;
};

} // namespace orv

namespace Meta::MultiSelection {
struct ReduceMap;
}

namespace orv {

// The averaging maps share a priority rule: values of a lower priority than
// those accepted so far are ignored, a higher one starts the mean afresh,
// and the first value sets the priority. Their reduce never asks to stop.

// Mean of scalars; a write scales every value by the same ratio, so the
// mean of the results is the written value (near a zero mean the value is
// written as it is). Values without a number form are skipped.
class AverageReduceMap : public ReduceMap {
public:
    bool reduce(const tavi::Variant& value, int priority) override;
    // The mean as a double.
    tavi::Variant reduced() const override;
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    float m_mean = 0;
    uint32_t m_count = 0;
    int32_t m_priority = 0;
};

// Component-wise mean of Euler angles (no wrapping), written back as the
// scalar mean is, per component.
class AverageEulerAnglesReduceMap : public ReduceMap {
public:
    bool reduce(const tavi::Variant& value, int priority) override;
    tavi::Variant reduced() const override;
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    Kor::EulerAngles m_mean;
    uint64_t m_count = 0;
    int32_t m_priority = 0;
};

// Mean transform (scale and translation averaged, rotations blended). A
// written transform applies the change from the mean to it to every
// transform: rotation and scale about the transform itself, translation
// about the mean's position, or about each transform's own position when
// `relativeToSubObject` is set. A value without a transform form raises the
// value library's cast error.
class AverageTransformReduceMap : public ReduceMap {
public:
    explicit AverageTransformReduceMap(bool relativeToSubObject) noexcept
        : m_relativeToSubObject(relativeToSubObject) {}

    bool reduce(const tavi::Variant& value, int priority) override;
    // The mean as a Kor::Matrix.
    tavi::Variant reduced() const override;
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    Kor::DecomposedMatrix m_mean{Kor::Vector3::ZERO};
    uint64_t m_count = 0;
    int32_t m_priority = 0;
    bool m_relativeToSubObject;
};

// The smallest snapping step that suits all values (steps in hundredths).
// Writing through it leaves every property at the value it had when the
// edit began: the combined step is shown, not edited.
template <class T>
class SnapReduce;

template <>
class SnapReduce<float> : public ReduceMap {
public:
    // A factory annotation of this map.
    static Meta::MultiSelection::ReduceMap meta();
    // The smallest common step of two steps; a step that is not above 0
    // leaves the other. Steps above 21474836.47 (whose hundredths do not fit
    // 32 bits) give the larger of the two.
    static float satisfy(float a, float b);

    // A value without a number form counts as 0; the priority is ignored.
    bool reduce(const tavi::Variant& value, int priority) override;
    // The step as a double.
    tavi::Variant reduced() const override;
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    float m_snap = 0;
};

template <>
class SnapReduce<Kor::Vector3> : public ReduceMap {
public:
    static Meta::MultiSelection::ReduceMap meta();
    // satisfy of each component.
    static Kor::Vector3 satisfy(Kor::Vector3 a, Kor::Vector3 b);

    // A value without a vector form counts as zero.
    bool reduce(const tavi::Variant& value, int priority) override;
    tavi::Variant reduced() const override;
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    Kor::Vector3 m_snap = Kor::Vector3::ZERO;
};

// The values' texts joined with a separator, empty ones left out when
// `skipEmpty` is set; written as SnapReduce is (left as they were).
class StringJoinReduce : public ReduceMap {
public:
    StringJoinReduce(std::string separator, bool skipEmpty)
        : m_separator(std::move(separator)), m_skipEmpty(skipEmpty) {}

    static Meta::MultiSelection::ReduceMap meta(std::string separator, bool skipEmpty);

    // A value without a text form counts as empty text.
    bool reduce(const tavi::Variant& value, int priority) override;
    tavi::Variant reduced() const override { return tavi::Variant(m_result); }
    tavi::Variant map(const tavi::Variant& value, const tavi::Variant& subValue) const override;

private:
    std::string m_separator;
    bool m_skipEmpty;
    std::string m_result;
};

} // namespace orv

namespace Meta::MultiSelection {

// The factory of a property's reduce maps; one map is made per read.
struct ReduceMap {
    ReduceMap() = default;
    explicit ReduceMap(orv::ReduceMapFactory factory) : factory(std::move(factory)) {}

    std::unique_ptr<orv::ReduceMap> operator()() const { return factory ? factory() : nullptr; }

    orv::ReduceMapFactory factory;
};

} // namespace Meta::MultiSelection

// Called to make reduce maps, stored as an annotation.
template <>
inline constexpr bool orv::callableAnnotation<Meta::MultiSelection::ReduceMap> = true;
