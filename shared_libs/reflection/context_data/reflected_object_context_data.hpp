#pragma once
// Per-object cache behind ReflectedObject handles: one property cache slot
// per property index, kept in step with the object's structure signals, and
// the object's stateless mode once computed.

#include "orv_cpp_utils/details/lazy_owner.hpp"
#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

namespace orv {

class BoundPropertyContextData;

class ReflectedObjectContextData {
public:
    explicit ReflectedObjectContextData(const ReflectedObject& object);
    ReflectedObjectContextData(const ReflectedObjectContextData&) = delete;
    ReflectedObjectContextData& operator=(const ReflectedObjectContextData&) = delete;
    ~ReflectedObjectContextData();

    // Rebuilds the slots for `object` and (re)connects to its structure signals.
    void reset(const ReflectedObject& object);
    // The cache of property `index`, created on first use; null (reported)
    // when the index is out of bounds.
    BoundPropertyContextData* propertyContextData(size_t index, const BoundProperty& property);
    size_t slotCount() const noexcept { return m_propertiesContextData.size(); }

    const std::optional<Meta::Stateless::Mode>& statelessMode() const noexcept { return m_statelessMode; }
    void setStatelessMode(Meta::Stateless::Mode mode) { m_statelessMode = mode; }
    // Forgets the object's stateless mode; property caches are not touched.
    void resetAnnotationsCache() { m_statelessMode.reset(); }

private:
    void propertiesReset(size_t count);
    void propertyAdded(size_t index, size_t count);
    void propertyAboutToBeRemoved(size_t index, size_t count);
    void destroySlots();

    // One per property index, each made on first use.
    std::vector<zel::lazy_owner_details::LazyOwner<BoundPropertyContextData>> m_propertiesContextData;
    std::optional<Meta::Stateless::Mode> m_statelessMode;
    zel::InlineConnection m_propertiesResetConnection;
    zel::InlineConnection m_propertyAddedConnection;
    zel::InlineConnection m_propertyAboutToBeRemovedConnection;
};

// An object together with the property that holds it. Objects built from
// the value currently stored in a property share one context.
class ReflectedObjectReference {
public:
    ReflectedObjectReference(const ReflectedObject& object, const BoundProperty& reference);
    ReflectedObjectReference(const ReflectedObjectReference&) = default;
    ReflectedObjectReference& operator=(const ReflectedObjectReference&) = default;

    const BoundProperty& reference() const noexcept { return m_reference; }
    ReflectedObjectContextData* objectContextData() const noexcept { return m_objectContextData.get(); }

private:
    BoundProperty m_reference;
    std::shared_ptr<ReflectedObjectContextData> m_objectContextData;
};

} // namespace orv
