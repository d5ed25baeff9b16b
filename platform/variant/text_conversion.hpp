#pragma once
// Conversion between narrow (UTF-8) and wide (UTF-32) text.
//
// Anything that is not valid Unicode comes out as U+FFFD, one replacement per
// maximal ill-formed subsequence, so a conversion never fails and never loses
// the position of the damage.

#include <string>
#include <string_view>

namespace tavi {

static_assert(sizeof(wchar_t) == 4, "wide text is taken to be UTF-32");

// Narrow text is UTF-8 already; the result is the same text with invalid
// sequences replaced.
std::string upcast(std::string_view text);
// Wide text (code points) to UTF-8; surrogates and values above U+10FFFF are replaced.
std::string upcast(std::wstring_view text);
// UTF-8 to wide text.
std::wstring downcast(std::string_view utf8);

// Appends the UTF-8 form of `codePoint` (U+FFFD when it is not a scalar value).
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace tavi
