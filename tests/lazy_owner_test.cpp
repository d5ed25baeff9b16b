// The lazily created owning pointer behind signal bodies, per-property
// signals and property caches.

#include "orv_cpp_utils/details/lazy_owner.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

namespace {

using zel::lazy_owner_details::LazyOwner;

std::atomic<int> s_alive{0};
std::atomic<int> s_made{0};

struct Counted {
    explicit Counted(int v = 0) : value(v) {
        ++s_alive;
        ++s_made;
    }
    ~Counted() { --s_alive; }
    int value;
};

TEST(LazyOwner, CreatesOnceAndDeletesWhatItOwns) {
    s_made = 0;
    {
        LazyOwner<Counted> owner;
        EXPECT_EQ(owner.get(), nullptr);
        Counted& first = owner.getOrCreate(7);
        EXPECT_EQ(&owner.getOrCreate(8), &first); // arguments of a later call are not used
        EXPECT_EQ(first.value, 7);
        EXPECT_EQ(s_made, 1);

        Counted* released = owner.release();
        EXPECT_EQ(released, &first);
        EXPECT_FALSE(owner);
        owner.reset(released); // adopted back
        EXPECT_EQ(owner.get(), released);
        owner.reset();
        EXPECT_EQ(s_alive, 0);
        owner.getOrCreate(1);
    }
    EXPECT_EQ(s_alive, 0);
}

// Threads that meet an empty owner at once all get the one installed object;
// every other creation is deleted right away.
TEST(LazyOwner, ConcurrentFirstUsesShareOneObject) {
    for (int round = 0; round < 100; ++round) {
        s_made = 0;
        LazyOwner<Counted> owner;
        std::latch start(4);
        std::vector<Counted*> seen(4);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                seen[t] = &owner.getOrCreate(t);
            });
        for (std::thread& thread : threads)
            thread.join();
        for (Counted* pointer : seen)
            ASSERT_EQ(pointer, owner.get()) << "round " << round;
        ASSERT_EQ(s_alive, 1) << "round " << round;
        ASSERT_GE(s_made, 1);
    }
    EXPECT_EQ(s_alive, 0);
}

} // namespace
