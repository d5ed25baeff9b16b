#pragma once
// Formatted text input and output over an IDataStream.
//
// Every value written with << reads back with >> to an equal value: numbers
// in the shortest form that parses back exactly, bool as "true"/"false".
// Plain strings are written raw and read back as one whitespace-delimited
// word; use quoted() for text that may contain whitespace or be empty.

#include "platform/variant/basic_stream.hpp"

#include <charconv>
#include <concepts>
#include <string>
#include <string_view>
#include <type_traits>

namespace tavi {

// Integer types written as numbers. char is a character; signed char and
// unsigned char (int8_t, uint8_t) are numbers so that they round-trip.
template <class T>
concept TextInteger =
    std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char> && !std::same_as<T, wchar_t> &&
    !std::same_as<T, char8_t> && !std::same_as<T, char16_t> && !std::same_as<T, char32_t>;

template <class T>
concept TextFloat = std::same_as<T, float> || std::same_as<T, double>;

class TextStream : public BasicStream {
public:
    explicit TextStream(IDataStream& data) noexcept : BasicStream(data) {}

    // --- output (does nothing once the stream has failed) ---

    // Templates so that pointers and enums do not slip in through conversions.
    template <std::same_as<bool> B>
    TextStream& operator<<(B value) {
        return writeText(value ? "true" : "false");
    }
    template <TextInteger T>
    TextStream& operator<<(T value);
    template <TextFloat F>
    TextStream& operator<<(F value) {
        return writeFloating(value);
    }

    // A template too: enums and wide characters would otherwise arrive here truncated.
    template <std::same_as<char> C>
    TextStream& operator<<(C c) {
        return writeText(std::string_view(&c, 1));
    }
    TextStream& operator<<(const char* text); // null: FAIL and a diagnostic
    TextStream& operator<<(std::string_view text) { return writeText(text); }
    TextStream& operator<<(const std::string& text) { return writeText(text); }
    // Wide text is written as UTF-8.
    TextStream& operator<<(const wchar_t* text);
    TextStream& operator<<(std::wstring_view text);
    TextStream& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }

    // --- input: skips leading whitespace; on failure sets FAIL and leaves the
    // target unchanged and the rejected text unread ---

    TextStream& operator>>(bool& value); // "true", "false", "1" or "0"
    template <TextInteger T>
    TextStream& operator>>(T& value);
    TextStream& operator>>(float& value) { return readFloating(value); }
    TextStream& operator>>(double& value) { return readFloating(value); }
    TextStream& operator>>(char& c); // the next non-whitespace character
    TextStream& operator>>(std::string& word) { return readWord(word); }
    TextStream& operator>>(std::wstring& word); // a UTF-8 word, decoded

    // Consumes whitespace (space, \t, \n, \r, \f, \v); sets EOF_BIT when it reaches the end.
    TextStream& skipWhiteSpace();
    // Skips whitespace, then consumes `c` if it comes next; otherwise consumes nothing.
    // Never changes the state except EOF_BIT.
    bool skip(char c);
    // Skips whitespace and reads up to the next whitespace (left in the stream). FAIL when empty.
    TextStream& readWord(std::string& word);
    // Reads up to '\n' (consumed, not stored; a '\r' before it is dropped).
    // FAIL only when the stream is already at its end.
    TextStream& readLine(std::string& line);
    // Reads everything that is left, whitespace included; never sets FAIL.
    TextStream& readToEnd(std::string& text);

    TextStream& writeText(std::string_view text);

    // Read functions of values that hold values of any type (lists of
    // Variants) open a Nesting for each level they enter. Past MAX_NESTING
    // open levels the read fails with a diagnostic instead of going deeper,
    // so that hostile text cannot exhaust the stack; real data nests a few
    // levels.
    static constexpr size_t MAX_NESTING = 100;
    class Nesting;

private:
    static constexpr size_t MAX_NUMBER_TOKEN = 128;
    // Skips whitespace and collects the characters of a number into `buffer`;
    // returns the token length, 0 (with FAIL set) when there is none or it is too long.
    size_t readNumberToken(char (&buffer)[MAX_NUMBER_TOKEN]);
    // Puts a token that did not parse back into the stream, then sets FAIL, so
    // that a failed read consumes nothing but whitespace.
    void rejectToken(std::string_view token);
    TextStream& writeFloating(float value);
    TextStream& writeFloating(double value);
    TextStream& readFloating(float& value);
    TextStream& readFloating(double& value);

    size_t m_nesting = 0;
};

// One level of nesting while it lives; false (the stream failed, with a
// diagnostic) when that level is too deep.
class TextStream::Nesting {
public:
    explicit Nesting(TextStream& stream);
    ~Nesting() { --m_stream.m_nesting; }
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;

    explicit operator bool() const noexcept { return m_allowed; }

private:
    TextStream& m_stream;
    bool m_allowed;
};

template <TextInteger T>
TextStream& TextStream::operator<<(T value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return writeText(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

template <TextInteger T>
TextStream& TextStream::operator>>(T& value) {
    char token[MAX_NUMBER_TOKEN];
    const size_t length = readNumberToken(token);
    if (length == 0)
        return *this;
    // from_chars takes no '+'; a '-' on an unsigned type is rejected by it.
    const char* first = token;
    if (*first == '+' && length > 1 && token[1] != '-')
        ++first;
    T parsed{};
    const auto result = std::from_chars(first, token + length, parsed);
    if (result.ec != std::errc() || result.ptr != token + length)
        rejectToken(std::string_view(token, length));
    else
        value = parsed;
    return *this;
}

// --- quoted strings: "text" with \" and \\ escaped ---

// For writing.
struct Quoted {
    std::string_view text;
};
// For reading (and writing) a string in place.
struct QuotedRef {
    std::string& text;
};

inline Quoted quoted(std::string_view text) noexcept { return Quoted{text}; }
// Exact overload so that std::quoted, found through the argument's namespace, does not win.
inline Quoted quoted(const std::string& text) noexcept { return Quoted{text}; }
inline Quoted quoted(const char* text) noexcept {
    return Quoted{text ? std::string_view(text) : std::string_view()};
}
inline QuotedRef quoted(std::string& text) noexcept { return QuotedRef{text}; }

TextStream& operator<<(TextStream& stream, const Quoted& value);
inline TextStream& operator<<(TextStream& stream, const QuotedRef& value) {
    return stream << Quoted{value.text};
}
// Skips whitespace, expects '"' (a different character is left in the stream
// and FAIL is set) and reads up to the closing quote; a backslash takes the
// next character literally. Missing closing quote: FAIL, target unchanged.
TextStream& operator>>(TextStream& stream, const QuotedRef& value);

} // namespace tavi
