#pragma once
// An undoable command that puts a property back to the value it had when the
// command was made. Like PropertySetCommand it holds the property's path from
// a root object and one value, and writes through BoundProperty::set (without
// validation), which records the opposite command. A property carrying
// Meta::ValueExtractor gets back only the extracted part of that value (the
// scale of a transform, say); the rest of its current value stays.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/property_command.hpp"
#include "shared_libs/reflection/persistent_property.hpp"

#include <memory>
#include <string>

namespace orv {

class PropertyRevertCommand : public property_command_details::PropertyCommand {
public:
    // Stores the property's current value.
    explicit PropertyRevertCommand(const BoundProperty& property);

    // "[Revert property value] 0x<low 32 bits of the object's hash>z <name>":
    // one name per property of one object, for front-ends that offer a revert.
    [[nodiscard]] static std::string revertCommandName(const BoundProperty& property);

    [[nodiscard]] std::unique_ptr<Kor::utils::Command> clone() const override;
    bool execute() override;
};

} // namespace orv
