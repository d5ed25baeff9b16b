#include "platform/variant/text_conversion.hpp"

namespace tavi {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

bool isScalarValue(char32_t c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one code point starting at `pos`, advancing `pos`. A malformed
// sequence yields REPLACEMENT and advances past its maximal valid prefix (at
// least one byte), as Unicode recommends.
char32_t decodeOne(std::string_view text, size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;

    size_t length;
    char32_t value;
    // Allowed range of the second byte; it rules out overlong forms,
    // surrogates and values above U+10FFFF in one test.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return REPLACEMENT; // stray continuation byte, C0, C1 or F5..FF
    }

    for (size_t i = 1; i < length; ++i) {
        if (pos >= text.size())
            return REPLACEMENT;
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (i == 1 ? (byte < low || byte > high) : !isContinuation(byte))
            return REPLACEMENT; // the offending byte starts the next sequence
        value = (value << 6) | (byte & 0x3F);
        ++pos;
    }
    return value;
}

} // namespace

void appendUtf8(std::string& out, char32_t c) {
    if (!isScalarValue(c))
        c = REPLACEMENT;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string upcast(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    // Re-encoding a valid sequence reproduces its bytes, so one path serves both cases.
    while (pos < text.size())
        appendUtf8(out, decodeOne(text, pos));
    return out;
}

std::string upcast(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t c : text)
        appendUtf8(out, static_cast<char32_t>(c));
    return out;
}

std::wstring downcast(std::string_view utf8) {
    std::wstring out;
    out.reserve(utf8.size());
    size_t pos = 0;
    while (pos < utf8.size())
        out += static_cast<wchar_t>(decodeOne(utf8, pos));
    return out;
}

} // namespace tavi
