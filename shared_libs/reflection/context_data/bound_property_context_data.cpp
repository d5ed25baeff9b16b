#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"

namespace orv {

BoundPropertyContextData::BoundPropertyContextData(const BoundProperty& property) {
    property.connectPropertyChanged(
        &m_changeConnection, [this](NotifyFlags flags) { propertyChanged(flags); }, -100);
}

BoundPropertyContextData::~BoundPropertyContextData() { m_changeConnection.disconnect(); }

std::shared_ptr<ReflectedObjectContextData> BoundPropertyContextData::objectContextData(
    const ReflectedObject& object) {
    std::shared_ptr<ReflectedObjectContextData> result = std::atomic_load(&m_objectContextData);
    if (result)
        return result;
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
    auto created = std::make_shared<ReflectedObjectContextData>(object);
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
    if (flags.test(NotifyFlag::Value) && m_hasObjectContextData.exchange(false, std::memory_order_acq_rel))
        if (const auto held =
                std::atomic_exchange(&m_objectContextData, std::shared_ptr<ReflectedObjectContextData>()))
            held->resetAnnotationsCache();
}

} // namespace orv
