#pragma once
// The undo command that BoundProperty::set records: it holds the value the
// property had before the change and the property's path from a root object,
// never a live handle, so it still finds the property after the objects in
// between have been rebuilt.
//
// Executing it writes the value back through BoundProperty::set, which
// records the opposite command in whatever transaction is open then: undo
// and redo are both "execute and let the write path record the inverse".
//
// A command whose path no longer resolves (or whose write fails) reports it
// and returns false. The undo history still runs the rest of that undo step
// (its notify brackets included), consumes the step, reports that it was not
// undone completely and keeps whatever was undone redoable: the history stays
// consistent with the objects.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/property_command.hpp"
#include "shared_libs/reflection/persistent_property.hpp"

#include <memory>

namespace orv {

class PropertySetCommand : public property_command_details::PropertyCommand {
public:
    // Stores the property's current value.
    explicit PropertySetCommand(const BoundProperty& property);
    PropertySetCommand(const BoundProperty& property, tavi::Variant value);

    [[nodiscard]] std::unique_ptr<Kor::utils::Command> clone() const override;
    // Sets the stored value without validation (it was valid when recorded).
    bool execute() override;
};

} // namespace orv
