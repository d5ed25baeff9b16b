#include "orv_cpp_utils/wildcard.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using zel::WildcardFlag;
using zel::wildcardMatch;

TEST(Wildcard, StarsQuestionMarksAndEmptyInput) {
    EXPECT_TRUE(wildcardMatch("***", ""));
    EXPECT_FALSE(wildcardMatch("?", ""));
    EXPECT_FALSE(wildcardMatch("", "a"));
    EXPECT_FALSE(wildcardMatch("position", "positionX")); // the whole text must match
    EXPECT_TRUE(wildcardMatch("p*s*n", "position"));
    EXPECT_FALSE(wildcardMatch("a*?", "a"));
    // The last star must be able to give back what it took.
    EXPECT_TRUE(wildcardMatch("*ab*abc", "abababcabc"));
}

TEST(Wildcard, Flags) {
    EXPECT_FALSE(wildcardMatch("POS*", "position"));
    EXPECT_TRUE(wildcardMatch("POS*", "position", WildcardFlag::CaseInsensitive));
    // Escapes are on by default; NoEscape makes '\' an ordinary character.
    EXPECT_FALSE(wildcardMatch("a\\*", "ab"));
    EXPECT_TRUE(wildcardMatch("a\\", "a\\"));
    EXPECT_TRUE(wildcardMatch("a\\*", "a\\bc", WildcardFlag::NoEscape));
    EXPECT_FALSE(wildcardMatch("a?b", "a.b", WildcardFlag::PathSeparator));
    EXPECT_FALSE(wildcardMatch("*.b*", "abc.bd.e", WildcardFlag::PathSeparator));
    EXPECT_TRUE(wildcardMatch("a\\.*", "a.b", WildcardFlag::PathSeparator));
    // The library's property-name value: case-insensitive, no escapes, '.' is ordinary.
    EXPECT_TRUE(wildcardMatch("P*\\b", "pos.x\\B", 10u));
}

TEST(Wildcard, ManyStarsStayFast) {
    const std::string text(20000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(wildcardMatch("a*a*a*a*a*a*a*a*b", text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
