#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "shared_libs/reflection/meta_object_manager.hpp"
#include "shared_libs/reflection/type_info.hpp"
#include "support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <typeindex>
#include <vector>

using orv::MetaObject;
using orv::MetaObjectManager;
using orv::TypeInfo;
using orv::test::anyObject;
using orv::test::Registration;
using orv::test::TestMetaObject;

namespace {

struct A {
    int a = 1;
};
struct B {
    double b = 2;
};
struct C : A, B {
    int c = 3;
};
struct Unrelated {
    int u = 0;
};

struct Animal {
    virtual ~Animal() = default;
};
struct Dog : Animal {};
struct Puppy : Dog {};
struct Cat : Animal {};

template <typename T>
TestMetaObject::Matcher pointsTo() {
    return [](const tavi::Variant& v) {
        const Animal* p = v.castPtr<Animal>();
        return p && dynamic_cast<const T*>(p) != nullptr;
    };
}

void addSelves(TestMetaObject& meta, std::initializer_list<const char*> keys) {
    for (const char* key : keys)
        meta.addSelf(std::string(key));
}

// The names of every property, in numbering order.
std::vector<std::string> names(const MetaObject& meta) {
    std::vector<std::string> result;
    for (size_t i = 0; i < meta.propertyCount(anyObject()); ++i) {
        const auto p = meta.property(anyObject(), i, nullptr);
        result.push_back(p ? p->name() : "<null>");
    }
    return result;
}

size_t indexOf(const MetaObject& meta, tavi::Variant key) { return meta.indexOfProperty(anyObject(), key); }

TEST(MetaObject, PropertiesAreNumberedBasesFirstInBaseOrder) {
    TestMetaObject a(typeid(A), "A");
    addSelves(a, {"a0", "a1"});
    TestMetaObject b(typeid(B), "B");
    addSelves(b, {"b0", "b1"});
    TestMetaObject c(typeid(C), "C", {{&a, 0}, {&b, -8}});
    addSelves(c, {"c0"});

    EXPECT_EQ(names(c), (std::vector<std::string>{"a0", "a1", "b0", "b1", "c0"}));
    EXPECT_EQ(c.firstSelfProperty(anyObject()), 4u);
    EXPECT_EQ(TestMetaObject(typeid(Unrelated), "U").firstSelfProperty(anyObject()), 0u);
    size_t remaining = 0;
    EXPECT_EQ(c.property(anyObject(), 7, &remaining), nullptr);
    EXPECT_EQ(remaining, 2u);
    EXPECT_EQ(indexOf(c, std::string("c0")), 4u);
    EXPECT_EQ(indexOf(c, std::string("a1")), 1u);
    EXPECT_EQ(indexOf(c, std::string("nope")), MetaObject::INVALID_INDEX);
}

TEST(MetaObject, SelfLookupFindsTheLastEqualKeyAndComparesByValue) {
    TestMetaObject a(typeid(A), "A");
    addSelves(a, {"x"});
    TestMetaObject b(typeid(C), "B", {{&a, 0}});
    addSelves(b, {"x", "y", "x"});
    b.addSelf(int32_t(7));

    EXPECT_EQ(indexOf(b, std::string("x")), 3u);
    EXPECT_EQ(indexOf(b, int32_t(7)), 4u);
    // Same text, other type: keys compare as values, not as names.
    EXPECT_EQ(indexOf(b, std::string("7")), MetaObject::INVALID_INDEX);

    TestMetaObject holed(typeid(A), "A");
    addSelves(holed, {"first"});
    holed.addNullSelf();
    Kor::MessageCapture capture;
    // The scan runs from the end: it meets the hole before "first".
    EXPECT_EQ(indexOf(holed, std::string("first")), 0u);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: prop\r\n"));
}

TEST(MetaObject, CastFollowsOffsetsThroughBases) {
    C c;
    A* asA = &c;
    B* asB = &c;
    const auto offsetOf = [&c](void* base) { return reinterpret_cast<char*>(&c) - static_cast<char*>(base); };
    TestMetaObject a(typeid(A), "A");
    TestMetaObject b(typeid(B), "B");
    TestMetaObject meta(typeid(C), "C", {{&a, offsetOf(asA)}, {&b, offsetOf(asB)}});

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
    for (const char* alias : {"one", "two", "three"})
        EXPECT_TRUE(a.addAlias(alias));
    {
        Kor::MessageCapture capture;
        EXPECT_FALSE(a.addAlias("two"));
        ASSERT_EQ(capture.count(), 1u);
        EXPECT_EQ(capture.messages()[0].text, "MetaObject: Alias already exists!");
        EXPECT_EQ(capture.messages()[0].priority, 5);
    }
    EXPECT_TRUE(a.removeAlias("two"));
    Kor::MessageCapture capture;
    EXPECT_FALSE(a.removeAlias("two"));
    EXPECT_TRUE(capture.contains("MetaObject: Alias does not exist!"));
    EXPECT_EQ(a.aliases(), (std::vector<std::string>{"one", "three"}));

    EXPECT_EQ(TestMetaObject(typeid(std::string), "").name(),
              tavi::MetaType::prettyName(typeid(std::string)));
}

TEST(Registry, FindsByTypeNameAndEarlierAliasAndFirstRegistrationKeepsTakenKeys) {
    MetaObjectManager& manager = MetaObjectManager::instance();
    TestMetaObject first(typeid(A), "Shared"), second(typeid(A), "Other"), third(typeid(B), "Shared");
    first.addAlias("Alpha");
    const Registration r1{first};
    {
        const Registration r2{second}, r3{third};
        third.addAlias("AfterTheFact");
        EXPECT_EQ(manager.findType("Alpha"), &first);
        EXPECT_EQ(manager.findType("AfterTheFact"), nullptr);
        EXPECT_EQ(manager.findType(typeid(A)), &first);
        EXPECT_EQ(manager.findType("Other"), &second);
        EXPECT_EQ(manager.findType("Shared"), &first);
        EXPECT_EQ(manager.findType(typeid(B)), &third);
        EXPECT_EQ(manager.findType(TypeInfo()), nullptr);
    }
    // Unregistering erases the key whoever holds it.
    EXPECT_EQ(manager.findType("Shared"), nullptr);
    EXPECT_EQ(manager.findType(typeid(A)), nullptr);
    EXPECT_EQ(manager.findType("Alpha"), &first);
}

TEST(Registry, RegisteringTwiceLinksTwiceAndUnregisteringUnlinksOnce) {
    MetaObjectManager& manager = MetaObjectManager::instance();
    Kor::MessageCapture capture;
    manager.registerType(nullptr);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: type\r\n"));
    capture.clear();
    {
        TestMetaObject base(typeid(A), "Base");
        TestMetaObject derived(typeid(C), "Derived", {{&base, 0}},
                               [](const tavi::Variant& v) { return v.typeId() == typeid(C); });
        const Registration registration{base};
        manager.registerType(&derived);
        manager.registerType(&derived);
        const tavi::Variant c{C()};
        EXPECT_EQ(base.findDerived(c), &derived);
        manager.unregisterType(&derived);
        // Still linked once: the base would report it when destroyed first.
        EXPECT_EQ(base.findDerived(c), &derived);
        manager.unregisterType(&derived);
        EXPECT_EQ(base.findDerived(c), nullptr);
    }
    EXPECT_EQ(capture.count(), 0u);
}

TEST(Registry, MostDerivedMatchingTypeWins) {
    TestMetaObject animal(typeid(Animal), "Animal", {}, pointsTo<Animal>());
    TestMetaObject dog(typeid(Dog), "Dog", {{&animal, 0}}, pointsTo<Dog>());
    TestMetaObject puppy(typeid(Puppy), "Puppy", {{&dog, 0}}, pointsTo<Puppy>());
    TestMetaObject alsoDog(typeid(int), "AlsoDog", {{&animal, 0}}, pointsTo<Dog>());
    // No derived type matches and the base does not either: the base stays.
    TestMetaObject picky(typeid(Cat), "Picky", {}, [](const tavi::Variant&) { return false; });
    const Registration r1{animal}, r2{dog}, r3{alsoDog}, r4{puppy}, r5{picky};

    Puppy p;
    Dog d;
    Cat c;
    const auto asAnimal = [](Animal& x) { return tavi::Variant(&x); };
    // Depth first, earlier registered sibling first, deepest match wins.
    EXPECT_EQ(animal.findDerived(asAnimal(p)), &puppy);
    EXPECT_EQ(animal.findDerived(asAnimal(d)), &dog);
    EXPECT_EQ(animal.findDerived(asAnimal(c)), &animal);
    EXPECT_EQ(dog.findDerived(asAnimal(c)), nullptr);

    // The value's static type finds Animal; refinement finds Dog.
    const auto only = [](const std::type_info& t) { return TypeInfo(false, t, t, t); };
    MetaObjectManager& manager = MetaObjectManager::instance();
    EXPECT_EQ(manager.findType(asAnimal(d), only(typeid(Animal))), &dog);
    EXPECT_EQ(manager.findType(asAnimal(c), only(typeid(Cat))), &picky);
    EXPECT_EQ(manager.findType(asAnimal(d), only(typeid(Unrelated))), nullptr);
}

// The subtype search runs inside findType: what a matcher sees on the
// diagnostic stack names it.
TEST(Registry, TheSubtypeSearchRunsInsideAFindTypeFrame) {
    std::vector<std::string> seen;
    TestMetaObject animal(typeid(Animal), "Animal", {}, pointsTo<Animal>());
    TestMetaObject dog(typeid(Dog), "Dog", {{&animal, 0}}, [&seen](const tavi::Variant&) {
        for (const Kor::StackTracker::Entry& entry : Kor::StackTracker::frames())
            seen.push_back(entry.function);
        return true;
    });
    const Registration r1{animal}, r2{dog};
    Dog d;
    const size_t depth = Kor::StackTracker::depth();
    EXPECT_EQ(MetaObjectManager::instance().findType(
                  tavi::Variant(static_cast<Animal*>(&d)),
                  TypeInfo(false, typeid(Animal), typeid(Animal), typeid(Animal))),
              &dog);
    EXPECT_NE(std::find(seen.begin(), seen.end(), std::string("orv::MetaObjectManager::findType")),
              seen.end());
    EXPECT_EQ(Kor::StackTracker::depth(), depth);
}

TEST(Registry, BaseDestroyedBeforeDerivedIsReported) {
    MetaObjectManager manager;
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
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: m_derivedClasses.empty()\r\n"));
    EXPECT_TRUE(capture.contains(
        "Destroying base class 'Base' MetaObject while derived class 'Derived' MetaObject is still alive"));
}

using Types = std::vector<std::type_index>;

Types types(const TypeInfo& info) {
    Types result;
    for (size_t i = 0; info.type(i); ++i)
        result.emplace_back(*info.type(i));
    EXPECT_EQ(result.size(), info.size());
    return result;
}

TEST(TypeInfo, CandidateOrderDependsOnPointernessAndSkipsDuplicates) {
    EXPECT_EQ(types(TypeInfo(true, typeid(A), typeid(B), typeid(C))),
              (Types{typeid(A), typeid(B), typeid(C)}));
    EXPECT_EQ(types(TypeInfo(false, typeid(A), typeid(B), typeid(C))),
              (Types{typeid(B), typeid(A), typeid(C)}));
    const TypeInfo dup(false, typeid(A), typeid(A), typeid(B));
    EXPECT_EQ(types(dup), (Types{typeid(A), typeid(B)}));
    EXPECT_TRUE(dup.containsType(typeid(B)));
    EXPECT_FALSE(dup.containsType(typeid(C)));

    Puppy p;
    const TypeInfo plain{tavi::Variant(int32_t(5))};
    EXPECT_FALSE(plain.isPointer());
    EXPECT_EQ(types(plain), (Types{typeid(int32_t)}));
    const TypeInfo pointer{tavi::Variant(static_cast<Animal*>(&p))};
    EXPECT_TRUE(pointer.isPointer());
    EXPECT_EQ(types(pointer), (Types{typeid(Puppy), typeid(Animal)})); // dynamic type first
    Kor::MessageCapture capture;
    const TypeInfo withProperty(tavi::Variant(static_cast<Animal*>(&p)), typeid(Dog), typeid(Animal));
    EXPECT_EQ(types(withProperty), (Types{typeid(Puppy), typeid(Dog), typeid(Animal)}));
    EXPECT_EQ(capture.count(), 0u);
}

TEST(TypeInfo, FourthTypeOverflows) {
    TypeInfo info(true, typeid(A), typeid(B), typeid(C));
    Kor::MessageCapture capture;
    info.addType(typeid(Unrelated));
    info.addType(typeid(B)); // already present: no message
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "Types overflow\n");
    EXPECT_EQ(info, TypeInfo(true, typeid(A), typeid(B), typeid(C)));
    // Equality compares the slots and the pointerness.
    EXPECT_NE(info, TypeInfo(true, typeid(A), typeid(B), typeid(Unrelated)));
    EXPECT_NE(TypeInfo(true, typeid(A), typeid(B), typeid(B)),
              TypeInfo(false, typeid(B), typeid(A), typeid(A)));
}

} // namespace
