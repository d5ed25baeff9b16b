#include "shared_libs/reflection/notifyable_meta_object.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/variant.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <optional>

namespace orv {

namespace notifyable_meta_object_details {

SignalStorage<0>::~SignalStorage() = default;

std::shared_ptr<ObjectData> SignalStorage<0>::objectData(const tavi::Variant&) { return {}; }

} // namespace notifyable_meta_object_details

namespace {

using object_signals_details::Event;

constexpr Event s_structureAboutToBeChanged{
    ObjectEvent::StructureAboutToBeChanged,
    "checked structureAboutToBeChanged",
    "Reflection|Signals|MetaObject|Per Object|StructureAboutToBeChanged",
    &ObjectData::connectStructureAboutToBeChanged,
    &ObjectData::structureAboutToBeChanged,
    "orv::NotifyableMetaObject<1>::connectStructureAboutToBeChanged",
    "orv::NotifyableMetaObject<1>::structureAboutToBeChanged"};
constexpr Event s_structureChanged{ObjectEvent::StructureChanged,
                                   "checked structureChanged",
                                   "Reflection|Signals|MetaObject|Per Object|StructureChanged",
                                   &ObjectData::connectStructureChanged,
                                   &ObjectData::structureChanged,
                                   "orv::NotifyableMetaObject<1>::connectStructureChanged",
                                   "orv::NotifyableMetaObject<1>::structureChanged"};
constexpr Event s_propertiesAboutToBeReset{
    ObjectEvent::PropertiesAboutToBeReset,
    "checked propertiesAboutToBeReset",
    "Reflection|Signals|MetaObject|Per Object|PropertiesAboutToBeReset",
    &ObjectData::connectPropertiesAboutToBeReset,
    &ObjectData::propertiesAboutToBeReset,
    "orv::NotifyableMetaObject<1>::connectPropertiesAboutToBeReset",
    "orv::NotifyableMetaObject<1>::propertiesAboutToBeReset"};
constexpr Event s_propertiesReset{ObjectEvent::PropertiesReset,
                                  "checked propertiesReset",
                                  "Reflection|Signals|MetaObject|Per Object|PropertiesReset",
                                  &ObjectData::connectPropertiesReset,
                                  &ObjectData::propertiesReset,
                                  "orv::NotifyableMetaObject<1>::connectPropertiesReset",
                                  "orv::NotifyableMetaObject<1>::propertiesReset"};
constexpr Event s_propertyAboutToBeAdded{PropertyRangeEvent::PropertyAboutToBeAdded,
                                         "checked propertyAboutToBeAdded",
                                         "Reflection|Signals|MetaObject|Per Object|PropertyAboutToBeAdded",
                                         &ObjectData::connectPropertyAboutToBeAdded,
                                         &ObjectData::propertyAboutToBeAdded,
                                         "orv::NotifyableMetaObject<1>::connectPropertyAboutToBeAdded",
                                         "orv::NotifyableMetaObject<1>::propertyAboutToBeAdded"};
constexpr Event s_propertyAdded{PropertyRangeEvent::PropertyAdded,
                                "checked propertyAdded",
                                "Reflection|Signals|MetaObject|Per Object|PropertyAdded",
                                &ObjectData::connectPropertyAdded,
                                &ObjectData::propertyAdded,
                                "orv::NotifyableMetaObject<1>::connectPropertyAdded",
                                "orv::NotifyableMetaObject<1>::propertyAdded"};
constexpr Event s_propertyAboutToBeRemoved{
    PropertyRangeEvent::PropertyAboutToBeRemoved,
    "checked propertyAboutToBeRemoved",
    "Reflection|Signals|MetaObject|Per Object|PropertyAboutToBeRemoved",
    &ObjectData::connectPropertyAboutToBeRemoved,
    &ObjectData::propertyAboutToBeRemoved,
    "orv::NotifyableMetaObject<1>::connectPropertyAboutToBeRemoved",
    "orv::NotifyableMetaObject<1>::propertyAboutToBeRemoved"};
constexpr Event s_propertyRemoved{PropertyRangeEvent::PropertyRemoved,
                                  "checked propertyRemoved",
                                  "Reflection|Signals|MetaObject|Per Object|PropertyRemoved",
                                  &ObjectData::connectPropertyRemoved,
                                  &ObjectData::propertyRemoved,
                                  "orv::NotifyableMetaObject<1>::connectPropertyRemoved",
                                  "orv::NotifyableMetaObject<1>::propertyRemoved"};

// The object's data, or null after reporting that it has none.
ObjectData* dataOf(const ReflectedObject& object, const char* operation) {
    if (ObjectData* data = object.objectData())
        return data;
    const MetaObject* meta = object.metaObject();
    Kor::errorMessage("%s: object of type '%s' doesn't have data", operation,
                      meta ? meta->name().c_str() : "<empty object>");
    return nullptr;
}

} // namespace

template <int N>
NotifyableMetaObject<N>::~NotifyableMetaObject() = default;

template <int N>
template <class E, class Slot>
zel::Connection NotifyableMetaObject<N>::connect(const E& event, const ReflectedObject& object,
                                                 zel::InlineConnection* storage, const Slot& slot,
                                                 int priority) {
    if constexpr (N == 0) {
        ZEL::Profiler::Scope scope(event.connectScope);
        return this->signalMap(event.key).connect(objectIdentity(object), event.label, storage, slot,
                                                  priority);
    } else {
        const ObjectData* data = dataOf(object, event.connectOperation);
        return data ? (data->*event.connectData)(storage, slot, priority) : zel::Connection();
    }
}

template <int N>
template <class E, class... Args>
void NotifyableMetaObject<N>::raise(const E& event, const ReflectedObject& object, Args... args) {
    if constexpr (N == 0)
        this->signalMap(event.key).emit(objectIdentity(object), object, args...);
    else if (ObjectData* data = dataOf(object, event.raiseOperation))
        (data->*event.raiseData)(object, args...);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectObjectDeleted(const ReflectedObject& object,
                                                              zel::InlineConnection* storage,
                                                              const ObjectDeletedSlot& slot, int priority) {
    if constexpr (N == 0)
        return {};
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectObjectDeleted");
    return data ? data->connectObjectDeleted(storage, slot, priority) : zel::Connection();
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectStructureAboutToBeChanged(const ReflectedObject& object,
                                                                          zel::InlineConnection* storage,
                                                                          const ObjectSlot& slot,
                                                                          int priority) {
    return connect(s_structureAboutToBeChanged, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectStructureChanged(const ReflectedObject& object,
                                                                 zel::InlineConnection* storage,
                                                                 const ObjectSlot& slot, int priority) {
    return connect(s_structureChanged, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectPropertiesAboutToBeReset(const ReflectedObject& object,
                                                                         zel::InlineConnection* storage,
                                                                         const ObjectSlot& slot,
                                                                         int priority) {
    return connect(s_propertiesAboutToBeReset, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectPropertiesReset(const ReflectedObject& object,
                                                                zel::InlineConnection* storage,
                                                                const ObjectSlot& slot, int priority) {
    return connect(s_propertiesReset, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectPropertyAboutToBeAdded(const ReflectedObject& object,
                                                                       zel::InlineConnection* storage,
                                                                       const PropertyRangeSlot& slot,
                                                                       int priority) {
    return connect(s_propertyAboutToBeAdded, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectPropertyAdded(const ReflectedObject& object,
                                                              zel::InlineConnection* storage,
                                                              const PropertyRangeSlot& slot, int priority) {
    return connect(s_propertyAdded, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectPropertyAboutToBeRemoved(const ReflectedObject& object,
                                                                         zel::InlineConnection* storage,
                                                                         const PropertyRangeSlot& slot,
                                                                         int priority) {
    return connect(s_propertyAboutToBeRemoved, object, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaObject<N>::connectPropertyRemoved(const ReflectedObject& object,
                                                                zel::InlineConnection* storage,
                                                                const PropertyRangeSlot& slot, int priority) {
    return connect(s_propertyRemoved, object, storage, slot, priority);
}

template <int N>
void NotifyableMetaObject<N>::propertyAboutToBeAdded(const ReflectedObject& object, size_t index,
                                                     size_t count) {
    raise(s_propertyAboutToBeAdded, object, index, count);
}

template <int N>
void NotifyableMetaObject<N>::propertyAdded(const ReflectedObject& object, size_t index, size_t count) {
    raise(s_propertyAdded, object, index, count);
}

template <int N>
void NotifyableMetaObject<N>::propertyAboutToBeRemoved(const ReflectedObject& object, size_t index,
                                                       size_t count) {
    raise(s_propertyAboutToBeRemoved, object, index, count);
}

template <int N>
void NotifyableMetaObject<N>::propertyRemoved(const ReflectedObject& object, size_t index, size_t count) {
    raise(s_propertyRemoved, object, index, count);
}

template <int N>
void NotifyableMetaObject<N>::structureAboutToBeChanged(const ReflectedObject& object) {
    raise(s_structureAboutToBeChanged, object);
}

template <int N>
void NotifyableMetaObject<N>::structureChanged(const ReflectedObject& object) {
    raise(s_structureChanged, object);
}

template <int N>
void NotifyableMetaObject<N>::propertiesAboutToBeReset(const ReflectedObject& object) {
    raise(s_propertiesAboutToBeReset, object);
}

template <int N>
void NotifyableMetaObject<N>::propertiesReset(const ReflectedObject& object) {
    // Only the per-object dispatcher is profiled under its own name.
    std::optional<ZEL::Profiler::Scope> scope;
    if constexpr (N == 0)
        scope.emplace("orv::NotifyableMetaObject<0>::propertiesReset");
    raise(s_propertiesReset, object);
}

template class NotifyableMetaObject<0>;
template class NotifyableMetaObject<1>;

} // namespace orv
