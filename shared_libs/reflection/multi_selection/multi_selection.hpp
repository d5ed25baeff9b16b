#pragma once
// One reflected object standing for several selected objects.
//
// A MultiSelection is a generic object whose properties are built from the
// objects merged into it (its sub-objects): one combined property per key
// that any of them has (Union) or that all of them have (Intersection).
// Reading a combined property combines the sub-objects' values through a
// reduce map; writing it writes every sub-object, each change recorded for
// undo on its own object; a property holding objects becomes a nested
// selection of those objects. In classified mode the sub-objects are first
// sorted into groups (Meta::MultiSelection::ObjectType), each group one
// object-valued property holding a nested selection of its objects.
//
//     orv::MultiSelection selection;                       // Union
//     for (scene::Light* light : picked)
//         selection.merge(orv::reflect(*light));
//     panel.show(selection.object());                      // one row per key
//     selection.object().findPropertyByName("intensity").set(2.0f);   // all of them
//
// Merging and unmerging only record the objects until the combined object
// is first asked for anything; from then on changes apply at once. An object
// merged with the property through which it was reached is swapped for the
// new object when that property comes to hold another one. An object with
// per-instance data (a generic object, for one) leaves the selection by
// itself when it is destroyed; other objects must be unmerged before they go.

#include "platform/corekit/array_view.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/multi_selection/details/deferred_subs.hpp"
#include "shared_libs/reflection/multi_selection/details/parallel_arrays.hpp"
#include "shared_libs/reflection/multi_selection/details/property_watch.hpp"
#include "shared_libs/reflection/multi_selection/meta_items.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orv {

class MultiSelection : public GenericObject {
public:
    // How every sub-object after the first is combined (the first always
    // adds all its properties).
    enum class Mode : int32_t {
        Union = 0,        // every property any sub-object has
        Intersection = 1, // only those all have (and the persistent ones)
    };

    class Impl;
    class BaseMultiProperty;
    class ValueMultiProperty;
    class ObjectMultiProperty;

    explicit MultiSelection(Mode mode = Mode::Union, bool classify = false);
    ~MultiSelection() override;

    [[nodiscard]] Mode mode() const;
    // Applies from the next rebuild (after clear(), or once the selection
    // has emptied).
    void setMode(Mode mode);
    // Classifies (and is not itself the group of an enclosing selection).
    [[nodiscard]] bool classified() const;
    [[nodiscard]] size_t size() const;
    [[nodiscard]] bool empty() const;
    [[nodiscard]] size_t groupCount() const;
    // "empty", the sub-objects' common type name, or "multiselection".
    [[nodiscard]] std::string typeName() const;

    // The sub-objects and the properties they were reached through (invalid
    // where none was given), index for index. Valid until the selection
    // next changes.
    [[nodiscard]] Kor::array_view<const ReflectedObject> subObjects() const;
    [[nodiscard]] Kor::array_view<const BoundProperty> subProperties() const;

    // Adds `object`; when `property` is given (the property holding it), the
    // selection follows that property to the object it comes to hold.
    void merge(const ReflectedObject& object, const BoundProperty& property = {});
    // Removes the first entry of `object`; false when there is none.
    bool unmerge(const ReflectedObject& object);
    // False when `index` is out of range.
    bool unmerge(size_t index);
    // Merges one property as if its object had it alone, under `key` (void:
    // the property's own key).
    void mergeProperty(const BoundProperty& property, const tavi::Variant& key = {});
    bool unmergeProperty(const BoundProperty& property, const tavi::Variant& key = {});

    // The property holding every sub-object, when they share one; invalid
    // otherwise (and for an empty selection).
    [[nodiscard]] BoundProperty parent() const;

protected:
    explicit MultiSelection(std::unique_ptr<Impl> impl);
    [[nodiscard]] Impl* impl() const noexcept;

private:
    friend class ObjectMultiProperty;

    // A nested selection (the group of a classified one) never classifies.
    MultiSelection(Mode mode, bool classify, bool nested);
};

// The combined object's properties and the sub-objects behind them.
class MultiSelection::Impl : public GenericObject::Impl {
public:
    Impl(Mode mode, bool classify, bool nested);
    ~Impl() override;

    // Each brings the combined properties up to date first.
    size_t propertyCount() const override;
    size_t indexOfProperty(const tavi::Variant& key) const override;
    std::shared_ptr<MetaProperty> metaPropertyAt(size_t index) override;
    BoundProperty getProperty(const tavi::Variant& key, size_t index) override;
    size_t addProperty(std::shared_ptr<MetaProperty> property, size_t index) override;
    BoundProperty setProperty(std::shared_ptr<MetaProperty> property, size_t index) override;
    bool removePropertyAt(size_t index) override;
    bool removeProperty(const tavi::Variant& key) override;
    // Removes every property and sub-object, then adds the fixed properties.
    void clear() override;
    bool typeCheck(const std::type_info& type) const override;
    // Nested selections take the same volatility.
    void setVolatility(VolatilityType volatility) override;

    [[nodiscard]] Mode mode() const noexcept { return m_mode; }
    void setMode(Mode mode) noexcept { m_mode = mode; }
    [[nodiscard]] bool classified() const noexcept { return m_classify && !m_nested; }
    // The classify flag as constructed (nested selections inherit it).
    [[nodiscard]] bool classifies() const noexcept { return m_classify; }
    [[nodiscard]] size_t size() const noexcept { return m_entries.size(); }
    [[nodiscard]] size_t groupCount() const;
    [[nodiscard]] std::string typePrettyName() const;
    [[nodiscard]] Kor::array_view<const ReflectedObject> subObjects() const noexcept {
        return m_entries.firstView();
    }
    [[nodiscard]] Kor::array_view<const BoundProperty> subProperties() const noexcept {
        return m_entries.secondView();
    }

    void merge(const ReflectedObject& object, const BoundProperty& property);
    bool unmerge(size_t index, bool disconnect);
    void mergeProperty(const BoundProperty& property, const tavi::Variant& key);
    bool unmergeProperty(const BoundProperty& property, const tavi::Variant& key);
    // Merges every recorded sub-object, unless done already or suspended.
    void sync() const;

    // The object-valued property of an enclosing selection that holds this
    // one: told when a followed property swaps an object here.
    void setHolder(BoundProperty holder) { m_holder = std::move(holder); }
    // Drops what the instance with this identity (being destroyed) gave.
    void forgetInstance(const void* instance);

protected:
    bool mergeObject(const ReflectedObject& object, const BoundProperty& property, Mode mode);
    bool unmergeObject(const ReflectedObject& object, const BoundProperty& property, bool disconnect);
    void addBasicMultiSelectionMetaProperties();
    void unionMultiSelection(const ReflectedObject& object);
    void intersectMultiSelection(const ReflectedObject& object);

private:
    std::string classOf(const ReflectedObject& object) const;
    bool mergeIntoGroup(const ReflectedObject& object, const BoundProperty& property);
    bool unmergeFromGroup(const ReflectedObject& object, const BoundProperty& property);
    // A group's property lost or gained the Meta::Group that heads it.
    void changeAnnotations(size_t index, Annotations annotations);
    void removeEmptyGroup(const tavi::Variant& key);
    // Every property but the fixed ones: what is left when the last
    // sub-object has gone (placeholders of incompatible properties).
    void removeLeftovers();
    void noteTypeName(const ReflectedObject& object);
    BaseMultiProperty* multiPropertyAt(size_t index);
    // The new property (appended) with its own handle; null when the
    // object refused the addition.
    template <class Property>
    Property* appendMultiProperty(std::shared_ptr<Property> property);
    void markIncompatible(size_t index, const BoundProperty& property);
    // mergeProperty under the property's own key, by the route the last
    // property at this index with the same description took.
    // `expected`: how many objects of the property's class are still to be
    // merged, this one included (0: not known).
    void mergeByRoute(size_t index, const BoundProperty& property, size_t expected);
    // Property `index` of the object at `position` of m_batch (of
    // `fixedClass`, see Route) merged by the route without making its
    // handle; false when the route does not allow it (then nothing is done).
    bool mergeDeferred(size_t index, size_t position, const MetaObject* fixedClass, const void* identity);
    // A combined property was removed or replaced: routes lead nowhere.
    void structureChanged() noexcept { ++m_structure; }
    void referenceChanged(multi_selection_details::PropertyWatch::Event event, const BoundProperty& property,
                          SetterFlags setterFlags, NotifyFlags notifyFlags);
    void watchDeletion(const ReflectedObject& object);
    void unwatchDeletion(const ReflectedObject& object);

    bool m_synced = false;
    Mode m_mode;
    bool m_classify;
    bool m_nested;
    size_t m_groupCount = 0;
    std::string m_typeName;
    // The class whose objects noteTypeName() last found named by their
    // class, and the name as it left it.
    const MetaObject* m_namedClass = nullptr;
    std::string m_namedResult;
    // The first group's key (rather than its index, which moves when
    // properties before it go) and its annotations as created.
    tavi::Variant m_firstGroup;
    Annotations m_firstGroupAnnotations;
    multi_selection_details::ParallelArrays<ReflectedObject, BoundProperty> m_entries;
    // The properties the sub-objects were reached through; and those whose
    // about-to-change has taken their object out, awaiting the final change.
    multi_selection_details::PropertyWatch m_references;
    std::unordered_set<BoundProperty> m_awaiting;
    // Objects that announce their deletion, by identity (counted).
    std::unordered_map<const void*, std::pair<zel::ScopedConnection, uint32_t>> m_deletions;
    BoundProperty m_holder;
    // Where the sub-object properties at each index went when last merged:
    // objects of one class have the same description at each index, and so
    // the same combined property, found once instead of once per object. A
    // route holds while no combined property has been removed or replaced
    // since (appending leaves every key where it was).
    struct Route {
        uint64_t description = 0; // serial
        uint64_t structure = 0;
        BaseMultiProperty* combined = nullptr; // null: a property that takes nothing
        ValueMultiProperty* value = nullptr;   // the same, when it is one
        // The class of the object that took the route when the property at
        // this index is the same for all its objects (a static class, objects
        // without per-instance data): the properties of its other objects
        // may join without handles. Null otherwise.
        const MetaObject* fixedClass = nullptr;
        const MetaProperty* meta = nullptr; // the description, alive while the class is
    };
    std::vector<Route> m_routes;
    // While sync() runs: the objects of each class still to be merged.
    std::unordered_map<const MetaObject*, size_t> m_unmerged;
    // While sync() runs: the objects merged, for the combined properties
    // that keep some of their properties without handles.
    std::shared_ptr<multi_selection_details::ObjectBatch> m_batch;
    uint64_t m_structure = 1;
};

} // namespace orv
