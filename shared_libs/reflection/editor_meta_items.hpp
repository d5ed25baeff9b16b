#pragma once
// Annotation types read by editor front-ends (property panels, gizmos, file
// dialogs): labels, tool tips, groups, number formatting and the like. The
// library only stores them; each is registered with the value library under
// its C++ name and described by a static meta object, so that front-ends can
// inspect and edit them as reflected objects.
//
// Members that compute something are fuzzy functions of the annotated
// BoundProperty (a callable may ignore it); the string (or number)
// constructors wrap a constant. Annotation types have no call operator: the
// declaration builder takes a callable after a getter for a setter.

#include "platform/variant/variant.hpp"
#include "platform/zel_core/flags.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orv {
class BoundProperty;
}

namespace Meta {

template <class R>
using PropertyFunction =
    orv::FuzzyFunction<R(const orv::BoundProperty&), orv::BoundPropertyArgumentConvertor>;

namespace Label {

// The text a panel shows for the property instead of its name.
struct Text {
    using Function = PropertyFunction<std::string>;

    Text() = default;
    Text(std::string text) : function([text = std::move(text)] { return text; }) {}
    Text(const char* text) : Text(std::string(text)) {}
    explicit Text(Function function) : function(std::move(function)) {}

    Function function;
};

} // namespace Label

// Groups properties under a heading; nested groups are joined by s_separator.
class Group {
public:
    using Function = PropertyFunction<std::string>;

    static constexpr const char* s_separator = ".";

    Group() = default;
    Group(std::string name, bool separator = false, bool expanded = false, bool canUnpin = false);
    Group(const char* name, bool separator = false, bool expanded = false, bool canUnpin = false)
        : Group(std::string(name), separator, expanded, canUnpin) {}
    Group(Function name, bool separator = false, bool expanded = false, bool canUnpin = false);

    // Chainable setters. Their names are those of the getters below, which
    // answer on a const group.
    Group& separator() { return setFlag(SEPARATOR, true); }
    Group& expanded() { return setFlag(EXPANDED, true); }
    Group& collapsed() { return setFlag(EXPANDED, false); }
    Group& canUnpin() { return setFlag(CAN_UNPIN, true); }
    Group& priority(int32_t priority) {
        m_priority = priority;
        return *this;
    }
    Group& toggleExpanded() { return setFlag(EXPANDED, !isExpanded()); }

    bool separator() const { return (m_flags & SEPARATOR) != 0; }
    bool isExpanded() const { return (m_flags & EXPANDED) != 0; }
    bool isCollapsed() const { return !isExpanded(); }
    bool canUnpin() const { return (m_flags & CAN_UNPIN) != 0; }
    int32_t priority() const { return m_priority; }
    const Function& name() const { return m_name; }

    // "a", "b", "c" -> "a.b.c"; no separator goes before a name while the
    // result is still empty.
    static std::string join(const std::vector<std::string>& names);
    // "a..b" -> "a", "", "b"; "" -> one empty name.
    static std::vector<std::string> split(const std::string& path);

private:
    enum : uint8_t { SEPARATOR = 1, EXPANDED = 2, CAN_UNPIN = 4 };

    Group& setFlag(uint8_t flag, bool on) {
        m_flags = uint8_t(on ? (m_flags | flag) : (m_flags & ~flag));
        return *this;
    }
    static uint8_t flagsOf(bool separator, bool expanded, bool canUnpin) {
        return uint8_t((separator ? SEPARATOR : 0) | (expanded ? EXPANDED : 0) | (canUnpin ? CAN_UNPIN : 0));
    }

    Function m_name;
    int32_t m_priority = 0;
    uint8_t m_flags = 0;
};

struct ToolTip {
    using Function = PropertyFunction<std::string>;

    ToolTip() = default;
    ToolTip(std::string text) : function([text = std::move(text)] { return text; }) {}
    ToolTip(const char* text) : ToolTip(std::string(text)) {}
    explicit ToolTip(Function function) : function(std::move(function)) {}

    Function function;
};

// Digits shown after the decimal point.
struct Precision {
    explicit Precision(uint32_t precision = 3) : precision(precision) {}

    uint32_t precision;
};

// The amount a spin box adds or takes per step.
struct Step {
    using Function = PropertyFunction<double>;

    Step() = default;
    explicit Step(double step) : function([step] { return step; }) {}
    explicit Step(Function function) : function(std::move(function)) {}

    Function function;
};

// The property is a position; `normalize` keeps it on the unit sphere.
struct Position {
    explicit Position(bool normalize = false) : normalize(normalize) {}

    bool normalize;
};

// The property is a rotation; a gizmo offers the rotation about `axes`.
struct Rotation {
    enum class Axis : uint32_t { X = 1, Y = 2, Z = 4 };
    friend void zelEnableFlagOperators(Axis);
    using Axes = zel::Flags<Axis>;

    explicit Rotation(Axes axes = {Axis::X, Axis::Y, Axis::Z}) : axes(axes) {}

    Axes axes;
};
using zel::operator|;

// The property is a scale: one factor for all axes, or one per axis.
struct Scale {
    enum class Type : uint32_t { Uniform, PerAxis };

    explicit Scale(Type type = Type::Uniform) : type(type) {}

    Type type;
};

// A thumbnail for the property: the text (an image path) to show.
struct Tile {
    std::function<std::string(const orv::BoundProperty&)> get;
};

namespace Option {

// The values a property may choose from.
struct List {
    using Function = PropertyFunction<std::vector<tavi::Variant>>;

    List() = default;
    explicit List(std::vector<tavi::Variant> options)
        : function([options = std::move(options)] { return options; }) {}
    explicit List(Function function) : function(std::move(function)) {}

    Function function;
};

} // namespace Option

// Labels for the parts of a compound value (the components of a vector...).
struct DelegateLabel {
    DelegateLabel() = default;
    explicit DelegateLabel(std::vector<std::string> labels) : labels(std::move(labels)) {}

    std::vector<std::string> labels;
};

namespace Button {

// The caption of the button a method is shown as.
struct Text {
    Text() = default;
    Text(std::string value) : value(std::move(value)) {}
    Text(const char* value) : value(value) {}

    std::string value;
};

} // namespace Button

// The title of the file dialog that edits a path property.
struct DialogTitle {
    static constexpr const wchar_t* s_default = L"Choose file ...";

    DialogTitle() = default;
    explicit DialogTitle(std::wstring value) : value(std::move(value)) {}

    std::wstring value = s_default;
};

} // namespace Meta

// The library's own types, declared when the library is loaded; their
// members are listed in editor_meta_items.cpp.
namespace orv::editor_meta_details {

void declare(Builder<orv::Annotations>& type);
void declare(Builder<Meta::Label::Text>& type);
void declare(Builder<Meta::Group>& type);
void declare(Builder<Meta::ToolTip>& type);
void declare(Builder<Meta::ReadOnly>& type);
void declare(Builder<Meta::Validator>& type);
void declare(Builder<Meta::Precision>& type);
void declare(Builder<Meta::Step>& type);
void declare(Builder<Meta::Position>& type);
void declare(Builder<Meta::Rotation>& type);
void declare(Builder<Meta::Scale>& type);
void declare(Builder<Meta::Tile>& type);
void declare(Builder<Meta::Option::List>& type);
void declare(Builder<Meta::DelegateLabel>& type);
void declare(Builder<Meta::Button::Text>& type);
void declare(Builder<Meta::DialogTitle>& type);

template <class T>
struct Declaration {
    static void declare(Builder<T>& type) { editor_meta_details::declare(type); }
};

} // namespace orv::editor_meta_details

template <>
struct orv::TypeDeclaration<orv::Annotations> : orv::editor_meta_details::Declaration<orv::Annotations> {
    static constexpr const char* name = "orv::Annotations";
};
template <>
struct orv::TypeDeclaration<Meta::Label::Text> : orv::editor_meta_details::Declaration<Meta::Label::Text> {
    static constexpr const char* name = "Meta::Label::Text";
};
template <>
struct orv::TypeDeclaration<Meta::Group> : orv::editor_meta_details::Declaration<Meta::Group> {
    static constexpr const char* name = "Meta::Group";
};
template <>
struct orv::TypeDeclaration<Meta::ToolTip> : orv::editor_meta_details::Declaration<Meta::ToolTip> {
    static constexpr const char* name = "Meta::ToolTip";
};
template <>
struct orv::TypeDeclaration<Meta::ReadOnly> : orv::editor_meta_details::Declaration<Meta::ReadOnly> {
    static constexpr const char* name = "Meta::ReadOnly";
};
template <>
struct orv::TypeDeclaration<Meta::Validator> : orv::editor_meta_details::Declaration<Meta::Validator> {
    static constexpr const char* name = "Meta::Validator";
};
template <>
struct orv::TypeDeclaration<Meta::Precision> : orv::editor_meta_details::Declaration<Meta::Precision> {
    static constexpr const char* name = "Meta::Precision";
};
template <>
struct orv::TypeDeclaration<Meta::Step> : orv::editor_meta_details::Declaration<Meta::Step> {
    static constexpr const char* name = "Meta::Step";
};
template <>
struct orv::TypeDeclaration<Meta::Position> : orv::editor_meta_details::Declaration<Meta::Position> {
    static constexpr const char* name = "Meta::Position";
};
template <>
struct orv::TypeDeclaration<Meta::Rotation> : orv::editor_meta_details::Declaration<Meta::Rotation> {
    static constexpr const char* name = "Meta::Rotation";
};
template <>
struct orv::TypeDeclaration<Meta::Scale> : orv::editor_meta_details::Declaration<Meta::Scale> {
    static constexpr const char* name = "Meta::Scale";
};
template <>
struct orv::TypeDeclaration<Meta::Tile> : orv::editor_meta_details::Declaration<Meta::Tile> {
    static constexpr const char* name = "Meta::Tile";
};
template <>
struct orv::TypeDeclaration<Meta::Option::List> : orv::editor_meta_details::Declaration<Meta::Option::List> {
    static constexpr const char* name = "Meta::Option::List";
};
template <>
struct orv::TypeDeclaration<Meta::DelegateLabel>
    : orv::editor_meta_details::Declaration<Meta::DelegateLabel> {
    static constexpr const char* name = "Meta::DelegateLabel";
};
template <>
struct orv::TypeDeclaration<Meta::Button::Text> : orv::editor_meta_details::Declaration<Meta::Button::Text> {
    static constexpr const char* name = "Meta::Button::Text";
};
template <>
struct orv::TypeDeclaration<Meta::DialogTitle> : orv::editor_meta_details::Declaration<Meta::DialogTitle> {
    static constexpr const char* name = "Meta::DialogTitle";
};
