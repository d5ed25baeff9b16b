#pragma once
// Objects with per-instance data for exercising reflected objects, bound
// properties and their caches: a small node type that can point to another
// node, and a meta object with a mutable property list that keeps one
// ObjectData per instance and announces every structure change to it.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "tests/support/test_meta_object.hpp"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace orv::test {

struct Node {
    std::string id; // names the node in test output; not a property
    int number = 0;
    std::string text;
    Node* child = nullptr;
    std::string kind; // served as "_typeName" where a fixture asks for it
};

using DataMetaProperty = NotifyableMetaProperty<1>;

// A property whose instances keep PropertyData.
inline std::shared_ptr<DataMetaProperty> dataProperty(MetaObject* owner, std::string key,
                                                      const std::type_info& type, MetaProperty::Getter getter,
                                                      MetaProperty::Setter setter = {},
                                                      Annotations annotations = {}) {
    return std::make_shared<DataMetaProperty>(owner, type, type, tavi::Variant(std::move(key)),
                                              std::move(annotations), std::move(getter), std::move(setter));
}

// A property reading (and writing) one member of Node.
template <class T>
std::shared_ptr<DataMetaProperty> nodeField(MetaObject* owner, std::string key, T Node::*member,
                                            Annotations annotations = {}) {
    MetaProperty::Getter getter = [member](const BoundProperty& p) {
        const Node* node = p.object().get().castPtr<Node>();
        return node ? tavi::Variant(node->*member) : tavi::Variant();
    };
    MetaProperty::Setter setter = [member](const BoundProperty& p, const tavi::Variant& value, SetterFlags) {
        T typed{};
        if (const Node* node = p.object().get().castPtr<Node>(); node && value.tryCast(typed))
            const_cast<Node*>(node)->*member = std::move(typed);
    };
    return dataProperty(owner, std::move(key), typeid(T), std::move(getter), std::move(setter),
                        std::move(annotations));
}

// The meta object of Node. Every instance gets its own ObjectData on first
// use, and every structure change is announced to all of them in the order
// the library expects: about-to, change, done.
class NodeMetaObject : public BasicTestMetaObject<NotifyableMetaObject<1>> {
public:
    NodeMetaObject()
        : BasicTestMetaObject(typeid(Node), "Node", {},
                              [](const tavi::Variant& v) { return v.typeId() == typeid(Node); }) {}

    // Only while no instance has data.
    void setProperties(Properties properties) { m_self = std::move(properties); }
    // removeProperty refuses `property`.
    void pin(const MetaProperty* property) { m_pinned.insert(property); }

    void insertProperties(size_t index, Properties properties) {
        const size_t count = properties.size();
        change([&](Handle o) { propertyAboutToBeAdded(o, index, count); },
               [&] {
                   m_self.insert(m_self.begin() + std::ptrdiff_t(index), properties.begin(),
                                 properties.end());
               },
               [&](Handle o) { propertyAdded(o, index, count); });
    }
    void eraseProperties(size_t index, size_t count) {
        const auto first = m_self.begin() + std::ptrdiff_t(index);
        change([&](Handle o) { propertyAboutToBeRemoved(o, index, count); },
               [&] { m_self.erase(first, first + std::ptrdiff_t(count)); },
               [&](Handle o) { propertyRemoved(o, index, count); });
    }
    // `whileResetting` runs between the two reset notifications.
    void resetProperties(
        Properties properties, const std::function<void()>& whileResetting = [] {}) {
        change([&](Handle o) { propertiesAboutToBeReset(o); },
               [&] {
                   m_self = std::move(properties);
                   whileResetting();
               },
               [&](Handle o) { propertiesReset(o); });
    }
    // Drops the instance's data; handles to it expire.
    void forget(const Node& node) { m_data.erase(&node); }

    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override {
        const void* address = object.pointerAddress();
        if (!address)
            return nullptr;
        auto& [value, data] = m_data[address];
        if (!data) {
            value = object;
            data = ObjectData::create(object, this);
        }
        return data;
    }
    // A property serving `value`, appended.
    size_t addProperty(const ReflectedObject&, const tavi::Variant& key,
                       const tavi::Variant& value) override {
        const std::string* name = key.castPtr<std::string>();
        if (!name)
            return INVALID_INDEX;
        const size_t index = m_self.size();
        insertProperties(index, {dataProperty(this, *name, typeid(tavi::Variant),
                                              [value](const BoundProperty&) { return value; })});
        return index;
    }
    bool removeProperty(const ReflectedObject&, size_t index) override {
        if (index >= m_self.size() || m_pinned.count(m_self[index].get()))
            return false;
        eraseProperties(index, 1);
        return true;
    }

private:
    using Handle = const ReflectedObject&;

    // Tells every instance that has data about a change. Their handles are
    // made before it, so that their caches see the whole change.
    template <class Before, class Apply, class After>
    void change(const Before& before, const Apply& apply, const After& after) {
        std::vector<ReflectedObject> objects;
        for (const auto& entry : m_data)
            objects.emplace_back(entry.second.first, entry.second.second);
        for (const ReflectedObject& object : objects)
            before(object);
        apply();
        for (const ReflectedObject& object : objects)
            after(object);
    }

    std::set<const MetaProperty*> m_pinned;
    std::map<const void*, std::pair<tavi::Variant, std::shared_ptr<ObjectData>>> m_data;
};

// root -> mid -> leaf through "child"; every node has number, text, child.
struct NodeTree {
    NodeTree() {
        meta.setProperties({number, text, child});
        root.child = &mid;
        mid.child = &leaf;
    }
    ReflectedObject rootObject() { return ReflectedObject(tavi::Variant(&root)); }

    NodeMetaObject meta;
    Registration registration{meta};
    std::shared_ptr<DataMetaProperty> number = nodeField(&meta, "number", &Node::number);
    std::shared_ptr<DataMetaProperty> text = nodeField(&meta, "text", &Node::text);
    std::shared_ptr<DataMetaProperty> child = nodeField(&meta, "child", &Node::child);
    Node root{"root", 1, "r", nullptr, ""}, mid{"mid", 2, "m", nullptr, ""},
        leaf{"leaf", 3, "l", nullptr, ""}, spare{"spare", 4, "s", nullptr, ""};
};

// "<node id>.<property name>", to compare what a pattern yields.
inline std::string label(const BoundProperty& property) {
    const Node* node = property.object().get().castPtr<Node>();
    return (node ? node->id : std::string("?")) + "." + property.name();
}

} // namespace orv::test
