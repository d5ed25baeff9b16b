#include "orv_cpp_utils/wildcard.hpp"

#include <string_view>

namespace zel {
namespace {

constexpr char SEPARATOR = '.';

struct Token {
    enum Kind { Literal, AnyOne, AnyRun } kind;
    char ch;
    size_t width; // pattern characters the token takes ('\x' takes two)
};

class Matcher {
public:
    explicit Matcher(WildcardFlags flags)
        : m_fold(flags.test(WildcardFlag::CaseInsensitive)), m_escape(!flags.test(WildcardFlag::NoEscape)) {}

    Token token(std::string_view pattern, size_t pos) const {
        const char c = pattern[pos];
        if (c == '*')
            return {Token::AnyRun, c, 1};
        if (c == '?')
            return {Token::AnyOne, c, 1};
        if (c == '\\' && m_escape && pos + 1 < pattern.size())
            return {Token::Literal, pattern[pos + 1], 2};
        return {Token::Literal, c, 1};
    }

    // One pass with a single resume point: on a mismatch only the most recent
    // '*' takes one more character. Earlier stars never need to grow, because
    // the latest star can absorb anything they could.
    bool match(std::string_view pattern, std::string_view text) const {
        constexpr size_t NONE = std::string_view::npos;
        size_t p = 0;
        size_t t = 0;
        size_t resumePattern = NONE;
        size_t resumeText = 0;
        while (t < text.size()) {
            if (p < pattern.size()) {
                const Token tok = token(pattern, p);
                if (tok.kind == Token::AnyRun) {
                    p += tok.width;
                    resumePattern = p;
                    resumeText = t;
                    continue;
                }
                if (tok.kind == Token::AnyOne || same(tok.ch, text[t])) {
                    p += tok.width;
                    ++t;
                    continue;
                }
            }
            if (resumePattern == NONE)
                return false;
            p = resumePattern;
            t = ++resumeText;
        }
        while (p < pattern.size()) {
            const Token tok = token(pattern, p);
            if (tok.kind != Token::AnyRun)
                return false;
            p += tok.width;
        }
        return true;
    }

    // With separators, every '.' of the text must meet a literal '.' of the
    // pattern, so both split into the same number of segments that match
    // pairwise; inside a segment there is no '.' left to protect.
    bool matchSegments(std::string_view pattern, std::string_view text) const {
        for (;;) {
            const Located separator = separatorIn(pattern);
            const size_t patternEnd = separator.width == 0 ? pattern.size() : separator.position;
            const size_t textEnd = text.find(SEPARATOR);
            if (!match(pattern.substr(0, patternEnd), text.substr(0, textEnd)))
                return false;
            if (separator.width == 0 || textEnd == std::string_view::npos)
                return separator.width == 0 && textEnd == std::string_view::npos;
            pattern.remove_prefix(separator.position + separator.width);
            text.remove_prefix(textEnd + 1);
        }
    }

private:
    static char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

    bool same(char a, char b) const { return a == b || (m_fold && lower(a) == lower(b)); }

    struct Located {
        size_t position;
        size_t width; // 0: not found
    };

    // The first pattern token that is a literal '.' (written "." or "\.").
    Located separatorIn(std::string_view pattern) const {
        for (size_t p = 0; p < pattern.size();) {
            const Token tok = token(pattern, p);
            if (tok.kind == Token::Literal && tok.ch == SEPARATOR)
                return {p, tok.width};
            p += tok.width;
        }
        return {pattern.size(), 0};
    }

    bool m_fold;
    bool m_escape;
};

} // namespace

bool wildcardMatch(Kor::StringRef pattern, Kor::StringRef text, WildcardFlags flags) {
    const Matcher matcher(flags);
    if (flags.test(WildcardFlag::PathSeparator))
        return matcher.matchSegments(pattern.view(), text.view());
    return matcher.match(pattern.view(), text.view());
}

} // namespace zel
