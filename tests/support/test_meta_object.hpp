#pragma once
// Small hand-written meta objects for exercising the type model before the
// declaration builder exists: a flat list of self properties and a
// caller-supplied recogniser.

#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/meta_object.hpp"
#include "shared_libs/reflection/meta_property.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv::test {

class TestMetaProperty : public MetaProperty {
public:
    TestMetaProperty(MetaObject* owner, tavi::Variant key)
        : MetaProperty(owner, typeid(int), typeid(int), std::move(key)) {}
    std::shared_ptr<MetaProperty> clone() const override { return std::make_shared<TestMetaProperty>(*this); }
    bool hasData() const override { return false; }
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
    // Leaves a hole in the self range: the lookup must report it.
    void addNullSelf() { m_self.push_back(nullptr); }

    tavi::Variant create() override { return {}; }
    bool objectMatches(const tavi::Variant& object) const override { return m_matcher && m_matcher(object); }
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
    void structureAboutToBeChanged(const ReflectedObject&) override {}
    void structureChanged(const ReflectedObject&) override {}
    void propertiesAboutToBeReset(const ReflectedObject&) override {}
    void propertiesReset(const ReflectedObject&) override {}

private:
    Matcher m_matcher;
    std::vector<std::shared_ptr<MetaProperty>> m_self;
};

// The meta objects above never look at the object handle they are given.
inline const ReflectedObject& anyObject() {
    alignas(std::max_align_t) static const unsigned char storage[256] = {};
    return reinterpret_cast<const ReflectedObject&>(storage);
}

} // namespace orv::test
