#include "shared_libs/reflection/static_meta_object.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/math/vector.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/editor_meta_items.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/multi_selection/reduce_map.hpp"
#include "shared_libs/reflection/notifyable_meta_property.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace smo_test {

struct A {
    int x = 1;
    int y = 2;
};
struct B : A {
    int z = 3;
};
struct Override : A {
    int other = 20;
};
struct P {
    int x = 10;
};
struct Q {
    int x = 20;
    int q = 30;
};
struct PQ : P, Q {};

struct Shape {
    virtual ~Shape() = default;
    float area() const { return 12.5f; }
    std::string name = "shape";
};

struct Widget : Shape {
    float radius = 1;
    const int id = 7;
    Kor::Vector3 center;
    std::string label;
    int setCalls = 0;
    std::function<std::string(const std::string&)> greet = [](const std::string& who) { return "hi " + who; };

    const Kor::Vector3& getCenter() const { return center; }
    void setCenter(const Kor::Vector3& value) {
        center = value;
        ++setCalls;
    }
    float scaled(float factor) const { return radius * factor; }
    void grow(float by) { radius += by; }
};

struct Lens {
    float focal = 35;
};
struct Rig {
    Lens lens;
    Lens spare;
    int reduced = 0;
    int mode = 0;
};

// Declared, and named nowhere but in its declaration.
struct Hidden : Shape {
    int secret = 5;
};

int s_reduceMapsMade = 0;

} // namespace smo_test

using namespace smo_test;

template <>
struct orv::TypeDeclaration<Lens> {
    static void declare(Builder<Lens>& type) { type.property("focal", &Lens::focal); }
};

template <>
struct orv::TypeDeclaration<Rig> {
    static void declare(Builder<Rig>& type) {
        type.group(Meta::Group("Optics"),
                   [](auto& optics) {
                       optics.object("lens", &Rig::lens).group(Meta::ToolTip("a copy"), [](auto& copies) {
                           copies.property(
                               "spare", [](const Rig* rig) { return rig->spare; },
                               [](Rig* rig, const Lens& lens) { rig->spare = lens; });
                       });
                   })
            // Callable, yet an annotation: the data member keeps its own setter.
            .property("reduced", &Rig::reduced, Meta::MultiSelection::ReduceMap([] {
                          ++s_reduceMapsMade;
                          return std::make_unique<EqualReduceMap>();
                      }))
            .push(Meta::Group("legacy"))
            .property("mode", &Rig::mode);
        META_POP(type);
    }
};

template <>
struct orv::TypeDeclaration<Hidden> {
    using Bases = orv::Bases<Shape>;
    static void declare(Builder<Hidden>& type) { type.property("secret", &Hidden::secret); }
};

template <>
struct orv::TypeDeclaration<A> {
    static void declare(Builder<A>& type) { type.property("x", &A::x).property("y", &A::y); }
};
template <>
struct orv::TypeDeclaration<B> {
    using Bases = orv::Bases<A>;
    static void declare(Builder<B>& type) { type.property("z", &B::z); }
};
template <>
struct orv::TypeDeclaration<Override> {
    using Bases = orv::Bases<A>;
    static void declare(Builder<Override>& type) { type.property("y", &Override::other); }
};
template <>
struct orv::TypeDeclaration<P> {
    static void declare(Builder<P>& type) { type.property("x", &P::x); }
};
template <>
struct orv::TypeDeclaration<Q> {
    static void declare(Builder<Q>& type) { type.property("x", &Q::x).property("q", &Q::q); }
};
template <>
struct orv::TypeDeclaration<PQ> {
    using Bases = orv::Bases<P, Q>;
    static void declare(Builder<PQ>&) {}
};

template <>
struct orv::TypeDeclaration<Shape> {
    static void declare(Builder<Shape>& type) {
        type.annotate(Meta::ToolTip("any shape"))
            .property("name", &Shape::name)
            .property("area", &Shape::area);
    }
};

template <>
struct orv::TypeDeclaration<Widget> {
    static constexpr const char* name = "Widget";
    using Bases = orv::Bases<Shape>;
    static void declare(Builder<Widget>& type) {
        type.annotate(Meta::ToolTip("a widget"))
            .property("radius", &Widget::radius, Meta::Label::Text("Radius"))
            .property("id", &Widget::id)
            .property("center", &Widget::getCenter, &Widget::setCenter)
            .property("diameter", [](const Widget* w) { return 2 * w->radius; })
            .property(
                "label", [](const Widget* w) { return w->label; },
                [](Widget* w, const std::string& value) { w->label = value + "!"; },
                Annotations{Meta::Precision(1)})
            .push(Meta::Group("Advanced"))
            .method("scaled", &Widget::scaled)
            .push(Meta::ToolTip("nested"))
            .method("grow", &Widget::grow)
            .pop()
            .method("greet", &Widget::greet)
            .pop()
            .method("describe", [](const Widget* w, int n) { return w->name + std::to_string(n); });
    }
};

namespace {

using namespace orv;

// Widgets reached through a Shape pointer find their own type.

std::vector<std::string> names(const MetaObject& meta) {
    std::vector<std::string> result;
    const ReflectedObject none;
    for (size_t i = 0; i < meta.propertyCount(none); ++i)
        result.push_back(meta.property(none, i, nullptr)->name());
    return result;
}

size_t indexOf(const MetaObject& meta, const char* key) {
    return meta.indexOfProperty(ReflectedObject(), tavi::Variant(std::string(key)));
}

BoundProperty bind(const ReflectedObject& object, const char* key) {
    return object.findPropertyByKey(tavi::Variant(std::string(key)));
}

void set(const BoundProperty& property, const tavi::Variant& value) {
    property.metaProperty()->setter()(property, value, {});
}

template <class... V>
tavi::Variant call(const BoundProperty& property, V... values) {
    const tavi::Variant arguments[] = {tavi::Variant(), tavi::Variant(values)...};
    return property.metaProperty()->method()(property, {}, sizeof...(V), arguments + 1);
}

template <class Error, class F>
std::string errorOf(F&& f) {
    try {
        f();
    } catch (const Error& error) {
        return error.what();
    }
    return "<nothing thrown>";
}

// --- the property list ---

TEST(StaticMetaObjectList, InheritedPropertiesComeFirstAndKeepTheirIndices) {
    const MetaObject& b = metaObjectOf<B>();
    const MetaObject& a = metaObjectOf<A>();
    EXPECT_EQ(names(b), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(indexOf(b, "z"), 2u);
    EXPECT_EQ(indexOf(b, "x"), 0u);
    EXPECT_EQ(indexOf(b, "none"), MetaObject::INVALID_INDEX);
    EXPECT_EQ(b.firstSelfProperty(ReflectedObject()), 2u);
    EXPECT_EQ(b.property(ReflectedObject(), 1, nullptr), a.property(ReflectedObject(), 1, nullptr));
    EXPECT_EQ(b.flags(), 1);
    EXPECT_EQ(b.name(), "smo_test::B");

    size_t remaining = 0;
    EXPECT_EQ(b.property(ReflectedObject(), 5, &remaining), nullptr);
    EXPECT_EQ(remaining, 2u);
}

TEST(StaticMetaObjectList, AnOverrideTakesTheInheritedPlaceAndTheFirstBaseWinsAKey) {
    const MetaObject& derived = metaObjectOf<Override>();
    EXPECT_EQ(names(derived), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(indexOf(derived, "y"), 1u);
    EXPECT_EQ(derived.property(ReflectedObject(), 1, nullptr)->metaObject(), &derived);
    EXPECT_EQ(metaObjectOf<A>().property(ReflectedObject(), 1, nullptr)->metaObject(), &metaObjectOf<A>());

    Override overriding;
    EXPECT_EQ(bind(reflect(overriding), "y").get(), tavi::Variant(20));

    // Of two bases declaring a key, the first wins; offsets reach each base.
    const MetaObject& pq = metaObjectOf<PQ>();
    EXPECT_EQ(names(pq), (std::vector<std::string>{"x", "q"}));
    EXPECT_EQ(pq.property(ReflectedObject(), 0, nullptr)->metaObject(), &metaObjectOf<P>());

    PQ instance;
    const long long qOffset =
        reinterpret_cast<char*>(&instance) - reinterpret_cast<char*>(static_cast<Q*>(&instance));
    ASSERT_EQ(pq.baseClasses().size(), 2u);
    EXPECT_EQ(pq.baseClasses()[0].offset(), 0);
    EXPECT_EQ(pq.baseClasses()[1].offset(), qOffset);
    EXPECT_NE(qOffset, 0);

    const ReflectedObject object = reflect(instance);
    EXPECT_EQ(bind(object, "x").get(), tavi::Variant(10));
    EXPECT_EQ(bind(object, "q").get(), tavi::Variant(30));
}

// A list meta object whose entries a test adds and removes.
template <int N>
class ListMeta : public BaseStaticMetaObject<N> {
public:
    explicit ListMeta(std::vector<MetaObject::BaseClass> bases = {})
        : BaseStaticMetaObject<N>(typeid(ListMeta), "List", {}, std::move(bases)) {}
    tavi::Variant create() override { return {}; }
    bool objectMatches(const tavi::Variant&) const override { return false; }
    std::shared_ptr<ObjectData> objectData(const tavi::Variant&) override { return nullptr; }

    using BaseStaticMetaObject<N>::addProperty;
    using BaseStaticMetaObject<N>::removeProperty;
    std::shared_ptr<MetaProperty> add(const char* key) {
        return addProperty(std::make_shared<NotifyableMetaProperty<0>>(
            this, typeid(int), typeid(int), tavi::Variant(std::string(key)), Annotations{},
            MetaProperty::Getter(), MetaProperty::Setter()));
    }
};

template <class Meta>
class StaticMetaObjectEdits : public ::testing::Test {};
using ListKinds = ::testing::Types<ListMeta<0>, ListMeta<1>>;
TYPED_TEST_SUITE(StaticMetaObjectEdits, ListKinds);

TYPED_TEST(StaticMetaObjectEdits, RemovingMovesLaterEntriesDown) {
    TypeParam list;
    list.add("a");
    list.add("b");
    list.add("c");
    EXPECT_EQ(list.flags(), 1);
    EXPECT_TRUE(list.removeProperty(tavi::Variant(std::string("a"))));
    EXPECT_FALSE(list.removeProperty(tavi::Variant(std::string("a"))));
    EXPECT_EQ(names(list), (std::vector<std::string>{"b", "c"}));
    EXPECT_EQ(indexOf(list, "c"), 1u);

    Kor::MessageCapture capture;
    EXPECT_EQ(list.addProperty(std::shared_ptr<MetaProperty>()), nullptr);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: prop\r\n"));
    EXPECT_EQ(list.propertyCount(ReflectedObject()), 2u);
}

TEST(StaticMetaObjectEdits, AMissingBaseIsReported) {
    Kor::MessageCapture capture;
    ListMeta<0> list({MetaObject::BaseClass(nullptr, 0)});
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: baseClass.metaObject()\r\n"));
    EXPECT_EQ(list.propertyCount(ReflectedObject()), 0u);
}

// --- declared members ---

TEST(StaticMetaObjectBuilder, DataMembersAndAccessorPairsReadAndWrite) {
    Widget w;
    const ReflectedObject object = reflect(w);
    ASSERT_EQ(object.metaObject(), &metaObjectOf<Widget>());
    EXPECT_EQ(names(metaObjectOf<Widget>()),
              (std::vector<std::string>{"name", "area", "radius", "id", "center", "diameter", "label",
                                        "scaled", "grow", "greet", "describe"}));

    const BoundProperty radius = bind(object, "radius");
    EXPECT_EQ(radius.propertyType(), typeid(float));
    set(radius, tavi::Variant(2.5f));
    EXPECT_EQ(w.radius, 2.5f);
    set(radius, tavi::Variant(int32_t(4))); // converted
    EXPECT_EQ(radius.get(), tavi::Variant(4.0f));
    EXPECT_THROW(set(radius, tavi::Variant(Kor::Vector3(1, 2, 3))), FuzzyArgumentException);
    EXPECT_EQ(w.radius, 4.0f);

    const BoundProperty center = bind(object, "center");
    EXPECT_EQ(center.propertyType(), typeid(Kor::Vector3));
    set(center, tavi::Variant(Kor::Vector3(1, 2, 3)));
    EXPECT_EQ(w.setCalls, 1);
    EXPECT_EQ(center.get(), tavi::Variant(Kor::Vector3(1, 2, 3)));

    const BoundProperty name = bind(object, "name"); // declared on the base
    set(name, tavi::Variant(std::string("wheel")));
    EXPECT_EQ(w.name, "wheel");

    const BoundProperty label = bind(object, "label");
    set(label, tavi::Variant(std::string("big")));
    EXPECT_EQ(label.get(), tavi::Variant(std::string("big!")));
}

TEST(StaticMetaObjectBuilder, ConstMembersAndGettersWithoutSettersAreReadOnly) {
    Widget w;
    w.radius = 3;
    const ReflectedObject object = reflect(w);
    const std::pair<const char*, tavi::Variant> readOnly[] = {
        {"id", tavi::Variant(7)}, {"area", tavi::Variant(12.5f)}, {"diameter", tavi::Variant(6.0f)}};
    for (const auto& [key, value] : readOnly) {
        SCOPED_TRACE(key);
        const BoundProperty property = bind(object, key);
        EXPECT_FALSE(property.metaProperty()->setter());
        EXPECT_TRUE(property.isConst());
        EXPECT_EQ(property.get(), value); // a Variant of another type would differ
    }
}

TEST(StaticMetaObjectBuilder, ObjectsHeldThroughABaseFindTheirType) {
    Widget w;
    w.radius = 5;
    const ReflectedObject object(tavi::Variant(static_cast<Shape*>(&w)));
    EXPECT_EQ(object.metaObject(), &metaObjectOf<Widget>());
    EXPECT_EQ(bind(object, "radius").get(), tavi::Variant(5.0f));
    EXPECT_EQ(MetaObjectManager::instance().findType("Widget"), &metaObjectOf<Widget>());

    const tavi::Variant created = metaObjectOf<Widget>().create();
    ASSERT_NE(created.castPtr<Widget>(), nullptr);
    EXPECT_EQ(created.castPtr<Widget>()->id, 7);
    EXPECT_TRUE(metaObjectOf<Widget>().objectMatches(tavi::Variant(static_cast<const Widget*>(&w))));
    EXPECT_FALSE(metaObjectOf<Widget>().objectMatches(tavi::Variant(1)));

    // Every declared type is registered when its module loads: a type nobody
    // reflected directly is already found through a Shape pointer.
    Hidden hidden;
    const ReflectedObject unnamed(tavi::Variant(static_cast<Shape*>(&hidden)));
    ASSERT_TRUE(unnamed.isValid());
    EXPECT_EQ(unnamed.type(), typeid(Hidden));
    EXPECT_EQ(unnamed.propertyCount(), 3u);
    EXPECT_EQ(bind(unnamed, "secret").get(), tavi::Variant(5));
    EXPECT_EQ(MetaObjectManager::instance().findType("smo_test::Hidden"), unnamed.metaObject());
}

TEST(StaticMetaObjectBuilder, MethodsConvertTheirArguments) {
    Widget w;
    w.radius = 2;
    const ReflectedObject object = reflect(w);
    const BoundProperty scaled = bind(object, "scaled");
    EXPECT_TRUE(scaled.isMethod());
    EXPECT_EQ(scaled.propertyType(), typeid(MetaProperty::Method));
    EXPECT_EQ(scaled.metaProperty()->method().function()->arity(), 1u);
    EXPECT_EQ(call(scaled, 1.5f), tavi::Variant(3.0f));
    EXPECT_EQ(call(scaled, int32_t(3)), tavi::Variant(6.0f));
    EXPECT_EQ(call(scaled, std::string("0.25")), tavi::Variant(0.5f));
    EXPECT_EQ(errorOf<GenericFunctionError>([&] { call(scaled, Kor::Vector3()); }),
              "failed to cast argument 0 of 'Vector3' to 'float'");
    EXPECT_EQ(errorOf<GenericFunctionError>([&] { call(scaled, 1.0f, 2.0f); }),
              "function accepts 1 args, but 2 were passed");

    EXPECT_TRUE(call(bind(object, "grow"), 1.0f).isVoid());
    EXPECT_EQ(w.radius, 3.0f);
    EXPECT_EQ(call(bind(object, "greet"), std::string("bob")), tavi::Variant(std::string("hi bob")));
    EXPECT_EQ(call(bind(object, "describe"), int32_t(4)), tavi::Variant(std::string("shape4")));

    // A mutating method cannot be called on a const instance.
    const ReflectedObject constant = reflect(static_cast<const Widget&>(w));
    EXPECT_THROW(call(bind(constant, "grow"), 1.0f), FuzzyArgumentException);
    EXPECT_EQ(w.radius, 3.0f);
}

TEST(StaticMetaObjectBuilder, MembersTakeTheEnclosingScopesAnnotationsAndGroupsNest) {
    const MetaObject& widget = metaObjectOf<Widget>();
    const MetaObject& rig = metaObjectOf<Rig>();
    EXPECT_EQ(names(rig), (std::vector<std::string>{"lens", "spare", "reduced", "mode"}));
    const auto annotationsOf = [](const MetaObject& meta, const char* key) {
        return meta.property(ReflectedObject(), indexOf(meta, key), nullptr)->annotations();
    };
    const struct {
        const MetaObject& meta;
        const char* key;
        bool group, toolTip;
    } scopes[] = {
        {widget, "radius", false, false}, {widget, "scaled", true, false},    {widget, "grow", true, true},
        {widget, "greet", true, false},   {widget, "describe", false, false}, {rig, "lens", true, false},
        {rig, "spare", true, true},       {rig, "reduced", false, false},
    };
    for (const auto& scope : scopes) {
        SCOPED_TRACE(scope.key);
        const Annotations annotations = annotationsOf(scope.meta, scope.key);
        EXPECT_EQ(hasAnnotation<Meta::Group>(annotations), scope.group);
        EXPECT_EQ(hasAnnotation<Meta::ToolTip>(annotations), scope.toolTip);
    }
    EXPECT_TRUE(hasAnnotation<Meta::Label::Text>(annotationsOf(widget, "radius")));
    EXPECT_TRUE(hasAnnotation<Meta::Precision>(annotationsOf(widget, "label")));
    const Annotations mode = annotationsOf(rig, "mode");
    EXPECT_EQ(findAnnotation<Meta::Group>(mode)->name()(BoundProperty()), "legacy");

    // The type's own annotations, then the base's.
    std::vector<std::string> tips;
    for (const Meta::ToolTip& tip : orv::annotationsOf<Meta::ToolTip>(metaObjectOf<Widget>().annotations({})))
        tips.push_back(tip.function(BoundProperty()));
    EXPECT_EQ(tips, (std::vector<std::string>{"a widget", "any shape"}));
}

// An annotation that can be called is not taken for a setter: the property
// stays writable through its data member and the annotation is kept.
TEST(StaticMetaObjectBuilder, CallableAnnotationsAreNotSetters) {
    Rig rig;
    const BoundProperty reduced = bind(reflect(rig), "reduced");
    EXPECT_TRUE(reduced.set(4));
    EXPECT_EQ(rig.reduced, 4);
    s_reduceMapsMade = 0;
    EXPECT_NE(reduced.reduceMapFactory()(), nullptr);
    EXPECT_EQ(s_reduceMapsMade, 1);
}

// --- generic functions ---

TEST(GenericFunction, OutParametersAndIdentityWrappers) {
    using Function = BasicGenericFunction<int>;
    const auto append = Function::wrap<size_t(std::string&, const std::string&)>(
        [](int times, std::string& text, const std::string& tail) {
            for (int i = 0; i < times; ++i)
                text += tail;
            return text.size();
        });
    std::string text = "a";
    const tavi::Variant byPointer[] = {tavi::Variant(&text), tavi::Variant(std::string("b"))};
    tavi::Variant result;
    append->call(result, 2, 2, byPointer);
    EXPECT_EQ(text, "abb");
    EXPECT_EQ(result, tavi::Variant(size_t(3)));
    const tavi::Variant byValue[] = {tavi::Variant(std::string("x")), tavi::Variant(std::string("y"))};
    append->call(result, 1, 2, byValue); // works on a copy
    EXPECT_EQ(result, tavi::Variant(size_t(2)));
    EXPECT_EQ(text, "abb");

    const auto count = Function::identity(
        [](int offset, size_t n, const tavi::Variant*) { return tavi::Variant(int(n) + offset); }, 5);
    EXPECT_EQ(count->arity(), 5u);
    count->call(result, 10, 2, byValue);
    EXPECT_EQ(result, tavi::Variant(12));
}

// --- editor annotations ---

TEST(MetaGroup, PathsAndFlags) {
    for (const auto& [parts, path] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"a", "b", "c"}, "a.b.c"}, {{"a", "", "b"}, "a..b"}, {{""}, ""}}) {
        EXPECT_EQ(Meta::Group::join(parts), path);
        EXPECT_EQ(Meta::Group::split(path), parts);
    }
    EXPECT_EQ(Meta::Group::join({}), "");
    EXPECT_EQ(Meta::Group::join({"", "b"}), "b"); // an empty root adds no dot

    const Meta::Group plain;
    EXPECT_TRUE(plain.isCollapsed());
    const Meta::Group toggled = Meta::Group("g").expanded().toggleExpanded();
    EXPECT_TRUE(toggled.isCollapsed());
    const Meta::Group full = Meta::Group("g", true, true, false).canUnpin().priority(-3);
    EXPECT_TRUE(full.separator());
    EXPECT_TRUE(full.isExpanded());
    EXPECT_TRUE(full.canUnpin());
    EXPECT_EQ(full.priority(), -3);
    EXPECT_EQ(full.name()(BoundProperty()), "g");
    EXPECT_EQ(std::wstring(Meta::DialogTitle().value), L"Choose file ...");
}

TEST(LibraryMetaObjects, AreRegisteredWithTheirMembers) {
    struct Member {
        const char* type;
        const char* key;
        bool method;
        bool writable;
    };
    const Member members[] = {{"orv::Annotations", "find", true, false},
                              {"orv::Annotations", "contain", true, false},
                              {"orv::Annotations", "equal_range", true, false},
                              {"Meta::Label::Text", "get", true, false},
                              {"Meta::Group", "get", true, false},
                              {"Meta::ToolTip", "get", true, false},
                              {"Meta::ReadOnly", "get", true, false},
                              {"Meta::Validator", "get", true, false},
                              {"Meta::Precision", "precision", false, true},
                              {"Meta::Step", "step", true, false},
                              {"Meta::Position", "normalize", false, false},
                              {"Meta::Rotation", "axes", false, true},
                              {"Meta::Scale", "type", false, true},
                              {"Meta::Tile", "get", false, true},
                              {"Meta::Option::List", "get", true, false},
                              {"Meta::DelegateLabel", "labels", true, false},
                              {"Meta::Button::Text", "value", false, true},
                              {"Meta::DialogTitle", "value", false, true}};
    for (const Member& member : members) {
        SCOPED_TRACE(std::string(member.type) + "." + member.key);
        const MetaObject* meta = MetaObjectManager::instance().findType(member.type);
        ASSERT_NE(meta, nullptr);
        EXPECT_EQ(meta->name(), member.type);
        const size_t index = indexOf(*meta, member.key);
        ASSERT_NE(index, MetaObject::INVALID_INDEX);
        const auto property = meta->property(ReflectedObject(), index, nullptr);
        EXPECT_EQ(bool(property->method()), member.method);
        EXPECT_EQ(bool(property->setter()), member.writable);
    }
    // One meta object per type, whichever module asks for it.
    EXPECT_EQ(MetaObjectManager::instance().findType("orv::Annotations"), &metaObjectOf<Annotations>());
    EXPECT_EQ(metaObjectOf<Annotations>().propertyCount(ReflectedObject()), 3u);
    EXPECT_EQ(MetaObjectManager::instance()
                  .findType(typeid(Meta::Precision))
                  ->property(ReflectedObject(), 0, nullptr)
                  ->propertyType(),
              typeid(uint32_t));
}

TEST(LibraryMetaObjects, MethodsCallTheAnnotations) {
    Annotations annotations{Meta::ToolTip("one"), Meta::ToolTip("two")};
    const ReflectedObject container = reflect(annotations);
    EXPECT_EQ(errorOf<GenericFunctionError>([&] { call(bind(container, "contain")); }),
              "function accepts 1 args, but 0 were passed");
    EXPECT_EQ(call(bind(container, "contain"), std::string("Meta::ToolTip")), tavi::Variant(true));
    EXPECT_EQ(call(bind(container, "contain"), std::string("Meta::Group")), tavi::Variant(false));
    EXPECT_TRUE(call(bind(container, "find"), std::string("Meta::Group")).isVoid());
    EXPECT_EQ(call(bind(container, "equal_range"), std::string("Meta::ToolTip"))
                  .castPtr<std::vector<tavi::Variant>>()
                  ->size(),
              2u);

    Meta::Label::Text text("Radius");
    const BoundProperty get = bind(reflect(text), "get");
    EXPECT_EQ(call(get, get), tavi::Variant(std::string("Radius")));

    Meta::Validator validator([](tavi::Variant& value, std::string& error) {
        error = "too big";
        value = tavi::Variant(1);
        return false;
    });
    tavi::Variant value(5);
    std::string error;
    const BoundProperty validate = bind(reflect(validator), "get");
    EXPECT_EQ(call(validate, validate, &value, SetterFlags(), &error), tavi::Variant(false));
    EXPECT_EQ(error, "too big");
    EXPECT_EQ(value, tavi::Variant(1));

    Meta::DelegateLabel labels({"x", "y"});
    EXPECT_EQ(call(bind(reflect(labels), "labels")),
              tavi::Variant(static_cast<const std::vector<std::string>*>(&labels.labels)));

    Meta::Precision precision(2);
    set(bind(reflect(precision), "precision"), tavi::Variant(uint32_t(5)));
    EXPECT_EQ(precision.precision, 5u);

    Meta::Rotation rotation;
    EXPECT_EQ(rotation.axes.value(), 7u);
    set(bind(reflect(rotation), "axes"), tavi::Variant(Meta::Rotation::Axis::X | Meta::Rotation::Axis::Z));
    EXPECT_EQ(rotation.axes.value(), 5u);
}

} // namespace
