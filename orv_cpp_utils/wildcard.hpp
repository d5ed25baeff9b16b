#pragma once
// Matching of names against patterns with the wildcards '*' and '?'.
//
// '*' matches any run of characters, including none; '?' matches exactly one
// character. Everything else matches itself. The whole text must match.
// Matching never backtracks more than one '*' at a time, so its cost is
// bounded by pattern length times text length.

#include "platform/corekit/string_ref.hpp"
#include "platform/zel_core/flags.hpp"

#include <cstdint>

namespace zel {

enum class WildcardFlag : uint32_t {
    // '*' and '?' never match the separator '.', so a pattern stays inside one
    // segment of a dotted path: "a.*" matches "a.b" but not "a.b.c".
    PathSeparator = 0x01,
    // ASCII letters compare without regard to case. Property names are typed
    // by people in filters and annotations; "position" should find "Position".
    CaseInsensitive = 0x02,
    // '\' is an ordinary character. Without it a backslash makes the next
    // pattern character literal ("\*" matches only "*"; a trailing backslash
    // matches a backslash).
    NoEscape = 0x08,
};

void zelEnableFlagOperators(WildcardFlag);

using WildcardFlags = Flags<WildcardFlag>;

// How the reflection library matches property names (value 10). The pattern
// it passes is already one segment of a dotted path (it splits at '.' and
// treats "**" and "***" itself), so the separator rule stays off: "*" must
// reach every property of a level even if a run-time key contains a '.'.
inline constexpr WildcardFlags PROPERTY_NAME_MATCH = WildcardFlag::CaseInsensitive | WildcardFlag::NoEscape;
static_assert(PROPERTY_NAME_MATCH.value() == 10);

// Whether `text` as a whole matches `pattern`.
bool wildcardMatch(Kor::StringRef pattern, Kor::StringRef text, WildcardFlags flags = {});
// Same with the flags as their raw value, as stored in data or passed by callers.
inline bool wildcardMatch(Kor::StringRef pattern, Kor::StringRef text, uint32_t flags) {
    return wildcardMatch(pattern, text, WildcardFlags(flags));
}

} // namespace zel
