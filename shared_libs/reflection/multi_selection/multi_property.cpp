#include "shared_libs/reflection/multi_selection/multi_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/details/annotation_traits.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/multi_selection/details/sync_suspension.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/stateless.hpp"

#include <type_traits>
#include <typeinfo>
#include <utility>

namespace orv {

using multi_selection_details::PropertyWatch;
using multi_selection_details::SyncSuspension;

namespace {

// Gaining or losing a merged property changes the value and what it derives
// from its sources.
constexpr NotifyFlags s_subPropertiesChanged =
    NotifyFlag::Value | NotifyFlag::Sources | NotifyFlag::MultiSelection;

const MultiSelection* selectionOf(const GenericObject* owner) {
    return genericObjectCast<MultiSelection>(owner);
}

MultiSelection::Mode modeOf(const GenericObject* owner) {
    const MultiSelection* selection = selectionOf(owner);
    return selection ? selection->mode() : MultiSelection::Mode::Union;
}

Annotations withStateless(Annotations annotations) {
    annotations += tavi::Variant(Meta::Stateless(Meta::Stateless::Mode::Shallow));
    return annotations;
}

// Calls `f` on the multi-property of type P that `self` is a handle of. The
// description is looked up through the handle rather than captured, so a
// copy of it (clone) never calls into a property that has gone.
template <class P, class F>
auto through(const BoundProperty& self, F&& f) -> decltype(f(std::declval<P&>())) {
    using Result = decltype(f(std::declval<P&>()));
    const std::shared_ptr<MetaProperty> description = self.metaProperty();
    auto* property = dynamic_cast<P*>(description.get());
    if constexpr (std::is_void_v<Result>) {
        if (property)
            f(*property);
    } else {
        return property ? f(*property) : Result();
    }
}

std::unique_ptr<ReduceMap> makeReduceMap(const BoundProperty& self) {
    const ReduceMapFactory factory = self.reduceMapFactory();
    std::unique_ptr<ReduceMap> map = factory();
    if (!map) {
        Kor::warningMessage(
            "Reduce map factory of property '%s' made no reduce map: values are compared for equality",
            self.name().c_str());
        map = std::make_unique<EqualReduceMap>();
    }
    return map;
}

int32_t priorityOf(const BoundProperty& sub) {
    // Most properties have no annotations at all, which their cached traits
    // tell without a copy of them.
    if (sub.isValid() && sub.annotationTraits().test(bound_property_details::AnnotationTrait::Blank))
        return 0;
    const Annotations annotations = sub.annotations();
    const auto* priority = findAnnotation<Meta::MultiSelection::Priority>(annotations);
    return priority && priority->function ? priority->function(sub) : 0;
}

} // namespace

// --- BaseMultiProperty ----------------------------------------------------------------------------

MultiSelection::BaseMultiProperty::BaseMultiProperty(GenericObject* owner, const std::type_info& propertyType,
                                                     const std::type_info& storageType, tavi::Variant key,
                                                     Annotations annotations)
    : NotifyableMetaProperty<1>(GenericMetaObject::instance(), propertyType, storageType, std::move(key),
                                withStateless(std::move(annotations)), Getter(), Setter()),
      m_owner(owner),
      m_watch([this](PropertyWatch::Event event, const BoundProperty& sub, SetterFlags setterFlags,
                     NotifyFlags notifyFlags) {
          if (event == PropertyWatch::Event::AboutToChange)
              subPropertyAboutToBeChanged(sub, setterFlags, notifyFlags);
          else
              subPropertyChanged(sub, setterFlags, notifyFlags);
      }) {}

MultiSelection::BaseMultiProperty::~BaseMultiProperty() = default;

meta_property::VisibilityFlags MultiSelection::BaseMultiProperty::visibility(const BoundProperty&) {
    const Kor::array_view<const BoundProperty> subs = subProperties();
    if (modeOf(m_owner) == Mode::Union) {
        meta_property::VisibilityFlags visible = meta_property::HIDDEN;
        for (const BoundProperty& sub : subs) {
            if (!sub.isValid())
                return meta_property::VISIBLE_EVERYWHERE;
            visible |= sub.visibility();
        }
        return visible;
    }
    meta_property::VisibilityFlags visible = meta_property::VISIBLE_EVERYWHERE;
    for (const BoundProperty& sub : subs)
        if (sub.isValid())
            visible &= sub.visibility();
    return visible;
}

bool MultiSelection::BaseMultiProperty::mergeProperty(const BoundProperty& sub) {
    if (getter())
        watch(sub);
    return true;
}

// The final changes of a thousand sub-properties cost as much to follow as
// their announcements. A value property does nothing with them, so its
// sub-properties are followed for announcements only; a class derived from
// it (or any other) may react to them and hears both.
void MultiSelection::BaseMultiProperty::watch(const BoundProperty& sub) {
    m_watch.add(sub, typeid(*this) == typeid(ValueMultiProperty) ? PropertyWatch::Events::AboutToChange
                                                                 : PropertyWatch::Events::All);
}

bool MultiSelection::BaseMultiProperty::unmergeProperty(const BoundProperty& sub) {
    unwatch(sub);
    return true;
}

void MultiSelection::BaseMultiProperty::subPropertyAboutToBeChanged(const BoundProperty&,
                                                                    SetterFlags setterFlags,
                                                                    NotifyFlags notifyFlags) {
    announce(setterFlags, notifyFlags | NotifyFlag::MultiSelection);
}

void MultiSelection::BaseMultiProperty::subPropertyChanged(const BoundProperty&, SetterFlags, NotifyFlags) {}

// --- ValueMultiProperty ---------------------------------------------------------------------------

MultiSelection::ValueMultiProperty::ValueMultiProperty(GenericObject* owner,
                                                       const std::type_info& propertyType,
                                                       const std::type_info& storageType, tavi::Variant key,
                                                       Annotations annotations)
    : BaseMultiProperty(owner, propertyType, storageType, std::move(key), std::move(annotations)) {}

MultiSelection::ValueMultiProperty::~ValueMultiProperty() = default;

bool MultiSelection::ValueMultiProperty::mergeProperty(const BoundProperty& sub) {
    const notify_scope_details::ScopeUnlessNested scope;
    // Read without taking a reference: alive as long as the sub-property is.
    if (!admit(sub.metaPropertyAddress(), sub.object()))
        return false;
    makeHandles();
    m_subs.push_back(sub, Entry{priorityOf(sub), {}});
    return BaseMultiProperty::mergeProperty(sub);
}

bool MultiSelection::ValueMultiProperty::mergeDeferred(
    const std::shared_ptr<multi_selection_details::ObjectBatch>& batch, size_t position, size_t index,
    const MetaProperty& description, const void* identity) {
    // What mergeProperty() would do, but for the handle (and the priority
    // read through it), which come when one is asked for.
    if (!description.getter() || !getter() || !watchInstance(description, identity))
        return false;
    const notify_scope_details::ScopeUnlessNested scope;
    admit(&description, (*batch)[position]);
    m_deferred.append(batch, position, index);
    return true;
}

void MultiSelection::ValueMultiProperty::makeHandles() const {
    if (m_deferred.empty())
        return;
    m_subs.reserve(m_subs.size() + m_deferred.size());
    // The priorities are user functions, which may read this property.
    m_deferred.drain([this](const ReflectedObject& object, size_t index) {
        BoundProperty sub(object, index);
        const int32_t priority = priorityOf(sub);
        m_subs.push_back(std::move(sub), Entry{priority, {}});
    });
}

bool MultiSelection::ValueMultiProperty::admit(const MetaProperty* description,
                                               const ReflectedObject& object) {
    if (description && description->getter()) {
        if (method())
            return false;
        if (!getter())
            setGetter([](const BoundProperty& self) {
                return through<const ValueMultiProperty>(
                    self, [&](const ValueMultiProperty& p) { return p.get(self); });
            });
        if (!setter() && description->setter() && !object.isConst())
            setSetter([](const BoundProperty& self, const tavi::Variant& value, SetterFlags flags) {
                through<ValueMultiProperty>(self, [&](ValueMultiProperty& p) { p.set(self, value, flags); });
            });
        announce({}, s_subPropertiesChanged);
    } else if (description && description->method()) {
        if (getter())
            return false;
        if (!method()) {
            // Takes what the first sub-method takes; each sub-method checks
            // the arguments for itself.
            const size_t arity = description->method().function()->arity();
            setMethod(Method(BasicGenericFunction<const BoundProperty&, SetterFlags>::identity(
                [](const BoundProperty& self, SetterFlags flags, size_t count,
                   const tavi::Variant* arguments) {
                    return through<const ValueMultiProperty>(self, [&](const ValueMultiProperty& p) {
                        return p.genericInvoke(self, flags, count, arguments);
                    });
                },
                arity)));
        }
    } else {
        Kor::criticalMessage(__FILE__, __LINE__, "Subproperty is neither value nor method");
        return false;
    }
    return true;
}

void MultiSelection::ValueMultiProperty::erase(size_t index) {
    const BoundProperty sub = m_subs.first(index);
    m_subs.erase(index);
    BaseMultiProperty::unmergeProperty(sub);
}

bool MultiSelection::ValueMultiProperty::unmergeProperty(const BoundProperty& sub) {
    makeHandles();
    for (size_t i = 0; i < m_subs.size(); ++i) {
        if (!(m_subs.first(i) == sub))
            continue;
        const NotifyScope scope;
        if (getter())
            announce({}, s_subPropertiesChanged);
        erase(i);
        return true;
    }
    return false;
}

void MultiSelection::ValueMultiProperty::forgetInstance(const void* instance) {
    const NotifyScope scope;
    // The deferred ones first, without making handles for objects that may
    // be going: the announcement runs listeners, which may read (and so
    // make the handles of those still deferred).
    const bool forgotDeferred = m_deferred.removeIf(
        [instance](const ReflectedObject& object) { return objectIdentity(object) == instance; });
    bool announced = !getter();
    const auto announceOnce = [&] {
        if (!std::exchange(announced, true))
            announce({}, s_subPropertiesChanged);
    };
    if (forgotDeferred)
        announceOnce();
    for (size_t i = m_subs.size(); i-- > 0;) {
        if (objectIdentity(m_subs.first(i).object()) != instance)
            continue;
        announceOnce();
        m_subs.erase(i);
    }
    unwatchInstance(instance);
}

tavi::Variant MultiSelection::ValueMultiProperty::get(const BoundProperty& self) const {
    Kor::StackTracker::Frame frame("orv::MultiSelection::ValueMultiProperty::get");
    makeHandles();
    const std::unique_ptr<ReduceMap> map = makeReduceMap(self);
    for (size_t i = 0; i < m_subs.size(); ++i)
        if (!map->reduce(m_subs.first(i).get(), m_subs.second(i).priority))
            break;
    return map->reduced();
}

void MultiSelection::ValueMultiProperty::set(const BoundProperty& self, const tavi::Variant& value,
                                             SetterFlags flags) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::ValueMultiProperty::set");
    // Held here while the properties are written: a listener writing this
    // property again starts an edit of its own rather than ending this one.
    std::unique_ptr<ReduceMap> map = std::move(m_editMap);
    makeHandles();
    if (!map) {
        map = makeReduceMap(self);
        for (size_t i = 0; i < m_subs.size(); ++i) {
            Entry& entry = m_subs.second(i);
            entry.start = m_subs.first(i).get();
            map->reduce(entry.start, entry.priority);
        }
    }
    for (size_t i = 0; i < m_subs.size(); ++i) {
        Entry& entry = m_subs.second(i);
        // Merged while the edit runs: it starts from where it is now.
        if (entry.start.isVoid())
            entry.start = m_subs.first(i).get();
        const tavi::Variant mapped = map->map(value, entry.start);
        m_subs.first(i).set(mapped, flags);
    }
    if (flags.test(SetterFlag::Intermediate)) {
        if (!m_editMap)
            m_editMap = std::move(map);
        return;
    }
    for (size_t i = 0; i < m_subs.size(); ++i)
        m_subs.second(i).start.reset();
}

tavi::Variant MultiSelection::ValueMultiProperty::genericInvoke(const BoundProperty& self, SetterFlags flags,
                                                                size_t count,
                                                                const tavi::Variant* arguments) const {
    Kor::StackTracker::Frame frame("orv::MultiSelection::ValueMultiProperty::genericInvoke");
    makeHandles();
    const std::unique_ptr<ReduceMap> map = makeReduceMap(self);
    // Every sub-method is invoked, whatever the map makes of the results.
    for (size_t i = 0; i < m_subs.size(); ++i) {
        const int32_t priority = m_subs.second(i).priority;
        const BoundProperty sub = m_subs.first(i);
        map->reduce(sub.genericInvoke(flags, count, arguments), priority);
    }
    return map->reduced();
}

// --- ObjectMultiProperty --------------------------------------------------------------------------

MultiSelection::ObjectMultiProperty::ObjectMultiProperty(GenericObject* owner, tavi::Variant key,
                                                         Annotations annotations, bool nested)
    : BaseMultiProperty(owner, typeid(tavi::Variant), typeid(tavi::Variant), std::move(key),
                        std::move(annotations)),
      m_selection(modeOf(owner), selectionOf(owner) && selectionOf(owner)->impl()->classifies(), nested) {
    setGetter([](const BoundProperty& self) {
        return through<const ObjectMultiProperty>(self,
                                                  [&](const ObjectMultiProperty& p) { return p.get(self); });
    });
    if (!owner)
        return;
    m_selection.setVolatility(owner->getVolatility());
    // Both read the mode when they rebuild; the binding keeps the nested
    // one's mode property following its owner's.
    const SyncSuspension suspension;
    const tavi::Variant modeKey(std::string("_multiselectionMode"));
    m_selection.findProperty(modeKey).bind(owner->findProperty(modeKey));
}

MultiSelection::ObjectMultiProperty::~ObjectMultiProperty() = default;

void MultiSelection::ObjectMultiProperty::setBoundProperty(BoundProperty property) {
    m_selection.impl()->setHolder(property);
    BaseMultiProperty::setBoundProperty(std::move(property));
}

void MultiSelection::ObjectMultiProperty::announceValue() const {
    announce({}, NotifyFlag::Value | NotifyFlag::MultiSelection);
}

// The value goes from nothing to the object, or from the object to the
// nested selection.
bool MultiSelection::ObjectMultiProperty::mergeObject(const ReflectedObject& object,
                                                      const BoundProperty& sub) {
    const NotifyScope scope;
    if (m_selection.size() < 2)
        announceValue();
    m_selection.merge(object, sub);
    return true;
}

bool MultiSelection::ObjectMultiProperty::unmergeObject(const ReflectedObject& object, const BoundProperty&) {
    if (m_selection.empty())
        return false;
    const NotifyScope scope;
    if (m_selection.size() <= 2)
        announceValue();
    return m_selection.unmerge(object);
}

// A value that is neither an object nor a null pointer (which may come to
// point to one) cannot join the others.
bool MultiSelection::ObjectMultiProperty::mergeProperty(const BoundProperty& sub) {
    if (!sub.isValue())
        return false;
    const tavi::Variant value = sub.get();
    if (!value.isPointer())
        return false;
    const ReflectedObject object(sub);
    if (value.isNonNullPointer() && !object.isValid())
        return false;
    return mergeObject(object, sub);
}

// By the entry reached through `sub`: what `sub` holds may have changed
// since it was merged.
bool MultiSelection::ObjectMultiProperty::unmergeProperty(const BoundProperty& sub) {
    const Kor::array_view<const BoundProperty> subs = m_selection.subProperties();
    for (size_t i = 0; i < subs.size(); ++i) {
        if (!(subs[i] == sub))
            continue;
        const NotifyScope scope;
        if (subs.size() <= 2)
            announceValue();
        return m_selection.unmerge(i);
    }
    return unmergeObject(ReflectedObject(sub), sub);
}

void MultiSelection::ObjectMultiProperty::forgetInstance(const void* instance) {
    const NotifyScope scope;
    if (m_selection.size() <= 2)
        announceValue();
    m_selection.impl()->forgetInstance(instance);
}

tavi::Variant MultiSelection::ObjectMultiProperty::get(const BoundProperty&) const {
    if (m_selection.size() == 1)
        return m_selection.subObjects().front().get();
    return tavi::Variant(static_cast<GenericObject*>(const_cast<MultiSelection*>(&m_selection)));
}

} // namespace orv
