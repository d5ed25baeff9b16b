#include "platform/variant/text_conversion.hpp"

#include <gtest/gtest.h>

using namespace tavi;

namespace {

const std::wstring FFFD(1, L'\uFFFD');

TEST(TextConversion, EncodesEveryUtf8Length) {
    // 1, 2, 3 and 4 byte forms, the last outside the BMP.
    const std::wstring wide = L"A\u00E9\u20AC\U0001F600";
    const std::string utf8 = upcast(wide);
    EXPECT_EQ(utf8, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(downcast(utf8), wide);
    EXPECT_EQ(downcast(utf8).size(), 4u);  // one wchar_t per code point, no surrogate pairs
}

TEST(TextConversion, BoundaryCodePointsRoundTrip) {
    const std::wstring wide{wchar_t(0x7F), wchar_t(0x80), wchar_t(0x7FF), wchar_t(0x800), wchar_t(0xD7FF),
                            wchar_t(0xE000), wchar_t(0xFFFF), wchar_t(0x10000), wchar_t(0x10FFFF)};
    EXPECT_EQ(downcast(upcast(wide)), wide);
    EXPECT_EQ(upcast(std::wstring(1, wchar_t(0x10FFFF))), "\xF4\x8F\xBF\xBF");
}

TEST(TextConversion, InvalidWideCharactersAreReplaced) {
    const std::wstring wide{L'a', wchar_t(0xD800), L'b', wchar_t(0x110000), wchar_t(-1)};
    EXPECT_EQ(upcast(wide), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextConversion, MalformedUtf8GivesOneReplacementPerMaximalSubpart) {
    struct Case {
        const char* input;
        std::wstring expected;
    };
    const Case cases[] = {
        {"\x80", FFFD},                             // stray continuation byte
        {"a\xE2\x82", L"a" + FFFD},                 // truncated at the end
        {"\xE2\x82" "b", FFFD + L"b"},              // truncated before an ASCII byte, which survives
        {"\xC0\xAF", FFFD + FFFD},                  // overlong '/'
        {"\xE0\x80\xAF", FFFD + FFFD + FFFD},       // overlong three-byte form
        {"\xED\xA0\x80", FFFD + FFFD + FFFD},       // encoded surrogate
        {"\xF4\x90\x80\x80", FFFD + FFFD + FFFD + FFFD},  // above U+10FFFF
        {"\xF5\x80", FFFD + FFFD},                  // byte never used in UTF-8
        {"\xF0\x9F\x98", FFFD},                     // one maximal subpart of three bytes
        {"\xF0\x9F\x98\xC3\xA9", FFFD + L"\u00E9"}, // the byte that breaks a sequence starts the next
    };
    for (const Case& c : cases) {
        EXPECT_EQ(downcast(c.input), c.expected) << "input bytes: " << c.input;
        EXPECT_EQ(upcast(std::string_view(c.input)), upcast(c.expected));
    }
}

TEST(TextConversion, NarrowUpcastKeepsValidText) {
    const std::string text = "plain \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 \xEF\xBF\xBD";
    EXPECT_EQ(upcast(std::string_view(text)), text);
    EXPECT_EQ(upcast(std::string_view("")), "");
    EXPECT_EQ(downcast(""), L"");
}

TEST(TextConversion, EmbeddedNullsAreKept) {
    const std::string utf8("a\0b", 3);
    const std::wstring wide = downcast(utf8);
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[1], L'\0');
    EXPECT_EQ(upcast(wide), utf8);
}

} // namespace
