#include "shared_libs/reflection/multi_selection/multi_selection.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/multi_selection/multi_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/structure_recorder.hpp"
#include "tests/support/test_seed.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace selection_test {

struct Transform {
    Kor::Vector3 position;
    float scale = 1;
};

struct Lamp {
    std::string name = "lamp";
    float intensity = 1;
    int samples = 4;
    float power() const { return 10 * intensity; }
    Transform transform;
    Lamp* target = nullptr;
    int flashes = 0;
    int flash(int times) {
        flashes += times;
        return times;
    }
};

struct Camera {
    std::string name = "camera";
    float fov = 60;
    Transform transform;
};

// Holds the lamp a panel follows.
struct Stage {
    Lamp* key = nullptr;
};

} // namespace selection_test

using selection_test::Camera;
using selection_test::Lamp;
using selection_test::Stage;
using selection_test::Transform;

template <>
struct orv::TypeDeclaration<Transform> {
    static void declare(orv::Builder<Transform>& type) {
        type.property("position", &Transform::position).property("scale", &Transform::scale);
    }
};

template <>
struct orv::TypeDeclaration<Lamp> {
    static void declare(orv::Builder<Lamp>& type) {
        type.annotate(Meta::MultiSelection::ObjectType(std::string("Lights")))
            .property("name", &Lamp::name)
            .property("intensity", &Lamp::intensity, Meta::MultiSelection::ReduceMap([] {
                          return std::make_unique<orv::AverageReduceMap>();
                      }))
            .property("samples", &Lamp::samples,
                      Meta::Visible(orv::meta_property::VisibilityFlag::PropertyPanel))
            .property("power", &Lamp::power)
            .object("transform", &Lamp::transform)
            .property("target", &Lamp::target)
            .method("flash", &Lamp::flash);
    }
};

template <>
struct orv::TypeDeclaration<Camera> {
    static void declare(orv::Builder<Camera>& type) {
        type.annotate(Meta::MultiSelection::ObjectType(std::string("Cameras")))
            .property("name", &Camera::name)
            .property("fov", &Camera::fov)
            .property(
                "samples", [](const Camera*) { return 1; },
                Meta::Visible(orv::meta_property::VisibilityFlag::SceneView))
            .object("transform", &Camera::transform);
    }
};

template <>
struct orv::TypeDeclaration<Stage> {
    static void declare(orv::Builder<Stage>& type) { type.property("key", &Stage::key); }
};

namespace {

using namespace orv;
using tavi::Variant;
using Names = std::vector<std::string>;
constexpr size_t END = MetaObject::INVALID_INDEX;

Variant key(const char* text) { return Variant(std::string(text)); }

const Names s_fixed{"_volatility",         "_multiselectionMode",   "_multiselectionClassified",
                    "_multiselectionSize", "_multiselectionGroups", "_typeName"};

Names names(const GenericObject& object) {
    Names result;
    for (size_t i = 0; i < object.propertyCount(); ++i)
        result.push_back(object.metaPropertyAt(i)->name());
    return result;
}

// The names after the fixed ones.
Names combined(const GenericObject& object) {
    Names all = names(object);
    all.erase(all.begin(), all.begin() + std::ptrdiff_t(std::min(all.size(), s_fixed.size())));
    return all;
}

BoundProperty at(const MultiSelection& selection, const char* name) {
    return selection.object().findPropertyByName(name);
}

Variant read(const MultiSelection& selection, const char* name) { return at(selection, name).get(); }

// A generic object with the given properties (key, value).
std::unique_ptr<GenericObject> sheet(std::initializer_list<std::pair<const char*, Variant>> values) {
    auto object = std::make_unique<GenericObject>();
    for (const auto& [name, value] : values)
        object->addProperty(key(name), END, value);
    return object;
}

// --- what a panel shows -------------------------------------------------------------------

TEST(MultiSelectionPanel, AnEmptySelectionHasOnlyItsFixedProperties) {
    MultiSelection selection(MultiSelection::Mode::Intersection, true);
    EXPECT_EQ(names(selection), s_fixed);
    EXPECT_TRUE(selection.empty());
    EXPECT_EQ(read(selection, "_typeName"), Variant(std::string("empty")));
    EXPECT_EQ(read(selection, "_multiselectionMode"), Variant(int32_t(1)));
    EXPECT_EQ(read(selection, "_multiselectionClassified"), Variant(true));
    EXPECT_EQ(read(selection, "_multiselectionGroups"), Variant(uint32_t(0)));
    for (const std::string& name : s_fixed) {
        const BoundProperty fixed = at(selection, name.c_str());
        EXPECT_TRUE(hasAnnotation<Meta::MultiSelection::Persistent>(fixed.annotations())) << name;
        EXPECT_TRUE(fixed.isConst()) << name;
        EXPECT_EQ(fixed.visibility(), meta_property::HIDDEN) << name;
    }
    EXPECT_FALSE(selection.unmerge(size_t(0)));
    EXPECT_FALSE(selection.unmerge(ReflectedObject()));
}

TEST(MultiSelectionPanel, OneObjectShowsItsOwnValuesAndTypeName) {
    Lamp lamp;
    lamp.intensity = 3;
    MultiSelection selection;
    selection.merge(reflect(lamp));
    EXPECT_EQ(combined(selection),
              (Names{"name", "intensity", "samples", "power", "transform", "target", "flash"}));
    EXPECT_EQ(read(selection, "_typeName"), Variant(tavi::Utils::getTypePrettyName(typeid(Lamp))));
    EXPECT_EQ(read(selection, "intensity"), Variant(3.0)) << "through the average map";
    EXPECT_EQ(read(selection, "transform"), Variant(&lamp.transform)) << "one object: that object";
    EXPECT_TRUE(at(selection, "power").isConst()) << "all sub-properties const: no setter";
    EXPECT_FALSE(at(selection, "power").set(1.0f));
    EXPECT_EQ(at(selection, "_multiselectionSize").get(), Variant(uint32_t(1)));

    ASSERT_TRUE(selection.unmerge(reflect(lamp)));
    EXPECT_EQ(names(selection), s_fixed) << "the last object takes every combined property with it";
}

TEST(MultiSelectionPanel, MergingOnlyRecordsUntilTheCombinedObjectIsAskedFor) {
    const auto a = sheet({{"a", 1}});
    MultiSelection selection(MultiSelection::Mode::Intersection);
    test::Recorder recorder(selection.object());
    selection.merge(a->object());
    selection.setMode(MultiSelection::Mode::Union);
    EXPECT_EQ(selection.size(), 1u);
    EXPECT_TRUE(recorder.log.empty()) << "nothing built yet";
    const auto b = sheet({{"b", 2}});
    selection.merge(b->object());
    EXPECT_EQ(combined(selection), (Names{"a", "b"})) << "built on first use, with the mode set meanwhile";
    EXPECT_FALSE(recorder.log.empty());
}

TEST(MultiSelectionPanel, MixedTypesCombineTheKeysTheyShareAndTheirVisibility) {
    Lamp lamp;
    Camera camera;
    camera.name = "lamp";
    MultiSelection any;
    MultiSelection every(MultiSelection::Mode::Intersection);
    for (MultiSelection* selection : {&any, &every}) {
        selection->merge(reflect(lamp));
        selection->merge(reflect(camera));
    }
    EXPECT_EQ(read(any, "_typeName"), Variant(std::string("multiselection")));
    EXPECT_EQ(combined(any),
              (Names{"name", "intensity", "samples", "power", "transform", "target", "flash", "fov"}));
    EXPECT_EQ(combined(every), (Names{"name", "samples", "transform"}));
    EXPECT_EQ(read(any, "name"), Variant(std::string("lamp"))) << "equal values show";
    EXPECT_TRUE(read(any, "samples").isVoid()) << "4 and 1 differ: nothing to show";
    EXPECT_EQ(read(any, "fov"), Variant(60.0f)) << "a key only one object has";

    using meta_property::VisibilityFlag;
    EXPECT_EQ(at(any, "samples").visibility(), VisibilityFlag::PropertyPanel | VisibilityFlag::SceneView);
    EXPECT_EQ(at(every, "samples").visibility(), meta_property::HIDDEN);

    // A sub-property that has gone makes a union show the property everywhere.
    const auto a = sheet({{"x", 1}});
    const auto b = sheet({{"x", 2}});
    b->findProperty(key("x")).metaProperty()->addAnnotations(
        {Variant(Meta::Visible(meta_property::VisibilityFlags(VisibilityFlag::Outliner)))});
    MultiSelection sheets;
    sheets.merge(a->object());
    sheets.merge(b->object());
    EXPECT_EQ(at(sheets, "x").visibility(), meta_property::VISIBLE_EVERYWHERE);
    a->removeProperty(key("x"));
    b->findProperty(key("x")).metaProperty()->setAnnotations({});
    EXPECT_EQ(at(sheets, "x").visibility(), meta_property::VISIBLE_EVERYWHERE);
}

TEST(MultiSelectionPanel, PropertiesThatCannotBeCombinedShowAPlaceholder) {
    struct Sheet : GenericObject {
        using GenericObject::impl;
    };
    Sheet other;
    other.addProperty(key("flash"), END, 1.5f);
    other.addProperty(key("transform"), END, 2);
    other.addProperty(key("name"), END, std::string("lamp"));
    other.impl()->addProperty(std::make_shared<NotifyableMetaProperty<1>>(
                                  GenericMetaObject::instance(), typeid(int), typeid(int), key("hollow"),
                                  Annotations{}, MetaProperty::Getter(), MetaProperty::Setter()),
                              END);
    Lamp lamp;
    MultiSelection selection;
    selection.merge(reflect(lamp));
    selection.merge(other.object());
    Kor::MessageCapture messages; // the combined object is built by the first read
    for (const char* name : {"flash", "transform"}) {
        const BoundProperty placeholder = at(selection, name);
        EXPECT_EQ(placeholder.get(), Variant(std::string("<incompatible properties>"))) << name;
        EXPECT_TRUE(placeholder.isConst()) << name;
    }
    EXPECT_EQ(read(selection, "name"), Variant(std::string("lamp")));
    EXPECT_EQ(read(selection, "hollow"), Variant(std::string("<incompatible properties>")));
    EXPECT_TRUE(messages.contains("Subproperty is neither value nor method"));

    ASSERT_TRUE(selection.unmerge(size_t(1)));
    ASSERT_TRUE(selection.unmerge(size_t(0)));
    EXPECT_EQ(names(selection), s_fixed) << "no placeholder outlives the selection";
}

// --- reading and writing values ------------------------------------------------------------

struct TwoLamps : ::testing::Test {
    TwoLamps() {
        first.intensity = 1;
        second.intensity = 3;
        selection.merge(reflect(first));
        selection.merge(reflect(second));
    }
    BoundProperty intensity() const { return at(selection, "intensity"); }

    Lamp first, second;
    MultiSelection selection;
};

TEST_F(TwoLamps, AnAverageReadsTheMeanAndAContinuousEditMapsEveryStepFromTheStartValues) {
    EXPECT_EQ(intensity().get(), Variant(2.0));
    ASSERT_TRUE(intensity().set(4.0f));
    EXPECT_FLOAT_EQ(first.intensity, 2);
    EXPECT_FLOAT_EQ(second.intensity, 6);
    EXPECT_EQ(intensity().get(), Variant(4.0));

    ASSERT_TRUE(intensity().set(8.0f, SetterFlag::Intermediate));
    EXPECT_FLOAT_EQ(first.intensity, 4);
    ASSERT_TRUE(intensity().set(12.0f, SetterFlag::Intermediate));
    EXPECT_FLOAT_EQ(first.intensity, 6) << "12 / 4 of the start value, not 12 / 8 of the last step";
    ASSERT_TRUE(intensity().set(12.0f));
    EXPECT_FLOAT_EQ(second.intensity, 18);
    ASSERT_TRUE(intensity().set(6.0f));
    EXPECT_FLOAT_EQ(first.intensity, 3) << "the next edit starts from where the last one ended";
}

TEST(MultiSelectionValues, HigherPrioritiesWinTheAverage) {
    const auto weighted = [](int value, int priority) {
        auto object = std::make_unique<GenericObject>();
        object->addProperty(
            key("w"), END, value,
            {Variant(Meta::MultiSelection::Priority(priority)),
             Variant(Meta::MultiSelection::ReduceMap([] { return std::make_unique<AverageReduceMap>(); }))});
        return object;
    };
    const auto low = weighted(1, 0), high = weighted(5, 1), higher = weighted(7, 1);
    MultiSelection selection;
    for (const auto* object : {low.get(), high.get(), higher.get()})
        selection.merge(object->object());
    EXPECT_EQ(read(selection, "w"), Variant(6.0));
    // A write maps from the same mean: every object scales by 12 / 6.
    ASSERT_TRUE(at(selection, "w").set(12.0));
    EXPECT_EQ(low->findProperty(key("w")).get(), Variant(2.0));
    EXPECT_EQ(higher->findProperty(key("w")).get(), Variant(14.0));
}

TEST_F(TwoLamps, AHandleMayCombineWithAReduceMapOfItsOwn) {
    BoundProperty samples = at(selection, "samples");
    second.samples = 8;
    samples.setReduceMapFactory([] { return std::make_unique<AverageReduceMap>(); });
    EXPECT_EQ(samples.get(), Variant(6.0));
    EXPECT_TRUE(read(selection, "samples").isVoid()) << "other handles keep the default map";
    samples.setReduceMapFactory({});
    EXPECT_TRUE(samples.get().isVoid());
}

TEST_F(TwoLamps, MethodsAreInvokedOnEveryObject) {
    const BoundProperty flash = at(selection, "flash");
    ASSERT_TRUE(flash.isMethod());
    EXPECT_EQ(flash.invoke(3), Variant(3)) << "equal results combine";
    EXPECT_EQ(first.flashes, 3);
    EXPECT_EQ(second.flashes, 3);
    Kor::MessageCapture messages;
    EXPECT_TRUE(flash.invoke().isVoid());
    EXPECT_TRUE(messages.contains("Error invoking method property 'flash'")) << "each sub-method checks";
}

TEST_F(TwoLamps, ChangesOfTheObjectsAreAnnouncedAsChangesOfTheCombinedProperty) {
    const BoundProperty watched = intensity(); // builds the combined object
    test::Recorder recorder(selection.object());
    recorder.watch(watched);
    const Names once{"about to change intensity flags 17", "changed intensity flags 17"};
    reflect(second).findPropertyByName("intensity").set(5.0f);
    EXPECT_EQ(recorder.log, once);
    EXPECT_EQ(intensity().get(), Variant(3.0));

    // Once per outermost scope, however many objects change in it.
    for (int scope = 0; scope < 2; ++scope) {
        recorder.log.clear();
        {
            const NotifyScope outer;
            reflect(first).findPropertyByName("intensity").set(2.0f);
            reflect(second).findPropertyByName("intensity").set(4.0f);
        }
        EXPECT_EQ(recorder.log, once) << "scope " << scope;
    }

    recorder.log.clear();
    selection.unmerge(reflect(second));
    EXPECT_EQ(recorder.log, (Names{"about to change intensity flags 19", "changed intensity flags 19"}));
    recorder.log.clear();
    reflect(second).findPropertyByName("intensity").set(6.0f);
    EXPECT_TRUE(recorder.log.empty()) << "no longer selected";
}

TEST(MultiSelectionUndo, OneCombinedWriteIsOneStepThatRestoresEachObjectsOwnValue) {
    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);
    Lamp a, b, c;
    std::tie(a.intensity, b.intensity, c.intensity) = std::tuple(1, 3, 8);
    MultiSelection selection;
    for (Lamp* lamp : {&a, &b, &c})
        selection.merge(reflect(*lamp));
    {
        Kor::CommitChangesScope edit("Drag intensity");
        at(selection, "intensity").set(8.0f, SetterFlag::Intermediate);
        at(selection, "intensity").set(16.0f);
    }
    EXPECT_FLOAT_EQ(c.intensity, 32);
    ASSERT_EQ(history.undoCount(), 1u);
    ASSERT_TRUE(history.undo());
    EXPECT_FLOAT_EQ(a.intensity, 1);
    EXPECT_FLOAT_EQ(b.intensity, 3);
    EXPECT_FLOAT_EQ(c.intensity, 8);
    ASSERT_TRUE(history.redo());
    EXPECT_FLOAT_EQ(b.intensity, 12);
}

// --- object-valued properties and groups -------------------------------------------------

TEST(MultiSelectionObjects, ObjectPropertiesOfSeveralObjectsOpenAsANestedSelection) {
    Lamp a, b;
    b.transform.scale = 2;
    MultiSelection selection;
    selection.merge(reflect(a));
    const BoundProperty transform = at(selection, "transform");
    EXPECT_EQ(transform.get(), Variant(&a.transform));
    test::Recorder recorder(selection.object());
    recorder.watch(transform);
    selection.merge(reflect(b));
    EXPECT_EQ(recorder.log, (Names{"about to change transform flags 17", "changed transform flags 17"}));

    GenericObject* nested = nullptr;
    ASSERT_TRUE(transform.get().tryCast(nested));
    auto* transforms = genericObjectCast<MultiSelection>(nested);
    ASSERT_TRUE(transforms && transforms->size() == 2);
    EXPECT_EQ(transforms->parent(), BoundProperty()) << "held by different lamps";
    EXPECT_TRUE(read(*transforms, "scale").isVoid());
    ASSERT_TRUE(selection.object().findPropertyByName("transform.scale").set(3.0f));
    EXPECT_FLOAT_EQ(a.transform.scale, 3);
    EXPECT_FLOAT_EQ(b.transform.scale, 3);

    selection.unmerge(reflect(a));
    EXPECT_EQ(transform.get(), Variant(&b.transform)) << "back to one object";
}

TEST(MultiSelectionObjects, ClassifiedGroupsAppearAndDisappearWithTheirClasses) {
    Lamp lamp, spare;
    Camera camera;
    MultiSelection selection(MultiSelection::Mode::Union, true);
    selection.merge(reflect(lamp));
    EXPECT_EQ(combined(selection), Names{"Lights"});
    const auto heading = [&](const char* group) -> std::optional<std::string> {
        const Annotations annotations = at(selection, group).annotations();
        const auto* found = findAnnotation<Meta::Group>(annotations);
        return found ? std::optional(found->name()(at(selection, group))) : std::nullopt;
    };
    EXPECT_EQ(heading("Lights"), std::nullopt) << "a single group needs no heading";
    EXPECT_EQ(read(selection, "Lights"), Variant(&lamp));

    selection.merge(reflect(camera));
    selection.merge(reflect(spare));
    EXPECT_EQ(combined(selection), (Names{"Lights", "Cameras"}));
    EXPECT_EQ(heading("Lights"), "Lights");
    EXPECT_EQ(heading("Cameras"), "Cameras");
    EXPECT_EQ(read(selection, "_multiselectionGroups"), Variant(uint32_t(2)));
    EXPECT_EQ(selection.object().findPropertyByName("Lights.intensity").get(), Variant(1.0));

    selection.unmerge(reflect(camera));
    EXPECT_EQ(combined(selection), Names{"Lights"});
    EXPECT_EQ(heading("Lights"), std::nullopt) << "the annotations it was created with";

    selection.merge(reflect(camera));
    selection.unmerge(reflect(lamp));
    selection.unmerge(reflect(spare));
    EXPECT_EQ(combined(selection), Names{"Cameras"});
    EXPECT_EQ(heading("Cameras"), std::nullopt) << "the last group left loses its heading too";
    selection.unmerge(reflect(camera));
    EXPECT_EQ(selection.groupCount(), 0u);
    EXPECT_EQ(names(selection), s_fixed);
}

TEST(MultiSelectionObjects, ObjectsWithoutAClassJoinTheUnclassifiedGroup) {
    const auto a = sheet({{"x", 1}});
    MultiSelection selection(MultiSelection::Mode::Union, true);
    selection.merge(a->object());
    EXPECT_EQ(combined(selection), Names{"<unclassified>"});
    EXPECT_EQ(selection.object().findPropertyByName("<unclassified>").get(),
              Variant(static_cast<GenericObject*>(a.get())));
    selection.setVolatility(VolatilityType::Anchor);
    auto* group = dynamic_cast<MultiSelection::ObjectMultiProperty*>(
        selection.findMetaProperty(key("<unclassified>")).get());
    ASSERT_TRUE(group);
    EXPECT_EQ(group->selection().getVolatility(), VolatilityType::Anchor) << "groups follow";
    EXPECT_FALSE(group->selection().classified()) << "a group never classifies again";
}

// --- following the objects ---------------------------------------------------------------

TEST(MultiSelectionFollowing, AWatchedPropertySwapsItsObjectOnTheFinalChange) {
    Lamp old, next;
    old.intensity = 2;
    next.intensity = 5;
    Stage stage{&old};
    const BoundProperty key = reflect(stage).findPropertyByName("key");
    MultiSelection selection;
    selection.merge(ReflectedObject(key), key);
    EXPECT_EQ(read(selection, "intensity"), Variant(2.0));
    EXPECT_EQ(selection.parent(), key);

    ASSERT_TRUE(key.set(&next));
    ASSERT_EQ(selection.size(), 1u);
    EXPECT_EQ(read(selection, "intensity"), Variant(5.0));

    // A continuous change: the old object leaves at once, the new one joins
    // at the end.
    ASSERT_TRUE(key.set(&old, SetterFlag::Intermediate));
    EXPECT_TRUE(selection.empty());
    ASSERT_TRUE(key.set(static_cast<Lamp*>(nullptr), SetterFlag::Intermediate));
    EXPECT_TRUE(selection.empty());
    ASSERT_TRUE(key.set(&old));
    ASSERT_EQ(selection.size(), 1u);
    EXPECT_EQ(read(selection, "intensity"), Variant(2.0));

    // Unmerged with disconnection, the property is no longer followed.
    ASSERT_TRUE(selection.unmerge(size_t(0)));
    ASSERT_TRUE(key.set(&next));
    EXPECT_TRUE(selection.empty());
}

TEST(MultiSelectionFollowing, ANestedSelectionFollowsTheObjectsItsPropertiesHold) {
    Lamp a, b, aim, other;
    a.target = &aim;
    b.target = &aim;
    aim.name = "aim";
    other.name = "other";
    MultiSelection selection;
    selection.merge(reflect(a));
    selection.merge(reflect(b));
    EXPECT_EQ(selection.object().findPropertyByName("target.name").get(), Variant(std::string("aim")));
    test::Recorder recorder(selection.object());
    recorder.watch(at(selection, "target"));
    ASSERT_TRUE(reflect(b).findPropertyByName("target").set(&other));
    EXPECT_TRUE(selection.object().findPropertyByName("target.name").get().isVoid()) << "aim and other";
    EXPECT_NE(std::find(recorder.log.begin(), recorder.log.end(), "changed target flags 17"),
              recorder.log.end());
    ASSERT_TRUE(reflect(a).findPropertyByName("target").set(&other));
    EXPECT_EQ(selection.object().findPropertyByName("target.name").get(), Variant(std::string("other")));
}

TEST(MultiSelectionFollowing, DestroyedObjectsLeaveSelectionsBuiltOrNotAndClassifiedGroups) {
    auto a = sheet({{"x", 1}, {"only", 7}});
    auto b = sheet({{"x", 2}});
    auto c = sheet({{"x", 2}});
    MultiSelection selection, lazy;
    MultiSelection classified(MultiSelection::Mode::Union, true);
    for (const auto* object : {a.get(), b.get(), c.get()})
        selection.merge(object->object());
    EXPECT_TRUE(read(selection, "x").isVoid());
    a.reset();
    EXPECT_EQ(selection.size(), 2u);
    EXPECT_EQ(combined(selection), Names{"x"}) << "what only the destroyed object had is gone";
    EXPECT_EQ(read(selection, "x"), Variant(2));
    ASSERT_TRUE(at(selection, "x").set(5));
    EXPECT_EQ(c->findProperty(key("x")).get(), Variant(5));

    lazy.merge(b->object()); // never built
    lazy.merge(c->object());
    classified.merge(c->object());
    EXPECT_EQ(classified.groupCount(), 1u);
    b.reset();
    c.reset();
    for (const MultiSelection* emptied : {&selection, &lazy, &classified}) {
        EXPECT_TRUE(emptied->empty());
        EXPECT_EQ(names(*emptied), s_fixed);
    }
    EXPECT_EQ(classified.groupCount(), 0u);
}

TEST(MultiSelectionFollowing, DestroyedObjectsLeaveNestedSelections) {
    auto inner = sheet({{"y", 1}});
    auto holder = sheet({{"held", static_cast<GenericObject*>(inner.get())}});
    auto other = sheet({{"held", static_cast<GenericObject*>(inner.get())}});
    MultiSelection selection;
    selection.merge(holder->object());
    selection.merge(other->object());
    const ReflectedObject held(at(selection, "held"));
    ASSERT_TRUE(held.isValid());
    holder.reset();
    EXPECT_EQ(read(selection, "held"), Variant(static_cast<GenericObject*>(inner.get())));
    inner.reset();
    GenericObject* nested = nullptr;
    ASSERT_TRUE(read(selection, "held").tryCast(nested)) << "no single object: the nested selection";
    ASSERT_TRUE(genericObjectCast<MultiSelection>(nested));
    EXPECT_TRUE(genericObjectCast<MultiSelection>(nested)->empty()) << "the held object went too";
}

// Lamps merged through the properties of a sheet leave with the sheet, from
// every combined property, read or not.
TEST(MultiSelectionFollowing, ObjectsReachedThroughADestroyedObjectLeaveEveryCombinedProperty) {
    Lamp first, second, third;
    second.samples = 5;
    auto rig = sheet({{"first", Variant(&first)}, {"second", Variant(&second)}});
    auto stand = sheet({{"lamp", Variant(&third)}});
    MultiSelection selection;
    selection.merge(rig->object());
    for (const BoundProperty& holder : {rig->findProperty(key("first")), rig->findProperty(key("second")),
                                        stand->findProperty(key("lamp"))})
        selection.merge(ReflectedObject(holder), holder);
    EXPECT_EQ(read(selection, "intensity"), Variant(1.0));
    rig.reset();
    EXPECT_EQ(selection.size(), 1u);
    EXPECT_EQ(read(selection, "samples"), Variant(4)) << "the lamp with 5 samples went with the rig";
}

// --- a model of the selection under random edits ------------------------------------------

// Sheets with random keys and small values, merged, unmerged and written at
// random; the combined object must show exactly the keys and values the
// rules give, and undo must bring back every object's own values.
TEST(MultiSelectionModel, RandomSelectionsMergesWritesAndUndoMatchTheRules) {
    const unsigned seed = test::testSeed();
    std::printf("seed %u (REFLECTION_TEST_SEED replays it)\n", seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    const auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    const char* const keys[] = {"a", "b", "c", "d"};

    std::vector<std::unique_ptr<GenericObject>> pool;
    std::vector<std::map<std::string, int>> values;
    for (int i = 0; i < 6; ++i) {
        pool.push_back(std::make_unique<GenericObject>());
        values.emplace_back();
        for (const char* name : keys)
            if (chance(0.6)) {
                values.back()[name] = int(pick(3));
                pool.back()->addProperty(key(name), END, values.back()[name]);
            }
    }
    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);
    std::vector<std::vector<std::map<std::string, int>>> undone; // values before each write

    for (int round = 0; round < 40; ++round) {
        const auto mode = chance(0.5) ? MultiSelection::Mode::Union : MultiSelection::Mode::Intersection;
        MultiSelection selection(mode);
        std::vector<size_t> selected; // pool indices, in selection order
        std::set<std::string> shown;  // the combined keys the rules give
        const auto add = [&](size_t object) {
            if (selected.empty() || mode == MultiSelection::Mode::Union)
                for (const auto& [name, value] : values[object])
                    shown.insert(name);
            else
                for (auto it = shown.begin(); it != shown.end();)
                    it = values[object].count(*it) ? std::next(it) : shown.erase(it);
            selected.push_back(object);
        };
        for (int step = 0; step < 12; ++step) {
            const size_t action = pick(4);
            if (action == 0 || selected.empty()) {
                const size_t object = pick(pool.size());
                if (std::find(selected.begin(), selected.end(), object) != selected.end())
                    continue;
                add(object);
                selection.merge(pool[object]->object());
            } else if (action == 1) {
                const size_t index = pick(selected.size());
                ASSERT_TRUE(selection.unmerge(index));
                selected.erase(selected.begin() + std::ptrdiff_t(index));
                for (auto it = shown.begin(); it != shown.end();)
                    it = std::any_of(selected.begin(), selected.end(),
                                     [&](size_t o) { return values[o].count(*it) != 0; })
                             ? std::next(it)
                             : shown.erase(it);
            } else if (action == 2 && !shown.empty()) {
                const std::string name = *std::next(shown.begin(), std::ptrdiff_t(pick(shown.size())));
                const int value = int(pick(3));
                undone.push_back(values);
                {
                    Kor::CommitChangesScope edit("Write");
                    ASSERT_TRUE(at(selection, name.c_str()).set(value));
                }
                for (size_t object : selected)
                    if (values[object].count(name))
                        values[object][name] = value;
            } else if (action == 3 && !undone.empty() && history.canUndo()) {
                ASSERT_TRUE(history.undo());
                values = undone.back();
                undone.pop_back();
            }
            const Names actual = combined(selection);
            ASSERT_EQ(std::set<std::string>(actual.begin(), actual.end()), shown) << "round " << round;
            ASSERT_EQ(selection.size(), selected.size());
            for (const std::string& name : shown) {
                std::optional<int> common;
                bool differ = false;
                for (size_t object : selected)
                    if (const auto it = values[object].find(name); it != values[object].end()) {
                        differ |= common && *common != it->second;
                        common = it->second;
                    }
                const Variant value = read(selection, name.c_str());
                if (differ)
                    ASSERT_TRUE(value.isVoid()) << name;
                else
                    ASSERT_EQ(value, Variant(*common)) << name;
            }
            for (size_t object = 0; object < pool.size(); ++object)
                for (const auto& [name, value] : values[object])
                    ASSERT_EQ(pool[object]->findProperty(key(name.c_str())).get(), Variant(value));
        }
    }
}

} // namespace
