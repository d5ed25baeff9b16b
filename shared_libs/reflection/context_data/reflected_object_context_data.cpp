#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"

namespace orv {

ReflectedObjectContextData::ReflectedObjectContextData(const ReflectedObject& object) { reset(object); }

ReflectedObjectContextData::~ReflectedObjectContextData() {
    // Stop listening before the slots go.
    m_propertiesResetConnection.disconnect();
    m_propertyAddedConnection.disconnect();
    m_propertyAboutToBeRemovedConnection.disconnect();
    destroySlots();
}

void ReflectedObjectContextData::reset(const ReflectedObject& object) {
    propertiesReset(object.propertyCount());
    m_statelessMode.reset();
    for (zel::InlineConnection* connection :
         {&m_propertiesResetConnection, &m_propertyAddedConnection, &m_propertyAboutToBeRemovedConnection})
        if (connection->connected())
            connection->disconnect();
    object.connectPropertiesReset(
        &m_propertiesResetConnection,
        [this](const ReflectedObject& changed) { propertiesReset(changed.propertyCount()); }, -100);
    object.connectPropertyAdded(
        &m_propertyAddedConnection, [this](size_t index, size_t count) { propertyAdded(index, count); },
        -100);
    object.connectPropertyAboutToBeRemoved(
        &m_propertyAboutToBeRemovedConnection,
        [this](size_t index, size_t count) { propertyAboutToBeRemoved(index, count); }, 100);
}

BoundPropertyContextData* ReflectedObjectContextData::propertyContextData(size_t index,
                                                                          const BoundProperty& property) {
    if (index >= m_propertiesContextData.size()) {
        Kor::warningMessage("%s : property '%s' index %zi out of bounds [0, %zi)",
                            "orv::ReflectedObjectContextData::propertyContextData", property.name().c_str(),
                            index, m_propertiesContextData.size());
        return nullptr;
    }
    const auto& slot = m_propertiesContextData[index];
    if (BoundPropertyContextData* current = slot.get())
        return current;
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|BoundPropertyContextData");
    return &slot.getOrCreate(property);
}

void ReflectedObjectContextData::destroySlots() {
    for (auto& slot : m_propertiesContextData)
        slot.reset();
}

void ReflectedObjectContextData::propertiesReset(size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|List");
    destroySlots();
    // Slots cannot be moved: a fresh vector of empty ones.
    std::vector<zel::lazy_owner_details::LazyOwner<BoundPropertyContextData>> slots(count);
    m_propertiesContextData.swap(slots);
}

void ReflectedObjectContextData::propertyAdded(size_t index, size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|List");
    const size_t oldSize = m_propertiesContextData.size();
    const size_t newSize = oldSize + count;
    const bool grows = KOR_VERIFY(newSize >= oldSize); // both are reported
    if (!KOR_VERIFY(index <= oldSize) || !grows)
        return;
    std::vector<zel::lazy_owner_details::LazyOwner<BoundPropertyContextData>> slots(newSize);
    for (size_t i = 0; i < oldSize; ++i)
        slots[i < index ? i : i + count].reset(m_propertiesContextData[i].release());
    m_propertiesContextData.swap(slots);
}

void ReflectedObjectContextData::propertyAboutToBeRemoved(size_t index, size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|List");
    const size_t size = m_propertiesContextData.size();
    if (!KOR_VERIFY(index + count <= m_propertiesContextData.size()))
        return;
    std::vector<zel::lazy_owner_details::LazyOwner<BoundPropertyContextData>> slots(size - count);
    for (size_t i = 0; i < size; ++i) {
        if (i < index)
            slots[i].reset(m_propertiesContextData[i].release());
        else if (i >= index + count)
            slots[i - count].reset(m_propertiesContextData[i].release());
        else
            m_propertiesContextData[i].reset();
    }
    m_propertiesContextData.swap(slots);
}

ReflectedObjectReference::ReflectedObjectReference(const ReflectedObject& object,
                                                   const BoundProperty& reference)
    : m_reference(reference) {
    if (BoundPropertyContextData* holder = reference.contextData();
        holder && object.get() == reference.get()) {
        m_objectContextData = holder->objectContextData(object);
    } else {
        ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
        m_objectContextData = std::make_shared<ReflectedObjectContextData>(object);
    }
}

} // namespace orv
