#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"

namespace orv {

std::shared_ptr<BoundPropertyContextData> BoundPropertyContextData::create(const BoundProperty& property) {
    auto context = std::make_shared<BoundPropertyContextData>(PrivateTag{}, property.metaProperty());
    context->m_self = context;
    // The listener holds the cache: a change being delivered on one thread
    // keeps it alive while another drops the handles that led to it.
    context->m_changeConnection = property.connectPropertyChanged(
        nullptr, [context](NotifyFlags flags) { context->propertyChanged(flags); }, -100);
    return context;
}

BoundPropertyContextData::BoundPropertyContextData(PrivateTag,
                                                   const std::shared_ptr<MetaProperty>& metaProperty)
    : m_metaProperty(metaProperty) {}

BoundPropertyContextData::~BoundPropertyContextData() = default;

void BoundPropertyContextData::retire() {
    // Kept alive until the end: disconnecting may release the listener's hold.
    const std::shared_ptr<BoundPropertyContextData> self = std::move(m_self);
    m_retired.store(true, std::memory_order_release);
    m_changeConnection.disconnect();
    dropObjectContextData();
}

std::shared_ptr<ReflectedObjectContextData> BoundPropertyContextData::objectContextData(
    const ReflectedObject& object) {
    std::shared_ptr<ReflectedObjectContextData> result = std::atomic_load(&m_objectContextData);
    if (result)
        return result;
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
    std::shared_ptr<ReflectedObjectContextData> created = ReflectedObjectContextData::create(object);
    // A losing creator adopts the installed context and drops its own.
    std::shared_ptr<ReflectedObjectContextData> installed;
    m_hasObjectContextData.store(true, std::memory_order_release);
    if (std::atomic_compare_exchange_strong(&m_objectContextData, &installed, created))
        result = std::move(created);
    else
        result = std::move(installed);
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
            m_annotationsBlank.store(false, std::memory_order_release);
        }
        if (const auto held = std::atomic_load(&m_objectContextData))
            held->resetAnnotationsCache();
    }
    if (flags.test(NotifyFlag::Value))
        dropObjectContextData();
}

void BoundPropertyContextData::dropObjectContextData() {
    if (!m_hasObjectContextData.exchange(false, std::memory_order_acq_rel))
        return;
    if (const auto held =
            std::atomic_exchange(&m_objectContextData, std::shared_ptr<ReflectedObjectContextData>()))
        held->resetAnnotationsCache();
}

} // namespace orv
