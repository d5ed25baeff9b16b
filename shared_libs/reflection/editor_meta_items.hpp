#pragma once
// Annotation types read by editor front-ends (property panels, gizmos, file
// dialogs): labels, tool tips, groups and grids, number formatting, gizmo
// shapes, world transforms, scene-item counting and the like. Each is
// registered with the value library under its C++ name; the library reads a
// few of them itself (world transforms, scene items, plain values) and
// describes most with a static meta object, so that front-ends can inspect
// and edit them as reflected objects.
//
// Members that compute something are fuzzy functions of the annotated
// BoundProperty (a callable may ignore it); the string (or number)
// constructors wrap a constant. Annotation types have no call operator: the
// declaration builder takes a callable after a getter for a setter.

#include "platform/kor/math/matrix.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/variant/variant.hpp"
#include "platform/zel_core/flags.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

// Lays the properties of a group out in a grid.
class Grid {
public:
    using Function = PropertyFunction<std::string>;
    class Layout;

    Grid() = default;
    Grid(std::string name, orv::Annotations annotations = {});
    Grid(const char* name, orv::Annotations annotations = {})
        : Grid(std::string(name), std::move(annotations)) {}
    Grid(Function name, orv::Annotations annotations = {});

    const Function& name() const noexcept { return m_name; }
    // Annotations of the grid itself (its Layout, say).
    const orv::Annotations& annotations() const noexcept { return m_annotations; }

private:
    Function m_name;
    orv::Annotations m_annotations;
};

// How a grid places its cells.
class Grid::Layout {
public:
    enum EType : int32_t { Row = 1, Column = 2, Fill = 3, Flow = 4, Grid = 5, OneCellTwoColumns = 6 };

    Layout(EType type = Row) : m_type(type) {}

    EType type() const noexcept { return m_type; }
    // The enumerator's name; "unknown" for any other value.
    const char* toString() const noexcept;

private:
    EType m_type;
};

// A sphere gizmo drawn around the property's object. Every member is a
// function of the property; one not given answers its default.
class Radius {
public:
    static constexpr uint32_t s_defaultColor = 0xFFFF0000;
    static constexpr float s_defaultRadius = 2.0f;

    Radius& position(PropertyFunction<Kor::Vector3> function) { return set(m_position, std::move(function)); }
    Radius& color(PropertyFunction<uint32_t> function) { return set(m_color, std::move(function)); }
    Radius& radius(PropertyFunction<float> function) { return set(m_radius, std::move(function)); }
    Radius& sphereVisible(PropertyFunction<bool> function) {
        return set(m_sphereVisible, std::move(function));
    }
    Radius& unitsVisible(PropertyFunction<bool> function) { return set(m_unitsVisible, std::move(function)); }
    Radius& needPaintGizmo(PropertyFunction<bool> function) {
        return set(m_needPaintGizmo, std::move(function));
    }

    // Vector3::ZERO by default.
    Kor::Vector3 position(const orv::BoundProperty& property) const;
    // 0xFFFF0000 by default.
    uint32_t color(const orv::BoundProperty& property) const;
    // 2 by default.
    float radius(const orv::BoundProperty& property) const;
    // true by default.
    bool sphereVisible(const orv::BoundProperty& property) const;
    // true by default.
    bool unitsVisible(const orv::BoundProperty& property) const;
    // false by default.
    bool needPaintGizmo(const orv::BoundProperty& property) const;

private:
    template <class R>
    Radius& set(PropertyFunction<R>& member, PropertyFunction<R> function) {
        member = std::move(function);
        return *this;
    }

    PropertyFunction<Kor::Vector3> m_position;
    PropertyFunction<uint32_t> m_color;
    PropertyFunction<float> m_radius;
    PropertyFunction<bool> m_sphereVisible;
    PropertyFunction<bool> m_unitsVisible;
    PropertyFunction<bool> m_needPaintGizmo;
};

// An angle gizmo, drawn in the frame its function gives.
class Angle {
public:
    Angle() = default;
    explicit Angle(PropertyFunction<Kor::Matrix> frame) : m_frame(std::move(frame)) {}

    // The identity by default.
    Kor::Matrix frame(const orv::BoundProperty& property) const;
    Angle& coneVisible(bool visible) {
        m_coneVisible = visible;
        return *this;
    }
    bool coneVisible() const noexcept { return m_coneVisible; }

private:
    PropertyFunction<Kor::Matrix> m_frame;
    bool m_coneVisible = true;
};

// The space a matrix property is expressed in: its function gives, for the
// property, the world transform of its parent. Gizmos work in world space:
// get() and set() convert between the property's value and world space.
struct WorldTransform {
    WorldTransform() = default;
    explicit WorldTransform(PropertyFunction<Kor::Matrix> function) : function(std::move(function)) {}

    // The parent's world transform; nothing when the property has none.
    static std::optional<Kor::Matrix> worldTransform(const orv::BoundProperty& property);
    // Its inverse; nothing when there is none or it is singular.
    static std::optional<Kor::Matrix> worldTransformInv(const orv::BoundProperty& property);
    // The property's matrix (the identity when it holds none) in world space:
    // local × world.
    static Kor::Matrix get(const orv::BoundProperty& property);
    // Writes the local matrix that puts the property at `world`: world ×
    // inverse(world transform). False when the write is refused, or (with
    // a message) when the world transform cannot be inverted.
    static bool set(const orv::BoundProperty& property, const Kor::Matrix& world,
                    orv::SetterFlags flags = {});
    // Where the property's gizmo is drawn: get(), or the world transform
    // alone when the property carries Gizmo::Static.
    static Kor::Matrix getGizmoTransform(const orv::BoundProperty& property);

    PropertyFunction<Kor::Matrix> function;
};

namespace Gizmo {

// When set, the property's gizmo stays put instead of following its value.
struct Static {
    explicit Static(bool value = true) : value(value) {}

    bool value;
};

} // namespace Gizmo

// Whether the annotated property counts as a scene item.
struct SceneItem {
    class Counter;

    SceneItem() = default;
    explicit SceneItem(PropertyFunction<bool> function) : function(std::move(function)) {}

    PropertyFunction<bool> function;
};

// Counts scene items in a tree of counters: each counter made from a
// property that is a scene item adds one to its root while it lives.
class SceneItem::Counter {
public:
    // A root that counts itself: its count starts at 1.
    Counter();
    // Counts `property` (when it is a scene item) in the root above `parent`;
    // a null parent makes a root.
    Counter(const orv::BoundProperty& property, Counter* parent);
    // A copy has the same parent and counts for itself as long as it lives,
    // so that copies and their originals leave the root's count balanced.
    Counter(const Counter& other);
    Counter& operator=(const Counter& other);
    ~Counter();

    void inc();
    void dec();
    // The root's count.
    int32_t count() const;
    Counter* parent() const noexcept { return m_parent; }
    bool active() const noexcept { return m_active; }

private:
    Counter& root();
    const Counter& root() const;

    Counter* m_parent = nullptr;
    int32_t m_count = 0;
    bool m_active = false;
};

// The annotated type or property is a plain value, never opened as an object.
struct Value {
    // The object `property` holds, unless the property or that object is
    // marked as a plain value (then an invalid object).
    static orv::ReflectedObject getObject(const orv::BoundProperty& property);
};

namespace View {

// The property is the path of an image file.
struct ImagePath {
    // The companion property holding the image's channels.
    static constexpr const char* s_channelsPropertyName = "_imagePathChannelsProperty";
    static constexpr std::array<std::string_view, 7> s_filesFilter{"*.jpg",  "*.tga", "*.png", "*.tif",
                                                                   "*.tiff", "*.bmp", "*.dds"};
};

} // namespace View
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
