#include "shared_libs/reflection/collection_meta_object.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"

namespace orv {
namespace {

// Annotations are filed under their type's name, so the names are fixed
// before anything is annotated.
const tavi::MetaType* const s_types[] = {
    tavi::MetaType::registerType<Meta::Collection>("Meta::Collection"),
    tavi::MetaType::registerType<Meta::ElementFactory>("Meta::ElementFactory"),
    tavi::MetaType::registerType<Meta::CollectionInsert>("Meta::CollectionInsert"),
    tavi::MetaType::registerType<Meta::CollectionRemove>("Meta::CollectionRemove"),
};

} // namespace

namespace collection_meta_object_details {

bool readIndex(const tavi::Variant& value, size_t& index) {
    if (const size_t* held = value.castPtr<size_t>()) {
        index = *held;
        return true;
    }
    return value.type() && value.tryCast(index);
}

Annotations childrenAnnotations(const Annotations& annotations) {
    Annotations result;
    for (const Meta::Children& children : annotationsOf<Meta::Children>(annotations))
        result += children.annotations;
    return result;
}

std::shared_ptr<MetaProperty> makeElementProperty(MetaObject* owner, size_t index, Annotations annotations,
                                                  MetaProperty::Getter getter, MetaProperty::Setter setter) {
    ZEL::Profiler::Scope scope("Reflection|MetaProperties|CollectionMetaObject");
    return std::make_shared<NotifyableMetaProperty<0>>(owner, typeid(tavi::Variant), typeid(tavi::Variant),
                                                       tavi::Variant(index), std::move(annotations),
                                                       std::move(getter), std::move(setter));
}

bool recordsUndo(const ReflectedObject& object) {
    Kor::CommitChangesScope::Transaction* transaction = Kor::CommitChangesScope::transaction();
    return transaction && transaction->command() && !object.isStateless();
}

void recordInsertion(const ReflectedObject& object, size_t index, const char* name) {
    Kor::CommitChangesScope::makeUndo<RemoveFromContainer>(std::string(name), object, tavi::Variant(index));
}

void reportFailedInsertion() { Kor::errorMessage("Failed to insert into a container"); }

tavi::Variant makeElement(const BoundProperty& holder, const Annotations& annotations) {
    for (const Meta::ElementFactory& factory : annotationsOf<Meta::ElementFactory>(annotations))
        if (tavi::Variant element = factory.function(holder); !element.isVoid())
            return element;
    return {};
}

BoundProperty insertElement(const ReflectedObject& object, const Meta::CollectionInsert& insert,
                            const tavi::Variant& key) {
    const size_t count = object.propertyCount();
    size_t position = count;
    if (size_t requested = 0; readIndex(key, requested))
        position = requested;
    size_t index = 0;
    if (!readIndex(insert.function(object, position), index))
        return {};
    const size_t newCount = object.propertyCount();
    if (index >= newCount || newCount != count + 1)
        return {};
    if (recordsUndo(object))
        recordInsertion(object, index, "Remove element from collection");
    return object.propertyAt(index);
}

bool removeElement(const ReflectedObject& object, const Meta::CollectionRemove& remove, size_t index) {
    tavi::Variant removed = remove.function(object, index);
    if (!removed.isVoid() && recordsUndo(object))
        recordRemoval(object, index, std::move(removed), "Insert element to collection");
    return true;
}

} // namespace collection_meta_object_details

// --- undo ---------------------------------------------------------------------------

UndoContainerBase::UndoContainerBase(std::string name, const ReflectedObject& object, tavi::Variant key)
    : Command(std::move(name)), m_object(object), m_key(std::move(key)) {}

UndoContainerBase::~UndoContainerBase() = default;

RemoveFromContainer::~RemoveFromContainer() = default;

bool RemoveFromContainer::execute() {
    const ReflectedObject object = m_object.object();
    const MetaObject* meta = object.metaObject();
    const size_t index = meta ? meta->indexOfProperty(object, m_key) : MetaObject::INVALID_INDEX;
    if (object.removePropertyAt(index))
        return true;
    Kor::errorMessage("Failed to remove from a container");
    return false;
}

template <>
bool InsertIntoContainer<std::string>::execute() {
    tavi::Variant value(std::move(m_value));
    m_value.clear();
    if (m_object.object().addProperty(m_key, value).isValid())
        return true;
    if (std::string* held = value.mutablePtr<std::string>())
        m_value = std::move(*held);
    else if (!value.tryCast(m_value))
        Kor::errorMessage("InsertIntoContainer::execute : cast error! Command value is missed!");
    collection_meta_object_details::reportFailedInsertion();
    return false;
}

template class InsertIntoContainer<tavi::Variant>;
template class InsertIntoContainer<std::string>;

template class SequentialCollectionMetaObject<std::vector<tavi::Variant>, 0>;
template class SequentialCollectionMetaObject<std::vector<std::string>, 0>;

namespace {

// The two containers every editor has are reflected from the start.
const bool s_builtInCollections =
    (SequentialCollectionMetaObject<std::vector<tavi::Variant>, 0>::instance(),
     SequentialCollectionMetaObject<std::vector<std::string>, 0>::instance(), true);

} // namespace

} // namespace orv
