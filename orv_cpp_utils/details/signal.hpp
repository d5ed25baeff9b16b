#pragma once
// The machinery behind zel signals (orv_cpp_utils/signal.hpp): slot holders
// with their state words, the shared signal body with its priority-ordered
// slot tree, and the cursor that walks one emission through that tree.
// Users never name these; they see Connection, InlineConnection and the
// signal types of the public header.

#include "platform/corekit/safe_reference_count.hpp"

#include <boost/intrusive/set.hpp>
#include <boost/intrusive_ptr.hpp>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace zel {

class Connection;
class InlineConnection;

namespace signal_details {

class SignalImplBase;
class EmissionCursor;
template <class Signature, class Function>
class ExtendedSlotHolder;
template <class Signature, class Combiner>
class SignalImpl;
void prepareStorage(InlineConnection& storage) noexcept;

// The lock of a signal body: held only for a few pointer operations on the
// slot tree, never while a slot runs, so a word that is spun on (and given
// up to the scheduler after a while) serves better than an operating-system
// mutex: locking is one atomic exchange, unlocking one store.
class SpinMutex {
public:
    SpinMutex() noexcept = default;
    SpinMutex(const SpinMutex&) = delete;
    SpinMutex& operator=(const SpinMutex&) = delete;

    void lock() noexcept {
        if (!m_locked.exchange(true, std::memory_order_acquire))
            return;
        lockContended();
    }
    bool try_lock() noexcept {
        return !m_locked.load(std::memory_order_relaxed) &&
               !m_locked.exchange(true, std::memory_order_acquire);
    }
    void unlock() noexcept { m_locked.store(false, std::memory_order_release); }

private:
    void lockContended() noexcept;

    std::atomic<bool> m_locked{false};
};

// Counts the slots that listen (those not passive) of every body that
// reports to it: a signal map counts all its keys together.
using ListenerTotal = std::atomic<size_t>;

// One connected slot. Shared by the signal's tree, Connection handles, running
// emissions and (for inline holders) the InlineConnection storing it.
class SlotHolderBase : public Kor::SafeReferenceCount, public boost::intrusive::set_base_hook<> {
public:
    // Bit 63 of the state word; the low bits count the emissions holding the slot.
    static constexpr int64_t DISCONNECTED = INT64_MIN;

    explicit SlotHolderBase(int priority) noexcept : m_priority(priority) {}
    ~SlotHolderBase() override;
    SlotHolderBase(const SlotHolderBase&) = delete;
    SlotHolderBase& operator=(const SlotHolderBase&) = delete;

    bool connected() const noexcept { return m_state.load(std::memory_order_acquire) >= 0; }
    // The owning signal body; null once unlinked from it.
    SignalImplBase* signal() const noexcept { return m_signal.load(std::memory_order_acquire); }
    int priority() const noexcept { return m_priority; }
    bool passive() const noexcept { return m_passive.load(std::memory_order_relaxed); }

    // Marks the slot disconnected. When no emission holds it, it is unlinked and
    // its callable released at once; otherwise the last emission to let go does it.
    void disconnect() noexcept;
    // A passive slot is still called, but does not count as a listener of its
    // signal (see SignalImplBase::listenerCount).
    void setPassive(bool passive) noexcept;

protected:
    // Destroys the slot callable (and whatever it captured).
    virtual void releaseSlot() noexcept = 0;

private:
    friend class SignalImplBase;
    friend class EmissionCursor;
    friend class ::zel::InlineConnection;

    // Pinning: one reference plus one count in the state word.
    bool tryPin() noexcept; // only while connected
    void unpin() noexcept;
    void finishDisconnect() noexcept;
    // Unlinks whatever the state (InlineConnection destruction and reuse).
    void detach() noexcept;
    void unlink(bool releaseCallable) noexcept;
    void releaseOnce() noexcept;

    std::atomic<int64_t> m_state{0};
    uint64_t m_connectStamp = 0;
    std::atomic<SignalImplBase*> m_signal{nullptr};
    int32_t m_priority;
    // Changed under the body's lock while linked, which keeps the counts right.
    std::atomic<bool> m_passive{false};
    // More than one party may get to release the callable (a disconnect that
    // finished, then the InlineConnection detaching the same holder); it goes once.
    std::atomic<bool> m_released{false};
};

template <class Signature>
class SlotHolder;

template <class... Args>
class SlotHolder<void(Args...)> : public SlotHolderBase {
public:
    using SlotHolderBase::SlotHolderBase;
    virtual void invoke(Args... args) = 0;
};

template <class Signature, class Function>
class ExtendedSlotHolder;

// The connection type a stored slot takes first.
template <class Function>
struct ConnectionOfSlot;
template <class C, class... Args>
struct ConnectionOfSlot<std::function<void(const C&, Args...)>> {
    using type = C;
};
template <class Function>
using ConnectionOf = typename ConnectionOfSlot<Function>::type;

// Holds the slot as an optional std::function taking the Connection first.
template <class... Args, class Function>
class ExtendedSlotHolder<void(Args...), Function> final : public SlotHolder<void(Args...)> {
public:
    // Takes the function by value: a connect handing over a slot it made
    // moves it in instead of copying what it holds.
    ExtendedSlotHolder(int priority, Function function)
        : SlotHolder<void(Args...)>(priority), m_function(std::move(function)) {}

    // Throws std::bad_optional_access once released, std::bad_function_call if empty.
    void invoke(Args... args) override {
        const Function& function = m_function.value();
        // Named through the slot's first parameter so that this header needs
        // zel::Connection only declared.
        const typename ConnectionOf<Function>::Borrowed self(this);
        function(self.connection, std::forward<Args>(args)...);
    }

protected:
    void releaseSlot() noexcept override { m_function.reset(); }

private:
    std::optional<Function> m_function;
};

// Every holder has the same size whatever the signature: the callable is a
// std::function. InlineConnection storage is sized on this one.
using ReferenceHolder = ExtendedSlotHolder<void(), std::function<void(const Connection&)>>;

// Builds holders in caller-owned storage (InlineConnection grants it access).
struct StorageAccess {
    template <class Holder, class Storage, class... A>
    static Holder* emplace(Storage& storage, A&&... args) {
        return storage.template emplace<Holder>(std::forward<A>(args)...);
    }
};

struct ByPriority {
    bool operator()(const SlotHolderBase& a, const SlotHolderBase& b) const noexcept {
        return a.priority() < b.priority();
    }
};

// The shared body of one signal: the slot tree and its mutex.
class SignalImplBase {
public:
    SignalImplBase() = default;
    SignalImplBase(const SignalImplBase&) = delete;
    SignalImplBase& operator=(const SignalImplBase&) = delete;

    size_t slotCount() const;
    // Slots linked that are not passive, without taking the lock: what a
    // caller asks before it builds the arguments of an emission that nobody
    // would hear. A slot connected on another thread meanwhile may or may not
    // be seen, as with an emission.
    size_t listenerCount() const noexcept { return m_listeners.load(std::memory_order_acquire); }
    // Also counts this body's listeners into `total` (set before the first connect).
    void reportListenersTo(ListenerTotal* total) noexcept { m_listenerTotal = total; }
    // Disconnects every slot still linked; an emission inside a slot stops
    // after that slot returns.
    void disconnectAll() noexcept;

    // Unlinks `holder` (caller holds the mutex), clears its signal pointer and
    // hands the tree's reference to it over to the caller.
    virtual SlotHolderBase* remove(SlotHolderBase* holder) noexcept;

protected:
    // Disconnects every slot still linked.
    ~SignalImplBase();

    // Links a freshly built holder and returns a Connection to it.
    Connection link(SlotHolderBase* holder);

private:
    friend class SlotHolderBase;
    friend class EmissionCursor;

    // Equal priorities keep connection order: multiset inserts after equals.
    using Tree = boost::intrusive::multiset<SlotHolderBase, boost::intrusive::compare<ByPriority>,
                                            boost::intrusive::constant_time_size<false>>;

    // Under the lock: one more or one fewer listener.
    void countListener(int delta) noexcept;

    mutable SpinMutex m_mutex;
    uint64_t m_slotCount = 0;
    Tree m_slots;
    uint64_t m_emissionCounter = 0;
    std::atomic<size_t> m_listeners{0};
    ListenerTotal* m_listenerTotal = nullptr;
};

// Walks one emission through the slot tree. The current slot stays pinned
// (referenced and counted in its state) while it is called without the lock,
// so that it stays linked and the walk can step past it afterwards.
class EmissionCursor {
public:
    explicit EmissionCursor(SignalImplBase& body) noexcept : m_body(body) {}
    ~EmissionCursor();
    EmissionCursor(const EmissionCursor&) = delete;
    EmissionCursor& operator=(const EmissionCursor&) = delete;

    // The first slot to call, or null when there is none.
    SlotHolderBase* first();
    // The slot after the current one, or null when the emission is over.
    SlotHolderBase* next();
    // The current slot is the last to call: next() will not touch the body.
    [[nodiscard]] bool last() const noexcept { return m_last; }

private:
    SlotHolderBase* pinCallable(SignalImplBase::Tree::iterator from);

    SignalImplBase& m_body;
    uint64_t m_epoch = 0;
    SlotHolderBase* m_current = nullptr;
    // The current slot was the last in the tree when it was pinned. Slots
    // linked since carry a later stamp and are skipped anyway, so the walk
    // ends without taking the lock again (the common one-slot emission).
    bool m_last = false;
};

template <class... Args, class Combiner>
class SignalImpl<void(Args...), Combiner> final : public SignalImplBase {
    static_assert(std::is_void_v<typename Combiner::result_type>,
                  "slots return nothing, so must the combiner");

public:
    using slot_function = std::function<void(const Connection&, Args...)>;
    using holder_type = ExtendedSlotHolder<void(Args...), slot_function>;

    SignalImpl() = default;
    ~SignalImpl() = default;

    // Returns a Connection (deduced: this header only declares the type).
    auto connect(InlineConnection* storage, slot_function slot, int priority) {
        if (storage)
            return link(StorageAccess::emplace<holder_type>(*storage, priority, std::move(slot)));
        // Owned here until linked, so that a failing lock frees it.
        const boost::intrusive_ptr<holder_type> holder(new holder_type(priority, std::move(slot)));
        return link(holder.get());
    }

    void emit(Args... args) {
        EmissionCursor cursor(*this);
        emitFrom(cursor, cursor.first(), args...);
    }
    // Calls `first` (the cursor's current slot) and the slots after it.
    // Static: when `first` is the last slot, nothing here needs the body.
    static void emitFrom(EmissionCursor& cursor, SlotHolderBase* first, Args... args) {
        for (SlotHolderBase* h = first; h; h = cursor.next())
            static_cast<SlotHolder<void(Args...)>*>(h)->invoke(args...);
    }
};

} // namespace signal_details
} // namespace zel
