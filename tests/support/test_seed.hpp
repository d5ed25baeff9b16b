#pragma once
// Seeds of randomised tests: a fresh one per run, or REFLECTION_TEST_SEED
// to replay the run a failure printed.

#include <cstdlib>
#include <random>

namespace orv::test {

inline unsigned testSeed() {
    if (const char* given = std::getenv("REFLECTION_TEST_SEED"))
        return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    return std::random_device()();
}

} // namespace orv::test
