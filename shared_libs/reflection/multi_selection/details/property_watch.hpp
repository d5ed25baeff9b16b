#pragma once
// Follows the change notifications of a set of properties and hands them to
// one callback.
//
// A property whose instance keeps per-instance data is followed through its
// own signals. The others are followed through the signal of their
// description, which every instance raises: one connection per description
// serves all watched instances of it, filtered by the instance's identity.
// A multi-selection watches thousands of properties of a few descriptions,
// and one connection per property would cost more than the rest of the
// merge.

#include "orv_cpp_utils/signal.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/multi_selection/details/identity_counts.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace orv::multi_selection_details {

class PropertyWatch {
public:
    enum class Event { AboutToChange, Changed };
    // What to follow: both events, or the announcements only.
    enum class Events { All, AboutToChange };
    using Callback = std::function<void(Event, const BoundProperty&, SetterFlags, NotifyFlags)>;

    explicit PropertyWatch(Callback callback);
    PropertyWatch(const PropertyWatch&) = delete;
    PropertyWatch& operator=(const PropertyWatch&) = delete;
    ~PropertyWatch();

    // Counted: a property added twice is followed until it is removed twice.
    // Invalid handles are ignored. The first addition of a property (or of
    // a description) decides which events it is followed for.
    void add(const BoundProperty& property, Events events = Events::All);
    // As add() for a property without per-instance data, of the instance
    // with this identity, when its description is followed already; false
    // (nothing added) when it is not.
    bool addInstance(const MetaProperty& description, const void* identity);
    void remove(const BoundProperty& property);
    // Forgets the property however often it was added.
    void removeAll(const BoundProperty& property);
    // Forgets every property of the instance with this identity (one that is
    // being destroyed: its handles are no longer valid).
    void removeInstance(const void* instance);
    void clear();

    [[nodiscard]] bool contains(const BoundProperty& property) const;
    [[nodiscard]] bool empty() const noexcept { return m_own.empty() && m_shared.empty(); }

private:
    // A property with per-instance data: its own two connections.
    struct Own {
        zel::ScopedConnection aboutToChange;
        zel::ScopedConnection changed;
        uint32_t count = 0;
    };
    // The watched instances of one description, behind one pair of
    // connections to its signals. The description is kept alive: its
    // address identifies the group.
    struct Shared {
        std::shared_ptr<MetaProperty> description;
        zel::ScopedConnection aboutToChange;
        zel::ScopedConnection changed;

        // The instances, counted; brought up to date first.
        IdentityCounts& instances();
        // Added but not yet counted. A selection adds thousands of
        // instances and may never hear of one of them: appending is all
        // adding costs until a notification or a removal asks.
        std::vector<const void*> added;
        IdentityCounts counted;
    };

    Shared* sharedOf(const MetaProperty* description) const;
    Shared* makeShared(std::shared_ptr<MetaProperty> description, Events events);
    void dropShared(const Shared* shared);
    // Drops `n` counts (all of them when n is 0).
    void release(const BoundProperty& property, uint32_t n);

    Callback m_callback;
    std::unordered_map<BoundProperty, Own> m_own;
    std::vector<std::unique_ptr<Shared>> m_shared;
};

} // namespace orv::multi_selection_details
