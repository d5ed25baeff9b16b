#pragma once
// Per-object cache behind ReflectedObject handles: one property cache slot
// per property index, kept in step with the object's structure signals, and
// the object's stateless mode once computed.
//
// Threads: handles may be made, read and dropped on any thread while the
// editor thread changes values. A context is therefore made through create()
// and listens to its object's structure signals through ordinary connections
// that refer to it weakly: the last handle may go on one thread while an
// emission on another is about to call it, and that emission then finds it
// gone and moves on. Structure changes themselves (adding, removing,
// resetting properties) run on the thread that owns the object, with no other
// thread using its handles meanwhile.

#include "orv_cpp_utils/details/lazy_owner.hpp"
#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace orv {

class BoundPropertyContextData;

class ReflectedObjectContextData : public std::enable_shared_from_this<ReflectedObjectContextData> {
    struct PrivateTag {};

public:
    // Empty slots, no cached mode; then reset(object).
    static std::shared_ptr<ReflectedObjectContextData> create(const ReflectedObject& object);
    explicit ReflectedObjectContextData(PrivateTag) noexcept {}
    ReflectedObjectContextData(const ReflectedObjectContextData&) = delete;
    ReflectedObjectContextData& operator=(const ReflectedObjectContextData&) = delete;
    ~ReflectedObjectContextData();

    // Rebuilds the slots for `object` and (re)connects to its structure signals.
    void reset(const ReflectedObject& object);
    // The cache of property `index`, created on first use; null (reported)
    // when the index is out of bounds.
    BoundPropertyContextData* propertyContextData(size_t index, const BoundProperty& property);
    // The cache of property `index` if it exists; null otherwise, silently.
    BoundPropertyContextData* existingPropertyContextData(size_t index) const noexcept {
        return index < m_propertiesContextData.size() ? m_propertiesContextData[index].get() : nullptr;
    }
    size_t slotCount() const noexcept { return m_propertiesContextData.size(); }

    // The object's stateless mode once computed. Read and written by any
    // thread that reads through the object's handles.
    std::optional<Meta::Stateless::Mode> statelessMode() const noexcept;
    void setStatelessMode(Meta::Stateless::Mode mode) noexcept;
    // Forgets the object's stateless mode; property caches are not touched.
    void resetAnnotationsCache() noexcept { m_statelessMode.store(NO_MODE, std::memory_order_release); }

private:
    static constexpr int8_t NO_MODE = -1;

    // A slot lets go of its cache by retiring it: the cache's own listener
    // may still hold it for an emission running elsewhere.
    struct Retire {
        void operator()(BoundPropertyContextData* context) const;
    };
    using Slot = zel::lazy_owner_details::LazyOwner<BoundPropertyContextData, Retire>;

    // Slots are atomic and cannot move: an array grown geometrically whose
    // slots are shifted in place, so that adding or removing properties costs
    // the slots after them rather than a new array each time (emptying a
    // large collection one element at a time stays linear). Slots past the
    // size are always empty. The storage is kept when the list shrinks.
    class SlotList {
    public:
        [[nodiscard]] size_t size() const noexcept { return m_size; }
        const Slot& operator[](size_t index) const noexcept { return m_slots[index]; }
        // Destroys every slot in order, then holds `count` empty ones.
        void reset(size_t count);
        // `count` empty slots at `index`; the ones from `index` on move up.
        void insert(size_t index, size_t count);
        // Destroys the slots [index, index + count) in order; the ones above move down.
        void erase(size_t index, size_t count);

    private:
        void reserve(size_t capacity);

        std::unique_ptr<Slot[]> m_slots;
        size_t m_size = 0;
        size_t m_capacity = 0;
    };

    void objectReset(const ReflectedObject& object);
    void propertiesReset(size_t count);
    void propertyAdded(size_t index, size_t count);
    void propertyAboutToBeRemoved(size_t index, size_t count);

    // One per property index, each made on first use.
    SlotList m_propertiesContextData;
    std::atomic<int8_t> m_statelessMode{NO_MODE};
    zel::ScopedConnection m_propertiesResetConnection;
    zel::ScopedConnection m_propertyAddedConnection;
    zel::ScopedConnection m_propertyAboutToBeRemovedConnection;
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
