#pragma once
// Meta properties that raise the value and call signals of their instances.
//
// Every meta property has global signals (every instance) and per-object
// signal maps keyed by the instance address. NotifyableMetaProperty<0>
// connects a bound property's slots to those maps. NotifyableMetaProperty<1>
// connects them to the instance's PropertyData and raises those signals
// around the meta property's own: announcements reach the instance's slots
// first, final notifications reach them last.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstddef>
#include <memory>
#include <typeinfo>

namespace orv {

class BoundProperty;
class MetaObject;

template <int N>
class NotifyableMetaProperty : public MetaProperty {
public:
    // A data property.
    NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                           const std::type_info& storageType, tavi::Variant key, Annotations annotations,
                           Getter getter, Setter setter);
    // A method property.
    NotifyableMetaProperty(MetaObject* metaObject, const std::type_info& propertyType,
                           const std::type_info& storageType, tavi::Variant key, Annotations annotations,
                           Method method);
    NotifyableMetaProperty(const NotifyableMetaProperty& other) = default;
    ~NotifyableMetaProperty() override;

    std::shared_ptr<MetaProperty> clone() const override;
    bool hasData() const override { return N == 1; }
    // Under N = 1 the instance's PropertyData signals too; an instance
    // without one is heard (its announcement reports the missing data).
    bool propertyChangeHeard(const BoundProperty& property) const override;
    bool methodCallHeard(const BoundProperty& property) const override;

    // The global signals. Restated here because the per-handle overloads
    // below would hide them.
    zel::Connection connectPropertyAboutToBeChanged(const PropertySlot& slot) const {
        return MetaProperty::connectPropertyAboutToBeChanged(slot);
    }
    zel::Connection connectPropertyChanged(const PropertySlot& slot) const {
        return MetaProperty::connectPropertyChanged(slot);
    }
    zel::Connection connectMethodAboutToBeInvoked(const MethodAboutToBeInvokedSlot& slot) const {
        return MetaProperty::connectMethodAboutToBeInvoked(slot);
    }
    zel::Connection connectMethodInvoked(const MethodInvokedSlot& slot) const {
        return MetaProperty::connectMethodInvoked(slot);
    }

protected:
    // Under N = 1, announcements raise the instance's PropertyData signal,
    // then the meta property's; final notifications the other way round.
    // Without PropertyData the instance part is reported and skipped.
    void propertyAboutToBeChanged(const BoundProperty& property, SetterFlags setterFlags,
                                  NotifyFlags notifyFlags) const override;
    void propertyChanged(const BoundProperty& property, SetterFlags setterFlags,
                         NotifyFlags notifyFlags) const override;
    void methodAboutToBeInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                                SetterFlags setterFlags, NotifyFlags notifyFlags) const override;
    void methodInvoked(const BoundProperty& property, size_t count, const tavi::Variant* arguments,
                       const tavi::Variant& result, SetterFlags setterFlags,
                       NotifyFlags notifyFlags) const override;

private:
    // Slots go to the per-object maps (N = 0) or to the instance's
    // PropertyData (N = 1; without one the connection is reported and empty).
    zel::Connection connectPropertyAboutToBeChanged(const BoundProperty& property,
                                                    zel::InlineConnection* storage, const PropertySlot& slot,
                                                    int priority) const override;
    zel::Connection connectPropertyChanged(const BoundProperty& property, zel::InlineConnection* storage,
                                           const PropertySlot& slot, int priority) const override;
    zel::Connection connectMethodAboutToBeInvoked(const BoundProperty& property,
                                                  zel::InlineConnection* storage,
                                                  const MethodAboutToBeInvokedSlot& slot,
                                                  int priority) const override;
    zel::Connection connectMethodInvoked(const BoundProperty& property, zel::InlineConnection* storage,
                                         const MethodInvokedSlot& slot, int priority) const override;

    // What every connector and instance notification above does, for one event.
    template <class Event, class Map, class Slot>
    zel::Connection connect(const Event& event, const Map& map, const BoundProperty& property,
                            zel::InlineConnection* storage, const Slot& slot, int priority) const;
    template <class Event, class... Args>
    void raiseData(const Event& event, const BoundProperty& property, Args... args) const;
};

extern template class NotifyableMetaProperty<0>;
extern template class NotifyableMetaProperty<1>;

} // namespace orv
