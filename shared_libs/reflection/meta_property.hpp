#pragma once
// Description of one member of a reflected type: a data property (read by a
// getter, written by a setter) or a method (called with a list of values).
// It carries the member's key and name, its value types, its annotations,
// the callables that reach the member on an instance, and the signals that
// report the writes and calls made through the library. Shared through
// std::shared_ptr; a BoundProperty pairs one with an instance.

#include "orv_cpp_utils/signal.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/details/generic_function.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

namespace orv {

namespace notify_scope_details {
struct Dispatch;
}

class BoundProperty;
class MetaObject;

class MetaProperty {
public:
    using PropertySignal = zel::FuzzySignal<void(const BoundProperty&, SetterFlags, NotifyFlags),
                                            BoundPropertyArgumentConvertor>;
    using MethodAboutToBeInvokedSignal =
        zel::FuzzySignal<void(const BoundProperty&, size_t, const tavi::Variant*, SetterFlags, NotifyFlags),
                         BoundPropertyArgumentConvertor>;
    using MethodInvokedSignal = zel::FuzzySignal<void(const BoundProperty&, size_t, const tavi::Variant*,
                                                      const tavi::Variant&, SetterFlags, NotifyFlags),
                                                 BoundPropertyArgumentConvertor>;
    using PropertySlot = PropertySignal::slot_type;
    using MethodAboutToBeInvokedSlot = MethodAboutToBeInvokedSignal::slot_type;
    using MethodInvokedSlot = MethodInvokedSignal::slot_type;

    using Getter = std::function<tavi::Variant(const BoundProperty&)>;
    using Setter = std::function<void(const BoundProperty&, const tavi::Variant&, SetterFlags)>;

    // The callable of a method property. Copies share the callable.
    class Method {
    public:
        using Function = BasicGenericFunction<const BoundProperty&, SetterFlags>::WrapperBase;

        Method() noexcept = default;
        Method(std::nullptr_t) noexcept {}
        explicit Method(std::shared_ptr<const Function> function) noexcept
            : m_function(std::move(function)) {}

        explicit operator bool() const noexcept { return m_function != nullptr; }
        [[nodiscard]] const Function* function() const noexcept { return m_function.get(); }
        tavi::Variant operator()(const BoundProperty& property, SetterFlags flags, size_t count,
                                 const tavi::Variant* arguments) const;
        // Same callable.
        friend bool operator==(const Method& a, const Method& b) noexcept {
            return a.m_function == b.m_function;
        }

    private:
        std::shared_ptr<const Function> m_function;
    };

    virtual ~MetaProperty();

    // A new shared copy (same description, no connections).
    [[nodiscard]] virtual std::shared_ptr<MetaProperty> clone() const = 0;
    // Intersection of what the property's Meta::Visible annotations allow;
    // nothing for an invalid handle.
    [[nodiscard]] virtual meta_property::VisibilityFlags visibility(const BoundProperty& property);
    // Whether bound properties of this meta property keep per-instance data.
    [[nodiscard]] virtual bool hasData() const = 0;

    // Whether announcing and delivering a change (a call) of `property` would
    // reach any slot through this meta property: its global signals, its
    // per-object signals for the instance, and whatever else a subclass
    // raises. Passive slots (caches) do not count. Lock-free unless some
    // instance has a per-object slot. The write and call paths skip the
    // announcement nobody hears, so a subclass whose dispatchers raise more
    // than these signals says so here.
    [[nodiscard]] virtual bool propertyChangeHeard(const BoundProperty& property) const;
    [[nodiscard]] virtual bool methodCallHeard(const BoundProperty& property) const;

    // Global signals: raised for every object that uses this meta property.
    zel::Connection connectPropertyAboutToBeChanged(const PropertySlot& slot) const;
    zel::Connection connectPropertyChanged(const PropertySlot& slot) const;
    zel::Connection connectMethodAboutToBeInvoked(const MethodAboutToBeInvokedSlot& slot) const;
    zel::Connection connectMethodInvoked(const MethodInvokedSlot& slot) const;

    // Never shared with another meta property of this process, even one made
    // at the address of a destroyed one: what tells them apart in a record
    // that outlives either.
    uint64_t serial() const noexcept { return m_serial; }
    [[nodiscard]] MetaObject* metaObject() const noexcept { return m_metaObject; }
    [[nodiscard]] const tavi::Variant& key() const noexcept { return m_key; }
    [[nodiscard]] const std::string& name() const noexcept { return m_name; }
    [[nodiscard]] const std::type_info& propertyType() const noexcept { return *m_propertyType; }
    [[nodiscard]] const std::type_info& storageType() const noexcept { return *m_storageType; }
    void storageType(const std::type_info& type) noexcept { m_storageType = &type; }

    [[nodiscard]] Annotations annotations() const { return m_annotations; }
    void setAnnotations(Annotations annotations) { m_annotations = std::move(annotations); }
    void addAnnotations(Annotations annotations) { m_annotations += std::move(annotations); }

    [[nodiscard]] const Getter& getter() const noexcept { return m_getter; }
    [[nodiscard]] const Setter& setter() const noexcept { return m_setter; }
    [[nodiscard]] const Method& method() const noexcept { return m_method; }

protected:
    // A data property. The name is the key as text: the string it holds, or
    // what the value converter makes of it; a key without a text form raises
    // the value library's cast error.
    MetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                 const std::type_info& storageType, tavi::Variant key, Annotations annotations, Getter getter,
                 Setter setter);
    // A method property.
    MetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                 const std::type_info& storageType, tavi::Variant key, Annotations annotations,
                 Method method);
    // Copies the description and shares the method; signals start unconnected.
    MetaProperty(const MetaProperty& other);
    MetaProperty& operator=(const MetaProperty&) = delete;

    void setMethod(std::nullptr_t, size_t) noexcept { m_method = nullptr; }
    // For descriptions that learn what they describe after construction
    // (the combined properties of a multi-selection, from their first
    // merged property).
    void setGetter(Getter getter) { m_getter = std::move(getter); }
    void setSetter(Setter setter) { m_setter = std::move(setter); }
    void setMethod(Method method) noexcept { m_method = std::move(method); }

    // Announce and deliver a change or a call: the per-object signal of the
    // instance, then the global signal.
    virtual void propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                          NotifyFlags notifyFlags) const;
    virtual void propertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                                 NotifyFlags notifyFlags) const;
    virtual void methodAboutToBeInvoked(const BoundProperty& property, size_t count,
                                        const tavi::Variant* arguments, SetterFlags setterFlags,
                                        NotifyFlags notifyFlags) const;
    virtual void methodInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                               const tavi::Variant& result, SetterFlags setterFlags,
                               NotifyFlags notifyFlags) const;

    // Per-object signals, keyed by the instance address.
    using PropertySignalMap = SignalMap<PropertySignal>;
    using MethodAboutToBeInvokedSignalMap = SignalMap<MethodAboutToBeInvokedSignal>;
    using MethodInvokedSignalMap = SignalMap<MethodInvokedSignal>;
    const PropertySignalMap& propertyAboutToBeChangedMap() const noexcept {
        return m_objectPropertyAboutToBeChanged;
    }
    const PropertySignalMap& propertyChangedMap() const noexcept { return m_objectPropertyChanged; }
    const MethodAboutToBeInvokedSignalMap& methodAboutToBeInvokedMap() const noexcept {
        return m_objectMethodAboutToBeInvoked;
    }
    const MethodInvokedSignalMap& methodInvokedMap() const noexcept { return m_objectMethodInvoked; }

    // The key the per-object maps use for `property`'s instance: its address,
    // or null when the value is not (and does not convert to) a pointer.
    static const void* instanceKey(const BoundProperty& property);

private:
    friend struct notify_scope_details::Dispatch;
    friend class BoundProperty;

    // Connects a slot for one bound property; where it goes (per object,
    // per instance data or global) is the subclass's choice.
    virtual zel::Connection connectPropertyAboutToBeChanged(const BoundProperty& property,
                                                            zel::InlineConnection* storage,
                                                            const PropertySlot& slot, int priority) const = 0;
    virtual zel::Connection connectPropertyChanged(const BoundProperty& property,
                                                   zel::InlineConnection* storage, const PropertySlot& slot,
                                                   int priority) const = 0;
    virtual zel::Connection connectMethodAboutToBeInvoked(const BoundProperty& property,
                                                          zel::InlineConnection* storage,
                                                          const MethodAboutToBeInvokedSlot& slot,
                                                          int priority) const = 0;
    virtual zel::Connection connectMethodInvoked(const BoundProperty& property,
                                                 zel::InlineConnection* storage,
                                                 const MethodInvokedSlot& slot, int priority) const = 0;

    static std::string nameFromKey(const tavi::Variant& key);
    static uint64_t nextSerial() noexcept;
    void initialize();

    PropertySignal m_propertyAboutToBeChanged;
    PropertySignal m_propertyChanged;
    MethodAboutToBeInvokedSignal m_methodAboutToBeInvoked;
    MethodInvokedSignal m_methodInvoked;
    PropertySignalMap m_objectPropertyAboutToBeChanged;
    PropertySignalMap m_objectPropertyChanged;
    MethodAboutToBeInvokedSignalMap m_objectMethodAboutToBeInvoked;
    MethodInvokedSignalMap m_objectMethodInvoked;
    uint64_t m_serial = nextSerial();
    MetaObject* m_metaObject;
    tavi::Variant m_key;
    std::string m_name;
    const std::type_info* m_propertyType;
    const std::type_info* m_storageType;
    Annotations m_annotations;
    Getter m_getter;
    Setter m_setter;
    Method m_method;
};

} // namespace orv
