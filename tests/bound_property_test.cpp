#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

namespace bp_test {

struct Plain {
    int32_t v = 7;
};

} // namespace bp_test

namespace {

using namespace orv;
using namespace orv::test;
using bp_test::Plain;

tavi::Variant key(const char* text) { return tavi::Variant(std::string(text)); }

class BoundProperties : public ::testing::Test, protected NodeTree {};

TEST_F(BoundProperties, WrongIndexGivesAnInvalidHandleAndOneError) {
    const ReflectedObject object = rootObject();
    Kor::MessageCapture capture;
    const BoundProperty past = object.propertyAt(3);
    EXPECT_FALSE(past.isValid());
    EXPECT_EQ(past.name(), "");
    EXPECT_TRUE(past.key().isVoid());
    EXPECT_EQ(past.propertyData(), nullptr);
    EXPECT_EQ(past.contextData(), nullptr);
    EXPECT_TRUE(past.get().isVoid());
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "Property creation from wrong index");
    EXPECT_EQ(capture.messages()[0].priority, 5);
    EXPECT_EQ(capture.messages()[0].category, "");

    capture.clear();
    EXPECT_FALSE(BoundProperty(ReflectedObject(), 0).isValid()); // nothing to report for no object
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(BoundProperties, DescribeTheirMetaProperty) {
    const ReflectedObject object = rootObject();
    const BoundProperty property = object.propertyAt(0);
    EXPECT_EQ(property.key(), key("number"));
    EXPECT_EQ(property.propertyType(), typeid(int));
    EXPECT_EQ(property.metaProperty(), number);
    EXPECT_TRUE(property.isValue());
    EXPECT_FALSE(property.isMethod());
    EXPECT_FALSE(property.isConst());
    EXPECT_NE(property.contextData(), nullptr);
    EXPECT_TRUE(object.propertyAt(2).typeInfo().containsType(typeid(Node)));
    EXPECT_TRUE(BoundProperty().typeInfo() == TypeInfo());

    // The same instance through a const pointer: same data, read-only handles.
    const ReflectedObject readOnly{tavi::Variant(static_cast<const Node*>(&root))};
    EXPECT_TRUE(readOnly.isConst());
    EXPECT_TRUE(readOnly.propertyAt(0).isConst());
    EXPECT_EQ(readOnly.propertyAt(0).propertyData(), property.propertyData());

    auto computed = [](const BoundProperty&) { return tavi::Variant(5); };
    meta.insertProperties(3, {std::make_shared<DataMetaProperty>(&meta, "computed", typeid(int), computed)});
    EXPECT_TRUE(object.propertyAt(3).isConst()); // no setter
    EXPECT_EQ(object.propertyAt(3).get(), tavi::Variant(5));
}

TEST_F(BoundProperties, HandlesOfARemovedPropertyDegradeAndTheOthersFollowTheirProperty) {
    const ReflectedObject object = rootObject();
    const BoundProperty removed = object.propertyAt(1);
    const BoundProperty kept = object.propertyAt(2);
    ASSERT_TRUE(removed.isValid());
    ASSERT_FALSE(removed.isConst());
    ASSERT_EQ(removed.visibility(), meta_property::VISIBLE_EVERYWHERE);
    PropertyData* const keptData = kept.propertyData();
    *kept.userData("note") = tavi::Variant(5);

    meta.eraseProperties(1, 1);
    EXPECT_FALSE(removed.isValid());
    EXPECT_EQ(removed.name(), "");
    EXPECT_EQ(removed.propertyType(), typeid(void));
    EXPECT_EQ(removed.storageType(), typeid(void));
    EXPECT_TRUE(removed.isConst());
    EXPECT_EQ(removed.visibility(), meta_property::HIDDEN);
    EXPECT_TRUE(removed.get().isVoid());
    EXPECT_EQ(removed.metaProperty(), nullptr);
    EXPECT_EQ(removed.propertyData(), nullptr);
    EXPECT_EQ(removed.contextData(), nullptr);
    EXPECT_EQ(removed.userData("note"), nullptr);

    ASSERT_TRUE(kept.isValid());
    EXPECT_EQ(kept.name(), "child");
    EXPECT_EQ(object.propertyAt(1), kept);
    EXPECT_EQ(object.propertyAt(1).propertyData(), keptData);
    EXPECT_EQ(*object.propertyAt(1).userData("note"), tavi::Variant(5));
}

TEST_F(BoundProperties, UserDataLivesInThePropertyData) {
    const BoundProperty property = rootObject().propertyAt(0);
    tavi::Variant* note = property.userData("note");
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isVoid());
    EXPECT_EQ(property.userData("note"), note);
    *note = tavi::Variant(std::string("kept"));
    EXPECT_EQ(rootObject().propertyAt(0).userData("note"), note); // every handle of the instance
    EXPECT_NE(property.userData("other"), note);
    EXPECT_TRUE(rootObject().propertyAt(1).userData("note")->isVoid());
    EXPECT_TRUE(ReflectedObject(tavi::Variant(&mid)).propertyAt(0).userData("note")->isVoid());
}

class PlainProperties : public ::testing::Test {
protected:
    Plain plain;
    TestMetaObject meta{typeid(Plain), "Plain", {}, [](const tavi::Variant&) { return true; }};
    Registration registration{meta};
};

TEST_F(PlainProperties, WithoutObjectDataThereIsNoUserData) {
    meta.addSelf(key("v"));
    const BoundProperty property = ReflectedObject(tavi::Variant(&plain)).propertyAt(0);
    ASSERT_TRUE(property.isValid());
    EXPECT_EQ(property.propertyData(), nullptr);
    EXPECT_EQ(property.userData("note"), nullptr);
}

TEST_F(PlainProperties, MissingDataIsReportedButTheHandleWorks) {
    meta.addSelf(key("a"));
    meta.add(std::make_shared<DataMetaProperty>(&meta, "v", typeid(int32_t), [](const BoundProperty& p) {
        return tavi::Variant(p.object().get().castPtr<Plain>()->v);
    }));
    const ReflectedObject object{tavi::Variant(&plain)};
    Kor::MessageCapture capture;
    const BoundProperty property = object.propertyAt(1);
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text,
              "orv::BoundProperty::BoundProperty: property 'v' (index 1) doesn't have data while it should");
    EXPECT_EQ(capture.messages()[0].priority, 4);
    EXPECT_TRUE(property.isValid());
    EXPECT_EQ(property.get(), tavi::Variant(int32_t(7)));
    EXPECT_EQ(property.propertyData(), nullptr);
    EXPECT_EQ(property.userData("note"), nullptr);
    capture.clear();
    EXPECT_TRUE(object.propertyAt(0).isValid()); // no data expected, nothing reported
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(BoundProperties, EqualHandlesHashEqually) {
    const BoundProperty a = rootObject().propertyAt(0);
    const BoundProperty b = rootObject().propertyAt(0);
    BoundProperty copy = a;
    EXPECT_EQ(a, b);
    EXPECT_EQ(copy, a);
    EXPECT_EQ(a.hash(), b.hash());
    EXPECT_EQ(std::hash<BoundProperty>()(a), b.hash());
    EXPECT_NE(a, rootObject().propertyAt(1));
    EXPECT_NE(a, ReflectedObject(tavi::Variant(&mid)).propertyAt(0));

    BoundProperty moved = std::move(copy);
    EXPECT_EQ(moved, a);
    EXPECT_FALSE(copy.isValid()); // NOLINT(bugprone-use-after-move): moving empties the source
    const ReflectedObject owner = std::move(moved).object();
    EXPECT_TRUE(owner == rootObject());
    EXPECT_FALSE(moved.isValid()); // NOLINT(bugprone-use-after-move)

    const uint64_t s = tavi::Variant(&root).hash();
    const uint64_t h = std::hash<const MetaProperty*>()(number.get());
    EXPECT_EQ(a.hash(), size_t(s ^ (h + 0x9e3779b9ull + (s << 6) + (s >> 2))));
}

TEST_F(BoundProperties, GetterErrorsAreReportedAndGiveNothing) {
    meta.setProperties({std::make_shared<DataMetaProperty>(
        &meta, "broken", typeid(int), [](const BoundProperty&) -> tavi::Variant {
            throw FuzzyArgumentException("no value here");
        })});
    const BoundProperty broken = rootObject().propertyAt(0);
    Kor::MessageCapture capture;
    EXPECT_TRUE(broken.get().isVoid());
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "Error getting property 'broken': no value here");
    EXPECT_EQ(capture.messages()[0].priority, 5);
}

TEST_F(BoundProperties, SlotsFollowThePropertyOfTheInstance) {
    const BoundProperty a = rootObject().propertyAt(0);
    const BoundProperty b = rootObject().propertyAt(0);
    std::vector<uint32_t> seen;
    const zel::ScopedConnection connection =
        a.connectPropertyChanged([&seen](NotifyFlags flags) { seen.push_back(flags.value()); });
    number->deliver(b, {}, NotifyFlag::Value);
    number->deliver(ReflectedObject(tavi::Variant(&mid)).propertyAt(0), {}, NotifyFlag::Sources);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1u}));
    EXPECT_FALSE(BoundProperty().connectPropertyChanged([] {}).connected());
}

} // namespace
