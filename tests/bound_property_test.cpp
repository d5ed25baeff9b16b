#include "shared_libs/reflection/bound_property.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/fuzzy_function.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bp_test {

struct Plain {
    int32_t v = 7;
};

} // namespace bp_test

namespace {

using namespace orv;
using namespace orv::test;
using bp_test::Plain;

class BoundProperties : public ::testing::Test, protected NodeTree {};

TEST_F(BoundProperties, WrongIndexGivesAnInvalidHandleAndOneError) {
    Kor::MessageCapture capture;
    const BoundProperty past = rootObject().propertyAt(3);
    EXPECT_FALSE(past.isValid());
    EXPECT_EQ(past.contextData(), nullptr);
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "Property creation from wrong index");
    EXPECT_EQ(capture.messages()[0].priority, 5);
    capture.clear();
    EXPECT_FALSE(BoundProperty(ReflectedObject(), 0).isValid()); // nothing to report for no object
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(BoundProperties, ConstnessComesFromTheHandleOrAMissingSetter) {
    const BoundProperty property = rootObject().propertyAt(0);
    EXPECT_FALSE(property.isConst());
    EXPECT_TRUE(rootObject().propertyAt(2).typeInfo().containsType(typeid(Node)));
    // The same instance through a const pointer: same data, read-only handles.
    const ReflectedObject readOnly{tavi::Variant(static_cast<const Node*>(&root))};
    EXPECT_TRUE(readOnly.propertyAt(0).isConst());
    EXPECT_EQ(readOnly.propertyAt(0).propertyData(), property.propertyData());

    const auto five = [](const BoundProperty&) { return tavi::Variant(5); };
    meta.insertProperties(3, {dataProperty(&meta, "fixed", typeid(int), five)});
    EXPECT_TRUE(rootObject().propertyAt(3).isConst());
    EXPECT_EQ(rootObject().propertyAt(3).get(), tavi::Variant(5));
}

TEST_F(BoundProperties, HandlesOfARemovedPropertyDegradeAndTheOthersFollowTheirProperty) {
    const ReflectedObject object = rootObject();
    const BoundProperty removed = object.propertyAt(1);
    const BoundProperty kept = object.propertyAt(2);
    ASSERT_FALSE(removed.isConst());
    PropertyData* const keptData = kept.propertyData();
    *kept.userData("note") = tavi::Variant(5);

    meta.eraseProperties(1, 1);
    EXPECT_FALSE(removed.isValid());
    EXPECT_EQ(removed.name(), "");
    EXPECT_TRUE(removed.isConst());
    EXPECT_EQ(removed.visibility(), meta_property::HIDDEN);
    EXPECT_TRUE(removed.get().isVoid());
    EXPECT_EQ(removed.userData("note"), nullptr);

    EXPECT_EQ(object.propertyAt(1), kept);
    EXPECT_EQ(object.propertyAt(1).propertyData(), keptData);
    EXPECT_EQ(*object.propertyAt(1).userData("note"), tavi::Variant(5));
}

TEST_F(BoundProperties, UserDataLivesInThePropertyData) {
    tavi::Variant* note = rootObject().propertyAt(0).userData("note");
    ASSERT_TRUE(note && note->isVoid());
    EXPECT_EQ(rootObject().propertyAt(0).userData("note"), note); // every handle of the instance
    EXPECT_NE(rootObject().propertyAt(0).userData("other"), note);
    EXPECT_NE(rootObject().propertyAt(1).userData("note"), note);
    EXPECT_NE(ReflectedObject(tavi::Variant(&mid)).propertyAt(0).userData("note"), note);
}

TEST(PlainProperties, MissingDataIsReportedButTheHandleWorks) {
    Plain plain;
    TestMetaObject meta{typeid(Plain), "Plain", {}, [](const tavi::Variant&) { return true; }};
    Registration registration{meta};
    meta.addSelf(std::string("a"));
    meta.add(dataProperty(&meta, "v", typeid(int32_t), [](const BoundProperty& p) {
        return tavi::Variant(p.object().get().castPtr<Plain>()->v);
    }));
    const ReflectedObject object{tavi::Variant(&plain)};
    Kor::MessageCapture capture;
    EXPECT_EQ(object.propertyAt(0).userData("note"), nullptr); // no data expected, nothing reported
    EXPECT_EQ(capture.count(), 0u);
    const BoundProperty property = object.propertyAt(1);
    // Reported once; the notifying property then reports the slot it cannot keep.
    ASSERT_GE(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text,
              "orv::BoundProperty::BoundProperty: property 'v' (index 1) doesn't have data while it should");
    EXPECT_EQ(capture.messages()[0].priority, 4);
    EXPECT_EQ(capture.countContaining("while it should"), 1u);
    EXPECT_EQ(property.get(), tavi::Variant(int32_t(7)));
    EXPECT_EQ(property.userData("note"), nullptr);
}

TEST_F(BoundProperties, EqualHandlesHashEquallyAndMovingEmptiesTheSource) {
    const BoundProperty a = rootObject().propertyAt(0);
    BoundProperty copy = rootObject().propertyAt(0);
    EXPECT_EQ(copy, a);
    EXPECT_EQ(std::hash<BoundProperty>()(a), copy.hash());
    EXPECT_TRUE(a != rootObject().propertyAt(1) && a != ReflectedObject(tavi::Variant(&mid)).propertyAt(0));

    BoundProperty moved = std::move(copy);
    EXPECT_EQ(moved, a);
    EXPECT_FALSE(copy.isValid()); // NOLINT(bugprone-use-after-move): moving empties the source
    EXPECT_TRUE(std::move(moved).object() == rootObject());
    EXPECT_FALSE(moved.isValid()); // NOLINT(bugprone-use-after-move)
}

TEST_F(BoundProperties, GetterErrorsAreReportedAndGiveNothing) {
    meta.setProperties({dataProperty(&meta, "broken", typeid(int), [](const BoundProperty&) -> tavi::Variant {
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
    std::vector<uint32_t> seen;
    const zel::ScopedConnection connection = rootObject().propertyAt(0).connectPropertyChanged(
        [&seen](NotifyFlags n) { seen.push_back(n.value()); });
    notify::propertyChanged(rootObject().propertyAt(0), {}, NotifyFlag::Value);
    notify::propertyChanged(ReflectedObject(tavi::Variant(&mid)).propertyAt(0), {}, NotifyFlag::Sources);
    EXPECT_EQ(seen, (std::vector<uint32_t>{1u}));
    EXPECT_FALSE(BoundProperty().connectPropertyChanged([] {}).connected());
}

} // namespace
