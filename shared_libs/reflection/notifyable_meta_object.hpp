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

#include <array>
#include <cstddef>
#include <memory>

namespace tavi {
class Variant;
}

namespace orv {

class ObjectData;
class ReflectedObject;

namespace notifyable_meta_object_details {

// Where the structure signals of a type's objects live.
template <int N>
class SignalStorage;

// In the meta object: per event, a signal map keyed by the object's address.
template <>
class SignalStorage<0> : public MetaObject {
public:
    using MetaObject::MetaObject;
    ~SignalStorage() override;

    // Instances of this type have no per-instance data.
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override;

protected:
    using ObjectSignalMap = SignalMap<ObjectSignal>;
    using PropertyRangeSignalMap = SignalMap<PropertyRangeSignal>;

    // Which objects have slots for an event.
    const ObjectSignalMap& signalMap(ObjectEvent event) const noexcept {
        return m_objectSignals[size_t(event)];
    }
    const PropertyRangeSignalMap& signalMap(PropertyRangeEvent event) const noexcept {
        return m_rangeSignals[size_t(event)];
    }

private:
    std::array<ObjectSignalMap, 4> m_objectSignals;
    std::array<PropertyRangeSignalMap, 4> m_rangeSignals;
};

// In each instance's ObjectData, which the concrete type makes (objectData).
template <>
class SignalStorage<1> : public MetaObject {
public:
    using MetaObject::MetaObject;
};

} // namespace notifyable_meta_object_details

template <int N>
class NotifyableMetaObject : public notifyable_meta_object_details::SignalStorage<N> {
    using Storage = notifyable_meta_object_details::SignalStorage<N>;

public:
    using Storage::Storage;
    ~NotifyableMetaObject() override;

protected:
    // Under N = 1 each forwards to the object's ObjectData; an object without
    // data is reported ("... doesn't have data") and gets an empty Connection
    // or no notification.
    void propertyAboutToBeAdded(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyAdded(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyAboutToBeRemoved(const ReflectedObject& object, size_t index, size_t count) override;
    void propertyRemoved(const ReflectedObject& object, size_t index, size_t count) override;
    // Under N = 0 never connected: without data nothing announces a deletion.
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

private:
    // What every connector and notification above does, for one event.
    template <class Event, class Slot>
    zel::Connection connect(const Event& event, const ReflectedObject& object, zel::InlineConnection* storage,
                            const Slot& slot, int priority);
    template <class Event, class... Args>
    void raise(const Event& event, const ReflectedObject& object, Args... args);
};

extern template class NotifyableMetaObject<0>;
extern template class NotifyableMetaObject<1>;

} // namespace orv
