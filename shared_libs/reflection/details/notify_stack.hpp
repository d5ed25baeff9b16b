#pragma once
// What the write and call paths of BoundProperty ask of this thread's notify
// stack (notify_scope.hpp): the scope of one write or call, announced as a
// PropertyChangeNotifier or MethodInvokeNotifier announces it, or let through
// quietly when nobody would hear it.
//
// A quiet change enters the scope without queuing anything. Nothing is lost
// by that: nobody listened to the announcement, and the change is queued,
// as if announced to nobody, the moment anything on this thread could make
// its delivery heard: another change or call announced, a scope opened inside
// it, a listener connected. So listeners see exactly what they would have
// seen had the change been announced.

#include "platform/variant/variant.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace orv {

class BoundProperty;

namespace notify_scope_details {

class NotifyStack;

// A change let through quietly, for the stack to queue should it come to
// matter. Lives in the write or call that made it.
struct QuietChange {
    const BoundProperty* property = nullptr;
    SetterFlags setterFlags;
    // Calls only: the arguments, and where the queued call wants its result
    // once it has been queued.
    bool call = false;
    size_t count = 0;
    const tavi::Variant* arguments = nullptr;
    tavi::Variant* result = nullptr;
};

// What the scopes of writes and calls share: the thread's stack, the
// handle to act through, and the quiet entry made when nobody would hear.
// Leaves on destruction, which delivers when it is the outermost scope.
class ChangeScope {
public:
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

    // The handle to act through: the copy queued with the announcement
    // (listeners may have destroyed the caller's meanwhile), or the caller's
    // when no listener ran.
    [[nodiscard]] const BoundProperty& handle() const noexcept { return *m_handle; }
    // Entered quietly: nothing was announced, so no listener has run.
    [[nodiscard]] bool isQuiet() const noexcept { return m_isQuiet; }

protected:
    explicit ChangeScope(const BoundProperty& property) noexcept;
    ~ChangeScope() noexcept(false);

    // Enters quietly when `quiet` and nothing is pending on this thread
    // (m_quiet filled in by the caller); false when the scope must be
    // entered and announced instead.
    bool enterQuietly(bool quiet);
    // Enters and runs `announce` (which may queue the change); leaves again
    // when it throws.
    template <class Announce>
    void enterAnnounced(Announce announce);

    NotifyStack* m_stack;
    const BoundProperty* m_handle;
    QuietChange m_quiet;
    bool m_isQuiet = false;
};

// The scope of BoundProperty::set: enters a scope and announces a value
// change of `property`, or, when `quiet` (nobody would hear it) and nothing
// is pending on this thread, enters quietly.
class PropertyWrite : public ChangeScope {
public:
    PropertyWrite(const BoundProperty& property, SetterFlags setterFlags, bool quiet);
};

// The scope of BoundProperty::genericInvoke, as PropertyWrite for a call.
class MethodCall : public ChangeScope {
public:
    MethodCall(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
               SetterFlags setterFlags, bool quiet);

    // Hands the result to the invoked notification, if the call is queued.
    void setResult(const tavi::Variant& result);

private:
    tavi::Variant* m_result = nullptr;
};

// Announces changes of one property (the same one every time), remembering
// which notify bits it has announced in the current outermost scope of this
// thread. The scope would merge a second announcement of those bits away
// without a trace, so the memo skips it without looking the property up: a
// combined property announced once per merged object or per written object
// pays for one lookup per scope instead of one per object.
class AnnouncementMemo {
public:
    // As NotifyScope::beginPropertyChange inside a scope of its own.
    void announce(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags);
    // Announce in full next time (the property is another one now).
    void forget() noexcept { m_round = 0; }

private:
    // The outermost scope the bits were announced in (0: none).
    uint64_t m_round = 0;
    uint32_t m_bits = 0;
};

// A NotifyScope entered only where entering changes anything: outside
// every scope, or with a quiet change pending (which entering queues).
// Nested in an open scope, entering and leaving another is invisible to
// every listener, and merging thousands of properties would do it
// thousands of times.
class ScopeUnlessNested {
public:
    ScopeUnlessNested();
    ~ScopeUnlessNested() noexcept(false);
    ScopeUnlessNested(const ScopeUnlessNested&) = delete;
    ScopeUnlessNested& operator=(const ScopeUnlessNested&) = delete;

private:
    bool m_entered;
};

// Whether a write or call on this thread may go quietly at all: only as an
// outermost scope with nothing left over to deliver. Asked first, as it is
// cheaper than finding out whether anybody listens.
[[nodiscard]] bool quietAdmitted() noexcept;

// A listener is about to appear on this thread (a connection made, a cache
// starting to follow a value): a quiet change pending here is queued now.
void listenerAppears();

// Whether a profiler listens to the library's scopes: announcing opens one.
inline bool profilerAttached() noexcept {
    return ZEL::Profiler::g_hooks.beginScope.load(std::memory_order_acquire) != nullptr;
}

} // namespace notify_scope_details
} // namespace orv
