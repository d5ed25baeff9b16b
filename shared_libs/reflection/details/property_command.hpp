#pragma once
// What the property commands share: the path to their property, the value
// they write back, how they name themselves and how they find their property
// again.

#include "platform/kor/undo/command.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/persistent_property.hpp"

namespace orv::property_command_details {

class PropertyCommand : public Kor::utils::Command {
public:
    [[nodiscard]] const tavi::Variant& storedValue() const noexcept { return m_value; }
    [[nodiscard]] const PersistentProperty& property() const noexcept { return m_property; }

protected:
    // Refers to `property` by its path and keeps `value`. Named "Change
    // property '<path>'" (made when first asked for) and minor when the
    // property carries Meta::Minor.
    PropertyCommand(const BoundProperty& property, tavi::Variant value);

    PropertyCommand(const PropertyCommand&) = default;
    PropertyCommand(PropertyCommand&&) noexcept = default;
    PropertyCommand& operator=(const PropertyCommand&) = default;
    PropertyCommand& operator=(PropertyCommand&&) noexcept = default;
    ~PropertyCommand() override;

    // The property the path leads to now. When it leads nowhere, reports
    // "<commandName>: Can't find <path> child property" and returns an invalid handle.
    [[nodiscard]] BoundProperty resolve(const char* commandName) const;

private:
    PersistentProperty m_property;
    tavi::Variant m_value;
};

} // namespace orv::property_command_details
