#include "orv_cpp_utils/signal.hpp"

#include "platform/corekit/diagnostics.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using zel::Connection;
using Signal = zel::FuzzySignal<void(int)>;
using Log = std::vector<std::string>;

// Records into `log` when called; the captured token shows when the callable is released.
auto recorder(Log& log, std::string name, std::shared_ptr<int> token = {}) {
    return [&log, name, token](int) { log.push_back(name); };
}

TEST(Signal, SlotsRunByPriorityThenConnectionOrder) {
    Signal signal;
    Log log;
    const std::pair<const char*, int> slots[] = {{"S1", 100}, {"S2", 0}, {"S3", -100}, {"S4", 0}, {"S5", 0}};
    for (const auto& [name, priority] : slots)
        signal.connect(recorder(log, name), priority);
    signal(0);
    EXPECT_EQ(log, (Log{"S3", "S2", "S4", "S5", "S1"}));
}

TEST(Signal, OnlyDisconnectEndsASlotAndReleasesItsCallable) {
    Signal signal;
    Log log;
    auto token = std::make_shared<int>();
    { Connection dropped = signal.connect(recorder(log, "A", token)); }
    signal(0);
    EXPECT_EQ(log, Log{"A"});
    EXPECT_EQ(token.use_count(), 2); // dropping the handle left the slot connected

    Connection c = signal.connect(recorder(log, "B", token));
    Connection copy = c;
    c.disconnect();
    EXPECT_FALSE(copy.connected());
    copy.disconnect(); // idempotent
    signal(0);
    EXPECT_EQ(log, (Log{"A", "A"}));
    EXPECT_EQ(token.use_count(), 2);
}

TEST(Signal, SlotsDisconnectedDuringEmissionAreNotCalled) {
    Signal signal;
    Log log;
    Connection later;
    signal.connect([&](const Connection& self, int) {
        log.push_back("once");
        self.disconnect();
        later.disconnect();
    });
    later = signal.connect(recorder(log, "later"));
    signal.connect(recorder(log, "last"));
    signal(0);
    signal(0);
    EXPECT_EQ(log, (Log{"once", "last", "last"}));
}

// Slots connected during an emission wait for the next one, nested or not.
TEST(Signal, NestedEmissionCallsEverySlotThenOuterContinues) {
    Signal signal;
    Log log;
    signal.connect([&](int depth) {
        log.push_back("A" + std::to_string(depth));
        if (depth == 0) {
            signal.connect([&](int d) { log.push_back("D" + std::to_string(d)); });
            signal(1);
        }
    });
    signal.connect([&](int depth) {
        log.push_back("B" + std::to_string(depth));
        if (depth == 1) // after the outer emission began: not for it either
            signal.connect([&](int d) { log.push_back("E" + std::to_string(d)); });
    });
    signal(0);
    EXPECT_EQ(log, (Log{"A0", "A1", "B1", "D1", "B0"}));
}

TEST(Signal, DisconnectFromAnotherThreadReleasesAfterTheRunningCall) {
    Signal signal;
    auto token = std::make_shared<int>();
    std::atomic<bool> entered{false}, disconnected{false};
    long useCountAfterDisconnect = 0;
    Connection c = signal.connect([&, token](int) {
        entered = true;
        while (!disconnected)
            std::this_thread::yield();
        useCountAfterDisconnect = token.use_count();
    });
    std::thread emitter([&] { signal(0); });
    while (!entered)
        std::this_thread::yield();
    c.disconnect();
    disconnected = true;
    emitter.join();
    EXPECT_EQ(useCountAfterDisconnect, 2); // the running call kept its callable
    EXPECT_EQ(token.use_count(), 1);       // released by the emission when it let go
}

TEST(Signal, DestroyingTheSignalInsideASlotStopsTheEmission) {
    auto signal = std::make_unique<Signal>();
    Log log;
    auto token = std::make_shared<int>();
    Connection self = signal->connect([&, token](int) {
        log.push_back("A");
        signal.reset();
        log.push_back(token.use_count() > 1 ? "alive" : "released"); // still inside the slot
    });
    Connection other = signal->connect(recorder(log, "B"));
    (*signal)(0);
    EXPECT_EQ(log, (Log{"A", "alive"}));
    EXPECT_FALSE(self.connected());
    EXPECT_FALSE(other.connected());
    EXPECT_EQ(token.use_count(), 1); // released once the emission let go
}

TEST(Signal, ExceptionFromSlotPropagatesAndSkipsLaterSlots) {
    Signal signal;
    Log log;
    signal.connect([&](int i) {
        log.push_back("throws");
        if (i == 0)
            throw std::runtime_error("slot failed");
    });
    signal.connect(recorder(log, "later"));
    EXPECT_THROW(signal(0), std::runtime_error);
    signal(1); // the failed emission left no slot pinned
    EXPECT_EQ(log, (Log{"throws", "throws", "later"}));
}

TEST(ScopedConnection, DisconnectsWhenDestroyedOrReplacedUnlessReleased) {
    Signal signal;
    Log log;
    {
        zel::ScopedConnection scoped = signal.connect(recorder(log, "A"));
        signal(0);
        scoped = signal.connect(recorder(log, "B"));
        zel::ScopedConnection moved = std::move(scoped);
        signal(0);
    }
    signal(0);
    EXPECT_EQ(log, (Log{"A", "B"}));
    zel::ScopedConnection kept = signal.connect(recorder(log, "C"));
    EXPECT_TRUE(kept.release().connected());
    signal(0);
    EXPECT_EQ(log, (Log{"A", "B", "C"}));
}

TEST(InlineConnection, HoldsTheSlotAndDisconnectsWhenDestroyed) {
    Signal signal;
    Log log;
    {
        zel::InlineConnection storage;
        const auto* holder =
            static_cast<const void*>(signal.connect(&storage, recorder(log, "inline"), 0).holder());
        EXPECT_TRUE(holder >= &storage && holder < &storage + 1);
        signal(0);
    }
    signal(0);
    EXPECT_EQ(log, Log{"inline"});
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(InlineConnection, ReuseWhileConnectedIsReportedAndReplacesButNotOnceDisconnected) {
    Signal signal;
    Log log;
    zel::InlineConnection storage;
    signal.connect(&storage, recorder(log, "old"), 0);
    {
        Kor::MessageCapture capture;
        signal.connect(&storage, recorder(log, "new"), 0);
        EXPECT_TRUE(capture.contains("ASSERTION FAILED: !h->connected()"));
        EXPECT_TRUE(capture.contains("Attempted reuse of connected InlineConnection"));
        EXPECT_FALSE(capture.contains("h->refCount() == 1"));
    }
    signal(0);
    EXPECT_EQ(log, Log{"new"});
    EXPECT_EQ(signal.slotCount(), 1u);

    storage.disconnect();
    EXPECT_TRUE(storage.inUse());
    Kor::MessageCapture capture;
    signal.connect(&storage, recorder(log, "again"), 0);
    signal(0);
    EXPECT_EQ(log, (Log{"new", "again"}));
    EXPECT_EQ(capture.count(), 0u);
}

TEST(InlineConnection, ReuseWithOutstandingHandleIsReported) {
    Signal signal;
    zel::InlineConnection storage;
    // A handle kept past reuse would dangle: build it where it is never destroyed.
    alignas(Connection) std::byte leaked[sizeof(Connection)];
    ::new (leaked) Connection(signal.connect(
        &storage, [](int) {}, 0));
    storage.disconnect();
    Kor::MessageCapture capture;
    signal.connect(
        &storage, [](int) {}, 0);
    EXPECT_FALSE(capture.contains("!h->connected()"));
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: h->refCount() == 1"));
}

// --- SignalMap --------------------------------------------------------------

using Map = orv::SignalMap<Signal>;

TEST(SignalMap, DestroyingTheMapInsideASlotStopsTheEmission) {
    auto map = std::make_unique<Map>();
    int key = 0;
    Log log;
    auto token = std::make_shared<int>();
    Connection first = map->connect(&key, "checked first", [&, token](int) {
        log.push_back("A");
        map.reset();
    });
    Connection second = map->connect(&key, "checked second", recorder(log, "B"));
    map->emit(&key, 0);
    EXPECT_EQ(log, (Log{"A"}));
    EXPECT_FALSE(first.connected());
    EXPECT_FALSE(second.connected());
    EXPECT_EQ(token.use_count(), 1);
}

TEST(SignalMap, EmitsToTheKeysSlotsInPriorityOrder) {
    Map map;
    Log log;
    int a = 0, b = 0;
    zel::InlineConnection storage;
    map.connect(&a, "checked late", nullptr, recorder(log, "a late"), 100);
    map.connect(&a, "checked early", &storage, recorder(log, "a early"), -100);
    map.connect(&b, "checked b", recorder(log, "b"));
    map(&a, 0);
    map(&log, 0); // no entry: nothing happens
    EXPECT_EQ(log, (Log{"a early", "a late"}));
    EXPECT_EQ(map.size(), 2u);
}

TEST(SignalMap, EntryLivesWhileASlotOfItsKeyIsConnected) {
    Map map;
    int key = 0, other = 0;
    zel::InlineConnection storage;
    Connection first = map.connect(&key, "checked first", [](int) {});
    map.connect(
        &key, "checked second", &storage, [](int) {}, 0);
    first.disconnect();
    EXPECT_TRUE(map.contains(&key));
    storage.disconnect();
    EXPECT_FALSE(map.contains(&key));

    int calls = 0;
    map.connect(&other, "checked self", [&](const Connection& self) {
        ++calls;
        self.disconnect();
    });
    map(&other, 0);
    map(&other, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(map.size(), 0u);
}

} // namespace
