#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_validator.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/property_set_command.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/object_fixtures.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace write_test {

struct Leaf {
    int value = 1;
    std::string label = "leaf";
};
struct Inner {
    int value = 2;
    Leaf leaf;
};
struct Outer {
    Inner plain, deep;
    std::function<int(int)> hook; // never set
    float scale(float factor) const { return 2 * factor; }
};

} // namespace write_test

template <>
struct orv::TypeDeclaration<write_test::Leaf> {
    static void declare(orv::Builder<write_test::Leaf>& type) {
        type.property("value", &write_test::Leaf::value).property("label", &write_test::Leaf::label);
    }
};

template <>
struct orv::TypeDeclaration<write_test::Inner> {
    static void declare(orv::Builder<write_test::Inner>& type) {
        type.property("value", &write_test::Inner::value).object("leaf", &write_test::Inner::leaf);
    }
};

// "plain" hands Minor to its children named val*; "deep" to every child and,
// being recursive, to theirs.
template <>
struct orv::TypeDeclaration<write_test::Outer> {
    static void declare(orv::Builder<write_test::Outer>& type) {
        type.object("plain", &write_test::Outer::plain,
                    Meta::Children("val*", {tavi::Variant(Meta::Minor())}))
            .object("deep", &write_test::Outer::deep,
                    Meta::Children("*", {tavi::Variant(Meta::Minor())}, true))
            .method("scale", &write_test::Outer::scale)
            .method("hook", &write_test::Outer::hook);
    }
};

namespace {

using namespace orv;
using test::Node;

// Accepts 0..100 and clamps anything above; refuses negatives.
Meta::Validator percent() {
    return Meta::Validator([](tavi::Variant& value, std::string& error) {
        const int number = value.cast<int>();
        if (number < 0) {
            error = "negative";
            return false;
        }
        if (number > 100)
            value = 100;
        return true;
    });
}

struct PropertyWriteTest : ::testing::Test {
    BoundProperty property(Node& node, const char* name) {
        return ReflectedObject(tavi::Variant(&node)).findPropertyByName(name);
    }
    // The undo commands recorded in the open transaction, by name.
    static std::vector<std::string> recorded() {
        std::vector<std::string> names;
        for (const Kor::utils::Command& command : *Kor::CommitChangesScope::transaction()->command())
            names.push_back(command.name());
        return names;
    }

    test::NodeTree tree;
    Kor::UndoHistory history;
};

TEST_F(PropertyWriteTest, ValidatorsClampRejectAreBypassedAndOverriddenCopyOnWrite) {
    tree.number->setAnnotations({tavi::Variant(percent())});
    BoundProperty number = property(tree.root, "number");
    int changes = 0;
    const zel::ScopedConnection counting = number.connectPropertyChanged([&] { ++changes; });

    EXPECT_TRUE(number.set(500));
    EXPECT_EQ(tree.root.number, 100) << "the validator's adjustment reaches the setter";
    EXPECT_FALSE(number.set(-5));
    EXPECT_EQ(tree.root.number, 100);
    EXPECT_EQ(changes, 1) << "a refused write notifies nothing";
    EXPECT_TRUE(number.set(-5, SetterFlag::NoValidation));
    EXPECT_EQ(tree.root.number, -5);

    // The property's own validator comes before a handed-down one.
    const Meta::Validator refuseAll([] { return false; });
    tree.meta.setAnnotations({tavi::Variant(Meta::Children("*", {tavi::Variant(refuseAll)}))});
    EXPECT_TRUE(property(tree.root, "number").set(50));
    EXPECT_FALSE(property(tree.root, "text").set(std::string("refused")))
        << "text has only the handed-down one";

    // Validator overrides are copy-on-write.
    const BoundProperty before = number;
    number.setValidator({});
    const BoundProperty after = number;
    EXPECT_TRUE(number.set(-1)) << "an empty override disables validation";
    EXPECT_TRUE(after.set(-2)) << "copies made afterwards share the override";
    EXPECT_FALSE(before.set(-3)) << "a copy made before keeps the annotation's validator";
    EXPECT_FALSE(property(tree.root, "number").set(-4));
    EXPECT_EQ(tree.root.number, -2);
}

TEST_F(PropertyWriteTest, WritesWithoutSetterOrDescriptionFail) {
    EXPECT_FALSE(BoundProperty().set(1));
    auto readOnly = test::dataProperty(&tree.meta, "constant", typeid(int),
                                       [](const BoundProperty&) { return tavi::Variant(7); });
    tree.meta.setProperties({tree.number, readOnly});
    EXPECT_FALSE(property(tree.root, "constant").set(1));
}

TEST_F(PropertyWriteTest, SetterCastErrorsAreReported) {
    auto failing = test::dataProperty(
        &tree.meta, "failing", typeid(int), [](const BoundProperty&) { return tavi::Variant(0); },
        [](const BoundProperty&, const tavi::Variant&, SetterFlags) {
            meta_property_details::throwCastError(tavi::MetaType::of<int>(), "Widget");
        });
    tree.meta.setProperties({failing});
    Kor::MessageCapture capture;
    int changes = 0;
    const BoundProperty property = this->property(tree.root, "failing");
    const zel::ScopedConnection counting = property.connectPropertyChanged([&] { ++changes; });
    EXPECT_FALSE(property.set(3));
    EXPECT_TRUE(
        capture.contains("Error setting property 'failing': failed to cast Variant of 'int' to 'Widget'"));
    EXPECT_EQ(changes, 1) << "the announced change is still delivered";
}

TEST_F(PropertyWriteTest, OneCommandPerPropertyAndTransactionUndoneAndRedone) {
    const BoundProperty number = property(tree.root, "number");
    const BoundProperty text = property(tree.root, "text");
    {
        Kor::CommitChangesScope edit(history, "edit");
        NotifyScope scope;
        EXPECT_TRUE(number.set(10));
        EXPECT_TRUE(number.set(20));
        EXPECT_TRUE(text.set(std::string("x")));
        const auto names = recorded();
        for (const char* once : {"Change property 'number'", "Change property 'text'"})
            EXPECT_EQ(std::count(names.begin(), names.end(), once), 1) << once;
        EXPECT_EQ(names.back(), "Leave notify scope");
    }
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(tree.root.number, 1) << "the command keeps the value from before the first write";
    EXPECT_EQ(tree.root.text, "r");
    ASSERT_TRUE(history.redo());
    EXPECT_EQ(tree.root.number, 20);
    EXPECT_EQ(tree.root.text, "x");
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(tree.root.number, 1);
}

TEST_F(PropertyWriteTest, UndoReplaysNotifyAsOneBatch) {
    const BoundProperty number = property(tree.root, "number");
    const BoundProperty text = property(tree.root, "text");
    {
        Kor::CommitChangesScope edit(history, "edit");
        NotifyScope scope;
        number.set(10);
        text.set(std::string("x"));
    }
    std::vector<std::string> log;
    const auto note = [&](const char* what) {
        return [&log, what, this] {
            log.push_back(what + (" " + std::to_string(tree.root.number) + tree.root.text));
        };
    };
    const zel::ScopedConnection connections[] = {number.connectPropertyChanged(note("number")),
                                                 text.connectPropertyChanged(note("text"))};
    ASSERT_TRUE(history.undo());
    // Both values are restored before anyone hears of either change.
    EXPECT_EQ(log, (std::vector<std::string>{"number 1r", "text 1r"}));
}

TEST_F(PropertyWriteTest, StatelessPropertiesNotifyButRecordNothing) {
    tree.text->setAnnotations({tavi::Variant(Meta::Stateless(Meta::Stateless::Mode::Shallow))});
    const BoundProperty text = property(tree.root, "text");
    int changes = 0;
    const zel::ScopedConnection counting = text.connectPropertyChanged([&] { ++changes; });
    {
        Kor::CommitChangesScope edit(history, "edit");
        EXPECT_TRUE(text.set(std::string("quiet")));
        EXPECT_TRUE(recorded().empty());
    }
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(history.canUndo());
    {
        Kor::CommitChangesScope ignoring(Kor::CommitChangesScope::Mode::IgnoreUndos);
        EXPECT_TRUE(property(tree.root, "number").set(5));
    }
    EXPECT_FALSE(history.canUndo());

    // Deep statelessness reaches the objects a property holds.
    tree.child->setAnnotations({tavi::Variant(Meta::Stateless(Meta::Stateless::Mode::Deep))});
    EXPECT_FALSE(property(tree.root, "number").isStateless());
    EXPECT_EQ(ReflectedObject(property(tree.root, "child")).findPropertyByName("number").statelessMode(),
              Meta::Stateless::Mode::Deep);
}

TEST_F(PropertyWriteTest, ReadOnlyFromPropertyTypeOrHoldingProperty) {
    tree.text->setAnnotations({tavi::Variant(Meta::ReadOnly())});
    EXPECT_TRUE(property(tree.root, "text").isReadOnly());
    EXPECT_FALSE(property(tree.root, "number").isReadOnly());

    tree.meta.setAnnotations({tavi::Variant(Meta::ReadOnly([](const ReflectedObject& owner) {
        return owner.get().castPtr<Node>() == nullptr || owner.get().castPtr<Node>()->id == "leaf";
    }))});
    EXPECT_TRUE(property(tree.leaf, "number").isReadOnly()) << "a rule of the declaring type";
    EXPECT_FALSE(property(tree.mid, "number").isReadOnly());

    tree.child->setAnnotations({tavi::Variant(Meta::ReadOnly())});
    const ReflectedObject mid(property(tree.root, "child"));
    EXPECT_TRUE(mid.findPropertyByName("number").isReadOnly()) << "held by a read-only property";
}

TEST_F(PropertyWriteTest, ReduceMapFactoryOverridesAndTheEqualDefault) {
    BoundProperty number = property(tree.root, "number");
    std::unique_ptr<ReduceMap> map = number.reduceMapFactory()();
    ASSERT_TRUE(dynamic_cast<EqualReduceMap*>(map.get()));
    EXPECT_TRUE(map->reduce(1, 0) && map->reduce(1, 0) && map->reduce(1, 0));
    EXPECT_EQ(map->reduced(), tavi::Variant(1));
    EXPECT_FALSE(map->reduce(2, 0));
    EXPECT_TRUE(map->reduced().isVoid());
    EXPECT_FALSE(map->reduce(1, 0)) << "a mismatch is final";
    EXPECT_EQ(map->map(5, 3), tavi::Variant(5));

    struct First : EqualReduceMap {};
    number.setReduceMapFactory([] { return std::make_unique<First>(); });
    EXPECT_TRUE(dynamic_cast<First*>(number.reduceMapFactory()().get()));
    EXPECT_FALSE(dynamic_cast<First*>(property(tree.root, "number").reduceMapFactory()().get()));
    number.setReduceMapFactory({});
    EXPECT_FALSE(dynamic_cast<First*>(number.reduceMapFactory()().get()))
        << "an empty factory removes the override";
}

TEST_F(PropertyWriteTest, BindingsFollowTheirSourcesWithTheirFlags) {
    const BoundProperty target = property(tree.root, "number");
    const BoundProperty first = property(tree.mid, "number");
    const BoundProperty second = property(tree.leaf, "number");
    std::vector<SetterFlags> seen;
    const zel::ScopedConnection watching =
        target.connectPropertyChanged([&](SetterFlags flags) { seen.push_back(flags); });

    const BoundProperty::Binding sum =
        target.bind({first, second}, [&] { return tavi::Variant(tree.mid.number + tree.leaf.number); });
    EXPECT_EQ(tree.root.number, 5) << "set once at once";
    second.set(10, SetterFlag::Intermediate);
    EXPECT_EQ(tree.root.number, 12);
    EXPECT_EQ(seen, (std::vector<SetterFlags>{SetterFlags{}, SetterFlag::Intermediate}));

    EXPECT_TRUE(BoundProperty::unbind(sum));
    EXPECT_FALSE(BoundProperty::unbind(sum));
    first.set(100);
    EXPECT_EQ(tree.root.number, 12) << "an ended binding no longer listens";

    const BoundProperty text = property(tree.root, "text");
    const BoundProperty::Binding copy = text.bind(property(tree.leaf, "text"));
    EXPECT_EQ(tree.root.text, "l");
    property(tree.leaf, "text").set(std::string("new"));
    EXPECT_EQ(tree.root.text, "new");
    EXPECT_FALSE(copy.expired());
}

bool isMinor(const BoundProperty& property) { return hasAnnotation<Meta::Minor>(property.annotations()); }

TEST(DeclaredPropertyWrite, ChildrenAnnotationsReachMatchingChildrenAndRecurseOnRequest) {
    write_test::Outer outer;
    const ReflectedObject object = reflect(outer);
    EXPECT_TRUE(isMinor(object.findPropertyByName("plain.value")));
    EXPECT_FALSE(isMinor(object.findPropertyByName("plain.leaf"))) << "the pattern selects the children";
    EXPECT_FALSE(isMinor(object.findPropertyByName("plain.leaf.value"))) << "not recursive";
    EXPECT_FALSE(isMinor(object.findPropertyByName("plain")));

    EXPECT_TRUE(isMinor(object.findPropertyByName("deep.leaf")));
    EXPECT_TRUE(isMinor(object.findPropertyByName("deep.leaf.label")));
    EXPECT_TRUE(hasAnnotation<Meta::Children>(object.findPropertyByName("deep.leaf").annotations()));
}

TEST(DeclaredPropertyWrite, MemberObjectsAreEditedInPlaceUnlessHeldConst) {
    write_test::Outer outer;
    EXPECT_TRUE(reflect(outer).findPropertyByName("plain.leaf.value").set(10));
    EXPECT_EQ(outer.plain.leaf.value, 10);

    const write_test::Outer& constant = outer;
    const BoundProperty frozen = reflect(constant).findPropertyByName("plain.leaf.value");
    EXPECT_TRUE(frozen.isConst());
    Kor::MessageCapture capture;
    EXPECT_FALSE(frozen.set(11));
    EXPECT_TRUE(capture.contains("Error setting property 'value'"));
    EXPECT_EQ(outer.plain.leaf.value, 10);
}

TEST(DeclaredPropertyWrite, InvokedMethodsAnnounceAndDeliverTheirResult) {
    write_test::Outer outer;
    const BoundProperty scale = reflect(outer).findPropertyByName("scale");
    std::vector<std::string> log;
    const zel::ScopedConnection connections[] = {
        scale.connectMethodAboutToBeInvoked(
            [&](size_t count) { log.push_back("about " + std::to_string(count)); }),
        scale.connectMethodInvoked([&](const tavi::Variant& result) {
            log.push_back("invoked " +
                          (result.isVoid() ? std::string("void") : std::to_string(result.cast<float>())));
        })};
    EXPECT_EQ(scale.invoke(2.5f), tavi::Variant(5.0f));
    EXPECT_EQ(log, (std::vector<std::string>{"about 1", "invoked 5.000000"}));

    log.clear();
    Kor::MessageCapture capture;
    EXPECT_TRUE(scale.invoke().isVoid());
    EXPECT_TRUE(capture.contains(
        "Error invoking method property 'scale': function accepts 1 args, but 0 were passed"));
    EXPECT_TRUE(scale.invoke(std::string("wide")).isVoid());
    EXPECT_TRUE(
        capture.contains("Error invoking method property 'scale': failed to cast argument 0 of 'string' to "
                         "'float'"));
    EXPECT_EQ(log, (std::vector<std::string>{"about 0", "invoked void", "about 1", "invoked void"}));

    EXPECT_TRUE(BoundProperty().genericInvoke({}, 0, nullptr).isVoid());
    EXPECT_TRUE(capture.contains("Tried to invoke invalid property"));
    EXPECT_TRUE(reflect(outer).findPropertyByName("plain.value").invoke().isVoid());
    EXPECT_TRUE(capture.contains("Tried to invoke non-method property 'value'"));
    EXPECT_TRUE(scale.genericInvoke({}, 1, nullptr).isVoid());
    EXPECT_TRUE(
        capture.contains("Tried to invoke method property 'scale' with 1 arguments and no argument array"));
    EXPECT_TRUE(reflect(outer).findPropertyByName("hook").invoke(1).isVoid());
    EXPECT_TRUE(capture.contains("Error invoking method property 'hook': bad_function_call"));
}

} // namespace
