#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"
#include "shared_libs/reflection/details/notify_stack.hpp"
#include "shared_libs/reflection/meta_property.hpp"

namespace orv {

std::shared_ptr<BoundPropertyContextData> BoundPropertyContextData::create(const BoundProperty& property) {
    const std::shared_ptr<MetaProperty> meta = property.metaProperty();
    auto context = std::make_shared<BoundPropertyContextData>(PrivateTag{}, meta);
    context->m_self = context;
    // Properties with per-instance data listen at once, as connecting is where
    // missing data is reported; the others, whose listener goes into a
    // per-object map, connect when the cache first holds something.
    if (meta && meta->hasData())
        context->connectChangeListener(property);
    return context;
}

void BoundPropertyContextData::connectChangeListener(const BoundProperty& property) {
    const std::lock_guard lock(m_holdMutex);
    // A retired cache is done listening; connecting now would keep it alive.
    if (m_following.load(std::memory_order_relaxed) || m_retired.load(std::memory_order_acquire))
        return;
    // The listener holds the cache: a change being delivered on one thread
    // keeps it alive while another drops the handles that led to it. It is
    // passive while the cache holds no object context: a value change then
    // changes nothing here, and writes need not be announced for it.
    std::shared_ptr<BoundPropertyContextData> self = shared_from_this();
    m_changeConnection = property.connectPropertyChanged(
        nullptr, [self = std::move(self)](NotifyFlags flags) { self->propertyChanged(flags); }, -100);
    m_changeConnection.setPassive(true);
    m_following.store(true, std::memory_order_release);
}

BoundPropertyContextData::BoundPropertyContextData(PrivateTag,
                                                   const std::shared_ptr<MetaProperty>& metaProperty)
    : m_metaProperty(metaProperty) {}

BoundPropertyContextData::~BoundPropertyContextData() = default;

void BoundPropertyContextData::retire() {
    // Kept alive until the end: disconnecting may release the listener's hold.
    const std::shared_ptr<BoundPropertyContextData> self = std::move(m_self);
    zel::Connection listener;
    {
        // A reader on another thread may be connecting the listener right now.
        const std::lock_guard lock(m_holdMutex);
        m_retired.store(true, std::memory_order_release);
        listener = std::move(m_changeConnection);
    }
    listener.disconnect();
    dropObjectContextData();
}

std::shared_ptr<ReflectedObjectContextData> BoundPropertyContextData::objectContextData(
    const ReflectedObject& object, const BoundProperty& property) {
    // The flag spares the atomic shared_ptr load, which takes a lock, while
    // nothing is held (every first handle of a nested object).
    if (m_hasObjectContextData.load(std::memory_order_acquire))
        if (std::shared_ptr<ReflectedObjectContextData> held = std::atomic_load(&m_objectContextData))
            return held;
    // The context is made for the current value: a change must drop it.
    followChanges(property);
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
    std::shared_ptr<ReflectedObjectContextData> created = ReflectedObjectContextData::create(object);
    std::shared_ptr<ReflectedObjectContextData> result;
    {
        const std::lock_guard lock(m_holdMutex);
        // The flag and the pointer change together under this lock.
        if (m_hasObjectContextData.load(std::memory_order_relaxed))
            result = std::atomic_load(&m_objectContextData);
        // A losing creator adopts the installed context and drops its own
        // (after the lock: dropping disconnects).
        if (!result) {
            // Listening before the context is published: a write that found
            // nobody listening holds no context it would have had to drop.
            notify_scope_details::listenerAppears();
            m_changeConnection.setPassive(false);
            m_hasObjectContextData.store(true, std::memory_order_release);
            std::atomic_store(&m_objectContextData, created);
            result = std::move(created);
        }
    }
    KOR_ASSERT(result);
    return result;
}

void BoundPropertyContextData::propertyChanged(NotifyFlags flags) {
    if (flags.test(NotifyFlag::Child))
        return;
    if (flags.test(NotifyFlag::Sources)) {
        {
            const std::lock_guard lock(m_mutex);
            m_annotations.reset();
            m_reduceMapFactory.reset();
            m_validator.reset();
            m_statelessMode.reset();
            m_traits.store(0, std::memory_order_release);
        }
        if (const auto held = std::atomic_load(&m_objectContextData))
            held->resetAnnotationsCache();
    }
    if (flags.test(NotifyFlag::Value))
        dropObjectContextData();
}

void BoundPropertyContextData::dropObjectContextData() {
    if (!m_hasObjectContextData.load(std::memory_order_acquire))
        return;
    std::shared_ptr<ReflectedObjectContextData> held;
    {
        const std::lock_guard lock(m_holdMutex);
        m_hasObjectContextData.store(false, std::memory_order_release);
        held = std::atomic_exchange(&m_objectContextData, std::shared_ptr<ReflectedObjectContextData>());
        m_changeConnection.setPassive(true);
    }
    if (held)
        held->resetAnnotationsCache();
}

} // namespace orv
