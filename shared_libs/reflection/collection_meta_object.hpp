#pragma once
// Sequential containers reflected as objects whose properties are their
// elements: element i of a std::vector is the property with the key
// Variant(size_t(i)). A property that holds a pointer to a vector (declared
// with the builder's collection()) thus opens as a list whose elements are
// read, written, added and removed through the ordinary handles, with
// change notifications and undo:
//
//     orv::ReflectedObject tags(owner.findPropertyByName("tags"));  // the vector
//     tags.addProperty(tavi::Variant(), std::string("new"));          // appended
//     tags.propertyAt(0).set(std::string("first"));
//     tags.removePropertyAt(1);                                        // undoable
//
// Elements are read as copies and written whole: no handle points into the
// vector, whose storage moves as it grows. A list of objects to be opened
// and edited in place holds pointers to them.
//
// The owner of a container property may take over how elements are made,
// inserted and removed with the annotations below, placed on the property
// that holds the container.

#include "platform/corekit/stack_tracker.hpp"
#include "platform/kor/undo/command.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/annotations.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/details/argument_convertors.hpp"
#include "shared_libs/reflection/details/structure_change.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/persistent_object.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace Meta {

// Marks a meta object whose properties are the elements of a collection.
struct Collection {};

// Makes the element that ReflectedObject::addProperty inserts when it is
// given no value; called with the property that holds the collection. The
// first factory that returns a value wins.
struct ElementFactory {
    using Function =
        orv::FuzzyFunction<tavi::Variant(const orv::BoundProperty&), orv::BoundPropertyArgumentConvertor>;

    ElementFactory() = default;
    explicit ElementFactory(Function function) : function(std::move(function)) {}

    Function function;
};

// Takes over ReflectedObject::addProperty: called with the collection object
// and the requested position, it inserts the element itself and returns the
// index at which the element landed.
struct CollectionInsert {
    using Function = orv::FuzzyFunction<tavi::Variant(const orv::ReflectedObject&, size_t)>;

    CollectionInsert() = default;
    explicit CollectionInsert(Function function) : function(std::move(function)) {}

    Function function;
};

// Takes over ReflectedObject::removePropertyAt: called with the collection
// object and the index, it removes the element and returns it (a void value
// when it removed nothing).
struct CollectionRemove {
    using Function = orv::FuzzyFunction<tavi::Variant(const orv::ReflectedObject&, size_t)>;

    CollectionRemove() = default;
    explicit CollectionRemove(Function function) : function(std::move(function)) {}

    Function function;
};

} // namespace Meta

namespace orv {

namespace collection_meta_object_details {

template <class C>
inline constexpr bool isStdVector = false;
template <class E, class A>
inline constexpr bool isStdVector<std::vector<E, A>> = true;

// The containers reflected as collections.
template <class C>
concept StdVector = isStdVector<C>;

// `value` as an index: a held (or pointed-to) size_t, or what the value
// converter makes of it (other integers, their text).
bool readIndex(const tavi::Variant& value, size_t& index);

// `value` as an element: the value itself for Variant elements, else the
// held (or pointed-to) element, or what the value converter makes of it.
template <class Element>
bool readElement(const tavi::Variant& value, Element& element) {
    if constexpr (std::is_same_v<Element, tavi::Variant>) {
        element = value;
        return true;
    } else {
        if (const Element* held = value.castPtr<Element>()) {
            element = *held;
            return true;
        }
        return value.tryCast(element);
    }
}

// The annotations of every Meta::Children among `annotations`, in order.
Annotations childrenAnnotations(const Annotations& annotations);

// A NotifyableMetaProperty<0> for element `index`, holding any value.
std::shared_ptr<MetaProperty> makeElementProperty(MetaObject* owner, size_t index, Annotations annotations,
                                                  MetaProperty::Getter getter, MetaProperty::Setter setter);

// "Failed to insert into a container".
void reportFailedInsertion();

// Whether a change of `object` is to be recorded for undo now: a
// transaction records and the object is not stateless.
bool recordsUndo(const ReflectedObject& object);

// Records (named `name`) that removing the element at `index` takes an
// insertion back.
void recordInsertion(const ReflectedObject& object, size_t index, const char* name);

// Records (named `name`) that inserting `element` at `index` takes a removal back.
template <class Element>
void recordRemoval(const ReflectedObject& object, size_t index, Element element, const char* name);

// The element made by the first of the holder's Meta::ElementFactory that
// makes one; void when none does.
tavi::Variant makeElement(const BoundProperty& holder, const Annotations& annotations);
// ReflectedObject::addProperty through a Meta::CollectionInsert: the element
// at the index the hook reports, when the hook added exactly one.
BoundProperty insertElement(const ReflectedObject& object, const Meta::CollectionInsert& insert,
                            const tavi::Variant& key);
// ReflectedObject::removePropertyAt through a Meta::CollectionRemove.
bool removeElement(const ReflectedObject& object, const Meta::CollectionRemove& remove, size_t index);

} // namespace collection_meta_object_details

// --- undo ---------------------------------------------------------------------------

// What the undo commands of a collection share: the collection, by path
// (so that it is found again after it has been rebuilt), and the key of the
// element.
class UndoContainerBase : public Kor::utils::Command {
public:
    UndoContainerBase(std::string name, const ReflectedObject& object, tavi::Variant key);
    ~UndoContainerBase() override;

    [[nodiscard]] const PersistentObject& object() const noexcept { return m_object; }
    [[nodiscard]] const tavi::Variant& key() const noexcept { return m_key; }

protected:
    PersistentObject m_object;
    tavi::Variant m_key;
};

// Removes the element at the key: takes an insertion back.
class RemoveFromContainer : public UndoContainerBase {
public:
    using UndoContainerBase::UndoContainerBase;
    ~RemoveFromContainer() override;

    // False (reported) when there is no such element any more.
    bool execute() override;
};

// Inserts `value` at the key: takes a removal back.
template <class T>
class InsertIntoContainer : public UndoContainerBase {
public:
    InsertIntoContainer(std::string name, const ReflectedObject& object, tavi::Variant key, T value)
        : UndoContainerBase(std::move(name), object, std::move(key)), m_value(std::move(value)) {}

    [[nodiscard]] const T& value() const noexcept { return m_value; }

    // False (reported) when the collection refuses the element.
    bool execute() override {
        if (m_object.object().addProperty(m_key, tavi::Variant(m_value)).isValid())
            return true;
        collection_meta_object_details::reportFailedInsertion();
        return false;
    }

private:
    T m_value;
};

// The string moves into the collection: on success the command is left
// without it; on failure it takes it back.
template <>
bool InsertIntoContainer<std::string>::execute();

extern template class InsertIntoContainer<tavi::Variant>;
extern template class InsertIntoContainer<std::string>;

template <class Element>
void collection_meta_object_details::recordRemoval(const ReflectedObject& object, size_t index,
                                                   Element element, const char* name) {
    Kor::CommitChangesScope::makeUndo<InsertIntoContainer<Element>>(std::string(name), object,
                                                                    tavi::Variant(index), std::move(element));
}

// --- meta object ------------------------------------------------------------------

template <class Container, int N = 0>
class SequentialCollectionMetaObject;

// The meta object of one container type. Element properties are shared by
// every container of the type: element i reads and writes the element i of
// whichever container its bound property's object holds.
template <class Container>
class SequentialCollectionMetaObject<Container, 0> : public NotifyableMetaObject<0> {
public:
    using Element = typename Container::value_type;

    // Registers itself (and unregisters when destroyed). `annotations` and a
    // Meta::Collection become the type's annotations; the annotations of
    // their Meta::Children annotate every element.
    SequentialCollectionMetaObject(std::string name, Annotations annotations);
    ~SequentialCollectionMetaObject() override;

    // The instance for Container, named "vector", made on first use.
    static SequentialCollectionMetaObject& instance();

    // A new, empty container owned by a std::shared_ptr in the Variant.
    tavi::Variant create() override { return tavi::Variant(std::make_shared<Container>()); }
    // The container, a pointer to one, or what converts to one.
    bool objectMatches(const tavi::Variant& value) const override {
        const Container* container = nullptr;
        return value.tryCast(container);
    }
    Annotations annotations(const tavi::Variant&) override { return m_annotations; }

    std::shared_ptr<MetaProperty> property(const ReflectedObject& object, size_t index,
                                           size_t* remaining) const override;
    // Inserts `value` (a void value: a default element) before `key` (an
    // index; a void key or one past the end appends) and returns where it
    // went; INVALID_INDEX when the object holds no writable container, the
    // key is no index or the value no element.
    size_t addProperty(const ReflectedObject& object, const tavi::Variant& key,
                       const tavi::Variant& value) override;
    // Erases the element at `index`; false when there is none.
    bool removeProperty(const ReflectedObject& object, size_t index) override;

private:
    // Keys are indices (text ones too, as paths read back from text have
    // them): the element at that index, if any.
    size_t findSelfProperty(const ReflectedObject& object, const tavi::Variant& key) const override;
    std::shared_ptr<MetaProperty> elementProperty(size_t index) const;

    Annotations m_annotations;
    Annotations m_elementAnnotations;
    // Element properties are made on first use and kept; shared by all
    // containers of the type, hence the lock.
    mutable std::mutex m_mutex;
    mutable std::vector<std::shared_ptr<MetaProperty>> m_elementProperties;
};

template <class Container>
SequentialCollectionMetaObject<Container, 0>::SequentialCollectionMetaObject(std::string name,
                                                                             Annotations annotations)
    : NotifyableMetaObject<0>(typeid(Container), 0, std::move(name), {}),
      m_annotations(std::move(annotations)) {
    m_annotations += tavi::Variant(Meta::Collection());
    m_elementAnnotations = collection_meta_object_details::childrenAnnotations(m_annotations);
    MetaObjectManager::instance().registerType(this);
}

template <class Container>
SequentialCollectionMetaObject<Container, 0>::~SequentialCollectionMetaObject() {
    MetaObjectManager::instance().unregisterType(this);
}

template <class Container>
SequentialCollectionMetaObject<Container, 0>& SequentialCollectionMetaObject<Container, 0>::instance() {
    static SequentialCollectionMetaObject s_instance("vector", {});
    return s_instance;
}

template <class Container>
std::shared_ptr<MetaProperty> SequentialCollectionMetaObject<Container, 0>::elementProperty(
    size_t index) const {
    std::lock_guard lock(m_mutex);
    if (index >= m_elementProperties.size())
        m_elementProperties.resize(index + 1);
    std::shared_ptr<MetaProperty>& slot = m_elementProperties[index];
    if (!slot) {
        MetaProperty::Getter getter = [index](const BoundProperty& property) {
            const Container* container = convertor_details::findInstance<Container, true>(property.object());
            if (!container || index >= container->size())
                return tavi::Variant();
            return tavi::Variant(static_cast<const Element&>((*container)[index]));
        };
        // An element that is gone is left alone; a container that cannot be
        // written, or a value that is no element, is an error of the write.
        MetaProperty::Setter setter = [index](const BoundProperty& property, const tavi::Variant& value,
                                              SetterFlags) {
            Container* container = convertor_details::instanceOf<Container, false>(property);
            if (index >= container->size())
                return;
            if constexpr (std::is_same_v<Element, tavi::Variant>)
                (*container)[index] = value;
            else
                (*container)[index] = convertor_details::valueOf<Element>(value);
        };
        slot = collection_meta_object_details::makeElementProperty(
            const_cast<SequentialCollectionMetaObject*>(this), index, m_elementAnnotations, std::move(getter),
            std::move(setter));
    }
    return slot;
}

template <class Container>
std::shared_ptr<MetaProperty> SequentialCollectionMetaObject<Container, 0>::property(
    const ReflectedObject& object, size_t index, size_t* remaining) const {
    size_t rest = index;
    if (std::shared_ptr<MetaProperty> inherited = MetaObject::property(object, index, &rest))
        return inherited;
    const Container* container = convertor_details::findInstance<Container, true>(object);
    const size_t size = container ? container->size() : 0;
    if (rest < size)
        return elementProperty(rest);
    if (remaining)
        *remaining = rest - size;
    return nullptr;
}

template <class Container>
size_t SequentialCollectionMetaObject<Container, 0>::findSelfProperty(const ReflectedObject& object,
                                                                      const tavi::Variant& key) const {
    size_t index = 0;
    if (!collection_meta_object_details::readIndex(key, index))
        return INVALID_INDEX;
    const Container* container = convertor_details::findInstance<Container, true>(object);
    return container && index < container->size() ? index + firstSelfProperty(object) : INVALID_INDEX;
}

template <class Container>
size_t SequentialCollectionMetaObject<Container, 0>::addProperty(const ReflectedObject& object,
                                                                 const tavi::Variant& key,
                                                                 const tavi::Variant& value) {
    Kor::StackTracker::Frame frame("orv::SequentialCollectionMetaObject::addProperty");
    Container* container = convertor_details::findInstance<Container, false>(object);
    if (!container)
        return INVALID_INDEX;
    size_t position = container->size();
    if (size_t requested = 0; !key.isVoid()) {
        if (!collection_meta_object_details::readIndex(key, requested))
            return INVALID_INDEX;
        position = std::min(position, requested);
    }
    Element element{};
    if (!value.isVoid() && !collection_meta_object_details::readElement(value, element))
        return INVALID_INDEX;
    if (structure_change_details::Announcing::refuses(object,
                                                      "orv::SequentialCollectionMetaObject::addProperty"))
        return INVALID_INDEX;
    const structure_change_details::AnnouncedChange<PropertiesAddNotifier> notifier(object, position, 1);
    // Listeners may have touched the vector directly: never insert past its end.
    position = std::min(position, container->size());
    container->insert(container->begin() + std::ptrdiff_t(position), std::move(element));
    // Recorded once the element is in: a listener that threw above leaves no
    // command that would remove something else.
    if (collection_meta_object_details::recordsUndo(object))
        collection_meta_object_details::recordInsertion(object, position, "Add element to collection");
    return position;
}

template <class Container>
bool SequentialCollectionMetaObject<Container, 0>::removeProperty(const ReflectedObject& object,
                                                                  size_t index) {
    Kor::StackTracker::Frame frame("orv::SequentialCollectionMetaObject::removeProperty");
    Container* container = convertor_details::findInstance<Container, false>(object);
    if (!container || index >= container->size())
        return false;
    if (structure_change_details::Announcing::refuses(object,
                                                      "orv::SequentialCollectionMetaObject::removeProperty"))
        return false;
    const structure_change_details::AnnouncedChange<PropertiesRemoveNotifier> notifier(object, index, 1);
    if (index >= container->size())
        return false;
    const auto position = container->begin() + std::ptrdiff_t(index);
    if (collection_meta_object_details::recordsUndo(object))
        collection_meta_object_details::recordRemoval(object, index, std::move(*position),
                                                      "Remove element from collection");
    container->erase(position);
    return true;
}

extern template class SequentialCollectionMetaObject<std::vector<tavi::Variant>, 0>;
extern template class SequentialCollectionMetaObject<std::vector<std::string>, 0>;

} // namespace orv
