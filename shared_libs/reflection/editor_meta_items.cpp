#include "shared_libs/reflection/editor_meta_items.hpp"

#include "shared_libs/reflection/bound_property.hpp"

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>

namespace Meta {

Group::Group(std::string name, bool separator, bool expanded, bool canUnpin)
    : m_name([name = std::move(name)] { return name; }), m_flags(flagsOf(separator, expanded, canUnpin)) {}

Group::Group(Function name, bool separator, bool expanded, bool canUnpin)
    : m_name(std::move(name)), m_flags(flagsOf(separator, expanded, canUnpin)) {}

std::string Group::join(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) {
        if (!path.empty())
            path += s_separator;
        path += name;
    }
    return path;
}

std::vector<std::string> Group::split(const std::string& path) {
    std::vector<std::string> names;
    boost::split(names, path, boost::is_any_of(s_separator)); // adjacent separators give empty names
    return names;
}

} // namespace Meta

namespace orv::editor_meta_details {

void declare(Builder<Annotations>& type) {
    type.method("find",
                [](const Annotations* annotations, const std::string& name) {
                    const Annotations::untyped_iterator found = annotations->find(name);
                    return found.isValid() ? *found : tavi::Variant();
                })
        .method("contain", [](const Annotations* annotations,
                              const std::string& name) { return annotations->contain(name); })
        .method("equal_range", [](const Annotations* annotations, const std::string& name) {
            const auto range = annotations->equal_range(name);
            return std::vector<tavi::Variant>(range.begin(), range.end());
        });
}

void declare(Builder<Meta::Label::Text>& type) { type.method("get", &Meta::Label::Text::function); }

void declare(Builder<Meta::Group>& type) {
    type.method("get", [](const Meta::Group* group, const BoundProperty& property) {
        return group->name()(property);
    });
}

void declare(Builder<Meta::ToolTip>& type) { type.method("get", &Meta::ToolTip::function); }

void declare(Builder<Meta::ReadOnly>& type) { type.method("get", &Meta::ReadOnly::function); }

// (property, value, flags, error text); pass pointers to a Variant and a
// string to receive the adjusted value and the error text.
void declare(Builder<Meta::Validator>& type) { type.method("get", &Meta::Validator::function); }

void declare(Builder<Meta::Precision>& type) { type.property("precision", &Meta::Precision::precision); }

void declare(Builder<Meta::Step>& type) { type.method("step", &Meta::Step::function); }

void declare(Builder<Meta::Position>& type) {
    type.property("normalize", [](const Meta::Position* position) { return position->normalize; });
}

void declare(Builder<Meta::Rotation>& type) { type.property("axes", &Meta::Rotation::axes); }

void declare(Builder<Meta::Scale>& type) { type.property("type", &Meta::Scale::type); }

void declare(Builder<Meta::Tile>& type) { type.property("get", &Meta::Tile::get); }

void declare(Builder<Meta::Option::List>& type) { type.method("get", &Meta::Option::List::function); }

void declare(Builder<Meta::DelegateLabel>& type) {
    type.method("labels", [](const Meta::DelegateLabel* label) { return &label->labels; });
}

void declare(Builder<Meta::Button::Text>& type) { type.property("value", &Meta::Button::Text::value); }

void declare(Builder<Meta::DialogTitle>& type) { type.property("value", &Meta::DialogTitle::value); }

} // namespace orv::editor_meta_details
