#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/generic_function.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace notify_test {

struct Plain {
    int value = 0;
};
struct Shared : orv::Object {
    int value = 0;
};
struct Holder {
    int child = 0;
};
// Filed under the name of a hook without being one.
struct Impostor {
    int value = 0;
};

} // namespace notify_test

namespace {

using namespace orv;
using notify_test::Holder;
using notify_test::Plain;
using notify_test::Shared;
using Log = std::vector<std::string>;

// A registered type with a flat list of properties, held as T*.
template <class T, int N>
class FlatMeta : public NotifyableMetaObject<N> {
public:
    explicit FlatMeta(std::string name) : NotifyableMetaObject<N>(typeid(T), 1, std::move(name), {}) {
        MetaObjectManager::instance().registerType(this);
    }
    ~FlatMeta() override { MetaObjectManager::instance().unregisterType(this); }

    template <class P>
    std::shared_ptr<P> add(std::shared_ptr<P> property) {
        m_properties.push_back(property);
        return property;
    }

    tavi::Variant create() override { return {}; }
    bool objectMatches(const tavi::Variant& object) const override { return object.typeId() == typeid(T); }
    Annotations annotations(const tavi::Variant&) override { return typeAnnotations; }
    std::shared_ptr<MetaProperty> property(const ReflectedObject&, size_t index, size_t* remaining) const override {
        if (index < m_properties.size())
            return m_properties[index];
        if (remaining)
            *remaining = index - m_properties.size();
        return nullptr;
    }

    using NotifyableMetaObject<N>::connectStructureChanged;

    Annotations typeAnnotations;

private:
    std::vector<std::shared_ptr<MetaProperty>> m_properties;
};

class PlainMeta : public FlatMeta<Plain, 0> {
public:
    using FlatMeta::FlatMeta;
    using FlatMeta::structureChangedMap;
};

class SharedMeta : public FlatMeta<Shared, 1> {
public:
    using FlatMeta::FlatMeta;
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override {
        const Shared* instance = object.castPtr<Shared>();
        if (!instance || withoutData)
            return {};
        return objectDataOf(*instance, object, this);
    }
    bool withoutData = false;
};

template <int N>
class ExposedProperty : public NotifyableMetaProperty<N> {
public:
    using NotifyableMetaProperty<N>::NotifyableMetaProperty;
    using MetaProperty::propertyAboutToBeChangedMap;
    using MetaProperty::propertyChangedMap;
};

template <int N>
std::shared_ptr<ExposedProperty<N>> dataProperty(MetaObject* owner, const char* key, Annotations annotations = {}) {
    return std::make_shared<ExposedProperty<N>>(owner, typeid(int), typeid(int), tavi::Variant(std::string(key)),
                                                std::move(annotations), MetaProperty::Getter(), MetaProperty::Setter());
}

class Noop : public MetaProperty::Method::Function {
public:
    tavi::Variant call(const BoundProperty&, SetterFlags, size_t, const tavi::Variant*) const override { return {}; }
    size_t arity() const override { return 0; }
};

template <int N>
std::shared_ptr<ExposedProperty<N>> methodProperty(MetaObject* owner, const char* key, Annotations annotations) {
    return std::make_shared<ExposedProperty<N>>(owner, typeid(tavi::Variant), typeid(tavi::Variant),
                                                tavi::Variant(std::string(key)), std::move(annotations),
                                                MetaProperty::Method(std::make_shared<Noop>()));
}

// An int or a string as text, for the logs.
std::string text(const tavi::Variant& value) {
    if (const int* number = value.castPtr<int>())
        return std::to_string(*number);
    const std::string* string = value.castPtr<std::string>();
    return string ? *string : "?";
}

// Slots and hooks that record their name.
auto note(Log& log, std::string what) {
    return [&log, what] { log.push_back(what); };
}

constexpr SetterFlags kSet = SetterFlag::Intermediate;
constexpr NotifyFlags kValue = NotifyFlag::Value;

class Notify : public ::testing::Test {
protected:
    Log log;
    PlainMeta plainMeta{"Plain"};
    SharedMeta sharedMeta{"Shared"};
    std::shared_ptr<ExposedProperty<0>> plainValue = plainMeta.add(dataProperty<0>(&plainMeta, "value"));
    std::shared_ptr<ExposedProperty<1>> sharedValue = sharedMeta.add(dataProperty<1>(&sharedMeta, "value"));
    std::shared_ptr<ExposedProperty<1>> sharedRun =
        sharedMeta.add(methodProperty<1>(&sharedMeta, "run", Annotations{}));
    Plain a, b;
    Shared s;
};

TEST_F(Notify, PerObjectSlotsReachOnlyTheirObjectAndPrecedeGlobalOnes) {
    const BoundProperty pa = ReflectedObject(tavi::Variant(&a)).propertyAt(0);
    const BoundProperty pb = ReflectedObject(tavi::Variant(&b)).propertyAt(0);
    ASSERT_TRUE(pa.isValid() && pb.isValid());
    pa.connectPropertyChanged(note(log, "A"));
    plainValue->connectPropertyChanged([this](const BoundProperty& p, NotifyFlags flags) {
        log.push_back(p.object().get() == tavi::Variant(&a) ? "global A" : "global B");
        EXPECT_EQ(flags, kValue);
    });

    notify::propertyChanged(pb, kSet, kValue);
    EXPECT_EQ(log, (Log{"global B"}));
    log.clear();
    notify::propertyChanged(pa, kSet, kValue);
    EXPECT_EQ(log, (Log{"A", "global A"}));

    // Structure signals are per object as well.
    const ReflectedObject oa{tavi::Variant(&a)};
    oa.connectPropertyAdded([this](size_t first, size_t count) { log.push_back(std::to_string(first + count)); });
    log.clear();
    notify::propertiesAdded(ReflectedObject(tavi::Variant(&b)), 1, 2);
    notify::propertiesAdded(oa, 1, 2);
    EXPECT_EQ(log, (Log{"3"}));
}

TEST_F(Notify, PerObjectEntriesLiveExactlyAsLongAsTheirSlots) {
    const ReflectedObject oa{tavi::Variant(&a)};
    EXPECT_FALSE(oa.connectObjectDeleted(note(log, "deleted")).connected());

    zel::Connection first = oa.connectStructureChanged(note(log, "first"));
    zel::Connection second = oa.connectStructureChanged(note(log, "second"));
    const BoundProperty pa = oa.propertyAt(0);
    zel::Connection about = pa.connectPropertyAboutToBeChanged(note(log, "about"));
    EXPECT_EQ(plainMeta.structureChangedMap().size(), 1u);
    EXPECT_EQ(plainValue->propertyAboutToBeChangedMap().size(), 1u);

    first.disconnect();
    EXPECT_EQ(plainMeta.structureChangedMap().size(), 1u);
    second.disconnect();
    about.disconnect();
    EXPECT_EQ(plainMeta.structureChangedMap().size(), 0u);
    EXPECT_EQ(plainValue->propertyAboutToBeChangedMap().size(), 0u);
    notify::propertiesAdded(oa, 0, 1);
    notify::propertyAboutToBeChanged(pa, kSet, kValue);
    EXPECT_TRUE(log.empty());
}

TEST_F(Notify, DataSlotsSurroundGlobalSlots) {
    const ReflectedObject object{tavi::Variant(&s)};
    const BoundProperty value = object.propertyAt(0);
    ASSERT_NE(value.propertyData(), nullptr);
    value.connectPropertyAboutToBeChanged(note(log, "data about"));
    value.connectPropertyChanged(note(log, "data changed"));
    sharedValue->connectPropertyAboutToBeChanged(note(log, "global about"));
    sharedValue->connectPropertyChanged(note(log, "global changed"));
    // Slots of a property with data do not go to the per-object maps.
    EXPECT_EQ(sharedValue->propertyChangedMap().size(), 0u);

    notify::propertyAboutToBeChanged(value, kSet, kValue);
    notify::propertyChanged(value, kSet, kValue);
    EXPECT_EQ(log, (Log{"data about", "global about", "global changed", "data changed"}));

    log.clear();
    const BoundProperty run = object.propertyAt(1);
    const tavi::Variant arguments[] = {tavi::Variant(7)};
    run.connectMethodAboutToBeInvoked([this](size_t count) { log.push_back("data call " + std::to_string(count)); });
    run.connectMethodInvoked([this](const tavi::Variant& result) { log.push_back("data done " + text(result)); });
    sharedRun->connectMethodAboutToBeInvoked(note(log, "global call"));
    sharedRun->connectMethodInvoked(note(log, "global done"));
    notify::methodAboutToBeInvoked(run, 1, arguments, kSet, {});
    notify::methodInvoked(run, 1, arguments, tavi::Variant(std::string("ok")), kSet, {});
    EXPECT_EQ(log, (Log{"data call 1", "global call", "global done", "data done ok"}));
}

TEST_F(Notify, StructureSignalsOfObjectsWithDataGoThroughTheirData) {
    {
        Shared gone;
        const ReflectedObject object{tavi::Variant(&gone)};
        ASSERT_NE(object.objectData(), nullptr);
        object.connectObjectDeleted(note(log, "deleted"));
        object.connectPropertiesAboutToBeReset(note(log, "about to reset"));
        object.connectPropertiesReset(note(log, "reset"));
        notify::propertiesAboutToBeReset(object);
        notify::propertiesReset(object);
    }
    EXPECT_EQ(log, (Log{"about to reset", "reset", "deleted"}));
}

TEST_F(Notify, MissingDataIsReportedAndDeliversTheRest) {
    sharedMeta.withoutData = true;
    Kor::MessageCapture capture;
    const ReflectedObject object{tavi::Variant(&s)};
    const BoundProperty value = object.propertyAt(0);
    ASSERT_TRUE(object.isValid() && value.isValid());
    ASSERT_EQ(value.propertyData(), nullptr);
    sharedValue->connectPropertyChanged(note(log, "global"));
    // What the handles' own bookkeeping reported on the way is not the point here.
    capture.clear();

    EXPECT_FALSE(object.connectStructureChanged(note(log, "structure")).connected());
    EXPECT_FALSE(value.connectPropertyAboutToBeChanged(note(log, "about")).connected());
    EXPECT_FALSE(sharedMeta.connectStructureChanged(ReflectedObject(), nullptr, note(log, "none"), 0).connected());
    notify::propertyChanged(value, kSet, kValue);
    notify::propertiesReset(object);

    EXPECT_EQ(log, (Log{"global"}));
    const std::vector<std::string> expected = {
        "orv::NotifyableMetaObject<1>::connectStructureChanged: object of type 'Shared' doesn't have data",
        "orv::NotifyableMetaProperty<1>::connectPropertyAboutToBeChanged: property 'value' doesn't have data",
        "orv::NotifyableMetaObject<1>::connectStructureChanged: object of type '<empty object>' doesn't have data",
        "orv::NotifyableMetaProperty<1>::propertyChanged: property 'value' doesn't have data",
        "orv::NotifyableMetaObject<1>::structureChanged: object of type 'Shared' doesn't have data",
        "orv::NotifyableMetaObject<1>::propertiesReset: object of type 'Shared' doesn't have data",
    };
    std::vector<std::string> texts;
    for (const Kor::DebugMessage& message : capture.messages()) {
        EXPECT_EQ(message.priority, Kor::MESSAGE_PRIORITY_ERROR);
        EXPECT_EQ(message.category, "");
        texts.push_back(message.text);
    }
    EXPECT_EQ(texts, expected);
}

TEST_F(Notify, PropertyHooksRunBesideTheSignalsInTheirOrder) {
    auto hooked = plainMeta.add(dataProperty<0>(
        &plainMeta, "hooked",
        Annotations{Meta::OnPropertyAboutToBeChanged(note(log, "hook about 1")),
                    Meta::OnPropertyChanged(note(log, "hook changed")), Meta::OnPropertyAboutToBeChanged(),
                    Meta::OnPropertyAboutToBeChanged([this](const ReflectedObject& owner, NotifyFlags flags) {
                        EXPECT_EQ(owner.get(), tavi::Variant(&a));
                        EXPECT_EQ(flags, kValue);
                        log.push_back("hook about 2");
                    })}));
    const BoundProperty p = ReflectedObject(tavi::Variant(&a)).propertyAt(1);
    p.connectPropertyAboutToBeChanged(note(log, "slot about"));
    p.connectPropertyChanged(note(log, "slot changed"));
    hooked->connectPropertyAboutToBeChanged(note(log, "global about"));
    hooked->connectPropertyChanged(note(log, "global changed"));

    notify::propertyAboutToBeChanged(p, kSet, kValue);
    notify::propertyChanged(p, kSet, kValue);
    EXPECT_EQ(log, (Log{"slot about", "global about", "hook about 1", "hook about 2", "hook changed", "slot changed",
                        "global changed"}));
}

TEST_F(Notify, MethodHooksOfTheObjectAndTheMethodNestAroundTheSignals) {
    sharedMeta.typeAnnotations = Annotations{Meta::OnMethodAboutToBeInvoked(note(log, "object about")),
                                             Meta::OnMethodInvoked(note(log, "object done"))};
    auto call = sharedMeta.add(methodProperty<1>(
        &sharedMeta, "call",
        Annotations{Meta::OnMethodAboutToBeInvoked(note(log, "method about")),
                    Meta::OnMethodInvoked([this](size_t count, const tavi::Variant& result) {
                        log.push_back("method done " + std::to_string(count) + " " + text(result));
                    })}));
    call->connectMethodAboutToBeInvoked(note(log, "global about"));
    call->connectMethodInvoked(note(log, "global done"));
    const BoundProperty method = ReflectedObject(tavi::Variant(&s)).propertyAt(2);

    const tavi::Variant arguments[] = {tavi::Variant(1), tavi::Variant(2)};
    notify::methodAboutToBeInvoked(method, 2, arguments, kSet, {});
    notify::methodInvoked(method, 2, arguments, tavi::Variant(5), kSet, {});
    EXPECT_EQ(log, (Log{"global about", "object about", "method about", "method done 2 5", "object done",
                        "global done"}));
}

TEST_F(Notify, StructureHooksComeFromTheReferencingProperty) {
    FlatMeta<Holder, 0> holderMeta("Holder");
    holderMeta.add(dataProperty<0>(
        &holderMeta, "child",
        Annotations{Meta::OnPropertyAboutToBeAdded(note(log, "hook about to add")),
                    Meta::OnPropertyAdded([this](size_t first, size_t count) {
                        log.push_back("hook added " + std::to_string(first) + "+" + std::to_string(count));
                    }),
                    Meta::OnPropertyAboutToBeRemoved(note(log, "hook about to remove")),
                    Meta::OnPropertyRemoved(note(log, "hook removed")),
                    Meta::OnPropertiesAboutToBeReset(note(log, "hook about to reset")),
                    Meta::OnPropertiesReset(note(log, "hook reset"))}));
    Holder holder;
    const BoundProperty slot = ReflectedObject(tavi::Variant(&holder)).propertyAt(0);
    const ReflectedObject child(tavi::Variant(&a), slot);
    ASSERT_TRUE(child.reference().isValid());

    child.connectStructureAboutToBeChanged(note(log, "structure about"));
    child.connectStructureChanged(note(log, "structure changed"));
    child.connectPropertyAboutToBeAdded(note(log, "about to add"));
    child.connectPropertyAdded(note(log, "added"));
    child.connectPropertyAboutToBeRemoved(note(log, "about to remove"));
    child.connectPropertyRemoved(note(log, "removed"));
    child.connectPropertiesAboutToBeReset(note(log, "about to reset"));
    child.connectPropertiesReset(note(log, "reset"));

    notify::propertiesAboutToBeAdded(child, 1, 2);
    notify::propertiesAdded(child, 1, 2);
    EXPECT_EQ(log, (Log{"hook about to add", "about to add", "structure about", "structure changed", "added",
                        "hook added 1+2"}));
    log.clear();
    notify::propertiesAboutToBeRemoved(child, 0, 1);
    notify::propertiesRemoved(child, 0, 1);
    EXPECT_EQ(log, (Log{"hook about to remove", "about to remove", "structure about", "structure changed", "removed",
                        "hook removed"}));
    log.clear();
    notify::propertiesAboutToBeReset(child);
    notify::propertiesReset(child);
    EXPECT_EQ(log, (Log{"hook about to reset", "about to reset", "structure about", "structure changed", "reset",
                        "hook reset"}));

    // The same object reached directly has no referencing property: signals only.
    log.clear();
    notify::propertiesReset(ReflectedObject(tavi::Variant(&a)));
    EXPECT_EQ(log, (Log{"structure changed", "reset"}));
}

TEST_F(Notify, AValueOfAnotherTypeUnderAHookNameIsACastError) {
    {
        Kor::MessageCapture quiet; // the registry reports the shared name
        tavi::MetaType::registerType<notify_test::Impostor>("Meta::OnPropertyChanged");
    }
    auto odd = plainMeta.add(dataProperty<0>(&plainMeta, "odd", Annotations{notify_test::Impostor{}}));
    odd->connectPropertyChanged(note(log, "global"));
    const BoundProperty p = ReflectedObject(tavi::Variant(&a)).propertyAt(1);
    EXPECT_THROW(notify::propertyChanged(p, kSet, kValue), tavi::CastError);
    EXPECT_TRUE(log.empty());
}

} // namespace
