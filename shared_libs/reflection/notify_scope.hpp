#pragma once
// Batched change notification.
//
// Code that changes reflected data opens a NotifyScope, announces each change
// before making it, makes it, and closes the scope. Announcements (about to
// change, about to be invoked) are delivered at once; the final notifications
// (changed, invoked) queue up and are delivered when the outermost scope of
// the thread closes: last announced first, each property at most once per
// Value/Sources bit. Changes announced while the queue is delivered join the
// same delivery. The scope also brackets the undo commands recorded inside
// it, so that replaying them re-opens a scope around the replayed changes.
//
//     {
//         orv::PropertyChangeNotifier notifier(property, {}, orv::NotifyFlag::Value);
//         ... change the value ...
//     }   // changed notifications go out here (or at the outermost scope)

#include "platform/corekit/string_ref.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <boost/container/small_vector.hpp>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace Meta {

// The named properties of the same object change whenever the annotated
// property (or, on a type, any property or method of the object) does; they
// are announced with `flags` plus NotifyFlag::Dependent.
struct Dependent {
    Dependent() = default;
    explicit Dependent(std::vector<std::string> names, orv::NotifyFlags flags = orv::NotifyFlag::Value)
        : names(std::move(names)), flags(flags) {}

    std::vector<std::string> names;
    orv::NotifyFlags flags;
};

} // namespace Meta

namespace orv {

namespace notify_scope_details {
class NotifyStack;
} // namespace notify_scope_details

// Opens a scope on construction and closes it on destruction. Closing the
// outermost scope delivers the queue; an exception thrown by a listener then
// propagates out of the destructor (the undelivered rest stays queued for the
// next outermost scope).
class NotifyScope {
public:
    class PropertyChangeItem;
    class MethodInvokeItem;

    NotifyScope() { enter(); }
    ~NotifyScope() noexcept(false) { leave(); }
    NotifyScope(const NotifyScope&) = delete;
    NotifyScope& operator=(const NotifyScope&) = delete;

    static void enter();
    static void leave();
    // Nesting depth on this thread (0 outside every scope).
    static size_t depth();

    // Announce changes; call inside a scope.
    static void beginPropertyChange(const BoundProperty& property, SetterFlags setterFlags,
                                    NotifyFlags notifyFlags);
    // The properties first .. first + count - 1 of `object`, in index order.
    static void beginPropertyChange(const ReflectedObject& object, size_t first, size_t count,
                                    SetterFlags setterFlags, NotifyFlags notifyFlags);
    // Every property each name (or pattern) yields, name by name.
    static void beginPropertyChange(const ReflectedObject& object,
                                    std::initializer_list<Kor::BasicStringRef<char>> names,
                                    SetterFlags setterFlags, NotifyFlags notifyFlags);
    static void beginPropertyChange(const ReflectedObject& object, const std::vector<std::string>& names,
                                    SetterFlags setterFlags, NotifyFlags notifyFlags);
    // Announces a call; returns where the result is to be stored for the
    // invoked notification, or null when nothing was queued.
    static tavi::Variant* beginMethodInvoke(const BoundProperty& method, size_t count,
                                            const tavi::Variant* arguments, SetterFlags setterFlags);

    // Called by write paths just before they record an undo command: brackets
    // the commands of the outermost scope (once per scope).
    static void prepareUndo();
};

// A queued property change: announced when made, delivered once by
// deliver(). Destroying an undelivered item drops it (the queue delivers
// before it destroys), so that destruction never throws.
class NotifyScope::PropertyChangeItem {
public:
    // Queues a change that went unannounced because nobody would have heard
    // the announcement.
    struct Unannounced {};

    PropertyChangeItem() = default;
    PropertyChangeItem(BoundProperty property, SetterFlags setterFlags, NotifyFlags notifyFlags);
    PropertyChangeItem(BoundProperty property, SetterFlags setterFlags, NotifyFlags notifyFlags, Unannounced);
    PropertyChangeItem(PropertyChangeItem&& other) noexcept;
    PropertyChangeItem& operator=(PropertyChangeItem&& other) noexcept;

    // The changed notification; nothing when already delivered or moved from.
    void deliver();
    // Not yet delivered (nor moved from).
    bool pending() const noexcept { return m_pending; }
    const BoundProperty& property() const noexcept { return m_property; }
    NotifyFlags notifyFlags() const noexcept { return m_notifyFlags; }

private:
    // The queue builds its items in place, unannounced, and then announces
    // them, so that an item is never moved after it is made.
    friend class notify_scope_details::NotifyStack;
    void announce();
    void cancel() noexcept { m_pending = false; }

    BoundProperty m_property;
    SetterFlags m_setterFlags;
    NotifyFlags m_notifyFlags;
    bool m_pending = false;
};

// A queued method call: announced when made, delivered with its result by
// deliver().
class NotifyScope::MethodInvokeItem {
public:
    using Unannounced = PropertyChangeItem::Unannounced;

    MethodInvokeItem() = default;
    MethodInvokeItem(BoundProperty method, size_t count, const tavi::Variant* arguments,
                     SetterFlags setterFlags);
    MethodInvokeItem(BoundProperty method, size_t count, const tavi::Variant* arguments,
                     SetterFlags setterFlags, Unannounced);
    MethodInvokeItem(MethodInvokeItem&& other) noexcept;
    MethodInvokeItem& operator=(MethodInvokeItem&& other) noexcept;
    ~MethodInvokeItem();

    // The invoked notification; nothing when already delivered or moved from.
    void deliver();
    // Not yet delivered (nor moved from).
    bool pending() const noexcept { return m_result != nullptr; }
    const BoundProperty& property() const noexcept { return m_property; }

    // Stays at one address while the queue grows.
    tavi::Variant* result() const noexcept { return m_result.get(); }

private:
    // Built in place and announced, as PropertyChangeItem.
    friend class notify_scope_details::NotifyStack;
    void announce();
    void cancel() noexcept;

    BoundProperty m_property;
    SetterFlags m_setterFlags;
    NotifyFlags m_notifyFlags;
    // Calls rarely take more than a few arguments: no allocation for those.
    boost::container::small_vector<tavi::Variant, 3> m_arguments;
    // Recycled through the thread's queue, so that calls allocate nothing.
    std::unique_ptr<tavi::Variant> m_result;
};

// Scope plus one announced property change (or a range or list of them).
class PropertyChangeNotifier : public NotifyScope {
public:
    PropertyChangeNotifier(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags);
    PropertyChangeNotifier(const ReflectedObject& object, size_t first, size_t count, SetterFlags setterFlags,
                           NotifyFlags notifyFlags);
    PropertyChangeNotifier(const ReflectedObject& object,
                           std::initializer_list<Kor::BasicStringRef<char>> names, SetterFlags setterFlags,
                           NotifyFlags notifyFlags);
    PropertyChangeNotifier(const ReflectedObject& object, const std::vector<std::string>& names,
                           SetterFlags setterFlags, NotifyFlags notifyFlags);
};

// Scope plus one announced method call; setResult hands the call's result to
// the invoked notification.
class MethodInvokeNotifier : public NotifyScope {
public:
    MethodInvokeNotifier(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
                         SetterFlags setterFlags);
    MethodInvokeNotifier(const ReflectedObject& object, Kor::BasicStringRef<char> name, size_t count,
                         const tavi::Variant* arguments, SetterFlags setterFlags);

    void setResult(tavi::Variant result) {
        if (m_result)
            *m_result = std::move(result);
    }

private:
    tavi::Variant* m_result;
};

// Scope plus the structure announcements of adding or removing a range of
// properties; the final structure notifications go out on destruction. A
// range of no properties announces nothing.
class PropertiesRangeNotifier : public NotifyScope {
public:
    ~PropertiesRangeNotifier() noexcept(false);

protected:
    using Event = void (*)(const ReflectedObject&, size_t, size_t);
    PropertiesRangeNotifier(ReflectedObject object, size_t first, size_t count, Event announce,
                            Event deliver);

private:
    ReflectedObject m_object;
    size_t m_first;
    size_t m_count;
    Event m_deliver;
};

class PropertiesAddNotifier : public PropertiesRangeNotifier {
public:
    PropertiesAddNotifier(ReflectedObject object, size_t first, size_t count);
};

class PropertiesRemoveNotifier : public PropertiesRangeNotifier {
public:
    PropertiesRemoveNotifier(ReflectedObject object, size_t first, size_t count);
};

// Scope plus the reset announcements of an object.
class PropertiesResetNotifier : public NotifyScope {
public:
    explicit PropertiesResetNotifier(ReflectedObject object);
    ~PropertiesResetNotifier() noexcept(false);

private:
    ReflectedObject m_object;
};

} // namespace orv
