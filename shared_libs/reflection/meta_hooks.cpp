#include "shared_libs/reflection/meta_hooks.hpp"

#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

Meta::OnPropertyAboutToBeChanged Meta::OnPropertyAboutToBeChanged::notifyParent() {
    return OnPropertyAboutToBeChanged(
        [](const orv::ReflectedObject& owner, orv::SetterFlags setterFlags, orv::NotifyFlags notifyFlags) {
            if (!notifyFlags.test(orv::NotifyFlag::MultiSelection))
                notifyParent(owner, setterFlags, notifyFlags);
        });
}

void Meta::OnPropertyAboutToBeChanged::notifyParent(const orv::ReflectedObject& object,
                                                    orv::SetterFlags setterFlags,
                                                    orv::NotifyFlags notifyFlags) {
    const orv::BoundProperty parent = object.reference();
    if (parent.isValid())
        orv::NotifyScope::beginPropertyChange(parent, setterFlags, notifyFlags | orv::NotifyFlag::Child);
}

namespace orv {

// The dispatchers of meta objects and meta properties are protected so that
// only the notification path raises them; this is that path.
struct notify_scope_details::Dispatch {
    using ObjectEvent = void (MetaObject::*)(const ReflectedObject&);
    using RangeEvent = void (MetaObject::*)(const ReflectedObject&, size_t, size_t);
    using PropertyEvent = void (MetaProperty::*)(const BoundProperty&, SetterFlags, NotifyFlags) const;

    static constexpr ObjectEvent s_structureAboutToBeChanged = &MetaObject::structureAboutToBeChanged;
    static constexpr ObjectEvent s_structureChanged = &MetaObject::structureChanged;
    static constexpr ObjectEvent s_propertiesAboutToBeReset = &MetaObject::propertiesAboutToBeReset;
    static constexpr ObjectEvent s_propertiesReset = &MetaObject::propertiesReset;
    static constexpr RangeEvent s_propertyAboutToBeAdded = &MetaObject::propertyAboutToBeAdded;
    static constexpr RangeEvent s_propertyAdded = &MetaObject::propertyAdded;
    static constexpr RangeEvent s_propertyAboutToBeRemoved = &MetaObject::propertyAboutToBeRemoved;
    static constexpr RangeEvent s_propertyRemoved = &MetaObject::propertyRemoved;
    static constexpr PropertyEvent s_propertyAboutToBeChanged = &MetaProperty::propertyAboutToBeChanged;
    static constexpr PropertyEvent s_propertyChanged = &MetaProperty::propertyChanged;
    static constexpr auto s_methodAboutToBeInvoked = &MetaProperty::methodAboutToBeInvoked;
    static constexpr auto s_methodInvoked = &MetaProperty::methodInvoked;
};

namespace {

using MetaObjectEvents = notify_scope_details::Dispatch;
using MetaPropertyEvents = notify_scope_details::Dispatch;

template <class Hook, class... Args>
void runHooks(const Annotations& annotations, const Args&... args) {
    for (const Hook& hook : annotationsOf<Hook>(annotations))
        if (hook.function)
            hook.function(args...);
}

// The hooks of a structure event live on the property that references the
// object; an object reached directly has none.
template <class Hook, class... Args>
void runReferenceHooks(const ReflectedObject& object, const Args&... args) {
    const BoundProperty reference = object.reference();
    if (reference.isValid())
        runHooks<Hook>(reference.annotations(), object, args...);
}

template <class Event, class... Args>
void raise(const ReflectedObject& object, Event event, const Args&... args) {
    if (MetaObject* meta = object.metaObject())
        (meta->*event)(object, args...);
}

template <class Event, class... Args>
void raise(const BoundProperty& property, Event event, const Args&... args) {
    if (const std::shared_ptr<MetaProperty> meta = property.metaProperty())
        ((*meta).*event)(property, args...);
}

} // namespace

namespace notify {

void propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                              NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::notify::propertyAboutToBeChanged");
    if (!property.isValid())
        return;
    raise(property, MetaPropertyEvents::s_propertyAboutToBeChanged, setterFlags, notifyFlags);
    if (property.annotationTraits().test(bound_property_details::AnnotationTrait::AboutToChangeHooks))
        runHooks<Meta::OnPropertyAboutToBeChanged>(property.annotations(), property, setterFlags,
                                                   notifyFlags);
}

void propertyChanged(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::notify::propertyChanged");
    if (!property.isValid())
        return;
    if (property.annotationTraits().test(bound_property_details::AnnotationTrait::ChangedHooks))
        runHooks<Meta::OnPropertyChanged>(property.annotations(), property, setterFlags, notifyFlags);
    raise(property, MetaPropertyEvents::s_propertyChanged, setterFlags, notifyFlags);
}

void methodAboutToBeInvoked(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
                            SetterFlags setterFlags, NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::notify::methodAboutToBeInvoked");
    if (!method.isValid())
        return;
    raise(method, MetaPropertyEvents::s_methodAboutToBeInvoked, count, arguments, setterFlags, notifyFlags);
    runHooks<Meta::OnMethodAboutToBeInvoked>(method.object().annotations(), method, count, arguments,
                                             setterFlags, notifyFlags);
    runHooks<Meta::OnMethodAboutToBeInvoked>(method.annotations(), method, count, arguments, setterFlags,
                                             notifyFlags);
}

void methodInvoked(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
                   const tavi::Variant& result, SetterFlags setterFlags, NotifyFlags notifyFlags) {
    Kor::StackTracker::Frame frame("orv::notify::methodInvoked");
    if (!method.isValid())
        return;
    runHooks<Meta::OnMethodInvoked>(method.annotations(), method, count, arguments, result, setterFlags,
                                    notifyFlags);
    runHooks<Meta::OnMethodInvoked>(method.object().annotations(), method, count, arguments, result,
                                    setterFlags, notifyFlags);
    raise(method, MetaPropertyEvents::s_methodInvoked, count, arguments, result, setterFlags, notifyFlags);
}

void propertiesAboutToBeAdded(const ReflectedObject& object, size_t first, size_t count) {
    Kor::StackTracker::Frame frame("orv::notify::propertiesAboutToBeAdded");
    if (!object.isValid())
        return;
    runReferenceHooks<Meta::OnPropertyAboutToBeAdded>(object, first, count);
    raise(object, MetaObjectEvents::s_propertyAboutToBeAdded, first, count);
    raise(object, MetaObjectEvents::s_structureAboutToBeChanged);
}

void propertiesAdded(const ReflectedObject& object, size_t first, size_t count) {
    Kor::StackTracker::Frame frame("orv::notify::propertiesAdded");
    if (!object.isValid())
        return;
    raise(object, MetaObjectEvents::s_structureChanged);
    raise(object, MetaObjectEvents::s_propertyAdded, first, count);
    runReferenceHooks<Meta::OnPropertyAdded>(object, first, count);
}

void propertiesAboutToBeRemoved(const ReflectedObject& object, size_t first, size_t count) {
    Kor::StackTracker::Frame frame("orv::notify::propertiesAboutToBeRemoved");
    if (!object.isValid())
        return;
    runReferenceHooks<Meta::OnPropertyAboutToBeRemoved>(object, first, count);
    raise(object, MetaObjectEvents::s_propertyAboutToBeRemoved, first, count);
    raise(object, MetaObjectEvents::s_structureAboutToBeChanged);
}

void propertiesRemoved(const ReflectedObject& object, size_t first, size_t count) {
    Kor::StackTracker::Frame frame("orv::notify::propertiesRemoved");
    if (!object.isValid())
        return;
    raise(object, MetaObjectEvents::s_structureChanged);
    raise(object, MetaObjectEvents::s_propertyRemoved, first, count);
    runReferenceHooks<Meta::OnPropertyRemoved>(object, first, count);
}

void propertiesAboutToBeReset(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::notify::propertiesAboutToBeReset");
    if (!object.isValid())
        return;
    runReferenceHooks<Meta::OnPropertiesAboutToBeReset>(object);
    raise(object, MetaObjectEvents::s_propertiesAboutToBeReset);
    raise(object, MetaObjectEvents::s_structureAboutToBeChanged);
}

void propertiesReset(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::notify::propertiesReset");
    if (!object.isValid())
        return;
    raise(object, MetaObjectEvents::s_structureChanged);
    raise(object, MetaObjectEvents::s_propertiesReset);
    runReferenceHooks<Meta::OnPropertiesReset>(object);
}

} // namespace notify
} // namespace orv
