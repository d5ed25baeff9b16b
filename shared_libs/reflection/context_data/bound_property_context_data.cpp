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
    std::shared_ptr<ReflectedObjectContextData> current = std::atomic_load(&m_objectContextData);
    if (current)
        return current;
    ZEL::Profiler::Scope scope("Reflection|ContextData|ReflectedObjectContextData");
    auto created = std::make_shared<ReflectedObjectContextData>(object);
    std::shared_ptr<ReflectedObjectContextData> expected;
    if (std::atomic_compare_exchange_strong(&m_objectContextData, &expected, created))
        current = std::move(created);
    else
        current = std::move(expected);
    KOR_ASSERT(current);
    return current;
}

void BoundPropertyContextData::propertyChanged(NotifyFlags flags) {
    if (flags.test(NotifyFlag::Child))
        return;
    if (flags.test(NotifyFlag::Sources)) {
        m_annotations.reset();
        m_statelessMode.reset();
        if (const auto held = std::atomic_load(&m_objectContextData))
            held->resetAnnotationsCache();
    }
    if (flags.test(NotifyFlag::Value))
        if (const auto held = std::atomic_exchange(&m_objectContextData, std::shared_ptr<ReflectedObjectContextData>()))
            held->resetAnnotationsCache();
}

} // namespace orv
