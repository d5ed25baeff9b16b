#include "shared_libs/reflection/notifyable_meta_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/notify_stack.hpp"

namespace orv {
namespace {

using object_signals_details::Event;

constexpr Event s_propertyAboutToBeChanged{
    nullptr,
    "checked propertyAboutToBeChanged",
    "Reflection|Signals|MetaProperty|Per Object|PropertyAboutToBeChanged",
    &PropertyData::connectPropertyAboutToBeChanged,
    &PropertyData::propertyAboutToBeChanged,
    "orv::NotifyableMetaProperty<1>::connectPropertyAboutToBeChanged",
    "orv::NotifyableMetaProperty<1>::propertyAboutToBeChanged"};
constexpr Event s_propertyChanged{nullptr,
                                  "checked propertyChanged",
                                  "Reflection|Signals|MetaProperty|Per Object|PropertyChanged",
                                  &PropertyData::connectPropertyChanged,
                                  &PropertyData::propertyChanged,
                                  "orv::NotifyableMetaProperty<1>::connectPropertyChanged",
                                  "orv::NotifyableMetaProperty<1>::propertyChanged"};
constexpr Event s_methodAboutToBeInvoked{nullptr,
                                         "checked methodAboutToBeInvoked",
                                         "Reflection|Signals|MetaProperty|Per Object|MethodAboutToBeInvoked",
                                         &PropertyData::connectMethodAboutToBeInvoked,
                                         &PropertyData::methodAboutToBeInvoked,
                                         "orv::NotifyableMetaProperty<1>::connectMethodAboutToBeInvoked",
                                         "orv::NotifyableMetaProperty<1>::methodAboutToBeInvoked"};
constexpr Event s_methodInvoked{nullptr,
                                "checked methodInvoked",
                                "Reflection|Signals|MetaProperty|Per Object|MethodInvoked",
                                &PropertyData::connectMethodInvoked,
                                &PropertyData::methodInvoked,
                                "orv::NotifyableMetaProperty<1>::connectMethodInvoked",
                                "orv::NotifyableMetaProperty<1>::methodInvoked"};

void reportMissingData(const char* operation, const MetaProperty& property) {
    Kor::errorMessage("%s: property '%s' doesn't have data", operation, property.name().c_str());
}

} // namespace

template <int N>
NotifyableMetaProperty<N>::NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                                                  const std::type_info& storageType, tavi::Variant key,
                                                  Annotations annotations, Getter getter, Setter setter)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations),
                   std::move(getter), std::move(setter)) {}

template <int N>
NotifyableMetaProperty<N>::NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                                                  const std::type_info& storageType, tavi::Variant key,
                                                  Annotations annotations, Method method)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations),
                   std::move(method)) {}

template <int N>
NotifyableMetaProperty<N>::~NotifyableMetaProperty() = default;

template <int N>
std::shared_ptr<MetaProperty> NotifyableMetaProperty<N>::clone() const {
    return std::make_shared<NotifyableMetaProperty>(*this);
}

template <int N>
bool NotifyableMetaProperty<N>::propertyChangeHeard(const BoundProperty& property) const {
    if (MetaProperty::propertyChangeHeard(property))
        return true;
    if constexpr (N == 1) {
        const PropertyData* data = property.propertyData();
        return !data || data->propertyChangeHeard();
    }
    return false;
}

template <int N>
bool NotifyableMetaProperty<N>::methodCallHeard(const BoundProperty& property) const {
    if (MetaProperty::methodCallHeard(property))
        return true;
    if constexpr (N == 1) {
        const PropertyData* data = property.propertyData();
        return !data || data->methodCallHeard();
    }
    return false;
}

template <int N>
template <class E, class Map, class Slot>
zel::Connection NotifyableMetaProperty<N>::connect(const E& event, const Map& map,
                                                   const BoundProperty& property,
                                                   zel::InlineConnection* storage, const Slot& slot,
                                                   int priority) const {
    if constexpr (N == 0) {
        ZEL::Profiler::Scope scope(event.connectScope);
        notify_scope_details::listenerAppears();
        return map.connect(instanceKey(property), event.label, storage, slot, priority);
    } else {
        if (PropertyData* data = property.propertyData())
            return (data->*event.connectData)(storage, slot, priority);
        reportMissingData(event.connectOperation, *this);
        return {};
    }
}

template <int N>
template <class E, class... Args>
void NotifyableMetaProperty<N>::raiseData(const E& event, const BoundProperty& property, Args... args) const {
    if constexpr (N == 1) {
        if (PropertyData* data = property.propertyData())
            (data->*event.raiseData)(property, args...);
        else
            reportMissingData(event.raiseOperation, *this);
    }
}

template <int N>
zel::Connection NotifyableMetaProperty<N>::connectPropertyAboutToBeChanged(const BoundProperty& property,
                                                                           zel::InlineConnection* storage,
                                                                           const PropertySlot& slot,
                                                                           int priority) const {
    return connect(s_propertyAboutToBeChanged, propertyAboutToBeChangedMap(), property, storage, slot,
                   priority);
}

template <int N>
zel::Connection NotifyableMetaProperty<N>::connectPropertyChanged(const BoundProperty& property,
                                                                  zel::InlineConnection* storage,
                                                                  const PropertySlot& slot,
                                                                  int priority) const {
    return connect(s_propertyChanged, propertyChangedMap(), property, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaProperty<N>::connectMethodAboutToBeInvoked(
    const BoundProperty& property, zel::InlineConnection* storage, const MethodAboutToBeInvokedSlot& slot,
    int priority) const {
    return connect(s_methodAboutToBeInvoked, methodAboutToBeInvokedMap(), property, storage, slot, priority);
}

template <int N>
zel::Connection NotifyableMetaProperty<N>::connectMethodInvoked(const BoundProperty& property,
                                                                zel::InlineConnection* storage,
                                                                const MethodInvokedSlot& slot,
                                                                int priority) const {
    return connect(s_methodInvoked, methodInvokedMap(), property, storage, slot, priority);
}

// Announcements reach the instance first, final notifications last.

template <int N>
void NotifyableMetaProperty<N>::propertyAboutToBeChanged(const BoundProperty& property,
                                                         SetterFlags setterFlags,
                                                         NotifyFlags notifyFlags) const {
    raiseData(s_propertyAboutToBeChanged, property, setterFlags, notifyFlags);
    MetaProperty::propertyAboutToBeChanged(property, setterFlags, notifyFlags);
}

template <int N>
void NotifyableMetaProperty<N>::propertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                                                NotifyFlags notifyFlags) const {
    MetaProperty::propertyChanged(property, setterFlags, notifyFlags);
    raiseData(s_propertyChanged, property, setterFlags, notifyFlags);
}

template <int N>
void NotifyableMetaProperty<N>::methodAboutToBeInvoked(const BoundProperty& property, size_t count,
                                                       const tavi::Variant* arguments,
                                                       SetterFlags setterFlags,
                                                       NotifyFlags notifyFlags) const {
    raiseData(s_methodAboutToBeInvoked, property, count, arguments, setterFlags, notifyFlags);
    MetaProperty::methodAboutToBeInvoked(property, count, arguments, setterFlags, notifyFlags);
}

template <int N>
void NotifyableMetaProperty<N>::methodInvoked(const BoundProperty& property, size_t count,
                                              const tavi::Variant* arguments, const tavi::Variant& result,
                                              SetterFlags setterFlags, NotifyFlags notifyFlags) const {
    MetaProperty::methodInvoked(property, count, arguments, result, setterFlags, notifyFlags);
    raiseData(s_methodInvoked, property, count, arguments, result, setterFlags, notifyFlags);
}

template class NotifyableMetaProperty<0>;
template class NotifyableMetaProperty<1>;

} // namespace orv
