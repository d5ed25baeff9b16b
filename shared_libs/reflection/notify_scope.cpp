#include "shared_libs/reflection/notify_scope.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/hash.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/kor/undo/command.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/notify_stack.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace orv {
namespace notify_scope_details {
namespace {

// Only these bits are merged per property; the others travel with the item.
constexpr uint32_t s_mergedBits = uint32_t(NotifyFlag::Value) | uint32_t(NotifyFlag::Sources);

void notifyDependent(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags);

// Which merged bits each property has queued in the current outermost scope.
// Most scopes announce one property or a handful (a write, a gizmo drag, one
// object read from text): those are kept in a small array scanned without
// hashing. Past that, chained buckets (load factor at most 1) over one node
// array, so clearing it between scopes keeps all storage: a steady stream of
// scopes allocates nothing. A property is keyed by the object's value and the
// meta property's serial rather than by a handle copy, which would count
// references on every write; the serial, unlike the address, tells a
// property made in place of a destroyed one from the one queued before.
class SeenMap {
public:
    SeenMap() : m_heads(8, s_none) {}

    // The bits recorded for `property`, inserted as 0 when new. The reference
    // stays valid until the next insertion.
    uint32_t& operator[](const BoundProperty& property) {
        const MetaProperty* meta = property.metaPropertyAddress();
        const uint64_t serial = meta ? meta->serial() : 0;
        const tavi::Variant& object = property.object().get();
        for (size_t i = 0; i < m_fewCount; ++i)
            if (m_few[i].serial == serial && m_few[i].object == object)
                return m_few[i].bits;
        if (m_fewCount < s_few) {
            Entry& entry = m_few[m_fewCount++];
            entry.object = object;
            entry.serial = serial;
            entry.bits = 0;
            return entry.bits;
        }
        const size_t hash = size_t(Kor::hash_combine(object.hash(), serial));
        for (int32_t i = m_heads[hash & (m_heads.size() - 1)]; i != s_none; i = m_nodes[size_t(i)].next) {
            Node& node = m_nodes[size_t(i)];
            if (node.hash == hash && node.entry.serial == serial && node.entry.object == object)
                return node.entry.bits;
        }
        if (m_nodes.size() + 1 > m_heads.size())
            rehash(m_heads.size() * 2);
        int32_t& head = m_heads[hash & (m_heads.size() - 1)];
        m_nodes.push_back({{object, serial, 0}, hash, head});
        head = int32_t(m_nodes.size() - 1);
        return m_nodes.back().entry.bits;
    }

    void clear() {
        for (size_t i = 0; i < m_fewCount; ++i)
            m_few[i].object.reset(); // holds nothing past its scope
        m_fewCount = 0;
        if (m_nodes.empty())
            return;
        m_nodes.clear();
        std::fill(m_heads.begin(), m_heads.end(), s_none);
    }

private:
    static constexpr int32_t s_none = -1;
    static constexpr size_t s_few = 8;

    struct Entry {
        tavi::Variant object;
        uint64_t serial = 0;
        uint32_t bits = 0;
    };
    struct Node {
        Entry entry;
        size_t hash;
        int32_t next;
    };

    void rehash(size_t buckets) {
        m_heads.assign(buckets, s_none);
        for (size_t i = 0; i < m_nodes.size(); ++i) {
            int32_t& head = m_heads[m_nodes[i].hash & (buckets - 1)];
            m_nodes[i].next = head;
            head = int32_t(i);
        }
    }

    std::array<Entry, s_few> m_few;
    size_t m_fewCount = 0;
    std::vector<int32_t> m_heads;
    std::vector<Node> m_nodes;
};

// A stack whose elements stay where they are while it grows: write paths
// hand the queued copy of a handle to the setter while the setter's own
// changes queue up behind it. Storage is kept for the next scopes.
template <class T, size_t ChunkSize = 16>
class StableStack {
public:
    StableStack() = default;
    StableStack(const StableStack&) = delete;
    StableStack& operator=(const StableStack&) = delete;
    ~StableStack() {
        while (!empty())
            pop_back();
    }

    [[nodiscard]] bool empty() const noexcept { return m_size == 0; }
    [[nodiscard]] size_t size() const noexcept { return m_size; }
    T& operator[](size_t i) noexcept { return *slot(i); }
    T& back() noexcept { return *slot(m_size - 1); }

    template <class... A>
    T& emplace_back(A&&... args) {
        if (m_size == m_chunks.size() * ChunkSize)
            m_chunks.push_back(std::make_unique<Chunk>());
        T* made = ::new (static_cast<void*>(m_chunks[m_size / ChunkSize]->at(m_size % ChunkSize)))
            T(std::forward<A>(args)...);
        ++m_size;
        return *made;
    }
    void pop_back() noexcept {
        --m_size;
        slot(m_size)->~T();
    }

private:
    struct Chunk {
        alignas(T) std::byte bytes[ChunkSize * sizeof(T)];
        void* at(size_t i) noexcept { return bytes + i * sizeof(T); }
    };

    T* slot(size_t i) noexcept {
        return std::launder(static_cast<T*>(m_chunks[i / ChunkSize]->at(i % ChunkSize)));
    }

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    size_t m_size = 0;
};

// The stack lives as long as its thread. The state read on every call is
// trivially destructible, so it is one cheap thread-local lookup and stays
// readable while the thread's other objects are destroyed; the owner, whose
// destructor ends the stack, is touched only when the stack is made.
struct ThreadState {
    NotifyStack* stack = nullptr;
    bool finished = false;
};
thread_local constinit ThreadState t_state;

} // namespace

class NotifyStack {
public:
    using Item = std::variant<NotifyScope::PropertyChangeItem, NotifyScope::MethodInvokeItem>;

    // Recycling a result slot must not allocate.
    NotifyStack() { m_spareResults.reserve(s_spareResults); }
    NotifyStack(const NotifyStack&) = delete;
    NotifyStack& operator=(const NotifyStack&) = delete;

    // The stack of this thread; null once the thread is ending, when every
    // operation does nothing.
    static NotifyStack* current() {
        const ThreadState& state = t_state;
        return state.stack || state.finished ? state.stack : make();
    }
    // The stack of this thread if it has one; never makes one.
    static NotifyStack* existing() noexcept;

    size_t depth() const noexcept { return m_depth; }
    // Names the current outermost scope: it changes whenever the record of
    // announced bits is cleared, and no two threads share a value.
    uint64_t round() const noexcept { return m_round; }
    bool hasQuiet() const noexcept { return m_quiet != nullptr; }
    void enter() {
        // A scope opened inside a quiet change may queue changes of its own,
        // which must come after the quiet one.
        if (m_quiet)
            queueQuiet();
        ++m_depth;
    }
    void leave();
    void prepareUndo();

    // A change may go quietly only as an outermost scope with nothing left
    // over to deliver: its leave then delivers nothing but itself.
    bool admitsQuiet() const noexcept { return m_depth == 0 && m_items.empty() && !m_undoPrepared; }
    void enterQuietly(QuietChange& change) noexcept {
        m_quiet = &change;
        ++m_depth;
    }
    void leaveQuietly(QuietChange& change) {
        if (m_quiet == &change && m_depth == 1 && m_items.empty() && !m_undoPrepared) {
            // Nothing happened that anybody could have heard: no delivery.
            m_quiet = nullptr;
            m_depth = 0;
            return;
        }
        if (m_quiet == &change)
            m_quiet = nullptr; // dropped unqueued: the leave below delivers what else is due
        leave();
    }
    // Queues the pending quiet change, unannounced.
    void queueQuiet();

    // Result slots of method items, kept for reuse.
    std::unique_ptr<tavi::Variant> takeResultSlot() {
        if (m_spareResults.empty())
            return std::make_unique<tavi::Variant>();
        std::unique_ptr<tavi::Variant> slot = std::move(m_spareResults.back());
        m_spareResults.pop_back();
        return slot;
    }
    void recycleResultSlot(std::unique_ptr<tavi::Variant> slot) noexcept {
        slot->reset();
        if (m_spareResults.size() < s_spareResults)
            m_spareResults.push_back(std::move(slot));
    }

    // At thread end.
    void finish() noexcept {
        for (;;) {
            try {
                flush();
                return;
            } catch (const std::exception& error) {
                Kor::errorMessage("Notification delivered at thread end threw: %s", error.what());
            } catch (...) {
                Kor::errorMessage("Notification delivered at thread end threw");
            }
        }
    }

    // Queue a change or call (announcing it unless told otherwise); the
    // queued handle, or null when nothing was queued.
    template <class... Unannounced>
    const BoundProperty* pushPropertyChange(const BoundProperty& property, SetterFlags setterFlags,
                                            NotifyFlags notifyFlags, Unannounced... unannounced);
    template <class... Unannounced>
    NotifyScope::MethodInvokeItem* pushMethodInvoke(const BoundProperty& method, size_t count,
                                                    const tavi::Variant* arguments, SetterFlags setterFlags,
                                                    Unannounced... unannounced);

private:
    // The first use on this thread.
    static NotifyStack* make();

    // Closes the outermost scope, also when a listener throws during the
    // flush: what was not delivered stays queued for the next one.
    struct OutermostLeave {
        NotifyStack& stack;
        ~OutermostLeave();
    };

    // An item announces once it is in the queue, and announcing may queue
    // more items behind it: the item is built in place, unannounced, and
    // then announced (an item whose announcement throws stays queued,
    // cancelled). Outside every scope (a reported misuse) the depth is
    // raised meanwhile: a listener opening and closing a scope of its own
    // must not flush the queue, and the new item with it.
    template <class T, class... Args>
    T& pushItem(bool announced, Args&&... args) {
        struct Hold {
            uint64_t& depth;
            bool raised;
            ~Hold() {
                if (raised)
                    --depth;
            }
        } hold{m_depth, m_depth == 0};
        if (hold.raised)
            ++m_depth;
        T& item = std::get<T>(m_items.emplace_back(std::in_place_type<T>, std::forward<Args>(args)...,
                                                   typename T::Unannounced{}));
        if (announced) {
            try {
                item.announce();
            } catch (...) {
                item.cancel();
                throw;
            }
        }
        return item;
    }

    static bool pending(const Item& item) noexcept {
        return std::visit([](const auto& queued) { return queued.pending(); }, item);
    }

    // Delivers the queue, newest first, including what the deliveries add.
    // Each item is delivered where it lies (what its delivery queues goes
    // on top of it and is delivered next) and dropped once delivered.
    void flush() {
        while (!m_items.empty()) {
            Item& item = m_items.back();
            if (pending(item))
                std::visit([](auto& queued) { queued.deliver(); }, item);
            else
                m_items.pop_back();
        }
    }

    // Drops the items that are no longer pending (delivered by a flush a
    // listener left by throwing, or cancelled), keeping the others in order.
    void dropDone() noexcept {
        size_t kept = 0;
        for (size_t i = 0; i < m_items.size(); ++i) {
            if (!pending(m_items[i]))
                continue;
            if (i != kept)
                m_items[kept] = std::move(m_items[i]);
            ++kept;
        }
        while (m_items.size() > kept)
            m_items.pop_back();
    }

    StableStack<Item> m_items;
    SeenMap m_seen;
    // Each thread counts its rounds from a base of its own.
    static inline std::atomic<uint64_t> s_roundBases{0};
    uint64_t m_round = s_roundBases.fetch_add(uint64_t(1) << 32, std::memory_order_relaxed) + 1;
    static constexpr size_t s_spareResults = 16;
    std::vector<std::unique_ptr<tavi::Variant>> m_spareResults;
    uint64_t m_depth = 0;
    bool m_undoPrepared = false;
    QuietChange* m_quiet = nullptr;
};

namespace {

struct StackOwner {
    ~StackOwner() {
        t_state.finished = true;
        NotifyStack* stack = std::exchange(t_state.stack, nullptr);
        // What is still pending is delivered as a flush would; a throwing
        // listener cannot propagate out of thread teardown, so it is reported.
        stack->finish();
        delete stack;
    }
};

} // namespace

NotifyStack* NotifyStack::make() {
    thread_local StackOwner owner;
    t_state.stack = new NotifyStack;
    return t_state.stack;
}

NotifyStack* NotifyStack::existing() noexcept { return t_state.stack; }

namespace {

// The notify brackets hold no state: every outermost scope that records
// brackets its changes with the same two commands, shared by every
// transaction (made on first use and never destroyed, since a history
// destroyed at exit may still hold them).
class EnterNotifyScopeCommand final : public Kor::utils::Command {
public:
    EnterNotifyScopeCommand() : Command("Enter notify scope", Flag::Minor) {}
    bool execute() override {
        NotifyScope::enter();
        return true;
    }
};

class LeaveNotifyScopeCommand final : public Kor::utils::Command {
public:
    LeaveNotifyScopeCommand() : Command("Leave notify scope", Flag::Minor) {}
    bool execute() override {
        NotifyScope::leave();
        return true;
    }
};

template <class Bracket>
void recordAtFront() {
    static Bracket* const shared = new Bracket;
    Kor::CommitChangesScope::Transaction* transaction = Kor::CommitChangesScope::transaction();
    if (Kor::utils::CompositeCommand* composite = transaction ? transaction->command() : nullptr)
        composite->push_front_shared(*shared);
}

} // namespace

template <class... Unannounced>
const BoundProperty* NotifyStack::pushPropertyChange(const BoundProperty& property, SetterFlags setterFlags,
                                                     NotifyFlags notifyFlags, Unannounced... unannounced) {
    if (m_quiet)
        queueQuiet(); // first: it changed first
    KOR_ASSERT_MSG(m_depth > 0, "Tried to notify property change outside NotifyScope");
    if (!property.isValid() || (notifyFlags.value() & s_mergedBits) == 0)
        return nullptr;
    ZEL::Profiler::Scope scope("Reflection|Notifications|PropertyChange");
    uint32_t& seen = m_seen[property];
    const uint32_t added = notifyFlags.value() & s_mergedBits & ~seen;
    if (added == 0)
        return nullptr;
    seen |= added;
    const NotifyFlags flags((notifyFlags.value() & ~s_mergedBits) | added);
    return &pushItem<NotifyScope::PropertyChangeItem>(sizeof...(unannounced) == 0, property, setterFlags,
                                                      flags)
                .property();
}

template <class... Unannounced>
NotifyScope::MethodInvokeItem* NotifyStack::pushMethodInvoke(const BoundProperty& method, size_t count,
                                                             const tavi::Variant* arguments,
                                                             SetterFlags setterFlags,
                                                             Unannounced... unannounced) {
    if (m_quiet)
        queueQuiet();
    KOR_ASSERT_MSG(m_depth > 0, "Tried to notify method invoke outside NotifyScope");
    if (!method.isValid())
        return nullptr;
    ZEL::Profiler::Scope scope("Reflection|Notifications|MethodInvoke");
    return &pushItem<NotifyScope::MethodInvokeItem>(sizeof...(unannounced) == 0, method, count, arguments,
                                                    setterFlags);
}

void NotifyStack::queueQuiet() {
    QuietChange* change = std::exchange(m_quiet, nullptr);
    if (!change)
        return;
    const NotifyScope::PropertyChangeItem::Unannounced unannounced;
    if (!change->call) {
        pushPropertyChange(*change->property, change->setterFlags, NotifyFlag::Value, unannounced);
    } else if (NotifyScope::MethodInvokeItem* item = pushMethodInvoke(
                   *change->property, change->count, change->arguments, change->setterFlags, unannounced)) {
        change->result = item->result();
    }
}

void NotifyStack::leave() {
    if (!KOR_VERIFY(m_depth > 0))
        return;
    if (m_depth != 1) {
        --m_depth;
        return;
    }
    OutermostLeave closing{*this};
    // Depth stays 1 meanwhile: what the deliveries change queues into this
    // same flush.
    flush();
}

NotifyStack::OutermostLeave::~OutermostLeave() {
    stack.m_seen.clear();
    ++stack.m_round;
    // Left by a throwing listener: what is still queued stays announced, so
    // it is not queued (and delivered) a second time by the next scope.
    stack.dropDone();
    for (size_t i = 0; i < stack.m_items.size(); ++i)
        if (const auto* change = std::get_if<NotifyScope::PropertyChangeItem>(&stack.m_items[i]))
            if (change->property().isValid())
                stack.m_seen[change->property()] |= change->notifyFlags().value() & s_mergedBits;
    if (std::exchange(stack.m_undoPrepared, false))
        recordAtFront<EnterNotifyScopeCommand>();
    stack.m_depth = 0;
}

void NotifyStack::prepareUndo() {
    if (std::exchange(m_undoPrepared, true))
        return;
    recordAtFront<LeaveNotifyScopeCommand>();
}

namespace {

// Every property of the owner that a Meta::Dependent of the owner's type or
// of the property names.
void notifyDependent(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags) {
    const ReflectedObject& object = property.object();
    const auto announce = [&](const Annotations& annotations) {
        for (const Meta::Dependent& dependent : annotationsOf<Meta::Dependent>(annotations)) {
            const NotifyFlags flags =
                dependent.flags | (notifyFlags & NotifyFlag::MultiSelection) | NotifyFlag::Dependent;
            NotifyScope::beginPropertyChange(object, dependent.names, setterFlags, flags);
        }
    };
    announce(object.annotations());
    if (property.annotationTraits().test(bound_property_details::AnnotationTrait::Dependents))
        announce(property.annotations());
}

} // namespace

// --- the scopes of writes and calls -------------------------------------------------

ChangeScope::ChangeScope(const BoundProperty& property) noexcept
    : m_stack(NotifyStack::current()), m_handle(&property) {}

ChangeScope::~ChangeScope() noexcept(false) {
    if (!m_stack)
        return;
    if (m_isQuiet)
        m_stack->leaveQuietly(m_quiet);
    else
        m_stack->leave();
}

bool ChangeScope::enterQuietly(bool quiet) {
    if (!quiet || !m_stack->admitsQuiet())
        return false;
    m_stack->enterQuietly(m_quiet);
    m_isQuiet = true;
    return true;
}

template <class Announce>
void ChangeScope::enterAnnounced(Announce announce) {
    m_stack->enter();
    try {
        announce();
    } catch (...) {
        m_stack->leave();
        throw;
    }
}

PropertyWrite::PropertyWrite(const BoundProperty& property, SetterFlags setterFlags, bool quiet)
    : ChangeScope(property) {
    if (!m_stack) // the thread is ending: nothing is notified any more
        return;
    m_quiet.property = &property;
    m_quiet.setterFlags = setterFlags;
    if (enterQuietly(quiet))
        return;
    enterAnnounced([&] {
        if (const BoundProperty* queued =
                m_stack->pushPropertyChange(property, setterFlags, NotifyFlag::Value))
            m_handle = queued;
    });
}

MethodCall::MethodCall(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
                       SetterFlags setterFlags, bool quiet)
    : ChangeScope(method) {
    if (!m_stack)
        return;
    m_quiet.property = &method;
    m_quiet.setterFlags = setterFlags;
    m_quiet.call = true;
    m_quiet.count = count;
    m_quiet.arguments = arguments;
    if (enterQuietly(quiet))
        return;
    enterAnnounced([&] {
        if (NotifyScope::MethodInvokeItem* item =
                m_stack->pushMethodInvoke(method, count, arguments, setterFlags)) {
            m_handle = &item->property();
            m_result = item->result();
        }
    });
}

void MethodCall::setResult(const tavi::Variant& result) {
    // A quiet call queued meanwhile has a result slot of its own by now.
    if (tavi::Variant* slot = m_isQuiet ? m_quiet.result : m_result)
        *slot = result;
}

void AnnouncementMemo::announce(const BoundProperty& property, SetterFlags setterFlags,
                                NotifyFlags notifyFlags) {
    NotifyStack* stack = NotifyStack::current();
    const uint32_t bits = notifyFlags.value() & s_mergedBits;
    // Nothing a listener could tell: the scope would find every bit announced
    // (only a profiler would see its lookup scope, and a pending quiet change
    // would be queued first).
    if (stack && m_round == stack->round() && (bits & ~m_bits) == 0 && stack->depth() > 0 &&
        !stack->hasQuiet() && !profilerAttached())
        return;
    const NotifyScope scope;
    NotifyScope::beginPropertyChange(property, setterFlags, notifyFlags);
    if (!stack || !property.isValid())
        return;
    if (m_round != stack->round()) {
        m_round = stack->round();
        m_bits = 0;
    }
    m_bits |= bits;
}

ScopeUnlessNested::ScopeUnlessNested() {
    const NotifyStack* stack = NotifyStack::current();
    m_entered = !stack || stack->depth() == 0 || stack->hasQuiet();
    if (m_entered)
        NotifyScope::enter();
}

ScopeUnlessNested::~ScopeUnlessNested() noexcept(false) {
    if (m_entered)
        NotifyScope::leave();
}

bool quietAdmitted() noexcept {
    const ThreadState& state = t_state;
    return state.stack ? state.stack->admitsQuiet() : !state.finished;
}

void listenerAppears() {
    if (NotifyStack* stack = NotifyStack::existing())
        stack->queueQuiet();
}

} // namespace notify_scope_details

using notify_scope_details::notifyDependent;
using notify_scope_details::NotifyStack;

// --- items ----------------------------------------------------------------------

NotifyScope::PropertyChangeItem::PropertyChangeItem(BoundProperty property, SetterFlags setterFlags,
                                                    NotifyFlags notifyFlags)
    : PropertyChangeItem(std::move(property), setterFlags, notifyFlags, Unannounced{}) {
    announce();
}

void NotifyScope::PropertyChangeItem::announce() {
    notify::propertyAboutToBeChanged(m_property, m_setterFlags, m_notifyFlags);
    if (m_notifyFlags.test(NotifyFlag::Value) && !m_notifyFlags.test(NotifyFlag::Child))
        notifyDependent(m_property, m_setterFlags, m_notifyFlags);
    if (m_notifyFlags.test(NotifyFlag::Sources)) {
        // The value's own properties derive from the same sources.
        const ReflectedObject held(m_property);
        const NotifyFlags childFlags =
            (m_notifyFlags & ~NotifyFlags(NotifyFlag::Value)) | NotifyFlag::Sources;
        beginPropertyChange(held, 0, held.propertyCount(), m_setterFlags, childFlags);
    }
}

NotifyScope::PropertyChangeItem::PropertyChangeItem(BoundProperty property, SetterFlags setterFlags,
                                                    NotifyFlags notifyFlags, Unannounced)
    : m_property(std::move(property)),
      m_setterFlags(setterFlags),
      m_notifyFlags(notifyFlags),
      m_pending(true) {}

NotifyScope::PropertyChangeItem::PropertyChangeItem(PropertyChangeItem&& other) noexcept
    : m_property(std::move(other.m_property)),
      m_setterFlags(other.m_setterFlags),
      m_notifyFlags(other.m_notifyFlags),
      m_pending(std::exchange(other.m_pending, false)) {}

NotifyScope::PropertyChangeItem& NotifyScope::PropertyChangeItem::operator=(
    PropertyChangeItem&& other) noexcept {
    // Only empty slots are assigned to: nothing pending is overwritten.
    KOR_ASSERT(!m_pending);
    m_property = std::move(other.m_property);
    m_setterFlags = other.m_setterFlags;
    m_notifyFlags = other.m_notifyFlags;
    m_pending = std::exchange(other.m_pending, false);
    return *this;
}

void NotifyScope::PropertyChangeItem::deliver() {
    if (!std::exchange(m_pending, false) || !m_property.isValid())
        return;
    notify::propertyChanged(m_property, m_setterFlags, m_notifyFlags);
}

NotifyScope::MethodInvokeItem::MethodInvokeItem(BoundProperty method, size_t count,
                                                const tavi::Variant* arguments, SetterFlags setterFlags)
    : MethodInvokeItem(std::move(method), count, arguments, setterFlags, Unannounced{}) {
    announce();
}

void NotifyScope::MethodInvokeItem::announce() {
    notifyDependent(m_property, m_setterFlags, m_notifyFlags);
    notify::methodAboutToBeInvoked(m_property, m_arguments.size(), m_arguments.data(), m_setterFlags,
                                   m_notifyFlags);
}

NotifyScope::MethodInvokeItem::MethodInvokeItem(BoundProperty method, size_t count,
                                                const tavi::Variant* arguments, SetterFlags setterFlags,
                                                Unannounced)
    : m_property(std::move(method)), m_setterFlags(setterFlags), m_arguments(arguments, arguments + count) {
    NotifyStack* stack = NotifyStack::current();
    m_result = stack ? stack->takeResultSlot() : std::make_unique<tavi::Variant>();
}

NotifyScope::MethodInvokeItem::MethodInvokeItem(MethodInvokeItem&& other) noexcept = default;

NotifyScope::MethodInvokeItem& NotifyScope::MethodInvokeItem::operator=(MethodInvokeItem&& other) noexcept {
    KOR_ASSERT(!m_result);
    m_property = std::move(other.m_property);
    m_setterFlags = other.m_setterFlags;
    m_notifyFlags = other.m_notifyFlags;
    m_arguments = std::move(other.m_arguments);
    m_result = std::move(other.m_result);
    return *this;
}

namespace {

void recycle(std::unique_ptr<tavi::Variant>& slot) noexcept {
    if (!slot)
        return;
    if (NotifyStack* stack = NotifyStack::current())
        stack->recycleResultSlot(std::move(slot));
}

} // namespace

NotifyScope::MethodInvokeItem::~MethodInvokeItem() { recycle(m_result); }

void NotifyScope::MethodInvokeItem::cancel() noexcept {
    recycle(m_result);
    m_result.reset(); // kept by recycle at thread end
}

void NotifyScope::MethodInvokeItem::deliver() {
    // Taken out first: delivered once, and the slot recycled, even if a
    // listener throws.
    struct Taken {
        std::unique_ptr<tavi::Variant> slot;
        ~Taken() { recycle(slot); }
    } taken{std::move(m_result)};
    if (!taken.slot || !m_property.isValid())
        return;
    notify::methodInvoked(m_property, m_arguments.size(), m_arguments.data(), *taken.slot, m_setterFlags,
                          m_notifyFlags);
}

// --- scope ------------------------------------------------------------------------

void NotifyScope::enter() {
    Kor::StackTracker::Frame frame("orv::NotifyScope::enter");
    if (NotifyStack* stack = NotifyStack::current())
        stack->enter();
}

void NotifyScope::leave() {
    Kor::StackTracker::Frame frame("orv::NotifyScope::leave");
    if (NotifyStack* stack = NotifyStack::current())
        stack->leave();
}

size_t NotifyScope::depth() {
    const NotifyStack* stack = NotifyStack::current();
    return stack ? stack->depth() : 0;
}

void NotifyScope::beginPropertyChange(const BoundProperty& property, SetterFlags setterFlags,
                                      NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::NotifyScope::beginPropertyChange");
    if (NotifyStack* stack = NotifyStack::current())
        stack->pushPropertyChange(property, setterFlags, notifyFlags);
}

void NotifyScope::beginPropertyChange(const ReflectedObject& object, size_t first, size_t count,
                                      SetterFlags setterFlags, NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::NotifyScope::beginPropertyChange");
    // Each index is made as propertyAt makes it, so an index past the end is
    // reported there ("Property creation from wrong index") and skipped.
    for (size_t offset = 0; offset < count; ++offset)
        beginPropertyChange(object.propertyAt(first + offset), setterFlags, notifyFlags);
}

namespace {

template <class Names>
void beginNamedChanges(const ReflectedObject& object, const Names& names, SetterFlags setterFlags,
                       NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::NotifyScope::beginPropertyChange");
    for (const auto& name : names)
        object.enumerateProperties(Kor::BasicStringRef<char>(name), [&](const BoundProperty& property) {
            NotifyScope::beginPropertyChange(property, setterFlags, notifyFlags);
            return true;
        });
}

} // namespace

void NotifyScope::beginPropertyChange(const ReflectedObject& object,
                                      std::initializer_list<Kor::BasicStringRef<char>> names,
                                      SetterFlags setterFlags, NotifyFlags notifyFlags) {
    beginNamedChanges(object, names, setterFlags, notifyFlags);
}

void NotifyScope::beginPropertyChange(const ReflectedObject& object, const std::vector<std::string>& names,
                                      SetterFlags setterFlags, NotifyFlags notifyFlags) {
    beginNamedChanges(object, names, setterFlags, notifyFlags);
}

tavi::Variant* NotifyScope::beginMethodInvoke(const BoundProperty& method, size_t count,
                                              const tavi::Variant* arguments, SetterFlags setterFlags) {
    Kor::StackTracker::Frame frame("orv::NotifyScope::beginMethodInvoke");
    if (count > 0 && !arguments) {
        Kor::errorMessage("Tried to announce a call of '%s' with %zu arguments and no argument array",
                          method.name().c_str(), count);
        return nullptr;
    }
    NotifyStack* stack = NotifyStack::current();
    NotifyScope::MethodInvokeItem* item =
        stack ? stack->pushMethodInvoke(method, count, arguments, setterFlags) : nullptr;
    return item ? item->result() : nullptr;
}

void NotifyScope::prepareUndo() {
    Kor::StackTracker::Frame frame("orv::NotifyScope::prepareUndo");
    if (NotifyStack* stack = NotifyStack::current())
        stack->prepareUndo();
}

// --- notifiers --------------------------------------------------------------------

PropertyChangeNotifier::PropertyChangeNotifier(const BoundProperty& property, SetterFlags setterFlags,
                                               NotifyFlags notifyFlags) {
    beginPropertyChange(property, setterFlags, notifyFlags);
}

PropertyChangeNotifier::PropertyChangeNotifier(const ReflectedObject& object, size_t first, size_t count,
                                               SetterFlags setterFlags, NotifyFlags notifyFlags) {
    beginPropertyChange(object, first, count, setterFlags, notifyFlags);
}

PropertyChangeNotifier::PropertyChangeNotifier(const ReflectedObject& object,
                                               std::initializer_list<Kor::BasicStringRef<char>> names,
                                               SetterFlags setterFlags, NotifyFlags notifyFlags) {
    beginPropertyChange(object, names, setterFlags, notifyFlags);
}

PropertyChangeNotifier::PropertyChangeNotifier(const ReflectedObject& object,
                                               const std::vector<std::string>& names, SetterFlags setterFlags,
                                               NotifyFlags notifyFlags) {
    beginPropertyChange(object, names, setterFlags, notifyFlags);
}

MethodInvokeNotifier::MethodInvokeNotifier(const BoundProperty& method, size_t count,
                                           const tavi::Variant* arguments, SetterFlags setterFlags)
    : m_result(beginMethodInvoke(method, count, arguments, setterFlags)) {}

MethodInvokeNotifier::MethodInvokeNotifier(const ReflectedObject& object, Kor::BasicStringRef<char> name,
                                           size_t count, const tavi::Variant* arguments,
                                           SetterFlags setterFlags)
    : MethodInvokeNotifier(object.findPropertyByName(name), count, arguments, setterFlags) {}

// A range of no properties is forgotten: nothing is announced either way.
PropertiesRangeNotifier::PropertiesRangeNotifier(ReflectedObject object, size_t first, size_t count,
                                                 Event announce, Event deliver)
    : m_object(count == 0 ? ReflectedObject() : std::move(object)),
      m_first(first),
      m_count(count),
      m_deliver(deliver) {
    if (m_object.isValid())
        announce(m_object, m_first, m_count);
}

PropertiesRangeNotifier::~PropertiesRangeNotifier() noexcept(false) {
    if (m_object.isValid())
        m_deliver(m_object, m_first, m_count);
}

PropertiesAddNotifier::PropertiesAddNotifier(ReflectedObject object, size_t first, size_t count)
    : PropertiesRangeNotifier(std::move(object), first, count, notify::propertiesAboutToBeAdded,
                              notify::propertiesAdded) {}

PropertiesRemoveNotifier::PropertiesRemoveNotifier(ReflectedObject object, size_t first, size_t count)
    : PropertiesRangeNotifier(std::move(object), first, count, notify::propertiesAboutToBeRemoved,
                              notify::propertiesRemoved) {}

PropertiesResetNotifier::PropertiesResetNotifier(ReflectedObject object) : m_object(std::move(object)) {
    if (m_object.isValid())
        notify::propertiesAboutToBeReset(m_object);
}

PropertiesResetNotifier::~PropertiesResetNotifier() noexcept(false) {
    if (m_object.isValid())
        notify::propertiesReset(m_object);
}

} // namespace orv
