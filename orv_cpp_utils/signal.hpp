#pragma once
// Signals with priority-ordered slots.
//
//     zel::FuzzySignal<void (const Object&, size_t, size_t)> added;
//     zel::Connection c = added.connect([](size_t first, size_t count) { ... });
//     added(object, 3, 1);   // calls every connected slot
//     c.disconnect();
//
// A slot may take any ordered subsequence of `(const zel::Connection&, Args...)`
// (see fuzzy_arguments.hpp); the Connection argument lets a slot disconnect
// itself. Slots run in ascending priority, equal priorities in connection
// order. An emission calls the slots connected when it began; a slot that is
// disconnected before its turn is not called.
//
// Dropping a `Connection` never disconnects: a slot stays connected until it
// is disconnected, its InlineConnection is destroyed or reused, or its signal
// is destroyed. `ScopedConnection` is the handle that disconnects when it dies.
//
// Threads: connect, disconnect and emit may run concurrently and from inside a
// slot of the same signal. Each signal body has a mutex that is held only
// while its slot set is read or changed, never while a slot runs. Destroying a
// signal (or a SignalMap) must not race with other uses of that same signal.
//
// A signal costs one pointer until the first connect: the body (mutex, slot
// tree, counters) is created then and published by compare-and-swap, so an
// emission of a signal that never had a slot is a single pointer test.
//
// Listeners. A slot may be made passive (Connection::setPassive): it is still
// called, but listenerCount() leaves it out. Caches that keep themselves up to
// date through a slot are passive while their update could change nothing,
// so that code raising a signal can ask, in one atomic load and without the
// lock, whether anybody would hear it.

#include "orv_cpp_utils/details/fuzzy_arguments.hpp"
#include "orv_cpp_utils/details/lazy_owner.hpp"
#include "orv_cpp_utils/details/signal.hpp"

#include <boost/intrusive_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <unordered_map>
#include <utility>

namespace zel {

// The combiner of a signal whose slots return nothing: the emission returns
// nothing either. Kept as a parameter so that signal types read as usual.
template <class R>
struct OptionalLastValue {
    using result_type = std::optional<R>;
};
template <>
struct OptionalLastValue<void> {
    using result_type = void;
};

// A handle to one connected slot, or nothing. Copies share the slot; dropping
// a handle does not disconnect.
class Connection {
public:
    Connection() noexcept = default;
    explicit Connection(signal_details::SlotHolderBase* holder) noexcept : m_holder(holder) {}

    // Whether the handle refers to a slot that is still connected.
    [[nodiscard]] bool connected() const noexcept { return m_holder && m_holder->connected(); }
    // Disconnects the slot (no effect if it already is) and empties the handle.
    void disconnect() noexcept;
    // Disconnects the slot and keeps referring to it: a slot can disconnect
    // itself through the `const Connection&` it is called with.
    void disconnect() const noexcept {
        if (m_holder)
            m_holder->disconnect();
    }
    // A passive slot still runs but is not counted among its signal's listeners.
    void setPassive(bool passive) const noexcept {
        if (m_holder)
            m_holder->setPassive(passive);
    }
    [[nodiscard]] bool empty() const noexcept { return !m_holder; }
    [[nodiscard]] signal_details::SlotHolderBase* holder() const noexcept { return m_holder.get(); }

    friend bool operator==(const Connection& a, const Connection& b) noexcept {
        return a.m_holder == b.m_holder;
    }

private:
    template <class Signature, class Function>
    friend class signal_details::ExtendedSlotHolder;

    // A handle that does not count: the emission already holds the slot, so
    // the handle a slot is called with costs no reference count traffic. A
    // slot that keeps it copies it, and the copy counts.
    struct Borrowed;

    boost::intrusive_ptr<signal_details::SlotHolderBase> m_holder;
};

struct Connection::Borrowed {
    explicit Borrowed(signal_details::SlotHolderBase* holder) noexcept {
        connection.m_holder.reset(holder, false);
    }
    ~Borrowed() { connection.m_holder.detach(); }
    Borrowed(const Borrowed&) = delete;
    Borrowed& operator=(const Borrowed&) = delete;

    Connection connection;
};

// Caller-owned storage for the holder of one connection, so that a long-lived
// owner keeps that bookkeeping inside itself rather than on the heap. Reusing
// it for a new connect, or destroying it, detaches and destroys the holder; by
// then the slot must be disconnected and every Connection to it dropped, and
// no call of the slot may be running, on this thread or another (the holder
// is destroyed in place, so nothing may still refer to it). Reuse of a
// connected storage and outstanding references are reported as assertions.
class InlineConnection {
public:
    InlineConnection() noexcept = default;
    ~InlineConnection() { reset(); }
    InlineConnection(const InlineConnection&) = delete;
    InlineConnection& operator=(const InlineConnection&) = delete;

    [[nodiscard]] bool inUse() const noexcept { return m_holder != nullptr; }
    [[nodiscard]] bool connected() const noexcept { return m_holder && m_holder->connected(); }
    // Disconnects like Connection::disconnect; the holder stays in the storage.
    void disconnect() noexcept {
        if (m_holder)
            m_holder->disconnect();
    }

    static constexpr size_t capacity = sizeof(signal_details::ReferenceHolder);
    static constexpr size_t alignment = alignof(signal_details::ReferenceHolder);

private:
    friend struct signal_details::StorageAccess;
    friend void signal_details::prepareStorage(InlineConnection& storage) noexcept;

    // Builds a holder in the storage (after preparing it for reuse); the
    // storage keeps one reference of its own.
    template <class Holder, class... A>
    Holder* emplace(A&&... args) {
        static_assert(sizeof(Holder) <= capacity && alignof(Holder) <= alignment,
                      "slot holder does not fit an InlineConnection");
        reset(true);
        Holder* holder = ::new (static_cast<void*>(m_storage)) Holder(std::forward<A>(args)...);
        holder->incRef();
        m_holder = holder;
        return holder;
    }

    // Detaches and destroys the stored holder; `reuse` adds the reuse check.
    void reset(bool reuse = false) noexcept;

    alignas(alignment) std::byte m_storage[capacity];
    signal_details::SlotHolderBase* m_holder = nullptr; // non-null: in use
};

// A std::function taking `Params...` that can also be built from a callable
// with fewer or converted parameters (see fuzzy_arguments.hpp).
template <class Signature, class Convertor = orv::DefaultArgumentsConvertor>
class FuzzySlot;

template <class... Params, class Convertor>
class FuzzySlot<void(Params...), Convertor> : public std::function<void(Params...)> {
    using Base = std::function<void(Params...)>;

public:
    FuzzySlot() noexcept = default;
    FuzzySlot(std::nullptr_t) noexcept {}
    FuzzySlot(const Base& function) : Base(function) {}
    FuzzySlot(Base&& function) noexcept : Base(std::move(function)) {}

    template <class F>
    requires(!std::is_base_of_v<Base, std::remove_cvref_t<F>> &&
             !std::is_same_v<std::remove_cvref_t<F>, std::nullptr_t> &&
             orv::FuzzyCallable<F, void(Params...), Convertor>) FuzzySlot(F&& f)
        : Base(orv::makeFuzzyCallable<void(Params...), Convertor>(std::forward<F>(f))) {}
};

template <class Signature, class Convertor = orv::DefaultArgumentsConvertor,
          class Combiner = OptionalLastValue<void>>
class FuzzySignal;

template <class... Args, class Convertor, class Combiner>
class FuzzySignal<void(Args...), Convertor, Combiner> {
public:
    using signature_type = void(Args...);
    using convertor_type = Convertor;
    using impl_type = signal_details::SignalImpl<void(Args...), Combiner>;
    using slot_type = FuzzySlot<void(const Connection&, Args...), Convertor>;

    FuzzySignal() noexcept = default;
    FuzzySignal(const FuzzySignal&) = delete;
    FuzzySignal& operator=(const FuzzySignal&) = delete;
    FuzzySignal(FuzzySignal&& other) noexcept : m_impl(other.m_impl.release()) {}
    FuzzySignal& operator=(FuzzySignal&& other) noexcept {
        if (this != &other)
            m_impl.reset(other.m_impl.release());
        return *this;
    }

    // Connects `slot` with `priority` (lower runs first); the holder is built
    // in `storage` when given, else on the heap.
    Connection connect(InlineConnection* storage, const slot_type& slot, int priority) const {
        return m_impl.getOrCreate().connect(storage, slot, priority);
    }
    Connection connect(const slot_type& slot, int priority = 0) const {
        return connect(nullptr, slot, priority);
    }

    void operator()(Args... args) const {
        if (impl_type* body = m_impl.get())
            body->emit(std::forward<Args>(args)...);
    }
    void emit(Args... args) const { (*this)(std::forward<Args>(args)...); }

    // Null until the first connect.
    [[nodiscard]] impl_type* impl() const noexcept { return m_impl.get(); }
    // Slots linked to the body (disconnected ones included while an emission still holds them).
    [[nodiscard]] size_t slotCount() const {
        const impl_type* body = impl();
        return body ? body->slotCount() : 0;
    }
    // Linked slots that are not passive; lock-free.
    [[nodiscard]] size_t listenerCount() const noexcept {
        const impl_type* body = impl();
        return body ? body->listenerCount() : 0;
    }

private:
    // Every slot is disconnected before the body begins to die, so that a
    // disconnect finishing on another thread still finds a whole body.
    struct Destroy {
        void operator()(impl_type* body) const noexcept {
            body->disconnectAll();
            delete body;
        }
    };

    lazy_owner_details::LazyOwner<impl_type, Destroy> m_impl;
};

// Keeps one connection and disconnects it when destroyed or given another.
class ScopedConnection {
public:
    ScopedConnection() noexcept = default;
    ScopedConnection(Connection connection) noexcept : m_connection(std::move(connection)) {}
    ~ScopedConnection() { m_connection.disconnect(); }
    ScopedConnection(const ScopedConnection&) = delete;
    ScopedConnection& operator=(const ScopedConnection&) = delete;
    ScopedConnection(ScopedConnection&& other) noexcept
        : m_connection(std::exchange(other.m_connection, {})) {}
    ScopedConnection& operator=(ScopedConnection&& other) noexcept {
        if (this != &other)
            *this = std::exchange(other.m_connection, {});
        return *this;
    }
    ScopedConnection& operator=(Connection connection) noexcept {
        if (!(connection == m_connection))
            m_connection.disconnect();
        m_connection = std::move(connection);
        return *this;
    }

    [[nodiscard]] const Connection& connection() const noexcept { return m_connection; }
    [[nodiscard]] bool connected() const noexcept { return m_connection.connected(); }
    void disconnect() noexcept { m_connection.disconnect(); }
    // Gives the connection up without disconnecting it.
    Connection release() noexcept { return std::exchange(m_connection, {}); }

private:
    Connection m_connection;
};

} // namespace zel

namespace orv {

// Signals per key (an object's identity pointer), created when the first slot
// for a key is connected and destroyed when the last such slot is released,
// so that objects that come and go leave nothing behind.
template <class Signal, class Signature = typename Signal::signature_type>
class SignalMap;

template <class Signal, class... Args>
class SignalMap<Signal, void(Args...)> {
public:
    using signal_type = Signal;
    using impl_type = typename Signal::impl_type;
    using slot_type = typename Signal::slot_type;
    using key_type = const void*;

    // The callable stored for a slot connected through the map: the caller's
    // slot plus a guard whose last copy, dying with the released slot, tells
    // the map to drop the key's entry if no other slot uses it.
    template <size_t N>
    class CheckedSlot {
    public:
        CheckedSlot(const char (&label)[N], slot_type slot, std::shared_ptr<void> guard)
            : m_label(label), m_slot(std::move(slot)), m_guard(std::move(guard)) {}

        void operator()(const zel::Connection& connection, Args... args) const {
            m_slot(connection, std::forward<Args>(args)...);
        }
        // For debugging only.
        [[nodiscard]] const char* label() const noexcept { return m_label; }

    private:
        const char* m_label;
        slot_type m_slot;
        std::shared_ptr<void> m_guard;
    };

    SignalMap() = default;
    ~SignalMap() {
        m_core->destroying.store(true, std::memory_order_release);
        std::unordered_map<key_type, Entry> entries;
        {
            const std::lock_guard lock(m_core->mutex);
            entries.swap(m_core->entries);
            m_core->forgetLast();
            m_core->count.store(0, std::memory_order_release);
        }
        // An emission running elsewhere keeps its body alive: disconnect
        // explicitly so that it stops, as it would on a destroyed signal.
        for (auto& [key, entry] : entries)
            if (entry.body)
                entry.body->disconnectAll();
    }
    SignalMap(const SignalMap&) = delete;
    SignalMap& operator=(const SignalMap&) = delete;

    template <size_t N>
    zel::Connection connect(key_type key, const char (&label)[N], zel::InlineConnection* storage,
                            const slot_type& slot, int priority) const {
        // Held here until the lock is given back: should connecting fail, the
        // guard's last copy (which takes the lock) goes only then. The
        // checked slot itself is moved into the holder, not copied again.
        const std::shared_ptr<void> guard(nullptr, Guard{m_core, key});
        slot_type checked(CheckedSlot<N>(label, slot, guard));
        // An old holder's release may run a guard of this map: do it unlocked.
        if (storage)
            zel::signal_details::prepareStorage(*storage);
        const std::lock_guard lock(m_core->mutex);
        Entry& entry = m_core->entries[key];
        if (!entry.body) {
            entry.body = std::make_shared<impl_type>();
            // Every body is unlinked from its slots before the core goes.
            entry.body->reportListenersTo(&m_core->listeners);
        }
        m_core->count.store(m_core->entries.size(), std::memory_order_release);
        return entry.body->connect(storage, std::move(checked), priority);
    }
    template <size_t N>
    zel::Connection connect(key_type key, const char (&label)[N], const slot_type& slot,
                            int priority = 0) const {
        return connect(key, label, nullptr, slot, priority);
    }

    // Emits the key's signal, if any slot is connected for it.
    void operator()(key_type key, Args... args) const {
        // Most maps have no slot for most keys: skip the lock then. A connect
        // racing with this emission may or may not be seen, as with a signal.
        if (m_core->count.load(std::memory_order_acquire) == 0)
            return;
        std::shared_ptr<impl_type> held;
        std::optional<zel::signal_details::EmissionCursor> cursor;
        zel::signal_details::SlotHolderBase* first = nullptr;
        {
            const std::lock_guard lock(m_core->mutex);
            const Entry* entry = m_core->find(key);
            if (!entry || !entry->body)
                return;
            // The first slot is pinned under the map's lock (taken before a
            // body's), so the body cannot go before the pin. A pinned slot
            // stays linked, which keeps the key's entry and its body; an
            // emission of one slot needs nothing more. With more slots to
            // come the body is held: the slots may go meanwhile.
            cursor.emplace(*entry->body);
            first = cursor->first();
            if (!first)
                return;
            if (!cursor->last())
                held = entry->body;
        }
        impl_type::emitFrom(*cursor, first, std::forward<Args>(args)...);
    }
    void emit(key_type key, Args... args) const { (*this)(key, std::forward<Args>(args)...); }

    // Listening (not passive) slots of every key together; lock-free.
    [[nodiscard]] size_t listenerCount() const noexcept {
        return m_core->listeners.load(std::memory_order_acquire);
    }
    // Whether a slot that is not passive is connected for `key`.
    [[nodiscard]] bool hasListeners(key_type key) const {
        if (listenerCount() == 0)
            return false;
        const std::lock_guard lock(m_core->mutex);
        const Entry* entry = m_core->find(key);
        return entry && entry->body && entry->body->listenerCount() != 0;
    }

    // No key has an entry; lock-free (a racing connect may or may not be seen).
    [[nodiscard]] bool empty() const noexcept { return m_core->count.load(std::memory_order_acquire) == 0; }
    // Number of keys with an entry.
    [[nodiscard]] size_t size() const {
        const std::lock_guard lock(m_core->mutex);
        return m_core->entries.size();
    }
    [[nodiscard]] bool contains(key_type key) const {
        const std::lock_guard lock(m_core->mutex);
        return m_core->entries.count(key) != 0;
    }

private:
    struct Entry {
        std::shared_ptr<impl_type> body;
    };

    // Shared with the guards, which may outlive the map (a slot released by
    // an emission that finishes after the map is gone).
    struct Core {
        zel::signal_details::SpinMutex mutex;
        std::atomic<bool> destroying{false};
        // entries.size(), readable without the lock.
        std::atomic<size_t> count{0};
        zel::signal_details::ListenerTotal listeners{0};
        std::unordered_map<key_type, Entry> entries;
        // The entry found last: an object written again and again (a drag,
        // a multi-step edit) is found without hashing. Under the lock; reset
        // whenever an entry is erased.
        key_type lastKey = nullptr;
        Entry* lastEntry = nullptr;

        // The key's entry or null; under the lock.
        Entry* find(key_type key) {
            if (lastEntry && lastKey == key)
                return lastEntry;
            const auto it = entries.find(key);
            if (it == entries.end())
                return nullptr;
            lastKey = key;
            lastEntry = &it->second;
            return lastEntry;
        }
        void forgetLast() noexcept {
            lastKey = nullptr;
            lastEntry = nullptr;
        }
    };

    struct Guard {
        std::weak_ptr<Core> core;
        key_type key;
        void operator()(void*) const noexcept {
            if (const std::shared_ptr<Core> alive = core.lock())
                release(*alive, key);
        }
    };

    static void release(Core& core, key_type key) noexcept {
        if (core.destroying.load(std::memory_order_acquire))
            return;
        std::shared_ptr<impl_type> doomed;
        const std::lock_guard lock(core.mutex);
        const auto it = core.entries.find(key);
        if (it == core.entries.end())
            return;
        if (it->second.body && it->second.body->slotCount() != 0)
            return; // other slots of the key are still connected
        doomed = std::move(it->second.body);
        core.entries.erase(it);
        core.forgetLast();
        core.count.store(core.entries.size(), std::memory_order_release);
    }

    // Connecting and emitting are const, as on a signal: owners connect from
    // const operations.
    const std::shared_ptr<Core> m_core = std::make_shared<Core>();
};

} // namespace orv
