#include "shared_libs/reflection/persistent_object.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/persistent_property.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_meta_object.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using namespace orv;
using namespace orv::test;
using Keys = std::vector<tavi::Variant>;

tavi::Variant key(std::string text) { return tavi::Variant(std::move(text)); }

Keys keys(std::initializer_list<const char*> texts) {
    Keys result;
    for (const char* text : texts)
        result.push_back(key(text));
    return result;
}

// --- path text ---

TEST(PathText, KeysJoinWithDotsAndSplitBackIntoStrings) {
    const std::string three = "3";
    EXPECT_EQ(PersistentObject::joinPath({key("a"), tavi::Variant(int32_t(3)), key("c")}), "a.3.c");
    EXPECT_EQ(PersistentObject::splitPath("a.3.c"), keys({"a", "3", "c"}));
    EXPECT_EQ(PersistentObject::joinPath({tavi::Variant(&three), tavi::Variant(2.5)}), "3.2.5")
        << "a pointer to a string is read through; a double's text keeps its dot";
    EXPECT_EQ(PersistentObject::joinPath({}), "");
    EXPECT_EQ(PersistentObject::joinPath({tavi::Variant(), key("x"), tavi::Variant()}), ".x.")
        << "a key without text contributes nothing, but keeps its place";
}

TEST(PathText, AdjacentSeparatorsKeepEmptyKeys) {
    EXPECT_EQ(PersistentObject::splitPath(""), keys({""}));
    EXPECT_EQ(PersistentObject::splitPath("a..b"), keys({"a", "", "b"}));
    EXPECT_EQ(PersistentObject::splitPath("a."), keys({"a", ""}));
    EXPECT_EQ(PersistentObject::splitPath(".."), keys({"", "", ""}));
}

TEST(PathText, SeededRoundTrips) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto below = [&](int n) { return int(random() % unsigned(n)); };
    const std::string alphabet = "ab_ %7\xc3\xa9\t";
    for (int round = 0; round < 500; ++round) {
        // Keys without a dot, empty ones included, come back as they were;
        // numbers come back as their text.
        Keys strings, numbers, numberTexts;
        const int count = 1 + below(6);
        for (int i = 0; i < count; ++i) {
            std::string text;
            for (int length = below(4); length > 0; --length)
                text += alphabet[size_t(below(int(alphabet.size())))];
            strings.push_back(key(text));
            const int64_t number = int64_t(random()) - int64_t(random());
            numbers.push_back(tavi::Variant(number));
            numberTexts.push_back(key(std::to_string(number)));
        }
        ASSERT_EQ(PersistentObject::splitPath(PersistentObject::joinPath(strings)), strings);
        ASSERT_EQ(PersistentObject::splitPath(PersistentObject::joinPath(numbers)), numberTexts);

        // Any text at all, dots, NULs and stray bytes included, survives
        // being split and joined again.
        std::string text;
        for (int length = below(12); length > 0; --length)
            text += below(3) == 0 ? '.' : char(below(256));
        ASSERT_EQ(PersistentObject::joinPath(PersistentObject::splitPath(text)), text);
    }
}

// --- path search and resolution ---

// NodeTree (root -> mid -> leaf through "child") whose nodes may declare a
// volatility.
class PersistentReferences : public ::testing::Test, protected NodeTree {
protected:
    PersistentReferences() {
        meta.setProperties(
            {number, text, child,
             dataProperty(&meta, "_volatility", typeid(tavi::Variant), [this](const BoundProperty& p) {
                 const auto found = volatility.find(p.object().get().castPtr<Node>());
                 return found == volatility.end() ? tavi::Variant() : found->second;
             })});
    }

    ReflectedObject midObject() { return held("child"); }
    ReflectedObject leafObject() { return held("child.child"); }
    ReflectedObject held(const char* path) { return ReflectedObject(rootObject().findPropertyByName(path)); }

    std::map<const Node*, tavi::Variant> volatility;
};

TEST_F(PersistentReferences, PathsClimbThroughHoldingPropertiesToTheRoot) {
    const PersistentObject leaf(leafObject());
    EXPECT_EQ(leaf.root(), rootObject());
    EXPECT_EQ(leaf.keys(), keys({"child", "child"}));
    EXPECT_EQ(leaf.path(), "child.child");
    EXPECT_EQ(leaf.object(), ReflectedObject(tavi::Variant(&this->leaf)));
    EXPECT_EQ(leaf.get(), tavi::Variant(&this->leaf));
    EXPECT_EQ(leafObject().fullName(), "child.child");

    const PersistentObject root(rootObject());
    EXPECT_TRUE(root.keys().empty()) << "an object no property holds is its own root";
    EXPECT_EQ(root.get(), tavi::Variant(&this->root));
    EXPECT_EQ(rootObject().fullName(), "");
    EXPECT_TRUE(PersistentObject(ReflectedObject(tavi::Variant(&mid))).keys().empty())
        << "reached directly, mid has no holder";

    const PersistentProperty number(leafObject().findPropertyByName("number"));
    EXPECT_EQ(number.root(), rootObject());
    EXPECT_EQ(number.path(), "child.child.number");
    EXPECT_EQ(number.get(), tavi::Variant(3));
    EXPECT_EQ(number.property(), leafObject().findPropertyByName("number"));

    const PersistentProperty direct = PersistentProperty::direct(leafObject().findPropertyByName("number"));
    EXPECT_EQ(direct.root(), leafObject());
    EXPECT_EQ(direct.path(), "number");
    EXPECT_TRUE(PersistentObject::direct(leafObject()).keys().empty());
    EXPECT_EQ(PersistentObject::direct(leafObject()).object(), leafObject());
}

TEST_F(PersistentReferences, VolatilityOneStopsBelowTheObjectTwoStopsAtIt) {
    volatility[&root] = int64_t(1);
    EXPECT_EQ(PersistentObject(leafObject()).root(), midObject());
    EXPECT_EQ(PersistentObject(leafObject()).path(), "child");
    EXPECT_TRUE(PersistentObject(midObject()).keys().empty()) << "nothing climbs into root";
    EXPECT_EQ(leafObject().fullName(), "child");

    volatility.clear();
    volatility[&mid] = int64_t(2);
    EXPECT_EQ(PersistentObject(leafObject()).root(), midObject()) << "mid is held by root, yet an anchor";
    EXPECT_EQ(PersistentObject(leafObject()).keys(), keys({"child"}));
    EXPECT_TRUE(PersistentObject(midObject()).keys().empty()) << "an anchor is its own root";
    EXPECT_EQ(PersistentProperty(midObject().findPropertyByName("text")).path(), "text");
}

TEST_F(PersistentReferences, VolatilityIsReadAsA32BitNumber) {
    int64_t two = 2;
    const int64_t constTwo = 2;
    struct Case {
        const char* what;
        tavi::Variant value;
        bool anchor;
    };
    const Case cases[] = {
        {"64-bit number", tavi::Variant(int64_t(2)), true},
        {"pointer to one", tavi::Variant(&two), true},
        {"const pointer to one", tavi::Variant(&constTwo), true},
        {"32-bit number", tavi::Variant(int32_t(2)), true},
        {"text", key("2"), true},
        {"double", tavi::Variant(2.0), true},
        {"beyond 32 bits", tavi::Variant((int64_t(1) << 32) + 2), false},
        {"not a number", key("two"), false},
        {"nothing", tavi::Variant(), false},
        {"another number", tavi::Variant(int64_t(3)), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        volatility[&mid] = c.value;
        EXPECT_EQ(PersistentObject(leafObject()).root() == midObject(), c.anchor);
    }
}

TEST_F(PersistentReferences, ReferencesWithDifferentRootsToOneObjectAreEqual) {
    const PersistentObject viaRoot(leafObject());
    const PersistentObject viaMid = PersistentObject::direct(midObject());
    const PersistentObject direct = PersistentObject::direct(ReflectedObject(tavi::Variant(&leaf)));
    EXPECT_EQ(viaRoot, direct);
    EXPECT_EQ(viaRoot.hash(), direct.hash());
    EXPECT_NE(viaRoot, viaMid);
    EXPECT_EQ(viaRoot, ReflectedObject(tavi::Variant(&leaf)));
    EXPECT_NE(viaRoot, rootObject());
    const std::unordered_set<PersistentObject> objects{viaRoot, direct, viaMid};
    EXPECT_EQ(objects.size(), 2u);

    const PersistentProperty number(leafObject().findPropertyByName("number"));
    const PersistentProperty directNumber =
        PersistentProperty::direct(ReflectedObject(tavi::Variant(&leaf)).findPropertyByName("number"));
    EXPECT_EQ(number, directNumber);
    EXPECT_EQ(number.hash(), directNumber.hash());
    EXPECT_NE(number, PersistentProperty(leafObject().findPropertyByName("text")));
    EXPECT_NE(number, PersistentProperty(midObject().findPropertyByName("number")));
    EXPECT_EQ(std::unordered_set<PersistentProperty>({number, directNumber}).size(), 1u);
}

TEST_F(PersistentReferences, ResolutionFollowsTheCurrentObjects) {
    const PersistentObject atMid(midObject());
    const PersistentProperty midNumber(midObject().findPropertyByName("number"));
    root.child = &spare;
    EXPECT_EQ(atMid.object(), ReflectedObject(tavi::Variant(&spare)));
    EXPECT_EQ(midNumber.get(), tavi::Variant(4));
    EXPECT_NE(atMid, ReflectedObject(tavi::Variant(&mid)));

    root.child = nullptr;
    Kor::MessageCapture capture;
    EXPECT_FALSE(atMid.object().isValid());
    EXPECT_TRUE(atMid.get().isNullPointer()) << "the value of the last property on the path";
    EXPECT_FALSE(midNumber.property().isValid());
    EXPECT_TRUE(midNumber.get().isVoid());
    EXPECT_EQ(capture.count(), 0u) << "a path that leads nowhere is no error here";

    root.child = &mid;
    const PersistentProperty midText(midObject().findPropertyByName("text"));
    EXPECT_EQ(midText.get(), tavi::Variant(std::string("m")));
    meta.resetProperties({number, child});
    EXPECT_FALSE(midText.property().isValid()) << "its key is gone";
    EXPECT_EQ(PersistentObject::getProperty(rootObject(), "child.child.number").get(), tavi::Variant(3));
}

TEST_F(PersistentReferences, GetPropertyWalksKeysOrText) {
    EXPECT_EQ(PersistentObject::getProperty(rootObject(), keys({"child", "child", "text"})).get(),
              tavi::Variant(std::string("l")));
    EXPECT_FALSE(PersistentObject::getProperty(rootObject(), Keys{}).isValid());
    for (const char* path : {"", "child..number", "child.", ".child", "child.number.text", "missing"})
        EXPECT_FALSE(PersistentObject::getProperty(rootObject(), std::string(path)).isValid()) << path;
    const PersistentProperty none;
    EXPECT_FALSE(none.property().isValid());
    EXPECT_TRUE(PersistentObject().get().isVoid());
}

TEST_F(PersistentReferences, TakeMovesTheKeysOut) {
    PersistentObject leaf(leafObject());
    auto [root, taken] = std::move(leaf).take();
    EXPECT_EQ(root, rootObject());
    EXPECT_EQ(taken, keys({"child", "child"}));
    EXPECT_TRUE(leaf.keys().empty());
    EXPECT_EQ(leaf.root(), rootObject()) << "the root stays";
}

// --- keys that are not strings ---

struct Shelf {
    Node* slots[3] = {};
};

// Properties keyed by the integers 0..2, each holding a Node. Looked up by
// name, a key's decimal text finds it, as collections do.
class ShelfMetaObject : public TestMetaObject {
public:
    ShelfMetaObject()
        : TestMetaObject(typeid(Shelf), "Shelf", {},
                         [](const tavi::Variant& v) { return v.typeId() == typeid(Shelf); }) {
        for (int32_t i = 0; i < 3; ++i)
            add(std::make_shared<TestMetaProperty>(
                this, tavi::Variant(i), Annotations(),
                [i](const BoundProperty& p) {
                    return tavi::Variant(p.object().get().castPtr<Shelf>()->slots[i]);
                },
                MetaProperty::Setter(), typeid(Node*)));
    }

private:
    size_t indexOfPropertyByName(const ReflectedObject& object, std::string_view name) const override {
        const std::string text(name);
        for (int32_t i = 0; i < 3; ++i)
            if (text == std::to_string(i))
                return indexOfProperty(object, tavi::Variant(i));
        return INVALID_INDEX;
    }
};

TEST_F(PersistentReferences, NonStringKeysResolveAsKeysAndThroughTheirText) {
    ShelfMetaObject shelfMeta;
    const Registration registration(shelfMeta);
    Shelf shelf;
    shelf.slots[1] = &mid;
    const ReflectedObject shelfObject{tavi::Variant(&shelf)};
    const ReflectedObject held(shelfObject.findPropertyByKey(tavi::Variant(int32_t(1))));
    const PersistentProperty text(held.findPropertyByName("child.text"));
    EXPECT_EQ(Keys(text.keys().begin(), text.keys().end()),
              (Keys{tavi::Variant(int32_t(1)), key("child"), key("text")}));
    EXPECT_EQ(text.path(), "1.child.text");
    EXPECT_EQ(text.get(), tavi::Variant(std::string("l")));
    EXPECT_EQ(PersistentObject::getProperty(shelfObject, text.path()), text.property());

    shelf.slots[1] = &spare;
    EXPECT_EQ(text.get(), tavi::Variant()) << "spare holds no child";
    shelf.slots[1] = &root;
    EXPECT_EQ(text.get(), tavi::Variant(std::string("m")));
}

} // namespace
