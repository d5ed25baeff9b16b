#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/hash.hpp"
#include "platform/corekit/safe_reference_count.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/corekit/string_ref.hpp"
#include "platform/zel_core/profiler.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(Diagnostics, MessagesReachTheInstalledSinkWithPriorityAndCategory) {
    Kor::MessageCapture capture;
    Kor::DebugMessageHelper(Kor::MESSAGE_PRIORITY_WARNING, "").message("index %zi out of bounds [0, %zi)",
                                                                      size_t(7), size_t(3));
    Kor::DebugMessageHelper(Kor::MESSAGE_PRIORITY_ERROR, "io").message("%s", "plain");
    Kor::errorMessage("Error setting property '%s': %s", "x", "boom");
    const auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].priority, 4);
    EXPECT_EQ(messages[0].category, "");
    EXPECT_EQ(messages[0].text, "index 7 out of bounds [0, 3)");
    EXPECT_EQ(messages[1].category, "io");
    EXPECT_EQ(messages[2].priority, 5);
    EXPECT_EQ(messages[2].text, "Error setting property 'x': boom");
}

TEST(Diagnostics, CapturesNestAndRestoreThePreviousSink) {
    Kor::MessageCapture outer;
    {
        Kor::MessageCapture inner;
        Kor::errorMessage("inner");
        EXPECT_EQ(inner.count(), 1u);
    }
    Kor::errorMessage("outer");
    ASSERT_EQ(outer.count(), 1u);
    EXPECT_EQ(outer.messages()[0].text, "outer");
}

TEST(Diagnostics, AssertionTextHasExpressionFileLineAndOptionalExplanation) {
    Kor::MessageCapture capture;
    const int line = __LINE__ + 1;
    KOR_ASSERT(1 + 1 == 3);
    KOR_ASSERT_MSG(false, "Missing %s", "META_POP");
    KOR_ASSERT(true);
    const auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].priority, Kor::MESSAGE_PRIORITY_CRITICAL);
    EXPECT_EQ(messages[0].text, "ASSERTION FAILED: 1 + 1 == 3\r\n" + std::string(__FILE__) + "(" +
                                    std::to_string(line) + ")\r\n");
    EXPECT_EQ(messages[1].text, "ASSERTION FAILED: false\r\n" + std::string(__FILE__) + "(" +
                                    std::to_string(line + 1) + ")\r\nMissing META_POP\r\n");
}

TEST(Diagnostics, SinkIsSafeFromSeveralThreads) {
    Kor::MessageCapture capture;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 250; ++i)
                Kor::warningMessage("w%d", i);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(capture.count(), 1000u);
}

TEST(Format, ShortAndLongOutputs) {
    EXPECT_EQ(kor_format("%d-%s", 42, "x"), "42-x");
    const std::string long_(1000, 'y');
    EXPECT_EQ(kor_format("<%s>", long_.c_str()), "<" + long_ + ">");
    EXPECT_EQ(kor_format("%s", ""), "");
}

TEST(Hash, EqualBytesHashEquallyAndLengthMatters) {
    const char text[] = "abcabc";
    EXPECT_EQ(Kor::hash_string(text, 3), Kor::hash_string(text + 3, 3));
    EXPECT_NE(Kor::hash_string(text, 3), Kor::hash_string(text, 4));
    EXPECT_NE(Kor::hash_string("ab", 2), Kor::hash_string("ba", 2));
}

TEST(StringRef, ComparesByLengthAndBytesAndRejectsNull) {
    const std::string owned = "name";
    Kor::StringRef a(owned);
    Kor::StringRef b("name");
    Kor::StringRef prefix("name", 3);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, prefix);
    EXPECT_EQ(a.hash(), b.hash());

    Kor::MessageCapture capture;
    const char* null = nullptr;
    Kor::StringRef fromNull(null);
    EXPECT_TRUE(fromNull.empty());
    EXPECT_NE(fromNull.data(), nullptr);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: str != 0\r\n"));
}

struct Counted : Kor::SafeReferenceCount {
    explicit Counted(int* destroyed) : destroyed(destroyed) {}
    ~Counted() override { ++*destroyed; }
    int* destroyed;
};

TEST(SafeReferenceCount, DeletesOnLastRelease) {
    int destroyed = 0;
    auto* p = new Counted(&destroyed);
    p->incRef();
    p->incRef();
    EXPECT_EQ(p->decRef(), 1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(p->decRef(), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST(StackTracker, FramesFollowScopes) {
    const size_t base = Kor::StackTracker::depth();
    {
        Kor::StackTracker::Frame outer("orv::Outer::run");
        {
            Kor::StackTracker::Frame inner("orv::Inner::run");
            const auto frames = Kor::StackTracker::frames();
            ASSERT_EQ(frames.size(), base + 2);
            EXPECT_STREQ(frames[base].function, "orv::Outer::run");
            EXPECT_STREQ(frames[base + 1].function, "orv::Inner::run");
            EXPECT_NE(std::string(frames[base + 1].file).find("corekit_test"), std::string::npos);
            const std::string dump = Kor::StackTracker::dump();
            EXPECT_LT(dump.find("orv::Inner::run"), dump.find("orv::Outer::run"));
        }
        EXPECT_EQ(Kor::StackTracker::depth(), base + 1);
    }
    EXPECT_EQ(Kor::StackTracker::depth(), base);
    // Each thread has its own stack.
    Kor::StackTracker::Frame here("orv::Here");
    std::thread([] { EXPECT_EQ(Kor::StackTracker::depth(), 0u); }).join();
}

std::vector<std::string> g_profile;

TEST(Profiler, HooksAreCalledOnlyWhenSet) {
    { ZEL::Profiler::Scope unhooked("Reflection|Nothing"); }
    g_profile.clear();
    ZEL::Profiler::g_hooks.beginScope = [](const char* name) { g_profile.push_back(name); };
    { ZEL::Profiler::Scope onlyBegin("Reflection|ObjectData"); }
    ZEL::Profiler::g_hooks.endScope = [] { g_profile.push_back("end"); };
    { ZEL::Profiler::Scope both("Reflection|Signals"); }
    ZEL::Profiler::g_hooks = {};
    EXPECT_EQ(g_profile, (std::vector<std::string>{"Reflection|ObjectData", "Reflection|Signals", "end"}));
}

} // namespace
