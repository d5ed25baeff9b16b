#include "shared_libs/reflection/meta_property.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mp_test {

struct Padding {
    double pad[3] = {};
};
struct Point {
    float x = 1.5f;
    std::string label = "p";
};
struct Marker : Padding, Point {};
struct Unrelated {
    int u = 0;
};
struct NoText {
    int value = 0;
};

} // namespace mp_test

namespace {

using namespace orv;
using namespace orv::meta_property;
using mp_test::Marker;
using mp_test::Point;
using mp_test::Unrelated;
using test::Registration;
using test::TestMetaObject;
using test::TestMetaProperty;
using Log = std::vector<std::string>;

template <class T>
TestMetaObject::Matcher exactly() {
    return [](const tavi::Variant& v) { return v.typeId() == typeid(T); };
}

using PointGetter = FuzzyFunction<tavi::Variant(const BoundProperty&), MetaPropertyArgumentsConvertor<Point>>;
using PointSetter = FuzzyFunction<void(const BoundProperty&, const tavi::Variant&, SetterFlags),
                                  MetaPropertySetterArgumentsConvertor<Point>>;

// What the call throws as a FuzzyArgumentException.
template <class F>
std::string castError(F&& call) {
    try {
        call();
    } catch (const FuzzyArgumentException& error) {
        return error.what();
    }
    return "<nothing thrown>";
}

long long baseOffset() {
    Marker m;
    return reinterpret_cast<char*>(&m) - reinterpret_cast<char*>(static_cast<Point*>(&m));
}

// Point (x, label), Marker deriving from Padding and Point, and Unrelated
// sharing Point's meta property for x.
class PointTypes : public ::testing::Test {
protected:
    PointTypes() {
        point.add(x);
        point.add(label);
        unrelated.add(x);
    }
    static BoundProperty bind(tavi::Variant object, size_t index) {
        return ReflectedObject(object).propertyAt(index);
    }

    TestMetaObject point{typeid(Point), "Point", {}, exactly<Point>()};
    TestMetaObject padding{typeid(mp_test::Padding), "Padding", {}, exactly<mp_test::Padding>()};
    TestMetaObject marker{
        typeid(Marker), "Marker", {{&padding, 0}, {&point, baseOffset()}}, exactly<Marker>()};
    TestMetaObject unrelated{typeid(Unrelated), "Unrelated", {}, exactly<Unrelated>()};
    Registration r1{point}, r2{padding}, r3{marker}, r4{unrelated};
    std::shared_ptr<TestMetaProperty> x = std::make_shared<TestMetaProperty>(
        &point, std::string("x"), Annotations{}, PointGetter([](const Point* p) { return p->x; }),
        PointSetter([](Point* p, float value) { p->x = value; }), typeid(float));
    std::shared_ptr<TestMetaProperty> label = std::make_shared<TestMetaProperty>(
        &point, std::string("label"), Annotations{}, PointGetter([](const Point* p) { return p->label; }),
        PointSetter([](Point* p, const std::string& value) { p->label = value; }), typeid(std::string));
};

TEST_F(PointTypes, AccessorsReceiveTheBaseSubObjectOfADerivedInstance) {
    Marker m;
    m.x = 4.25f;
    const BoundProperty px = bind(&m, 0);
    ASSERT_EQ(px.object().metaObject(), &marker);
    EXPECT_EQ(px.get(), tavi::Variant(4.25f));
    x->setter()(px, tavi::Variant(2.0f), {});
    EXPECT_EQ(m.x, 2.0f);
}

TEST_F(PointTypes, GetterOnAnUnrelatedInstanceReportsTheCast) {
    Unrelated u;
    const BoundProperty px = bind(&u, 0);
    ASSERT_TRUE(px.isValid());
    EXPECT_EQ(castError([&] { px.metaProperty()->getter()(px); }),
              "failed to cast ReflectedObject of 'Unrelated' to 'mp_test::Point'");
    Kor::MessageCapture capture;
    EXPECT_TRUE(px.get().isVoid());
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(
        capture.messages()[0].text,
        "Error getting property 'x': failed to cast ReflectedObject of 'Unrelated' to 'mp_test::Point'");
    EXPECT_EQ(capture.messages()[0].priority, 5);
}

TEST_F(PointTypes, ConstInstanceCannotFeedAMutableSetter) {
    Point p;
    const BoundProperty px = bind(static_cast<const Point*>(&p), 0);
    EXPECT_TRUE(px.isConst());
    EXPECT_EQ(px.get(), tavi::Variant(1.5f)); // reading through const is fine
    EXPECT_THROW(x->setter()(px, tavi::Variant(3.0f), {}), FuzzyArgumentException);
    EXPECT_EQ(p.x, 1.5f);
}

TEST_F(PointTypes, SetterValueIsTakenDirectlyOrConverted) {
    Point p;
    const BoundProperty plabel = bind(&p, 1);
    const auto& set = label->setter();
    set(plabel, tavi::Variant(std::string("direct")), {});
    EXPECT_EQ(p.label, "direct");
    set(plabel, tavi::Variant(int32_t(42)), {});
    EXPECT_EQ(p.label, "42");
    EXPECT_EQ(castError([&] { set(plabel, tavi::Variant(mp_test::NoText{}), {}); }),
              "failed to cast Variant of '" + std::string(tavi::Variant(mp_test::NoText{}).typeName()) +
                  "' to 'std::string'");
    EXPECT_EQ(p.label, "42");
}

TEST(ThrowCastError, ThreeMessages) {
    TestMetaObject meta(typeid(Point), "Named");
    EXPECT_EQ(castError([&] { meta_property_details::throwCastError(&meta, "Target"); }),
              "failed to cast ReflectedObject of 'Named' to 'Target'");
    EXPECT_EQ(castError([] {
                  meta_property_details::throwCastError(static_cast<const MetaObject*>(nullptr), "T");
              }),
              "failed to cast invalid ReflectedObject to 'T'");
    EXPECT_EQ(
        castError([] { meta_property_details::throwCastError(tavi::MetaType::of<float>(), "Vector3"); }),
        "failed to cast Variant of 'float' to 'Vector3'");
}

TEST(MetaPropertyName, ComesFromTheKey) {
    TestMetaObject meta(typeid(Point), "P");
    EXPECT_EQ(TestMetaProperty(&meta, std::string("speed")).name(), "speed");
    EXPECT_EQ(TestMetaProperty(&meta, int32_t(42)).name(), "42");
    EXPECT_THROW(TestMetaProperty(&meta, mp_test::NoText{}), tavi::CastError);

    Kor::MessageCapture capture;
    TestMetaProperty empty(&meta, std::string());
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: !m_name.empty()\r\n"));
}

TEST(Visibility, IsTheIntersectionOfAllRulesAndHidesUnderscoreNamesWithoutRules) {
    Point instance;
    TestMetaObject meta{typeid(Point), "Point", {}, exactly<Point>()};
    Registration registration{meta};
    const auto visibility = [&](const char* key, Annotations annotations) {
        meta.add(std::make_shared<TestMetaProperty>(&meta, std::string(key), std::move(annotations)));
        return ReflectedObject(&instance).propertyAt(meta.propertyCount(test::anyObject()) - 1).visibility();
    };
    EXPECT_EQ(visibility("_internal", {}), HIDDEN);
    EXPECT_EQ(visibility("_shown", {Meta::Visible(VISIBLE_EVERYWHERE)}), VISIBLE_EVERYWHERE);
    EXPECT_EQ(visibility("plain", {}), VISIBLE_EVERYWHERE);
    EXPECT_EQ(visibility("p", {Meta::Visible(VisibilityFlags(3u)),
                               Meta::Visible([] { return VisibilityFlag::Outliner; }),
                               Meta::Visible(VisibilityFlags(6u))}),
              HIDDEN); // 3 & 4 & 6
    EXPECT_EQ(
        visibility("q", {Meta::Visible(VisibilityFlags(3u)), Meta::Visible([](const ReflectedObject& o) {
                             return o.isValid() ? VisibilityFlags(6u) : HIDDEN;
                         })}),
        VisibilityFlags(2u));
    EXPECT_EQ(BoundProperty().visibility(), HIDDEN);
    EXPECT_THROW(visibility("broken", {Meta::Visible()}), std::bad_function_call);
}

TEST_F(PointTypes, ClonesShareTheDescriptionButNoConnections) {
    Point a;
    Log log;
    const zel::ScopedConnection global = x->connectPropertyChanged([&] { log.push_back("global"); });
    const zel::ScopedConnection perObject =
        bind(&a, 0).connectPropertyChanged([&] { log.push_back("object"); });
    point.add(x->clone());
    notify::propertyChanged(bind(&a, 2), {}, NotifyFlag::Value);
    EXPECT_EQ(bind(&a, 2).get(), tavi::Variant(1.5f));
    notify::propertyChanged(bind(&a, 0), {}, NotifyFlag::Value);
    EXPECT_EQ(log, (Log{"object", "global"}));
}

TEST_F(PointTypes, MethodSignalsCarryArgumentsAndResult) {
    Point a;
    const BoundProperty pa = bind(&a, 0);
    Log log;
    const zel::ScopedConnection before =
        pa.connectMethodAboutToBeInvoked([&](size_t count, const tavi::Variant* args) {
            log.push_back("before " + std::to_string(count) + " " + args[1].cast<std::string>());
        });
    const zel::ScopedConnection after = x->connectMethodInvoked(
        [&](const tavi::Variant& r) { log.push_back("after " + r.cast<std::string>()); });
    const tavi::Variant args[] = {tavi::Variant(1), tavi::Variant(std::string("two"))};
    notify::methodAboutToBeInvoked(pa, 2, args, {}, {});
    notify::methodInvoked(pa, 2, args, tavi::Variant(std::string("done")), {}, {});
    EXPECT_EQ(log, (Log{"before 2 two", "after done"}));
}

struct Twice final : MetaProperty::Method::Function {
    void call(tavi::Variant& result, const BoundProperty&, SetterFlags, size_t count,
              const tavi::Variant* args) const override {
        if (count == 1)
            result = tavi::Variant(2 * args[0].cast<int32_t>());
    }
    size_t arity() const override { return 1; }
};

TEST(MetaPropertyMethod, CopiesShareTheCallableAndTravelInVariants) {
    TestMetaObject meta(typeid(Point), "P");
    const MetaProperty::Method method(std::make_shared<Twice>());
    const auto copy = TestMetaProperty(&meta, std::string("twice"), method).clone();
    EXPECT_EQ(copy->method(), method);
    const tavi::Variant arg(int32_t(21));
    EXPECT_EQ(copy->method()(BoundProperty(), {}, 1, &arg), tavi::Variant(int32_t(42)));
    EXPECT_THROW(MetaProperty::Method()(BoundProperty(), {}, 0, nullptr), std::bad_function_call);
    EXPECT_STREQ(tavi::Variant(method).typeName(), "Method");
    EXPECT_EQ(tavi::Variant(method), tavi::Variant(method));
}

TEST_F(PointTypes, HandlesDegradeWhenTheDescriptionGoes) {
    Point p;
    auto extra = std::make_shared<TestMetaProperty>(&point, std::string("extra"));
    point.add(extra);
    const BoundProperty handle = bind(&p, 2);
    point.dropLast();
    EXPECT_EQ(handle.name(), "extra"); // still referenced here
    extra.reset();
    EXPECT_FALSE(handle.isValid());
    EXPECT_EQ(handle.name(), "");
    EXPECT_EQ(handle.visibility(), HIDDEN);
    EXPECT_TRUE(handle.get().isVoid());
}

TEST(FuzzyFunction, BehavesAsStdFunctionAndAdaptsShorterCallables) {
    EXPECT_THROW(PointGetter()(BoundProperty()), std::bad_function_call);
    // Getters of a compiled type wrap whatever they return into a Variant.
    EXPECT_EQ(PointGetter([] { return std::string("fixed"); })(BoundProperty()),
              tavi::Variant(std::string("fixed")));

    // Enumerators returning nothing never stop.
    using PropertyEnumerator =
        FuzzyFunction<bool(const BoundProperty&), ReflectedObject::PropertyEnumeratorArgumentsConvertor>;
    int calls = 0;
    EXPECT_TRUE(PropertyEnumerator([&calls] { ++calls; })(BoundProperty()));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(PropertyEnumerator([](const ReflectedObject& o) { return o.isValid(); })(BoundProperty()));
}

} // namespace
