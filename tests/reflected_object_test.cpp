#include "shared_libs/reflection/reflected_object.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/stateless.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ro_test {

struct Shape {
    int sides = 0;
};
struct Unregistered {
    int value = 0;
};
// Keeps its own per-instance data.
struct Widget : orv::Object {
    int size = 1;
};

} // namespace ro_test

namespace {

using namespace orv;
using namespace orv::test;
using Mode = Meta::Stateless::Mode;
using Labels = std::vector<std::string>;

tavi::Variant key(const char* text) { return tavi::Variant(std::string(text)); }

template <class Range>
Labels labels(Range&& properties) {
    Labels result;
    for (const BoundProperty& property : properties)
        result.push_back(label(property));
    return result;
}

class ReflectedObjects : public ::testing::Test, protected NodeTree {};

TEST_F(ReflectedObjects, AnythingButARegisteredNonNullPointerIsInvalid) {
    ro_test::Unregistered stray;
    Kor::MessageCapture capture;
    for (const tavi::Variant& value : {tavi::Variant(), tavi::Variant(int32_t(5)), tavi::Variant(Node{}),
                                       tavi::Variant(static_cast<Node*>(nullptr)), tavi::Variant(&stray)}) {
        const ReflectedObject object(value);
        SCOPED_TRACE(value.typeName());
        EXPECT_FALSE(object.isValid());
        EXPECT_EQ(object.metaObject(), nullptr);
        EXPECT_EQ(object.propertyCount(), 0u);
        EXPECT_FALSE(object.findPropertyByName("number").isValid());
        EXPECT_FALSE(object.connectPropertyAdded([] {}).connected());
        EXPECT_FALSE(object.addProperty(key("x"), tavi::Variant(1)).isValid());
        EXPECT_FALSE(object.removePropertyAt(0));
    }
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(ReflectedObjects, KeysAndDottedPathsFindProperties) {
    meta.setProperties({number, text, child, std::make_shared<TestMetaProperty>(&meta, int32_t(7))});
    const ReflectedObject object = rootObject();
    Kor::MessageCapture capture;
    const BoundProperty found = object.findPropertyByName("child.number");
    EXPECT_EQ(label(found), "mid.number");
    EXPECT_EQ(found.get(), tavi::Variant(2));
    EXPECT_EQ(found.object().reference(), object.propertyAt(2));
    EXPECT_EQ(label(object.findPropertyByKey(key("child.child.text"))), "leaf.text");
    // An int holds no object; leaf's child is null.
    for (const char* path :
         {"child.missing", "missing.number", "number.text", "child.child.child.number", ""})
        EXPECT_FALSE(object.findPropertyByName(path).isValid()) << path;
    EXPECT_EQ(object.findPropertyByKey(int32_t(7)), object.propertyAt(3)); // not a path
    EXPECT_FALSE(object.findPropertyByKey(int32_t(8)).isValid());
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(ReflectedObjects, PatternsSelectAndEnumeratePropertiesDepthFirst) {
    const ReflectedObject object = rootObject();
    const Labels all = {"root.number", "root.text", "mid.number", "mid.text",
                        "leaf.number", "leaf.text", "leaf.child"};
    const std::pair<const char*, Labels> cases[] = {
        {"*", {"root.number", "root.text", "root.child"}},
        {"**", all},
        {"child.number", {"mid.number"}},
        {"child.child.*", {"leaf.number", "leaf.text", "leaf.child"}},
        {"*.text", {"mid.text"}}, // values hold no text
        {"?EXT", {"root.text"}},
        {"n*r", {"root.number"}},
        {"t?", {}},
        {"", {}},
        {"~reference", {}}};
    for (const auto& [pattern, expected] : cases)
        EXPECT_EQ(labels(object.properties(pattern)), expected) << pattern;
    Labels deepest = all;
    deepest.insert(deepest.end(), {"mid.child", "root.child"});
    EXPECT_EQ(labels(object.properties("***")), deepest);

    const ReflectedObject held(object.propertyAt(2));
    EXPECT_EQ(labels(held.properties("~reference")), (Labels{"root.child"}));
    EXPECT_EQ(labels(held.properties("~reference.text")), (Labels{"root.text"}));

    // Enumeration counts up to the property that stops it.
    int calls = 0;
    EXPECT_EQ(object.enumerateProperties("**", [&](const BoundProperty&) { return ++calls != 3; }), 3u);
    EXPECT_EQ(object.enumerateProperties("**", [&] { ++calls; }), 7u);
    EXPECT_EQ(calls, 10);
    EXPECT_EQ(object.enumerateProperties([&](const BoundProperty&) { return true; }), 3u); // own properties
    EXPECT_EQ(object.enumerateProperties("*.*", ReflectedObject::PropertyEnumerator()), 3u);
}

TEST_F(ReflectedObjects, ParentsAndRootFollowReferences) {
    const ReflectedObject object = rootObject();
    const ReflectedObject leafObject(object.findPropertyByName("child.child"));
    ASSERT_EQ(leafObject.get(), tavi::Variant(&leaf));
    // 0 and 1 both mean the direct parent.
    const tavi::Variant parents[] = {tavi::Variant(&mid), tavi::Variant(&mid), tavi::Variant(&root), {}};
    for (int n = 0; n < int(std::size(parents)); ++n)
        EXPECT_EQ(leafObject.parent(n).get(), parents[size_t(n)]) << n;
    EXPECT_EQ(leafObject.root().get(), tavi::Variant(&root));
    EXPECT_FALSE(object.parent().isValid());
    EXPECT_EQ(object.root().contextData(), object.contextData()); // itself, not a rebuilt handle
}

TEST_F(ReflectedObjects, ParentByTypeNameUsesTypeNamePropertyThenMetaObjectName) {
    // "_typeName" from Node::kind: "" gives no value at all, "#" the number (not a string).
    meta.setProperties({number, text, child,
                        dataProperty(&meta, "_typeName", typeid(tavi::Variant), [](const BoundProperty& p) {
                            const Node& n = *p.object().get().castPtr<Node>();
                            if (n.kind == "#")
                                return tavi::Variant(n.number);
                            return n.kind.empty() ? tavi::Variant() : tavi::Variant(n.kind);
                        })});
    leaf.child = &spare;
    root.kind = "#";
    leaf.kind = "Item";
    const ReflectedObject last(rootObject().findPropertyByName("child.child.child"));
    ASSERT_EQ(last.get(), tavi::Variant(&spare));
    EXPECT_EQ(last.parent("Item").get(), tavi::Variant(&leaf));
    EXPECT_EQ(last.parent("Node").get(), tavi::Variant(&mid)); // skips leaf; mid has no type name of its own
    EXPECT_EQ(last.parent("1").get(), tavi::Variant(&root));   // converted to text
    EXPECT_FALSE(last.parent("Node", 2).isValid());
    EXPECT_FALSE(last.parent("Item", 2).isValid());
    EXPECT_FALSE(last.parent(tavi::MetaType::prettyName(typeid(Node))).isValid());
}

TEST_F(ReflectedObjects, TypeIdentificatorIsTheTypeNamePropertyEvenWhenEmptyElseThePrettyTypeName) {
    EXPECT_EQ(rootObject().getTypeIdentificator(), tavi::MetaType::prettyName(typeid(Node)));
    EXPECT_NE(tavi::MetaType::prettyName(typeid(Node)), meta.name());
    EXPECT_EQ(ReflectedObject().getTypeIdentificator(), tavi::MetaType::prettyName(typeid(void)));
    meta.setProperties({number, nodeField(&meta, "_typeName", &Node::kind)});
    mid.kind = "Folder";
    EXPECT_EQ(ReflectedObject(tavi::Variant(&mid)).getTypeIdentificator(), "Folder");
    EXPECT_EQ(ReflectedObject(tavi::Variant(&leaf)).getTypeIdentificator(), "empty");
}

TEST_F(ReflectedObjects, HandlesOnOneInstanceAreEqualAndShareItsData) {
    const ReflectedObject a = rootObject();
    const ReflectedObject b = rootObject();
    const ReflectedObject other{tavi::Variant(&mid)};
    EXPECT_TRUE(a == b && !(a == other));
    EXPECT_EQ(std::hash<ReflectedObject>()(a), b.hash());
    ASSERT_NE(a.objectData(), nullptr);
    EXPECT_EQ(a.objectData(), b.objectData());
    EXPECT_NE(a.objectData(), other.objectData());
    EXPECT_EQ(ReflectedObject(a).contextData(), a.contextData());
    EXPECT_NE(b.contextData(), a.contextData()); // each root handle has its own caches
}

TEST_F(ReflectedObjects, StatelessModeComesFromTheTypeAndIsCachedPerContext) {
    int calls = 0;
    const tavi::Variant shallowOne(&root);
    meta.setAnnotations({Meta::Stateless([&calls, shallowOne](const ReflectedObject& o) {
        ++calls;
        return o.get() == shallowOne ? Mode::Shallow : Mode::None;
    })});
    const ReflectedObject object = rootObject();
    EXPECT_EQ(object.statelessMode(), Mode::Shallow);
    EXPECT_TRUE(object.isStateless());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ReflectedObject(tavi::Variant(&mid)).statelessMode(), Mode::None);
    EXPECT_EQ(calls, 2);
}

TEST_F(ReflectedObjects, DeepModeOfTheReferencingPropertyIsInherited) {
    meta.setProperties({nodeField(&meta, "deep", &Node::child, {Meta::Stateless(Mode::Deep)}),
                        nodeField(&meta, "shallow", &Node::child, {Meta::Stateless(Mode::Shallow)})});
    const ReflectedObject object = rootObject();
    const auto mode = [&](const char* path) {
        return ReflectedObject(object.findPropertyByName(path)).statelessMode();
    };
    EXPECT_EQ(object.statelessMode(), Mode::None);
    EXPECT_EQ(mode("deep"), Mode::Deep);
    EXPECT_EQ(mode("shallow"), Mode::None);
    // Deep reaches everything below; Shallow never passes on.
    EXPECT_EQ(mode("deep.shallow"), Mode::Deep);
    EXPECT_EQ(mode("shallow.shallow"), Mode::None);
}

TEST_F(ReflectedObjects, StructureChangesGoThroughTheMetaObject) {
    const ReflectedObject object = rootObject();
    const BoundProperty added = object.addProperty(key("extra"), tavi::Variant(42));
    EXPECT_EQ(label(added), "root.extra");
    EXPECT_EQ(added.get(), tavi::Variant(42));
    EXPECT_FALSE(object.addProperty(tavi::Variant(1.5), tavi::Variant(1)).isValid()); // refused key
    EXPECT_FALSE(object.removeProperty(key("missing")));
    EXPECT_TRUE(object.removeProperty(key("extra")));
    EXPECT_EQ(object.propertyCount(), 3u);

    meta.pin(text.get());
    object.clearProperties(); // removes "number", then stops at the refused "text"
    EXPECT_EQ(labels(object.properties()), (Labels{"root.text", "root.child"}));
}

TEST_F(ReflectedObjects, PropertyDataOutOfBoundsIsReportedUntilThePropertyIsAdded) {
    const ReflectedObject object = rootObject();
    {
        Kor::MessageCapture capture;
        EXPECT_EQ(ObjectData::propertyData(object, 3), nullptr);
        ASSERT_EQ(capture.count(), 1u);
        EXPECT_EQ(capture.messages()[0].text,
                  "orv::ObjectData::propertyData: property index 3 out of bounds [0, 3)");
        EXPECT_EQ(capture.messages()[0].priority, 4);
    }
    const std::shared_ptr<PropertyData> moved = ObjectData::propertyData(object, 1);
    meta.insertProperties(1, {nodeField(&meta, "extra", &Node::number)});
    Kor::MessageCapture capture;
    EXPECT_NE(ObjectData::propertyData(object, 3), nullptr);
    EXPECT_EQ(ObjectData::propertyData(object, 2), moved);
    EXPECT_EQ(capture.count(), 0u);
    EXPECT_EQ(ObjectData::propertyData(ReflectedObject(), 0), nullptr);
}

TEST_F(ReflectedObjects, StructureSignalsSeeTheSlotsInStep) {
    const ReflectedObject object = rootObject();
    Labels log;
    // What a listener sees: the range, the count at that moment and, when
    // the range is in the list, the name of its first property.
    auto note = [&log](const char* what, bool named) {
        return [&log, what, named](const ReflectedObject& o, size_t i, size_t n) {
            log.push_back(std::string(what) + " " + std::to_string(i) + "+" + std::to_string(n) + " of " +
                          std::to_string(o.propertyCount()) +
                          (named ? " '" + BoundProperty(o, i).name() + "'" : ""));
        };
    };
    const zel::ScopedConnection connections[] = {
        object.connectPropertyAboutToBeAdded(note("adding", false)),
        object.connectPropertyAdded(note("added", true)),
        object.connectPropertyAboutToBeRemoved(note("removing", true)),
        object.connectPropertyRemoved(note("removed", false))};
    Kor::MessageCapture capture;
    meta.insertProperties(1, {nodeField(&meta, "extra", &Node::number)});
    meta.eraseProperties(2, 1);
    EXPECT_EQ(log, (Labels{"adding 1+1 of 3", "added 1+1 of 4 'extra'", "removing 2+1 of 4 'text'",
                           "removed 2+1 of 3"}));
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(ReflectedObjects, PropertiesAddedDuringAResetAreReAdded) {
    const ReflectedObject object = rootObject();
    const BoundProperty before = object.propertyAt(0);
    BoundProperty during;
    Kor::MessageCapture capture;
    meta.resetProperties({}, [&] {
        meta.insertProperties(0, {nodeField(&meta, "extra", &Node::number)});
        during = object.propertyAt(0);
        *during.userData("mark") = tavi::Variant(2);
    });
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text,
              "There are properties added during properties reset! These properties (and "
              "their data, e.g. signals) are re-added");
    EXPECT_EQ(capture.messages()[0].priority, 4);
    EXPECT_FALSE(before.isValid());
    EXPECT_FALSE(during.isValid());
    const BoundProperty after = object.propertyAt(0);
    EXPECT_EQ(after.name(), "extra");
    EXPECT_TRUE(after.userData("mark")->isVoid());
    EXPECT_EQ(object.propertyCount(), 1u);
}

TEST_F(ReflectedObjects, HandlesExpireWithTheDataAndHearItGo) {
    const ReflectedObject object{tavi::Variant(&spare)};
    const BoundProperty property = object.propertyAt(0);
    int deleted = 0;
    const zel::ScopedConnection connection = object.connectObjectDeleted([&deleted] { ++deleted; });
    ASSERT_TRUE(property.isValid());
    meta.forget(spare);
    EXPECT_EQ(deleted, 1);
    EXPECT_FALSE(object.isValid());
    EXPECT_EQ(object.propertyCount(), 0u);
    EXPECT_FALSE(property.isValid());
    EXPECT_TRUE(ReflectedObject(tavi::Variant(&spare)).propertyAt(0).isValid()); // new data on demand
}

TEST(ObjectDataOfPlainTypes, HandlesWithoutDataNeverExpire) {
    using ro_test::Shape;
    TestMetaObject shape(typeid(Shape), "Shape", {}, [](const tavi::Variant&) { return true; });
    shape.addSelf(key("sides"));
    Registration registration{shape};
    Shape s;
    std::optional<ReflectedObject> first(std::in_place, tavi::Variant(&s));
    const ReflectedObject copy = *first;
    first.reset();
    EXPECT_EQ(copy.objectData(), nullptr);
    EXPECT_TRUE(copy.propertyAt(0).isValid());
    EXPECT_FALSE(copy.connectObjectDeleted([] {}).connected());
    Kor::MessageCapture capture;
    EXPECT_EQ(ObjectData::propertyData(copy, 0), nullptr);
    EXPECT_EQ(capture.count(), 0u);
}

// The data of an orv::Object lives in the instance itself.
class WidgetMeta : public TestMetaObject {
public:
    WidgetMeta()
        : TestMetaObject(typeid(ro_test::Widget), "Widget", {}, [](const tavi::Variant&) { return true; }) {
        addSelf(key("size"));
    }
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& value) override {
        const ro_test::Widget* widget = value.castPtr<ro_test::Widget>();
        return widget ? dataOf(*widget, value) : nullptr;
    }
    // Without a meta object given: found through the registry.
    static const std::shared_ptr<ObjectData>& dataOf(const ro_test::Widget& widget,
                                                     const tavi::Variant& value) {
        return objectDataOf(widget, value, nullptr);
    }
};

TEST(ObjectDataOfSelfDescribingObjects, IsCreatedOnceAndDiesWithTheInstance) {
    WidgetMeta meta;
    auto widget = std::make_unique<ro_test::Widget>();
    const tavi::Variant value(widget.get());
    EXPECT_EQ(WidgetMeta::dataOf(*widget, value), nullptr); // unregistered: stays without data
    const Registration registration{meta};
    const ReflectedObject object(value);
    ASSERT_NE(object.objectData(), nullptr);
    EXPECT_EQ(object.objectData()->metaObject(), &meta);
    EXPECT_EQ(ReflectedObject(value).objectData(), object.objectData());
    const BoundProperty size = object.propertyAt(0);
    ASSERT_TRUE(size.isValid());
    widget.reset();
    EXPECT_FALSE(object.isValid());
    EXPECT_FALSE(size.isValid());
}

} // namespace
