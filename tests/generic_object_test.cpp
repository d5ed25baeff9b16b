#include "shared_libs/reflection/generic_object.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/multi_selection/meta_items.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/persistent_property.hpp"
#include "shared_libs/reflection/type_info.hpp"
#include "tests/support/structure_recorder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orv;
using Log = std::vector<std::string>;
using test::Recorder;
constexpr size_t END = MetaObject::INVALID_INDEX;

tavi::Variant key(const char* text) { return tavi::Variant(std::string(text)); }

Log names(const GenericObject& object) {
    Log result;
    for (size_t i = 0; i < object.propertyCount(); ++i)
        result.push_back(object.metaPropertyAt(i)->name());
    return result;
}

// A derived object with its own fixed, read-only property, as derived
// objects (the multi-selection) build theirs.
class Sheet : public GenericObject {
public:
    class Impl : public GenericObject::Impl {
    public:
        void clear() override {
            GenericObject::Impl::clear();
            addProperty(std::make_shared<ReadOnlyGenericProperty>(key("_kind"), Annotations(),
                                                                  tavi::Variant(std::string("sheet"))),
                        END);
        }
        bool typeCheck(const std::type_info& type) const override {
            return type == typeid(Sheet) || GenericObject::Impl::typeCheck(type);
        }
    };
    Sheet() : GenericObject(std::make_unique<Impl>()) {}
};

// The four structure signals of one add or remove, as the recorder writes them.
Log structural(const std::string& verb, size_t first, size_t count = 1) {
    const std::string range = " " + std::to_string(first) + "+" + std::to_string(count);
    return {"about to " + verb + range, "structure about", "structure done",
            verb + (verb.back() == 'e' ? "d" : "ed") + range};
}
Log operator+(Log a, const Log& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void addAll(GenericObject& object, std::initializer_list<const char*> names) {
    for (const char* name : names)
        object.addProperty(key(name), END, std::string(name));
}

// --- building and clearing -----------------------------------------------------------

TEST(GenericObjectTest, ClearRemovesEverythingInOneRangeThenAddsTheVolatilityProperty) {
    GenericObject object;
    EXPECT_EQ(object.propertyCount(), 0u);
    addAll(object, {"a", "b"});
    Recorder recorder(object.object());
    object.clear();
    object.clear();
    EXPECT_EQ(recorder.log, structural("remove", 0, 2) + structural("add", 0) + structural("remove", 0) +
                                structural("add", 0));
    ASSERT_EQ(names(object), (Log{"_volatility"}));

    const BoundProperty volatility = object.findProperty(key("_volatility"));
    EXPECT_EQ(volatility.get(), tavi::Variant(int32_t(0)));
    object.setVolatility(VolatilityType::Anchor);
    EXPECT_EQ(volatility.get(), tavi::Variant(int32_t(2))) << "read when asked, not copied at clear()";
    EXPECT_FALSE(volatility.set(int32_t(1)));
    EXPECT_EQ(object.getVolatility(), VolatilityType::Anchor);
    EXPECT_TRUE(hasAnnotation<Meta::MultiSelection::Persistent>(volatility.annotations()));
    EXPECT_EQ(volatility.visibility(), meta_property::HIDDEN);
}

// --- adding ---------------------------------------------------------------------------

TEST(GenericObjectTest, AddingPlacesPropertiesAtClampedPositionsWithExactSignals) {
    GenericObject object;
    Recorder recorder(object.object());
    EXPECT_EQ(object.addProperty(key("a"), END, 1.5f), 0u);
    EXPECT_EQ(object.addProperty(key("b"), 0, std::string("text")), 0u);
    EXPECT_EQ(object.addProperty(key("c"), 99, 3), 2u) << "past the end appends";
    EXPECT_EQ(names(object), (Log{"b", "a", "c"}));
    EXPECT_EQ(recorder.log, structural("add", 0) + structural("add", 0) + structural("add", 2));
    // An existing key changes nothing and gives 0.
    recorder.log.clear();
    EXPECT_EQ(object.addProperty(key("c"), END, 99), 0u);
    EXPECT_EQ(object["c"].get(), tavi::Variant(3));
    EXPECT_TRUE(recorder.log.empty());

    // getProperty() creates a void property once, then finds it.
    const BoundProperty created = object.getProperty(key("new"), 0);
    ASSERT_TRUE(created.isValid());
    EXPECT_TRUE(created.get().isVoid());
    EXPECT_EQ(recorder.log, structural("add", 0));
    recorder.log.clear();
    EXPECT_EQ(object.getProperty(key("new"), 1), created);
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_TRUE(created.set(7));
    EXPECT_EQ(object["new"].get(), tavi::Variant(7));
}

TEST(GenericObjectTest, KeysThatAreNotStringsFindOnlyKeysOfTheirType) {
    GenericObject object;
    object.addProperty(tavi::Variant(int32_t(5)), END, std::string("five"));
    object.addProperty(tavi::Variant(2.5), END, std::string("two and a half"));
    EXPECT_EQ(names(object), (Log{"5", "2.5"}));
    EXPECT_EQ(object[tavi::Variant(int32_t(5))].get(), tavi::Variant(std::string("five")));
    EXPECT_FALSE(object.findProperty(key("5")).isValid()) << "a text key is another key";
    EXPECT_FALSE(object.findProperty(tavi::Variant(int64_t(5))).isValid());
    // The same key twice, by value: one property.
    EXPECT_EQ(object.addProperty(tavi::Variant(int32_t(5)), END, 0), 0u);
    // A key without a text form cannot name a property: refused before anything changes.
    struct Opaque {
        int x = 0;
    };
    Recorder recorder(object.object());
    EXPECT_THROW(object.addProperty(tavi::Variant(Opaque()), END, 1), tavi::CastError);
    EXPECT_EQ(object.propertyCount(), 2u);
    EXPECT_TRUE(recorder.log.empty());
}

// --- replacing ------------------------------------------------------------------------

TEST(GenericObjectTest, ReplacingKeepsThePositionAndRemovingMovesTheRestDown) {
    GenericObject object;
    addAll(object, {"a", "b", "c"});
    const BoundProperty before = object["b"];
    Recorder recorder(object.object());
    recorder.watch(before);
    const BoundProperty replaced =
        object.setProperty(key("b"), 0, std::string("new"), {tavi::Variant(Meta::Minor())});
    EXPECT_EQ(replaced.object(), object.object());
    EXPECT_EQ(names(object), (Log{"a", "b", "c"})) << "the index given is ignored for an existing key";
    EXPECT_EQ(recorder.log, (Log{"about to change b flags 2", "changed b flags 2"}));
    // Handles and connections made before follow the replacement.
    EXPECT_EQ(before.get(), tavi::Variant(std::string("new")));
    EXPECT_TRUE(hasAnnotation<Meta::Minor>(before.annotations())) << "cached annotations were dropped";
    recorder.log.clear();
    EXPECT_TRUE(before.set(std::string("written")));
    EXPECT_EQ(recorder.log, (Log{"about to change b flags 1", "changed b flags 1"}));

    recorder.log.clear();
    const BoundProperty d = object.setProperty(key("d"), 1, 4);
    EXPECT_EQ(d.name(), "d");
    EXPECT_EQ(names(object), (Log{"a", "d", "b", "c"}));
    EXPECT_EQ(recorder.log, structural("add", 1));

    // Removing moves later properties down and invalidates only the removed handle.
    recorder.log.clear();
    EXPECT_FALSE(object.removeProperty(key("missing")));
    EXPECT_TRUE(object.removeProperty(key("d")));
    EXPECT_EQ(recorder.log, structural("remove", 1));
    EXPECT_FALSE(d.isValid());
    EXPECT_TRUE(d.get().isVoid());
    ASSERT_TRUE(before.isValid()) << "a handle follows its property to its new position";
    EXPECT_EQ(before.get(), tavi::Variant(std::string("written")));
    EXPECT_FALSE(object.propertyAt(3).isValid());
    EXPECT_EQ(object.metaPropertyAt(3), nullptr);
}

TEST(GenericObjectTest, DerivedObjectsBuildReadOnlyPropertiesInClearThatCloneWithTheirValue) {
    Sheet sheet;
    EXPECT_EQ(names(sheet), (Log{"_volatility", "_kind"}));
    EXPECT_EQ(genericObjectCast<Sheet>(static_cast<GenericObject*>(&sheet)), &sheet);
    EXPECT_EQ(genericObjectCast<GenericObject>(static_cast<const GenericObject*>(&sheet)), &sheet);
    const BoundProperty kind = sheet.findProperty(key("_kind"));
    Recorder recorder(sheet.object());
    recorder.watch(kind);
    EXPECT_FALSE(kind.set(std::string("other")));
    EXPECT_EQ(kind.get(), tavi::Variant(std::string("sheet")));
    EXPECT_TRUE(recorder.log.empty()) << "a refused write announces nothing";

    const std::shared_ptr<MetaProperty> copy = kind.metaProperty()->clone();
    EXPECT_NE(copy, kind.metaProperty());
    EXPECT_FALSE(copy->setter());
    ASSERT_NE(dynamic_cast<GenericObject::ReadOnlyGenericProperty*>(copy.get()), nullptr);
    EXPECT_EQ(static_cast<GenericObject::ReadOnlyGenericProperty&>(*copy).value(),
              tavi::Variant(std::string("sheet")));

    // A writable property's clone holds the value it had, and writes its own.
    GenericObject object;
    EXPECT_EQ(genericObjectCast<Sheet>(&object), nullptr);
    EXPECT_EQ(genericObjectCast<GenericObject>(&object), &object);
    object.addProperty(key("n"), END, 1);
    object["n"].set(2);
    const std::shared_ptr<MetaProperty> writable = object.findMetaProperty(key("n"))->clone();
    ASSERT_NE(dynamic_cast<GenericObject::GenericProperty*>(writable.get()), nullptr);
    EXPECT_EQ(writable->propertyType(), typeid(tavi::Variant));
    EXPECT_EQ(writable->storageType(), typeid(int));
    EXPECT_EQ(writable->getter()(BoundProperty()), tavi::Variant(2));
    writable->setter()(BoundProperty(), tavi::Variant(5), {});
    EXPECT_EQ(writable->getter()(BoundProperty()), tavi::Variant(5));
    EXPECT_EQ(object["n"].get(), tavi::Variant(2)) << "the clone has a value of its own";
}

// --- changes made by listeners ---------------------------------------------------------

TEST(GenericObjectTest, ListenersMayChangeTheObjectFromFinalNotificationsOnly) {
    GenericObject object;
    addAll(object, {"a", "b", "c"});
    Kor::MessageCapture capture;
    // From a final notification: a complete change of its own.
    {
        const zel::ScopedConnection removeC =
            object.object().connectPropertyAdded([&](const ReflectedObject&, size_t first, size_t) {
                if (object.metaPropertyAt(first)->name() == "x")
                    object.removeProperty(key("c"));
            });
        EXPECT_EQ(object.addProperty(key("x"), 1, 0), 1u);
    }
    EXPECT_EQ(names(object), (Log{"a", "x", "b"}));
    EXPECT_EQ(object.object().objectData()->propertySlotCount(), 3u);
    EXPECT_EQ(capture.count(), 0u);

    // From an announcement: refused with an error, and the announced change
    // goes through as announced.
    {
        bool refused = true;
        const zel::ScopedConnection meddle =
            object.object().connectPropertyAboutToBeRemoved([&](const ReflectedObject&, size_t, size_t) {
                refused = !object.removeProperty(key("a")) && object.addProperty(key("y")) == END &&
                          !object.setProperty(key("z"), 0, 1).isValid();
                object.clear();
            });
        EXPECT_TRUE(object.removeProperty(key("x")));
        EXPECT_TRUE(refused);
    }
    EXPECT_EQ(names(object), (Log{"a", "b"}));
    EXPECT_EQ(object.object().objectData()->propertySlotCount(), 2u);
    EXPECT_EQ(capture.countContaining("refused, the object's structure is changing"), 4u);
    EXPECT_TRUE(capture.contains("orv::GenericObject::Impl::removePropertyAt"));

    // A property that removes itself when it changes.
    const BoundProperty a = object["a"];
    const zel::ScopedConnection selfRemoval =
        a.connectPropertyChanged([&](const BoundProperty& changed) { object.removeProperty(changed.key()); });
    EXPECT_TRUE(a.set(std::string("bye")));
    EXPECT_EQ(names(object), (Log{"b"}));
    EXPECT_FALSE(a.isValid());
}

// --- reflected like any other object --------------------------------------------------------

TEST(GenericObjectTest, IsReflectedThroughTheGenericMetaObjectWhichRecognisesGenericObjectsOnly) {
    GenericObject object;
    object.addProperty(key("speed"), END, 2.5f);
    object.addProperty(key("name"), END, std::string("camera"));
    const ReflectedObject reflected{tavi::Variant(&object)};
    ASSERT_TRUE(reflected.isValid());
    EXPECT_EQ(reflected.metaObject(), GenericMetaObject::instance());
    EXPECT_EQ(reflected.metaObject()->flags(), 0);
    EXPECT_TRUE(reflected.annotations().empty());
    EXPECT_EQ(reflected, object.object());
    EXPECT_EQ(reflected.objectData(), object.object().objectData()) << "one object, one data";
    EXPECT_EQ(reflected.findPropertyByName("name").get(), tavi::Variant(std::string("camera")));
    EXPECT_EQ(reflected.indexOfProperty(key("speed")), 0u);

    // Adding through the handle takes the key as text and appends.
    EXPECT_EQ(reflected.addProperty(tavi::Variant(int32_t(7)), tavi::Variant(1)).name(), "7");
    EXPECT_EQ(object.indexOfProperty(key("7")), 2u);
    EXPECT_FALSE(reflected.addProperty(key(""), tavi::Variant(1)).isValid());
    EXPECT_TRUE(reflected.removePropertyAt(0));
    EXPECT_EQ(names(object), (Log{"name", "7"}));

    // Held by a const pointer the object reads but does not change.
    const ReflectedObject readOnly{tavi::Variant(static_cast<const GenericObject*>(&object))};
    ASSERT_TRUE(readOnly.isValid());
    EXPECT_EQ(readOnly.propertyCount(), 2u);
    EXPECT_FALSE(readOnly.addProperty(key("more"), tavi::Variant(1)).isValid());
    EXPECT_FALSE(readOnly.removePropertyAt(0));
    EXPECT_EQ(object.propertyCount(), 2u);

    // A made one is owned by its Variant.
    const ReflectedObject fresh(GenericMetaObject::instance()->create());
    ASSERT_TRUE(fresh.isValid());
    EXPECT_EQ(fresh.propertyCount(), 0u);
    EXPECT_EQ(fresh.addProperty(key("k"), tavi::Variant(1)).get(), tavi::Variant(1));

    GenericMetaObject& meta = *GenericMetaObject::instance();
    EXPECT_TRUE(meta.objectMatches(tavi::Variant(static_cast<const GenericObject*>(&object))));
    EXPECT_TRUE(meta.objectMatches(tavi::Variant(static_cast<void*>(nullptr))));
    for (const tavi::Variant& other :
         {tavi::Variant(static_cast<void*>(&object)), tavi::Variant(1), tavi::Variant()})
        EXPECT_FALSE(meta.objectMatches(other)) << other.typeName();
    EXPECT_EQ(meta.objectData(tavi::Variant(1)), nullptr);
    EXPECT_EQ(MetaObjectManager::instance().findType(typeid(GenericObject)), &meta);

    // Property numbering: past the end, the rest is what is left over.
    size_t rest = 0;
    EXPECT_EQ(meta.property(object.object(), 3, &rest), nullptr);
    EXPECT_EQ(rest, 1u);
    EXPECT_EQ(meta.property(ReflectedObject(), 3, &rest), nullptr);
    EXPECT_EQ(rest, 3u);
}

TEST(GenericObjectTest, VolatilityDecidesWherePathsThroughTheObjectStop) {
    GenericObject top, middle, leaf;
    leaf.addProperty(key("x"), END, 1);
    middle.addProperty(key("leaf"), END, tavi::Variant(&leaf));
    top.addProperty(key("middle"), END, tavi::Variant(&middle));
    const auto pathOfX = [&] {
        const BoundProperty x = top.object().findPropertyByName("middle.leaf.x");
        EXPECT_TRUE(x.isValid());
        return PersistentProperty(x).path();
    };
    middle.clear(); // publishes "_volatility"
    middle.addProperty(key("leaf"), END, tavi::Variant(&leaf));
    EXPECT_EQ(pathOfX(), "middle.leaf.x");
    for (const auto& [type, path] :
         {std::pair(VolatilityType::Anchor, "leaf.x"), std::pair(VolatilityType::Volatile, "x")}) {
        middle.setVolatility(type);
        EXPECT_EQ(pathOfX(), path);
    }

    // Writes are undone and redone through the path, across nested sheets.
    middle.setVolatility(VolatilityType::Ordinary);
    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);
    {
        Kor::CommitChangesScope edit;
        top.object().findPropertyByName("middle.leaf.x").set(2);
    }
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(leaf["x"].get(), tavi::Variant(1));
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(leaf["x"].get(), tavi::Variant(2));
}

// --- a model of the object, and a view that follows its signals -------------------------------

// Random adds, replacements, removals and clears, checked after every step
// against a plain list and against a view that only sees the signals.
TEST(GenericObjectTest, RandomEditsKeepTheObjectItsDataAndItsViewsInStep) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](size_t n) { return size_t(random() % n); };
    const char* const keys[] = {"a", "b", "c", "d", "e", "f"};

    GenericObject object;
    std::vector<std::pair<std::string, tavi::Variant>> model;
    Log view;
    const ReflectedObject handle = object.object();
    const zel::ScopedConnection added =
        handle.connectPropertyAdded([&](const ReflectedObject& o, size_t first, size_t count) {
            for (size_t i = first; i < first + count; ++i)
                view.insert(view.begin() + std::ptrdiff_t(i), o.metaPropertyAt(i)->name());
        });
    const zel::ScopedConnection removed =
        handle.connectPropertyAboutToBeRemoved([&](const ReflectedObject&, size_t first, size_t count) {
            view.erase(view.begin() + std::ptrdiff_t(first), view.begin() + std::ptrdiff_t(first + count));
        });
    const auto find = [&](const std::string& name) {
        for (size_t i = 0; i < model.size(); ++i)
            if (model[i].first == name)
                return i;
        return END;
    };
    // Where a new key lands: at the index asked for, or appended past the end.
    const auto insert = [&](size_t index, const std::string& name, const tavi::Variant& value) {
        model.insert(model.begin() + std::ptrdiff_t(std::min(index, model.size())), {name, value});
    };

    for (int step = 0; step < 400; ++step) {
        const std::string name = keys[pick(std::size(keys))];
        const size_t index = pick(model.size() + 3);
        const int value = int(pick(100));
        const size_t at = find(name);
        switch (pick(6)) {
            case 0:
                EXPECT_EQ(object.addProperty(tavi::Variant(name), index, value),
                          at != END ? 0u : std::min(index, model.size()));
                if (at == END)
                    insert(index, name, tavi::Variant(value));
                break;
            case 1:
                EXPECT_EQ(object.setProperty(tavi::Variant(name), index, value).get(), tavi::Variant(value));
                if (at != END)
                    model[at].second = tavi::Variant(value);
                else
                    insert(index, name, tavi::Variant(value));
                break;
            case 2: {
                const BoundProperty result = object.getProperty(tavi::Variant(name), index);
                if (at == END)
                    insert(index, name, tavi::Variant());
                EXPECT_EQ(result.get(), model[find(name)].second);
                break;
            }
            case 3:
                EXPECT_EQ(object.removePropertyAt(index), index < model.size());
                if (index < model.size())
                    model.erase(model.begin() + std::ptrdiff_t(index));
                break;
            case 4:
                EXPECT_EQ(object.removeProperty(tavi::Variant(name)), at != END);
                if (at != END)
                    model.erase(model.begin() + std::ptrdiff_t(at));
                break;
            default:
                if (pick(8) == 0) {
                    object.clear();
                    model = {{"_volatility", tavi::Variant(int32_t(0))}};
                } else if (!model.empty()) {
                    const size_t written = pick(model.size());
                    if (object.propertyAt(written).set(value))
                        model[written].second = tavi::Variant(value);
                }
        }
        ASSERT_EQ(object.propertyCount(), model.size()) << "step " << step;
        Log expected;
        for (size_t i = 0; i < model.size(); ++i) {
            expected.push_back(model[i].first);
            ASSERT_EQ(object.indexOfProperty(tavi::Variant(model[i].first)), i);
            ASSERT_EQ(object.propertyAt(i).get(), model[i].second) << model[i].first;
        }
        ASSERT_EQ(names(object), expected) << "step " << step;
        ASSERT_EQ(view, expected) << "step " << step;
        ASSERT_EQ(handle.objectData()->propertySlotCount(), model.size());
    }
}

} // namespace

// A setter may take its own property away (a sheet rebuilding itself); the
// description stays alive until the write is over, heard or not.
TEST(GenericObjectStructure, ASetterThatRemovesItsOwnPropertyFinishesOnALiveDescription) {
    struct Sheet : GenericObject {
        using GenericObject::impl;
    };
    for (const bool heard : {false, true}) {
        Sheet sheet;
        std::string seen;
        const std::string marker = "a long text that lives on the heap";
        sheet.impl()->addProperty(
            std::make_shared<NotifyableMetaProperty<1>>(
                GenericMetaObject::instance(), typeid(int), typeid(int), key("self"), Annotations{},
                [](const BoundProperty&) { return tavi::Variant(int32_t(0)); },
                [&sheet, &seen, marker](const BoundProperty&, const tavi::Variant&, SetterFlags) {
                    sheet.removeProperty(key("self"));
                    seen = marker; // the setter's own state, read after the removal
                }),
            END);
        const BoundProperty self = sheet.object().findPropertyByName("self");
        ASSERT_TRUE(self.isValid());
        zel::ScopedConnection listening;
        if (heard)
            listening = self.connectPropertyChanged([](const BoundProperty&) {});
        EXPECT_TRUE(self.set(tavi::Variant(int32_t(1)))) << "heard: " << heard;
        EXPECT_EQ(seen, marker) << "heard: " << heard;
        EXPECT_EQ(sheet.object().propertyCount(), 0u);
        EXPECT_FALSE(self.isValid());
    }
}
