#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/notifyable_meta_object.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <memory>
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

} // namespace notify_test

namespace {

using namespace orv;
using notify_test::Holder;
using notify_test::Plain;
using notify_test::Shared;
using Log = std::vector<std::string>;

template <class T>
bool holds(const tavi::Variant& value) {
    return value.typeId() == typeid(T);
}

struct PlainMeta : test::TestMetaObject {
    PlainMeta() : BasicTestMetaObject(typeid(Plain), "Plain", {}, holds<Plain>) {}
    using BasicTestMetaObject::signalMap;
};

// Objects get their data unless `withoutData` is set.
struct SharedMeta : test::BasicTestMetaObject<NotifyableMetaObject<1>> {
    SharedMeta() : BasicTestMetaObject(typeid(Shared), "Shared", {}, holds<Shared>) {}
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& object) override {
        const Shared* instance = object.castPtr<Shared>();
        return instance && !withoutData ? objectDataOf(*instance, object, this) : nullptr;
    }
    using BasicTestMetaObject::connectStructureChanged;
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
std::shared_ptr<ExposedProperty<N>> dataProperty(MetaObject* owner, const char* key,
                                                 Annotations annotations = {}) {
    return std::make_shared<ExposedProperty<N>>(owner, typeid(int), typeid(int),
                                                tavi::Variant(std::string(key)), std::move(annotations),
                                                MetaProperty::Getter(), MetaProperty::Setter());
}

struct Noop : MetaProperty::Method::Function {
    void call(tavi::Variant&, const BoundProperty&, SetterFlags, size_t,
              const tavi::Variant*) const override {}
    size_t arity() const override { return 0; }
};

template <int N>
std::shared_ptr<ExposedProperty<N>> methodProperty(MetaObject* owner, const char* key,
                                                   Annotations annotations = {}) {
    return std::make_shared<ExposedProperty<N>>(owner, typeid(tavi::Variant), typeid(tavi::Variant),
                                                tavi::Variant(std::string(key)), std::move(annotations),
                                                MetaProperty::Method(std::make_shared<Noop>()));
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
    PlainMeta plainMeta;
    SharedMeta sharedMeta;
    test::Registration r1{plainMeta}, r2{sharedMeta};
    std::shared_ptr<ExposedProperty<0>> plainValue = plainMeta.add(dataProperty<0>(&plainMeta, "value"));
    std::shared_ptr<ExposedProperty<1>> sharedValue = sharedMeta.add(dataProperty<1>(&sharedMeta, "value"));
    std::shared_ptr<ExposedProperty<1>> sharedRun = sharedMeta.add(methodProperty<1>(&sharedMeta, "run"));
    Plain a, b;
    Shared s;
};

TEST_F(Notify, PerObjectSlotsReachOnlyTheirObjectAndPrecedeGlobalOnes) {
    const ReflectedObject oa{tavi::Variant(&a)}, ob{tavi::Variant(&b)};
    oa.propertyAt(0).connectPropertyChanged(note(log, "A"));
    plainValue->connectPropertyChanged([this](const BoundProperty& p, NotifyFlags flags) {
        log.push_back(p.object().get() == tavi::Variant(&a) ? "global A" : "global B");
        EXPECT_EQ(flags, kValue);
    });
    // Structure signals are per object as well.
    oa.connectPropertyAdded(
        [this](size_t first, size_t count) { log.push_back(std::to_string(first + count)); });

    notify::propertyChanged(ob.propertyAt(0), kSet, kValue);
    notify::propertiesAdded(ob, 1, 2);
    EXPECT_EQ(log, (Log{"global B"}));
    notify::propertyChanged(oa.propertyAt(0), kSet, kValue);
    notify::propertiesAdded(oa, 1, 2);
    EXPECT_EQ(log, (Log{"global B", "A", "global A", "3"}));
}

TEST_F(Notify, PerObjectEntriesLiveExactlyAsLongAsTheirSlots) {
    const ReflectedObject oa{tavi::Variant(&a)};
    EXPECT_FALSE(oa.connectObjectDeleted(note(log, "deleted")).connected());

    zel::Connection first = oa.connectStructureChanged(note(log, "first"));
    zel::Connection second = oa.connectStructureChanged(note(log, "second"));
    const BoundProperty pa = oa.propertyAt(0);
    zel::Connection about = pa.connectPropertyAboutToBeChanged(note(log, "about"));
    EXPECT_EQ(plainValue->propertyAboutToBeChangedMap().size(), 1u);

    first.disconnect();
    EXPECT_EQ(plainMeta.signalMap(ObjectEvent::StructureChanged).size(), 1u);
    second.disconnect();
    about.disconnect();
    EXPECT_EQ(plainMeta.signalMap(ObjectEvent::StructureChanged).size(), 0u);
    EXPECT_EQ(plainValue->propertyAboutToBeChangedMap().size(), 0u);
    notify::propertiesAdded(oa, 0, 1);
    notify::propertyAboutToBeChanged(pa, kSet, kValue);
    EXPECT_TRUE(log.empty());
}

TEST_F(Notify, DataSlotsSurroundGlobalSlotsAndStructureSignalsGoThroughTheData) {
    const ReflectedObject object{tavi::Variant(&s)};
    const BoundProperty value = object.propertyAt(0);
    const BoundProperty run = object.propertyAt(1);
    ASSERT_NE(value.propertyData(), nullptr);
    value.connectPropertyAboutToBeChanged(note(log, "data about"));
    value.connectPropertyChanged(note(log, "data changed"));
    sharedValue->connectPropertyAboutToBeChanged(note(log, "global about"));
    sharedValue->connectPropertyChanged(note(log, "global changed"));
    run.connectMethodAboutToBeInvoked(
        [this](size_t count) { log.push_back("data call " + std::to_string(count)); });
    run.connectMethodInvoked(
        [this](const tavi::Variant& r) { log.push_back("data done " + r.cast<std::string>()); });
    sharedRun->connectMethodAboutToBeInvoked(note(log, "global call"));
    sharedRun->connectMethodInvoked(note(log, "global done"));
    // Slots of a property with data do not go to the per-object maps.
    EXPECT_EQ(sharedValue->propertyChangedMap().size(), 0u);

    notify::propertyAboutToBeChanged(value, kSet, kValue);
    notify::propertyChanged(value, kSet, kValue);
    const tavi::Variant arguments[] = {tavi::Variant(7)};
    notify::methodAboutToBeInvoked(run, 1, arguments, kSet, {});
    notify::methodInvoked(run, 1, arguments, tavi::Variant(std::string("ok")), kSet, {});
    EXPECT_EQ(log, (Log{"data about", "global about", "global changed", "data changed", "data call 1",
                        "global call", "global done", "data done ok"}));

    // Structure signals of an object with data go through its data, and end with it.
    log.clear();
    {
        Shared gone;
        const ReflectedObject goneObject{tavi::Variant(&gone)};
        ASSERT_NE(goneObject.objectData(), nullptr);
        goneObject.connectObjectDeleted(note(log, "deleted"));
        goneObject.connectPropertiesAboutToBeReset(note(log, "about to reset"));
        goneObject.connectPropertiesReset(note(log, "reset"));
        notify::propertiesAboutToBeReset(goneObject);
        notify::propertiesReset(goneObject);
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
    EXPECT_FALSE(
        sharedMeta.connectStructureChanged(ReflectedObject(), nullptr, note(log, "none"), 0).connected());
    notify::propertyChanged(value, kSet, kValue);
    notify::propertiesReset(object);

    EXPECT_EQ(log, (Log{"global"}));
    const Log expected = {
        "orv::NotifyableMetaObject<1>::connectStructureChanged: object of type 'Shared' doesn't have data",
        "orv::NotifyableMetaProperty<1>::connectPropertyAboutToBeChanged: property 'value' doesn't have data",
        "orv::NotifyableMetaObject<1>::connectStructureChanged: object of type '<empty object>' doesn't have "
        "data",
        "orv::NotifyableMetaProperty<1>::propertyChanged: property 'value' doesn't have data",
        "orv::NotifyableMetaObject<1>::structureChanged: object of type 'Shared' doesn't have data",
        "orv::NotifyableMetaObject<1>::propertiesReset: object of type 'Shared' doesn't have data",
    };
    Log texts;
    for (const Kor::DebugMessage& message : capture.messages()) {
        EXPECT_EQ(message.priority, Kor::MESSAGE_PRIORITY_ERROR);
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
    EXPECT_EQ(log, (Log{"slot about", "global about", "hook about 1", "hook about 2", "hook changed",
                        "slot changed", "global changed"}));
}

TEST_F(Notify, MethodHooksOfTheObjectAndTheMethodNestAroundTheSignals) {
    sharedMeta.setAnnotations({Meta::OnMethodAboutToBeInvoked(note(log, "object about")),
                               Meta::OnMethodInvoked(note(log, "object done"))});
    auto call = sharedMeta.add(methodProperty<1>(
        &sharedMeta, "call",
        Annotations{Meta::OnMethodAboutToBeInvoked(note(log, "method about")),
                    Meta::OnMethodInvoked([this](size_t count, const tavi::Variant& result) {
                        log.push_back("method done " + std::to_string(count) + " " +
                                      result.cast<std::string>());
                    })}));
    call->connectMethodAboutToBeInvoked(note(log, "global about"));
    call->connectMethodInvoked(note(log, "global done"));
    const BoundProperty method = ReflectedObject(tavi::Variant(&s)).propertyAt(2);

    const tavi::Variant arguments[] = {tavi::Variant(1), tavi::Variant(2)};
    notify::methodAboutToBeInvoked(method, 2, arguments, kSet, {});
    notify::methodInvoked(method, 2, arguments, tavi::Variant(std::string("5")), kSet, {});
    EXPECT_EQ(log, (Log{"global about", "object about", "method about", "method done 2 5", "object done",
                        "global done"}));
}

TEST_F(Notify, StructureHooksComeFromTheReferencingProperty) {
    test::TestMetaObject holderMeta(typeid(Holder), "Holder", {}, holds<Holder>);
    const test::Registration registration{holderMeta};
    const auto hook = [this](const char* what) {
        return [this, what](size_t first, size_t count) {
            log.push_back(std::string("hook ") + what + " " + std::to_string(first) + "+" +
                          std::to_string(count));
        };
    };
    holderMeta.add(
        dataProperty<0>(&holderMeta, "child",
                        Annotations{Meta::OnPropertyAboutToBeAdded(hook("about to add")),
                                    Meta::OnPropertyAdded(hook("added")),
                                    Meta::OnPropertyAboutToBeRemoved(hook("about to remove")),
                                    Meta::OnPropertyRemoved(hook("removed")),
                                    Meta::OnPropertiesAboutToBeReset(note(log, "hook about to reset")),
                                    Meta::OnPropertiesReset(note(log, "hook reset"))}));
    Holder holder;
    const ReflectedObject child(tavi::Variant(&a), ReflectedObject(tavi::Variant(&holder)).propertyAt(0));
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
    notify::propertiesAboutToBeRemoved(child, 0, 1);
    notify::propertiesRemoved(child, 0, 1);
    notify::propertiesAboutToBeReset(child);
    notify::propertiesReset(child);
    // The same object reached directly has no referencing property: signals only.
    notify::propertiesReset(ReflectedObject(tavi::Variant(&a)));
    // Each change: its hook, its signal, the structure pair, the closing signal, the closing hook.
    const auto change = [](std::string hookAbout, std::string about, std::string done, std::string hookDone) {
        return Log{hookAbout, about, "structure about", "structure changed", done, hookDone};
    };
    Log expected = change("hook about to add 1+2", "about to add", "added", "hook added 1+2");
    for (const Log& more :
         {change("hook about to remove 0+1", "about to remove", "removed", "hook removed 0+1"),
          change("hook about to reset", "about to reset", "reset", "hook reset"),
          Log{"structure changed", "reset"}})
        expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(log, expected);
}

} // namespace
