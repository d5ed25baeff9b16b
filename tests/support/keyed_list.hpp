#pragma once
// A collection whose elements carry keys of their own (numbers that jump,
// words): what a sequential container never shows a writer or reader. Each
// element is a property keyed by its key, of the type of the value it was
// added with (Variant when it came without one). Elements are told apart by
// their names (5 and "5" are one element), as a document tells them apart.
// Structure changes are announced like any collection's.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/collection_meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"

#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace orv::test {

struct KeyedList {
    struct Item {
        std::shared_ptr<MetaProperty> meta;
        tavi::Variant value;
    };
    std::vector<Item> items;
    bool frozen = false; // refuses new elements

    const tavi::Variant* find(const MetaProperty* meta) const {
        for (const Item& item : items)
            if (item.meta.get() == meta)
                return &item.value;
        return nullptr;
    }
};

class KeyedListMetaObject : public NotifyableMetaObject<0> {
public:
    static KeyedListMetaObject& instance() {
        static KeyedListMetaObject meta;
        return meta;
    }
    ~KeyedListMetaObject() override { MetaObjectManager::instance().unregisterType(this); }

    // Adds an element before any handle to the list exists (nothing announced).
    static void add(KeyedList& list, tavi::Variant key, tavi::Variant value) {
        list.items.push_back({instance().element(std::move(key), value), std::move(value)});
    }

    tavi::Variant create() override { return tavi::Variant(std::make_shared<KeyedList>()); }
    bool objectMatches(const tavi::Variant& object) const override { return object.castPtr<KeyedList>(); }
    Annotations annotations(const tavi::Variant&) override { return {tavi::Variant(Meta::Collection())}; }

    std::shared_ptr<MetaProperty> property(const ReflectedObject& object, size_t index,
                                           size_t* remaining) const override {
        const KeyedList* list = object.get().castPtr<KeyedList>();
        if (list && index < list->items.size())
            return list->items[index].meta;
        if (remaining)
            *remaining = index - (list ? list->items.size() : 0);
        return nullptr;
    }

    size_t indexOfProperty(const ReflectedObject& object, const tavi::Variant& key) const override {
        const KeyedList* list = object.get().castPtr<KeyedList>();
        std::string name;
        if (!list || !key.tryCast(name))
            return INVALID_INDEX;
        for (size_t i = 0; i < list->items.size(); ++i)
            if (list->items[i].meta->name() == name)
                return i;
        return INVALID_INDEX;
    }

    size_t addProperty(const ReflectedObject& object, const tavi::Variant& key,
                       const tavi::Variant& value) override {
        KeyedList* list = const_cast<KeyedList*>(object.get().castPtr<KeyedList>());
        if (!list || list->frozen || key.isVoid() || indexOfProperty(object, key) != INVALID_INDEX)
            return INVALID_INDEX;
        const size_t index = list->items.size();
        PropertiesAddNotifier notifier(object, index, 1);
        list->items.push_back({element(key, value), value});
        return index;
    }

    bool removeProperty(const ReflectedObject& object, size_t index) override {
        KeyedList* list = const_cast<KeyedList*>(object.get().castPtr<KeyedList>());
        if (!list || index >= list->items.size())
            return false;
        PropertiesRemoveNotifier notifier(object, index, 1);
        list->items.erase(list->items.begin() + static_cast<std::ptrdiff_t>(index));
        return true;
    }

private:
    KeyedListMetaObject() : NotifyableMetaObject<0>(typeid(KeyedList), 0, "KeyedList", {}) {
        MetaObjectManager::instance().registerType(this);
    }

    std::shared_ptr<MetaProperty> element(tavi::Variant key, const tavi::Variant& value) {
        const std::type_info& type = value.isVoid() ? typeid(tavi::Variant) : value.typeId();
        MetaProperty::Getter getter = [](const BoundProperty& p) {
            const KeyedList* list = p.object().get().castPtr<KeyedList>();
            const tavi::Variant* found = list ? list->find(p.metaPropertyAddress()) : nullptr;
            return found ? *found : tavi::Variant();
        };
        MetaProperty::Setter setter = [](const BoundProperty& p, const tavi::Variant& value, SetterFlags) {
            const KeyedList* list = p.object().get().castPtr<KeyedList>();
            if (const tavi::Variant* found = list ? list->find(p.metaPropertyAddress()) : nullptr)
                *const_cast<tavi::Variant*>(found) = value;
        };
        return std::make_shared<NotifyableMetaProperty<0>>(this, type, type, std::move(key), Annotations(),
                                                           std::move(getter), std::move(setter));
    }
};

// Registered at load time, so that documents can name it.
inline KeyedListMetaObject& s_keyedList = KeyedListMetaObject::instance();

} // namespace orv::test
