#pragma once
// What every property panel asks of a property: the caption of its row,
// whether it can be edited there, the object it opens, its value as text
// and the group it goes under.
//
//   for (const orv::BoundProperty& property : object.properties()) {
//       row(orv::groupPath(property), orv::caption(property), orv::displayText(property),
//           orv::isEditable(property));
//       if (const orv::ReflectedObject held = orv::heldObject(property))
//           subPanel(held);
//   }

#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <string>
#include <vector>

namespace tavi {
class Variant;
}

namespace orv {

// The property's Meta::Label::Text, else its name.
[[nodiscard]] std::string caption(const BoundProperty& property);

// The object a panel opens below the property: the one its value points to,
// unless the property or that object's type is marked Meta::Value (a plain
// value, edited as a whole). Invalid when there is none.
[[nodiscard]] ReflectedObject heldObject(const BoundProperty& property);

// Whether a panel lets the user type a new value: a valid value property that
// is not a method, not read-only (Meta::ReadOnly), not const (no setter, or
// reached through a const pointer) and holds no object to open.
[[nodiscard]] bool isEditable(const BoundProperty& property);

// The value's text form ("1.5", "0 3 -2", a string as it is); "<type>" for a
// value without one, empty for no value.
[[nodiscard]] std::string valueText(const tavi::Variant& value);
// The property's value as a panel shows it: empty for a method, an object
// holder or an invalid handle, valueText of the value otherwise.
[[nodiscard]] std::string displayText(const BoundProperty& property);

// The names of the nested groups the property goes under, outermost first:
// its (innermost) Meta::Group's name split at Meta::Group::s_separator.
// Empty when it has no group, or one without a name.
[[nodiscard]] std::vector<std::string> groupPath(const BoundProperty& property);

} // namespace orv
