#pragma once
// Per-property cache behind BoundProperty handles: what the handle derives
// from annotations, and the context of the object currently stored in the
// property. Cleared by the property's own change notifications.

#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace orv {

class ReflectedObjectContextData;

class BoundPropertyContextData {
public:
    explicit BoundPropertyContextData(const BoundProperty& property);
    BoundPropertyContextData(const BoundPropertyContextData&) = delete;
    BoundPropertyContextData& operator=(const BoundPropertyContextData&) = delete;
    ~BoundPropertyContextData();

    // The context shared by every object built for the value the property
    // holds now; created on first use.
    std::shared_ptr<ReflectedObjectContextData> objectContextData(const ReflectedObject& object);

    // Cached derived values; the mutex guards readers that fill them. It is
    // recursive because computing one value (the stateless mode) reads
    // another (the annotations) and runs user callables that may read more.
    std::recursive_mutex& mutex() const noexcept { return m_mutex; }
    std::optional<Annotations>& annotations() noexcept { return m_annotations; }
    std::optional<ReduceMapFactory>& reduceMapFactory() noexcept { return m_reduceMapFactory; }
    std::optional<Validator>& validator() noexcept { return m_validator; }
    std::optional<Meta::Stateless::Mode>& statelessMode() noexcept { return m_statelessMode; }
    // Set once the cached annotations turned out blank: the property then has
    // no validator, hooks or dependents of its own, which the write path can
    // tell without taking the lock.
    bool annotationsBlank() const noexcept { return m_annotationsBlank.load(std::memory_order_acquire); }
    void setAnnotationsBlank(bool blank) noexcept {
        m_annotationsBlank.store(blank, std::memory_order_release);
    }

private:
    void propertyChanged(NotifyFlags flags);

    std::shared_ptr<ReflectedObjectContextData> m_objectContextData;
    // Whether m_objectContextData may be set: atomic shared_ptr operations
    // take a lock, and most value changes find nothing to drop.
    std::atomic<bool> m_hasObjectContextData{false};
    std::atomic<bool> m_annotationsBlank{false};
    mutable std::recursive_mutex m_mutex;
    std::optional<Annotations> m_annotations;
    std::optional<ReduceMapFactory> m_reduceMapFactory;
    std::optional<Validator> m_validator;
    std::optional<Meta::Stateless::Mode> m_statelessMode;
    zel::InlineConnection m_changeConnection;
};

} // namespace orv
