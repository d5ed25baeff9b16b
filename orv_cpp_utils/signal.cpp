#include "orv_cpp_utils/signal.hpp"

#include "platform/corekit/diagnostics.hpp"

#include <iterator>
#include <mutex>
#include <thread>

namespace zel {

namespace signal_details {

// --- SpinMutex --------------------------------------------------------------

void SpinMutex::lockContended() noexcept {
    for (int spins = 0;; ++spins) {
        // Wait on a plain load: exchanging would keep the line bouncing.
        while (m_locked.load(std::memory_order_relaxed)) {
            if (spins < 64) {
#if defined(__x86_64__) || defined(__i386__)
                __builtin_ia32_pause();
#endif
                ++spins;
            } else {
                // The holder may have been descheduled: let it run.
                std::this_thread::yield();
            }
        }
        if (!m_locked.exchange(true, std::memory_order_acquire))
            return;
    }
}

// --- SlotHolderBase ---------------------------------------------------------

SlotHolderBase::~SlotHolderBase() { KOR_ASSERT(!signal()); }

void SlotHolderBase::disconnect() noexcept {
    if (m_state.fetch_or(DISCONNECTED, std::memory_order_acq_rel) == 0)
        finishDisconnect();
}

void SlotHolderBase::setPassive(bool passive) noexcept {
    SignalImplBase* const body = signal();
    if (!body) { // unlinked: no count includes it any more
        m_passive.store(passive, std::memory_order_relaxed);
        return;
    }
    const std::lock_guard lock(body->m_mutex);
    const bool counted = signal() == body; // not unlinked meanwhile
    if (m_passive.exchange(passive, std::memory_order_relaxed) != passive && counted)
        body->countListener(passive ? -1 : 1);
}

// Emissions only pin a slot that is still connected, so that a disconnect
// that finds no pin can finish at once without racing a call about to start.
bool SlotHolderBase::tryPin() noexcept {
    int64_t state = m_state.load(std::memory_order_acquire);
    do {
        if (state < 0)
            return false;
    } while (!m_state.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel,
                                            std::memory_order_acquire));
    incRef();
    return true;
}

void SlotHolderBase::unpin() noexcept {
    if (m_state.fetch_sub(1, std::memory_order_acq_rel) == DISCONNECTED + 1)
        finishDisconnect();
    decRef();
}

void SlotHolderBase::finishDisconnect() noexcept { unlink(true); }

void SlotHolderBase::detach() noexcept {
    const int64_t previous = m_state.fetch_or(DISCONNECTED, std::memory_order_acq_rel);
    unlink((previous & ~DISCONNECTED) == 0);
}

void SlotHolderBase::unlink(bool releaseCallable) noexcept {
    bool unlinked = false;
    if (SignalImplBase* const body = signal()) {
        const std::lock_guard lock(body->m_mutex);
        if (signal() == body) { // not unlinked by someone else meanwhile
            body->remove(this);
            unlinked = true;
        }
    }
    // Outside the lock: the callable's captures may use the signal.
    if (releaseCallable)
        releaseOnce();
    if (unlinked)
        decRef(); // the tree's reference; the caller still holds one
}

void SlotHolderBase::releaseOnce() noexcept {
    if (!m_released.exchange(true, std::memory_order_acq_rel))
        releaseSlot();
}

// --- SignalImplBase ---------------------------------------------------------

SignalImplBase::~SignalImplBase() { disconnectAll(); }

void SignalImplBase::disconnectAll() noexcept {
    std::unique_lock lock(m_mutex);
    while (m_slotCount != 0) {
        SlotHolderBase* const h = &*m_slots.begin();
        // Pin and mark disconnected in one step: a disconnect racing with
        // this either comes first (and unlinks, below) or finds the slot
        // pinned and leaves it to us, never both.
        int64_t state = h->m_state.load(std::memory_order_acquire);
        while (state != SlotHolderBase::DISCONNECTED &&
               !h->m_state.compare_exchange_weak(state, (state | SlotHolderBase::DISCONNECTED) + 1,
                                                 std::memory_order_acq_rel, std::memory_order_acquire)) {
        }
        if (state == SlotHolderBase::DISCONNECTED) {
            // Disconnected and held by no emission, yet linked: the thread
            // that disconnected it is about to take the lock and unlink it,
            // having read this body's address. Let it, before the body goes.
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            continue;
        }
        h->incRef(); // the pin's reference
        remove(h);
        lock.unlock();
        h->decRef(); // the tree's reference; the pin keeps the holder alive
        // Releases the callable unless an emission is still inside the slot;
        // that emission releases it when it returns and stops there.
        h->unpin();
        lock.lock();
    }
}

void SignalImplBase::countListener(int delta) noexcept {
    m_listeners.fetch_add(size_t(delta), std::memory_order_release);
    if (m_listenerTotal)
        m_listenerTotal->fetch_add(size_t(delta), std::memory_order_release);
}

SlotHolderBase* SignalImplBase::remove(SlotHolderBase* holder) noexcept {
    m_slots.erase(m_slots.iterator_to(*holder));
    --m_slotCount;
    if (!holder->passive())
        countListener(-1);
    holder->m_signal.store(nullptr, std::memory_order_release);
    return holder;
}

Connection SignalImplBase::link(SlotHolderBase* holder) {
    const std::lock_guard lock(m_mutex);
    holder->m_connectStamp = m_emissionCounter;
    holder->m_signal.store(this, std::memory_order_release);
    m_slots.insert(*holder);
    holder->incRef(); // the tree's reference
    ++m_slotCount;
    if (!holder->passive())
        countListener(1);
    return Connection(holder);
}

size_t SignalImplBase::slotCount() const {
    const std::lock_guard lock(m_mutex);
    return m_slotCount;
}

// --- EmissionCursor ---------------------------------------------------------

EmissionCursor::~EmissionCursor() {
    if (m_current)
        m_current->unpin();
}

SlotHolderBase* EmissionCursor::first() {
    const std::lock_guard lock(m_body.m_mutex);
    if (m_body.m_slotCount == 0)
        return nullptr;
    m_epoch = ++m_body.m_emissionCounter;
    m_current = pinCallable(m_body.m_slots.begin());
    return m_current;
}

SlotHolderBase* EmissionCursor::next() {
    // Unpinned last, after the lock is given back: unpinning may finish a
    // disconnection, which takes the lock.
    struct Unpin {
        SlotHolderBase* holder;
        ~Unpin() { holder->unpin(); }
    } previous{std::exchange(m_current, nullptr)};
    if (m_last)
        return nullptr;

    // Unlinked while it ran (its signal destroyed, its InlineConnection
    // reused): there is no place in the tree to continue from. The body may be
    // gone, so only its address is compared.
    if (previous.holder->signal() != &m_body)
        return nullptr;
    const std::lock_guard lock(m_body.m_mutex);
    if (previous.holder->signal() != &m_body)
        return nullptr;
    m_current = pinCallable(std::next(m_body.m_slots.iterator_to(*previous.holder)));
    return m_current;
}

// Under the lock the tree is stable, so holders can be skipped without
// pinning them; only the one to be called is pinned.
SlotHolderBase* EmissionCursor::pinCallable(SignalImplBase::Tree::iterator it) {
    for (const auto end = m_body.m_slots.end(); it != end; ++it) {
        SlotHolderBase& holder = *it;
        // Connected after this emission began (by a slot, a nested emission
        // or another thread): left for later emissions.
        if (holder.m_connectStamp >= m_epoch)
            continue;
        if (holder.tryPin()) {
            m_last = std::next(it) == end;
            return &holder;
        }
    }
    return nullptr;
}

void prepareStorage(InlineConnection& storage) noexcept { storage.reset(true); }

} // namespace signal_details

// --- Connection, InlineConnection -------------------------------------------

void Connection::disconnect() noexcept {
    if (m_holder) {
        m_holder->disconnect();
        m_holder.reset();
    }
}

void InlineConnection::reset(bool reuse) noexcept {
    signal_details::SlotHolderBase* const h = m_holder;
    if (!h)
        return;
    if (reuse)
        KOR_ASSERT_MSG(!h->connected(), "Attempted reuse of connected InlineConnection");
    h->detach();
    KOR_ASSERT(h->refCount() == 1);
    m_holder = nullptr;
    h->~SlotHolderBase();
}

} // namespace zel
