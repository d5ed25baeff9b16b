#include "orv_cpp_utils/generator.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <ranges>
#include <stdexcept>
#include <vector>

static_assert(std::ranges::input_range<zel::Generator<int>>);

namespace {

zel::Generator<int> range(int from, int to) {
    for (int i = from; i < to; ++i)
        co_yield i;
}

// Counts live generator bodies: a frame that is not destroyed leaves it above zero.
struct Alive {
    explicit Alive(int& count) : count(count) { ++count; }
    ~Alive() { --count; }
    int& count;
};

zel::Generator<int> tree(int depth, int& alive) {
    Alive guard(alive);
    if (depth == 0) {
        co_yield 0;
        co_return;
    }
    co_yield zel::yieldAll(tree(depth - 1, alive));
    co_yield depth;
    co_yield zel::yieldAll(tree(depth - 1, alive));
}

template <typename T>
std::vector<T> collect(zel::Generator<T> generator) {
    std::vector<T> out;
    for (T& value : generator)
        out.push_back(std::move(value));
    return out;
}

} // namespace

TEST(Generator, NestedYieldRunsLazilyInOrderAndFreesEveryFrame) {
    int alive = 0;
    {
        zel::Generator<int> generator = tree(4, alive);
        EXPECT_EQ(alive, 0); // nothing runs before the first value is asked for
        EXPECT_EQ(*generator.begin(), 0);
        EXPECT_EQ(*generator.begin(), 0); // begin() again does not advance
        EXPECT_EQ(alive, 5);              // the chain from root to the running leaf, no further
    }
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(collect(tree(2, alive)), (std::vector<int>{0, 1, 0, 2, 0, 1, 0}));
    EXPECT_EQ(collect(tree(12, alive)).size(), (1u << 13) - 1);
    EXPECT_EQ(alive, 0);

    // An inner generator already started: its current value must not be lost.
    auto outer = [](zel::Generator<int> started) -> zel::Generator<int> {
        co_yield zel::yieldAll(std::move(started));
        co_yield zel::yieldAll(range(0, 0));
        co_yield 99;
    };
    zel::Generator<int> inner = range(0, 3);
    ++inner.begin();
    EXPECT_EQ(collect(outer(std::move(inner))), (std::vector<int>{1, 2, 99}));
}

TEST(Generator, ExceptionsReachTheConsumerThroughNesting) {
    auto failing = [](int after) -> zel::Generator<int> {
        for (int i = 0; i < after; ++i)
            co_yield i;
        throw std::runtime_error("broken");
    };
    EXPECT_THROW(failing(0).begin(), std::runtime_error);
    // A nested failure is rethrown inside the generator that yields from it.
    auto recovering = [failing]() -> zel::Generator<int> {
        bool caught = false;
        try {
            co_yield zel::yieldAll(failing(2));
        } catch (const std::runtime_error&) {
            caught = true;
        }
        co_yield caught ? -1 : 1;
    };
    EXPECT_EQ(collect(recovering()), (std::vector<int>{0, 1, -1}));
}

TEST(Generator, YieldsMoveOnlyLvalues) {
    auto owners = []() -> zel::Generator<std::unique_ptr<int>> {
        auto local = std::make_unique<int>(8);
        co_yield local;
    };
    EXPECT_EQ(*collect(owners()).at(0), 8);
}
