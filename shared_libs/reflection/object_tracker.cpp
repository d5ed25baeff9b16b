#include "shared_libs/reflection/object_tracker.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/zel_core/profiler.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

namespace orv {
namespace {

// The objects whose children are being built on this thread, outermost
// first. An object met again below itself (a property pointing back up the
// graph) is not expanded a second time, or building would never end.
thread_local std::vector<const ReflectedObject*> t_building;

class Building {
public:
    explicit Building(const ReflectedObject& object) { t_building.push_back(&object); }
    ~Building() { t_building.pop_back(); }
    Building(const Building&) = delete;
    Building& operator=(const Building&) = delete;

    static bool contains(const ReflectedObject& object) {
        return std::any_of(t_building.begin(), t_building.end(),
                           [&object](const ReflectedObject* building) { return *building == object; });
    }
};

} // namespace

BaseObjectTrackerItem::BaseObjectTrackerItem() noexcept = default;

// The connections go first (they are declared after the children), so no
// handler reaches a half-destroyed item.
BaseObjectTrackerItem::~BaseObjectTrackerItem() = default;

void BaseObjectTrackerItem::setObject(ReflectedObject object) {
    Kor::StackTracker::Frame frame("orv::BaseObjectTrackerItem::setObject");
    const ZEL::Profiler::Scope scope("orv::BaseObjectTrackerItem::setObject");
    untrackObject();
    untrackProperty();
    m_property = object.reference();
    m_object = std::move(object);
    init();
}

void BaseObjectTrackerItem::setProperty(BoundProperty property) {
    Kor::StackTracker::Frame frame("orv::BaseObjectTrackerItem::setProperty");
    const ZEL::Profiler::Scope scope("orv::BaseObjectTrackerItem::setProperty");
    untrackObject();
    untrackProperty();
    m_property = std::move(property);
    m_object = ReflectedObject(m_property);
    init();
}

void BaseObjectTrackerItem::init() {
    trackProperty();
    trackObject();
}

void BaseObjectTrackerItem::trackProperty() {
    if (!m_property.isValid())
        return;
    m_propertyAboutToBeChanged = m_property.connectPropertyAboutToBeChanged(
        [this](const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags) {
            onPropertyAboutToBeChanged(property, setterFlags, notifyFlags);
        });
    m_propertyChanged = m_property.connectPropertyChanged(
        [this](const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags) {
            onPropertyChanged(property, setterFlags, notifyFlags);
        });
}

void BaseObjectTrackerItem::untrackProperty() {
    m_propertyAboutToBeChanged = zel::Connection();
    m_propertyChanged = zel::Connection();
}

void BaseObjectTrackerItem::trackObject() {
    removeChildren(0, m_children.size());
    // An object that also sits higher up the subtree being built (a graph
    // with a cycle) is shown without children and not followed.
    if (m_object.isValid() && Building::contains(m_object))
        return;
    insertChildren(0, m_object.propertyCount());
    using Range = const ReflectedObject&;
    m_propertyAboutToBeAdded = m_object.connectPropertyAboutToBeAdded(
        [this](Range object, size_t first, size_t count) { onPropertyAboutToBeAdded(object, first, count); });
    m_propertyAdded = m_object.connectPropertyAdded(
        [this](Range object, size_t first, size_t count) { onPropertyAdded(object, first, count); });
    m_propertyAboutToBeRemoved =
        m_object.connectPropertyAboutToBeRemoved([this](Range object, size_t first, size_t count) {
            onPropertyAboutToBeRemoved(object, first, count);
        });
    m_propertyRemoved = m_object.connectPropertyRemoved(
        [this](Range object, size_t first, size_t count) { onPropertyRemoved(object, first, count); });
    m_propertiesAboutToBeReset = m_object.connectPropertiesAboutToBeReset(
        [this](Range object) { onPropertiesAboutToBeReset(object); });
    m_propertiesReset = m_object.connectPropertiesReset([this](Range object) { onPropertiesReset(object); });
}

void BaseObjectTrackerItem::untrackObject() {
    for (zel::ScopedConnection* connection :
         {&m_propertyAboutToBeAdded, &m_propertyAdded, &m_propertyAboutToBeRemoved, &m_propertyRemoved,
          &m_propertiesAboutToBeReset, &m_propertiesReset})
        *connection = zel::Connection();
    removeChildren(0, m_children.size());
}

void BaseObjectTrackerItem::insertChildren(size_t index, size_t count) {
    KOR_ASSERT(index <= m_children.size());
    if (index > m_children.size() || count == 0)
        return;
    const ZEL::Profiler::Scope scope("Reflection|ObjectTracker|List");
    m_children.reserve(m_children.size() + count);
    const Building building(m_object);
    for (size_t i = 0; i < count; ++i) {
        const ZEL::Profiler::Scope item("Reflection|Signals|ObjectTracker|Items");
        std::unique_ptr<BaseObjectTrackerItem> child = createChild();
        KOR_ASSERT(child);
        if (!child) // children stay at their properties' indices
            child = BaseObjectTrackerItem::createChild();
        child->setProperty(m_object.propertyAt(index + i));
        m_children.insert(m_children.begin() + std::ptrdiff_t(index + i), std::move(child));
    }
}

void BaseObjectTrackerItem::removeChildren(size_t index, size_t count) {
    KOR_ASSERT(index + count <= m_children.size());
    if (index > m_children.size() || count > m_children.size() - index)
        return;
    // Out of the list before they die: their destructors may end up in
    // code that looks at this item's children.
    const auto first = m_children.begin() + std::ptrdiff_t(index);
    Children removed(std::make_move_iterator(first), std::make_move_iterator(first + std::ptrdiff_t(count)));
    m_children.erase(first, first + std::ptrdiff_t(count));
}

void BaseObjectTrackerItem::onPropertyAboutToBeChanged(const BoundProperty&, SetterFlags,
                                                       NotifyFlags notifyFlags) {
    if (!notifyFlags.test(NotifyFlag::Value))
        return;
    untrackObject();
    m_object = ReflectedObject();
}

void BaseObjectTrackerItem::onPropertyChanged(const BoundProperty&, SetterFlags, NotifyFlags notifyFlags) {
    if (!notifyFlags.test(NotifyFlag::Value))
        return;
    m_object = ReflectedObject(m_property);
    trackObject();
}

void BaseObjectTrackerItem::onPropertyAboutToBeRemoved(const ReflectedObject&, size_t first, size_t count) {
    removeChildren(first, count);
}

void BaseObjectTrackerItem::onPropertyRemoved(const ReflectedObject&, size_t, size_t) {}

void BaseObjectTrackerItem::onPropertyAboutToBeAdded(const ReflectedObject&, size_t, size_t) {}

// Children built while this change was under way (by a handler of another
// object that shares this object's meta object, say) already count the new
// properties but were made before the object's per-property data was: they
// are built again.
void BaseObjectTrackerItem::onPropertyAdded(const ReflectedObject&, size_t first, size_t count) {
    if (m_children.size() + count == m_object.propertyCount()) {
        insertChildren(first, count);
        return;
    }
    removeChildren(0, m_children.size());
    insertChildren(0, m_object.propertyCount());
}

void BaseObjectTrackerItem::onPropertiesAboutToBeReset(const ReflectedObject&) {
    removeChildren(0, m_children.size());
}

// Children built during the reset (see onPropertyAdded) are built again.
void BaseObjectTrackerItem::onPropertiesReset(const ReflectedObject&) {
    removeChildren(0, m_children.size());
    insertChildren(0, m_object.propertyCount());
}

std::unique_ptr<BaseObjectTrackerItem> BaseObjectTrackerItem::createChild() {
    return std::make_unique<BaseObjectTrackerItem>();
}

} // namespace orv
