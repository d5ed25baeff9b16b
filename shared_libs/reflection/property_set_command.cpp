#include "shared_libs/reflection/property_set_command.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "shared_libs/reflection/meta_items.hpp"

namespace orv {

PropertySetCommand::PropertySetCommand(const BoundProperty& property)
    : PropertySetCommand(property, property.get()) {}

PropertySetCommand::PropertySetCommand(const BoundProperty& property, tavi::Variant value)
    : m_property(property), m_value(std::move(value)) {
    setName(kor_format("Change property '%s'", m_property.name().c_str()));
    if (hasAnnotation<Meta::Minor>(m_property.annotations()))
        setFlags(flags() | Flag::Minor);
}

std::unique_ptr<Kor::utils::Command> PropertySetCommand::clone() const {
    return std::make_unique<PropertySetCommand>(*this);
}

bool PropertySetCommand::execute() {
    if (!m_property.isValid()) {
        Kor::errorMessage("PropertySetCommand: Can't find %s child property", m_property.name().c_str());
        return false;
    }
    if (!m_property.set(m_value, SetterFlag::NoValidation)) {
        Kor::errorMessage("PropertySetCommand: Couldn't set %s child property (set operation returned false)",
                          m_property.name().c_str());
        return false;
    }
    return true;
}

} // namespace orv
