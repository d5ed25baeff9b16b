#include "shared_libs/reflection/details/property_command.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "shared_libs/reflection/meta_items.hpp"

namespace orv::property_command_details {
namespace {

std::string changeName(const Kor::utils::Command& command) {
    const auto& self = static_cast<const PropertyCommand&>(command);
    return kor_format("Change property '%s'", self.property().path().c_str());
}

} // namespace

PropertyCommand::PropertyCommand(const BoundProperty& property, tavi::Variant value)
    : m_property(property), m_value(std::move(value)) {
    nameLazily(&changeName);
    if (hasAnnotation<Meta::Minor>(property.annotations()))
        setFlags(flags() | Flag::Minor);
}

PropertyCommand::~PropertyCommand() = default;

BoundProperty PropertyCommand::resolve(const char* commandName) const {
    BoundProperty property = m_property.property();
    if (!property.isValid())
        Kor::errorMessage("%s: Can't find %s child property", commandName, m_property.path().c_str());
    return property;
}

} // namespace orv::property_command_details
