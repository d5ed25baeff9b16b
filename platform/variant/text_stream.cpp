#include "platform/variant/text_stream.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/text_conversion.hpp"

#include <cstring>

namespace tavi {
namespace {

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool isNumberChar(int c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.';
}

} // namespace

TextStream& TextStream::writeText(std::string_view text) {
    write(text.data(), text.size());
    return *this;
}

TextStream& TextStream::operator<<(const char* text) {
    if (!text) {
        Kor::warningMessage("tavi::TextStream: null string written");
        setState(FAIL);
        return *this;
    }
    return writeText(text);
}

TextStream& TextStream::operator<<(const wchar_t* text) {
    if (!text) {
        Kor::warningMessage("tavi::TextStream: null wide string written");
        setState(FAIL);
        return *this;
    }
    return *this << std::wstring_view(text);
}

TextStream& TextStream::operator<<(std::wstring_view text) { return writeText(upcast(text)); }

TextStream& TextStream::writeFloating(float value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return writeText(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

TextStream& TextStream::writeFloating(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return writeText(std::string_view(buffer, static_cast<size_t>(result.ptr - buffer)));
}

size_t TextStream::readNumberToken(char (&buffer)[MAX_NUMBER_TOKEN]) {
    skipWhiteSpace();
    if (fail())
        return 0;
    size_t length = 0;
    // A sign may open the token or follow an exponent letter; anything that is
    // not part of a number ends it and stays in the stream (so "1,2" or "3)"
    // can be read by composite formats).
    for (int c = peek(); c != END_OF_STREAM; c = peek()) {
        const bool sign = c == '+' || c == '-';
        const bool signAllowed = length == 0 || buffer[length - 1] == 'e' || buffer[length - 1] == 'E';
        if (!(isNumberChar(c) || (sign && signAllowed)))
            break;
        if (length == MAX_NUMBER_TOKEN) {
            rejectToken(std::string_view(buffer, length));
            return 0;
        }
        buffer[length++] = static_cast<char>(get());
    }
    if (length == 0)
        setState(FAIL);
    return length;
}

void TextStream::rejectToken(std::string_view token) {
    for (auto c = token.rbegin(); c != token.rend(); ++c)
        unget(*c);
    setState(FAIL);
}

template <class F>
static bool parseFloating(const char* token, size_t length, F& value) {
    const char* first = token;
    if (*first == '+' && length > 1 && token[1] != '-')
        ++first;
    F parsed{};
    const auto result = std::from_chars(first, token + length, parsed);
    if (result.ec != std::errc() || result.ptr != token + length)
        return false;
    value = parsed;
    return true;
}

TextStream& TextStream::readFloating(float& value) {
    char token[MAX_NUMBER_TOKEN];
    const size_t length = readNumberToken(token);
    if (length != 0 && !parseFloating(token, length, value))
        rejectToken(std::string_view(token, length));
    return *this;
}

TextStream& TextStream::readFloating(double& value) {
    char token[MAX_NUMBER_TOKEN];
    const size_t length = readNumberToken(token);
    if (length != 0 && !parseFloating(token, length, value))
        rejectToken(std::string_view(token, length));
    return *this;
}

TextStream& TextStream::operator>>(bool& value) {
    std::string word;
    skipWhiteSpace();
    // Read letters and digits only, so "true<" or "1)" leave the delimiter.
    for (int c = peek(); c != END_OF_STREAM && isNumberChar(c) && c != '.'; c = peek())
        word += static_cast<char>(get());
    if (word == "true" || word == "1")
        value = true;
    else if (word == "false" || word == "0")
        value = false;
    else
        rejectToken(word);
    return *this;
}

TextStream& TextStream::operator>>(char& c) {
    skipWhiteSpace();
    const int next = get();
    if (next == END_OF_STREAM)
        setState(FAIL);
    else
        c = static_cast<char>(next);
    return *this;
}

TextStream& TextStream::operator>>(std::wstring& word) {
    std::string narrow;
    if (readWord(narrow))
        word = downcast(narrow);
    return *this;
}

TextStream& TextStream::skipWhiteSpace() {
    for (int c = peek(); c != END_OF_STREAM && isSpace(c); c = peek())
        get();
    return *this;
}

bool TextStream::skip(char expected) {
    skipWhiteSpace();
    if (peek() != static_cast<unsigned char>(expected))
        return false;
    get();
    return true;
}

TextStream& TextStream::readWord(std::string& word) {
    skipWhiteSpace();
    std::string result;
    for (int c = peek(); c != END_OF_STREAM && !isSpace(c); c = peek())
        result += static_cast<char>(get());
    if (result.empty())
        setState(FAIL);
    else
        word = std::move(result);
    return *this;
}

TextStream& TextStream::readLine(std::string& line) {
    if (fail())
        return *this;
    std::string result;
    int c = get();
    if (c == END_OF_STREAM) {
        setState(FAIL);
        return *this;
    }
    for (; c != END_OF_STREAM && c != '\n'; c = get())
        result += static_cast<char>(c);
    if (!result.empty() && result.back() == '\r')
        result.pop_back();
    line = std::move(result);
    return *this;
}

TextStream& TextStream::readToEnd(std::string& text) {
    if (fail())
        return *this;
    std::string result;
    char buffer[4096];
    for (size_t got; (got = read(buffer, sizeof buffer)) != 0;)
        result.append(buffer, got);
    text = std::move(result);
    return *this;
}

TextStream::Nesting::Nesting(TextStream& stream)
    : m_stream(stream), m_allowed(++stream.m_nesting <= MAX_NESTING) {
    if (!m_allowed && !stream.fail()) {
        Kor::warningMessage("tavi::TextStream: values nested more than %zu levels deep", MAX_NESTING);
        stream.setState(FAIL);
    }
}

TextStream& operator<<(TextStream& stream, const Quoted& value) {
    std::string text;
    text.reserve(value.text.size() + 2);
    text += '"';
    for (const char c : value.text) {
        if (c == '"' || c == '\\')
            text += '\\';
        text += c;
    }
    text += '"';
    return stream.writeText(text);
}

TextStream& operator>>(TextStream& stream, const QuotedRef& value) {
    stream.skipWhiteSpace();
    if (stream.fail())
        return stream;
    if (stream.peek() != '"') {
        stream.setState(BasicStream::FAIL);
        return stream;
    }
    stream.get();
    std::string text;
    for (int c = stream.get(); c != BasicStream::END_OF_STREAM; c = stream.get()) {
        if (c == '"') {
            value.text = std::move(text);
            return stream;
        }
        if (c == '\\') {
            c = stream.get();
            if (c == BasicStream::END_OF_STREAM)
                break;
        }
        text += static_cast<char>(c);
    }
    stream.setState(BasicStream::FAIL); // no closing quote
    return stream;
}

} // namespace tavi
