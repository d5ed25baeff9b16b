#include "shared_libs/reflection/editor_meta_items.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/meta_type.hpp"
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

// --- grids ---

Grid::Grid(std::string name, orv::Annotations annotations)
    : m_name([name = std::move(name)] { return name; }), m_annotations(std::move(annotations)) {}

Grid::Grid(Function name, orv::Annotations annotations)
    : m_name(std::move(name)), m_annotations(std::move(annotations)) {}

const char* Grid::Layout::toString() const noexcept {
    switch (m_type) {
        case Row:
            return "Row";
        case Column:
            return "Column";
        case Fill:
            return "Fill";
        case Flow:
            return "Flow";
        case Grid:
            return "Grid";
        case OneCellTwoColumns:
            return "OneCellTwoColumns";
    }
    return "unknown";
}

// --- gizmos ---

namespace {

template <class R>
R callOr(const PropertyFunction<R>& function, const orv::BoundProperty& property, R otherwise) {
    return function ? function(property) : otherwise;
}

// The property's value as a matrix; the identity when it holds none.
Kor::Matrix matrixOf(const orv::BoundProperty& property) {
    Kor::Matrix matrix;
    return property.get().tryCast(matrix) ? matrix : Kor::Matrix::identity;
}

} // namespace

Kor::Vector3 Radius::position(const orv::BoundProperty& property) const {
    return callOr(m_position, property, Kor::Vector3::ZERO);
}
uint32_t Radius::color(const orv::BoundProperty& property) const {
    return callOr(m_color, property, s_defaultColor);
}
float Radius::radius(const orv::BoundProperty& property) const {
    return callOr(m_radius, property, s_defaultRadius);
}
bool Radius::sphereVisible(const orv::BoundProperty& property) const {
    return callOr(m_sphereVisible, property, true);
}
bool Radius::unitsVisible(const orv::BoundProperty& property) const {
    return callOr(m_unitsVisible, property, true);
}
bool Radius::needPaintGizmo(const orv::BoundProperty& property) const {
    return callOr(m_needPaintGizmo, property, false);
}

Kor::Matrix Angle::frame(const orv::BoundProperty& property) const {
    return callOr(m_frame, property, Kor::Matrix::identity);
}

// --- world transforms ---

std::optional<Kor::Matrix> WorldTransform::worldTransform(const orv::BoundProperty& property) {
    Kor::StackTracker::Frame frame("Meta::WorldTransform::worldTransform");
    const orv::Annotations annotations = property.annotations();
    const WorldTransform* transform = orv::findAnnotation<WorldTransform>(annotations);
    if (!transform)
        return std::nullopt;
    return transform->function(property); // an empty function throws, as any empty call
}

std::optional<Kor::Matrix> WorldTransform::worldTransformInv(const orv::BoundProperty& property) {
    std::optional<Kor::Matrix> matrix = worldTransform(property);
    if (matrix && !matrix->invert())
        return std::nullopt;
    return matrix;
}

Kor::Matrix WorldTransform::get(const orv::BoundProperty& property) {
    Kor::StackTracker::Frame frame("Meta::WorldTransform::get");
    const Kor::Matrix local = matrixOf(property);
    const std::optional<Kor::Matrix> world = worldTransform(property);
    return world ? local * *world : local;
}

bool WorldTransform::set(const orv::BoundProperty& property, const Kor::Matrix& world,
                         orv::SetterFlags flags) {
    Kor::StackTracker::Frame frame("Meta::WorldTransform::set");
    Kor::Matrix local = world;
    if (std::optional<Kor::Matrix> parent = worldTransform(property)) {
        if (!parent->invert()) {
            Kor::errorMessage("Meta::WorldTransform::set: the world transform of property '%s' is singular",
                              property.name().c_str());
            return false;
        }
        local = world * *parent;
    }
    return property.set(tavi::Variant(local), flags);
}

Kor::Matrix WorldTransform::getGizmoTransform(const orv::BoundProperty& property) {
    Kor::StackTracker::Frame frame("Meta::WorldTransform::getGizmoTransform");
    const orv::Annotations annotations = property.annotations();
    const Gizmo::Static* fixed = orv::findAnnotation<Gizmo::Static>(annotations);
    const Kor::Matrix local = fixed && fixed->value ? Kor::Matrix::identity : matrixOf(property);
    const std::optional<Kor::Matrix> world = worldTransform(property);
    return world ? local * *world : local;
}

// --- scene items ---

SceneItem::Counter::Counter() : m_count(1) {}

SceneItem::Counter::Counter(const orv::BoundProperty& property, Counter* parent) : m_parent(parent) {
    const orv::Annotations annotations = property.annotations();
    if (const SceneItem* item = orv::findAnnotation<SceneItem>(annotations))
        m_active = item->function(property); // an empty function throws, as any empty call
    if (m_active)
        inc();
}

SceneItem::Counter::Counter(const Counter& other)
    : m_parent(other.m_parent), m_count(other.m_count), m_active(other.m_active) {
    // A root copies its count, which already holds its own contribution.
    if (m_active && m_parent)
        inc();
}

SceneItem::Counter& SceneItem::Counter::operator=(const Counter& other) {
    if (this == &other)
        return *this;
    if (m_active)
        dec();
    m_parent = other.m_parent;
    m_count = other.m_count;
    m_active = other.m_active;
    if (m_active && m_parent)
        inc();
    return *this;
}

SceneItem::Counter::~Counter() {
    if (m_active)
        dec();
}

SceneItem::Counter& SceneItem::Counter::root() {
    Counter* counter = this;
    while (counter->m_parent)
        counter = counter->m_parent;
    return *counter;
}

const SceneItem::Counter& SceneItem::Counter::root() const { return const_cast<Counter*>(this)->root(); }

void SceneItem::Counter::inc() { ++root().m_count; }

void SceneItem::Counter::dec() { --root().m_count; }

int32_t SceneItem::Counter::count() const { return root().m_count; }

// --- plain values ---

orv::ReflectedObject Value::getObject(const orv::BoundProperty& property) {
    Kor::StackTracker::Frame frame("Meta::Value::getObject");
    if (orv::hasAnnotation<Value>(property.annotations()))
        return {};
    orv::ReflectedObject object(property);
    if (orv::hasAnnotation<Value>(object.annotations()))
        return {};
    return object;
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
