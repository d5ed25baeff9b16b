#include "platform/corekit/diagnostics.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/context_data/bound_property_context_data.hpp"
#include "shared_libs/reflection/context_data/reflected_object_context_data.hpp"
#include "shared_libs/reflection/meta_hooks.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/reflected_object.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/object_fixtures.hpp"
#include "tests/support/test_seed.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace context_test {
struct Dial {
    float value = 0.5f;
};
struct Pair {
    int a = 1;
    int c = 3;
};
struct Rig {
    Dial* dial = nullptr;
};
} // namespace context_test

template <>
struct orv::TypeDeclaration<context_test::Dial> {
    static constexpr const char* name = "context_test::Dial";
    static void declare(orv::Builder<context_test::Dial>& type) {
        type.property("value", &context_test::Dial::value);
    }
};

template <>
struct orv::TypeDeclaration<context_test::Rig> {
    static constexpr const char* name = "context_test::Rig";
    static void declare(orv::Builder<context_test::Rig>& type) {
        type.property("dial", &context_test::Rig::dial);
    }
};

namespace {

using context_test::Dial;
using context_test::Pair;
using context_test::Rig;

using namespace orv;
using namespace orv::test;
using Mode = Meta::Stateless::Mode;
using Tags = std::vector<std::string>;

// The cached-annotations slot of a property's context tags it, so that the
// tag shows where that context data went, robustly against reused addresses.
void tag(const BoundProperty& property, const std::string& text) {
    property.contextData()->annotations() = Annotations{tavi::Variant(text)};
}

// The tag of the property's context data; "" for fresh context data.
std::string tagOf(const BoundProperty& property) {
    BoundPropertyContextData* context = property.contextData();
    const Annotations cached = context && context->annotations() ? *context->annotations() : Annotations();
    const std::string* text = findAnnotation<std::string>(cached);
    return text ? *text : "";
}

class ContextData : public ::testing::Test, protected NodeTree {
protected:
    // Gives the object `count` properties and tags the context of each with "p<index>".
    ReflectedObject taggedObject(size_t count) {
        NodeMetaObject::Properties properties{number, text, child, nodeField(&meta, "kind", &Node::kind),
                                              nodeField(&meta, "id", &Node::id)};
        properties.resize(count);
        meta.setProperties(properties);
        ReflectedObject object = rootObject();
        for (size_t i = 0; i < count; ++i)
            tag(object.propertyAt(i), "p" + std::to_string(i));
        return object;
    }
    static Tags tagsOf(const ReflectedObject& object) {
        Tags tags;
        for (const BoundProperty& property : object.properties())
            tags.push_back(tagOf(property));
        return tags;
    }
};

TEST_F(ContextData, IndexOutOfBoundsIsReportedOnce) {
    const ReflectedObject object = rootObject();
    const BoundProperty property = object.propertyAt(0);
    Kor::MessageCapture capture;
    EXPECT_EQ(object.contextData()->propertyContextData(5, property), nullptr);
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text,
              "orv::ReflectedObjectContextData::propertyContextData : property 'number' "
              "index 5 out of bounds [0, 3)");
    EXPECT_EQ(capture.messages()[0].priority, 4);
    EXPECT_EQ(object.contextData()->propertyContextData(3, property), nullptr);
    EXPECT_EQ(object.contextData()->propertyContextData(0, property), property.contextData());
}

TEST_F(ContextData, SlotsFollowInsertionsRemovalsAndResets) {
    const ReflectedObject object = taggedObject(5);
    const BoundProperty second = object.propertyAt(1);
    BoundPropertyContextData* const secondContext = second.contextData();
    BoundPropertyContextData* const fourthContext = object.propertyAt(3).contextData();
    meta.insertProperties(1, {nodeField(&meta, "a", &Node::number), nodeField(&meta, "b", &Node::number)});
    EXPECT_EQ(tagsOf(object), (Tags{"p0", "", "", "p1", "p2", "p3", "p4"}));
    EXPECT_EQ(object.propertyAt(3), second);
    EXPECT_EQ(second.contextData(), secondContext);

    meta.eraseProperties(3, 2);
    EXPECT_EQ(object.contextData()->slotCount(), 5u);
    EXPECT_EQ(tagsOf(object), (Tags{"p0", "", "", "p3", "p4"}));
    EXPECT_EQ(object.propertyAt(3).contextData(), fourthContext);

    meta.resetProperties({text, number});
    EXPECT_EQ(object.contextData()->slotCount(), 2u);
    EXPECT_EQ(tagsOf(object), (Tags{"", ""}));
}

// Random insertions, removals and resets, large and small, against a list
// of tags: every cache stays with its property, and new positions are fresh.
TEST_F(ContextData, SlotsFollowRandomStructureChanges) {
    const unsigned seed = testSeed();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto below = [&random](size_t bound) { return size_t(random() % bound); };
    const auto fields = [this](size_t count) {
        NodeMetaObject::Properties properties;
        for (size_t i = 0; i < count; ++i)
            properties.push_back(nodeField(&meta, "f" + std::to_string(i), &Node::number));
        return properties;
    };
    const ReflectedObject object = taggedObject(3);
    Tags model{"p0", "p1", "p2"};
    for (int step = 0; step < 200; ++step) {
        const size_t size = model.size();
        switch (below(4)) {
            case 0: { // insert, sometimes many at once
                const size_t index = below(size + 1);
                const size_t count = 1 + below(below(4) == 0 ? 40 : 3);
                meta.insertProperties(index, fields(count));
                model.insert(model.begin() + std::ptrdiff_t(index), count, "");
                break;
            }
            case 1: { // remove, sometimes down to nothing
                if (size == 0)
                    break;
                const size_t index = below(size);
                const size_t count = 1 + below(size - index);
                meta.eraseProperties(index, count);
                model.erase(model.begin() + std::ptrdiff_t(index),
                            model.begin() + std::ptrdiff_t(index + count));
                break;
            }
            case 2: // reset, rarely
                if (below(8) == 0) {
                    const size_t count = below(12);
                    meta.resetProperties(fields(count));
                    model.assign(count, "");
                }
                break;
            default: // fill a cache
                if (size != 0) {
                    const size_t index = below(size);
                    model[index] = "s" + std::to_string(step);
                    tag(object.propertyAt(index), model[index]);
                }
        }
        ASSERT_EQ(object.contextData()->slotCount(), model.size()) << "step " << step;
        ASSERT_EQ(tagsOf(object), model) << "step " << step;
    }
}

TEST_F(ContextData, ObjectsBuiltForTheStoredValueShareOneContext) {
    const ReflectedObject object = rootObject();
    const BoundProperty holder = object.propertyAt(2);
    const ReflectedObject first(holder);
    ASSERT_NE(first.contextData(), nullptr);
    EXPECT_EQ(ReflectedObject(tavi::Variant(&mid), holder).contextData(), first.contextData());

    // Not what the property holds.
    EXPECT_NE(ReflectedObject(tavi::Variant(&spare), holder).contextData(), first.contextData());
    // Another root handle has its own property caches, hence its own held context.
    EXPECT_NE(ReflectedObject(rootObject().propertyAt(2)).contextData(), first.contextData());

    notify::propertyChanged(holder, {}, NotifyFlag::Child | NotifyFlag::Value);
    EXPECT_EQ(ReflectedObject(holder).contextData(), first.contextData());

    root.child = &spare;
    notify::propertyChanged(holder, {}, NotifyFlag::Value);
    const ReflectedObject replaced(holder);
    EXPECT_NE(replaced.contextData(), first.contextData());
    EXPECT_EQ(ReflectedObject(object.propertyAt(2)).contextData(), replaced.contextData());
    // Holders keep the old context alive, and it still follows its object's structure.
    meta.insertProperties(0, {nodeField(&meta, "extra", &Node::number)});
    EXPECT_EQ(first.contextData()->slotCount(), 4u);
    EXPECT_EQ(replaced.contextData()->slotCount(), 4u);
}

TEST_F(ContextData, SourcesDropDerivedCachesValueDropsTheHeldContextChildNothing) {
    const ReflectedObject object = rootObject();
    const BoundProperty holder = object.propertyAt(2);
    BoundPropertyContextData& cache = *holder.contextData();
    const ReflectedObject held(holder);
    static_cast<void>(held.statelessMode()); // computed and cached
    ASSERT_TRUE(held.contextData()->statelessMode().has_value());
    tag(holder, "cached");
    cache.statelessMode() = Mode::Shallow;

    notify::propertyChanged(holder, {}, NotifyFlag::Child | NotifyFlag::Sources);
    EXPECT_EQ(tagOf(holder), "cached");
    EXPECT_TRUE(cache.statelessMode() && held.contextData()->statelessMode());

    // The same property of another instance has caches of its own.
    const NotifyFlags both = NotifyFlag::Sources | NotifyFlag::Value;
    notify::propertyChanged(ReflectedObject(tavi::Variant(&mid)).propertyAt(2), {}, both);
    EXPECT_EQ(tagOf(holder), "cached");
    EXPECT_EQ(ReflectedObject(holder).contextData(), held.contextData());

    notify::propertyChanged(holder, {}, NotifyFlag::Sources);
    EXPECT_EQ(tagOf(holder), "");
    EXPECT_FALSE(cache.statelessMode() || held.contextData()->statelessMode());
    EXPECT_EQ(ReflectedObject(holder).contextData(), held.contextData());

    tag(holder, "again");
    static_cast<void>(held.statelessMode()); // computed and cached
    notify::propertyChanged(holder, {}, NotifyFlag::Value);
    EXPECT_EQ(tagOf(holder), "again");
    EXPECT_FALSE(held.contextData()->statelessMode().has_value());
    EXPECT_NE(ReflectedObject(holder).contextData(), held.contextData());
}

// A meta object that announces ranges it does not have is a broken
// invariant: reported, and the slot lists stay as they were.
TEST_F(ContextData, InconsistentStructureAnnouncementsAreReported) {
    ReflectedObject object = taggedObject(3);
    ObjectData* data = object.objectData();
    ASSERT_NE(data, nullptr);
    Kor::MessageCapture capture;
    data->propertyAdded(object, 9, 1);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: index <= oldSize\r\n"));
    EXPECT_TRUE(
        capture.contains("ASSERTION FAILED: m_properties.size() + count == object.propertyCount()\r\n"));
    capture.clear();
    data->propertyAboutToBeRemoved(object, 2, 5);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: index + count <= m_propertiesContextData.size()\r\n"));
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: index + count <= object.propertyCount()\r\n"));
    EXPECT_EQ(tagsOf(object), (Tags{"p0", "p1", "p2"}));
}

// Without per-instance data a handle has nothing but its slot in the
// object's context to tell that its property went: a removal or a reset
// must turn it invalid, every operation neutral, never reading what the
// slot was.
TEST(ContextDataWithoutInstanceData, HandlesOfRemovedOrResetPropertiesDegrade) {
    TestMetaObject meta(typeid(Pair), "context_test::Pair");
    const auto field = [&meta](const char* key, int Pair::*member) {
        return meta.add(std::make_shared<TestMetaProperty>(
            &meta, tavi::Variant(std::string(key)), Annotations{tavi::Variant(std::string(key))},
            [member](const BoundProperty& p) {
                return tavi::Variant(p.object().get().castPtr<Pair>()->*member);
            },
            [member](const BoundProperty& p, const tavi::Variant& value, SetterFlags) {
                const_cast<Pair*>(p.object().get().castPtr<Pair>())->*member = value.cast<int>();
            }));
    };
    field("a", &Pair::a);
    // The description outlives its removal, as the builder's do.
    const std::shared_ptr<TestMetaProperty> described = field("c", &Pair::c);
    const Registration registration(meta);
    Pair pair;
    const ReflectedObject object{tavi::Variant(&pair)};
    const BoundProperty a = object.propertyAt(0);
    const BoundProperty c = object.propertyAt(1);
    ASSERT_FALSE(c.annotations().empty());

    {
        PropertiesRemoveNotifier removal(object, 1, 1);
        meta.dropLast();
    }
    EXPECT_FALSE(c.isValid());
    EXPECT_EQ(c.name(), "");
    EXPECT_EQ(c.contextData(), nullptr);
    EXPECT_TRUE(c.annotations().isBlank());
    EXPECT_FALSE(c.validator());
    EXPECT_EQ(c.statelessMode(), Mode::None);
    EXPECT_FALSE(c.isReadOnly());
    EXPECT_TRUE(c.get().isVoid());
    EXPECT_FALSE(c.set(tavi::Variant(9)));
    EXPECT_EQ(pair.c, 3);
    EXPECT_FALSE(c == BoundProperty(object, 0));
    EXPECT_TRUE(BoundProperty(c).connectPropertyChanged([] {}).empty());

    EXPECT_TRUE(a.isValid()) << "the property that stays keeps its handle";
    EXPECT_FALSE(a.annotations().empty());
    EXPECT_TRUE(a.set(tavi::Variant(4)));
    EXPECT_EQ(pair.a, 4);

    { PropertiesResetNotifier reset(object); }
    EXPECT_FALSE(a.isValid());
    EXPECT_TRUE(a.annotations().isBlank());
    EXPECT_FALSE(a.set(tavi::Variant(5)));
    const BoundProperty again = object.propertyAt(0);
    EXPECT_TRUE(again.set(tavi::Variant(6)));
    EXPECT_EQ(pair.a, 6);
    EXPECT_FALSE(again.annotations().empty());
}

// Caches of properties without instance data start listening when they are
// first filled, not when the handle is made; from then on they hear every change.
TEST(ContextDataWithoutInstanceData, CachesFilledLaterStillHearChanges) {
    Dial first;
    Dial second;
    Rig rig{&first};
    const ReflectedObject object = reflect(rig);
    const BoundProperty holder = object.findPropertyByName("dial");
    ASSERT_TRUE(holder.isValid());
    const ReflectedObject held(holder); // the first thing the holder's cache holds
    ASSERT_EQ(ReflectedObject(holder).contextData(), held.contextData());
    // A write is announced for the held context's sake alone, and drops it.
    ASSERT_TRUE(holder.set(tavi::Variant(&second)));
    EXPECT_NE(ReflectedObject(holder).contextData(), held.contextData());

    const BoundProperty value = ReflectedObject(holder).findPropertyByName("value");
    static_cast<void>(value.statelessMode()); // the first value its cache holds
    tag(value, "cached");
    notify::propertyChanged(value, {}, NotifyFlag::Sources);
    EXPECT_EQ(tagOf(value), "");
}

TEST(ContextDataWithoutInstanceData, DeclaredTypesDegradeOnAReset) {
    Dial dial;
    const ReflectedObject object = reflect(dial);
    const BoundProperty value = object.findPropertyByName("value");
    ASSERT_TRUE(value.set(tavi::Variant(0.25f)));
    { PropertiesResetNotifier reset(object); }
    EXPECT_FALSE(value.isValid());
    EXPECT_FALSE(value.isStateless());
    EXPECT_FALSE(value.set(tavi::Variant(0.75f)));
    EXPECT_EQ(dial.value, 0.25f);
    EXPECT_TRUE(object.findPropertyByName("value").set(tavi::Variant(1.0f)));
    EXPECT_EQ(dial.value, 1.0f);
}

TEST(ReflectedObjectAssertions, DataHandleNeedsAPointerAndData) {
    Kor::MessageCapture capture;
    const ReflectedObject object(tavi::Variant(int32_t(3)), std::shared_ptr<ObjectData>());
    EXPECT_FALSE(object.isValid());
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: object.isNonNullPointer()\r\n"));
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: objectData\r\n"));
}

} // namespace
