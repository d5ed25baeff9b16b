#include "shared_libs/reflection/collection_meta_object.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/persistent_object.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/structure_recorder.hpp"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace collection_test {

struct Item {
    std::string name = "item";
};

// Default member initialisers let tests name only the lists they fill.
struct Playlist {
    std::vector<tavi::Variant> values{};
    std::vector<std::string> tags{};
    std::vector<float> weights{};
    std::vector<Kor::Vector3> points{};
    std::vector<Item*> items{};
};

// A list whose owner makes, inserts and removes the elements itself.
struct Managed {
    std::vector<std::string> names;
};

// A playlist reached through a pointer that the studio replaces when it
// reloads: paths through it find the new one.
struct Studio {
    Playlist* playlist = nullptr;
};

// A list nobody undoes.
struct Scratch {
    std::vector<std::string> entries;
};

// A list whose new elements come from factories.
struct Stocked {
    std::vector<float> levels;
};

} // namespace collection_test

using collection_test::Item;
using collection_test::Managed;
using collection_test::Playlist;
using collection_test::Scratch;
using collection_test::Stocked;
using collection_test::Studio;

template <>
struct orv::TypeDeclaration<Item> {
    static void declare(orv::Builder<Item>& type) { type.property("name", &Item::name); }
};

template <>
struct orv::TypeDeclaration<Playlist> {
    static void declare(orv::Builder<Playlist>& type) {
        type.collection("values", &Playlist::values)
            .collection("tags", &Playlist::tags, Meta::Children("*", {tavi::Variant(Meta::Minor())}))
            .collection("weights", &Playlist::weights)
            .collection("points", &Playlist::points)
            .collection("items", &Playlist::items);
    }
};

template <>
struct orv::TypeDeclaration<Managed> {
    static void declare(orv::Builder<Managed>& type) {
        type.collection(
            "names", &Managed::names, Meta::ElementFactory([](const orv::ReflectedObject& owner) {
                return std::string("made ") + std::to_string(owner.get().castPtr<Managed>()->names.size());
            }),
            Meta::CollectionInsert([](const orv::ReflectedObject& list, size_t index) {
                auto* names = list.get().cast<std::vector<std::string>*>();
                const size_t at = std::min(index, names->size());
                // The hook inserts under the notifiers, as the meta object would.
                const orv::PropertiesAddNotifier notifier(list, at, 1);
                names->insert(names->begin() + std::ptrdiff_t(at), "hooked");
                return at;
            }),
            Meta::CollectionRemove([](const orv::ReflectedObject& list, size_t index) -> tavi::Variant {
                auto* names = list.get().cast<std::vector<std::string>*>();
                if (index >= names->size())
                    return {};
                const orv::PropertiesRemoveNotifier notifier(list, index, 1);
                std::string removed = (*names)[index];
                names->erase(names->begin() + std::ptrdiff_t(index));
                return removed;
            }));
    }
};

template <>
struct orv::TypeDeclaration<Scratch> {
    static void declare(orv::Builder<Scratch>& type) {
        type.collection("entries", &Scratch::entries, Meta::Stateless(Meta::Stateless::Mode::Deep));
    }
};

template <>
struct orv::TypeDeclaration<Studio> {
    static void declare(orv::Builder<Studio>& type) { type.property("playlist", &Studio::playlist); }
};

template <>
struct orv::TypeDeclaration<Stocked> {
    static void declare(orv::Builder<Stocked>& type) {
        type.collection("levels", &Stocked::levels, Meta::ElementFactory([] { return tavi::Variant(); }),
                        Meta::ElementFactory([](const orv::BoundProperty& holder) {
                            return 0.5f + float(orv::ReflectedObject(holder).propertyCount());
                        }),
                        Meta::ElementFactory([] { return 9.0f; }));
    }
};

namespace {

using namespace orv;
using Log = std::vector<std::string>;
using test::Recorder;
constexpr size_t END = MetaObject::INVALID_INDEX;

tavi::Variant index(size_t i) { return tavi::Variant(i); }

ReflectedObject list(const ReflectedObject& owner, const char* name) {
    return ReflectedObject(owner.findPropertyByName(name));
}

struct Opaque {
    int x = 0;
};

// --- elements as properties -------------------------------------------------------------

TEST(CollectionTest, ElementsAreThePropertiesOfTheHeldVector) {
    Playlist playlist{.tags = {"a", "b", "c"}};
    const ReflectedObject owner = reflect(playlist);
    const ReflectedObject tags = list(owner, "tags");
    ASSERT_TRUE(tags.isValid());
    EXPECT_EQ(tags.metaObject(), &SequentialCollectionMetaObject<std::vector<std::string>>::instance());
    EXPECT_EQ(tags.metaObject()->name(), "vector");
    EXPECT_EQ(tags.metaObject()->flags(), 0);
    EXPECT_TRUE(hasAnnotation<Meta::Collection>(tags.annotations()));
    ASSERT_EQ(tags.propertyCount(), 3u);
    const BoundProperty second = tags.propertyAt(1);
    EXPECT_EQ(second.key(), index(1));
    EXPECT_EQ(second.name(), "1");
    EXPECT_EQ(second.propertyType(), typeid(tavi::Variant));
    EXPECT_EQ(second.get(), tavi::Variant(std::string("b")));
    EXPECT_TRUE(second.set(std::string("B")));
    EXPECT_EQ(playlist.tags[1], "B");
    // The holder's Meta::Children reaches every element.
    EXPECT_TRUE(hasAnnotation<Meta::Minor>(second.annotations()));
    // Paths name elements by their index, also as text.
    EXPECT_EQ(owner.findPropertyByName("tags.2").get(), tavi::Variant(std::string("c")));
    EXPECT_EQ(tags.findPropertyByKey(index(0)).get(), tavi::Variant(std::string("a")));
    EXPECT_FALSE(owner.findPropertyByName("tags.3").isValid());
    EXPECT_FALSE(owner.findPropertyByName("tags.x").isValid());
}

TEST(CollectionTest, ElementPropertiesAreMadeOncePerIndexAndReadWhateverIsThereNow) {
    Playlist first{.values = {tavi::Variant(1), tavi::Variant(2)}};
    Playlist second{.values = {tavi::Variant(std::string("x"))}};
    const ReflectedObject a = list(reflect(first), "values");
    const ReflectedObject b = list(reflect(second), "values");
    EXPECT_EQ(a.metaPropertyAt(0), b.metaPropertyAt(0)) << "shared by every container of the type";
    EXPECT_EQ(a.metaPropertyAt(1), a.metaPropertyAt(1));
    const BoundProperty last = a.propertyAt(1);
    first.values.pop_back();
    EXPECT_TRUE(last.get().isVoid()) << "an element that is gone reads as nothing";
    EXPECT_TRUE(last.set(5));
    EXPECT_EQ(first.values.size(), 1u) << "and is not written";

    size_t rest = 0;
    EXPECT_EQ(a.metaObject()->property(a, 7, &rest), nullptr);
    EXPECT_EQ(rest, 6u);
}

TEST(CollectionTest, TypedElementsConvertOnTheWayInAndRefuseWhatDoesNotConvert) {
    Playlist playlist{.weights = {1.0f}, .points = {Kor::Vector3(1, 2, 3)}};
    const ReflectedObject owner = reflect(playlist);
    const ReflectedObject weights = list(owner, "weights");
    EXPECT_TRUE(weights.propertyAt(0).set(2));
    EXPECT_EQ(playlist.weights[0], 2.0f);
    EXPECT_TRUE(weights.propertyAt(0).set(std::string("2.5")));
    EXPECT_EQ(playlist.weights[0], 2.5f);
    Kor::MessageCapture capture;
    EXPECT_FALSE(weights.propertyAt(0).set(std::string("heavy")));
    EXPECT_EQ(playlist.weights[0], 2.5f);
    EXPECT_TRUE(capture.contains("Error setting property '0'"));

    const ReflectedObject points = list(owner, "points");
    EXPECT_EQ(points.propertyAt(0).get(), tavi::Variant(Kor::Vector3(1, 2, 3)));
    EXPECT_TRUE(points.propertyAt(0).set(Kor::Vector3(0, 0, 1)));
    EXPECT_EQ(playlist.points[0], Kor::Vector3(0, 0, 1));

    // Through a const owner elements read but are not written.
    const ReflectedObject frozen = list(reflect(static_cast<const Playlist&>(playlist)), "weights");
    ASSERT_TRUE(frozen.isValid());
    EXPECT_EQ(frozen.propertyAt(0).get(), tavi::Variant(2.5f));
    EXPECT_FALSE(frozen.propertyAt(0).set(1.0f));
    EXPECT_FALSE(frozen.addProperty(tavi::Variant(), 1.0f).isValid());
    EXPECT_FALSE(frozen.removePropertyAt(0));
    EXPECT_EQ(playlist.weights, (std::vector<float>{2.5f}));
}

TEST(CollectionTest, PointerElementsOpenAsObjects) {
    Item lamp, chair;
    Playlist playlist{.items = {&lamp}};
    const ReflectedObject items = list(reflect(playlist), "items");
    const ReflectedObject first(items.propertyAt(0));
    ASSERT_TRUE(first.isValid());
    EXPECT_TRUE(first.findPropertyByName("name").set(std::string("lamp")));
    EXPECT_EQ(lamp.name, "lamp");
    EXPECT_EQ(items.addProperty(tavi::Variant(), &chair).get(), tavi::Variant(&chair));
    EXPECT_EQ(playlist.items, (std::vector<Item*>{&lamp, &chair}));
    EXPECT_EQ(reflect(playlist).findPropertyByName("items.1.name").get(), tavi::Variant(std::string("item")));
}

TEST(CollectionTest, AMetaObjectAnswersForItsContainerTypeAndAnnotatesEveryElement) {
    using Ints = std::vector<int>;
    // Children annotations of the meta object reach every element, whatever the pattern.
    SequentialCollectionMetaObject<Ints> meta(
        "ints", {tavi::Variant(Meta::Children("no match", {tavi::Variant(Meta::Minor())}))});
    EXPECT_EQ(MetaObjectManager::instance().findType(typeid(Ints)), &meta);
    EXPECT_TRUE(hasAnnotation<Meta::Collection>(meta.annotations(tavi::Variant())));
    Ints ints{4, 5};
    EXPECT_TRUE(meta.objectMatches(tavi::Variant(&ints)));
    EXPECT_TRUE(meta.objectMatches(tavi::Variant(static_cast<const Ints*>(&ints))));
    EXPECT_TRUE(meta.objectMatches(tavi::Variant(ints)));
    EXPECT_FALSE(meta.objectMatches(tavi::Variant(std::vector<float>())));
    EXPECT_FALSE(meta.objectMatches(tavi::Variant()));

    const ReflectedObject object{tavi::Variant(&ints)};
    ASSERT_EQ(object.metaObject(), &meta);
    EXPECT_TRUE(hasAnnotation<Meta::Minor>(object.propertyAt(1).annotations()));
    EXPECT_EQ(object.propertyAt(1).get(), tavi::Variant(5));

    const tavi::Variant made = meta.create();
    const ReflectedObject fresh(made);
    ASSERT_TRUE(fresh.isValid());
    EXPECT_EQ(fresh.propertyCount(), 0u);
    EXPECT_TRUE(fresh.addProperty(tavi::Variant(), 3).isValid());
    EXPECT_EQ(*made.castPtr<Ints>(), (Ints{3}));
}

// --- adding and removing ----------------------------------------------------------------

TEST(CollectionTest, AddingClampsThePositionAndMakesDefaultElements) {
    Playlist playlist{.values = {tavi::Variant(1)}, .tags = {"a", "b", "c"}};
    const ReflectedObject owner = reflect(playlist);
    const ReflectedObject tags = list(owner, "tags");
    EXPECT_EQ(tags.addProperty(index(10), std::string("d")).key(), index(3));
    EXPECT_EQ(tags.addProperty(tavi::Variant(), std::string("e")).key(), index(4));
    EXPECT_EQ(tags.addProperty(index(0), tavi::Variant()).key(), index(0));
    EXPECT_EQ(tags.addProperty(tavi::Variant(int32_t(2)), std::string("i")).key(), index(2));
    EXPECT_EQ(tags.addProperty(tavi::Variant(std::string("1")), std::string("t")).key(), index(1));
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"", "t", "a", "i", "b", "c", "d", "e"}));

    const ReflectedObject values = list(owner, "values");
    EXPECT_TRUE(values.addProperty(tavi::Variant(), tavi::Variant()).get().isVoid());
    ASSERT_EQ(playlist.values.size(), 2u);
    EXPECT_TRUE(playlist.values[1].isVoid());
    EXPECT_TRUE(list(owner, "weights").addProperty(tavi::Variant(), tavi::Variant()).isValid());
    EXPECT_EQ(playlist.weights, (std::vector<float>{0.0f}));
}

TEST(CollectionTest, BadKeysAndValuesAreRefusedAndChangeNothing) {
    Playlist playlist{.weights = {1.0f}};
    const ReflectedObject weights = list(reflect(playlist), "weights");
    EXPECT_FALSE(weights.addProperty(tavi::Variant(std::string("first")), 1.0f).isValid());
    EXPECT_FALSE(weights.addProperty(tavi::Variant(int32_t(-1)), 1.0f).isValid());
    EXPECT_FALSE(weights.addProperty(tavi::Variant(Opaque()), 1.0f).isValid());
    EXPECT_FALSE(weights.addProperty(tavi::Variant(), std::string("heavy")).isValid());
    EXPECT_FALSE(weights.addProperty(tavi::Variant(), Opaque()).isValid());
    const ReflectedObject tags = list(reflect(playlist), "tags");
    EXPECT_FALSE(tags.addProperty(tavi::Variant(), Opaque()).isValid());
    EXPECT_FALSE(tags.removePropertyAt(0)) << "nothing to remove from an empty collection";
    EXPECT_FALSE(weights.removePropertyAt(1));
    EXPECT_FALSE(weights.removePropertyAt(END));
    EXPECT_EQ(playlist.weights, (std::vector<float>{1.0f}));
    EXPECT_TRUE(playlist.tags.empty());
}

TEST(CollectionTest, ChangesAreAnnouncedForTheirOwnCollectionOnly) {
    Playlist first{.tags = {"x", "y"}}, second{.tags = {"z"}};
    const ReflectedObject a = list(reflect(first), "tags");
    const ReflectedObject b = list(reflect(second), "tags");
    Recorder recorder(a);
    recorder.watch(a.propertyAt(0));
    b.addProperty(tavi::Variant(), std::string("w"));
    b.removePropertyAt(0);
    b.propertyAt(0).set(std::string("v"));
    EXPECT_TRUE(recorder.log.empty());

    a.addProperty(index(1), std::string("new"));
    a.removePropertyAt(2);
    a.propertyAt(0).set(std::string("X"));
    EXPECT_EQ(recorder.log, (Log{"about to add 1+1", "structure about", "structure done", "added 1+1",
                                 "about to remove 2+1", "structure about", "structure done", "removed 2+1",
                                 "about to change 0 flags 1", "changed 0 flags 1"}));
    EXPECT_EQ(first.tags, (std::vector<std::string>{"X", "new"}));
}

TEST(CollectionTest, ListenersMayChangeACollectionFromFinalNotificationsOnly) {
    Playlist playlist{.tags = {"a", "b", "c"}};
    const ReflectedObject tags = list(reflect(playlist), "tags");
    Kor::MessageCapture capture;
    {
        const zel::ScopedConnection meddle =
            tags.connectPropertyAboutToBeRemoved([&](const ReflectedObject& object, size_t, size_t) {
                EXPECT_FALSE(object.removePropertyAt(0));
                EXPECT_FALSE(object.addProperty(tavi::Variant(), std::string("q")).isValid());
            });
        EXPECT_TRUE(tags.removePropertyAt(1));
    }
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(capture.countContaining("refused, the object's structure is changing"), 2u);
    {
        const zel::ScopedConnection follow =
            tags.connectPropertyAdded([&](const ReflectedObject& object, size_t first, size_t) {
                if (first == 0)
                    object.removePropertyAt(object.propertyCount() - 1);
            });
        tags.addProperty(index(0), std::string("front"));
    }
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"front", "a"}));
}

// --- the holder's annotations take over ---------------------------------------------------

TEST(CollectionTest, ElementFactoriesMakeTheElementsAddedWithoutAValue) {
    Stocked stocked;
    const ReflectedObject levels = list(reflect(stocked), "levels");
    EXPECT_EQ(levels.addProperty(tavi::Variant(), tavi::Variant()).get(), tavi::Variant(0.5f))
        << "the first factory that makes something wins";
    EXPECT_EQ(levels.addProperty(index(0), tavi::Variant()).get(), tavi::Variant(1.5f));
    EXPECT_EQ(levels.addProperty(tavi::Variant(), 7.0f).get(), tavi::Variant(7.0f))
        << "a given value is kept";
    EXPECT_EQ(stocked.levels, (std::vector<float>{1.5f, 0.5f, 7.0f}));
    // Objects reached without their holder have no factories.
    const ReflectedObject bare{tavi::Variant(&stocked.levels)};
    EXPECT_EQ(bare.addProperty(tavi::Variant(), tavi::Variant()).get(), tavi::Variant(0.0f));
}

// --- undo ----------------------------------------------------------------------------------

// The commands the open transaction holds, front (newest) first.
std::vector<const Kor::utils::Command*> recorded() {
    std::vector<const Kor::utils::Command*> commands;
    for (const Kor::utils::Command& command : *Kor::CommitChangesScope::transaction()->command())
        commands.push_back(&command);
    return commands;
}

class CollectionUndoTest : public ::testing::Test {
protected:
    Kor::UndoHistory history;
    Kor::UndoHistory::ThreadAttachment attachment{history};
};

TEST_F(CollectionUndoTest, AddingAndRemovingRecordTheirOppositeByPath) {
    Playlist playlist{.tags = {"a", "b", "c"}};
    const ReflectedObject tags = list(reflect(playlist), "tags");
    {
        Kor::CommitChangesScope edit;
        tags.removePropertyAt(1);
        tags.addProperty(index(5), std::string("d"));
        const auto commands = recorded();
        ASSERT_EQ(commands.size(), 2u);
        const auto* remove = dynamic_cast<const RemoveFromContainer*>(commands[0]);
        ASSERT_NE(remove, nullptr);
        EXPECT_EQ(remove->name(), "Add element to collection");
        EXPECT_EQ(remove->key(), index(2));
        EXPECT_EQ(remove->object().path(), "tags");
        const auto* insert = dynamic_cast<const InsertIntoContainer<std::string>*>(commands[1]);
        ASSERT_NE(insert, nullptr);
        EXPECT_EQ(insert->name(), "Remove element from collection");
        EXPECT_EQ(insert->key(), index(1));
        EXPECT_EQ(insert->value(), "b");
        EXPECT_FALSE(insert->isMinor());
    }
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"a", "c", "d"}));
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"a", "b", "c"}));
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"a", "c", "d"}));
}

// Random insertions and removals at the front, in the middle, at the end and
// past it, each its own undo step; undoing them all walks back through every
// state, redoing them all forward again.
TEST_F(CollectionUndoTest, UndoAndRedoRestoreEveryStateOfRandomEdits) {
    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    Playlist playlist{.values = {tavi::Variant(0), tavi::Variant(std::string("v1"))}, .tags = {"t0", "t1"}};
    const ReflectedObject owner = reflect(playlist);
    const ReflectedObject tags = list(owner, "tags");
    const ReflectedObject values = list(owner, "values");
    std::vector<std::pair<std::vector<std::string>, std::vector<tavi::Variant>>> states{
        {playlist.tags, playlist.values}};
    for (int step = 0; step < 60; ++step) {
        const bool onTags = random() % 2 == 0;
        const ReflectedObject& target = onTags ? tags : values;
        const size_t size = onTags ? playlist.tags.size() : playlist.values.size();
        const size_t at = random() % (size + 2);
        Kor::CommitChangesScope edit("step " + std::to_string(step));
        if (random() % 3 == 0 && size > 0) {
            ASSERT_EQ(target.removePropertyAt(at), at < size);
        } else {
            const tavi::Variant key = random() % 4 == 0 ? tavi::Variant() : index(at);
            const tavi::Variant element =
                onTags ? tavi::Variant("e" + std::to_string(step)) : tavi::Variant(int32_t(step));
            ASSERT_TRUE(target.addProperty(key, element).isValid());
        }
        if (states.back() != std::pair(playlist.tags, playlist.values))
            states.emplace_back(playlist.tags, playlist.values);
    }
    for (size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(history.undo());
        ASSERT_EQ(playlist.tags, states[i - 1].first) << "undoing to state " << i - 1;
        ASSERT_EQ(playlist.values, states[i - 1].second) << "undoing to state " << i - 1;
    }
    EXPECT_FALSE(history.canUndo());
    for (size_t i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(history.redo());
        ASSERT_EQ(playlist.tags, states[i].first) << "redoing to state " << i;
        ASSERT_EQ(playlist.values, states[i].second) << "redoing to state " << i;
    }
}

TEST_F(CollectionUndoTest, StatelessCollectionsNotifyButRecordNothing) {
    Scratch scratch;
    const ReflectedObject entries = list(reflect(scratch), "entries");
    ASSERT_EQ(entries.statelessMode(), Meta::Stateless::Mode::Deep);
    Recorder recorder(entries);
    {
        Kor::CommitChangesScope edit;
        entries.addProperty(tavi::Variant(), std::string("y"));
        entries.addProperty(index(0), std::string("x"));
        entries.removePropertyAt(1);
        EXPECT_TRUE(recorded().empty());
    }
    EXPECT_EQ(scratch.entries, (std::vector<std::string>{"x"}));
    EXPECT_EQ(recorder.log.size(), 12u);
    EXPECT_FALSE(history.canUndo());
}

// The hooks insert and remove elements themselves, where they are asked to;
// the undo commands recorded for them go through the hooks again.
TEST_F(CollectionUndoTest, HolderHooksInsertAndRemoveAndRecordTheirOpposites) {
    Managed managed{.names = {"a", "b"}};
    const ReflectedObject names = list(reflect(managed), "names");
    Recorder recorder(names);
    {
        Kor::CommitChangesScope edit("Insert");
        ASSERT_TRUE(names.addProperty(index(0), tavi::Variant()).isValid());
        const auto commands = recorded();
        ASSERT_EQ(commands.size(), 1u);
        const auto* remove = dynamic_cast<const RemoveFromContainer*>(commands[0]);
        ASSERT_NE(remove, nullptr);
        EXPECT_EQ(remove->name(), "Remove element from collection");
        EXPECT_EQ(remove->key(), index(0));
    }
    {
        Kor::CommitChangesScope edit("Remove");
        ASSERT_TRUE(names.removePropertyAt(2));
        const auto commands = recorded();
        ASSERT_EQ(commands.size(), 1u);
        const auto* insert = dynamic_cast<const InsertIntoContainer<tavi::Variant>*>(commands[0]);
        ASSERT_NE(insert, nullptr);
        EXPECT_EQ(insert->name(), "Insert element to collection");
        EXPECT_EQ(insert->key(), index(2));
        EXPECT_EQ(insert->value(), tavi::Variant(std::string("b")));
    }
    EXPECT_EQ(managed.names, (std::vector<std::string>{"hooked", "a"}));
    EXPECT_EQ(recorder.log.size(), 8u) << "the hooks announce their changes";
    ASSERT_TRUE(history.undo()); // re-inserted through the hook, which makes its own element
    EXPECT_EQ(managed.names, (std::vector<std::string>{"hooked", "a", "hooked"}));
    ASSERT_TRUE(history.undo()); // removed through the hook
    EXPECT_EQ(managed.names, (std::vector<std::string>{"a", "hooked"}));
    // A key that is no index asks for the end; a hook that removes nothing
    // records nothing, and the removal still counts as done.
    Kor::CommitChangesScope edit;
    EXPECT_EQ(names.addProperty(tavi::Variant(std::string("end?")), tavi::Variant()).key(), index(2));
    const size_t before = recorded().size();
    EXPECT_TRUE(names.removePropertyAt(9));
    EXPECT_EQ(recorded().size(), before);
}

TEST_F(CollectionUndoTest, UndoFindsElementsByPathAfterTheCollectionIsRebuilt) {
    auto first = std::make_unique<Playlist>(Playlist{.tags = {"a", "b"}});
    Studio studio{first.get()};
    const ReflectedObject owner = reflect(studio);
    {
        Kor::CommitChangesScope edit("Rename b");
        ASSERT_TRUE(owner.findPropertyByName("playlist.tags.1").set(std::string("B")));
    }
    {
        Kor::CommitChangesScope edit("Add c");
        ASSERT_TRUE(list(owner, "playlist.tags").addProperty(tavi::Variant(), std::string("c")).isValid());
    }
    // The playlist is reloaded: a new object, a new vector, the same path.
    auto reloaded = std::make_unique<Playlist>(Playlist{.tags = first->tags});
    studio.playlist = reloaded.get();
    first.reset();
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(reloaded->tags, (std::vector<std::string>{"a", "B"}));
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(reloaded->tags, (std::vector<std::string>{"a", "b"}));
    ASSERT_TRUE(history.redo());
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(reloaded->tags, (std::vector<std::string>{"a", "B", "c"}));
}

TEST_F(CollectionUndoTest, CommandsThatCannotFindTheirElementReportAndFail) {
    Playlist playlist{.tags = {"a"}};
    const ReflectedObject tags = list(reflect(playlist), "tags");
    Kor::MessageCapture capture;
    RemoveFromContainer missing("Add element to collection", tags, index(3));
    EXPECT_FALSE(missing.execute());
    EXPECT_TRUE(capture.contains("Failed to remove from a container"));

    InsertIntoContainer<std::string> badKey("Remove element from collection", tags,
                                            tavi::Variant(std::string("not an index")), "kept");
    EXPECT_FALSE(badKey.execute());
    EXPECT_EQ(badKey.value(), "kept") << "the value is still there for another try";
    EXPECT_EQ(capture.countContaining("Failed to insert into a container"), 1u);

    InsertIntoContainer<std::string> good("Remove element from collection", tags, index(0), "z");
    EXPECT_TRUE(good.execute());
    EXPECT_TRUE(good.value().empty()) << "the value moved into the container";
    EXPECT_EQ(playlist.tags, (std::vector<std::string>{"z", "a"}));

    InsertIntoContainer<tavi::Variant> wrongType("Insert element to collection",
                                                 list(reflect(playlist), "weights"), index(0),
                                                 tavi::Variant(std::string("heavy")));
    EXPECT_FALSE(wrongType.execute());
    EXPECT_EQ(capture.countContaining("Failed to insert into a container"), 2u);
    EXPECT_TRUE(playlist.weights.empty());
}

} // namespace
