#pragma once
// Per-property cache behind BoundProperty handles: what the handle derives
// from annotations, and the context of the object currently stored in the
// property. Cleared by the property's own change notifications.
//
// Lifetime: the slot of the object's context that holds it, and its own
// change listener, share it. The object's context lets go when the property
// is removed or the properties are reset (retire()); the listener lets go
// when it is disconnected, which an emission running on another thread may
// put off until it has called it. Handles of properties without per-instance
// data observe it weakly and turn invalid when it goes (see BoundProperty).

#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/annotation_traits.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace orv {

class ReflectedObjectContextData;

class BoundPropertyContextData : public std::enable_shared_from_this<BoundPropertyContextData> {
    struct PrivateTag {};

public:
    // A cache for `property`, owning itself until retire(): the object's
    // context keeps only its address. It starts listening to the property's
    // changes when it first holds something a change must clear (see
    // followChanges()).
    static std::shared_ptr<BoundPropertyContextData> create(const BoundProperty& property);
    BoundPropertyContextData(PrivateTag, const std::shared_ptr<MetaProperty>& metaProperty);
    BoundPropertyContextData(const BoundPropertyContextData&) = delete;
    BoundPropertyContextData& operator=(const BoundPropertyContextData&) = delete;
    ~BoundPropertyContextData();

    // Its slot has gone: stops listening, drops the held object's context
    // and lets go of itself. Called once, by the owning object context.
    void retire();
    // The property's description, while the slot holds this cache and the
    // description lives; null otherwise. Inline: every read asks.
    std::shared_ptr<MetaProperty> metaProperty() const {
        return m_retired.load(std::memory_order_acquire) ? nullptr : m_metaProperty.lock();
    }
    // Whether metaProperty() would give one, without taking a reference.
    // Forced inline: handles without per-instance data ask on every read.
    [[gnu::always_inline]] bool describesProperty() const noexcept {
        return !m_retired.load(std::memory_order_acquire) && !m_metaProperty.expired();
    }

    // The context shared by every object built for the value the property
    // (`property`, a handle of this cache) holds now; created on first use.
    std::shared_ptr<ReflectedObjectContextData> objectContextData(const ReflectedObject& object,
                                                                  const BoundProperty& property);

    // Connects the change listener through `property` (a handle of this
    // cache) unless it is connected already or the cache is retired. Called
    // before a derived value is first cached: until then a change has nothing
    // here to clear, and a handle that is only read through (a document being
    // written, say) never pays for a connection. Inline: every cached read asks.
    void followChanges(const BoundProperty& property) {
        if (!m_following.load(std::memory_order_acquire))
            connectChangeListener(property);
    }

    // Cached derived values; the mutex guards readers that fill them. It is
    // recursive because computing one value (the stateless mode) reads
    // another (the annotations) and runs user callables that may read more.
    std::recursive_mutex& mutex() const noexcept { return m_mutex; }
    std::optional<Annotations>& annotations() noexcept { return m_annotations; }
    std::optional<ReduceMapFactory>& reduceMapFactory() noexcept { return m_reduceMapFactory; }
    // Shared, so that a write calls it without copying the function.
    std::optional<std::shared_ptr<const Validator>>& validator() noexcept { return m_validator; }
    std::optional<Meta::Stateless::Mode>& statelessMode() noexcept { return m_statelessMode; }
    // What the cached annotations hold that the write and call paths ask
    // about, readable without the lock; AnnotationTraits::Known is clear
    // while the annotations are not cached.
    bound_property_details::AnnotationTraits traits() const noexcept {
        return bound_property_details::AnnotationTraits(m_traits.load(std::memory_order_acquire));
    }
    void setTraits(bound_property_details::AnnotationTraits traits) noexcept {
        m_traits.store(traits.value(), std::memory_order_release);
    }

    // The held object's context is made for the property's current value, so
    // the cache must hear of value changes while it holds one: only then is
    // its change listener counted as a listener of the property.
    bool holdsObjectContextData() const noexcept {
        return m_hasObjectContextData.load(std::memory_order_acquire);
    }

private:
    void connectChangeListener(const BoundProperty& property);
    void propertyChanged(NotifyFlags flags);
    void dropObjectContextData();

    std::shared_ptr<ReflectedObjectContextData> m_objectContextData;
    // Whether m_objectContextData is set: atomic shared_ptr operations take
    // a lock, and most value changes find nothing to drop. Set and cleared
    // together with the listener's passivity, under m_holdMutex.
    std::atomic<bool> m_hasObjectContextData{false};
    std::mutex m_holdMutex;
    std::atomic<uint32_t> m_traits{0};
    std::atomic<bool> m_retired{false};
    // Whether the change listener has been connected; set under m_holdMutex.
    std::atomic<bool> m_following{false};
    const std::weak_ptr<MetaProperty> m_metaProperty;
    mutable std::recursive_mutex m_mutex;
    std::optional<Annotations> m_annotations;
    std::optional<ReduceMapFactory> m_reduceMapFactory;
    std::optional<std::shared_ptr<const Validator>> m_validator;
    std::optional<Meta::Stateless::Mode> m_statelessMode;
    // The slot's hold on this cache, released by retire().
    std::shared_ptr<BoundPropertyContextData> m_self;
    // An ordinary connection rather than storage inside this object: its slot
    // keeps this cache alive, so an emission on another thread may finish
    // calling it after the slot has let go.
    zel::Connection m_changeConnection;
};

} // namespace orv
