#include "platform/corekit/diagnostics.hpp"
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

TEST(Diagnostics, MessagesCarryFormattedTextPriorityAndCategory) {
    Kor::MessageCapture capture;
    Kor::DebugMessageHelper(Kor::MESSAGE_PRIORITY_WARNING, "io")
        .message("index %zi out of [0, %zi)", size_t(7), size_t(3));
    Kor::DebugMessageHelper(Kor::MESSAGE_PRIORITY_NOTICE).text("100% of %s done"); // posted as it is
    Kor::errorMessage("Error setting property '%s': %s", "x", std::string(1000, 'y').c_str());
    const auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0].priority, 4);
    EXPECT_EQ(messages[0].category, "io");
    EXPECT_EQ(messages[0].text, "index 7 out of [0, 3)");
    EXPECT_EQ(messages[1].text, "100% of %s done");
    EXPECT_EQ(messages[2].priority, 5);
    EXPECT_EQ(messages[2].text, "Error setting property 'x': " + std::string(1000, 'y'));
}

TEST(Diagnostics, CapturesDestroyedInAnyOrderLeaveAWorkingChain) {
    Kor::MessageCapture outer;
    std::optional<Kor::MessageCapture> first(std::in_place);
    std::optional<Kor::MessageCapture> second(std::in_place);
    first.reset(); // not the current sink: it can only relay from now on
    Kor::errorMessage("to second");
    EXPECT_EQ(second->count(), 1u);
    second.reset();
    Kor::errorMessage("to outer");
    ASSERT_EQ(outer.count(), 1u);
    EXPECT_EQ(outer.messages()[0].text, "to outer");
}

TEST(DiagnosticsDeathTest, StaticDestructorsStillReportAndTrackFrames) {
    EXPECT_EXIT(
        {
            // Long enough to live on the heap, where a destroyed sink would leave it.
            const std::string prefix = "reported during exit:\n";
            Kor::setMessageSink([prefix](const Kor::DebugMessage& message) {
                std::fprintf(stderr, "%s%s", prefix.c_str(), message.text.c_str());
            });
            Kor::StackTracker::Frame open("orv::Main"); // still open when the program ends
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

// KOR_VERIFY reports like KOR_ASSERT, evaluates its expression once and
// answers whether it held.
TEST(Diagnostics, VerifyReportsOnceAndAnswers) {
    Kor::MessageCapture capture;
    int evaluations = 0;
    const auto count = [&](bool value) { return ++evaluations, value; };
    EXPECT_TRUE(KOR_VERIFY(count(true)));
    EXPECT_FALSE(KOR_VERIFY(count(false)));
    EXPECT_FALSE(KOR_VERIFY_MSG(count(false), "pop() without a matching %s", "push()"));
    EXPECT_EQ(evaluations, 3);
    const auto messages = capture.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text.rfind("ASSERTION FAILED: count(false)\r\n", 0), 0u);
    EXPECT_NE(messages[1].text.find(")\r\npop() without a matching push()\r\n"), std::string::npos);
}

TEST(StringRef, ComparesLengthAndRejectsNull) {
    EXPECT_NE(Kor::StringRef("name"), Kor::StringRef("name", 3));
    Kor::MessageCapture capture;
    const char* null = nullptr;
    const Kor::StringRef fromNull(null);
    EXPECT_TRUE(fromNull.empty());
    EXPECT_NE(fromNull.data(), nullptr);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: str != 0\r\n"));
}

struct Counted : Kor::SafeReferenceCount {
    explicit Counted(int* destroyed) : destroyed(destroyed) {}
    ~Counted() override { ++*destroyed; }
    int* destroyed;
};

TEST(SafeReferenceCount, DeletesOnLastReleaseAndReportsOverRelease) {
    int destroyed = 0;
    auto* unreferenced = new Counted(&destroyed);
    Kor::MessageCapture capture;
    EXPECT_EQ(unreferenced->decRef(), -1);
    EXPECT_EQ(destroyed, 0);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: left >= 0"));
    unreferenced->incRef();
    unreferenced->incRef();
    EXPECT_EQ(unreferenced->decRef(), 0);
    EXPECT_EQ(destroyed, 1);
}

TEST(StackTracker, DumpIsInnermostFirstPerThreadAndCountsFramesBeyondCapacity) {
    const size_t base = Kor::StackTracker::depth();
    Kor::StackTracker::Frame outer("orv::Outer::run");
    Kor::StackTracker::push(nullptr, nullptr, 7);
    const std::string dump = Kor::StackTracker::dump();
    EXPECT_EQ(dump.rfind("? (?:7)\norv::Outer::run (", 0), 0u) << dump;
    EXPECT_NE(dump.find("corekit_test"), std::string::npos);
    Kor::StackTracker::pop();
    std::thread([] { EXPECT_EQ(Kor::StackTracker::depth(), 0u); }).join();

    const size_t total = Kor::StackTracker::CAPACITY + 3;
    for (size_t i = base + 1; i < total; ++i)
        Kor::StackTracker::push("orv::Deep", "deep.cpp", static_cast<int>(i));
    EXPECT_EQ(Kor::StackTracker::depth(), total);
    EXPECT_EQ(
        Kor::StackTracker::dump().rfind("(3 deeper frames not recorded)\norv::Deep (deep.cpp:255)\n", 0), 0u);
    for (size_t i = base + 1; i < total; ++i)
        Kor::StackTracker::pop();
    EXPECT_EQ(Kor::StackTracker::depth(), base + 1);
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

void setProfilerHooks(ZEL::Profiler::Hooks::BeginScope begin, ZEL::Profiler::Hooks::EndScope end) {
    ZEL::Profiler::g_hooks.beginScope.store(begin, std::memory_order_release);
    ZEL::Profiler::g_hooks.endScope.store(end, std::memory_order_release);
}

TEST(Profiler, EveryEndReportedHasAReportedBegin) {
    const auto begin = [](const char* name) { g_profile.push_back(name); };
    const auto end = [] { g_profile.push_back("end"); };
    g_profile.clear();
    setProfilerHooks(begin, nullptr);
    { ZEL::Profiler::Scope onlyBegin("Reflection|ObjectData"); }
    setProfilerHooks(nullptr, nullptr);
    {
        ZEL::Profiler::Scope early("Reflection|Early"); // began outside the profiler: must not end in it
        setProfilerHooks(begin, end);
    }
    { ZEL::Profiler::Scope both("Reflection|Signals"); }
    setProfilerHooks(nullptr, nullptr);
    EXPECT_EQ(g_profile, (std::vector<std::string>{"Reflection|ObjectData", "Reflection|Signals", "end"}));
}

} // namespace
