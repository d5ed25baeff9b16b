#include "shared_libs/reflection/property_set_command.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"

namespace orv {

PropertySetCommand::PropertySetCommand(const BoundProperty& property)
    : PropertySetCommand(property, property.get()) {}

PropertySetCommand::PropertySetCommand(const BoundProperty& property, tavi::Variant value)
    : PropertyCommand(property, std::move(value)) {}

std::unique_ptr<Kor::utils::Command> PropertySetCommand::clone() const {
    return std::make_unique<PropertySetCommand>(*this);
}

bool PropertySetCommand::execute() {
    Kor::StackTracker::Frame frame("orv::PropertySetCommand::execute");
    const BoundProperty target = resolve("PropertySetCommand");
    if (!target.isValid())
        return false;
    if (!target.set(storedValue(), SetterFlag::NoValidation)) {
        Kor::errorMessage("PropertySetCommand: Couldn't set %s child property (set operation returned false)",
                          property().path().c_str());
        return false;
    }
    return true;
}

} // namespace orv
