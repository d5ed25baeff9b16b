#include "shared_libs/reflection/utils.hpp"

#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/variant_stream.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"

namespace orv {

std::string caption(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::caption");
    const Annotations annotations = property.annotations();
    if (const auto* label = findAnnotation<Meta::Label::Text>(annotations); label && label->function)
        return label->function(property);
    return property.name();
}

ReflectedObject heldObject(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::heldObject");
    if (!property.isValid() || property.isMethod())
        return {};
    return Meta::Value::getObject(property);
}

bool isEditable(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::isEditable");
    return property.isValid() && property.isValue() && !property.isMethod() && !property.isConst() &&
           !property.isReadOnly() && !heldObject(property).isValid();
}

std::string valueText(const tavi::Variant& value) {
    if (value.isVoid())
        return {};
    if (const std::string* text = value.isType<std::string>() ? value.castPtr<std::string>() : nullptr)
        return *text;
    std::string out;
    tavi::FixedMemoryStream memory(out);
    tavi::TextStream stream(memory);
    stream << value;
    if (!stream.fail())
        return out;
    std::string name = "<";
    name.append(value.typeName()).push_back('>');
    return name;
}

std::string displayText(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::displayText");
    if (!property.isValid() || property.isMethod() || heldObject(property).isValid())
        return {};
    return valueText(property.get());
}

std::vector<std::string> groupPath(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::groupPath");
    const Annotations annotations = property.annotations();
    const Meta::Group* group = findAnnotation<Meta::Group>(annotations);
    if (!group || !group->name())
        return {};
    const std::string path = group->name()(property);
    return path.empty() ? std::vector<std::string>() : Meta::Group::split(path);
}

} // namespace orv
