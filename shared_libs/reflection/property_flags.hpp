#pragma once
// The bit sets carried by every property write and change notification, and
// the visibility bits of a property.

#include "platform/zel_core/flags.hpp"

#include <cstdint>

namespace orv {

// How a value is being written.
enum class SetterFlag : uint32_t {
    // One of a series of changes still in progress (a gizmo drag).
    Intermediate = 0x01,
    // Range validators built from two ranges check against the second.
    SecondRange = 0x04,
    // The validator is not consulted (undo replays stored values this way).
    NoValidation = 0x08,
};
void zelEnableFlagOperators(SetterFlag);

// What a change notification reports.
enum class NotifyFlag : uint32_t {
    Value = 0x01,
    // The property's sources changed: drop what was derived from its annotations.
    Sources = 0x02,
    // Announced because a Meta::Dependent names the property.
    Dependent = 0x04,
    // A change of a child object forwarded to the property that holds it.
    Child = 0x08,
    // A multi-selection property forwarding a change of a merged property.
    MultiSelection = 0x10,
};
void zelEnableFlagOperators(NotifyFlag);

using SetterFlags = zel::Flags<SetterFlag>;
using NotifyFlags = zel::Flags<NotifyFlag>;
using zel::operator|;
using zel::operator&;

namespace meta_property {

// Where a property shows. The library itself only distinguishes "all" (15)
// from "none" (0); front-ends give the single bits their meaning.
enum class VisibilityFlag : uint32_t {
    PropertyPanel = 0x1,
    SceneView = 0x2,
    Outliner = 0x4,
    Search = 0x8,
};
void zelEnableFlagOperators(VisibilityFlag);

using VisibilityFlags = zel::Flags<VisibilityFlag>;
inline constexpr VisibilityFlags VISIBLE_EVERYWHERE{0xFu};
inline constexpr VisibilityFlags HIDDEN{0u};
using zel::operator|;
using zel::operator&;

} // namespace meta_property
} // namespace orv
