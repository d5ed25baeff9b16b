#pragma once
// Small hand-written meta objects for exercising the type model before the
// declaration builder exists: a flat list of self properties and a
// caller-supplied recogniser.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_property.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::test {

// A meta property whose per-object slots go to the per-object signal maps.
class TestMetaProperty : public MetaProperty {
public:
    TestMetaProperty(MetaObject* owner, tavi::Variant key, Annotations annotations = {}, Getter getter = {},
                     Setter setter = {}, const std::type_info& type = typeid(int))
        : MetaProperty(owner, type, type, std::move(key), std::move(annotations), std::move(getter),
                       std::move(setter)) {}
    TestMetaProperty(MetaObject* owner, tavi::Variant key, Method method)
        : MetaProperty(owner, typeid(tavi::Variant), typeid(tavi::Variant), std::move(key), {}, std::move(method)) {}

    std::shared_ptr<MetaProperty> clone() const override { return std::make_shared<TestMetaProperty>(*this); }
    bool hasData() const override { return false; }

    // Raise the notifications as a write or call through the library would.
    void announce(const BoundProperty& p, SetterFlags s, NotifyFlags n) const { propertyAboutToBeChanged(p, s, n); }
    void deliver(const BoundProperty& p, SetterFlags s, NotifyFlags n) const { propertyChanged(p, s, n); }
    void announceCall(const BoundProperty& p, size_t count, const tavi::Variant* args, SetterFlags s,
                      NotifyFlags n) const {
        methodAboutToBeInvoked(p, count, args, s, n);
    }
    void deliverCall(const BoundProperty& p, size_t count, const tavi::Variant* args, const tavi::Variant& result,
                     SetterFlags s, NotifyFlags n) const {
        methodInvoked(p, count, args, result, s, n);
    }

private:
    zel::Connection connectPropertyAboutToBeChanged(const BoundProperty& p, zel::InlineConnection* storage,
                                                    const PropertySlot& slot, int priority) const override {
        return propertyAboutToBeChangedMap().connect(instanceKey(p), "checked propertyAboutToBeChanged", storage,
                                                     slot, priority);
    }
    zel::Connection connectPropertyChanged(const BoundProperty& p, zel::InlineConnection* storage,
                                           const PropertySlot& slot, int priority) const override {
        return propertyChangedMap().connect(instanceKey(p), "checked propertyChanged", storage, slot, priority);
    }
    zel::Connection connectMethodAboutToBeInvoked(const BoundProperty& p, zel::InlineConnection* storage,
                                                  const MethodAboutToBeInvokedSlot& slot,
                                                  int priority) const override {
        return methodAboutToBeInvokedMap().connect(instanceKey(p), "checked methodAboutToBeInvoked", storage, slot,
                                                   priority);
    }
    zel::Connection connectMethodInvoked(const BoundProperty& p, zel::InlineConnection* storage,
                                         const MethodInvokedSlot& slot, int priority) const override {
        return methodInvokedMap().connect(instanceKey(p), "checked methodInvoked", storage, slot, priority);
    }
};

class TestMetaObject : public MetaObject {
public:
    using Matcher = std::function<bool(const tavi::Variant&)>;

    TestMetaObject(const std::type_info& type, std::string name, std::vector<BaseClass> bases = {},
                   Matcher matcher = {})
        : MetaObject(type, 1, std::move(name), std::move(bases)), m_matcher(std::move(matcher)) {}

    // Adds a self property keyed by `key` (a string, or anything convertible to one).
    MetaProperty& addSelf(tavi::Variant key) {
        m_self.push_back(std::make_shared<TestMetaProperty>(this, std::move(key)));
        return *m_self.back();
    }
    // Adds a ready-made self property.
    template <class P>
    P& add(std::shared_ptr<P> property) {
        m_self.push_back(property);
        return *property;
    }
    // Forgets the last self property (its handles expire with it).
    void dropLast() { m_self.pop_back(); }
    void setAnnotations(Annotations annotations) { m_annotations = std::move(annotations); }
    // Leaves a hole in the self range: the lookup must report it.
    void addNullSelf() { m_self.push_back(nullptr); }

    tavi::Variant create() override { return {}; }
    bool objectMatches(const tavi::Variant& object) const override { return m_matcher && m_matcher(object); }
    Annotations annotations(const tavi::Variant&) override { return m_annotations; }
    std::shared_ptr<ObjectData> objectData(const tavi::Variant&) override { return nullptr; }

    std::shared_ptr<MetaProperty> property(const ReflectedObject& object, size_t index,
                                           size_t* remaining) const override {
        size_t running = index;
        if (auto inherited = MetaObject::property(object, index, &running))
            return inherited;
        if (running < m_self.size())
            return m_self[running];
        if (remaining)
            *remaining = running - m_self.size();
        return nullptr;
    }

protected:
    void propertyAboutToBeAdded(const ReflectedObject&, size_t, size_t) override {}
    void propertyAdded(const ReflectedObject&, size_t, size_t) override {}
    void propertyAboutToBeRemoved(const ReflectedObject&, size_t, size_t) override {}
    void propertyRemoved(const ReflectedObject&, size_t, size_t) override {}
    // Hand-written meta objects announce nothing.
    zel::Connection connectObjectDeleted(const ReflectedObject&, zel::InlineConnection*, const ObjectDeletedSlot&,
                                         int) override {
        return {};
    }
    zel::Connection connectStructureAboutToBeChanged(const ReflectedObject&, zel::InlineConnection*,
                                                     const ObjectSlot&, int) override {
        return {};
    }
    zel::Connection connectStructureChanged(const ReflectedObject&, zel::InlineConnection*, const ObjectSlot&,
                                            int) override {
        return {};
    }
    zel::Connection connectPropertiesAboutToBeReset(const ReflectedObject&, zel::InlineConnection*,
                                                    const ObjectSlot&, int) override {
        return {};
    }
    zel::Connection connectPropertiesReset(const ReflectedObject&, zel::InlineConnection*, const ObjectSlot&,
                                           int) override {
        return {};
    }
    zel::Connection connectPropertyAboutToBeAdded(const ReflectedObject&, zel::InlineConnection*,
                                                  const PropertyRangeSlot&, int) override {
        return {};
    }
    zel::Connection connectPropertyAdded(const ReflectedObject&, zel::InlineConnection*, const PropertyRangeSlot&,
                                         int) override {
        return {};
    }
    zel::Connection connectPropertyAboutToBeRemoved(const ReflectedObject&, zel::InlineConnection*,
                                                    const PropertyRangeSlot&, int) override {
        return {};
    }
    zel::Connection connectPropertyRemoved(const ReflectedObject&, zel::InlineConnection*, const PropertyRangeSlot&,
                                           int) override {
        return {};
    }
    void structureAboutToBeChanged(const ReflectedObject&) override {}
    void structureChanged(const ReflectedObject&) override {}
    void propertiesAboutToBeReset(const ReflectedObject&) override {}
    void propertiesReset(const ReflectedObject&) override {}

private:
    Matcher m_matcher;
    Annotations m_annotations;
    std::vector<std::shared_ptr<MetaProperty>> m_self;
};

// Registers a meta object with the process-wide registry while it lives.
class Registration {
public:
    explicit Registration(MetaObject& meta) : m_meta(meta) { MetaObjectManager::instance().registerType(&meta); }
    ~Registration() { MetaObjectManager::instance().unregisterType(&m_meta); }
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

private:
    MetaObject& m_meta;
};

// The meta objects above never look at the object handle they are given.
inline const ReflectedObject& anyObject() {
    static const ReflectedObject none;
    return none;
}

} // namespace orv::test
