#include "orv_cpp_utils/generator.hpp"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>
#include <ranges>
#include <stdexcept>
#include <string>
#include <vector>

static_assert(std::input_iterator<zel::Generator<int>::iterator>);
static_assert(std::ranges::input_range<zel::Generator<int>>);

namespace {

zel::Generator<int> range(int from, int to, std::vector<int>* produced = nullptr) {
    for (int i = from; i < to; ++i) {
        if (produced)
            produced->push_back(i);
        co_yield i;
    }
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

TEST(Generator, RunsOnlyAsFarAsConsumed) {
    std::vector<int> produced;
    zel::Generator<int> generator = range(0, 5, &produced);
    EXPECT_TRUE(produced.empty());
    auto it = generator.begin();
    EXPECT_EQ(*it, 0);
    EXPECT_EQ(produced, std::vector<int>{0});
    ++it;
    ++it;
    EXPECT_EQ(*it, 2);
    EXPECT_EQ(produced.size(), 3u);
    EXPECT_EQ(*generator.begin(), 2); // begin() again does not advance
    EXPECT_EQ(collect(zel::Generator<int>()), std::vector<int>{});
}

TEST(Generator, NestedYieldKeepsOrder) {
    int alive = 0;
    EXPECT_EQ(collect(tree(2, alive)), (std::vector<int>{0, 1, 0, 2, 0, 1, 0}));
    EXPECT_EQ(alive, 0);

    auto outer = [](zel::Generator<int> started) -> zel::Generator<int> {
        co_yield -1;
        co_yield zel::yieldAll(std::move(started));
        co_yield zel::yieldAll(range(0, 0)); // empty
        co_yield 99;
    };
    zel::Generator<int> inner = range(0, 4);
    auto it = inner.begin();
    ++it; // 0 consumed; 1 is current and must not be lost
    EXPECT_EQ(collect(outer(std::move(inner))), (std::vector<int>{-1, 1, 2, 3, 99}));
}

TEST(Generator, DeepRecursionVisitsEveryElement) {
    int alive = 0;
    int count = 0;
    for (int value : tree(12, alive)) {
        ++count;
        EXPECT_GE(alive, 1);
        EXPECT_LE(value, 12);
    }
    EXPECT_EQ(count, (1 << 13) - 1);
    EXPECT_EQ(alive, 0);
}

TEST(Generator, EarlyDestructionDestroysNestedFrames) {
    int alive = 0;
    {
        zel::Generator<int> generator = tree(4, alive);
        auto it = generator.begin();
        for (int i = 0; i < 4; ++i)
            ++it;
        EXPECT_EQ(alive, 5); // the whole chain from root to the running leaf
    }
    EXPECT_EQ(alive, 0);
}

TEST(Generator, ExceptionsReachTheConsumer) {
    auto failing = [](int after) -> zel::Generator<int> {
        for (int i = 0; i < after; ++i)
            co_yield i;
        throw std::runtime_error("broken");
    };
    zel::Generator<int> generator = failing(1);
    auto it = generator.begin();
    EXPECT_THROW(++it, std::runtime_error);
    EXPECT_TRUE(it == generator.end());
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

    auto passing = [failing]() -> zel::Generator<int> { co_yield zel::yieldAll(failing(1)); };
    EXPECT_THROW(collect(passing()), std::runtime_error);
}

TEST(Generator, YieldsConstAndMoveOnlyValues) {
    auto strings = []() -> zel::Generator<std::string> {
        const std::string fixed = "fixed";
        co_yield fixed;
        co_yield "literal";
    };
    EXPECT_EQ(collect(strings()), (std::vector<std::string>{"fixed", "literal"}));

    auto owners = []() -> zel::Generator<std::unique_ptr<int>> {
        co_yield std::make_unique<int>(7);
        auto local = std::make_unique<int>(8);
        co_yield local;
    };
    const auto values = collect(owners());
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(*values[0], 7);
    EXPECT_EQ(*values[1], 8);
}
