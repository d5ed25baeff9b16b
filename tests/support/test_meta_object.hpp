#pragma once
// Small hand-written meta objects for exercising the type model before the
// declaration builder exists: a flat list of self properties and a
// caller-supplied recogniser. Signals go where the notifying bases put them.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/meta_property.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::test {

// A data property (an int unless told otherwise) or a method; the slots of
// one instance go to the per-object signal maps.
class TestMetaProperty : public NotifyableMetaProperty<0> {
public:
    TestMetaProperty(MetaObject* owner, tavi::Variant key, Annotations annotations = {}, Getter getter = {},
                     Setter setter = {}, const std::type_info& type = typeid(int))
        : NotifyableMetaProperty(owner, type, type, std::move(key), std::move(annotations), std::move(getter),
                                 std::move(setter)) {}
    TestMetaProperty(MetaObject* owner, tavi::Variant key, Method method)
        : NotifyableMetaProperty(owner, typeid(tavi::Variant), typeid(tavi::Variant), std::move(key), {},
                                 std::move(method)) {}
};

// `Base` decides where structure signals go: NotifyableMetaObject<0> keeps
// them per object, NotifyableMetaObject<1> hands them to the instance's data.
template <class Base>
class BasicTestMetaObject : public Base {
public:
    using Matcher = std::function<bool(const tavi::Variant&)>;
    using Properties = std::vector<std::shared_ptr<MetaProperty>>;

    BasicTestMetaObject(const std::type_info& type, std::string name,
                        std::vector<MetaObject::BaseClass> bases = {}, Matcher matcher = {})
        : Base(type, 1, std::move(name), std::move(bases)), m_matcher(std::move(matcher)) {}

    // Adds a self property keyed by `key` (a string, or anything convertible to one).
    MetaProperty& addSelf(tavi::Variant key) {
        return *add(std::make_shared<TestMetaProperty>(this, std::move(key)));
    }
    // Adds a ready-made self property.
    template <class P>
    std::shared_ptr<P> add(std::shared_ptr<P> property) {
        m_self.push_back(property);
        return property;
    }
    // Forgets the last self property (its handles expire with it).
    void dropLast() { m_self.pop_back(); }
    // Leaves a hole in the self range: the lookup must report it.
    void addNullSelf() { m_self.push_back(nullptr); }
    void setAnnotations(Annotations annotations) { m_annotations = std::move(annotations); }

    tavi::Variant create() override { return {}; }
    bool objectMatches(const tavi::Variant& object) const override { return m_matcher && m_matcher(object); }
    Annotations annotations(const tavi::Variant&) override { return m_annotations; }

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
    Properties m_self;

private:
    Matcher m_matcher;
    Annotations m_annotations;
};

using TestMetaObject = BasicTestMetaObject<NotifyableMetaObject<0>>;

// Registers a meta object with the process-wide registry while it lives.
class Registration {
public:
    explicit Registration(MetaObject& meta) : m_meta(meta) {
        MetaObjectManager::instance().registerType(&meta);
    }
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
