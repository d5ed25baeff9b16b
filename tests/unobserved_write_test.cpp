// Writes that nobody would hear take a shorter road (no announcement, nothing
// queued). These tests pin that every kind of observer sees exactly what it
// would see on the full road: a write while it exists, one made just after it
// appears (also during the write itself) and one just after it is gone; and a
// seeded random run compared with the same run forced onto the full road (an
// attached profiler makes every write announce itself).

#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "platform/zel_core/profiler.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_seed.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace unobserved_test {

// A declared type: its properties keep their per-instance slots in the meta
// property's maps, keyed by the instance.
struct Gauge {
    int value = 0;
    std::string label = "g";
};

} // namespace unobserved_test

template <>
struct orv::TypeDeclaration<unobserved_test::Gauge> {
    static void declare(orv::Builder<unobserved_test::Gauge>& type) {
        type.property("value", &unobserved_test::Gauge::value)
            .property("label", &unobserved_test::Gauge::label);
    }
};

namespace {

using namespace orv;
using test::label;
using test::Node;
using unobserved_test::Gauge;
using Log = std::vector<std::string>;

// Every write announces itself while this lives: announcing opens profiler scopes.
struct ProfilerAttached {
    ProfilerAttached() {
        ZEL::Profiler::g_hooks.beginScope.store([](const char*) {});
        ZEL::Profiler::g_hooks.endScope.store([] {});
    }
    ~ProfilerAttached() {
        ZEL::Profiler::g_hooks.beginScope.store(nullptr);
        ZEL::Profiler::g_hooks.endScope.store(nullptr);
    }
    ProfilerAttached(const ProfilerAttached&) = delete;
    ProfilerAttached& operator=(const ProfilerAttached&) = delete;
};

// A node tree with one more property, "probe": Node::child again, whose
// setter also runs `duringSet` (a listener appearing mid-write, a nested write).
struct World {
    World() { tree.meta.setProperties({tree.number, tree.text, tree.child, probe}); }

    BoundProperty property(Node& node, const char* name) {
        return ReflectedObject(tavi::Variant(&node)).findPropertyByName(name);
    }
    BoundProperty gauge(Gauge& instance, const char* name) {
        return ReflectedObject(tavi::Variant(&instance)).findPropertyByName(name);
    }
    // Logs "<who> about|changed <node>.<name> <notify bits>".
    MetaProperty::PropertySlot logger(std::string who, const char* what) {
        return [this, who = std::move(who), what](const BoundProperty& p, NotifyFlags f) {
            log.push_back(who + " " + what + " " + labelOf(p) + " " + std::to_string(f.value()));
        };
    }
    static std::string labelOf(const BoundProperty& p) {
        if (const Gauge* g = p.object().get().castPtr<Gauge>())
            return g->label + "." + p.name();
        return label(p);
    }
    // About and changed slots on the meta property (every instance).
    void listenGlobally(const MetaProperty& property, const std::string& who) {
        connections.emplace_back(property.connectPropertyAboutToBeChanged(logger(who, "about")));
        connections.emplace_back(property.connectPropertyChanged(logger(who, "changed")));
    }
    // About and changed slots on one instance's property.
    void listenTo(const BoundProperty& property, const std::string& who) {
        connections.emplace_back(property.connectPropertyAboutToBeChanged(logger(who, "about")));
        connections.emplace_back(property.connectPropertyChanged(logger(who, "changed")));
    }
    Annotations hooks(const std::string& who) {
        return {tavi::Variant(Meta::OnPropertyAboutToBeChanged(
                    [this, who](const BoundProperty& p, SetterFlags, NotifyFlags f) {
                        log.push_back(who + " about " + labelOf(p) + " " + std::to_string(f.value()));
                    })),
                tavi::Variant(
                    Meta::OnPropertyChanged([this, who](const BoundProperty& p, SetterFlags, NotifyFlags f) {
                        log.push_back(who + " changed " + labelOf(p) + " " + std::to_string(f.value()));
                    }))};
    }

    test::NodeTree tree;
    std::function<void()> duringSet = [] {};
    std::shared_ptr<test::DataMetaProperty> probe = test::dataProperty(
        &tree.meta, "probe", typeid(Node*),
        [](const BoundProperty& p) { return tavi::Variant(p.object().get().castPtr<Node>()->child); },
        [this](const BoundProperty& p, const tavi::Variant& value, SetterFlags) {
            const_cast<Node*>(p.object().get().castPtr<Node>())->child = value.cast<Node*>();
            duringSet();
        });
    Kor::UndoHistory history;
    std::vector<zel::ScopedConnection> connections;
    Log log;
};

struct UnobservedWriteTest : ::testing::Test, World {};

TEST_F(UnobservedWriteTest, GlobalAndPerInstanceSlotsHearWritesFromTheirFirstToTheirLast) {
    const BoundProperty number = property(tree.root, "number");
    EXPECT_TRUE(number.set(10));
    EXPECT_EQ(tree.root.number, 10);
    EXPECT_TRUE(log.empty());

    listenGlobally(*tree.number, "global");
    listenTo(number, "instance");
    number.set(11);
    property(tree.mid, "number").set(12);
    EXPECT_EQ(log, (Log{"instance about root.number 1", "global about root.number 1",
                        "global changed root.number 1", "instance changed root.number 1",
                        "global about mid.number 1", "global changed mid.number 1"}));

    connections.clear();
    log.clear();
    number.set(13);
    EXPECT_EQ(tree.root.number, 13);
    EXPECT_TRUE(log.empty());
}

TEST_F(UnobservedWriteTest, PerInstanceSlotsOfDeclaredTypesHearTheirInstanceOnly) {
    Gauge first{0, "first"}, second{0, "second"};
    const BoundProperty value = gauge(first, "value");
    value.set(5);
    listenTo(value, "instance");
    EXPECT_TRUE(gauge(second, "value").set(-7)) << "another instance's slot: nobody hears this one";
    EXPECT_EQ(second.value, -7);
    EXPECT_TRUE(log.empty());
    value.set(6);
    EXPECT_EQ(log, (Log{"instance about first.value 1", "instance changed first.value 1"}));
    connections.clear();
    log.clear();
    value.set(7);
    EXPECT_EQ(first.value, 7);
    EXPECT_TRUE(log.empty());
    listenGlobally(*value.metaProperty(), "global");
    gauge(second, "value").set(-8);
    EXPECT_EQ(log, (Log{"global about second.value 1", "global changed second.value 1"}));
}

TEST_F(UnobservedWriteTest, HooksAddedAtRunTimeRunFromTheNextWrite) {
    const BoundProperty held = property(tree.root, "number");
    held.set(1); // caches the (empty) annotations of this handle
    tree.number->setAnnotations(hooks("hook"));
    property(tree.root, "number").set(2);
    EXPECT_EQ(log, (Log{"hook about root.number 1", "hook changed root.number 1"}))
        << "a new handle reads the annotations as they are";
    log.clear();
    held.set(3);
    EXPECT_TRUE(log.empty()) << "a handle's cached annotations stand until their sources change";
    { PropertyChangeNotifier sources(held, {}, NotifyFlag::Sources); }
    log.clear();
    held.set(4);
    EXPECT_EQ(log, (Log{"hook about root.number 1", "hook changed root.number 1"}));

    tree.number->setAnnotations({});
    { PropertyChangeNotifier sources(held, {}, NotifyFlag::Sources); }
    log.clear();
    held.set(5);
    EXPECT_EQ(tree.root.number, 5);
    EXPECT_TRUE(log.empty());
}

TEST_F(UnobservedWriteTest, DependentsAreAnnouncedThoughOnlyTheyAreListenedTo) {
    listenGlobally(*tree.text, "text");
    tree.number->setAnnotations({tavi::Variant(Meta::Dependent({"text"}))});
    property(tree.root, "number").set(2);
    EXPECT_EQ(log, (Log{"text about root.text 5", "text changed root.text 5"}));

    tree.number->setAnnotations({});
    log.clear();
    property(tree.root, "number").set(3);
    EXPECT_TRUE(log.empty());

    // Named by the object's type rather than the property.
    tree.meta.setAnnotations({tavi::Variant(Meta::Dependent({"text"}))});
    property(tree.root, "number").set(4);
    EXPECT_EQ(log, (Log{"text about root.text 5", "text changed root.text 5"}));
    tree.meta.setAnnotations({});
    log.clear();
    property(tree.root, "number").set(5);
    EXPECT_TRUE(log.empty());
}

TEST_F(UnobservedWriteTest, BindingsFollowFromTheirFirstSourceWriteAndStopWhenUnbound) {
    const BoundProperty source = property(tree.leaf, "number");
    source.set(7);
    const BoundProperty::Binding binding = property(tree.root, "number").bind(source);
    EXPECT_EQ(tree.root.number, 7);
    source.set(8);
    EXPECT_EQ(tree.root.number, 8);
    EXPECT_TRUE(BoundProperty::unbind(binding));
    source.set(9);
    EXPECT_EQ(tree.leaf.number, 9);
    EXPECT_EQ(tree.root.number, 8);
}

TEST_F(UnobservedWriteTest, ATransactionOpenedBetweenTwoWritesRecordsTheSecond) {
    const BoundProperty number = property(tree.root, "number");
    number.set(10);
    {
        Kor::CommitChangesScope transaction(history);
        number.set(20);
        std::vector<std::string> names;
        for (const Kor::utils::Command& command : *Kor::CommitChangesScope::transaction()->command())
            names.push_back(command.name());
        EXPECT_EQ(names, (std::vector<std::string>{"Enter notify scope", "Change property 'number'",
                                                   "Leave notify scope"}));
    }
    number.set(30); // after it closed: nothing recorded
    EXPECT_EQ(history.undoCount(), 1u);
    history.undo();
    EXPECT_EQ(tree.root.number, 10);

    // A stateless property records nothing, transaction or not.
    tree.number->setAnnotations({tavi::Variant(Meta::Stateless(Meta::Stateless::Mode::Shallow))});
    {
        Kor::CommitChangesScope transaction(history);
        property(tree.root, "number").set(40);
    }
    EXPECT_EQ(history.undoCount(), 0u);
    EXPECT_EQ(tree.root.number, 40);
}

// A drag: the same properties written again and again in one transaction.
// Only a property's first write records (with its notify brackets), heard or
// not; a rewrite whose setter changes a property not yet recorded still
// brackets that change, so undo replays it as a batch of its own.
TEST_F(UnobservedWriteTest, RewritesInOneTransactionRecordOnlyWhatIsNew) {
    const BoundProperty number = property(tree.root, "number");
    const BoundProperty probe = property(tree.root, "probe");
    std::vector<std::string> names;
    {
        Kor::CommitChangesScope transaction(history);
        for (int value = 11; value <= 13; ++value)
            number.set(value);
        listenTo(number, "instance");
        number.set(20);
        probe.set(tavi::Variant(&tree.leaf));
        duringSet = [&] { property(tree.root, "text").set(std::string("nested")); };
        probe.set(tavi::Variant(&tree.spare));
        duringSet = [] {};
        for (const Kor::utils::Command& command : *Kor::CommitChangesScope::transaction()->command())
            names.push_back(command.name());
    }
    EXPECT_EQ(names, (std::vector<std::string>{
                         "Enter notify scope", "Change property 'text'", "Leave notify scope",
                         "Enter notify scope", "Change property 'probe'", "Leave notify scope",
                         "Enter notify scope", "Change property 'number'", "Leave notify scope"}));
    EXPECT_EQ(log, (Log{"instance about root.number 1", "instance changed root.number 1"}));
    log.clear();
    listenGlobally(*tree.text, "text");
    listenGlobally(*probe.metaProperty(), "probe");
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(tree.root.number, 1);
    EXPECT_EQ(tree.root.text, "r");
    EXPECT_EQ(tree.root.child, &tree.mid);
    EXPECT_EQ(log, (Log{"text about root.text 1", "text changed root.text 1", "probe about root.probe 1",
                        "probe changed root.probe 1", "instance about root.number 1",
                        "instance changed root.number 1"}));
}

TEST_F(UnobservedWriteTest, AHeldObjectCacheIsDroppedByTheWriteThatChangesItsObject) {
    const ReflectedObject root = tree.rootObject();
    const BoundProperty holder = root.findPropertyByName("probe");
    holder.set(tavi::Variant(&tree.leaf));
    const ReflectedObject held(holder);
    ASSERT_NE(held.contextData(), nullptr);
    EXPECT_EQ(ReflectedObject(holder).contextData(), held.contextData());
    holder.set(tavi::Variant(&tree.mid));
    EXPECT_NE(ReflectedObject(holder).contextData(), held.contextData())
        << "the cache listens while it holds";

    // A cache that appears during a write nobody hears holds the old object:
    // dropped too.
    holder.set(tavi::Variant(&tree.leaf)); // drops the cache made just above: nobody listens now
    ReflectedObjectContextData* during = nullptr;
    std::optional<ReflectedObject> keep;
    duringSet = [&] {
        keep.emplace(holder);
        during = keep->contextData();
    };
    holder.set(tavi::Variant(&tree.spare));
    ASSERT_NE(during, nullptr);
    duringSet = [] {};
    EXPECT_NE(ReflectedObject(holder).contextData(), during);
}

TEST_F(UnobservedWriteTest, ListenersAppearingDuringAnUnheardWriteHearItsEnd) {
    const BoundProperty probe = property(tree.root, "probe");
    // A slot connected by the setter hears the change it is part of.
    duringSet = [&] { listenGlobally(*this->probe, "late"); };
    probe.set(tavi::Variant(&tree.leaf));
    EXPECT_EQ(log, (Log{"late changed root.probe 1"}));

    // A nested write that is heard comes after the unheard one began, and is
    // delivered first.
    connections.clear();
    log.clear();
    listenGlobally(*tree.text, "text");
    duringSet = [&] { property(tree.root, "text").set(std::string("nested")); };
    probe.set(tavi::Variant(&tree.mid));
    EXPECT_EQ(log, (Log{"text about root.text 1", "text changed root.text 1"}));
    EXPECT_EQ(tree.root.text, "nested");

    // Both: the late slot hears the outer write after the nested one.
    log.clear();
    duringSet = [&] {
        property(tree.root, "text").set(std::string("again"));
        listenGlobally(*this->probe, "late");
    };
    probe.set(tavi::Variant(&tree.leaf));
    EXPECT_EQ(log, (Log{"text about root.text 1", "text changed root.text 1", "late changed root.probe 1"}));
}

// --- the same random run, on the short road and forced onto the full one ---

// One step of the run: what it did, then every value, in the log.
// Transactions and notify scopes open and close as brackets do: the
// innermost first.
struct Brackets {
    std::vector<std::variant<Kor::CommitChangesScope*, NotifyScope*>> open;
    bool transactionOpen() const {
        return std::any_of(open.begin(), open.end(),
                           [](const auto& b) { return std::holds_alternative<Kor::CommitChangesScope*>(b); });
    }
    void closeInnermost() {
        std::visit([](auto* bracket) { delete bracket; }, open.back());
        open.pop_back();
    }
    ~Brackets() {
        while (!open.empty())
            closeInnermost();
    }
};

void randomStep(World& w, std::mt19937& random, Brackets& brackets,
                std::vector<BoundProperty::Binding>& bindings) {
    Node* nodes[] = {&w.tree.root, &w.tree.mid, &w.tree.leaf};
    const char* names[] = {"number", "text", "probe"};
    const auto pick = [&](size_t n) { return size_t(random() % n); };
    Node& node = *nodes[pick(3)];
    const char* name = names[pick(3)];
    const std::shared_ptr<MetaProperty> metas[] = {w.tree.number, w.tree.text, w.probe};
    MetaProperty& meta = *metas[pick(3)];
    const int value = int(pick(100));
    switch (pick(12)) {
        case 0:
        case 1:
        case 2: { // a write
            const BoundProperty p = w.property(node, name);
            if (std::string(name) == "number")
                p.set(value);
            else if (std::string(name) == "text")
                p.set(std::to_string(value));
            else
                p.set(tavi::Variant(nodes[pick(3)]));
            break;
        }
        case 3:
            w.listenGlobally(meta, "global");
            break;
        case 4:
            w.listenTo(w.property(node, name), "instance");
            break;
        case 5:
            if (!w.connections.empty())
                w.connections.erase(w.connections.begin() + std::ptrdiff_t(pick(w.connections.size())));
            break;
        case 6: // a hook or dependent added or removed at run time
            if (pick(2))
                meta.setAnnotations(pick(2) ? w.hooks("hook")
                                            : Annotations{tavi::Variant(Meta::Dependent({"text"}))});
            else
                meta.setAnnotations({});
            break;
        case 7: // the root's number bound to another node's
            if (pick(2) && bindings.size() < 3)
                bindings.push_back(
                    w.property(w.tree.root, "number").bind(w.property(*nodes[1 + pick(2)], "number")));
            else if (!bindings.empty())
                BoundProperty::unbind(bindings[pick(bindings.size())]);
            break;
        case 8:
            if (!brackets.transactionOpen())
                brackets.open.emplace_back(new Kor::CommitChangesScope(w.history));
            else
                brackets.closeInnermost();
            break;
        case 9:
            if (brackets.open.empty() || pick(2))
                brackets.open.emplace_back(new NotifyScope);
            else
                brackets.closeInnermost();
            break;
        case 10: // the setter connects a slot, or writes another property
            w.duringSet = pick(2) ? std::function<void()>([&w] { w.listenGlobally(*w.probe, "late"); })
                                  : std::function<void()>([&w, value] {
                                        w.property(w.tree.leaf, "text").set(std::to_string(value));
                                    });
            w.property(node, "probe").set(tavi::Variant(nodes[pick(3)]));
            w.duringSet = [] {};
            break;
        case 11:
            if (!brackets.transactionOpen() && w.history.undoCount() > 0)
                w.history.undo();
            break;
    }
    std::string state;
    for (const Node* n : nodes)
        state += n->id + "=" + std::to_string(n->number) + "/" + n->text + "/" +
                 (n->child ? n->child->id : "-") + " ";
    w.log.push_back(state + "undo " + std::to_string(w.history.undoCount()));
}

Log randomRun(unsigned seed, int steps) {
    World w;
    std::mt19937 random(seed);
    std::vector<BoundProperty::Binding> bindings;
    {
        Brackets brackets;
        for (int i = 0; i < steps; ++i)
            randomStep(w, random, brackets, bindings);
    }
    w.connections.clear();
    return w.log;
}

TEST(UnobservedWriteModel, EveryListenerSeesWhatTheFullRoadShowsIt) {
    const unsigned seed = test::testSeed();
    for (unsigned run = 0; run < 20; ++run) {
        const Log shortRoad = randomRun(seed + run, 60);
        Log fullRoad;
        {
            const ProfilerAttached profiler;
            fullRoad = randomRun(seed + run, 60);
        }
        ASSERT_EQ(shortRoad, fullRoad) << "seed " << seed + run << " (REFLECTION_TEST_SEED=" << seed << ")";
    }
}

} // namespace
