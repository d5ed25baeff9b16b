#pragma once
// Meta objects that raise the structure signals of their objects.
//
// NotifyableMetaObject<0> keeps the signals itself, one entry per object in
// signal maps keyed by the object's address: for types whose instances carry
// no shared data. Such objects announce no deletion.
// NotifyableMetaObject<1> keeps nothing and forwards to the instance's
// ObjectData; the concrete type decides how that data is made (objectData).

#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/details/object_signals.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <cstddef>
#include <memory>

namespace tavi {
class Variant;
}

namespace orv {

class ObjectData;
class ReflectedObject;

template <int N>
class NotifyableMetaObject;

template <>
class NotifyableMetaObject<0> : public MetaObject {
public:
    using MetaObject::MetaObject;
    ~NotifyableMetaObject() override;

    // Instances of this type have no per-instance data.
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override;

protected:
    void propertyAboutToBeAdded(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyAdded(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyAboutToBeRemoved(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyRemoved(const ReflectedObject& object, size_t index, size_t count) override;
    // Not connected: without data there is nothing to announce the deletion.
    zel::Connection connectObjectDeleted(const ReflectedObject& object, zel::InlineConnection* storage,
                                         const ObjectDeletedSlot& slot, int priority) override;
    zel::Connection connectStructureAboutToBeChanged(const ReflectedObject& object,
                                                     zel::InlineConnection* storage, const ObjectSlot& slot,
                                                     int priority) override;
    zel::Connection connectStructureChanged(const ReflectedObject& object, zel::InlineConnection* storage,
                                            const ObjectSlot& slot, int priority) override;
    zel::Connection connectPropertiesAboutToBeReset(const ReflectedObject& object,
                                                    zel::InlineConnection* storage, const ObjectSlot& slot,
                                                    int priority) override;
    zel::Connection connectPropertiesReset(const ReflectedObject& object, zel::InlineConnection* storage,
                                           const ObjectSlot& slot, int priority) override;
    zel::Connection connectPropertyAboutToBeAdded(const ReflectedObject& object,
                                                  zel::InlineConnection* storage,
                                                  const PropertyRangeSlot& slot, int priority) override;
    zel::Connection connectPropertyAdded(const ReflectedObject& object, zel::InlineConnection* storage,
                                         const PropertyRangeSlot& slot, int priority) override;
    zel::Connection connectPropertyAboutToBeRemoved(const ReflectedObject& object,
                                                    zel::InlineConnection* storage,
                                                    const PropertyRangeSlot& slot, int priority) override;
    zel::Connection connectPropertyRemoved(const ReflectedObject& object, zel::InlineConnection* storage,
                                           const PropertyRangeSlot& slot, int priority) override;
    void structureAboutToBeChanged(const ReflectedObject& object) override;
    void structureChanged(const ReflectedObject& object) override;
    void propertiesAboutToBeReset(const ReflectedObject& object) override;
    void propertiesReset(const ReflectedObject& object) override;

    using ObjectSignalMap = SignalMap<ObjectSignal>;
    using PropertyRangeSignalMap = SignalMap<PropertyRangeSignal>;

    // Read access for subclasses and diagnostics: which objects have slots.
    const ObjectSignalMap& structureAboutToBeChangedMap() const noexcept {
        return m_structureAboutToBeChanged;
    }
    const ObjectSignalMap& structureChangedMap() const noexcept { return m_structureChanged; }
    const ObjectSignalMap& propertiesAboutToBeResetMap() const noexcept { return m_propertiesAboutToBeReset; }
    const ObjectSignalMap& propertiesResetMap() const noexcept { return m_propertiesReset; }
    const PropertyRangeSignalMap& propertyAboutToBeAddedMap() const noexcept {
        return m_propertyAboutToBeAdded;
    }
    const PropertyRangeSignalMap& propertyAddedMap() const noexcept { return m_propertyAdded; }
    const PropertyRangeSignalMap& propertyAboutToBeRemovedMap() const noexcept {
        return m_propertyAboutToBeRemoved;
    }
    const PropertyRangeSignalMap& propertyRemovedMap() const noexcept { return m_propertyRemoved; }

private:
    ObjectSignalMap m_structureAboutToBeChanged;
    ObjectSignalMap m_structureChanged;
    ObjectSignalMap m_propertiesAboutToBeReset;
    ObjectSignalMap m_propertiesReset;
    PropertyRangeSignalMap m_propertyAboutToBeAdded;
    PropertyRangeSignalMap m_propertyAdded;
    PropertyRangeSignalMap m_propertyAboutToBeRemoved;
    PropertyRangeSignalMap m_propertyRemoved;
};

template <>
class NotifyableMetaObject<1> : public MetaObject {
public:
    using MetaObject::MetaObject;
    ~NotifyableMetaObject() override;

protected:
    // Each forwards to the object's ObjectData; an object without data is
    // reported ("... doesn't have data") and gets an empty Connection or no
    // notification.
    void propertyAboutToBeAdded(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyAdded(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyAboutToBeRemoved(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyRemoved(const ReflectedObject& object, size_t index, size_t count) override;
    zel::Connection connectObjectDeleted(const ReflectedObject& object, zel::InlineConnection* storage,
                                         const ObjectDeletedSlot& slot, int priority) override;
    zel::Connection connectStructureAboutToBeChanged(const ReflectedObject& object,
                                                     zel::InlineConnection* storage, const ObjectSlot& slot,
                                                     int priority) override;
    zel::Connection connectStructureChanged(const ReflectedObject& object, zel::InlineConnection* storage,
                                            const ObjectSlot& slot, int priority) override;
    zel::Connection connectPropertiesAboutToBeReset(const ReflectedObject& object,
                                                    zel::InlineConnection* storage, const ObjectSlot& slot,
                                                    int priority) override;
    zel::Connection connectPropertiesReset(const ReflectedObject& object, zel::InlineConnection* storage,
                                           const ObjectSlot& slot, int priority) override;
    zel::Connection connectPropertyAboutToBeAdded(const ReflectedObject& object,
                                                  zel::InlineConnection* storage,
                                                  const PropertyRangeSlot& slot, int priority) override;
    zel::Connection connectPropertyAdded(const ReflectedObject& object, zel::InlineConnection* storage,
                                         const PropertyRangeSlot& slot, int priority) override;
    zel::Connection connectPropertyAboutToBeRemoved(const ReflectedObject& object,
                                                    zel::InlineConnection* storage,
                                                    const PropertyRangeSlot& slot, int priority) override;
    zel::Connection connectPropertyRemoved(const ReflectedObject& object, zel::InlineConnection* storage,
                                           const PropertyRangeSlot& slot, int priority) override;
    void structureAboutToBeChanged(const ReflectedObject& object) override;
    void structureChanged(const ReflectedObject& object) override;
    void propertiesAboutToBeReset(const ReflectedObject& object) override;
    void propertiesReset(const ReflectedObject& object) override;
};

} // namespace orv
