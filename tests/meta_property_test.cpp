#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/meta_items.hpp"
#include "shared_libs/reflection/meta_property.hpp"
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

template <class T>
TestMetaObject::Matcher exactly() {
    return [](const tavi::Variant& v) { return v.typeId() == typeid(T); };
}

using PointGetter = FuzzyFunction<tavi::Variant(const BoundProperty&), MetaPropertyArgumentsConvertor<Point>>;
using PointSetter = FuzzyFunction<void(const BoundProperty&, const tavi::Variant&, SetterFlags),
                                  MetaPropertySetterArgumentsConvertor<Point>>;

long long baseOffset() {
    Marker m;
    return reinterpret_cast<char*>(&m) - reinterpret_cast<char*>(static_cast<Point*>(&m));
}

// Point (x, label), Marker deriving from Padding and Point, and Unrelated
// sharing Point's meta property for x.
class PointTypes : public ::testing::Test {
protected:
    PointTypes()
        : point(typeid(Point), "Point", {}, exactly<Point>()),
          padding(typeid(mp_test::Padding), "Padding", {}, exactly<mp_test::Padding>()),
          marker(typeid(Marker), "Marker", {{&padding, 0}, {&point, baseOffset()}}, exactly<Marker>()),
          unrelated(typeid(Unrelated), "Unrelated", {}, exactly<Unrelated>()) {
        x = std::make_shared<TestMetaProperty>(
            &point, tavi::Variant(std::string("x")), Annotations{},
            PointGetter([](const Point* p) { return p->x; }),
            PointSetter([](Point* p, float value) { p->x = value; }), typeid(float));
        label = std::make_shared<TestMetaProperty>(
            &point, tavi::Variant(std::string("label")), Annotations{},
            PointGetter([](const Point* p) { return p->label; }),
            PointSetter([](Point* p, const std::string& value) { p->label = value; }), typeid(std::string));
        point.add(x);
        point.add(label);
        unrelated.add(x);
    }

    TestMetaObject point, padding, marker, unrelated;
    Registration r1{point}, r2{padding}, r3{marker}, r4{unrelated};
    std::shared_ptr<TestMetaProperty> x, label;
};

TEST_F(PointTypes, GetterReceivesTheBaseSubObjectOfADerivedInstance) {
    Marker m;
    m.x = 4.25f;
    const ReflectedObject object{tavi::Variant(&m)};
    ASSERT_EQ(object.metaObject(), &marker);
    const BoundProperty px = object.propertyAt(0);
    ASSERT_TRUE(px.isValid());
    EXPECT_EQ(px.name(), "x");
    EXPECT_EQ(px.get(), tavi::Variant(4.25f));

    PointSetter setter([](Point* p, float value) { p->x = value; });
    setter(px, tavi::Variant(2.0f), {});
    EXPECT_EQ(m.x, 2.0f);
}

TEST_F(PointTypes, GetterOnAnUnrelatedInstanceReportsTheCast) {
    Unrelated u;
    const BoundProperty px = ReflectedObject(tavi::Variant(&u)).propertyAt(0);
    ASSERT_TRUE(px.isValid());
    try {
        px.metaProperty()->getter()(px);
        FAIL() << "expected FuzzyArgumentException";
    } catch (const FuzzyArgumentException& error) {
        EXPECT_STREQ(error.what(), "failed to cast ReflectedObject of 'Unrelated' to 'mp_test::Point'");
    }
    Kor::MessageCapture capture;
    EXPECT_TRUE(px.get().isVoid());
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text,
              "Error getting property 'x': failed to cast ReflectedObject of 'Unrelated' to 'mp_test::Point'");
    EXPECT_EQ(capture.messages()[0].priority, 5);
}

TEST_F(PointTypes, ConstInstanceCannotFeedAMutableSetter) {
    Point p;
    const ReflectedObject object{tavi::Variant(static_cast<const Point*>(&p))};
    ASSERT_TRUE(object.isValid());
    EXPECT_TRUE(object.isConst());
    const BoundProperty px = object.propertyAt(0);
    EXPECT_TRUE(px.isConst());
    EXPECT_EQ(px.get(), tavi::Variant(1.5f)); // reading through const is fine
    EXPECT_THROW(px.metaProperty()->setter()(px, tavi::Variant(3.0f), {}), FuzzyArgumentException);
    EXPECT_EQ(p.x, 1.5f);
}

TEST_F(PointTypes, SetterValueIsTakenDirectlyOrConverted) {
    Point p;
    const BoundProperty plabel = ReflectedObject(tavi::Variant(&p)).propertyAt(1);
    const auto& set = plabel.metaProperty()->setter();
    set(plabel, tavi::Variant(std::string("direct")), {});
    EXPECT_EQ(p.label, "direct");
    set(plabel, tavi::Variant(int32_t(42)), {});
    EXPECT_EQ(p.label, "42");
    try {
        set(plabel, tavi::Variant(mp_test::NoText{}), {});
        FAIL() << "expected FuzzyArgumentException";
    } catch (const FuzzyArgumentException& error) {
        EXPECT_EQ(std::string(error.what()),
                  "failed to cast Variant of '" + std::string(tavi::Variant(mp_test::NoText{}).typeName()) +
                      "' to 'std::string'");
    }
    EXPECT_EQ(p.label, "42");
}

TEST(ThrowCastError, ThreeMessages) {
    TestMetaObject meta(typeid(Point), "Named");
    auto message = [](auto&& thrower) {
        try {
            thrower();
        } catch (const FuzzyArgumentException& error) {
            return std::string(error.what());
        }
        return std::string("<nothing thrown>");
    };
    EXPECT_EQ(message([&] { meta_property_details::throwCastError(&meta, "Target"); }),
              "failed to cast ReflectedObject of 'Named' to 'Target'");
    EXPECT_EQ(message([] { meta_property_details::throwCastError(static_cast<const MetaObject*>(nullptr), "T"); }),
              "failed to cast invalid ReflectedObject to 'T'");
    EXPECT_EQ(message([] { meta_property_details::throwCastError(tavi::MetaType::of<float>(), "Vector3"); }),
              "failed to cast Variant of 'float' to 'Vector3'");
}

TEST(MetaPropertyName, ComesFromTheKey) {
    TestMetaObject meta(typeid(Point), "P");
    EXPECT_EQ(TestMetaProperty(&meta, tavi::Variant(std::string("speed"))).name(), "speed");
    EXPECT_EQ(TestMetaProperty(&meta, tavi::Variant(int32_t(42))).name(), "42");
    EXPECT_THROW(TestMetaProperty(&meta, tavi::Variant(mp_test::NoText{})), tavi::CastError);

    Kor::MessageCapture capture;
    TestMetaProperty empty(&meta, tavi::Variant(std::string()));
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: !m_name.empty()\r\n"));
}

class Visibility : public ::testing::Test {
protected:
    BoundProperty bind(tavi::Variant key, Annotations annotations = {}) {
        auto property = std::make_shared<TestMetaProperty>(&meta, std::move(key), std::move(annotations));
        meta.add(property);
        return ReflectedObject(tavi::Variant(&instance)).propertyAt(meta.propertyCount(test::anyObject()) - 1);
    }

    Point instance;
    TestMetaObject meta{typeid(Point), "Point", {}, exactly<Point>()};
    Registration registration{meta};
};

TEST_F(Visibility, UnderscoreNamesAreHiddenUnlessTheyDeclareTheirOwn) {
    const BoundProperty hidden = bind(tavi::Variant(std::string("_internal")));
    EXPECT_EQ(hidden.visibility(), HIDDEN);

    const BoundProperty declared =
        bind(tavi::Variant(std::string("_shown")), {tavi::Variant(Meta::Visible(VISIBLE_EVERYWHERE))});
    EXPECT_EQ(declared.visibility(), VISIBLE_EVERYWHERE);
    EXPECT_EQ(std::distance(declared.annotations().begin(), declared.annotations().end()), 1);

    EXPECT_EQ(bind(tavi::Variant(std::string("plain"))).visibility(), VISIBLE_EVERYWHERE);
}

TEST_F(Visibility, IsTheIntersectionOfAllRules) {
    const BoundProperty p = bind(tavi::Variant(std::string("p")),
                                 {tavi::Variant(Meta::Visible(VisibilityFlags(3u))),
                                  tavi::Variant(Meta::Visible([] { return VisibilityFlag::Outliner; })),
                                  tavi::Variant(Meta::Visible(VisibilityFlags(6u)))});
    EXPECT_EQ(p.visibility(), HIDDEN); // 3 & 4 & 6
    const BoundProperty q = bind(tavi::Variant(std::string("q")),
                                 {tavi::Variant(Meta::Visible(VisibilityFlags(3u))),
                                  tavi::Variant(Meta::Visible([](const ReflectedObject& o) {
                                      return o.isValid() ? VisibilityFlags(6u) : HIDDEN;
                                  }))});
    EXPECT_EQ(q.visibility(), VisibilityFlags(2u));
    EXPECT_EQ(BoundProperty().visibility(), HIDDEN);

    const BoundProperty broken = bind(tavi::Variant(std::string("broken")), {tavi::Variant(Meta::Visible())});
    EXPECT_THROW(broken.visibility(), std::bad_function_call);
}

struct Calls {
    std::vector<std::string> log;
};

TEST_F(PointTypes, PerObjectSlotsRunBeforeGlobalOnesAndOnlyForTheirInstance) {
    Point a, b;
    const BoundProperty pa = ReflectedObject(tavi::Variant(&a)).propertyAt(0);
    const BoundProperty pb = ReflectedObject(tavi::Variant(&b)).propertyAt(0);
    Calls calls;
    // Through the base: the per-handle overrides hide the global connectors.
    auto global = static_cast<const MetaProperty&>(*x).connectPropertyChanged([&](const BoundProperty& p, NotifyFlags n) {
        calls.log.push_back("global " + std::string(&p == &pa || p == pa ? "a" : "b") + " " +
                            std::to_string(n.value()));
    });
    auto perObject = pa.connectPropertyChanged([&](const ReflectedObject& o, SetterFlags s) {
        calls.log.push_back(std::string("object ") + (o == pa.object() ? "a" : "?") + " " +
                            std::to_string(s.value()));
    });
    x->deliver(pa, SetterFlag::Intermediate, NotifyFlag::Value);
    x->deliver(pb, {}, NotifyFlag::Sources);
    x->announce(pa, {}, NotifyFlag::Value); // about-to signals are separate
    EXPECT_EQ(calls.log, (std::vector<std::string>{"object a 1", "global a 1", "global b 2"}));

    // The clone shares the description but none of the connections.
    const auto copy = std::static_pointer_cast<TestMetaProperty>(x->clone());
    EXPECT_EQ(copy->key(), x->key());
    EXPECT_EQ(copy->name(), "x");
    EXPECT_EQ(copy->propertyType(), typeid(float));
    EXPECT_TRUE(copy->getter() && copy->setter());
    calls.log.clear();
    copy->deliver(pa, {}, NotifyFlag::Value);
    EXPECT_TRUE(calls.log.empty());
    global.disconnect();
    perObject.disconnect();
}

TEST_F(PointTypes, MethodSignalsCarryArgumentsAndResult) {
    Point a;
    const BoundProperty pa = ReflectedObject(tavi::Variant(&a)).propertyAt(0);
    std::vector<std::string> log;
    auto before = pa.connectMethodAboutToBeInvoked([&](size_t count, const tavi::Variant* args) {
        log.push_back("before " + std::to_string(count) + " " + args[1].cast<std::string>());
    });
    auto after = static_cast<const MetaProperty&>(*x).connectMethodInvoked([&](const tavi::Variant& result) {
        log.push_back("after " + result.cast<std::string>());
    });
    const tavi::Variant args[] = {tavi::Variant(1), tavi::Variant(std::string("two"))};
    x->announceCall(pa, 2, args, {}, {});
    x->deliverCall(pa, 2, args, tavi::Variant(std::string("done")), {}, {});
    EXPECT_EQ(log, (std::vector<std::string>{"before 2 two", "after done"}));
    before.disconnect();
    after.disconnect();
}

struct Twice final : MetaProperty::Method::Function {
    tavi::Variant call(const BoundProperty&, SetterFlags, size_t count, const tavi::Variant* args) const override {
        return count == 1 ? tavi::Variant(2 * args[0].cast<int32_t>()) : tavi::Variant();
    }
    size_t arity() const override { return 1; }
};

TEST(MetaPropertyMethod, CopiesShareTheCallableAndTravelInVariants) {
    TestMetaObject meta(typeid(Point), "P");
    const MetaProperty::Method method(std::make_shared<Twice>());
    TestMetaProperty property(&meta, tavi::Variant(std::string("twice")), method);
    const auto copy = property.clone();
    EXPECT_EQ(copy->method(), property.method());
    EXPECT_EQ(copy->method().function(), method.function());
    const tavi::Variant arg(int32_t(21));
    EXPECT_EQ(copy->method()(BoundProperty(), {}, 1, &arg), tavi::Variant(int32_t(42)));
    EXPECT_THROW(MetaProperty::Method()(BoundProperty(), {}, 0, nullptr), std::bad_function_call);

    const tavi::Variant held(method);
    EXPECT_STREQ(held.typeName(), "Method");
    EXPECT_EQ(held.type()->size(), 16u);
    EXPECT_EQ(held, tavi::Variant(method));
}

TEST_F(PointTypes, HandlesDegradeWhenTheDescriptionGoes) {
    Point p;
    auto extra = std::make_shared<TestMetaProperty>(&point, tavi::Variant(std::string("extra")));
    point.add(extra);
    const BoundProperty handle = ReflectedObject(tavi::Variant(&p)).propertyAt(2);
    ASSERT_TRUE(handle.isValid());
    EXPECT_EQ(handle.name(), "extra");
    point.dropLast();
    EXPECT_TRUE(handle.isValid()); // still referenced here
    extra.reset();
    EXPECT_FALSE(handle.isValid());
    EXPECT_EQ(handle.name(), "");
    EXPECT_EQ(handle.propertyType(), typeid(void));
    EXPECT_TRUE(handle.isConst());
    EXPECT_EQ(handle.visibility(), HIDDEN);
    EXPECT_TRUE(handle.get().isVoid());
}

TEST_F(PointTypes, WrongIndexGivesAnInvalidHandle) {
    Point p;
    Kor::MessageCapture capture;
    const BoundProperty handle = ReflectedObject(tavi::Variant(&p)).propertyAt(9);
    EXPECT_FALSE(handle.isValid());
    EXPECT_EQ(handle.name(), "");
    EXPECT_TRUE(capture.contains("Property creation from wrong index"));
    EXPECT_EQ(BoundProperty(), BoundProperty());
}

TEST_F(PointTypes, EqualHandlesHashEqually) {
    Point a, b;
    const ReflectedObject oa{tavi::Variant(&a)};
    EXPECT_EQ(oa.propertyAt(0), ReflectedObject(tavi::Variant(&a)).propertyAt(0));
    EXPECT_EQ(oa.propertyAt(0).hash(), ReflectedObject(tavi::Variant(&a)).propertyAt(0).hash());
    EXPECT_NE(oa.propertyAt(0), oa.propertyAt(1));
    EXPECT_NE(oa.propertyAt(0), ReflectedObject(tavi::Variant(&b)).propertyAt(0));
}

} // namespace

namespace {

TEST(FuzzyFunction, BehavesAsStdFunctionAndAdaptsShorterCallables) {
    using Enumerator = orv::FuzzyFunction<int(const std::string&, int), orv::DefaultArgumentsConvertor>;
    Enumerator empty;
    EXPECT_FALSE(empty);
    EXPECT_THROW(empty("a", 1), std::bad_function_call);
    Enumerator exact = [](const std::string& s, int n) { return int(s.size()) + n; };
    Enumerator dropFirst = [](int n) { return n * 10; };
    Enumerator dropAll = [] { return 7; };
    Enumerator copy = dropFirst;
    EXPECT_EQ(exact("abc", 1), 4);
    EXPECT_EQ(copy("ignored", 2), 20);
    EXPECT_EQ(dropAll("x", 9), 7);
    copy = nullptr;
    EXPECT_FALSE(copy);

    // Getters of a compiled type wrap whatever they return into a Variant.
    using Getter = orv::FuzzyFunction<tavi::Variant(const orv::BoundProperty&),
                                      orv::MetaPropertyArgumentsConvertor<mp_test::Point>>;
    Getter constant = [] { return std::string("fixed"); };
    EXPECT_EQ(constant(orv::BoundProperty()), tavi::Variant(std::string("fixed")));
}

} // namespace

namespace {

TEST(FuzzyFunction, EnumeratorsReturningNothingNeverStop) {
    using Enumerator =
        orv::FuzzyFunction<bool(const orv::BoundProperty&), orv::ReflectedObject::PropertyEnumeratorArgumentsConvertor>;
    int calls = 0;
    Enumerator quiet = [&calls] { ++calls; };
    Enumerator stopper = [](const orv::ReflectedObject& object) { return object.isValid(); };
    EXPECT_TRUE(quiet(orv::BoundProperty()));
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(stopper(orv::BoundProperty()));
}

} // namespace
