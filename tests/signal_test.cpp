#include "orv_cpp_utils/signal.hpp"

#include "platform/corekit/diagnostics.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using zel::Connection;
using Signal = zel::FuzzySignal<void(int)>;
using Log = std::vector<std::string>;

// Records into `log` when called; the captured token shows when the callable is released.
auto recorder(Log& log, std::string name, std::shared_ptr<int> token = {}) {
    return [&log, name, token](int) { log.push_back(name); };
}

TEST(Signal, EmittingWithoutSlotsCreatesNoBody) {
    Signal signal;
    signal(1);
    EXPECT_EQ(signal.impl(), nullptr);
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(Signal, SlotsRunByPriorityThenConnectionOrder) {
    Signal signal;
    Log log;
    signal.connect(recorder(log, "S1"), 100);
    signal.connect(recorder(log, "S2"), 0);
    signal.connect(recorder(log, "S3"), -100);
    signal.connect(recorder(log, "S4"), 0);
    signal.connect(recorder(log, "S5"), 0);
    signal(0);
    EXPECT_EQ(log, (Log{"S3", "S2", "S4", "S5", "S1"}));
}

TEST(Signal, SlotsTakeAnySubsequenceOfConnectionAndArguments) {
    zel::FuzzySignal<void(int, const std::string&)> signal;
    Log log;
    signal.connect([&] { log.push_back("none"); });
    signal.connect([&](const std::string& s) { log.push_back(s); });
    signal.connect([&](const Connection& c, int i) { log.push_back(std::to_string(i) + (c.connected() ? "c" : "-")); });
    signal(7, "text");
    EXPECT_EQ(log, (Log{"none", "text", "7c"}));
}

TEST(Signal, DroppingHandlesKeepsTheSlotConnected) {
    Signal signal;
    Log log;
    auto token = std::make_shared<int>();
    { Connection c = signal.connect(recorder(log, "A", token)); }
    signal(0);
    EXPECT_EQ(log, Log{"A"});
    EXPECT_EQ(token.use_count(), 2); // still held by the slot
}

TEST(Signal, DisconnectReleasesTheCallableAndIsIdempotent) {
    Signal signal;
    Log log;
    auto token = std::make_shared<int>();
    Connection c = signal.connect(recorder(log, "A", token));
    Connection copy = c;
    EXPECT_TRUE(copy.connected());
    c.disconnect();
    EXPECT_TRUE(c.empty());
    EXPECT_FALSE(copy.connected());
    EXPECT_EQ(token.use_count(), 1);
    EXPECT_EQ(signal.slotCount(), 0u);
    copy.disconnect();
    signal(0);
    EXPECT_TRUE(log.empty());
}

TEST(Signal, SlotConnectedDuringEmissionWaitsForTheNextOne) {
    Signal signal;
    Log log;
    bool connected = false;
    signal.connect([&](int) {
        log.push_back("A");
        if (!std::exchange(connected, true))
            signal.connect(recorder(log, "late"), 100);
    });
    signal(0);
    EXPECT_EQ(log, Log{"A"});
    signal(0);
    EXPECT_EQ(log, (Log{"A", "A", "late"}));
}

TEST(Signal, SlotDisconnectingItselfIsNotCalledAgain) {
    Signal signal;
    Log log;
    signal.connect([&](const Connection& self, int) {
        log.push_back("once");
        self.disconnect();
    });
    signal.connect(recorder(log, "next"));
    signal(0);
    signal(0);
    EXPECT_EQ(log, (Log{"once", "next", "next"}));
}

TEST(Signal, DisconnectingALaterSlotPreventsItsCall) {
    Signal signal;
    Log log;
    Connection later;
    signal.connect([&](int) {
        log.push_back("first");
        later.disconnect();
    });
    later = signal.connect(recorder(log, "later"));
    signal.connect(recorder(log, "last"));
    signal(0);
    EXPECT_EQ(log, (Log{"first", "last"}));
}

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
    EXPECT_EQ(signal.slotCount(), 0u);
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
    auto token = std::make_shared<int>();
    signal.connect([&, token](int i) {
        log.push_back("throws");
        if (i == 0)
            throw std::runtime_error("slot failed");
    });
    signal.connect(recorder(log, "later"));
    EXPECT_THROW(signal(0), std::runtime_error);
    EXPECT_EQ(log, Log{"throws"});
    signal(1); // the failed emission left no slot pinned
    EXPECT_EQ(log, (Log{"throws", "throws", "later"}));
    EXPECT_EQ(signal.slotCount(), 2u);
}

TEST(Signal, InvokingAReleasedOrEmptySlotThrows) {
    Signal signal;
    Connection empty = signal.connect(Signal::slot_type());
    EXPECT_THROW(signal(0), std::bad_function_call);
    empty.disconnect();

    Log log;
    Connection c = signal.connect(recorder(log, "A"));
    Connection keep = c;
    c.disconnect();
    auto* holder = static_cast<zel::signal_details::SlotHolder<void(int)>*>(keep.holder());
    EXPECT_THROW(holder->invoke(0), std::bad_optional_access);
}

TEST(ScopedConnection, DisconnectsWhenDestroyedOrReplaced) {
    Signal signal;
    Log log;
    {
        zel::ScopedConnection scoped = signal.connect(recorder(log, "A"));
        signal(0);
        scoped = signal.connect(recorder(log, "B"));
        signal(0);
        zel::ScopedConnection moved = std::move(scoped);
        EXPECT_FALSE(scoped.connected());
        EXPECT_TRUE(moved.connected());
    }
    signal(0);
    EXPECT_EQ(log, (Log{"A", "B"}));

    zel::ScopedConnection kept = signal.connect(recorder(log, "C"));
    Connection released = kept.release();
    EXPECT_TRUE(released.connected());
}

TEST(InlineConnection, HoldsTheSlotAndDisconnectsWhenDestroyed) {
    Signal signal;
    Log log;
    {
        zel::InlineConnection storage;
        Connection c = signal.connect(&storage, recorder(log, "inline"), 0);
        EXPECT_TRUE(storage.connected());
        EXPECT_GE(reinterpret_cast<const std::byte*>(c.holder()), reinterpret_cast<const std::byte*>(&storage));
        EXPECT_LT(reinterpret_cast<const std::byte*>(c.holder()), reinterpret_cast<const std::byte*>(&storage + 1));
        signal(0);
        c = {};
    }
    signal(0);
    EXPECT_EQ(log, Log{"inline"});
    EXPECT_EQ(signal.slotCount(), 0u);
}

TEST(InlineConnection, ResubscribingAfterDisconnectReportsNothing) {
    Signal signal;
    Log log;
    zel::InlineConnection storage;
    Kor::MessageCapture capture;
    Connection c = signal.connect(&storage, recorder(log, "old"), 0);
    storage.disconnect();
    EXPECT_TRUE(storage.inUse());
    c = {};
    signal.connect(&storage, recorder(log, "new"), 0);
    signal(0);
    EXPECT_EQ(log, Log{"new"});
    EXPECT_EQ(capture.count(), 0u);
}

TEST(InlineConnection, ReuseWhileConnectedIsReportedThenReplaced) {
    Signal signal;
    Log log;
    zel::InlineConnection storage;
    signal.connect(&storage, recorder(log, "old"), 0);
    Kor::MessageCapture capture;
    signal.connect(&storage, recorder(log, "new"), 0);
    EXPECT_TRUE(capture.contains("ASSERTION FAILED: !h->connected()"));
    EXPECT_TRUE(capture.contains("Attempted reuse of connected InlineConnection"));
    EXPECT_FALSE(capture.contains("h->refCount() == 1"));
    signal(0);
    EXPECT_EQ(log, Log{"new"});
    EXPECT_EQ(signal.slotCount(), 1u);
}

TEST(InlineConnection, ReuseWithOutstandingHandleIsReported) {
    Signal signal;
    zel::InlineConnection storage;
    // A handle kept past reuse would dangle: build it where it is never destroyed.
    alignas(Connection) std::byte leaked[sizeof(Connection)];
    ::new (leaked) Connection(signal.connect(&storage, [](int) {}, 0));
    storage.disconnect();
    Kor::MessageCapture capture;
    signal.connect(&storage, [](int) {}, 0);
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

TEST(SignalMap, EmitsOnlyToTheKeysSlots) {
    Map map;
    Log log;
    int a = 0, b = 0;
    map.connect(&a, "checked a", recorder(log, "a"));
    map.connect(&b, "checked b", recorder(log, "b"));
    map(&a, 0);
    map(&log, 0); // no entry: nothing happens
    EXPECT_EQ(log, Log{"a"});
    EXPECT_EQ(map.size(), 2u);
}

TEST(SignalMap, EntryLivesWhileASlotOfItsKeyIsConnected) {
    Map map;
    int key = 0;
    Connection first = map.connect(&key, "checked first", [](int) {});
    Connection second = map.connect(&key, "checked second", [](int) {});
    EXPECT_EQ(map.size(), 1u);
    first.disconnect();
    EXPECT_TRUE(map.contains(&key));
    second.disconnect();
    EXPECT_FALSE(map.contains(&key));
    EXPECT_EQ(map.size(), 0u);
}

TEST(SignalMap, SlotDisconnectingItselfDuringEmissionRemovesTheEntry) {
    Map map;
    int key = 0;
    int calls = 0;
    map.connect(&key, "checked self", [&](const Connection& self) {
        ++calls;
        self.disconnect();
    });
    map(&key, 0);
    map(&key, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(map.size(), 0u);
}

TEST(SignalMap, InlineStorageAndPriorityAreHonoured) {
    Map map;
    Log log;
    int key = 0;
    zel::InlineConnection storage;
    map.connect(&key, "checked late", nullptr, recorder(log, "late"), 100);
    map.connect(&key, "checked early", &storage, recorder(log, "early"), -100);
    map(&key, 0);
    EXPECT_EQ(log, (Log{"early", "late"}));
    storage.disconnect();
    EXPECT_TRUE(map.contains(&key));
}

TEST(SignalMap, DestroyingTheMapDisconnectsItsSlots) {
    Connection c;
    auto token = std::make_shared<int>();
    {
        Map map;
        int key = 0;
        c = map.connect(&key, "checked x", [token](int) {});
    }
    EXPECT_FALSE(c.connected());
    EXPECT_EQ(token.use_count(), 1);
}

} // namespace
