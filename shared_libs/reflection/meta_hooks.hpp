#pragma once
// Editor hooks: annotations whose callable runs beside the signals of one
// event, and the functions that raise an event's hooks and signals in their
// fixed order.
//
// Property hooks are read from the changed property's annotations, method
// hooks from the object's and the method's, structure hooks from the
// property through which the object is referenced (none when it is not).
// All hooks of one kind run in annotation order; empty callables are skipped.
// A value filed under a hook's name that is not that hook raises
// tavi::CastError.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstddef>
#include <utility>

namespace orv {
class BoundProperty;
class ReflectedObject;
} // namespace orv

namespace Meta {

namespace meta_hooks_details {

// One callable with the event's signature; user callables may take fewer
// parameters, or the owning object instead of the bound property.
template <class Signature>
struct Hook {
    using Function = orv::FuzzyFunction<Signature, orv::BoundPropertyArgumentConvertor>;

    Hook() = default;
    explicit Hook(Function function) : function(std::move(function)) {}

    Function function;
};

using PropertySignature = void(const orv::BoundProperty&, orv::SetterFlags, orv::NotifyFlags);
using MethodAboutToBeInvokedSignature = void(const orv::BoundProperty&, size_t, const tavi::Variant*,
                                             orv::SetterFlags, orv::NotifyFlags);
using MethodInvokedSignature = void(const orv::BoundProperty&, size_t, const tavi::Variant*,
                                    const tavi::Variant&, orv::SetterFlags, orv::NotifyFlags);
using ObjectSignature = void(const orv::ReflectedObject&);
using PropertyRangeSignature = void(const orv::ReflectedObject&, size_t, size_t);

} // namespace meta_hooks_details

// Distinct types, because annotations are filed under their type's name.

struct OnPropertyAboutToBeChanged : meta_hooks_details::Hook<meta_hooks_details::PropertySignature> {
    using Hook::Hook;

    // A hook that makes a change of the annotated property also announce a
    // change (NotifyFlag::Child added) of the property through which its
    // owner is referenced. Changes forwarded by a multi-selection are not
    // passed up.
    static OnPropertyAboutToBeChanged notifyParent();
    // Announces that change for `object`'s referencing property, if any.
    static void notifyParent(const orv::ReflectedObject& object, orv::SetterFlags setterFlags,
                             orv::NotifyFlags notifyFlags);
};
struct OnPropertyChanged : meta_hooks_details::Hook<meta_hooks_details::PropertySignature> {
    using Hook::Hook;
};
// (method, argument count, arguments, setter flags, notify flags)
struct OnMethodAboutToBeInvoked
    : meta_hooks_details::Hook<meta_hooks_details::MethodAboutToBeInvokedSignature> {
    using Hook::Hook;
};
// (method, argument count, arguments, result, setter flags, notify flags)
struct OnMethodInvoked : meta_hooks_details::Hook<meta_hooks_details::MethodInvokedSignature> {
    using Hook::Hook;
};
// (object)
struct OnPropertiesAboutToBeReset : meta_hooks_details::Hook<meta_hooks_details::ObjectSignature> {
    using Hook::Hook;
};
struct OnPropertiesReset : meta_hooks_details::Hook<meta_hooks_details::ObjectSignature> {
    using Hook::Hook;
};
// (object, first index, count)
struct OnPropertyAboutToBeAdded : meta_hooks_details::Hook<meta_hooks_details::PropertyRangeSignature> {
    using Hook::Hook;
};
struct OnPropertyAdded : meta_hooks_details::Hook<meta_hooks_details::PropertyRangeSignature> {
    using Hook::Hook;
};
struct OnPropertyAboutToBeRemoved : meta_hooks_details::Hook<meta_hooks_details::PropertyRangeSignature> {
    using Hook::Hook;
};
struct OnPropertyRemoved : meta_hooks_details::Hook<meta_hooks_details::PropertyRangeSignature> {
    using Hook::Hook;
};

} // namespace Meta

// One event's hooks and signals, in the order listeners rely on. Called by
// the notify scope and the notifiers when they announce or deliver; the parts
// that need the scope itself (dependent and child properties) are theirs.
// Invalid handles notify nothing. Exceptions from slots and hooks propagate.
namespace orv::notify {

// Meta property signals, then Meta::OnPropertyAboutToBeChanged hooks.
void propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                              NotifyFlags notifyFlags);
// Meta::OnPropertyChanged hooks, then meta property signals.
void propertyChanged(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags);
// Meta property signals, then Meta::OnMethodAboutToBeInvoked hooks of the
// object, then those of the method.
void methodAboutToBeInvoked(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
                            SetterFlags setterFlags, NotifyFlags notifyFlags);
// Meta::OnMethodInvoked hooks of the method, then those of the object, then
// meta property signals.
void methodInvoked(const BoundProperty& method, size_t count, const tavi::Variant* arguments,
                   const tavi::Variant& result, SetterFlags setterFlags, NotifyFlags notifyFlags);

// Hooks, then the meta object's propertyAboutToBeAdded, then its
// structureAboutToBeChanged.
void propertiesAboutToBeAdded(const ReflectedObject& object, size_t first, size_t count);
// The meta object's structureChanged, then propertyAdded, then the hooks.
void propertiesAdded(const ReflectedObject& object, size_t first, size_t count);
// As for adding, with the removal signals and hooks.
void propertiesAboutToBeRemoved(const ReflectedObject& object, size_t first, size_t count);
void propertiesRemoved(const ReflectedObject& object, size_t first, size_t count);
// As for adding, with the reset signals and hooks.
void propertiesAboutToBeReset(const ReflectedObject& object);
void propertiesReset(const ReflectedObject& object);

} // namespace orv::notify
