#include "shared_libs/reflection/property_set_command.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/details/property_command.hpp"

namespace orv {

PropertySetCommand::PropertySetCommand(const BoundProperty& property)
    : PropertySetCommand(property, property.get()) {}

PropertySetCommand::PropertySetCommand(const BoundProperty& property, tavi::Variant value)
    : m_property(property), m_value(std::move(value)) {
    property_command_details::describe(*this, property, m_property);
}

PropertySetCommand::~PropertySetCommand() = default;

std::unique_ptr<Kor::utils::Command> PropertySetCommand::clone() const {
    return std::make_unique<PropertySetCommand>(*this);
}

bool PropertySetCommand::execute() {
    Kor::StackTracker::Frame frame("orv::PropertySetCommand::execute");
    const BoundProperty property = property_command_details::resolve(m_property, "PropertySetCommand");
    if (!property.isValid())
        return false;
    if (!property.set(m_value, SetterFlag::NoValidation)) {
        Kor::errorMessage("PropertySetCommand: Couldn't set %s child property (set operation returned false)",
                          m_property.path().c_str());
        return false;
    }
    return true;
}

} // namespace orv
