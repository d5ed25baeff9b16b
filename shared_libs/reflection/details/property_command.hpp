#pragma once
// What the property commands share: how they name themselves and how they
// find their property again.

#include "platform/kor/undo/command.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/persistent_property.hpp"

namespace orv::property_command_details {

// Names `command` "Change property '<path>'" and marks it minor when the
// property carries Meta::Minor.
void describe(Kor::utils::Command& command, const BoundProperty& property, const PersistentProperty& path);

// The property `path` leads to now. When it leads nowhere, reports
// "<commandName>: Can't find <path> child property" and returns an invalid handle.
BoundProperty resolve(const PersistentProperty& path, const char* commandName);

} // namespace orv::property_command_details
