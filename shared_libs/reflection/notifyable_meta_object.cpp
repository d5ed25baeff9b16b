#include "shared_libs/reflection/notifyable_meta_object.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/variant.hpp"
#include "platform/variant/variant_converter.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

namespace orv {

// --- per object ---

NotifyableMetaObject<0>::~NotifyableMetaObject() = default;

std::shared_ptr<ObjectData> NotifyableMetaObject<0>::objectData(const tavi::Variant&) { return {}; }

void NotifyableMetaObject<0>::propertyAboutToBeAdded(const ReflectedObject& object, size_t index,
                                                     size_t count) {
    m_propertyAboutToBeAdded.emit(objectIdentity(object), object, index, count);
}

void NotifyableMetaObject<0>::propertyAdded(const ReflectedObject& object, size_t index, size_t count) {
    m_propertyAdded.emit(objectIdentity(object), object, index, count);
}

void NotifyableMetaObject<0>::propertyAboutToBeRemoved(const ReflectedObject& object, size_t index,
                                                       size_t count) {
    m_propertyAboutToBeRemoved.emit(objectIdentity(object), object, index, count);
}

void NotifyableMetaObject<0>::propertyRemoved(const ReflectedObject& object, size_t index, size_t count) {
    m_propertyRemoved.emit(objectIdentity(object), object, index, count);
}

zel::Connection NotifyableMetaObject<0>::connectObjectDeleted(const ReflectedObject&, zel::InlineConnection*,
                                                              const ObjectDeletedSlot&, int) {
    return {};
}

zel::Connection NotifyableMetaObject<0>::connectStructureAboutToBeChanged(const ReflectedObject& object,
                                                                          zel::InlineConnection* storage,
                                                                          const ObjectSlot& slot,
                                                                          int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|StructureAboutToBeChanged");
    return m_structureAboutToBeChanged.connect(objectIdentity(object), "checked structureAboutToBeChanged",
                                               storage, slot, priority);
}

zel::Connection NotifyableMetaObject<0>::connectStructureChanged(const ReflectedObject& object,
                                                                 zel::InlineConnection* storage,
                                                                 const ObjectSlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|StructureChanged");
    return m_structureChanged.connect(objectIdentity(object), "checked structureChanged", storage, slot,
                                      priority);
}

zel::Connection NotifyableMetaObject<0>::connectPropertiesAboutToBeReset(const ReflectedObject& object,
                                                                         zel::InlineConnection* storage,
                                                                         const ObjectSlot& slot,
                                                                         int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|PropertiesAboutToBeReset");
    return m_propertiesAboutToBeReset.connect(objectIdentity(object), "checked propertiesAboutToBeReset",
                                              storage, slot, priority);
}

zel::Connection NotifyableMetaObject<0>::connectPropertiesReset(const ReflectedObject& object,
                                                                zel::InlineConnection* storage,
                                                                const ObjectSlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|PropertiesReset");
    return m_propertiesReset.connect(objectIdentity(object), "checked propertiesReset", storage, slot,
                                     priority);
}

zel::Connection NotifyableMetaObject<0>::connectPropertyAboutToBeAdded(const ReflectedObject& object,
                                                                       zel::InlineConnection* storage,
                                                                       const PropertyRangeSlot& slot,
                                                                       int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|PropertyAboutToBeAdded");
    return m_propertyAboutToBeAdded.connect(objectIdentity(object), "checked propertyAboutToBeAdded", storage,
                                            slot, priority);
}

zel::Connection NotifyableMetaObject<0>::connectPropertyAdded(const ReflectedObject& object,
                                                              zel::InlineConnection* storage,
                                                              const PropertyRangeSlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|PropertyAdded");
    return m_propertyAdded.connect(objectIdentity(object), "checked propertyAdded", storage, slot, priority);
}

zel::Connection NotifyableMetaObject<0>::connectPropertyAboutToBeRemoved(const ReflectedObject& object,
                                                                         zel::InlineConnection* storage,
                                                                         const PropertyRangeSlot& slot,
                                                                         int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|PropertyAboutToBeRemoved");
    return m_propertyAboutToBeRemoved.connect(objectIdentity(object), "checked propertyAboutToBeRemoved",
                                              storage, slot, priority);
}

zel::Connection NotifyableMetaObject<0>::connectPropertyRemoved(const ReflectedObject& object,
                                                                zel::InlineConnection* storage,
                                                                const PropertyRangeSlot& slot, int priority) {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaObject|Per Object|PropertyRemoved");
    return m_propertyRemoved.connect(objectIdentity(object), "checked propertyRemoved", storage, slot,
                                     priority);
}

void NotifyableMetaObject<0>::structureAboutToBeChanged(const ReflectedObject& object) {
    m_structureAboutToBeChanged.emit(objectIdentity(object), object);
}

void NotifyableMetaObject<0>::structureChanged(const ReflectedObject& object) {
    m_structureChanged.emit(objectIdentity(object), object);
}

void NotifyableMetaObject<0>::propertiesAboutToBeReset(const ReflectedObject& object) {
    m_propertiesAboutToBeReset.emit(objectIdentity(object), object);
}

void NotifyableMetaObject<0>::propertiesReset(const ReflectedObject& object) {
    ZEL::Profiler::Scope scope("orv::NotifyableMetaObject<0>::propertiesReset");
    m_propertiesReset.emit(objectIdentity(object), object);
}

// --- object data ---

namespace {

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

NotifyableMetaObject<1>::~NotifyableMetaObject() = default;

void NotifyableMetaObject<1>::propertyAboutToBeAdded(const ReflectedObject& object, size_t index,
                                                     size_t count) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::propertyAboutToBeAdded"))
        data->propertyAboutToBeAdded(object, index, count);
}

void NotifyableMetaObject<1>::propertyAdded(const ReflectedObject& object, size_t index, size_t count) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::propertyAdded"))
        data->propertyAdded(object, index, count);
}

void NotifyableMetaObject<1>::propertyAboutToBeRemoved(const ReflectedObject& object, size_t index,
                                                       size_t count) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::propertyAboutToBeRemoved"))
        data->propertyAboutToBeRemoved(object, index, count);
}

void NotifyableMetaObject<1>::propertyRemoved(const ReflectedObject& object, size_t index, size_t count) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::propertyRemoved"))
        data->propertyRemoved(object, index, count);
}

zel::Connection NotifyableMetaObject<1>::connectObjectDeleted(const ReflectedObject& object,
                                                              zel::InlineConnection* storage,
                                                              const ObjectDeletedSlot& slot, int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectObjectDeleted");
    return data ? data->connectObjectDeleted(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectStructureAboutToBeChanged(const ReflectedObject& object,
                                                                          zel::InlineConnection* storage,
                                                                          const ObjectSlot& slot,
                                                                          int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectStructureAboutToBeChanged");
    return data ? data->connectStructureAboutToBeChanged(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectStructureChanged(const ReflectedObject& object,
                                                                 zel::InlineConnection* storage,
                                                                 const ObjectSlot& slot, int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectStructureChanged");
    return data ? data->connectStructureChanged(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectPropertiesAboutToBeReset(const ReflectedObject& object,
                                                                         zel::InlineConnection* storage,
                                                                         const ObjectSlot& slot,
                                                                         int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectPropertiesAboutToBeReset");
    return data ? data->connectPropertiesAboutToBeReset(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectPropertiesReset(const ReflectedObject& object,
                                                                zel::InlineConnection* storage,
                                                                const ObjectSlot& slot, int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectPropertiesReset");
    return data ? data->connectPropertiesReset(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectPropertyAboutToBeAdded(const ReflectedObject& object,
                                                                       zel::InlineConnection* storage,
                                                                       const PropertyRangeSlot& slot,
                                                                       int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectPropertyAboutToBeAdded");
    return data ? data->connectPropertyAboutToBeAdded(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectPropertyAdded(const ReflectedObject& object,
                                                              zel::InlineConnection* storage,
                                                              const PropertyRangeSlot& slot, int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectPropertyAdded");
    return data ? data->connectPropertyAdded(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectPropertyAboutToBeRemoved(const ReflectedObject& object,
                                                                         zel::InlineConnection* storage,
                                                                         const PropertyRangeSlot& slot,
                                                                         int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectPropertyAboutToBeRemoved");
    return data ? data->connectPropertyAboutToBeRemoved(storage, slot, priority) : zel::Connection();
}

zel::Connection NotifyableMetaObject<1>::connectPropertyRemoved(const ReflectedObject& object,
                                                                zel::InlineConnection* storage,
                                                                const PropertyRangeSlot& slot, int priority) {
    const ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::connectPropertyRemoved");
    return data ? data->connectPropertyRemoved(storage, slot, priority) : zel::Connection();
}

void NotifyableMetaObject<1>::structureAboutToBeChanged(const ReflectedObject& object) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::structureAboutToBeChanged"))
        data->structureAboutToBeChanged(object);
}

void NotifyableMetaObject<1>::structureChanged(const ReflectedObject& object) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::structureChanged"))
        data->structureChanged(object);
}

void NotifyableMetaObject<1>::propertiesAboutToBeReset(const ReflectedObject& object) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::propertiesAboutToBeReset"))
        data->propertiesAboutToBeReset(object);
}

void NotifyableMetaObject<1>::propertiesReset(const ReflectedObject& object) {
    if (ObjectData* data = dataOf(object, "orv::NotifyableMetaObject<1>::propertiesReset"))
        data->propertiesReset(object);
}

} // namespace orv
