#include "platform/variant/xml_escape.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/text_stream.hpp"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace tavi {
namespace {

// The replacement of `c` in `scope`, or an empty view when it stays as it is.
std::string_view replacement(char c, int scope) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '\r':
            return "&#13;";
        case '"':
            return scope == XML_ELEMENT_TEXT ? std::string_view() : "&quot;";
        case '\t':
            return scope == XML_ELEMENT_TEXT ? std::string_view() : "&#9;";
        case '\n':
            return scope == XML_ELEMENT_TEXT ? std::string_view() : "&#10;";
        case '\'':
            return scope == XML_ANY ? "&apos;" : std::string_view();
        default:
            return {};
    }
}

// XML 1.0 admits no control character but tab, line feed and carriage
// return, in no form, not even as a character reference.
bool representable(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
}

// "0xE2 0x82": the bytes of a piece left out, for the message.
std::string hexBytes(std::string_view bytes) {
    std::string text;
    for (const char byte : bytes) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%s0x%02X", text.empty() ? "" : " ",
                      static_cast<unsigned>(static_cast<unsigned char>(byte)));
        text += buffer;
    }
    return text;
}

} // namespace

XmlEscapeDataStream::XmlEscapeDataStream(TextStream& target, int scope) : m_target(&target), m_scope(scope) {
    if (scope != XML_ATTRIBUTE_VALUE && scope != XML_ANY && scope != XML_ELEMENT_TEXT) {
        Kor::warningMessage("tavi::XmlEscapeDataStream: unknown scope %d, escaping everything", scope);
        m_scope = XML_ANY;
    }
}

XmlEscapeDataStream::~XmlEscapeDataStream() { dropPending(); }

// The lead bytes of RFC 3629: the range of the byte after each excludes
// overlong forms (E0, F0), surrogates (ED) and code points past U+10FFFF (F4).
bool XmlEscapeDataStream::begin(unsigned char byte) {
    Sequence& s = m_pending;
    s = Sequence{};
    if (byte >= 0xC2 && byte <= 0xDF) {
        s.missing = 1;
        s.codePoint = byte & 0x1F;
    } else if (byte >= 0xE0 && byte <= 0xEF) {
        s.missing = 2;
        s.codePoint = byte & 0x0F;
        if (byte == 0xE0)
            s.low = 0xA0;
        else if (byte == 0xED)
            s.high = 0x9F;
    } else if (byte >= 0xF0 && byte <= 0xF4) {
        s.missing = 3;
        s.codePoint = byte & 0x07;
        if (byte == 0xF0)
            s.low = 0x90;
        else if (byte == 0xF4)
            s.high = 0x8F;
    }
    return s.missing != 0;
}

void XmlEscapeDataStream::leaveOut(const char* what, std::string_view bytes) {
    Kor::warningMessage("XmlEscapeDataStream: %s %s cannot be represented in XML", what,
                        hexBytes(bytes).c_str());
    m_lostCharacters = true;
}

void XmlEscapeDataStream::dropPending() {
    if (m_pending.missing == 0)
        return;
    leaveOut("unfinished UTF-8",
             std::string_view(reinterpret_cast<const char*>(m_pending.held), m_pending.size));
    m_pending = Sequence{};
}

size_t XmlEscapeDataStream::write(const void* data, size_t size) {
    if (m_failed || m_target->fail()) {
        m_failed = true;
        return 0;
    }
    const std::string_view text(static_cast<const char*>(data), size);
    Sequence& sequence = m_pending;
    // text[0, done) is passed on or left out; the character being read began
    // at `start`, after the bytes held back from earlier writes.
    size_t done = 0;
    size_t start = 0;
    // Passes text[done, end) on in one piece; false when the target failed.
    const auto pass = [&](size_t end) {
        const size_t length = end - done;
        const size_t written = m_target->write(text.data() + done, length);
        done += written;
        if (written == length)
            return true;
        m_failed = true;
        return false;
    };
    // The character begun at `start`, with the bytes held back before it, up to `end`.
    const auto piece = [&](size_t end) {
        std::string bytes(reinterpret_cast<const char*>(sequence.held), sequence.size);
        bytes.append(text.substr(start, end - start));
        return bytes;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (sequence.missing != 0) {
            if (byte >= sequence.low && byte <= sequence.high) {
                sequence.codePoint = (sequence.codePoint << 6) | (byte & 0x3F);
                sequence.low = 0x80;
                sequence.high = 0xBF;
                if (--sequence.missing != 0)
                    continue;
                if (sequence.codePoint == 0xFFFE || sequence.codePoint == 0xFFFF) {
                    if (!pass(start))
                        return done;
                    Kor::warningMessage("XmlEscapeDataStream: character U+%04X cannot be represented in XML",
                                        static_cast<unsigned>(sequence.codePoint));
                    m_lostCharacters = true;
                    done = i + 1;
                } else if (sequence.size != 0) {
                    // Complete at last: the bytes held back go first.
                    if (m_target->write(sequence.held, sequence.size) != sequence.size) {
                        m_failed = true;
                        return done;
                    }
                }
                sequence.size = 0;
                continue;
            }
            // The character cannot go on: what it has so far goes, and this
            // byte is read afresh.
            if (!pass(start))
                return done;
            leaveOut("invalid UTF-8", piece(i));
            sequence = Sequence{};
            done = i;
        }
        if (byte >= 0x80) {
            if (begin(byte)) {
                start = i;
                continue;
            }
            if (!pass(i))
                return done;
            leaveOut("invalid UTF-8", text.substr(i, 1));
            done = i + 1;
            continue;
        }
        const bool dropped = !representable(text[i]);
        const std::string_view escaped = dropped ? std::string_view() : replacement(text[i], m_scope);
        if (!dropped && escaped.empty())
            continue;
        if (!pass(i))
            return done;
        done = i + 1;
        if (dropped) {
            // Written through, the byte would make the document unreadable.
            Kor::warningMessage("XmlEscapeDataStream: character 0x%02X cannot be represented in XML",
                                static_cast<unsigned>(byte));
            m_lostCharacters = true;
        } else if (m_target->write(escaped.data(), escaped.size()) != escaped.size()) {
            m_failed = true;
            return i;
        }
    }
    if (sequence.missing == 0)
        return pass(text.size()) ? size : done;
    // The text ends inside a character: its first bytes wait for the rest.
    if (!pass(start))
        return done;
    const std::string held = piece(text.size());
    std::memcpy(sequence.held, held.data(), held.size());
    sequence.size = static_cast<unsigned char>(held.size());
    return size;
}

bool XmlEscapeDataStream::sync() {
    dropPending();
    return m_target->sync();
}

} // namespace tavi
