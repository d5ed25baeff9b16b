#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/hash.hpp"
#include "platform/corekit/safe_reference_count.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/corekit/string_ref.hpp"
#include "platform/zel_core/profiler.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

// Reports from a static destructor, once armed. Constant-initialised, so it
// is constructed before any diagnostics state and destroyed after it.
struct ReportsAtExit {
    bool armed = false;
    ~ReportsAtExit() {
        if (!armed)
            return;
        Kor::StackTracker::Frame frame("orv::ReportsAtExit");
        Kor::DebugMessageHelper(Kor::MESSAGE_PRIORITY_WARNING).text(Kor::StackTracker::dump());
    }
} g_reportsAtExit;

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

TEST(Diagnostics, CapturesDestroyedOutOfOrderLeaveAWorkingChain) {
    Kor::MessageCapture outer;
    std::optional<Kor::MessageCapture> first(std::in_place);
    std::optional<Kor::MessageCapture> second(std::in_place);
    first.reset();  // not the current sink: it can only relay from now on
    Kor::errorMessage("to second");
    EXPECT_EQ(second->count(), 1u);
    second.reset();
    Kor::errorMessage("to outer");
    ASSERT_EQ(outer.count(), 1u);
    EXPECT_EQ(outer.messages()[0].text, "to outer");
}

TEST(Diagnostics, TextIsPostedAsItIs) {
    Kor::MessageCapture capture;
    Kor::DebugMessageHelper(Kor::MESSAGE_PRIORITY_NOTICE, "load").text("100% of %s done");
    ASSERT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.messages()[0].text, "100% of %s done");
    EXPECT_EQ(capture.messages()[0].priority, Kor::MESSAGE_PRIORITY_NOTICE);
    EXPECT_EQ(capture.messages()[0].category, "load");
}

TEST(DiagnosticsDeathTest, StaticDestructorsStillReportAndTrackFrames) {
    EXPECT_EXIT(
        {
            // Long enough to live on the heap, where a destroyed sink would leave it.
            const std::string prefix = "reported during exit:\n";
            Kor::setMessageSink([prefix](const Kor::DebugMessage& message) {
                std::fprintf(stderr, "%s%s", prefix.c_str(), message.text.c_str());
            });
            Kor::StackTracker::Frame open("orv::Main");  // still open when the program ends
            g_reportsAtExit.armed = true;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "reported during exit:\norv::ReportsAtExit \\(.*\\)\norv::Main \\(");
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

TEST(SafeReferenceCount, ReleasingTooOftenIsReportedAndDeletesNothing) {
    int destroyed = 0;
    auto* unreferenced = new Counted(&destroyed);
    Kor::MessageCapture capture;
    EXPECT_EQ(unreferenced->decRef(), -1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: left >= 0"));
    delete unreferenced;
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

TEST(StackTracker, NullNamesAndFramesBeyondCapacity) {
    const size_t base = Kor::StackTracker::depth();
    Kor::StackTracker::push(nullptr, nullptr, 7);
    EXPECT_STREQ(Kor::StackTracker::frames().back().function, "?");
    EXPECT_EQ(Kor::StackTracker::dump().rfind("? (?:7)\n", 0), 0u);
    Kor::StackTracker::pop();

    const size_t total = Kor::StackTracker::CAPACITY + 3;
    for (size_t i = base; i < total; ++i)
        Kor::StackTracker::push("orv::Deep", "deep.cpp", static_cast<int>(i));
    EXPECT_EQ(Kor::StackTracker::depth(), total);
    EXPECT_EQ(Kor::StackTracker::frames().size(), Kor::StackTracker::CAPACITY);
    EXPECT_EQ(Kor::StackTracker::dump().rfind("(3 deeper frames not recorded)\norv::Deep (deep.cpp:255)\n", 0), 0u);
    for (size_t i = base; i < total; ++i)
        Kor::StackTracker::pop();
    EXPECT_EQ(Kor::StackTracker::depth(), base);
}

TEST(StackTracker, FramesCanBePushedFromThreadExitDestructors) {
    std::string seen;
    std::thread([&seen] {
        struct Late {
            std::string* seen = nullptr;
            ~Late() {
                Kor::StackTracker::Frame frame("orv::Late");
                *seen = Kor::StackTracker::dump();
            }
        };
        // Constructed before the thread's first frame, hence destroyed after
        // everything the tracker keeps for the thread.
        thread_local Late late;
        late.seen = &seen;
        Kor::StackTracker::Frame frame("orv::Worker");
    }).join();
    EXPECT_EQ(seen.rfind("orv::Late (", 0), 0u) << seen;
    EXPECT_EQ(seen.find("orv::Worker"), std::string::npos);
}

std::vector<std::string> g_profile;

void profileBegin(const char* name) { g_profile.push_back(name); }
void profileEnd() { g_profile.push_back("end"); }

void setProfilerHooks(ZEL::Profiler::Hooks::BeginScope begin, ZEL::Profiler::Hooks::EndScope end) {
    ZEL::Profiler::g_hooks.beginScope.store(begin, std::memory_order_release);
    ZEL::Profiler::g_hooks.endScope.store(end, std::memory_order_release);
}

TEST(Profiler, HooksAreCalledOnlyWhenSet) {
    { ZEL::Profiler::Scope unhooked("Reflection|Nothing"); }
    g_profile.clear();
    setProfilerHooks(&profileBegin, nullptr);
    { ZEL::Profiler::Scope onlyBegin("Reflection|ObjectData"); }
    setProfilerHooks(&profileBegin, &profileEnd);
    { ZEL::Profiler::Scope both("Reflection|Signals"); }
    setProfilerHooks(nullptr, nullptr);
    EXPECT_EQ(g_profile, (std::vector<std::string>{"Reflection|ObjectData", "Reflection|Signals", "end"}));
}

TEST(Profiler, ScopeOpenedBeforeTheHooksDoesNotEndInTheProfiler) {
    g_profile.clear();
    {
        ZEL::Profiler::Scope early("Reflection|Early");
        setProfilerHooks(&profileBegin, &profileEnd);
    }
    setProfilerHooks(nullptr, nullptr);
    EXPECT_TRUE(g_profile.empty());
}

} // namespace
