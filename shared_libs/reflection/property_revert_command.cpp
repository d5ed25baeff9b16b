#include "shared_libs/reflection/property_revert_command.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_validator.hpp"

#include <cstdint>

namespace orv {

PropertyRevertCommand::PropertyRevertCommand(const BoundProperty& property)
    : PropertyCommand(property, property.get()) {}

std::string PropertyRevertCommand::revertCommandName(const BoundProperty& property) {
    return kor_format("[Revert property value] 0x%xz %s", static_cast<uint32_t>(property.object().hash()),
                      property.name().c_str());
}

std::unique_ptr<Kor::utils::Command> PropertyRevertCommand::clone() const {
    return std::make_unique<PropertyRevertCommand>(*this);
}

bool PropertyRevertCommand::execute() {
    Kor::StackTracker::Frame frame("orv::PropertyRevertCommand::execute");
    const BoundProperty target = resolve("PropertyRevertCommand");
    if (!target.isValid())
        return false;
    tavi::Variant value = storedValue();
    // The first extractor, as for validators: the property's own comes before
    // those handed down by Meta::Children. One without both functions cannot
    // take a value apart, so the whole value is restored.
    const Annotations annotations = target.annotations();
    const auto extractors = annotationsOf<Meta::ValueExtractor>(annotations);
    if (!extractors.empty()) {
        const Meta::ValueExtractor& extractor = extractors.front();
        if (extractor.extract && extractor.recompose) {
            try {
                value = extractor.recompose(target.get(), extractor.extract(value));
            } catch (const FuzzyArgumentException& error) {
                Kor::errorMessage("PropertyRevertCommand: Couldn't take %s child property apart: %s",
                                  property().path().c_str(), error.what());
                return false;
            }
        }
    }
    return target.set(value, SetterFlag::NoValidation);
}

} // namespace orv
