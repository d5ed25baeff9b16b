#include "shared_libs/reflection/details/property_command.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "shared_libs/reflection/meta_items.hpp"

namespace orv::property_command_details {

void describe(Kor::utils::Command& command, const BoundProperty& property, const PersistentProperty& path) {
    command.setName(kor_format("Change property '%s'", path.path().c_str()));
    if (hasAnnotation<Meta::Minor>(property.annotations()))
        command.setFlags(command.flags() | Kor::utils::Command::Flag::Minor);
}

BoundProperty resolve(const PersistentProperty& path, const char* commandName) {
    BoundProperty property = path.property();
    if (!property.isValid())
        Kor::errorMessage("%s: Can't find %s child property", commandName, path.path().c_str());
    return property;
}

} // namespace orv::property_command_details
