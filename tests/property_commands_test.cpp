#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/vector.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/persistent_object.hpp"
#include "shared_libs/reflection/property_revert_command.hpp"
#include "shared_libs/reflection/property_set_command.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/object_fixtures.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace commands_test {

// A value of which revert commands restore only one part (z, say a scale).
struct Sprite {
    Kor::Vector3 placement{1, 2, 3};
    Kor::Vector3 broken{1, 2, 3};
};

} // namespace commands_test

template <>
struct orv::TypeDeclaration<commands_test::Sprite> {
    static void declare(orv::Builder<commands_test::Sprite>& type) {
        type.property("placement", &commands_test::Sprite::placement,
                      Meta::ValueExtractor([](const Kor::Vector3& whole) { return whole.z; },
                                           [](Kor::Vector3 whole, float z) {
                                               whole.z = z;
                                               return whole;
                                           }))
            // An extractor that cannot take the value.
            .property(
                "broken", &commands_test::Sprite::broken,
                Meta::ValueExtractor([](int whole) { return whole; }, [](int whole, int) { return whole; }));
    }
};

namespace {

using namespace orv;
using Kor::utils::Command;
using test::Node;

// The property commands recorded in the open transaction, newest first.
std::vector<const PropertySetCommand*> recordedSetCommands() {
    std::vector<const PropertySetCommand*> found;
    for (const Command& command : *Kor::CommitChangesScope::transaction()->command())
        if (const auto* set = dynamic_cast<const PropertySetCommand*>(&command))
            found.push_back(set);
    return found;
}

struct PropertyCommands : ::testing::Test {
    BoundProperty property(const char* path) { return tree.rootObject().findPropertyByName(path); }

    test::NodeTree tree;
    Kor::UndoHistory history;
};

TEST_F(PropertyCommands, NamedAfterThePathAndMinorWhenThePropertyIs) {
    const BoundProperty leafNumber = property("child.child.number");
    const PropertySetCommand set(leafNumber);
    EXPECT_EQ(set.name(), "Change property 'child.child.number'");
    EXPECT_EQ(set.flags(), Command::Flags());
    EXPECT_EQ(set.storedValue(), tavi::Variant(3));
    EXPECT_EQ(PropertySetCommand(leafNumber, 9).storedValue(), tavi::Variant(9));

    tree.text->setAnnotations({tavi::Variant(Meta::Minor())});
    const PropertyRevertCommand revert(property("child.text"));
    EXPECT_EQ(revert.name(), "Change property 'child.text'");
    EXPECT_EQ(revert.flags().value(), 0x1u);
    EXPECT_EQ(PropertySetCommand(property("text")).flags().value(), 0x1u);
    EXPECT_EQ(revert.storedValue(), tavi::Variant(std::string("m")));
    // The name a revert is filed under carries the object's hash and the property's name.
    char expected[80];
    std::snprintf(expected, sizeof expected, "[Revert property value] 0x%xz number",
                  unsigned(property("child.number").object().hash() & 0xffffffffu));
    EXPECT_EQ(PropertyRevertCommand::revertCommandName(property("child.number")), expected);
    EXPECT_NE(PropertyRevertCommand::revertCommandName(property("number")), expected);

    {
        Kor::CommitChangesScope edit(history);
        property("child.child.number").set(5);
        EXPECT_EQ(recordedSetCommands().front()->property().root(), tree.rootObject());
    }
    EXPECT_EQ(history.undoName(), "Change property 'child.child.number'") << "writes record their path";
}

TEST_F(PropertyCommands, ClonesAreIndependent) {
    std::unique_ptr<Command> set =
        std::make_unique<PropertySetCommand>(property("child.child.text"), std::string("old"));
    std::unique_ptr<Command> revert = std::make_unique<PropertyRevertCommand>(property("child.number"));
    const std::unique_ptr<Command> setCopy = set->clone();
    const std::unique_ptr<Command> revertCopy = revert->clone();
    ASSERT_TRUE(dynamic_cast<PropertySetCommand*>(setCopy.get()));
    ASSERT_TRUE(dynamic_cast<PropertyRevertCommand*>(revertCopy.get()));
    EXPECT_EQ(std::exchange(set, {})->name(), setCopy->name());
    EXPECT_EQ(std::exchange(revert, {})->name(), revertCopy->name());
    tree.mid.number = 40;
    EXPECT_TRUE(setCopy->execute());
    EXPECT_TRUE(revertCopy->execute());
    EXPECT_EQ(tree.leaf.text, "old");
    EXPECT_EQ(tree.mid.number, 2);
}

TEST_F(PropertyCommands, ExecutingSkipsValidationAndRecordsTheOppositeOnce) {
    tree.number->setAnnotations({tavi::Variant(Meta::Validator([] { return false; }))});
    const BoundProperty leafNumber = property("child.child.number");
    EXPECT_FALSE(leafNumber.set(30)) << "the validator refuses every write";

    PropertySetCommand command(leafNumber, 30);
    {
        Kor::CommitChangesScope replay(history, "replay");
        EXPECT_TRUE(command.execute());
        EXPECT_TRUE(command.execute()) << "a second execution records nothing new";
        const auto recorded = recordedSetCommands();
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_EQ(recorded.front()->storedValue(), tavi::Variant(3));
        EXPECT_EQ(recorded.front()->property().path(), "child.child.number");
    }
    EXPECT_EQ(tree.leaf.number, 30);
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(tree.leaf.number, 3);
}

TEST_F(PropertyCommands, FailuresAreReportedWithThePath) {
    const BoundProperty leafNumber = property("child.child.number");
    PropertySetCommand set(leafNumber, 5);
    PropertyRevertCommand revert(leafNumber);

    tree.mid.child = nullptr;
    Kor::MessageCapture capture;
    EXPECT_FALSE(set.execute());
    EXPECT_FALSE(revert.execute());
    const auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "PropertySetCommand: Can't find child.child.number child property");
    EXPECT_EQ(messages[1].text, "PropertyRevertCommand: Can't find child.child.number child property");
    for (const Kor::DebugMessage& message : messages) {
        EXPECT_EQ(message.priority, Kor::MESSAGE_PRIORITY_ERROR);
        EXPECT_EQ(message.category, "");
    }

    // The key is there again, but its property can no longer be written.
    tree.mid.child = &tree.leaf;
    tree.meta.resetProperties(
        {test::dataProperty(
             &tree.meta, "number", typeid(int),
             [](const BoundProperty& p) { return tavi::Variant(p.object().get().castPtr<Node>()->number); }),
         tree.text, tree.child});
    capture.clear();
    EXPECT_FALSE(set.execute());
    EXPECT_TRUE(capture.contains(
        "PropertySetCommand: Couldn't set child.child.number child property (set operation returned false)"));
    capture.clear();
    EXPECT_FALSE(revert.execute());
    EXPECT_EQ(capture.count(), 0u) << "a revert that cannot write says nothing more";
    EXPECT_EQ(tree.leaf.number, 3);
}

TEST(PropertyRevertCommandExtractor, RestoresOnlyTheExtractedPart) {
    commands_test::Sprite sprite;
    const BoundProperty placement = reflect(sprite).findPropertyByName("placement");
    const PropertyRevertCommand revert(placement);
    sprite.placement = Kor::Vector3(7, 8, 9);
    Kor::UndoHistory history;
    {
        Kor::CommitChangesScope scope(history, "revert");
        EXPECT_TRUE(revert.clone()->execute());
    }
    EXPECT_EQ(sprite.placement, Kor::Vector3(7, 8, 3));
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(sprite.placement, Kor::Vector3(7, 8, 9)) << "the revert was recorded like any write";

    const PropertyRevertCommand broken(reflect(sprite).findPropertyByName("broken"));
    Kor::MessageCapture capture;
    EXPECT_FALSE(broken.clone()->execute());
    EXPECT_TRUE(capture.contains("PropertyRevertCommand: Couldn't take broken child property apart"));
}

// --- undo across rebuilt objects ---

// Below the tree's root, a chain of nodes through "child" that live on the
// heap and can be rebuilt: destroyed and replaced by an equal node at the
// same place. Level 0 is the root.
class RebuildableChain {
public:
    RebuildableChain(test::NodeTree& tree, size_t depth) : m_tree(tree) {
        Node* parent = &tree.root;
        for (size_t level = 1; level <= depth; ++level) {
            m_nodes.push_back(
                std::make_unique<Node>(Node{"n" + std::to_string(level), int(level), "", nullptr, ""}));
            parent->child = m_nodes.back().get();
            parent = parent->child;
        }
    }
    ~RebuildableChain() {
        m_tree.root.child = nullptr;
        for (const auto& node : m_nodes)
            if (node)
                m_tree.meta.forget(*node);
    }

    Node& at(size_t level) { return level == 0 ? m_tree.root : *m_nodes[level - 1]; }
    // "child.child.<name>" for level 2.
    static std::string path(size_t level, const std::string& name) {
        std::string result;
        for (size_t i = 0; i < level; ++i)
            result += "child.";
        return result + name;
    }
    BoundProperty property(size_t level, const std::string& name) {
        return PersistentObject::getProperty(m_tree.rootObject(), path(level, name));
    }

    // The node at `level` is replaced by a copy, as an editor re-instantiates
    // an object: the change is announced on the holding property, whose
    // caches follow it; the old node is destroyed.
    void rebuild(size_t level) {
        const BoundProperty holder = property(level - 1, "child");
        const PropertyChangeNotifier announce(holder, {}, NotifyFlag::Value);
        std::unique_ptr<Node>& slot = m_nodes[level - 1];
        auto fresh = std::make_unique<Node>(*slot);
        at(level - 1).child = fresh.get();
        m_tree.meta.forget(*slot);
        slot = std::move(fresh);
    }
    // Destroys the node at `level` and everything below it.
    void cut(size_t level) {
        const PropertyChangeNotifier announce(property(level - 1, "child"), {}, NotifyFlag::Value);
        at(level - 1).child = nullptr;
        for (size_t i = level; i <= m_nodes.size(); ++i) {
            m_tree.meta.forget(*m_nodes[i - 1]);
            m_nodes[i - 1].reset();
        }
        m_nodes.resize(level - 1);
    }

private:
    test::NodeTree& m_tree;
    std::vector<std::unique_ptr<Node>> m_nodes;
};

struct UndoAcrossRebuilds : PropertyCommands {
    RebuildableChain chain{tree, 3};
};

TEST_F(UndoAcrossRebuilds, UndoAndRedoLandOnTheRebuiltObject) {
    {
        Kor::CommitChangesScope edit(history, "Edit");
        chain.property(2, "number").set(20);
        chain.property(2, "text").set(std::string("edited"));
    }
    const Node* before = &chain.at(2);
    chain.rebuild(2);
    chain.rebuild(1); // and the one holding it
    ASSERT_NE(&chain.at(2), before);
    EXPECT_EQ(chain.at(2).number, 20) << "an equal object";

    Kor::MessageCapture capture;
    int signals = 0;
    const zel::ScopedConnection counting = tree.number->connectPropertyChanged([&] { ++signals; });
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(chain.at(2).number, 2);
    EXPECT_EQ(chain.at(2).text, "");
    EXPECT_EQ(signals, 1);

    chain.rebuild(2);
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(chain.at(2).number, 20);
    EXPECT_EQ(chain.at(2).text, "edited");
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(chain.at(2).number, 2);
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(UndoAcrossRebuilds, ACommandThatLostItsPathFailsAndTheRestOfTheStepRuns) {
    {
        Kor::CommitChangesScope edit(history, "Edit");
        chain.property(0, "text").set(std::string("root edited"));
        chain.property(2, "number").set(20);
        chain.property(1, "number").set(10);
    }
    chain.cut(2);

    Kor::MessageCapture capture;
    EXPECT_FALSE(history.undo());
    EXPECT_TRUE(capture.contains("PropertySetCommand: Can't find child.child.number child property"));
    EXPECT_TRUE(capture.contains("'Edit' was not undone completely"));
    EXPECT_EQ(tree.root.text, "r") << "commands recorded before the lost one still ran";
    EXPECT_EQ(chain.at(1).number, 1) << "and those recorded after it";

    // The notify brackets closed: a write delivers its signal at once.
    int signals = 0;
    const zel::ScopedConnection counting = tree.text->connectPropertyChanged([&] { ++signals; });
    chain.property(1, "text").set(std::string("now"));
    EXPECT_EQ(signals, 1);

    // What was undone can be redone; the history goes on working.
    EXPECT_FALSE(history.canUndo());
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(tree.root.text, "root edited");
    EXPECT_EQ(chain.at(1).number, 10);
    {
        Kor::CommitChangesScope edit(history, "Later");
        chain.property(1, "number").set(11);
    }
    ASSERT_TRUE(history.undo());
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(chain.at(1).number, 1);
    EXPECT_EQ(tree.root.text, "r");
}

// Random edits (one to three writes per step), rebuilds of random nodes,
// undos and redos on a chain of depth 4, against a model of the values and
// of the two stacks. Rebuilds are invisible to the model: they keep values.
TEST_F(PropertyCommands, SeededEditsRebuildsUndosAndRedosMatchAModel) {
    constexpr size_t DEPTH = 4;
    for (int round = 0; round < 12; ++round) {
        const unsigned seed = std::random_device{}();
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        const auto below = [&](size_t n) { return size_t(random() % n); };

        Kor::UndoHistory steps;
        RebuildableChain chain(tree, DEPTH);
        using State = std::vector<int>;
        const auto current = [&] {
            State values;
            for (size_t level = 0; level <= DEPTH; ++level)
                values.push_back(chain.at(level).number);
            return values;
        };
        State model = current();
        std::vector<State> undo, redo;
        for (int step = 0; step < 60; ++step) {
            switch (below(4)) {
                case 0: { // edit
                    undo.push_back(model);
                    redo.clear();
                    Kor::CommitChangesScope edit(steps, "edit");
                    for (size_t writes = 1 + below(3); writes > 0; --writes) {
                        const size_t level = below(DEPTH + 1);
                        model[level] = int(below(1000));
                        ASSERT_TRUE(chain.property(level, "number").set(model[level]));
                    }
                    break;
                }
                case 1: // rebuild
                    chain.rebuild(1 + below(DEPTH));
                    break;
                case 2: // undo
                    ASSERT_EQ(steps.canUndo(), !undo.empty());
                    if (!undo.empty()) {
                        ASSERT_TRUE(steps.undo());
                        redo.push_back(model);
                        model = undo.back();
                        undo.pop_back();
                    }
                    break;
                case 3: // redo
                    ASSERT_EQ(steps.canRedo(), !redo.empty());
                    if (!redo.empty()) {
                        ASSERT_TRUE(steps.redo());
                        undo.push_back(model);
                        model = redo.back();
                        redo.pop_back();
                    }
                    break;
            }
            ASSERT_EQ(current(), model) << "after step " << step;
            ASSERT_EQ(steps.undoCount(), undo.size());
            ASSERT_EQ(steps.redoCount(), redo.size());
        }
    }
}

} // namespace
