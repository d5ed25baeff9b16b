#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/type_info.hpp"
#include "support/test_meta_object.hpp"

#include <gtest/gtest.h>

using orv::MetaObject;
using orv::MetaObjectManager;
using orv::TypeInfo;
using orv::test::anyObject;
using orv::test::TestMetaObject;

namespace {

struct A { int a = 1; };
struct B { double b = 2; };
struct C : A, B { int c = 3; };
struct Unrelated { int u = 0; };

struct Animal { virtual ~Animal() = default; };
struct Dog : Animal {};
struct Puppy : Dog {};
struct Cat : Animal {};

long long offsetOf(C& c, void* base) { return reinterpret_cast<char*>(&c) - static_cast<char*>(base); }

template <typename T>
TestMetaObject::Matcher holds() {
    return [](const tavi::Variant& v) { return v.typeId() == typeid(T); };
}

template <typename T>
TestMetaObject::Matcher pointsTo() {
    return [](const tavi::Variant& v) {
        const Animal* p = v.castPtr<Animal>();
        return p && dynamic_cast<const T*>(p) != nullptr;
    };
}

std::string key(const orv::MetaProperty* p) { return p ? p->name() : "<null>"; }

TEST(MetaObject, PropertiesAreNumberedBasesFirst) {
    EXPECT_EQ(MetaObject::INVALID_INDEX, ~size_t(0));

    TestMetaObject empty(typeid(Unrelated), "Unrelated");
    EXPECT_EQ(empty.propertyCount(anyObject()), 0u);
    EXPECT_EQ(empty.firstSelfProperty(anyObject()), 0u);

    TestMetaObject a(typeid(A), "A");
    a.addSelf(std::string("a0"));
    a.addSelf(std::string("a1"));
    a.addSelf(std::string("a2"));
    TestMetaObject b(typeid(C), "B", {{&a, 0}});
    b.addSelf(std::string("b0"));
    b.addSelf(std::string("b1"));

    EXPECT_EQ(b.propertyCount(anyObject()), 5u);
    EXPECT_EQ(b.firstSelfProperty(anyObject()), 3u);
    EXPECT_EQ(key(b.property(anyObject(), 1, nullptr).get()), "a1");
    EXPECT_EQ(key(b.property(anyObject(), 4, nullptr).get()), "b1");
    size_t remaining = 0;
    EXPECT_EQ(b.property(anyObject(), 7, &remaining), nullptr);
    EXPECT_EQ(remaining, 2u);
}

TEST(MetaObject, SecondBaseIsNumberedAfterTheFirst) {
    TestMetaObject a(typeid(A), "A");
    a.addSelf(std::string("a0"));
    TestMetaObject b(typeid(B), "B");
    b.addSelf(std::string("b0"));
    b.addSelf(std::string("b1"));
    TestMetaObject c(typeid(C), "C", {{&a, 0}, {&b, -8}});
    c.addSelf(std::string("c0"));

    EXPECT_EQ(c.propertyCount(anyObject()), 4u);
    EXPECT_EQ(c.firstSelfProperty(anyObject()), 3u);
    EXPECT_EQ(key(c.property(anyObject(), 0, nullptr).get()), "a0");
    EXPECT_EQ(key(c.property(anyObject(), 2, nullptr).get()), "b1");
    EXPECT_EQ(key(c.property(anyObject(), 3, nullptr).get()), "c0");
    EXPECT_EQ(c.indexOfProperty(anyObject(), tavi::Variant(std::string("c0"))), 3u);
    EXPECT_EQ(c.indexOfProperty(anyObject(), tavi::Variant(std::string("a0"))), 0u);
    EXPECT_EQ(c.indexOfProperty(anyObject(), tavi::Variant(std::string("nope"))), MetaObject::INVALID_INDEX);
}

TEST(MetaObject, SelfLookupFindsTheLastEqualKeyAndComparesByValue) {
    TestMetaObject a(typeid(A), "A");
    a.addSelf(std::string("x"));
    TestMetaObject b(typeid(C), "B", {{&a, 0}});
    b.addSelf(std::string("x"));
    b.addSelf(std::string("y"));
    b.addSelf(std::string("x"));
    b.addSelf(int32_t(7));

    EXPECT_EQ(b.indexOfProperty(anyObject(), tavi::Variant(std::string("x"))), 3u);
    EXPECT_EQ(b.indexOfProperty(anyObject(), tavi::Variant(int32_t(7))), 4u);
    // Same text, other type: keys compare as values, not as names.
    EXPECT_EQ(b.indexOfProperty(anyObject(), tavi::Variant(std::string("7"))), MetaObject::INVALID_INDEX);
}

TEST(MetaObject, HoleInSelfRangeIsReported) {
    TestMetaObject a(typeid(A), "A");
    a.addSelf(std::string("first"));
    a.addNullSelf();
    Kor::MessageCapture capture;
    // The scan runs from the end: it meets the hole before "first".
    EXPECT_EQ(a.indexOfProperty(anyObject(), tavi::Variant(std::string("first"))), 0u);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: prop\r\n"));
}

TEST(MetaObject, CastFollowsOffsetsThroughBases) {
    C c;
    A* asA = &c;
    B* asB = &c;
    TestMetaObject a(typeid(A), "A");
    TestMetaObject b(typeid(B), "B");
    TestMetaObject meta(typeid(C), "C", {{&a, offsetOf(c, asA)}, {&b, offsetOf(c, asB)}});

    EXPECT_EQ(meta.cast(&c, typeid(C), typeid(C)), &c);
    EXPECT_EQ(meta.cast(&c, typeid(C), typeid(B)), asB);
    EXPECT_EQ(meta.cast(asB, typeid(B), typeid(C)), &c);
    EXPECT_EQ(meta.cast(asB, typeid(B), typeid(A)), static_cast<void*>(asA));
    EXPECT_EQ(meta.cast(nullptr, typeid(C), typeid(B)), nullptr);
    EXPECT_EQ(meta.cast(&c, typeid(C), typeid(Unrelated)), nullptr);
    EXPECT_EQ(meta.cast(&c, typeid(Unrelated), typeid(C)), nullptr);

    // Indirect base: D derives from C, reached through C's second base.
    TestMetaObject d(typeid(Puppy), "D", {{&meta, 16}});
    EXPECT_EQ(d.cast(reinterpret_cast<char*>(asB), typeid(B), typeid(Puppy)),
              reinterpret_cast<char*>(&c) + 16);
}

TEST(MetaObject, AliasesKeepOrderAndReportMisuse) {
    TestMetaObject a(typeid(A), "A");
    EXPECT_TRUE(a.addAlias("one"));
    EXPECT_TRUE(a.addAlias("two"));
    EXPECT_TRUE(a.addAlias("three"));
    {
        Kor::MessageCapture capture;
        EXPECT_FALSE(a.addAlias("two"));
        ASSERT_EQ(capture.count(), 1u);
        EXPECT_EQ(capture.messages()[0].text, "MetaObject: Alias already exists!");
        EXPECT_EQ(capture.messages()[0].priority, 5);
        EXPECT_EQ(capture.messages()[0].category, "");
    }
    EXPECT_TRUE(a.removeAlias("two"));
    EXPECT_EQ(a.aliases(), (std::vector<std::string>{"one", "three"}));
    {
        Kor::MessageCapture capture;
        EXPECT_FALSE(a.removeAlias("two"));
        EXPECT_TRUE(capture.contains("MetaObject: Alias does not exist!"));
    }
    EXPECT_EQ(a.aliases(), (std::vector<std::string>{"one", "three"}));
}

TEST(MetaObject, EmptyNameFallsBackToPrettyName) {
    TestMetaObject a(typeid(std::string), "");
    EXPECT_EQ(a.name(), tavi::MetaType::prettyName(typeid(std::string)));
    EXPECT_FALSE(a.name().empty());
}

class Registry : public ::testing::Test {
protected:
    MetaObjectManager manager;
};

TEST_F(Registry, FindsByTypeNameAndAliasAddedBeforeRegistration) {
    TestMetaObject a(typeid(A), "A");
    a.addAlias("Alpha");
    manager.registerType(&a);

    EXPECT_EQ(manager.findType("Alpha"), &a);
    EXPECT_EQ(manager.findType(typeid(A)), &a);
    EXPECT_EQ(manager.findType("A"), &a);
    EXPECT_EQ(manager.findType(typeid(B)), nullptr);
    EXPECT_EQ(manager.findType("B"), nullptr);
    EXPECT_EQ(manager.findType(TypeInfo()), nullptr);

    TestMetaObject late(typeid(B), "Late");
    manager.registerType(&late);
    late.addAlias("AfterTheFact");
    EXPECT_EQ(manager.findType("AfterTheFact"), nullptr);
    manager.unregisterType(&late);
    manager.unregisterType(&a);
    EXPECT_EQ(manager.findType("A"), nullptr);
    EXPECT_EQ(manager.findType(typeid(A)), nullptr);
}

TEST_F(Registry, FirstRegistrationKeepsTakenKeys) {
    TestMetaObject first(typeid(A), "Shared");
    TestMetaObject second(typeid(A), "Other");
    TestMetaObject third(typeid(B), "Shared");
    manager.registerType(&first);
    manager.registerType(&second);
    manager.registerType(&third);
    EXPECT_EQ(manager.findType(typeid(A)), &first);
    EXPECT_EQ(manager.findType("Other"), &second);
    EXPECT_EQ(manager.findType("Shared"), &first);
    EXPECT_EQ(manager.findType(typeid(B)), &third);
    // Unregistering erases the key whoever holds it.
    manager.unregisterType(&third);
    EXPECT_EQ(manager.findType("Shared"), nullptr);
    manager.unregisterType(&second);
    EXPECT_EQ(manager.findType(typeid(A)), nullptr);
    manager.unregisterType(&first);
}

TEST_F(Registry, RegisteringTwiceLinksTwiceAndUnregisteringUnlinksOnce) {
    Kor::MessageCapture capture;
    {
        TestMetaObject base(typeid(A), "Base");
        TestMetaObject derived(typeid(C), "Derived", {{&base, 0}}, holds<C>());
        manager.registerType(&base);
        manager.registerType(&derived);
        manager.registerType(&derived);
        C c;
        EXPECT_EQ(base.findDerived(tavi::Variant(c)), &derived);
        manager.unregisterType(&derived);
        // Still linked once: the base reports it when destroyed first.
        EXPECT_EQ(base.findDerived(tavi::Variant(c)), &derived);
        manager.unregisterType(&derived);
        EXPECT_EQ(base.findDerived(tavi::Variant(c)), nullptr);
        manager.unregisterType(&base);
    }
    EXPECT_EQ(capture.count(), 0u);
}

TEST_F(Registry, NullRegistrationIsReported) {
    Kor::MessageCapture capture;
    manager.registerType(nullptr);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: type\r\n"));
}

TEST_F(Registry, MostDerivedMatchingTypeWins) {
    TestMetaObject animal(typeid(Animal), "Animal", {}, pointsTo<Animal>());
    TestMetaObject dog(typeid(Dog), "Dog", {{&animal, 0}}, pointsTo<Dog>());
    TestMetaObject puppy(typeid(Puppy), "Puppy", {{&dog, 0}}, pointsTo<Puppy>());
    TestMetaObject alsoDog(typeid(int), "AlsoDog", {{&animal, 0}}, pointsTo<Dog>());
    manager.registerType(&animal);
    manager.registerType(&dog);
    manager.registerType(&alsoDog);
    manager.registerType(&puppy);

    Puppy p;
    Dog d;
    Cat c;
    // Depth first, earlier registered sibling first, deepest match wins.
    EXPECT_EQ(animal.findDerived(tavi::Variant(static_cast<Animal*>(&p))), &puppy);
    EXPECT_EQ(animal.findDerived(tavi::Variant(static_cast<Animal*>(&d))), &dog);
    EXPECT_EQ(animal.findDerived(tavi::Variant(static_cast<Animal*>(&c))), &animal);
    EXPECT_EQ(dog.findDerived(tavi::Variant(static_cast<Animal*>(&c))), nullptr);

    // The value's static type finds Animal; refinement finds Dog.
    const tavi::Variant value(static_cast<Animal*>(&d));
    TypeInfo onlyAnimal(false, typeid(Animal), typeid(Animal), typeid(Animal));
    EXPECT_EQ(manager.findType(value, onlyAnimal), &dog);
    // No derived type matches and the base does not either: the base stays.
    TestMetaObject picky(typeid(Cat), "Picky", {}, [](const tavi::Variant&) { return false; });
    manager.registerType(&picky);
    EXPECT_EQ(manager.findType(tavi::Variant(static_cast<Animal*>(&c)), TypeInfo(false, typeid(Cat), typeid(Cat), typeid(Cat))), &picky);
    EXPECT_EQ(manager.findType(value, TypeInfo(false, typeid(Unrelated), typeid(Unrelated), typeid(Unrelated))), nullptr);

    manager.unregisterType(&picky);
    manager.unregisterType(&puppy);
    manager.unregisterType(&alsoDog);
    manager.unregisterType(&dog);
    manager.unregisterType(&animal);
}

TEST_F(Registry, BaseDestroyedBeforeDerivedIsReported) {
    Kor::MessageCapture capture;
    {
        auto base = std::make_unique<TestMetaObject>(typeid(A), "Base");
        TestMetaObject derived(typeid(C), "Derived", {{base.get(), 0}});
        manager.registerType(base.get());
        manager.registerType(&derived);
        manager.unregisterType(base.get());
        base.reset();
        // `derived` still points at the dead base; unregister is not called on it.
        manager = MetaObjectManager();
    }
    EXPECT_TRUE(capture.contains(
        "ASSERTION FAILED: m_derivedClasses.empty()\r\n"));
    EXPECT_TRUE(capture.contains(
        "Destroying base class 'Base' MetaObject while derived class 'Derived' MetaObject is still alive"));
}

TEST_F(Registry, UnregisteringDerivedMakesBaseDestructionQuiet) {
    Kor::MessageCapture capture;
    {
        TestMetaObject base(typeid(A), "Base");
        TestMetaObject derived(typeid(C), "Derived", {{&base, 0}});
        manager.registerType(&base);
        manager.registerType(&derived);
        manager.unregisterType(&derived);
        manager.unregisterType(&base);
    }
    EXPECT_EQ(capture.count(), 0u);
}

TEST(TypeInfo, CandidateOrderDependsOnPointerness) {
    const TypeInfo pointer(true, typeid(A), typeid(B), typeid(C));
    EXPECT_EQ(*pointer.type(0), typeid(A));
    EXPECT_EQ(*pointer.type(1), typeid(B));
    EXPECT_EQ(*pointer.type(2), typeid(C));

    const TypeInfo value(false, typeid(A), typeid(B), typeid(C));
    EXPECT_EQ(*value.type(0), typeid(B));
    EXPECT_EQ(*value.type(1), typeid(A));
    EXPECT_EQ(*value.type(2), typeid(C));

    const TypeInfo dup(false, typeid(A), typeid(A), typeid(B));
    EXPECT_EQ(dup.size(), 2u);
    EXPECT_EQ(*dup.type(0), typeid(A));
    EXPECT_EQ(*dup.type(1), typeid(B));
    EXPECT_EQ(dup.type(2), nullptr);
    EXPECT_TRUE(dup.containsType(typeid(B)));
    EXPECT_FALSE(dup.containsType(typeid(C)));
}

TEST(TypeInfo, FourthTypeOverflows) {
    TypeInfo info(true, typeid(A), typeid(B), typeid(C));
    Kor::MessageCapture capture;
    info.addType(typeid(Unrelated));
    info.addType(typeid(B)); // already present: no message
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "Types overflow\n");
    EXPECT_EQ(info, TypeInfo(true, typeid(A), typeid(B), typeid(C)));
}

TEST(TypeInfo, EqualityComparesSlotsAndPointerness) {
    EXPECT_EQ(TypeInfo(), TypeInfo());
    EXPECT_NE(TypeInfo(true, typeid(A), typeid(B), typeid(B)), TypeInfo(false, typeid(B), typeid(A), typeid(A)));
    TypeInfo one;
    one.addType(typeid(A));
    TypeInfo two = one;
    EXPECT_EQ(one, two);
    two.addType(typeid(B));
    EXPECT_NE(one, two); // a filled slot never equals an empty one
}

TEST(TypeInfo, FromValues) {
    const TypeInfo plain{tavi::Variant(int32_t(5))};
    EXPECT_FALSE(plain.isPointer());
    EXPECT_EQ(plain.size(), 1u);
    EXPECT_EQ(*plain.type(0), typeid(int32_t));

    Puppy p;
    const TypeInfo pointer{tavi::Variant(static_cast<Animal*>(&p))};
    EXPECT_TRUE(pointer.isPointer());
    ASSERT_EQ(pointer.size(), 2u);
    EXPECT_EQ(*pointer.type(0), typeid(Puppy)); // dynamic type first
    EXPECT_EQ(*pointer.type(1), typeid(Animal));

    Kor::MessageCapture capture;
    const TypeInfo withProperty(tavi::Variant(static_cast<Animal*>(&p)), typeid(Dog), typeid(Animal));
    ASSERT_EQ(withProperty.size(), 3u);
    EXPECT_EQ(*withProperty.type(0), typeid(Puppy));
    EXPECT_EQ(*withProperty.type(1), typeid(Dog));
    EXPECT_EQ(*withProperty.type(2), typeid(Animal));
    EXPECT_EQ(capture.count(), 0u);
}

} // namespace
