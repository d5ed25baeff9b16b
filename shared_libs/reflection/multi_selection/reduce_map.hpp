#pragma once
// How the values of several selected objects' properties combine into the
// one value a multi-selection shows, and how a value written to it is spread
// back onto each of them.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"

#include <functional>
#include <memory>
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
