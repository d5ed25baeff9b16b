#pragma once
// Annotation types read by the multi-selection machinery.

namespace Meta::MultiSelection {

// Marks a property of a combined object that stays when an intersection
// removes the properties a selected object lacks (the object's own fixed
// properties, such as "_volatility").
struct Persistent {};

} // namespace Meta::MultiSelection
