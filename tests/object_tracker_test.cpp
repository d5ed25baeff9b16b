#include "shared_libs/reflection/object_tracker.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_seed.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace orv;
using test::Node;
using Item = BaseObjectTrackerItem;

// Whether `item` mirrors `object`: one child per property, each following
// that property and the object its value holds, all the way down.
void expectMirrors(const Item& item, const ReflectedObject& object, const std::string& path = "root") {
    SCOPED_TRACE(path);
    ASSERT_TRUE(item.object() == object);
    ASSERT_EQ(item.children().size(), object.propertyCount());
    for (size_t i = 0; i < object.propertyCount(); ++i) {
        const Item& child = *item.children()[i];
        const BoundProperty property = object.propertyAt(i);
        ASSERT_TRUE(child.property() == property) << "child " << i << " follows " << child.property().name();
        const ReflectedObject held(property);
        if (held.isValid())
            expectMirrors(child, held, path + "." + property.name());
        else
            ASSERT_TRUE(child.children().empty() && !child.object().isValid());
    }
}

std::vector<const Item*> childrenOf(const Item& item) {
    std::vector<const Item*> children;
    for (const auto& child : item.children())
        children.push_back(child.get());
    return children;
}

struct ObjectTrackerTest : ::testing::Test {
    // A property of every node, holding a plain int.
    std::shared_ptr<test::DataMetaProperty> constant(const std::string& key, int value = 0) {
        return test::dataProperty(&tree.meta, key, typeid(int),
                                  [value](const BoundProperty&) { return tavi::Variant(value); });
    }
    // A property of every node but `spare`, holding `spare` (so the graph stays free of cycles).
    std::shared_ptr<test::DataMetaProperty> link(const std::string& key) { return link(key, tree.spare); }
    std::shared_ptr<test::DataMetaProperty> link(const std::string& key, Node& target) {
        Node* spare = &target;
        return test::dataProperty(&tree.meta, key, typeid(Node*), [spare](const BoundProperty& p) {
            return tavi::Variant(p.object().get().castPtr<Node>() == spare ? nullptr : spare);
        });
    }
    BoundProperty property(Node& node, const char* name) {
        return ReflectedObject(tavi::Variant(&node)).findPropertyByName(name);
    }

    test::NodeTree tree;
};

// --- following the structure -----------------------------------------------------

TEST_F(ObjectTrackerTest, BuildsOneChildPerPropertyAllTheWayDown) {
    Item root;
    EXPECT_FALSE(root.object().isValid());
    EXPECT_TRUE(root.children().empty());
    root.setObject(tree.rootObject());
    EXPECT_FALSE(root.property().isValid()) << "a root object is reached through nothing";
    expectMirrors(root, tree.rootObject());

    Item mid;
    mid.setObject(root.children()[2]->object());
    EXPECT_TRUE(mid.property() == property(tree.root, "child")) << "reached through root.child";
}

TEST_F(ObjectTrackerTest, FollowsAddAndRemoveAtTheFrontMiddleAndEndAndResets) {
    Item root;
    root.setObject(tree.rootObject());
    const auto before = childrenOf(root);

    tree.meta.insertProperties(0, {constant("front")});
    ASSERT_EQ(root.children().size(), 4u);
    EXPECT_EQ(root.children()[1].get(), before[0]) << "the other children move, they are not rebuilt";
    EXPECT_EQ(root.children()[3].get(), before[2]);
    tree.meta.insertProperties(2, {constant("a"), link("b")});
    tree.meta.insertProperties(6, {constant("end")});
    expectMirrors(root, tree.rootObject());
    ASSERT_EQ(root.children()[3]->children().size(), 7u) << "the new link holds the spare node";
    EXPECT_EQ(root.children()[5].get(), before[2]);

    tree.meta.eraseProperties(6, 1);
    size_t childrenWhenRemoved = 0;
    const ReflectedObject object = tree.rootObject();
    {
        const zel::ScopedConnection watching =
            object.connectPropertyAboutToBeRemoved([&] { childrenWhenRemoved = root.children().size(); });
        tree.meta.eraseProperties(2, 2);
    }
    EXPECT_EQ(childrenWhenRemoved, 4u) << "the tracker, connected first, has already let go";
    tree.meta.eraseProperties(0, 1);
    EXPECT_EQ(childrenOf(root), before);
    expectMirrors(root, tree.rootObject());

    size_t childrenDuringReset = 99;
    tree.meta.resetProperties({tree.child, constant("x"), tree.number, constant("y")},
                              [&] { childrenDuringReset = root.children().size(); });
    EXPECT_EQ(childrenDuringReset, 0u) << "the announcement of a reset removes every child";
    expectMirrors(root, tree.rootObject());
    tree.meta.resetProperties({});
    EXPECT_TRUE(root.children().empty());
}

// --- following values -------------------------------------------------------------------

TEST_F(ObjectTrackerTest, FollowsANestedObjectReplacedByAnother) {
    Item root;
    root.setObject(tree.rootObject());
    const Item* holder = root.children()[2].get();
    const BoundProperty child = property(tree.root, "child");
    ASSERT_TRUE(child.set(&tree.spare));
    EXPECT_EQ(root.children()[2].get(), holder) << "the item of the property stays";
    EXPECT_EQ(holder->object().get().castPtr<Node>(), &tree.spare);
    expectMirrors(root, tree.rootObject());

    tree.meta.insertProperties(3, {constant("late")});
    EXPECT_EQ(holder->children().size(), 4u) << "the new object's structure is followed";
    ASSERT_TRUE(child.set(static_cast<Node*>(nullptr)));
    EXPECT_TRUE(holder->children().empty());
    EXPECT_FALSE(holder->object().isValid());
    ASSERT_TRUE(child.set(&tree.mid));
    expectMirrors(root, tree.rootObject());
}

// Random structure and value changes, checked against the object after each.
TEST_F(ObjectTrackerTest, FollowsRandomStructureAndValueChanges) {
    const unsigned seed = test::testSeed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&random](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    // The node meta object changes every node at once and then tells them
    // one by one, in address order; a node is consistent again only once it
    // has been told. So the nodes further down the graph come first: an
    // item built for a node while another is told finds it already told.
    Node nodes[4];
    Node &spare = nodes[0], &leaf = nodes[1], &mid = nodes[2], &root = nodes[3];
    spare.id = "spare";
    leaf.id = "leaf";
    mid.id = "mid";
    root.id = "root";
    root.child = &mid;
    mid.child = &leaf;
    const ReflectedObject rootObject{tavi::Variant(&root)};
    Item tracker;
    tracker.setObject(rootObject);
    std::vector<std::shared_ptr<MetaProperty>> current = {tree.number, tree.text, tree.child};
    int made = 0;
    const auto fresh = [&]() -> std::shared_ptr<MetaProperty> {
        const std::string key = "p" + std::to_string(made++);
        return pick(4) == 0 ? std::shared_ptr<MetaProperty>(link(key, spare)) : constant(key, made);
    };
    // Where a change happens: the front, the end, or anywhere between.
    const auto position = [&](size_t size) {
        const size_t where = pick(3);
        return where == 0 || size == 0 ? 0 : where == 1 ? size : pick(size + 1);
    };
    for (int step = 0; step < 300; ++step) {
        std::string what;
        switch (pick(5)) {
            case 0:
            case 1: {
                std::vector<std::shared_ptr<MetaProperty>> added;
                for (size_t n = 1 + pick(3); n > 0; --n)
                    added.push_back(fresh());
                if (std::find(current.begin(), current.end(), tree.child) == current.end() && pick(2) == 0)
                    added.push_back(tree.child);
                const size_t at = position(current.size());
                what = "insert " + std::to_string(added.size()) + " at " + std::to_string(at);
                current.insert(current.begin() + std::ptrdiff_t(at), added.begin(), added.end());
                tree.meta.insertProperties(at, added);
                break;
            }
            case 2: {
                if (current.empty())
                    continue;
                const size_t at = std::min(position(current.size()), current.size() - 1);
                const size_t count = 1 + pick(std::min<size_t>(3, current.size() - at));
                what = "erase " + std::to_string(count) + " at " + std::to_string(at);
                current.erase(current.begin() + std::ptrdiff_t(at),
                              current.begin() + std::ptrdiff_t(at + count));
                tree.meta.eraseProperties(at, count);
                break;
            }
            case 3: {
                std::shuffle(current.begin(), current.end(), random);
                current.resize(pick(current.size() + 1));
                current.push_back(fresh());
                what = "reset to " + std::to_string(current.size());
                tree.meta.resetProperties(current);
                break;
            }
            case 4: {
                // Re-point one node's child, down the graph only.
                struct Choice {
                    Node* node;
                    std::vector<Node*> targets;
                };
                const Choice choices[] = {{&root, {&mid, &spare, nullptr}},
                                          {&mid, {&leaf, &spare, nullptr}},
                                          {&leaf, {&spare, nullptr}}};
                const Choice& choice = choices[pick(3)];
                Node* target = choice.targets[pick(choice.targets.size())];
                what = "point " + choice.node->id + " to " + (target ? target->id : "nothing");
                if (const BoundProperty child = property(*choice.node, "child"))
                    ASSERT_TRUE(child.set(target));
                else
                    choice.node->child = target;
                break;
            }
        }
        SCOPED_TRACE("step " + std::to_string(step) + ": " + what);
        expectMirrors(tracker, rootObject);
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

// --- lifetime ------------------------------------------------------------------------------

TEST_F(ObjectTrackerTest, SetPropertyAgainLetsGoOfTheFirstProperty) {
    Item item;
    item.setProperty(property(tree.root, "child"));
    EXPECT_EQ(item.object().get().castPtr<Node>(), &tree.mid);
    item.setProperty(property(tree.mid, "child"));
    EXPECT_EQ(item.object().get().castPtr<Node>(), &tree.leaf);
    ASSERT_TRUE(property(tree.root, "child").set(&tree.spare));
    EXPECT_EQ(item.object().get().castPtr<Node>(), &tree.leaf) << "the first property is no longer followed";
    ASSERT_TRUE(property(tree.mid, "child").set(&tree.spare));
    EXPECT_EQ(item.object().get().castPtr<Node>(), &tree.spare);
    item.setProperty(BoundProperty());
    EXPECT_TRUE(item.children().empty());
    ASSERT_TRUE(property(tree.mid, "child").set(&tree.leaf));
    EXPECT_FALSE(item.object().isValid());

    // A root set from a referenced object follows its reference too.
    Item mid;
    mid.setObject(ReflectedObject(property(tree.root, "child")));
    ASSERT_TRUE(property(tree.root, "child").set(&tree.leaf));
    EXPECT_EQ(mid.object().get().castPtr<Node>(), &tree.leaf);
    EXPECT_TRUE(mid.children()[2]->children().empty()) << "the leaf holds nothing";
}

TEST(ObjectTrackerLifetime, ATrackerOutlivesItsObjects) {
    auto tracker = std::make_unique<Item>();
    {
        test::NodeTree tree;
        tracker->setObject(tree.rootObject());
        tree.meta.forget(tree.mid); // mid's data goes first
        tree.meta.insertProperties(
            0, {test::dataProperty(&tree.meta, "x", typeid(int),
                                   [](const BoundProperty&) { return tavi::Variant(1); })});
        EXPECT_EQ(tracker->children().size(), 4u);
        EXPECT_EQ(tracker->children()[3]->children().size(), 3u) << "mid's items hear nothing more";
    } // the nodes, their data and their meta object go
    EXPECT_FALSE(tracker->object().isValid());
    tracker.reset();

    Item item;
    {
        test::NodeTree tree;
        item.setProperty(tree.rootObject().findPropertyByName("child"));
    }
}

TEST_F(ObjectTrackerTest, AnObjectMetAgainBelowItselfIsNotExpandedTwice) {
    tree.leaf.child = &tree.root;
    Item root;
    root.setObject(tree.rootObject());
    const Item& again = *root.children()[2]->children()[2]->children()[2];
    EXPECT_EQ(again.object().get().castPtr<Node>(), &tree.root);
    EXPECT_TRUE(again.children().empty());
    tree.meta.insertProperties(0, {constant("more")});
    EXPECT_EQ(root.children().size(), 4u);
    EXPECT_TRUE(again.children().empty()) << "and not followed there";
}

// --- derived items ---------------------------------------------------------------------------

// Logs its handlers (when `logs`) and makes its children of its own type.
class LoggingItem : public Item {
public:
    explicit LoggingItem(std::vector<std::string>* log = nullptr) : m_log(log) {}

    // The base handlers, called from outside.
    void announceAdded(size_t first, size_t count) { Item::onPropertyAdded(object(), first, count); }
    void announceRemoval(size_t first, size_t count) {
        Item::onPropertyAboutToBeRemoved(object(), first, count);
    }

protected:
    void onPropertyAboutToBeChanged(const BoundProperty& p, SetterFlags s, NotifyFlags n) override {
        note("aboutToBeChanged");
        Item::onPropertyAboutToBeChanged(p, s, n);
    }
    void onPropertyChanged(const BoundProperty& p, SetterFlags s, NotifyFlags n) override {
        note("changed");
        Item::onPropertyChanged(p, s, n);
    }
    void onPropertyAboutToBeRemoved(const ReflectedObject& o, size_t first, size_t count) override {
        note("aboutToBeRemoved " + range(first, count));
        Item::onPropertyAboutToBeRemoved(o, first, count);
    }
    void onPropertyRemoved(const ReflectedObject& o, size_t first, size_t count) override {
        note("removed " + range(first, count));
        Item::onPropertyRemoved(o, first, count);
    }
    void onPropertyAboutToBeAdded(const ReflectedObject& o, size_t first, size_t count) override {
        note("aboutToBeAdded " + range(first, count));
        Item::onPropertyAboutToBeAdded(o, first, count);
    }
    void onPropertyAdded(const ReflectedObject& o, size_t first, size_t count) override {
        note("added " + range(first, count));
        Item::onPropertyAdded(o, first, count);
    }
    void onPropertiesAboutToBeReset(const ReflectedObject& o) override {
        note("aboutToBeReset");
        Item::onPropertiesAboutToBeReset(o);
    }
    void onPropertiesReset(const ReflectedObject& o) override {
        note("reset");
        Item::onPropertiesReset(o);
    }
    std::unique_ptr<Item> createChild() override {
        note("createChild");
        return std::make_unique<LoggingItem>();
    }
    void init() override {
        note("init");
        Item::init();
    }
    void trackObject() override {
        note("trackObject");
        Item::trackObject();
    }
    void untrackObject() override {
        note("untrackObject");
        Item::untrackObject();
    }

private:
    static std::string range(size_t first, size_t count) {
        return std::to_string(first) + "+" + std::to_string(count);
    }
    void note(std::string what) {
        if (m_log)
            m_log->push_back(std::move(what));
    }

    std::vector<std::string>* m_log;
};

bool allLogging(const Item& item) {
    for (const auto& child : item.children())
        if (!dynamic_cast<const LoggingItem*>(child.get()) || !allLogging(*child))
            return false;
    return true;
}

using Log = std::vector<std::string>;

// What a log holds so far, leaving it empty for the next step.
Log take(Log& log) { return std::exchange(log, {}); }

TEST_F(ObjectTrackerTest, ADerivedItemsHandlersRunInOrder) {
    Log log;
    LoggingItem root(&log);
    root.setObject(tree.rootObject());
    EXPECT_EQ(take(log),
              (Log{"untrackObject", "init", "trackObject", "createChild", "createChild", "createChild"}));
    EXPECT_TRUE(allLogging(root)) << "the whole subtree is of the derived type";

    tree.meta.insertProperties(1, {constant("a"), constant("b")});
    EXPECT_EQ(take(log), (Log{"aboutToBeAdded 1+2", "added 1+2", "createChild", "createChild"}));
    tree.meta.eraseProperties(2, 1);
    EXPECT_EQ(take(log), (Log{"aboutToBeRemoved 2+1", "removed 2+1"}));
    tree.meta.resetProperties({tree.number, tree.child});
    EXPECT_EQ(take(log), (Log{"aboutToBeReset", "reset", "createChild", "createChild"}));
    EXPECT_TRUE(allLogging(root));

    LoggingItem holder(&log);
    holder.setProperty(property(tree.root, "child"));
    log.clear();
    const Log rebuilt = {"aboutToBeChanged", "untrackObject", "changed",
                         "trackObject",      "createChild",   "createChild"};
    ASSERT_TRUE(property(tree.root, "child").set(&tree.spare));
    EXPECT_EQ(take(log), rebuilt);
    const auto subtree = childrenOf(holder);
    { PropertyChangeNotifier notifier(property(tree.root, "child"), {}, NotifyFlag::Sources); }
    EXPECT_EQ(take(log), (Log{"aboutToBeChanged", "changed"})) << "no Value bit, no rebuild";
    EXPECT_EQ(childrenOf(holder), subtree);
    { PropertyChangeNotifier notifier(property(tree.root, "child"), {}, NotifyFlag::Value); }
    EXPECT_EQ(log, rebuilt) << "a Value change rebuilds, even for the same object";
}

TEST_F(ObjectTrackerTest, PositionsOutsideTheChildrenAreReportedAndIgnored) {
    LoggingItem root;
    root.setObject(tree.rootObject());
    const auto before = childrenOf(root);
    Kor::MessageCapture capture;
    root.announceAdded(4, 0);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: index <= m_children.size()"));
    root.announceRemoval(2, 2);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: index + count <= m_children.size()"));
    EXPECT_EQ(childrenOf(root), before);
}

} // namespace
