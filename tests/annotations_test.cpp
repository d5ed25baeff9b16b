#include "shared_libs/reflection/annotations.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/meta_type.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

using orv::Annotations;

struct Tag {
    int id = 0;
};
struct Note {
    std::string text;
};
// Two distinct types that the clash test registers under one name.
namespace one {
struct Clash {
    int value = 0;
};
} // namespace one
namespace two {
struct Clash {
    int value = 0;
};
} // namespace two

const bool s_registered = [] {
    tavi::MetaType::registerType<Tag>("test::Tag");
    tavi::MetaType::registerType<Note>("test::Note");
    return true;
}();

std::vector<int> tagIds(const Annotations& annotations) {
    std::vector<int> ids;
    for (const tavi::Variant& value : annotations.equal_range(orv::annotationKey<Tag>()))
        ids.push_back(value.isType<Tag>() ? value.castPtr<Tag>()->id : -1);
    return ids;
}

// The stored Variant itself: equal addresses mean one shared body.
const tavi::Variant* latestTag(const Annotations& annotations) {
    const auto it = annotations.find(orv::annotationKey<Tag>());
    return it ? &*it : nullptr;
}

// The latest value points into the container, so temporaries are refused.
template <class A>
concept LatestReadableFrom = requires(A&& a) {
    orv::findAnnotation<Tag>(std::forward<A>(a));
};
static_assert(LatestReadableFrom<const Annotations&>);
static_assert(!LatestReadableFrom<Annotations>);

TEST(Annotations, ValuesOfOneTypeKeepInsertionOrder) {
    Annotations empty;
    EXPECT_FALSE(empty.find("test::Tag").isValid());
    EXPECT_FALSE(empty.remove("test::Tag"));
    EXPECT_EQ(orv::findAnnotation<Tag>(empty), nullptr);

    Annotations annotations{Tag{1}, Note{"between"}, Tag{2}};
    EXPECT_EQ(tagIds(annotations), (std::vector<int>{1, 2}));
    EXPECT_EQ(annotations.find("test::Tag")->castPtr<Tag>()->id, 2);
    EXPECT_TRUE(annotations.remove("test::Tag")); // the latest
    EXPECT_EQ(tagIds(annotations), (std::vector<int>{1}));
    EXPECT_TRUE(annotations.remove("test::Tag"));
    EXPECT_FALSE(annotations.contain("test::Tag"));
    EXPECT_TRUE(annotations.contain("test::Note"));

    Kor::MessageCapture capture;
    annotations += tavi::Variant();
    EXPECT_EQ(std::distance(annotations.begin(), annotations.end()), 1);
    EXPECT_EQ(capture.countContaining("void value"), 1u);
}

TEST(Annotations, CopiesShareUntilModifiedAndKeepTheOrder) {
    Annotations original{1, 2.5, std::string("s"), true, 1.5f, int64_t(3), uint64_t(4), Tag{1}, Note{}, 'c'};
    Annotations copy = original;
    EXPECT_EQ(latestTag(copy), latestTag(original));
    copy += Tag{2};
    EXPECT_EQ(tagIds(original), (std::vector<int>{1}));
    EXPECT_EQ(tagIds(copy), (std::vector<int>{1, 2}));
    std::vector<const char*> before, after;
    for (const tavi::Variant& value : original)
        before.push_back(value.typeName());
    for (const tavi::Variant& value : copy)
        if (!value.isType<Tag>() || value.castPtr<Tag>()->id != 2)
            after.push_back(value.typeName());
    EXPECT_EQ(before, after);

    Annotations other = original;
    other.remove("test::Tag");
    other.clear();
    EXPECT_TRUE(other.empty());
    EXPECT_EQ(tagIds(original), (std::vector<int>{1}));
}

TEST(Annotations, MergeIntoEmptyContainerSharesTheBody) {
    Annotations source{Tag{1}};
    const tavi::Variant* sourceValue = latestTag(source);
    Annotations bodiless;
    bodiless += source;
    EXPECT_EQ(latestTag(bodiless), sourceValue);
    Annotations emptied{Tag{0}};
    emptied.remove("test::Tag");
    emptied += source;
    EXPECT_EQ(latestTag(emptied), sourceValue);

    bodiless += Tag{2};
    EXPECT_EQ(tagIds(bodiless), (std::vector<int>{1, 2}));
    EXPECT_EQ(tagIds(source), (std::vector<int>{1}));
    EXPECT_EQ(latestTag(source), sourceValue);
}

TEST(Annotations, MergeCopiesSharedValuesAndTakesThoseOfASoleOwner) {
    Annotations target{Tag{1}};
    Annotations source{Tag{2}, Note{"n"}};
    target += source;
    EXPECT_EQ(tagIds(target), (std::vector<int>{1, 2}));
    EXPECT_TRUE(target.contain("test::Note"));
    // `source` is still shared by the caller: its values are copied, not taken.
    EXPECT_EQ(tagIds(source), (std::vector<int>{2}));
    EXPECT_NE(latestTag(target), latestTag(source));

    Annotations sole{Tag{3}};
    const tavi::Variant* moved = latestTag(sole);
    target += std::move(sole);
    EXPECT_EQ(latestTag(target), moved);
    EXPECT_TRUE(sole.empty()); // NOLINT(bugprone-use-after-move)

    Annotations shared{Tag{4}};
    const Annotations keeper = shared;
    target += std::move(shared);
    EXPECT_EQ(tagIds(target), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_NE(latestTag(target), latestTag(keeper));
    EXPECT_EQ(tagIds(keeper), (std::vector<int>{4}));
}

TEST(Annotations, IterationVisitsEveryValueKeyByKey) {
    Annotations annotations{Tag{1}, Note{"n"}, Tag{2}};
    std::vector<std::string> seen;
    auto afterLastTag = annotations.end();
    for (auto it = annotations.begin(); it != annotations.end();) {
        const tavi::Variant& value = *it++;
        seen.push_back(value.isType<Tag>() ? std::to_string(value.castPtr<Tag>()->id) : value.typeName());
        if (seen.back() == "2")
            afterLastTag = it;
    }
    EXPECT_TRUE(seen == (std::vector<std::string>{"1", "2", "test::Note"}) ||
                seen == (std::vector<std::string>{"test::Note", "1", "2"}));
    auto fromFind = annotations.find("test::Tag");
    EXPECT_TRUE(++fromFind == afterLastTag);

    // A range keeps the body alive.
    const auto range = annotations.equal_range("test::Tag");
    annotations.clear();
    ASSERT_FALSE(range.empty());
    EXPECT_EQ(range.front().castPtr<Tag>()->id, 1);

    Kor::MessageCapture capture;
    Annotations::untyped_iterator end;
    ++end;
    EXPECT_FALSE(end.isValid());
    EXPECT_EQ(capture.countContaining("ASSERTION FAILED: m_impl"), 1u);
}

TEST(Annotations, TypedAccess) {
    Annotations annotations{Tag{1}, Tag{2}};
    EXPECT_FALSE(orv::hasAnnotation<Note>(annotations));
    EXPECT_EQ(orv::findAnnotation<Tag>(annotations), annotations.find("test::Tag")->castPtr<Tag>());
    std::vector<int> ids;
    // The range holds the body of the temporary container it was made from.
    for (const Tag& tag : orv::annotationsOf<Tag>(Annotations{Tag{1}, Tag{2}}))
        ids.push_back(tag.id);
    EXPECT_EQ(ids, (std::vector<int>{1, 2}));
}

TEST(Annotations, ValueOfAnotherTypeUnderTheKeyIsACastError) {
    {
        Kor::MessageCapture capture;
        tavi::MetaType::registerType<one::Clash>("test::Clash");
        tavi::MetaType::registerType<two::Clash>("test::Clash");
        // The registry warns (for the type and its pointer types) but keeps both.
        EXPECT_TRUE(capture.contains("already names"));
    }
    ASSERT_EQ(orv::annotationKey<one::Clash>(), orv::annotationKey<two::Clash>());
    const Annotations annotations{one::Clash{5}};
    EXPECT_TRUE(orv::hasAnnotation<two::Clash>(annotations));
    EXPECT_EQ(orv::findAnnotation<one::Clash>(annotations)->value, 5);
    EXPECT_THROW(orv::findAnnotation<two::Clash>(annotations), tavi::CastError);
    EXPECT_THROW((void)*orv::annotationsOf<two::Clash>(annotations).begin(), tavi::CastError);
}

TEST(Annotations, BraceCopyMergesInsteadOfNesting) {
    const Annotations a{tavi::Variant(Tag{1}), tavi::Variant(Note{"n"})};
    const Annotations b{a};
    EXPECT_TRUE(b.contain(orv::annotationKey<Tag>()) && b.contain(orv::annotationKey<Note>()));
    EXPECT_FALSE(b.contain(orv::annotationKey<Annotations>()));
    const Annotations c{a, tavi::Variant(Tag{2})};
    EXPECT_EQ(orv::findAnnotation<Tag>(c)->id, 2);
}

} // namespace
