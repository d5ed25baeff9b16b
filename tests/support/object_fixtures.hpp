#pragma once
// Objects with per-instance data for exercising reflected objects, bound
// properties and their caches: a small node type that can point to another
// node, a meta property whose instances keep PropertyData, and a meta object
// with a mutable property list that keeps one ObjectData per instance and
// announces every structure change to it.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_property.hpp"
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

// Slots and notifications go to the PropertyData of the bound property, and
// the changes are also raised on the per-object and global signals.
class DataMetaProperty : public MetaProperty {
public:
    DataMetaProperty(MetaObject* owner, std::string key, const std::type_info& type, Getter getter, Setter setter = {},
                     Annotations annotations = {})
        : MetaProperty(owner, type, type, tavi::Variant(std::move(key)), std::move(annotations), std::move(getter),
                       std::move(setter)) {}

    std::shared_ptr<MetaProperty> clone() const override { return std::make_shared<DataMetaProperty>(*this); }
    bool hasData() const override { return true; }

    // Delivers a change as the notify scope would.
    void deliver(const BoundProperty& p, SetterFlags s, NotifyFlags n) const { propertyChanged(p, s, n); }

protected:
    void propertyChanged(const BoundProperty& p, SetterFlags s, NotifyFlags n) const override {
        if (PropertyData* data = p.propertyData())
            data->propertyChanged(p, s, n);
        MetaProperty::propertyChanged(p, s, n);
    }

private:
    zel::Connection connectPropertyAboutToBeChanged(const BoundProperty& p, zel::InlineConnection* storage,
                                                    const PropertySlot& slot, int priority) const override {
        PropertyData* data = p.propertyData();
        return data ? data->connectPropertyAboutToBeChanged(storage, slot, priority) : zel::Connection();
    }
    zel::Connection connectPropertyChanged(const BoundProperty& p, zel::InlineConnection* storage,
                                           const PropertySlot& slot, int priority) const override {
        PropertyData* data = p.propertyData();
        return data ? data->connectPropertyChanged(storage, slot, priority) : zel::Connection();
    }
    zel::Connection connectMethodAboutToBeInvoked(const BoundProperty& p, zel::InlineConnection* storage,
                                                  const MethodAboutToBeInvokedSlot& slot,
                                                  int priority) const override {
        PropertyData* data = p.propertyData();
        return data ? data->connectMethodAboutToBeInvoked(storage, slot, priority) : zel::Connection();
    }
    zel::Connection connectMethodInvoked(const BoundProperty& p, zel::InlineConnection* storage,
                                         const MethodInvokedSlot& slot, int priority) const override {
        PropertyData* data = p.propertyData();
        return data ? data->connectMethodInvoked(storage, slot, priority) : zel::Connection();
    }
};

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
    return std::make_shared<DataMetaProperty>(owner, std::move(key), typeid(T), std::move(getter), std::move(setter),
                                              std::move(annotations));
}

// The meta object of Node. Every instance gets its own ObjectData on first
// use, and every structure change is announced to all of them in the order
// the library expects: about-to, change, done.
class NodeMetaObject : public MetaObject {
public:
    using Properties = std::vector<std::shared_ptr<MetaProperty>>;

    explicit NodeMetaObject(std::string name = "Node") : MetaObject(typeid(Node), 1, std::move(name), {}) {}

    // Only while no instance has data.
    void setProperties(Properties properties) { m_properties = std::move(properties); }
    void setAnnotations(Annotations annotations) { m_annotations = std::move(annotations); }
    // removeProperty refuses `property`.
    void pin(const MetaProperty* property) { m_pinned.insert(property); }

    void insertProperties(size_t index, Properties properties) {
        const size_t count = properties.size();
        const std::vector<ReflectedObject> objects = instances();
        for (const ReflectedObject& object : objects)
            propertyAboutToBeAdded(object, index, count);
        m_properties.insert(m_properties.begin() + std::ptrdiff_t(index), properties.begin(), properties.end());
        for (const ReflectedObject& object : objects)
            propertyAdded(object, index, count);
    }
    void eraseProperties(size_t index, size_t count) {
        const std::vector<ReflectedObject> objects = instances();
        for (const ReflectedObject& object : objects)
            propertyAboutToBeRemoved(object, index, count);
        const auto first = m_properties.begin() + std::ptrdiff_t(index);
        m_properties.erase(first, first + std::ptrdiff_t(count));
        for (const ReflectedObject& object : objects)
            propertyRemoved(object, index, count);
    }
    // `whileResetting` runs between the two reset notifications.
    void resetProperties(Properties properties, const std::function<void()>& whileResetting = {}) {
        const std::vector<ReflectedObject> objects = instances();
        for (const ReflectedObject& object : objects)
            propertiesAboutToBeReset(object);
        m_properties = std::move(properties);
        if (whileResetting)
            whileResetting();
        for (const ReflectedObject& object : objects)
            propertiesReset(object);
    }
    // Drops the instance's data; handles to it expire.
    void forget(const Node& node) { m_data.erase(&node); }

    tavi::Variant create() override { return {}; }
    bool objectMatches(const tavi::Variant& object) const override { return object.typeId() == typeid(Node); }
    Annotations annotations(const tavi::Variant&) override { return m_annotations; }
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override {
        const void* address = object.pointerAddress();
        if (!address)
            return nullptr;
        Instance& instance = m_data[address];
        if (!instance.data)
            instance = {object, ObjectData::create(object, this)};
        return instance.data;
    }

    std::shared_ptr<MetaProperty> property(const ReflectedObject&, size_t index, size_t* remaining) const override {
        if (index < m_properties.size())
            return m_properties[index];
        if (remaining)
            *remaining = index - m_properties.size();
        return nullptr;
    }
    // A property serving `value`, appended.
    size_t addProperty(const ReflectedObject&, const tavi::Variant& key, const tavi::Variant& value) override {
        const std::string* name = key.castPtr<std::string>();
        if (!name)
            return INVALID_INDEX;
        const size_t index = m_properties.size();
        insertProperties(index, {std::make_shared<DataMetaProperty>(
                                    this, *name, typeid(tavi::Variant),
                                    [value](const BoundProperty&) { return value; })});
        return index;
    }
    bool removeProperty(const ReflectedObject&, size_t index) override {
        if (index >= m_properties.size() || m_pinned.count(m_properties[index].get()))
            return false;
        eraseProperties(index, 1);
        return true;
    }

protected:
    // Notifications and connections go to the instance's data; nothing without it.
    template <class... Args>
    static void notify(const ReflectedObject& o, void (ObjectData::*entry)(const ReflectedObject&, Args...),
                       Args... args) {
        if (ObjectData* d = o.objectData())
            (d->*entry)(o, args...);
    }
    template <class Slot>
    static zel::Connection forward(const ReflectedObject& o,
                                   zel::Connection (ObjectData::*connect)(zel::InlineConnection*, const Slot&, int)
                                       const,
                                   zel::InlineConnection* storage, const Slot& slot, int priority) {
        const ObjectData* d = o.objectData();
        return d ? (d->*connect)(storage, slot, priority) : zel::Connection();
    }

    using O = const ReflectedObject&;
    using S = zel::InlineConnection*;
    void propertyAboutToBeAdded(O o, size_t i, size_t n) override {
        notify(o, &ObjectData::propertyAboutToBeAdded, i, n);
    }
    void propertyAdded(O o, size_t i, size_t n) override { notify(o, &ObjectData::propertyAdded, i, n); }
    void propertyAboutToBeRemoved(O o, size_t i, size_t n) override {
        notify(o, &ObjectData::propertyAboutToBeRemoved, i, n);
    }
    void propertyRemoved(O o, size_t i, size_t n) override { notify(o, &ObjectData::propertyRemoved, i, n); }
    void structureAboutToBeChanged(O o) override { notify(o, &ObjectData::structureAboutToBeChanged); }
    void structureChanged(O o) override { notify(o, &ObjectData::structureChanged); }
    void propertiesAboutToBeReset(O o) override { notify(o, &ObjectData::propertiesAboutToBeReset); }
    void propertiesReset(O o) override { notify(o, &ObjectData::propertiesReset); }
    zel::Connection connectObjectDeleted(O o, S s, const ObjectDeletedSlot& slot, int p) override {
        return forward(o, &ObjectData::connectObjectDeleted, s, slot, p);
    }
    zel::Connection connectStructureAboutToBeChanged(O o, S s, const ObjectSlot& slot, int p) override {
        return forward(o, &ObjectData::connectStructureAboutToBeChanged, s, slot, p);
    }
    zel::Connection connectStructureChanged(O o, S s, const ObjectSlot& slot, int p) override {
        return forward(o, &ObjectData::connectStructureChanged, s, slot, p);
    }
    zel::Connection connectPropertiesAboutToBeReset(O o, S s, const ObjectSlot& slot, int p) override {
        return forward(o, &ObjectData::connectPropertiesAboutToBeReset, s, slot, p);
    }
    zel::Connection connectPropertiesReset(O o, S s, const ObjectSlot& slot, int p) override {
        return forward(o, &ObjectData::connectPropertiesReset, s, slot, p);
    }
    zel::Connection connectPropertyAboutToBeAdded(O o, S s, const PropertyRangeSlot& slot, int p) override {
        return forward(o, &ObjectData::connectPropertyAboutToBeAdded, s, slot, p);
    }
    zel::Connection connectPropertyAdded(O o, S s, const PropertyRangeSlot& slot, int p) override {
        return forward(o, &ObjectData::connectPropertyAdded, s, slot, p);
    }
    zel::Connection connectPropertyAboutToBeRemoved(O o, S s, const PropertyRangeSlot& slot, int p) override {
        return forward(o, &ObjectData::connectPropertyAboutToBeRemoved, s, slot, p);
    }
    zel::Connection connectPropertyRemoved(O o, S s, const PropertyRangeSlot& slot, int p) override {
        return forward(o, &ObjectData::connectPropertyRemoved, s, slot, p);
    }

private:
    struct Instance {
        tavi::Variant value;
        std::shared_ptr<ObjectData> data;
    };

    // Handles to every instance that has data, made before a change so that
    // their caches see the whole change.
    std::vector<ReflectedObject> instances() const {
        std::vector<ReflectedObject> objects;
        for (const auto& entry : m_data)
            objects.emplace_back(entry.second.value, entry.second.data);
        return objects;
    }

    Properties m_properties;
    Annotations m_annotations;
    std::set<const MetaProperty*> m_pinned;
    std::map<const void*, Instance> m_data;
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
    Node root{"root", 1, "r", nullptr, ""}, mid{"mid", 2, "m", nullptr, ""}, leaf{"leaf", 3, "l", nullptr, ""},
        spare{"spare", 4, "s", nullptr, ""};
};

// "<node id>.<property name>", to compare what a pattern yields.
inline std::string label(const BoundProperty& property) {
    const Node* node = property.object().get().castPtr<Node>();
    return (node ? node->id : std::string("?")) + "." + property.name();
}

} // namespace orv::test
