#pragma once
// Trees of items that mirror an object's property structure and follow it.
//
// An item follows one property and the object that property's value holds,
// with one child per property of that object, at the property's index. When
// properties are added, removed or reset the children follow at the same
// positions; when the followed property's value changes the item rebuilds
// its subtree for the new object. Views derive from the item and override
// createChild() and the handlers:
//
//     struct Row : orv::BaseObjectTrackerItem {
//     protected:
//         std::unique_ptr<BaseObjectTrackerItem> createChild() override { return std::make_unique<Row>(); }
//         void onPropertyChanged(const orv::BoundProperty& p, orv::SetterFlags s, orv::NotifyFlags n)
//         override {
//             BaseObjectTrackerItem::onPropertyChanged(p, s, n);  // keeps the subtree in step
//             repaint();
//         }
//     };
//     Row root;
//     root.setObject(orv::reflect(scene));
//
// Handlers run on the thread that delivers the notifications; the item
// takes no locks. An item may outlive its object: it then simply hears
// nothing more, and its destruction disconnects what is left. An object met
// again below itself (a property pointing back up the object graph) is shown
// there without children.

#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include "orv_cpp_utils/signal.hpp"

#include <cstddef>
#include <memory>
#include <vector>

namespace orv {

class BaseObjectTrackerItem {
public:
    using Children = std::vector<std::unique_ptr<BaseObjectTrackerItem>>;

    // Follows nothing: invalid property and object, no children.
    BaseObjectTrackerItem() noexcept;
    // Disconnects everything, then destroys the subtree.
    virtual ~BaseObjectTrackerItem();
    BaseObjectTrackerItem(const BaseObjectTrackerItem&) = delete;
    BaseObjectTrackerItem& operator=(const BaseObjectTrackerItem&) = delete;

    // Follows `object` and the property it was reached through (if any).
    void setObject(ReflectedObject object);
    // Follows `property` and the object its value holds.
    void setProperty(BoundProperty property);

    [[nodiscard]] const ReflectedObject& object() const noexcept { return m_object; }
    [[nodiscard]] const BoundProperty& property() const noexcept { return m_property; }
    // One per property of object(), at the property's index.
    [[nodiscard]] const Children& children() const noexcept { return m_children; }

protected:
    // A Value change of the followed property: drops the subtree (about to),
    // rebuilds it for the new object (changed). Other changes are ignored.
    virtual void onPropertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                            NotifyFlags notifyFlags);
    virtual void onPropertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                                   NotifyFlags notifyFlags);
    // Removes the children of the properties before they go.
    virtual void onPropertyAboutToBeRemoved(const ReflectedObject& object, size_t first, size_t count);
    // Nothing.
    virtual void onPropertyRemoved(const ReflectedObject& object, size_t first, size_t count);
    // Nothing.
    virtual void onPropertyAboutToBeAdded(const ReflectedObject& object, size_t first, size_t count);
    // Inserts children for the new properties.
    virtual void onPropertyAdded(const ReflectedObject& object, size_t first, size_t count);
    // Removes every child.
    virtual void onPropertiesAboutToBeReset(const ReflectedObject& object);
    // Builds the children again from the new properties.
    virtual void onPropertiesReset(const ReflectedObject& object);
    // A new, unattached item for one child; the whole subtree is made of them.
    virtual std::unique_ptr<BaseObjectTrackerItem> createChild();
    // After the property and object are set: tracks the property, then the object.
    virtual void init();
    // Builds the children and connects the object's structure signals.
    virtual void trackObject();
    // Disconnects the object's structure signals and destroys the children.
    virtual void untrackObject();

private:
    void trackProperty();
    void untrackProperty();
    void insertChildren(size_t index, size_t count);
    void removeChildren(size_t index, size_t count);

    BoundProperty m_property;
    ReflectedObject m_object;
    Children m_children;
    zel::ScopedConnection m_propertyAboutToBeChanged;
    zel::ScopedConnection m_propertyChanged;
    zel::ScopedConnection m_propertyAboutToBeAdded;
    zel::ScopedConnection m_propertyAdded;
    zel::ScopedConnection m_propertyAboutToBeRemoved;
    zel::ScopedConnection m_propertyRemoved;
    zel::ScopedConnection m_propertiesAboutToBeReset;
    zel::ScopedConnection m_propertiesReset;
};

} // namespace orv
