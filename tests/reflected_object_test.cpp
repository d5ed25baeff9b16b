#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/stateless.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ro_test {

struct Shape {
    int sides = 0;
};
struct Square : Shape {};
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

tavi::Variant key(const char* text) { return tavi::Variant(std::string(text)); }

std::vector<std::string> labels(zel::Generator<BoundProperty> properties) {
    std::vector<std::string> result;
    for (const BoundProperty& property : properties)
        result.push_back(label(property));
    return result;
}

using Labels = std::vector<std::string>;

class ReflectedObjects : public ::testing::Test, protected NodeTree {};

TEST_F(ReflectedObjects, AnythingButARegisteredNonNullPointerIsInvalid) {
    ro_test::Unregistered stray;
    Kor::MessageCapture capture;
    const tavi::Variant values[] = {tavi::Variant(), tavi::Variant(int32_t(5)), tavi::Variant(Node{}),
                                    tavi::Variant(static_cast<Node*>(nullptr)), tavi::Variant(&stray)};
    for (const tavi::Variant& value : values) {
        const ReflectedObject object(value);
        SCOPED_TRACE(value.typeName());
        EXPECT_FALSE(object.isValid());
        EXPECT_TRUE(object.get().isVoid());
        EXPECT_EQ(object.metaObject(), nullptr);
        EXPECT_EQ(object.propertyCount(), 0u);
        EXPECT_EQ(object.type(), typeid(void));
        EXPECT_EQ(object.indexOfProperty(key("number")), MetaObject::INVALID_INDEX);
        EXPECT_FALSE(object.propertyAt(0).isValid());
        EXPECT_FALSE(object.findPropertyByName("number").isValid());
        EXPECT_FALSE(object.parent().isValid());
        EXPECT_FALSE(object.connectPropertyAdded([] {}).connected());
        EXPECT_FALSE(object.addProperty(key("x"), tavi::Variant(1)).isValid());
        EXPECT_FALSE(object.removePropertyAt(0));
    }
    EXPECT_EQ(capture.count(), 0u);
}

TEST(ReflectedObjectType, MostDerivedRegisteredMetaObjectWins) {
    using ro_test::Shape;
    TestMetaObject shape(typeid(Shape), "Shape", {},
                         [](const tavi::Variant& v) { return v.typeId() == typeid(Shape); });
    TestMetaObject square(typeid(ro_test::Square), "Square", {{&shape, 0}}, [](const tavi::Variant& v) {
        const Shape* s = v.castPtr<Shape>();
        return s && s->sides == 4;
    });
    Registration r1{shape}, r2{square};
    ro_test::Square four;
    four.sides = 4;
    Shape three{3};
    const ReflectedObject viaBase{tavi::Variant(static_cast<Shape*>(&four))};
    EXPECT_EQ(viaBase.metaObject(), &square);
    EXPECT_EQ(viaBase.type(), typeid(ro_test::Square));
    EXPECT_EQ(ReflectedObject(tavi::Variant(&three)).metaObject(), &shape);
}

TEST_F(ReflectedObjects, KeysAndDottedPathsFindProperties) {
    meta.setProperties({number, text, child, std::make_shared<TestMetaProperty>(&meta, tavi::Variant(int32_t(7)))});
    const ReflectedObject object = rootObject();
    Kor::MessageCapture capture;
    const BoundProperty found = object.findPropertyByName("child.number");
    ASSERT_TRUE(found.isValid());
    EXPECT_EQ(label(found), "mid.number");
    EXPECT_EQ(found.get(), tavi::Variant(2));
    EXPECT_EQ(found.object().reference(), object.propertyAt(2));
    EXPECT_EQ(label(object.findPropertyByName("child.child.text")), "leaf.text");
    EXPECT_EQ(object.findPropertyByKey(key("child.child.text")), object.findPropertyByName("child.child.text"));

    EXPECT_FALSE(object.findPropertyByName("child.missing").isValid());
    EXPECT_FALSE(object.findPropertyByKey(key("child.missing")).isValid());
    EXPECT_FALSE(object.findPropertyByName("missing.number").isValid());
    EXPECT_FALSE(object.findPropertyByName("number.text").isValid());             // an int holds no object
    EXPECT_FALSE(object.findPropertyByName("child.child.child.number").isValid()); // null pointer
    EXPECT_FALSE(object.findPropertyByName("").isValid());
    EXPECT_EQ(object.findPropertyByKey(tavi::Variant(int32_t(7))), object.propertyAt(3)); // not a path
    EXPECT_FALSE(object.findPropertyByKey(tavi::Variant(int32_t(8))).isValid());
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(ReflectedObjects, PatternsSelectPropertiesDepthFirst) {
    const ReflectedObject object = rootObject();
    EXPECT_EQ(labels(object.properties("*")), (Labels{"root.number", "root.text", "root.child"}));
    EXPECT_EQ(labels(object.properties("**")), (Labels{"root.number", "root.text", "mid.number", "mid.text",
                                                       "leaf.number", "leaf.text", "leaf.child"}));
    EXPECT_EQ(labels(object.properties("***")),
              (Labels{"root.number", "root.text", "mid.number", "mid.text", "leaf.number", "leaf.text",
                      "leaf.child", "mid.child", "root.child"}));
    EXPECT_EQ(labels(object.properties("child.number")), (Labels{"mid.number"}));
    EXPECT_EQ(labels(object.properties("child.child.*")), (Labels{"leaf.number", "leaf.text", "leaf.child"}));
    EXPECT_EQ(labels(object.properties("*.text")), (Labels{"mid.text"})); // plain values hold no "text"
    EXPECT_EQ(labels(object.properties("?EXT")), (Labels{"root.text"}));
    EXPECT_EQ(labels(object.properties("n*r")), (Labels{"root.number"}));
    EXPECT_TRUE(labels(object.properties("t?")).empty());
    EXPECT_TRUE(labels(object.properties("")).empty());
    EXPECT_TRUE(labels(object.properties("~reference")).empty());

    const BoundProperty holder = object.propertyAt(2);
    const ReflectedObject held(holder);
    std::vector<BoundProperty> references;
    for (const BoundProperty& p : held.properties("~reference"))
        references.push_back(p);
    ASSERT_EQ(references.size(), 1u);
    EXPECT_EQ(references[0], holder);
    EXPECT_EQ(labels(held.properties("~reference.text")), (Labels{"root.text"}));
}

TEST_F(ReflectedObjects, EnumerationCountsUpToTheStoppingProperty) {
    const ReflectedObject object = rootObject();
    const ReflectedObject::PropertyRange range = object.properties();
    ASSERT_EQ(range.size(), 3);
    EXPECT_EQ((*(range.end() - 1)).name(), "child");
    EXPECT_EQ(range.begin()[1].name(), "text");

    int calls = 0;
    EXPECT_EQ(object.enumerateProperties("**", [&](const BoundProperty&) { return ++calls != 3; }), 3u);
    EXPECT_EQ(calls, 3);
    calls = 0;
    EXPECT_EQ(object.enumerateProperties("**", [&] { ++calls; }), 7u);
    EXPECT_EQ(calls, 7);
    std::vector<std::string> names;
    EXPECT_EQ(object.enumerateProperties([&](const BoundProperty& p) { return names.push_back(p.name()), true; }),
              3u);
    EXPECT_EQ(names, (Labels{"number", "text", "child"}));
    EXPECT_EQ(object.enumerateProperties("*.*", ReflectedObject::PropertyEnumerator()), 3u);
}

TEST_F(ReflectedObjects, ParentsAndRootFollowReferences) {
    const ReflectedObject object = rootObject();
    const ReflectedObject leafObject(object.findPropertyByName("child.child"));
    ASSERT_TRUE(leafObject.isValid());
    EXPECT_EQ(leafObject.get(), tavi::Variant(&leaf));
    EXPECT_EQ(leafObject.parent(0).get(), tavi::Variant(&mid));
    EXPECT_EQ(leafObject.parent(1).get(), tavi::Variant(&mid));
    EXPECT_EQ(leafObject.parent(2).get(), tavi::Variant(&root));
    EXPECT_FALSE(leafObject.parent(3).isValid());
    EXPECT_EQ(leafObject.root().get(), tavi::Variant(&root));
    EXPECT_FALSE(object.reference().isValid());
    EXPECT_FALSE(object.parent().isValid());
    EXPECT_EQ(object.root().get(), tavi::Variant(&root));
    EXPECT_EQ(object.root().contextData(), object.contextData()); // itself, not a rebuilt handle
}

TEST_F(ReflectedObjects, ParentByTypeNameUsesTypeNamePropertyThenMetaObjectName) {
    // "_typeName" from Node::kind: "" gives no value at all, "#" the number (not a string).
    meta.setProperties({number, text, child,
                        std::make_shared<DataMetaProperty>(&meta, "_typeName", typeid(tavi::Variant),
                                                           [](const BoundProperty& p) {
                                                               const Node& node = *p.object().get().castPtr<Node>();
                                                               if (node.kind == "#")
                                                                   return tavi::Variant(node.number);
                                                               return node.kind.empty() ? tavi::Variant()
                                                                                        : tavi::Variant(node.kind);
                                                           })});
    leaf.child = &spare;
    root.kind = "#";
    leaf.kind = "Item";
    const ReflectedObject last(rootObject().findPropertyByName("child.child.child"));
    ASSERT_EQ(last.get(), tavi::Variant(&spare));
    EXPECT_EQ(last.parent("Item").get(), tavi::Variant(&leaf));
    EXPECT_EQ(last.parent("Item", 0).get(), tavi::Variant(&leaf));
    EXPECT_EQ(last.parent("Node").get(), tavi::Variant(&mid)); // skips leaf; mid has no type name of its own
    EXPECT_EQ(last.parent("1").get(), tavi::Variant(&root));   // converted to text
    EXPECT_FALSE(last.parent("Node", 2).isValid());
    EXPECT_FALSE(last.parent("Item", 2).isValid());
    EXPECT_FALSE(last.parent(tavi::MetaType::prettyName(typeid(Node))).isValid());
    EXPECT_EQ(last.parent(3).get(), tavi::Variant(&root));
}

TEST_F(ReflectedObjects, TypeIdentificatorWithoutTypeNamePropertyIsThePrettyTypeName) {
    EXPECT_EQ(rootObject().getTypeIdentificator(), tavi::MetaType::prettyName(typeid(Node)));
    EXPECT_NE(tavi::MetaType::prettyName(typeid(Node)), meta.name());
    EXPECT_EQ(ReflectedObject().getTypeIdentificator(), tavi::MetaType::prettyName(typeid(void)));
}

TEST_F(ReflectedObjects, TypeIdentificatorIsTheTypeNamePropertyEvenWhenEmpty) {
    meta.setProperties({number, nodeField(&meta, "_typeName", &Node::kind)});
    mid.kind = "Folder";
    EXPECT_EQ(ReflectedObject(tavi::Variant(&mid)).getTypeIdentificator(), "Folder");
    EXPECT_EQ(ReflectedObject(tavi::Variant(&leaf)).getTypeIdentificator(), "empty");
}

TEST_F(ReflectedObjects, HandlesOnOneInstanceAreEqualAndShareItsData) {
    const ReflectedObject a = rootObject();
    const ReflectedObject b = rootObject();
    const ReflectedObject copy = a;
    const ReflectedObject other{tavi::Variant(&mid)};
    EXPECT_TRUE(a == b);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(std::hash<ReflectedObject>()(a), b.hash());
    EXPECT_FALSE(a == other);
    ASSERT_NE(a.objectData(), nullptr);
    EXPECT_EQ(a.objectData(), b.objectData());
    EXPECT_NE(a.objectData(), other.objectData());
    ASSERT_NE(a.propertyAt(1).propertyData(), nullptr);
    EXPECT_EQ(a.propertyAt(1).propertyData(), b.propertyAt(1).propertyData());
    EXPECT_EQ(copy.propertyAt(1).propertyData(), a.propertyAt(1).propertyData());
    EXPECT_EQ(copy.contextData(), a.contextData());
    EXPECT_NE(b.contextData(), a.contextData()); // each root handle has its own caches
}

TEST_F(ReflectedObjects, StatelessModeComesFromTheTypeAndIsCachedPerContext) {
    int calls = 0;
    const tavi::Variant shallowOne(&root);
    meta.setAnnotations({tavi::Variant(Meta::Stateless([&calls, shallowOne](const ReflectedObject& o) {
        ++calls;
        return o.get() == shallowOne ? Mode::Shallow : Mode::None;
    }))});
    const ReflectedObject object = rootObject();
    EXPECT_EQ(object.statelessMode(), Mode::Shallow);
    EXPECT_TRUE(object.isStateless());
    EXPECT_EQ(object.statelessMode(), Mode::Shallow);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ReflectedObject(tavi::Variant(&mid)).statelessMode(), Mode::None);
    EXPECT_EQ(calls, 2);
}

TEST_F(ReflectedObjects, DeepModeOfTheReferencingPropertyIsInherited) {
    auto deep = nodeField(&meta, "deep", &Node::child, {tavi::Variant(Meta::Stateless(Mode::Deep))});
    auto shallow = nodeField(&meta, "shallow", &Node::child, {tavi::Variant(Meta::Stateless(Mode::Shallow))});
    meta.setProperties({deep, shallow});
    const ReflectedObject object = rootObject();
    EXPECT_EQ(object.statelessMode(), Mode::None);
    EXPECT_EQ(ReflectedObject(object.propertyAt(0)).statelessMode(), Mode::Deep);
    EXPECT_EQ(ReflectedObject(object.propertyAt(1)).statelessMode(), Mode::None);
    // Deep reaches everything below; Shallow never passes on.
    EXPECT_EQ(ReflectedObject(object.findPropertyByName("deep.shallow")).statelessMode(), Mode::Deep);
    EXPECT_EQ(ReflectedObject(object.findPropertyByName("shallow.shallow")).statelessMode(), Mode::None);
}

TEST_F(ReflectedObjects, StructureChangesGoThroughTheMetaObject) {
    const ReflectedObject object = rootObject();
    const BoundProperty added = object.addProperty(key("extra"), tavi::Variant(42));
    ASSERT_TRUE(added.isValid());
    EXPECT_EQ(added.name(), "extra");
    EXPECT_EQ(added.get(), tavi::Variant(42));
    EXPECT_EQ(object.propertyCount(), 4u);
    EXPECT_FALSE(object.addProperty(tavi::Variant(1.5), tavi::Variant(1)).isValid()); // refused key
    EXPECT_FALSE(object.removeProperty(key("missing")));
    EXPECT_TRUE(object.removeProperty(key("extra")));
    EXPECT_EQ(object.propertyCount(), 3u);

    meta.pin(text.get());
    object.clearProperties(); // removes "number", then stops at the refused "text"
    std::vector<std::string> names;
    for (const BoundProperty& p : object.properties())
        names.push_back(p.name());
    EXPECT_EQ(names, (Labels{"text", "child"}));
}

class ObjectDataOfNodes : public ::testing::Test, protected NodeTree {};

TEST_F(ObjectDataOfNodes, OutOfBoundsIsReportedUntilThePropertyIsAdded) {
    const ReflectedObject object = rootObject();
    {
        Kor::MessageCapture capture;
        EXPECT_EQ(ObjectData::propertyData(object, 3), nullptr);
        ASSERT_EQ(capture.count(), 1u);
        EXPECT_EQ(capture.messages()[0].text, "orv::ObjectData::propertyData: property index 3 out of bounds [0, 3)");
        EXPECT_EQ(capture.messages()[0].priority, 4);
        EXPECT_EQ(capture.messages()[0].category, "");
    }
    const std::shared_ptr<PropertyData> moved = ObjectData::propertyData(object, 1);
    meta.insertProperties(1, {nodeField(&meta, "extra", &Node::number)});
    Kor::MessageCapture capture;
    EXPECT_NE(ObjectData::propertyData(object, 3), nullptr);
    EXPECT_EQ(ObjectData::propertyData(object, 2), moved);
    EXPECT_EQ(object.propertyAt(1).name(), "extra");
    EXPECT_EQ(capture.count(), 0u);
    EXPECT_EQ(ObjectData::propertyData(ReflectedObject(), 0), nullptr);
}

TEST_F(ObjectDataOfNodes, StructureSignalsSeeTheSlotsInStep) {
    const ReflectedObject object = rootObject();
    std::vector<std::string> log;
    // What a listener sees: the range, the count at that moment and, when
    // the range is in the list, the name of its first property.
    auto note = [&log](const char* what, bool named) {
        return [&log, what, named](const ReflectedObject& o, size_t i, size_t n) {
            log.push_back(std::string(what) + " " + std::to_string(i) + "+" + std::to_string(n) + " of " +
                          std::to_string(o.propertyCount()) + (named ? " '" + BoundProperty(o, i).name() + "'" : ""));
        };
    };
    const zel::ScopedConnection connections[] = {
        object.connectPropertyAboutToBeAdded(note("adding", false)), object.connectPropertyAdded(note("added", true)),
        object.connectPropertyAboutToBeRemoved(note("removing", true)),
        object.connectPropertyRemoved(note("removed", false))};
    Kor::MessageCapture capture;
    meta.insertProperties(1, {nodeField(&meta, "extra", &Node::number)});
    meta.eraseProperties(2, 1);
    EXPECT_EQ(log, (Labels{"adding 1+1 of 3", "added 1+1 of 4 'extra'", "removing 2+1 of 4 'text'",
                           "removed 2+1 of 3"}));
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(ObjectDataOfNodes, PropertiesAddedDuringAResetAreReAdded) {
    const ReflectedObject object = rootObject();
    const BoundProperty before = object.propertyAt(0);
    *before.userData("mark") = tavi::Variant(1);
    BoundProperty during;
    Kor::MessageCapture capture;
    meta.resetProperties({}, [&] {
        meta.insertProperties(0, {nodeField(&meta, "extra", &Node::number)});
        during = object.propertyAt(0);
        *during.userData("mark") = tavi::Variant(2);
    });
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "There are properties added during properties reset! These properties (and "
                                          "their data, e.g. signals) are re-added");
    EXPECT_EQ(capture.messages()[0].priority, 4);
    EXPECT_FALSE(before.isValid());
    EXPECT_FALSE(during.isValid());
    const BoundProperty after = object.propertyAt(0);
    ASSERT_TRUE(after.isValid());
    EXPECT_EQ(after.name(), "extra");
    EXPECT_TRUE(after.userData("mark")->isVoid());
    EXPECT_EQ(object.propertyCount(), 1u);
}

TEST_F(ObjectDataOfNodes, HandlesExpireWithTheDataAndHearItGo) {
    const ReflectedObject object{tavi::Variant(&spare)};
    const BoundProperty property = object.propertyAt(0);
    int deleted = 0;
    const zel::ScopedConnection connection = object.connectObjectDeleted([&deleted] { ++deleted; });
    ASSERT_TRUE(property.isValid());
    meta.forget(spare);
    EXPECT_EQ(deleted, 1);
    EXPECT_FALSE(object.isValid());
    EXPECT_EQ(object.metaObject(), nullptr);
    EXPECT_EQ(object.objectData(), nullptr);
    EXPECT_EQ(object.propertyCount(), 0u);
    EXPECT_FALSE(property.isValid());
    EXPECT_EQ(property.name(), "");
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
    EXPECT_TRUE(copy.isValid());
    EXPECT_EQ(copy.objectData(), nullptr);
    EXPECT_EQ(copy.metaObject(), &shape);
    EXPECT_TRUE(copy.propertyAt(0).isValid());
    EXPECT_FALSE(copy.connectObjectDeleted([] {}).connected());
    Kor::MessageCapture capture;
    EXPECT_EQ(ObjectData::propertyData(copy, 0), nullptr);
    EXPECT_EQ(capture.count(), 0u);
}

// The data of an orv::Object lives in the instance itself.
class WidgetMeta : public TestMetaObject {
public:
    WidgetMeta() : TestMetaObject(typeid(ro_test::Widget), "Widget", {}, [](const tavi::Variant&) { return true; }) {
        addSelf(key("size"));
    }
    std::shared_ptr<ObjectData> objectData(const tavi::Variant& value) override {
        const ro_test::Widget* widget = value.castPtr<ro_test::Widget>();
        return widget ? dataOf(*widget, value) : nullptr;
    }
    // Without a meta object given: found through the registry.
    static const std::shared_ptr<ObjectData>& dataOf(const ro_test::Widget& widget, const tavi::Variant& value) {
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
    EXPECT_EQ(WidgetMeta::dataOf(*widget, value).get(), object.objectData());
    EXPECT_EQ(ReflectedObject(value).objectData(), object.objectData());
    const BoundProperty size = object.propertyAt(0);
    ASSERT_TRUE(size.isValid());
    widget.reset();
    EXPECT_FALSE(object.isValid());
    EXPECT_FALSE(size.isValid());
}

} // namespace
