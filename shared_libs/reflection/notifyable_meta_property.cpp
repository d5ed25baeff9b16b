#include "shared_libs/reflection/notifyable_meta_property.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/bound_property.hpp"

namespace orv {

// --- per object ---

NotifyableMetaProperty<0>::NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                                                  const std::type_info& storageType, tavi::Variant key,
                                                  Annotations annotations, Getter getter, Setter setter)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations),
                   std::move(getter), std::move(setter)) {}

NotifyableMetaProperty<0>::NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                                                  const std::type_info& storageType, tavi::Variant key,
                                                  Annotations annotations, Method method)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations),
                   std::move(method)) {}

NotifyableMetaProperty<0>::~NotifyableMetaProperty() = default;

std::shared_ptr<MetaProperty> NotifyableMetaProperty<0>::clone() const {
    return std::make_shared<NotifyableMetaProperty<0>>(*this);
}

zel::Connection NotifyableMetaProperty<0>::connectPropertyAboutToBeChanged(const BoundProperty& property,
                                                                           zel::InlineConnection* storage,
                                                                           const PropertySlot& slot,
                                                                           int priority) const {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaProperty|Per Object|PropertyAboutToBeChanged");
    return propertyAboutToBeChangedMap().connect(instanceKey(property), "checked propertyAboutToBeChanged",
                                                 storage, slot, priority);
}

zel::Connection NotifyableMetaProperty<0>::connectPropertyChanged(const BoundProperty& property,
                                                                  zel::InlineConnection* storage,
                                                                  const PropertySlot& slot,
                                                                  int priority) const {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaProperty|Per Object|PropertyChanged");
    return propertyChangedMap().connect(instanceKey(property), "checked propertyChanged", storage, slot,
                                        priority);
}

zel::Connection NotifyableMetaProperty<0>::connectMethodAboutToBeInvoked(
    const BoundProperty& property, zel::InlineConnection* storage, const MethodAboutToBeInvokedSlot& slot,
    int priority) const {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaProperty|Per Object|MethodAboutToBeInvoked");
    return methodAboutToBeInvokedMap().connect(instanceKey(property), "checked methodAboutToBeInvoked",
                                               storage, slot, priority);
}

zel::Connection NotifyableMetaProperty<0>::connectMethodInvoked(const BoundProperty& property,
                                                                zel::InlineConnection* storage,
                                                                const MethodInvokedSlot& slot,
                                                                int priority) const {
    ZEL::Profiler::Scope scope("Reflection|Signals|MetaProperty|Per Object|MethodInvoked");
    return methodInvokedMap().connect(instanceKey(property), "checked methodInvoked", storage, slot,
                                      priority);
}

// --- property data ---

NotifyableMetaProperty<1>::NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                                                  const std::type_info& storageType, tavi::Variant key,
                                                  Annotations annotations, Getter getter, Setter setter)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations),
                   std::move(getter), std::move(setter)) {}

NotifyableMetaProperty<1>::NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                                                  const std::type_info& storageType, tavi::Variant key,
                                                  Annotations annotations, Method method)
    : MetaProperty(metaObject, propertyType, storageType, std::move(key), std::move(annotations),
                   std::move(method)) {}

NotifyableMetaProperty<1>::~NotifyableMetaProperty() = default;

std::shared_ptr<MetaProperty> NotifyableMetaProperty<1>::clone() const {
    return std::make_shared<NotifyableMetaProperty<1>>(*this);
}

void NotifyableMetaProperty<1>::reportMissingData(const char* operation) const {
    Kor::errorMessage("%s: property '%s' doesn't have data", operation, name().c_str());
}

zel::Connection NotifyableMetaProperty<1>::connectPropertyAboutToBeChanged(const BoundProperty& property,
                                                                           zel::InlineConnection* storage,
                                                                           const PropertySlot& slot,
                                                                           int priority) const {
    if (PropertyData* data = property.propertyData())
        return data->connectPropertyAboutToBeChanged(storage, slot, priority);
    reportMissingData("orv::NotifyableMetaProperty<1>::connectPropertyAboutToBeChanged");
    return {};
}

zel::Connection NotifyableMetaProperty<1>::connectPropertyChanged(const BoundProperty& property,
                                                                  zel::InlineConnection* storage,
                                                                  const PropertySlot& slot,
                                                                  int priority) const {
    if (PropertyData* data = property.propertyData())
        return data->connectPropertyChanged(storage, slot, priority);
    reportMissingData("orv::NotifyableMetaProperty<1>::connectPropertyChanged");
    return {};
}

zel::Connection NotifyableMetaProperty<1>::connectMethodAboutToBeInvoked(
    const BoundProperty& property, zel::InlineConnection* storage, const MethodAboutToBeInvokedSlot& slot,
    int priority) const {
    if (PropertyData* data = property.propertyData())
        return data->connectMethodAboutToBeInvoked(storage, slot, priority);
    reportMissingData("orv::NotifyableMetaProperty<1>::connectMethodAboutToBeInvoked");
    return {};
}

zel::Connection NotifyableMetaProperty<1>::connectMethodInvoked(const BoundProperty& property,
                                                                zel::InlineConnection* storage,
                                                                const MethodInvokedSlot& slot,
                                                                int priority) const {
    if (PropertyData* data = property.propertyData())
        return data->connectMethodInvoked(storage, slot, priority);
    reportMissingData("orv::NotifyableMetaProperty<1>::connectMethodInvoked");
    return {};
}

void NotifyableMetaProperty<1>::propertyAboutToBeChanged(const BoundProperty& property,
                                                         SetterFlags setterFlags,
                                                         NotifyFlags notifyFlags) const {
    if (PropertyData* data = property.propertyData())
        data->propertyAboutToBeChanged(property, setterFlags, notifyFlags);
    else
        reportMissingData("orv::NotifyableMetaProperty<1>::propertyAboutToBeChanged");
    MetaProperty::propertyAboutToBeChanged(property, setterFlags, notifyFlags);
}

void NotifyableMetaProperty<1>::propertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                                                NotifyFlags notifyFlags) const {
    MetaProperty::propertyChanged(property, setterFlags, notifyFlags);
    if (PropertyData* data = property.propertyData())
        data->propertyChanged(property, setterFlags, notifyFlags);
    else
        reportMissingData("orv::NotifyableMetaProperty<1>::propertyChanged");
}

void NotifyableMetaProperty<1>::methodAboutToBeInvoked(const BoundProperty& property, size_t count,
                                                       const tavi::Variant* arguments,
                                                       SetterFlags setterFlags,
                                                       NotifyFlags notifyFlags) const {
    if (PropertyData* data = property.propertyData())
        data->methodAboutToBeInvoked(property, count, arguments, setterFlags, notifyFlags);
    else
        reportMissingData("orv::NotifyableMetaProperty<1>::methodAboutToBeInvoked");
    MetaProperty::methodAboutToBeInvoked(property, count, arguments, setterFlags, notifyFlags);
}

void NotifyableMetaProperty<1>::methodInvoked(const BoundProperty& property, size_t count,
                                              const tavi::Variant* arguments, const tavi::Variant& result,
                                              SetterFlags setterFlags, NotifyFlags notifyFlags) const {
    MetaProperty::methodInvoked(property, count, arguments, result, setterFlags, notifyFlags);
    if (PropertyData* data = property.propertyData())
        data->methodInvoked(property, count, arguments, result, setterFlags, notifyFlags);
    else
        reportMissingData("orv::NotifyableMetaProperty<1>::methodInvoked");
}

} // namespace orv
