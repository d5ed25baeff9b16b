#include "orv_cpp_utils/wildcard.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using zel::wildcardMatch;
using zel::WildcardFlag;

TEST(Wildcard, EmptyPatternAndText) {
    EXPECT_TRUE(wildcardMatch("", ""));
    EXPECT_FALSE(wildcardMatch("", "a"));
    EXPECT_FALSE(wildcardMatch("a", ""));
    EXPECT_TRUE(wildcardMatch("*", ""));
    EXPECT_TRUE(wildcardMatch("***", ""));
    EXPECT_FALSE(wildcardMatch("?", ""));
}

TEST(Wildcard, StarAndQuestionMark) {
    EXPECT_TRUE(wildcardMatch("position", "position"));
    EXPECT_FALSE(wildcardMatch("position", "positionX"));
    EXPECT_TRUE(wildcardMatch("pos*", "pos"));
    EXPECT_TRUE(wildcardMatch("pos*", "position"));
    EXPECT_TRUE(wildcardMatch("*tion", "position"));
    EXPECT_TRUE(wildcardMatch("p*s*n", "position"));
    EXPECT_FALSE(wildcardMatch("p*s*x", "position"));
    EXPECT_TRUE(wildcardMatch("?osition", "position"));
    EXPECT_FALSE(wildcardMatch("??", "a"));
    EXPECT_FALSE(wildcardMatch("??", "abc"));
    EXPECT_TRUE(wildcardMatch("a*?", "ab"));
    EXPECT_FALSE(wildcardMatch("a*?", "a"));
    // The last star must be able to give back what it took.
    EXPECT_TRUE(wildcardMatch("*ab*abc", "abababcabc"));
    EXPECT_TRUE(wildcardMatch("*a", "aaa"));
}

TEST(Wildcard, Flags) {
    EXPECT_FALSE(wildcardMatch("POS*", "position"));
    EXPECT_TRUE(wildcardMatch("POS*", "position", WildcardFlag::CaseInsensitive));
    EXPECT_FALSE(wildcardMatch("a", "b", WildcardFlag::CaseInsensitive));

    // Escapes are on by default; NoEscape makes '\' an ordinary character.
    EXPECT_TRUE(wildcardMatch("a\\*", "a*"));
    EXPECT_FALSE(wildcardMatch("a\\*", "ab"));
    EXPECT_TRUE(wildcardMatch("a\\", "a\\"));
    EXPECT_FALSE(wildcardMatch("a\\*", "a*", WildcardFlag::NoEscape));
    EXPECT_TRUE(wildcardMatch("a\\*", "a\\bc", WildcardFlag::NoEscape));

    EXPECT_TRUE(wildcardMatch("*", "a.b"));
    EXPECT_FALSE(wildcardMatch("*", "a.b", WildcardFlag::PathSeparator));
    EXPECT_FALSE(wildcardMatch("a?b", "a.b", WildcardFlag::PathSeparator));
    EXPECT_TRUE(wildcardMatch("*.b*", "abc.bd", WildcardFlag::PathSeparator));
    EXPECT_FALSE(wildcardMatch("*.b*", "abc.bd.e", WildcardFlag::PathSeparator));
    EXPECT_TRUE(wildcardMatch("a\\.*", "a.b", WildcardFlag::PathSeparator));
    EXPECT_FALSE(wildcardMatch("*.", "a", WildcardFlag::PathSeparator));
}

TEST(Wildcard, LibraryFlagValue) {
    EXPECT_EQ(zel::PROPERTY_NAME_MATCH, zel::WildcardFlags(10u));
    EXPECT_TRUE(wildcardMatch("*", "file.ext", 10u));
    EXPECT_TRUE(wildcardMatch("Pos*", "position", 10u));
    EXPECT_TRUE(wildcardMatch("a\\b", "A\\B", 10u));
}

TEST(Wildcard, ManyStarsStayFast) {
    const std::string text(20000, 'a');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(wildcardMatch("a*a*a*a*a*a*a*a*b", text));
    EXPECT_TRUE(wildcardMatch("a*a*a*a*a*a*a*a*a", text));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
