#pragma once
// What a property's effective annotations hold that the write and call paths
// ask about on every write and call: read once when the annotations are
// cached, then answered with one load instead of a lookup per question.

#include "platform/zel_core/flags.hpp"

#include <cstdint>

namespace orv {

class Annotations;

namespace bound_property_details {

enum class AnnotationTrait : uint32_t {
    // The bits below have been read from the annotations.
    Known = 0x01,
    // No annotations at all.
    Blank = 0x02,
    Validator = 0x04,
    AboutToChangeHooks = 0x08,
    ChangedHooks = 0x10,
    Dependents = 0x20,
    MethodHooks = 0x40,
};
void zelEnableFlagOperators(AnnotationTrait);

using AnnotationTraits = zel::Flags<AnnotationTrait>;
using zel::operator|;

// The traits of `annotations`, Known set.
AnnotationTraits traitsOf(const Annotations& annotations);

} // namespace bound_property_details
} // namespace orv
