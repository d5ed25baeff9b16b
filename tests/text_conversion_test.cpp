#include "platform/variant/text_conversion.hpp"

#include <gtest/gtest.h>

using namespace tavi;

namespace {

const std::wstring FFFD(1, L'\uFFFD');

TEST(TextConversion, BoundaryCodePointsAndNullsRoundTrip) {
    const std::wstring wide{L'\0',          wchar_t(0x7F),   wchar_t(0x80),    wchar_t(0x7FF),
                            wchar_t(0x800), wchar_t(0xFFFF), wchar_t(0x10000), wchar_t(0x10FFFF)};
    EXPECT_EQ(downcast(upcast(wide)), wide);
    EXPECT_EQ(upcast(std::string_view(upcast(wide))), upcast(wide)); // valid UTF-8 passes unchanged
    EXPECT_EQ(upcast(std::wstring(L"A\u00E9\u20AC\U0001F600")), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    // Surrogates and values above U+10FFFF are no code points.
    EXPECT_EQ(upcast(std::wstring{L'a', wchar_t(0xD800), wchar_t(0x110000)}), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(TextConversion, MalformedUtf8GivesOneReplacementPerMaximalSubpart) {
    const std::pair<const char*, std::wstring> cases[] = {
        {"\xE2\x82"
         "b",
         FFFD + L"b"},                                   // truncated before an ASCII byte, which survives
        {"\xC0\xAF", FFFD + FFFD},                       // overlong '/'
        {"\xED\xA0\x80", FFFD + FFFD + FFFD},            // encoded surrogate
        {"\xF4\x90\x80\x80", FFFD + FFFD + FFFD + FFFD}, // above U+10FFFF
        {"\xF0\x9F\x98\xC3\xA9", FFFD + L"\u00E9"},      // the byte that breaks a sequence starts the next
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(downcast(input), expected) << "input bytes: " << input;
        EXPECT_EQ(upcast(std::string_view(input)), upcast(expected));
    }
}

} // namespace
