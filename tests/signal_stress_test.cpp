// Connect, disconnect and emit from several threads at once, checking what
// must hold whatever the interleaving. Each test runs for a bounded time.

#include "orv_cpp_utils/signal.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Signal = zel::FuzzySignal<void(int)>;
constexpr int kThreads = 4;
constexpr auto kDuration = std::chrono::milliseconds(250);

// Runs `body(thread index)` on kThreads threads at once and waits for them.
template <class F>
void onThreads(F body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(body, t);
    for (std::thread& t : threads)
        t.join();
}

struct Record {
    std::thread::id owner = std::this_thread::get_id();
    std::atomic<bool> disconnected{false}; // set once disconnect() returned
    std::atomic<int> calls{0};
};

TEST(SignalStress, ConcurrentConnectDisconnectAndEmit) {
    Signal signal;
    std::atomic<long> emissions{0};
    std::atomic<int> violations{0}, oneShotOvercalls{0};
    // A slot must not run on the thread that disconnected it once disconnect returned.
    auto countingSlot = [&](std::shared_ptr<Record> record) {
        return [&violations, record](int) {
            record->calls.fetch_add(1, std::memory_order_relaxed);
            if (record->owner == std::this_thread::get_id() && record->disconnected.load())
                violations.fetch_add(1);
        };
    };
    auto permanent = std::make_shared<Record>();
    signal.connect(countingSlot(permanent));

    const auto deadline = Clock::now() + kDuration;
    std::vector<std::vector<std::weak_ptr<Record>>> seen(kThreads);
    onThreads([&](int t) {
        std::mt19937 rng(unsigned(t + 1));
        std::vector<std::pair<zel::Connection, std::shared_ptr<Record>>> owned;
        while (Clock::now() < deadline) {
            const unsigned op = rng() % 10;
            if ((op < 4 || op == 6) && owned.size() < 16) {
                auto record = std::make_shared<Record>();
                seen[t].push_back(record);
                // A one-shot slot disconnects itself when first called; emissions that
                // pinned it before that may still call it, at most one per thread.
                auto oneShot = [&oneShotOvercalls, record](const zel::Connection& self) {
                    if (record->calls.fetch_add(1) >= kThreads)
                        oneShotOvercalls.fetch_add(1);
                    self.disconnect();
                };
                const int priority = int(op) - 2;
                owned.emplace_back(
                    op == 6 ? signal.connect(oneShot) : signal.connect(countingSlot(record), priority),
                    record);
            } else if (op < 6 && !owned.empty()) {
                const size_t i = rng() % owned.size();
                owned[i].first.disconnect();
                owned[i].second->disconnected = true;
                owned.erase(owned.begin() + long(i));
            } else {
                emissions.fetch_add(1);
                signal(0);
            }
        }
        for (auto& [connection, record] : owned) {
            connection.disconnect();
            record->disconnected = true;
        }
    });

    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(oneShotOvercalls.load(), 0);
    // Connected before every emission and never disconnected: called by each exactly once.
    EXPECT_EQ(permanent->calls.load(), emissions.load());
    EXPECT_GT(emissions.load(), 0);
    EXPECT_EQ(signal.slotCount(), 1u);
    // Every disconnected slot has released its callable (and with it the record).
    size_t alive = 0;
    for (const auto& list : seen)
        for (const auto& weak : list)
            alive += !weak.expired();
    EXPECT_EQ(alive, 0u);
}

TEST(SignalStress, FirstConnectsRaceToCreateOneBody) {
    for (int round = 0; round < 30; ++round) {
        Signal signal;
        std::atomic<int> ready{0}, calls{0};
        onThreads([&](int) {
            ready.fetch_add(1);
            while (ready.load() < kThreads)
                std::this_thread::yield();
            signal.connect([&] { calls.fetch_add(1); });
        });
        signal(0);
        ASSERT_EQ(calls.load(), kThreads);
    }
}

// The owner of a signal destroys it while other threads disconnect their
// slots (the last handles to an object dropped as the object dies): every
// disconnect finishes against a live body, and every callable is released.
TEST(SignalStress, DisconnectsRaceTheSignalsDestruction) {
    for (int round = 0; round < 200; ++round) {
        auto signal = std::make_unique<Signal>();
        auto token = std::make_shared<int>(0);
        std::vector<std::vector<zel::Connection>> owned(kThreads);
        for (int t = 0; t < kThreads; ++t)
            for (int i = 0; i < 4; ++i)
                owned[size_t(t)].push_back(signal->connect([token](int) {}));
        std::atomic<int> ready{0};
        onThreads([&](int t) {
            ready.fetch_add(1);
            while (ready.load() < kThreads)
                std::this_thread::yield();
            if (t == 0)
                signal.reset();
            for (zel::Connection& c : owned[size_t(t)])
                c.disconnect();
        });
        ASSERT_EQ(token.use_count(), 1) << "round " << round;
    }
}

TEST(SignalStress, SignalMapEntriesFollowTheirSlots) {
    orv::SignalMap<Signal> map;
    int keys[3] = {};
    std::atomic<long> calls{0};
    const auto deadline = Clock::now() + kDuration;
    onThreads([&](int t) {
        std::mt19937 rng(unsigned(100 + t));
        std::vector<zel::Connection> owned;
        while (Clock::now() < deadline) {
            const unsigned op = rng() % 3;
            const void* key = &keys[rng() % 3];
            if (op == 0 && owned.size() < 8) {
                owned.push_back(map.connect(key, "checked stress", [&] { calls.fetch_add(1); }));
            } else if (op == 1 && !owned.empty()) {
                const size_t i = rng() % owned.size();
                owned[i].disconnect();
                owned.erase(owned.begin() + long(i));
            } else {
                map(key, 0);
            }
        }
        for (zel::Connection& c : owned)
            c.disconnect();
    });
    EXPECT_EQ(map.size(), 0u);
    EXPECT_GT(calls.load(), 0);
}

} // namespace
