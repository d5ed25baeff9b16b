#pragma once
// The undo command recorded by BoundProperty::set: it writes the value the
// property had before the change back through the ordinary write path, which
// records the opposite command in turn.

#include "platform/kor/undo/command.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"

#include <memory>

namespace orv {

class PropertySetCommand : public Kor::utils::Command {
public:
    // Stores the property's current value.
    explicit PropertySetCommand(const BoundProperty& property);
    PropertySetCommand(const BoundProperty& property, tavi::Variant value);

    const tavi::Variant& storedValue() const noexcept { return m_value; }

    std::unique_ptr<Kor::utils::Command> clone() const override;
    // Sets the stored value without validation (it was valid when recorded).
    bool execute() override;

private:
    // The handle itself for now; a path from the root object, which survives
    // rebuilding the objects in between, replaces it with persistent references.
    BoundProperty m_property;
    tavi::Variant m_value;
};

} // namespace orv
