// Connect, disconnect and emit from several threads at once, checking what
// must hold whatever the interleaving. Each test runs for a bounded time.

#include "orv_cpp_utils/signal.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Signal = zel::FuzzySignal<void(int)>;
constexpr int kThreads = 4;
constexpr auto kDuration = std::chrono::milliseconds(250);

struct Record {
    std::thread::id owner = std::this_thread::get_id();
    std::atomic<bool> disconnected{false}; // set once disconnect() returned
    std::atomic<int> calls{0};
};

struct Shared {
    Signal signal;
    std::atomic<long> emissions{0};
    std::atomic<int> violations{0};
    std::atomic<int> oneShotOvercalls{0};
};

// A slot must not run on the thread that disconnected it once disconnect returned.
auto countingSlot(Shared& shared, std::shared_ptr<Record> record) {
    return [&shared, record](int) {
        record->calls.fetch_add(1, std::memory_order_relaxed);
        if (record->owner == std::this_thread::get_id() && record->disconnected.load())
            shared.violations.fetch_add(1);
    };
}

void churn(Shared& shared, unsigned seed, Clock::time_point deadline, std::vector<std::weak_ptr<Record>>& seen) {
    std::mt19937 rng(seed);
    struct Owned {
        zel::Connection connection;
        std::shared_ptr<Record> record;
    };
    std::vector<Owned> owned;
    while (Clock::now() < deadline) {
        const unsigned op = rng() % 10;
        if (op < 4 && owned.size() < 16) {
            auto record = std::make_shared<Record>();
            seen.push_back(record);
            const int priority = int(rng() % 5) - 2;
            owned.push_back({shared.signal.connect(countingSlot(shared, record), priority), record});
        } else if (op < 6 && !owned.empty()) {
            const size_t i = rng() % owned.size();
            owned[i].connection.disconnect();
            owned[i].record->disconnected = true;
            owned.erase(owned.begin() + long(i));
        } else if (op == 6) {
            // Disconnects itself when first called; emissions that pinned it
            // before that may still call it, at most one per thread.
            auto record = std::make_shared<Record>();
            seen.push_back(record);
            zel::Connection c = shared.signal.connect([&shared, record](const zel::Connection& self) {
                if (record->calls.fetch_add(1) >= kThreads)
                    shared.oneShotOvercalls.fetch_add(1);
                self.disconnect();
            });
            owned.push_back({c, record});
        } else {
            shared.emissions.fetch_add(1);
            shared.signal(0);
        }
    }
    for (Owned& o : owned) {
        o.connection.disconnect();
        o.record->disconnected = true;
    }
}

TEST(SignalStress, ConcurrentConnectDisconnectAndEmit) {
    Shared shared;
    auto permanent = std::make_shared<Record>();
    shared.signal.connect(countingSlot(shared, permanent));

    const auto deadline = Clock::now() + kDuration;
    std::vector<std::vector<std::weak_ptr<Record>>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(churn, std::ref(shared), unsigned(t + 1), deadline, std::ref(seen[t]));
    for (std::thread& t : threads)
        t.join();

    EXPECT_EQ(shared.violations.load(), 0);
    EXPECT_EQ(shared.oneShotOvercalls.load(), 0);
    // Connected before every emission and never disconnected: called by each exactly once.
    EXPECT_EQ(permanent->calls.load(), shared.emissions.load());
    EXPECT_GT(shared.emissions.load(), 0);
    EXPECT_EQ(shared.signal.slotCount(), 1u);
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
        std::atomic<int> ready{0};
        std::atomic<int> calls{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                ready.fetch_add(1);
                while (ready.load() < kThreads)
                    std::this_thread::yield();
                signal.connect([&] { calls.fetch_add(1); });
            });
        for (std::thread& t : threads)
            t.join();
        ASSERT_EQ(signal.slotCount(), size_t(kThreads));
        signal(0);
        ASSERT_EQ(calls.load(), kThreads);
    }
}

TEST(SignalStress, SignalMapEntriesFollowTheirSlots) {
    orv::SignalMap<Signal> map;
    int keys[3] = {};
    std::atomic<long> calls{0};
    const auto deadline = Clock::now() + kDuration;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
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
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(map.size(), 0u);
    EXPECT_GT(calls.load(), 0);
}

} // namespace
