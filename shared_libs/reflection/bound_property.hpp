#pragma once
// Handle to one property (or method) of one live object, and the
// per-(instance, property) record behind it.
//
// A BoundProperty pairs a ReflectedObject with a weak reference to the
// property's PropertyData (or, for properties without per-instance data, to
// the MetaProperty itself) and a pointer to the property's per-reference
// cache. It turns invalid by itself when what it refers to goes, and every
// operation then degrades to a neutral result.

#include "orv_cpp_utils/signal.hpp"
#include "platform/corekit/string_ref.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/annotation_traits.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/multi_selection/reduce_map.hpp"
#include "shared_libs/reflection/property_flags.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/type_info.hpp"
#include "shared_libs/shared_common/ptr_variant.hpp"

#include <atomic>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orv {

class BoundPropertyContextData;
class PropertyData;

class BoundProperty {
public:
    class BindingBody;
    // A live binding that keeps this property computed from others; it ends
    // with the target's per-instance data, or earlier through unbind().
    using Binding = std::weak_ptr<BindingBody>;

    BoundProperty() noexcept = default;
    // "Property creation from wrong index" and an invalid handle when the
    // object has no property at `index`.
    BoundProperty(ReflectedObject object, size_t index);

    // The object is valid and the property's record lives: its PropertyData,
    // or, without per-instance data, its slot in the object's context (and
    // its description). A removal or a reset of the object's properties
    // takes both, so older handles to those properties turn invalid and stay
    // so; they do not look for a property of the same name again.
    [[nodiscard]] bool isValid() const noexcept;
    explicit operator bool() const noexcept { return isValid(); }

    [[nodiscard]] const ReflectedObject& object() const& noexcept { return m_object; }
    [[nodiscard]] ReflectedObject object() && noexcept {
        m_data.reset();
        return std::move(m_object);
    }
    [[nodiscard]] std::shared_ptr<MetaProperty> metaProperty() const;
    [[nodiscard]] PropertyData* propertyData() const noexcept;
    [[nodiscard]] BoundPropertyContextData* contextData() const noexcept;

    [[nodiscard]] const tavi::Variant& key() const;
    [[nodiscard]] const std::string& name() const;
    [[nodiscard]] const std::type_info& propertyType() const;
    [[nodiscard]] const std::type_info& storageType() const;
    [[nodiscard]] bool isValue() const;
    [[nodiscard]] bool isMethod() const;
    // No description, no setter, or an instance held through a const pointer.
    [[nodiscard]] bool isConst() const;
    [[nodiscard]] TypeInfo typeInfo() const;

    // The getter's value; empty when there is none. A getter that cannot take
    // the instance reports "Error getting property '%s': %s".
    [[nodiscard]] tavi::Variant get() const;
    // Writes through the validator (unless `flags` has NoValidation), inside
    // a notify scope, recording the old value for undo unless the property is
    // stateless or the open transaction ignores undos. False when there is no
    // setter or the validator refuses.
    bool set(const tavi::Variant& value, SetterFlags flags = {}) const;
    // Calls the method with `count` arguments, announcing the call; an empty
    // value (and a message) when the handle is not a callable method or the
    // call's arguments do not fit.
    tavi::Variant genericInvoke(SetterFlags flags, size_t count, const tavi::Variant* arguments) const;
    template <class... Args>
    tavi::Variant invoke(Args&&... arguments) const {
        const tavi::Variant list[] = {tavi::Variant(std::forward<Args>(arguments))..., tavi::Variant()};
        return genericInvoke({}, sizeof...(Args), list);
    }

    // The description's annotations plus those handed down by Meta::Children
    // of the object's type and of the property holding the object. Cached.
    [[nodiscard]] Annotations annotations() const;
    [[nodiscard]] meta_property::VisibilityFlags visibility() const;
    // A Meta::ReadOnly of the property, of its declaring type, or a read-only
    // property holding the object.
    [[nodiscard]] bool isReadOnly() const;
    // The property's own stateless rule, raised to its object's mode; Deep
    // on the property wins. Cached.
    [[nodiscard]] Meta::Stateless::Mode statelessMode() const;
    [[nodiscard]] bool isStateless() const { return statelessMode() != Meta::Stateless::Mode::None; }

    // The validator in force: this handle's override, else the property's
    // Meta::Validator; may be empty.
    [[nodiscard]] Validator validator() const;
    // Overrides the validator for this handle and copies made from now on;
    // an empty validator disables validation for them.
    void setValidator(Validator validator);
    // Makes the reduce maps for multi-selection reads: this handle's override,
    // else the property's Meta::MultiSelection::ReduceMap, else EqualReduceMap.
    [[nodiscard]] ReduceMapFactory reduceMapFactory() const;
    // Overrides the factory for this handle; an empty one removes the override.
    void setReduceMapFactory(ReduceMapFactory factory);

    // Sets this property to the source's value now and after every change of
    // the source, with that change's setter flags.
    Binding bind(const BoundProperty& source) const;
    // Sets this property to `compute()` now and after every change of any source.
    Binding bind(std::initializer_list<BoundProperty> sources, std::function<tavi::Variant()> compute) const;
    // Ends a binding early; false when it has already ended.
    static bool unbind(const Binding& binding);
    // Free-form per-property user data; null without per-instance data.
    tavi::Variant* userData(Kor::BasicStringRef<char> name) const;

    // Slots for this property of this instance; where they are kept is the
    // meta property's choice. Empty connections without a description.
    zel::Connection connectPropertyAboutToBeChanged(const MetaProperty::PropertySlot& slot) const;
    zel::Connection connectPropertyChanged(const MetaProperty::PropertySlot& slot) const;
    zel::Connection connectMethodAboutToBeInvoked(const MetaProperty::MethodAboutToBeInvokedSlot& slot) const;
    zel::Connection connectMethodInvoked(const MetaProperty::MethodInvokedSlot& slot) const;

    // Same meta property and same object.
    friend bool operator==(const BoundProperty& a, const BoundProperty& b);
    [[nodiscard]] size_t hash() const;
    // metaProperty().get() without taking a reference: with object().get(),
    // what identifies the property for equality and hashing.
    [[nodiscard]] const MetaProperty* metaPropertyAddress() const noexcept;
    // What annotations() holds that writes, calls and their notifications
    // ask about (validator, hooks, dependents), cached with the annotations;
    // only for a valid handle.
    [[nodiscard]] bound_property_details::AnnotationTraits annotationTraits() const;

private:
    friend class BoundPropertyContextData;
    friend class ReflectedObjectReference;
    friend class PropertyData;

    // Per-handle overrides, shared by copies until one of them writes.
    struct PrivateData {
        std::optional<ReduceMapFactory> reduceMapFactory;
        std::optional<Validator> validator;
    };

    // Where a property's slots live is its meta property's choice.
    template <class Slot>
    using Connector = zel::Connection (MetaProperty::*)(const BoundProperty&, zel::InlineConnection*,
                                                        const Slot&, int) const;
    template <class Slot>
    zel::Connection connect(Connector<Slot> connector, zel::InlineConnection* storage, const Slot& slot,
                            int priority) const;
    // With storage in the caller and a priority: for caches and bindings.
    zel::Connection connectPropertyChanged(zel::InlineConnection* storage,
                                           const MetaProperty::PropertySlot& slot, int priority) const;

    void initContextData(size_t index);
    // metaPropertyAddress(), inlined where it is defined.
    const MetaProperty* liveMetaProperty() const noexcept;
    // Whether m_data observes the meta property through m_contextData.
    bool observesSlot() const noexcept { return m_contextData && m_data.is<MetaProperty>(); }
    PrivateData& detach();
    // The cached Meta::Validator of the property, shared so that a write need
    // not copy it; null when there is none.
    std::shared_ptr<const Validator> sharedValidator() const;
    // Runs the validator in force on a copy of `value` (left in `validated`);
    // false when it refuses.
    bool validate(const tavi::Variant& value, SetterFlags flags,
                  bound_property_details::AnnotationTraits traits,
                  std::optional<tavi::Variant>& validated) const;
    // metaProperty() as writes and calls hold it: one reference, taken on the
    // description only (not on the property's data on the way).
    [[nodiscard]] std::shared_ptr<MetaProperty> heldMetaProperty() const;
    // Whether anybody would hear the announcement of a change (a call) of
    // this property: slots, hooks, dependents, an attached profiler.
    bool changeHeard(const MetaProperty& property, bound_property_details::AnnotationTraits traits) const;
    bool callHeard(const MetaProperty& property, bound_property_details::AnnotationTraits traits) const;
    template <class T, class Compute>
    T cached(BoundPropertyContextData* context, std::optional<T>& (BoundPropertyContextData::*slot)(),
             Compute&& compute) const;
    Annotations computeAnnotations() const;

    ReflectedObject m_object;
    // The PropertyData; or, for a property without it, the meta property
    // observed through the lifetime of its context slot (through its own
    // when the object has no context).
    WeakPtrVariant<PropertyData, MetaProperty> m_data;
    // Valid while the handle is: the slot goes no earlier than the
    // PropertyData, and m_data watches it otherwise.
    BoundPropertyContextData* m_contextData = nullptr;
    std::shared_ptr<PrivateData> m_private;
};

// What a binding owns: the compute function, the target, and one connection
// per source. Owned by the target's PropertyData; dying disconnects.
class BoundProperty::BindingBody {
public:
    using List = std::list<std::shared_ptr<BindingBody>>;

    BindingBody(std::function<tavi::Variant()> compute, BoundProperty target, List& list);
    BindingBody(const BindingBody&) = delete;
    BindingBody& operator=(const BindingBody&) = delete;

    // Connects to every source, then sets the target once.
    void start(const std::weak_ptr<BindingBody>& self, std::initializer_list<BoundProperty> sources);
    void setNode(List::iterator node) {
        m_node = node;
        m_bound = true;
    }
    // Erases the node that owns this body; false when it has gone already.
    // The caller keeps the body alive.
    bool unbind() {
        if (!std::exchange(m_bound, false))
            return false;
        m_list->erase(m_node);
        return true;
    }
    // The owning list is going away.
    void detach() noexcept { m_bound = false; }

private:
    void update(SetterFlags flags) const;

    std::function<tavi::Variant()> m_compute;
    BoundProperty m_target;
    std::vector<zel::ScopedConnection> m_connections;
    List* m_list;
    List::iterator m_node;
    bool m_bound = false;
};

// The record of one property of one instance: its signals and user data.
// Owned by the instance's ObjectData.
class PropertyData {
public:
    PropertyData(ObjectData& objectData, std::weak_ptr<MetaProperty> metaProperty);
    PropertyData(const PropertyData&) = delete;
    PropertyData& operator=(const PropertyData&) = delete;
    ~PropertyData();

    [[nodiscard]] ObjectData& objectData() const noexcept { return m_objectData; }
    [[nodiscard]] std::shared_ptr<MetaProperty> metaProperty() const { return m_metaProperty.lock(); }
    void setMetaProperty(std::weak_ptr<MetaProperty> metaProperty) {
        m_address = metaProperty.lock().get();
        m_metaProperty = std::move(metaProperty);
    }
    // The meta property's address while it lives, without locking it: what
    // handles compare and hash.
    [[nodiscard]] const MetaProperty* metaPropertyAddress() const noexcept {
        return m_metaProperty.expired() ? nullptr : m_address;
    }
    void setSelf(const std::shared_ptr<PropertyData>& self) { m_self = self; }

    // The entry for `name`, an empty Variant on first access; stays valid as
    // long as this record lives.
    tavi::Variant* userData(Kor::BasicStringRef<char> name);

    // Keeps `target` computed from `sources` (see BoundProperty::bind); an
    // empty binding when the target has no per-instance data.
    static BoundProperty::Binding bind(const BoundProperty& target,
                                       std::initializer_list<BoundProperty> sources,
                                       std::function<tavi::Variant()> compute);

    zel::Connection connectPropertyAboutToBeChanged(zel::InlineConnection* storage,
                                                    const MetaProperty::PropertySlot& slot, int priority);
    zel::Connection connectPropertyChanged(zel::InlineConnection* storage,
                                           const MetaProperty::PropertySlot& slot, int priority);
    zel::Connection connectMethodAboutToBeInvoked(zel::InlineConnection* storage,
                                                  const MetaProperty::MethodAboutToBeInvokedSlot& slot,
                                                  int priority);
    zel::Connection connectMethodInvoked(zel::InlineConnection* storage,
                                         const MetaProperty::MethodInvokedSlot& slot, int priority);

    // Whether a slot that is not passive listens to the changes (calls).
    [[nodiscard]] bool propertyChangeHeard() const noexcept {
        return listens(m_propertyAboutToBeChanged) || listens(m_propertyChanged);
    }
    [[nodiscard]] bool methodCallHeard() const noexcept {
        return listens(m_methodAboutToBeInvoked) || listens(m_methodInvoked);
    }

    // Emit when connected; nothing otherwise.
    void propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                  NotifyFlags notifyFlags);
    void propertyChanged(const BoundProperty& property, SetterFlags setterFlags, NotifyFlags notifyFlags);
    void methodAboutToBeInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                                SetterFlags setterFlags, NotifyFlags notifyFlags);
    void methodInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                       const tavi::Variant& result, SetterFlags setterFlags, NotifyFlags notifyFlags);

private:
    template <class Signal>
    using LazySignal = zel::lazy_owner_details::LazyOwner<Signal>;

    template <class Signal>
    static bool listens(const LazySignal<Signal>& signal) noexcept {
        const Signal* made = signal.get();
        return made && made->listenerCount() != 0;
    }

    ObjectData& m_objectData;
    std::weak_ptr<MetaProperty> m_metaProperty;
    const MetaProperty* m_address;
    std::weak_ptr<PropertyData> m_self;
    std::unordered_map<std::string, tavi::Variant> m_userData;
    BoundProperty::BindingBody::List m_bindings;
    // Each made by its first connection.
    LazySignal<MetaProperty::PropertySignal> m_propertyAboutToBeChanged;
    LazySignal<MetaProperty::PropertySignal> m_propertyChanged;
    LazySignal<MetaProperty::MethodAboutToBeInvokedSignal> m_methodAboutToBeInvoked;
    LazySignal<MetaProperty::MethodInvokedSignal> m_methodInvoked;
};

} // namespace orv

template <>
struct std::hash<orv::BoundProperty> {
    size_t operator()(const orv::BoundProperty& property) const { return property.hash(); }
};
