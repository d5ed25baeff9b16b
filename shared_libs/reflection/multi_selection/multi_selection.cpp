#include "shared_libs/reflection/multi_selection/multi_selection.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/multi_selection/details/sync_suspension.hpp"
#include "shared_libs/reflection/multi_selection/multi_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "shared_libs/reflection/type_info.hpp"

#include <typeinfo>
#include <utility>
#include <vector>

namespace orv {

using multi_selection_details::PropertyWatch;
using multi_selection_details::SyncSuspension;

namespace {

thread_local size_t t_suspensions = 0;

constexpr const char* s_empty = "empty";
constexpr const char* s_mixed = "multiselection";
constexpr const char* s_unclassified = "<unclassified>";
constexpr const char* s_incompatible = "<incompatible properties>";

// The class of `object` when every object of it has the same properties
// (a static class, and no per-instance data); null otherwise.
const MetaObject* fixedClassOf(const ReflectedObject& object) {
    const MetaObject* meta = object.metaObject();
    return !object.objectData() && dynamic_cast<const BaseStaticMetaObject<0>*>(meta) ? meta : nullptr;
}

// The key a property is combined under. The description is read without
// taking a reference: merging reads thousands of them, each alive as long
// as its object.
const tavi::Variant& keyOf(const BoundProperty& property, const tavi::Variant& key) {
    static const tavi::Variant s_none;
    if (!key.isVoid())
        return key;
    const MetaProperty* description = property.metaPropertyAddress();
    return description ? description->key() : s_none;
}

// The selection a fixed property is read through: never the Impl that made
// it, which may be gone.
const MultiSelection* selectionOf(const BoundProperty& property) {
    return genericObjectCast<MultiSelection>(
        convertor_details::findInstance<GenericObject, true>(property.object()));
}

template <class T, class Read>
std::shared_ptr<MetaProperty> fixedProperty(const char* key, Read read) {
    MetaProperty::Getter getter = [read](const BoundProperty& property) {
        const MultiSelection* selection = selectionOf(property);
        return selection ? tavi::Variant(T(read(*selection))) : tavi::Variant();
    };
    return std::make_shared<NotifyableMetaProperty<1>>(
        GenericMetaObject::instance(), typeid(T), typeid(T), tavi::Variant(std::string(key)),
        Annotations{tavi::Variant(Meta::MultiSelection::Persistent())}, std::move(getter),
        MetaProperty::Setter());
}

// A property whose value is an object to open (not a plain value): it
// becomes a nested selection.
bool holdsObject(const BoundProperty& property, const tavi::Variant& value) {
    if (!value.isPointer() || !MetaObjectManager::instance().findType(
                                  value, TypeInfo(value, property.propertyType(), property.storageType())))
        return false;
    if (hasAnnotation<Meta::Value>(property.annotations()))
        return false;
    const ReflectedObject held(property);
    return !held.isValid() || !hasAnnotation<Meta::Value>(held.annotations());
}

} // namespace

namespace multi_selection_details {

SyncSuspension::SyncSuspension() noexcept { ++t_suspensions; }
SyncSuspension::~SyncSuspension() { --t_suspensions; }
bool SyncSuspension::active() noexcept { return t_suspensions != 0; }

} // namespace multi_selection_details

// --- MultiSelection ------------------------------------------------------------------------

MultiSelection::MultiSelection(Mode mode, bool classify) : MultiSelection(mode, classify, false) {}

MultiSelection::MultiSelection(Mode mode, bool classify, bool nested)
    : GenericObject(std::make_unique<Impl>(mode, classify, nested)) {}

MultiSelection::MultiSelection(std::unique_ptr<Impl> impl) : GenericObject(std::move(impl)) {}

MultiSelection::~MultiSelection() = default;

MultiSelection::Impl* MultiSelection::impl() const noexcept {
    return static_cast<Impl*>(GenericObject::impl());
}

MultiSelection::Mode MultiSelection::mode() const { return impl()->mode(); }

void MultiSelection::setMode(Mode mode) { impl()->setMode(mode); }

bool MultiSelection::classified() const { return impl()->classified(); }

size_t MultiSelection::size() const { return impl()->size(); }

bool MultiSelection::empty() const { return impl()->size() == 0; }

size_t MultiSelection::groupCount() const { return impl()->groupCount(); }

std::string MultiSelection::typeName() const { return impl()->typePrettyName(); }

Kor::array_view<const ReflectedObject> MultiSelection::subObjects() const { return impl()->subObjects(); }

Kor::array_view<const BoundProperty> MultiSelection::subProperties() const { return impl()->subProperties(); }

void MultiSelection::merge(const ReflectedObject& object, const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::merge");
    impl()->merge(object, property);
}

bool MultiSelection::unmerge(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::unmerge");
    const Kor::array_view<const ReflectedObject> objects = subObjects();
    for (size_t i = 0; i < objects.size(); ++i)
        if (objects[i] == object)
            return impl()->unmerge(i, true);
    return false;
}

bool MultiSelection::unmerge(size_t index) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::unmerge");
    return impl()->unmerge(index, true);
}

void MultiSelection::mergeProperty(const BoundProperty& property, const tavi::Variant& key) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::mergeProperty");
    const NotifyScope scope;
    impl()->mergeProperty(property, key);
}

bool MultiSelection::unmergeProperty(const BoundProperty& property, const tavi::Variant& key) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::unmergeProperty");
    const NotifyScope scope;
    return impl()->unmergeProperty(property, key);
}

BoundProperty MultiSelection::parent() const {
    const Kor::array_view<const ReflectedObject> objects = subObjects();
    if (objects.empty())
        return {};
    BoundProperty shared = objects.front().reference();
    if (!shared.isValid())
        return shared;
    for (const ReflectedObject& object : objects.subspan(1))
        if (!(object.reference() == shared))
            return {};
    return shared;
}

// --- Impl: construction and the fixed properties --------------------------------------------

MultiSelection::Impl::Impl(Mode mode, bool classify, bool nested)
    : m_mode(mode),
      m_classify(classify),
      m_nested(nested),
      m_references(
          [this](PropertyWatch::Event event, const BoundProperty& property, SetterFlags setterFlags,
                 NotifyFlags notifyFlags) { referenceChanged(event, property, setterFlags, notifyFlags); }) {}

MultiSelection::Impl::~Impl() = default;

void MultiSelection::Impl::clear() {
    Kor::StackTracker::Frame frame("orv::MultiSelection::Impl::clear");
    const SyncSuspension suspension;
    // A cleared selection follows nothing: a property it watched must not
    // bring an object back into it.
    m_references.clear();
    m_awaiting.clear();
    m_deletions.clear();
    structureChanged();
    GenericObject::Impl::clear();
    addBasicMultiSelectionMetaProperties();
    m_entries.clear();
    m_synced = false;
    m_groupCount = 0;
    m_typeName = s_empty;
    m_firstGroup.reset();
    m_firstGroupAnnotations.clear();
}

void MultiSelection::Impl::addBasicMultiSelectionMetaProperties() {
    addProperty(
        fixedProperty<int32_t>("_multiselectionMode", [](const MultiSelection& s) { return s.mode(); }),
        MetaObject::INVALID_INDEX);
    addProperty(fixedProperty<bool>("_multiselectionClassified",
                                    [](const MultiSelection& s) { return s.classified(); }),
                MetaObject::INVALID_INDEX);
    addProperty(
        fixedProperty<uint32_t>("_multiselectionSize", [](const MultiSelection& s) { return s.size(); }),
        MetaObject::INVALID_INDEX);
    addProperty(fixedProperty<uint32_t>("_multiselectionGroups",
                                        [](const MultiSelection& s) { return s.groupCount(); }),
                MetaObject::INVALID_INDEX);
    addProperty(fixedProperty<std::string>("_typeName", [](const MultiSelection& s) { return s.typeName(); }),
                MetaObject::INVALID_INDEX);
}

// --- Impl: the generic object's operations, brought up to date first -------------------------

size_t MultiSelection::Impl::propertyCount() const {
    sync();
    return GenericObject::Impl::propertyCount();
}

size_t MultiSelection::Impl::indexOfProperty(const tavi::Variant& key) const {
    sync();
    return GenericObject::Impl::indexOfProperty(key);
}

std::shared_ptr<MetaProperty> MultiSelection::Impl::metaPropertyAt(size_t index) {
    sync();
    return GenericObject::Impl::metaPropertyAt(index);
}

BoundProperty MultiSelection::Impl::getProperty(const tavi::Variant& key, size_t index) {
    sync();
    return GenericObject::Impl::getProperty(key, index);
}

size_t MultiSelection::Impl::addProperty(std::shared_ptr<MetaProperty> property, size_t index) {
    sync();
    return GenericObject::Impl::addProperty(std::move(property), index);
}

BoundProperty MultiSelection::Impl::setProperty(std::shared_ptr<MetaProperty> property, size_t index) {
    sync();
    structureChanged();
    return GenericObject::Impl::setProperty(std::move(property), index);
}

bool MultiSelection::Impl::removePropertyAt(size_t index) {
    sync();
    structureChanged();
    return GenericObject::Impl::removePropertyAt(index);
}

bool MultiSelection::Impl::removeProperty(const tavi::Variant& key) {
    sync();
    structureChanged();
    return GenericObject::Impl::removeProperty(key);
}

bool MultiSelection::Impl::typeCheck(const std::type_info& type) const {
    return type == typeid(MultiSelection) || GenericObject::Impl::typeCheck(type);
}

// Only the nested selections of object-valued properties are selections of
// this one's: other values are not read (reading a combined value combines).
void MultiSelection::Impl::setVolatility(VolatilityType volatility) {
    GenericObject::Impl::setVolatility(volatility);
    for (size_t i = 0, n = propertyCount(); i < n; ++i)
        if (auto* group = dynamic_cast<ObjectMultiProperty*>(metaPropertyAt(i).get()))
            group->selection().setVolatility(volatility);
}

size_t MultiSelection::Impl::groupCount() const {
    sync();
    return m_groupCount;
}

std::string MultiSelection::Impl::typePrettyName() const {
    sync();
    return m_typeName;
}

// --- Impl: merging ----------------------------------------------------------------------------

void MultiSelection::Impl::sync() const {
    if (m_synced || SyncSuspension::active())
        return;
    auto& self = const_cast<Impl&>(*this);
    self.m_synced = true;
    ZEL::Profiler::Scope profile("Reflection|GenericObject|MultiSelection");
    // One scope: each combined property is announced once, not once per object.
    const NotifyScope scope;
    // Objects merged meanwhile (by listeners) are merged by merge() itself.
    const size_t count = m_entries.size();
    self.m_unmerged.clear();
    for (size_t i = 0; i < count; ++i)
        ++self.m_unmerged[m_entries.first(i).metaObject()];
    self.m_batch = std::make_shared<multi_selection_details::ObjectBatch>();
    self.m_batch->reserve(count);
    for (size_t i = 0; i < count && i < m_entries.size(); ++i) {
        // Copies: merging runs listeners, which may change the entries.
        const ReflectedObject object = m_entries.first(i);
        const BoundProperty property = m_entries.second(i);
        self.mergeObject(object, property, i == 0 ? Mode::Union : m_mode);
    }
    self.m_unmerged.clear();
    self.m_batch.reset();
}

void MultiSelection::Impl::merge(const ReflectedObject& object, const BoundProperty& property) {
    if (m_synced) {
        const NotifyScope scope;
        mergeObject(object, property, m_entries.empty() ? Mode::Union : m_mode);
    }
    m_entries.push_back(object, property);
    watchDeletion(object);
}

bool MultiSelection::Impl::mergeObject(const ReflectedObject& object, const BoundProperty& property,
                                       Mode mode) {
    ZEL::Profiler::Scope profile("Reflection|GenericObject|MultiSelection");
    if (classified()) {
        if (!mergeIntoGroup(object, property))
            return false;
    } else if (mode == Mode::Union) {
        unionMultiSelection(object);
    } else {
        intersectMultiSelection(object);
    }
    if (property.isValid())
        m_references.add(property);
    noteTypeName(object);
    return true;
}

void MultiSelection::Impl::unionMultiSelection(const ReflectedObject& object) {
    const size_t count = object.propertyCount();
    if (m_routes.size() < count)
        m_routes.resize(count);
    size_t expected = 0;
    if (const auto unmerged = m_unmerged.find(object.metaObject());
        unmerged != m_unmerged.end() && unmerged->second != 0)
        expected = unmerged->second--;
    // The handles of an object without per-instance data, of a class whose
    // properties are the same for every object, are made when asked for.
    // (Only while sync() merges them all: one at a time, the handles cost
    // little, and a batch would outlive the objects that left.)
    const MetaObject* fixedClass = m_batch && !object.objectData() ? object.metaObject() : nullptr;
    const void* identity = fixedClass ? objectIdentity(object) : nullptr;
    const size_t position = fixedClass ? m_batch->size() : 0;
    if (fixedClass)
        m_batch->push_back(object);
    for (size_t i = 0; i < count; ++i)
        if (!fixedClass || !mergeDeferred(i, position, fixedClass, identity))
            mergeByRoute(i, BoundProperty(object, i), expected);
}

bool MultiSelection::Impl::mergeDeferred(size_t index, size_t position, const MetaObject* fixedClass,
                                         const void* identity) {
    const Route& route = m_routes[index];
    return m_batch && route.fixedClass == fixedClass && route.structure == m_structure && route.value &&
           route.value->mergeDeferred(m_batch, position, index, *route.meta, identity);
}

void MultiSelection::Impl::mergeByRoute(size_t index, const BoundProperty& property, size_t expected) {
    const MetaProperty* description = property.metaPropertyAddress();
    if (const Route& route = m_routes[index];
        description && route.description == description->serial() && route.structure == m_structure) {
        // The same class at this index again: the others of it will follow.
        if (route.value)
            route.value->reserveMore(expected);
        if (route.combined && !route.combined->mergeProperty(property))
            markIncompatible(indexOfProperty(description->key()), property);
        return;
    }
    mergeProperty(property, tavi::Variant());
    // Found again as mergeProperty found (or made) it; the structure as it
    // is now, after whatever the merge changed.
    if (!description)
        return;
    const size_t at = indexOfProperty(description->key());
    // (Listeners of the merge may have merged objects of more properties.)
    if (at == MetaObject::INVALID_INDEX || index >= m_routes.size())
        return;
    BaseMultiProperty* combined = multiPropertyAt(at);
    // A class derived from the value property merges through its own
    // override, which needs the handle.
    const MetaObject* fixedClass = combined && typeid(*combined) == typeid(ValueMultiProperty)
                                       ? fixedClassOf(property.object())
                                       : nullptr;
    m_routes[index] = Route{description->serial(),
                            m_structure,
                            combined,
                            dynamic_cast<ValueMultiProperty*>(combined),
                            fixedClass,
                            description};
}

void MultiSelection::Impl::intersectMultiSelection(const ReflectedObject& object) {
    const size_t count = propertyCount();
    std::vector<BoundProperty> shared(count);
    for (size_t i = 0, n = object.propertyCount(); i < n; ++i) {
        BoundProperty property(object, i);
        if (const size_t at = indexOfProperty(property.key()); at < count)
            shared[at] = std::move(property);
    }
    // From the end, so that removals leave the positions still to visit.
    for (size_t i = count; i-- > 0;) {
        if (shared[i].isValid()) {
            mergeProperty(shared[i], tavi::Variant());
        } else if (const std::shared_ptr<MetaProperty> own = metaPropertyAt(i);
                   own && !hasAnnotation<Meta::MultiSelection::Persistent>(own->annotations())) {
            removePropertyAt(i);
        }
    }
}

MultiSelection::BaseMultiProperty* MultiSelection::Impl::multiPropertyAt(size_t index) {
    return dynamic_cast<BaseMultiProperty*>(GenericObject::Impl::metaPropertyAt(index).get());
}

template <class Property>
Property* MultiSelection::Impl::appendMultiProperty(std::shared_ptr<Property> property) {
    const std::shared_ptr<Property> kept = property;
    const size_t index = addProperty(std::move(property), MetaObject::INVALID_INDEX);
    if (index == MetaObject::INVALID_INDEX || GenericObject::Impl::metaPropertyAt(index) != kept)
        return nullptr;
    kept->setBoundProperty(propertyAt(index));
    return kept.get();
}

void MultiSelection::Impl::markIncompatible(size_t index, const BoundProperty& property) {
    const std::shared_ptr<MetaProperty> combined = GenericObject::Impl::metaPropertyAt(index);
    if (!combined)
        return;
    setProperty(std::make_shared<GenericObject::ReadOnlyGenericProperty>(
                    combined->key(), property.annotations(), tavi::Variant(std::string(s_incompatible))),
                MetaObject::INVALID_INDEX);
}

void MultiSelection::Impl::mergeProperty(const BoundProperty& property, const tavi::Variant& key) {
    const tavi::Variant combinedKey = keyOf(property, key);
    if (const size_t index = indexOfProperty(combinedKey); index != MetaObject::INVALID_INDEX) {
        // A fixed property or a placeholder takes nothing.
        if (BaseMultiProperty* combined = multiPropertyAt(index);
            combined && !combined->mergeProperty(property))
            markIncompatible(index, property);
        return;
    }
    const Annotations annotations = property.annotations();
    if (holdsObject(property, property.get())) {
        if (ObjectMultiProperty* combined = appendMultiProperty(
                std::make_shared<ObjectMultiProperty>(owner(), combinedKey, annotations, false)))
            combined->mergeObject(ReflectedObject(property), property);
        return;
    }
    ValueMultiProperty* combined = appendMultiProperty(std::make_shared<ValueMultiProperty>(
        owner(), property.propertyType(), property.storageType(), combinedKey, annotations));
    if (combined && !combined->mergeProperty(property))
        markIncompatible(indexOfProperty(combinedKey), property);
}

// --- Impl: unmerging --------------------------------------------------------------------------

bool MultiSelection::Impl::unmerge(size_t index, bool disconnect) {
    if (index >= m_entries.size())
        return false;
    // Copies: unmerging runs listeners, which may change the entries.
    const ReflectedObject object = m_entries.first(index);
    const BoundProperty property = m_entries.second(index);
    if (m_synced) {
        const NotifyScope scope;
        if (!unmergeObject(object, property, disconnect))
            return false;
    }
    if (index >= m_entries.size() || !(m_entries.first(index) == object)) {
        index = 0;
        while (index < m_entries.size() && !(m_entries.first(index) == object))
            ++index;
        if (index == m_entries.size())
            return true;
    }
    unwatchDeletion(object);
    m_entries.erase(index);
    if (m_entries.empty() && m_synced) {
        m_synced = false;
        removeLeftovers();
    }
    return true;
}

bool MultiSelection::Impl::unmergeObject(const ReflectedObject& object, const BoundProperty& property,
                                         bool disconnect) {
    ZEL::Profiler::Scope profile("Reflection|GenericObject|MultiSelection");
    if (classified()) {
        if (!unmergeFromGroup(object, property))
            return false;
    } else {
        for (size_t i = 0, n = object.propertyCount(); i < n; ++i)
            unmergeProperty(BoundProperty(object, i), tavi::Variant());
    }
    if (disconnect && property.isValid()) {
        m_references.removeAll(property);
        m_awaiting.erase(property);
    }
    return true;
}

bool MultiSelection::Impl::unmergeProperty(const BoundProperty& property, const tavi::Variant& key) {
    const tavi::Variant combinedKey = keyOf(property, key);
    const size_t index = indexOfProperty(combinedKey);
    BaseMultiProperty* combined = index == MetaObject::INVALID_INDEX ? nullptr : multiPropertyAt(index);
    if (!combined)
        return false;
    if (!combined->unmergeProperty(property)) {
        Kor::errorMessage("MultiSelection::Impl::unmerge(): failed to remove subobject!");
        return false;
    }
    if (combined->subProperties().empty())
        removeProperty(combinedKey);
    return true;
}

void MultiSelection::Impl::removeLeftovers() {
    const SyncSuspension suspension;
    structureChanged();
    for (size_t i = GenericObject::Impl::propertyCount(); i-- > 0;) {
        const std::shared_ptr<MetaProperty> property = GenericObject::Impl::metaPropertyAt(i);
        if (property && !hasAnnotation<Meta::MultiSelection::Persistent>(property->annotations()))
            GenericObject::Impl::removePropertyAt(i);
    }
    m_groupCount = 0;
    m_firstGroup.reset();
    m_firstGroupAnnotations.clear();
}

// --- Impl: groups -------------------------------------------------------------------------------

std::string MultiSelection::Impl::classOf(const ReflectedObject& object) const {
    const Annotations annotations = object.annotations();
    if (const auto* type = findAnnotation<Meta::MultiSelection::ObjectType>(annotations))
        return type->function(object);
    return s_unclassified;
}

void MultiSelection::Impl::changeAnnotations(size_t index, Annotations annotations) {
    const std::shared_ptr<MetaProperty> property = GenericObject::Impl::metaPropertyAt(index);
    if (!property)
        return;
    // Announced as a change of the property's sources: views and caches
    // read its annotations again.
    const PropertyChangeNotifier notifier(propertyAt(index), {}, NotifyFlag::Sources);
    property->setAnnotations(std::move(annotations));
}

bool MultiSelection::Impl::mergeIntoGroup(const ReflectedObject& object, const BoundProperty& property) {
    const std::string name = classOf(object);
    const tavi::Variant key{name};
    if (const size_t index = indexOfProperty(key); index != MetaObject::INVALID_INDEX) {
        auto* group = dynamic_cast<ObjectMultiProperty*>(metaPropertyAt(index).get());
        if (!group || !group->mergeObject(object, property)) {
            Kor::errorMessage("MultiSelection::Impl::merge(): failed to add subobject!\n");
            return false;
        }
        return true;
    }
    // Headings appear once there are two groups, each named after its
    // class. (The common type name would head the first group with
    // "multiselection" as soon as a class name differs from its objects'
    // type names.)
    Annotations annotations;
    if (m_groupCount != 0)
        annotations += tavi::Variant(Meta::Group(name, false, true, false));
    if (m_groupCount == 1) {
        const size_t first = indexOfProperty(m_firstGroup);
        const std::shared_ptr<MetaProperty> single = metaPropertyAt(first);
        if (KOR_VERIFY(single)) {
            Annotations headed = single->annotations();
            headed += tavi::Variant(Meta::Group(single->name(), false, true, false));
            changeAnnotations(first, std::move(headed));
        }
    }
    ObjectMultiProperty* group = appendMultiProperty(
        std::make_shared<ObjectMultiProperty>(owner(), key, std::move(annotations), true));
    if (!group) {
        Kor::errorMessage("MultiSelection::Impl::merge(): failed to add subobject!\n");
        return false;
    }
    group->mergeObject(object, property);
    if (m_groupCount == 0) {
        m_firstGroup = key;
        m_typeName = group->name();
        m_firstGroupAnnotations = group->annotations();
    }
    ++m_groupCount;
    return true;
}

bool MultiSelection::Impl::unmergeFromGroup(const ReflectedObject& object, const BoundProperty& property) {
    const tavi::Variant key{classOf(object)};
    const size_t index = indexOfProperty(key);
    auto* group = index == MetaObject::INVALID_INDEX
                      ? nullptr
                      : dynamic_cast<ObjectMultiProperty*>(metaPropertyAt(index).get());
    if (!group)
        return false;
    if (!group->unmergeObject(object, property)) {
        Kor::errorMessage("MultiSelection::Impl::unmerge(): failed to remove subobject!");
        return false;
    }
    if (group->subProperties().empty())
        removeEmptyGroup(key);
    return true;
}

// With one group left, that group loses its heading: it gets back the
// annotations it was created with when it was the first, and otherwise
// loses the heading it was created with (and becomes the first).
void MultiSelection::Impl::removeEmptyGroup(const tavi::Variant& key) {
    if (!removeProperty(key))
        return;
    if (--m_groupCount == 0) {
        m_firstGroup.reset();
        m_firstGroupAnnotations.clear();
        return;
    }
    size_t first = indexOfProperty(m_firstGroup);
    if (first == MetaObject::INVALID_INDEX) {
        for (first = 0; first < propertyCount(); ++first)
            if (dynamic_cast<ObjectMultiProperty*>(metaPropertyAt(first).get()))
                break;
        const std::shared_ptr<MetaProperty> next = metaPropertyAt(first);
        if (!KOR_VERIFY(next))
            return;
        Annotations annotations = next->annotations();
        if (m_groupCount == 1)
            annotations.remove(annotationKey<Meta::Group>());
        m_firstGroup = next->key();
        m_firstGroupAnnotations = annotations;
        changeAnnotations(first, std::move(annotations));
        return;
    }
    if (m_groupCount == 1)
        changeAnnotations(first, m_firstGroupAnnotations);
}

// --- Impl: what the sub-objects are --------------------------------------------------------------

// An object that is not there (a followed property holding nothing) has no
// type to compare.
void MultiSelection::Impl::noteTypeName(const ReflectedObject& object) {
    if (!object.isValid())
        return;
    // An object of the static class last noted, whose name depends on the
    // class alone (no "_typeName" property), leaves the name as it is.
    const MetaObject* meta = object.metaObject();
    if (meta == m_namedClass && m_typeName == m_namedResult)
        return;
    std::string name = object.getTypeIdentificator();
    if (name != m_typeName)
        m_typeName = m_typeName == s_empty ? std::move(name) : std::string(s_mixed);
    const bool byClass =
        fixedClassOf(object) &&
        object.indexOfProperty(tavi::Variant(std::string("_typeName"))) == MetaObject::INVALID_INDEX;
    m_namedClass = byClass ? meta : nullptr;
    m_namedResult = m_typeName;
}

void MultiSelection::Impl::referenceChanged(PropertyWatch::Event event, const BoundProperty& property,
                                            SetterFlags setterFlags, NotifyFlags notifyFlags) {
    if (!notifyFlags.test(NotifyFlag::Value) || notifyFlags.test(NotifyFlag::Child))
        return;
    if (event == PropertyWatch::Event::AboutToChange) {
        // The object leaves at the first announcement (also of a continuous
        // change); the one the property comes to hold joins at the final one.
        if (!m_awaiting.insert(property).second)
            return;
        const ReflectedObject held(property);
        const Kor::array_view<const ReflectedObject> objects = subObjects();
        for (size_t i = 0; i < objects.size(); ++i)
            if (objects[i] == held) {
                unmerge(i, false);
                break;
            }
        return;
    }
    if (setterFlags.test(SetterFlag::Intermediate))
        return;
    m_awaiting.erase(property);
    m_references.removeAll(property);
    const BoundProperty holder = m_holder;
    merge(ReflectedObject(property), property);
    // The property holding this selection now holds something else too.
    if (holder.isValid()) {
        const PropertyChangeNotifier notifier(holder, setterFlags,
                                              NotifyFlag::Value | NotifyFlag::MultiSelection);
    }
}

void MultiSelection::Impl::watchDeletion(const ReflectedObject& object) {
    if (!object.objectData())
        return;
    const void* identity = objectIdentity(object);
    auto& [connection, count] = m_deletions[identity];
    if (count++ == 0)
        connection = object.connectObjectDeleted([this, identity] { forgetInstance(identity); });
}

void MultiSelection::Impl::unwatchDeletion(const ReflectedObject& object) {
    const auto it = m_deletions.find(objectIdentity(object));
    if (it != m_deletions.end() && --it->second.second == 0)
        m_deletions.erase(it);
}

// The instance's handles no longer work: its entries, and the entries of
// the objects reached through its properties, are found by identity.
void MultiSelection::Impl::forgetInstance(const void* instance) {
    Kor::StackTracker::Frame frame("orv::MultiSelection::Impl::forgetInstance");
    const NotifyScope scope;
    std::vector<const void*> gone{instance};
    for (size_t i = m_entries.size(); i-- > 0;) {
        const void* object = objectIdentity(m_entries.first(i));
        if (object != instance && objectIdentity(m_entries.second(i).object()) != instance)
            continue;
        if (object != instance) {
            gone.push_back(object);
            unwatchDeletion(m_entries.first(i));
        }
        m_entries.erase(i);
    }
    m_deletions.erase(instance);
    m_references.removeInstance(instance);
    for (auto it = m_awaiting.begin(); it != m_awaiting.end();)
        it = objectIdentity(it->object()) == instance ? m_awaiting.erase(it) : std::next(it);
    if (!m_synced)
        return;
    structureChanged();
    for (size_t i = GenericObject::Impl::propertyCount(); i-- > 0;) {
        BaseMultiProperty* combined = multiPropertyAt(i);
        if (!combined)
            continue;
        for (const void* identity : gone)
            combined->forgetInstance(identity);
        if (!combined->subProperties().empty())
            continue;
        if (classified())
            removeEmptyGroup(tavi::Variant(combined->key()));
        else
            GenericObject::Impl::removePropertyAt(i);
    }
    if (m_entries.empty()) {
        m_synced = false;
        removeLeftovers();
    }
}

} // namespace orv
