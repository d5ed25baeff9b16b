#pragma once
// The properties of a multi-selection: each stands for the properties with
// the same key on every selected object (its sub-properties).
//
// A value multi-property reads by combining the sub-properties' values with
// a reduce map (the property's Meta::MultiSelection::ReduceMap, else
// EqualReduceMap), writes by mapping the written value onto every
// sub-property, and for methods invokes every sub-method. An object
// multi-property holds a nested selection of the objects its sub-properties
// hold. Both announce the changes of their sub-properties as changes of
// their own (NotifyFlag::MultiSelection added), so views of the combined
// object follow the selected objects.
//
// A multi-property is stateless (Shallow): writing it records nothing for
// undo itself, while every sub-property write records its own old value, so
// one undo step restores each object's own value.

#include "platform/corekit/array_view.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/notify_stack.hpp"
#include "shared_libs/reflection/multi_selection/details/deferred_subs.hpp"
#include "shared_libs/reflection/multi_selection/details/parallel_arrays.hpp"
#include "shared_libs/reflection/multi_selection/details/property_watch.hpp"
#include "shared_libs/reflection/multi_selection/multi_selection.hpp"
#include "shared_libs/reflection/multi_selection/reduce_map.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"
#include "shared_libs/reflection/property_flags.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <typeinfo>

namespace orv {

class GenericObject;

class MultiSelection::BaseMultiProperty : public NotifyableMetaProperty<1> {
public:
    // `owner` is the multi-selection the property belongs to; `annotations`
    // get a Meta::Stateless (Shallow) added.
    BaseMultiProperty(GenericObject* owner, const std::type_info& propertyType,
                      const std::type_info& storageType, tavi::Variant key, Annotations annotations);
    ~BaseMultiProperty() override;

    // Union: what any sub-property shows (everything when one of them is
    // invalid; nothing without sub-properties). Intersection: what every
    // valid sub-property shows (everything without sub-properties).
    meta_property::VisibilityFlags visibility(const BoundProperty& property) override;

    // False refuses the sub-property: it cannot be combined with the others.
    virtual bool mergeProperty(const BoundProperty& sub);
    virtual bool unmergeProperty(const BoundProperty& sub);
    [[nodiscard]] virtual Kor::array_view<const BoundProperty> subProperties() const = 0;
    // Announces a change of this property for an announced change of `sub`.
    virtual void subPropertyAboutToBeChanged(const BoundProperty& sub, SetterFlags setterFlags,
                                             NotifyFlags notifyFlags);
    virtual void subPropertyChanged(const BoundProperty& sub, SetterFlags setterFlags,
                                    NotifyFlags notifyFlags);
    // Drops the sub-properties the instance with this identity gave (it is
    // being destroyed, so its handles are no longer valid).
    virtual void forgetInstance(const void* instance) = 0;

    [[nodiscard]] GenericObject* owner() const noexcept { return m_owner; }
    // This property on its owner: the subject of its own notifications. Set
    // by the owner right after adding it.
    [[nodiscard]] const BoundProperty& boundProperty() const noexcept { return m_boundProperty; }
    virtual void setBoundProperty(BoundProperty property) {
        m_boundProperty = std::move(property);
        m_announced.forget();
    }

protected:
    // Announces a change of this property (its bound property).
    void announce(SetterFlags setterFlags, NotifyFlags notifyFlags) const {
        m_announced.announce(m_boundProperty, setterFlags, notifyFlags);
    }
    // Forwarding of the sub-property's notifications.
    void watch(const BoundProperty& sub);
    // Another instance of a description already followed (false when it is
    // not): as watch() for a property of that instance without its own data.
    bool watchInstance(const MetaProperty& description, const void* identity) {
        return m_watch.addInstance(description, identity);
    }
    void unwatch(const BoundProperty& sub) { m_watch.remove(sub); }
    void unwatchInstance(const void* instance) { m_watch.removeInstance(instance); }

private:
    GenericObject* m_owner;
    BoundProperty m_boundProperty;
    // Merging a thousand objects announces this property a thousand times
    // in one scope, as does writing it: all but the first are merged away.
    mutable notify_scope_details::AnnouncementMemo m_announced;
    multi_selection_details::PropertyWatch m_watch;
};

// A value or a method of every selected object.
class MultiSelection::ValueMultiProperty : public BaseMultiProperty {
public:
    // With the types, key and annotations of the first sub-property; whether
    // it is a value or a method is decided by that sub-property.
    ValueMultiProperty(GenericObject* owner, const std::type_info& propertyType,
                       const std::type_info& storageType, tavi::Variant key, Annotations annotations);
    ~ValueMultiProperty() override;

    // Refuses a method once it is a value and the other way round, and
    // reports "Subproperty is neither value nor method" for anything else.
    bool mergeProperty(const BoundProperty& sub) override;
    // Merges value property `index` of the object at `position` of `batch`,
    // described by `description` and followed through that description's
    // signal, making its handle only when one is asked for (a selection of
    // thousands of objects is mostly built to read each value once, and the
    // handle is then made where it is read). False, with nothing done, when
    // the property needs its handle now: a method, or a description not
    // followed yet. The object has no per-instance data and a fixed list of
    // properties, so the handle made later is the one made now.
    bool mergeDeferred(const std::shared_ptr<multi_selection_details::ObjectBatch>& batch, size_t position,
                       size_t index, const MetaProperty& description, const void* identity);
    bool unmergeProperty(const BoundProperty& sub) override;
    [[nodiscard]] Kor::array_view<const BoundProperty> subProperties() const override {
        makeHandles();
        return m_subs.firstView();
    }
    void forgetInstance(const void* instance) override;
    // Room for `count` more sub-properties: the owner merging many objects
    // of one class knows how many will come.
    void reserveMore(size_t count) { m_subs.reserve(m_subs.size() + count); }

    // The sub-properties' values combined by a reduce map made from
    // `self.reduceMapFactory()`.
    [[nodiscard]] tavi::Variant get(const BoundProperty& self) const;
    // Writes map(value, start value) to every sub-property, with `flags`. A
    // continuous edit (Intermediate) keeps the start values and the map, so
    // every step maps from the values the edit began with; the final write
    // ends the edit.
    void set(const BoundProperty& self, const tavi::Variant& value, SetterFlags flags);
    // Invokes every sub-method and combines the results.
    tavi::Variant genericInvoke(const BoundProperty& self, SetterFlags flags, size_t count,
                                const tavi::Variant* arguments) const;

private:
    struct Entry {
        int32_t priority = 0;
        // The value when the current edit began; void outside an edit.
        tavi::Variant start;
    };

    // Whether a sub-property so described, of `object`, can join (setting
    // the getter, setter or method on the first); false refuses it.
    bool admit(const MetaProperty* description, const ReflectedObject& object);
    // Appends the handles of the deferred sub-properties, in merge order.
    void makeHandles() const;
    void erase(size_t index);

    // Filled lazily from m_deferred, which holds the sub-properties merged
    // after the last handle (so the order of both together is merge order).
    mutable multi_selection_details::ParallelArrays<BoundProperty, Entry> m_subs;
    mutable multi_selection_details::DeferredSubs m_deferred;
    std::unique_ptr<ReduceMap> m_editMap;
};

// An object-valued property of every selected object (or a group of a
// classified selection): a nested selection of the objects they hold.
class MultiSelection::ObjectMultiProperty : public BaseMultiProperty {
public:
    // The nested selection has the owner's mode, classify flag and
    // volatility; `nested` marks the group of a classified selection.
    ObjectMultiProperty(GenericObject* owner, tavi::Variant key, Annotations annotations, bool nested);
    ~ObjectMultiProperty() override;

    // Merge into (unmerge from) the nested selection, announcing a change of
    // this property when its value changes kind (nothing, one object, a
    // selection).
    bool mergeObject(const ReflectedObject& object, const BoundProperty& sub);
    bool unmergeObject(const ReflectedObject& object, const BoundProperty& sub);
    // The object `sub` holds; refused when it holds no object (a null pointer
    // is taken: the selection follows `sub` to what it comes to hold).
    bool mergeProperty(const BoundProperty& sub) override;
    // The entry reached through `sub`, whatever `sub` holds now.
    bool unmergeProperty(const BoundProperty& sub) override;
    [[nodiscard]] Kor::array_view<const BoundProperty> subProperties() const override {
        return m_selection.subProperties();
    }
    void forgetInstance(const void* instance) override;
    void setBoundProperty(BoundProperty property) override;

    // The single object's value, or the nested selection (a GenericObject*).
    [[nodiscard]] tavi::Variant get(const BoundProperty& self) const;

    [[nodiscard]] MultiSelection& selection() noexcept { return m_selection; }
    [[nodiscard]] const MultiSelection& selection() const noexcept { return m_selection; }

private:
    void announceValue() const;

    MultiSelection m_selection;
};

} // namespace orv
