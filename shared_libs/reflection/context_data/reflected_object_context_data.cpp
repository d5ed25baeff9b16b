#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"

#include <algorithm>

namespace orv {

namespace {

// A slot calling `member` on the context if it still lives: it refers to the
// context weakly. (A weak reference is not trivially copyable, so
// std::function keeps this slot on the heap.)
template <auto member>
struct WhileAlive;

template <class... Args, void (ReflectedObjectContextData::*member)(Args...)>
struct WhileAlive<member> {
    std::weak_ptr<ReflectedObjectContextData> context;
    void operator()(Args... args) const {
        if (const std::shared_ptr<ReflectedObjectContextData> alive = context.lock())
            ((*alive).*member)(args...);
    }
};

} // namespace

std::shared_ptr<ReflectedObjectContextData> ReflectedObjectContextData::create(
    const ReflectedObject& object) {
    auto context = std::make_shared<ReflectedObjectContextData>(PrivateTag{});
    context->reset(object);
    return context;
}

ReflectedObjectContextData::~ReflectedObjectContextData() {
    // Stop listening before the slots go.
    m_propertiesResetConnection.disconnect();
    m_propertyAddedConnection.disconnect();
    m_propertyAboutToBeRemovedConnection.disconnect();
    m_propertiesContextData.reset(0);
}

void ReflectedObjectContextData::reset(const ReflectedObject& object) {
    propertiesReset(object.propertyCount());
    resetAnnotationsCache();
    const std::weak_ptr<ReflectedObjectContextData> self = weak_from_this();
    m_propertiesResetConnection = object.connectPropertiesReset(
        nullptr, WhileAlive<&ReflectedObjectContextData::objectReset>{self}, -100);
    m_propertyAddedConnection = object.connectPropertyAdded(
        nullptr, WhileAlive<&ReflectedObjectContextData::propertyAdded>{self}, -100);
    m_propertyAboutToBeRemovedConnection = object.connectPropertyAboutToBeRemoved(
        nullptr, WhileAlive<&ReflectedObjectContextData::propertyAboutToBeRemoved>{self}, 100);
}

std::optional<Meta::Stateless::Mode> ReflectedObjectContextData::statelessMode() const noexcept {
    const int8_t mode = m_statelessMode.load(std::memory_order_acquire);
    return mode == NO_MODE ? std::nullopt : std::optional(static_cast<Meta::Stateless::Mode>(mode));
}

void ReflectedObjectContextData::setStatelessMode(Meta::Stateless::Mode mode) noexcept {
    m_statelessMode.store(static_cast<int8_t>(mode), std::memory_order_release);
}

BoundPropertyContextData* ReflectedObjectContextData::propertyContextData(size_t index,
                                                                          const BoundProperty& property) {
    if (index >= m_propertiesContextData.size()) {
        Kor::warningMessage("%s : property '%s' index %zi out of bounds [0, %zi)",
                            "orv::ReflectedObjectContextData::propertyContextData", property.name().c_str(),
                            index, m_propertiesContextData.size());
        return nullptr;
    }
    const Slot& slot = m_propertiesContextData[index];
    if (BoundPropertyContextData* current = slot.get())
        return current;
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|BoundPropertyContextData");
    // The cache owns itself (through its listener) until it is retired.
    return &slot.getOrCreateWith([&] { return BoundPropertyContextData::create(property).get(); });
}

void ReflectedObjectContextData::Retire::operator()(BoundPropertyContextData* context) const {
    context->retire();
}

void ReflectedObjectContextData::SlotList::reserve(size_t capacity) {
    if (capacity <= m_capacity)
        return;
    auto slots = std::make_unique<Slot[]>(capacity);
    for (size_t i = 0; i < m_size; ++i)
        slots[i].reset(m_slots[i].release());
    m_slots = std::move(slots);
    m_capacity = capacity;
}

void ReflectedObjectContextData::SlotList::reset(size_t count) {
    for (size_t i = 0; i < m_size; ++i)
        m_slots[i].reset();
    m_size = 0;
    reserve(count);
    m_size = count;
}

void ReflectedObjectContextData::SlotList::insert(size_t index, size_t count) {
    const size_t oldSize = m_size;
    if (oldSize + count > m_capacity)
        reserve(std::max(oldSize + count, 2 * m_capacity));
    for (size_t i = oldSize; i-- > index;)
        m_slots[i + count].reset(m_slots[i].release());
    m_size = oldSize + count;
}

void ReflectedObjectContextData::SlotList::erase(size_t index, size_t count) {
    for (size_t i = index; i < index + count; ++i)
        m_slots[i].reset();
    for (size_t i = index + count; i < m_size; ++i)
        m_slots[i - count].reset(m_slots[i].release());
    m_size -= count;
}

void ReflectedObjectContextData::objectReset(const ReflectedObject& object) {
    propertiesReset(object.propertyCount());
}

void ReflectedObjectContextData::propertiesReset(size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|List");
    m_propertiesContextData.reset(count);
}

void ReflectedObjectContextData::propertyAdded(size_t index, size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|List");
    const size_t oldSize = m_propertiesContextData.size();
    const size_t newSize = oldSize + count;
    const bool grows = KOR_VERIFY(newSize >= oldSize); // both are reported
    if (!KOR_VERIFY(index <= oldSize) || !grows)
        return;
    m_propertiesContextData.insert(index, count);
}

void ReflectedObjectContextData::propertyAboutToBeRemoved(size_t index, size_t count) {
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData|List");
    if (!KOR_VERIFY(index + count <= m_propertiesContextData.size()))
        return;
    m_propertiesContextData.erase(index, count);
}

ReflectedObjectReference::ReflectedObjectReference(const ReflectedObject& object,
                                                   const BoundProperty& reference)
    : m_reference(reference) {
    if (BoundPropertyContextData* holder = reference.contextData();
        holder && object.get() == reference.get()) {
        m_objectContextData = holder->objectContextData(object, reference);
    } else {
        ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
        m_objectContextData = ReflectedObjectContextData::create(object);
    }
}

} // namespace orv
