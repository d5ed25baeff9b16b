#include "platform/variant/xml_escape.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/text_stream.hpp"

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

} // namespace

XmlEscapeDataStream::XmlEscapeDataStream(TextStream& target, int scope) : m_target(&target), m_scope(scope) {
    if (scope != XML_ATTRIBUTE_VALUE && scope != XML_ANY && scope != XML_ELEMENT_TEXT) {
        Kor::warningMessage("tavi::XmlEscapeDataStream: unknown scope %d, escaping everything", scope);
        m_scope = XML_ANY;
    }
}

size_t XmlEscapeDataStream::write(const void* data, size_t size) {
    if (m_failed || m_target->fail()) {
        m_failed = true;
        return 0;
    }
    const std::string_view text(static_cast<const char*>(data), size);
    // Pass runs of plain characters on in one piece.
    size_t done = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        const bool dropped = i < text.size() && !representable(text[i]);
        const std::string_view escaped = i < text.size() ? replacement(text[i], m_scope) : std::string_view();
        if (i < text.size() && escaped.empty() && !dropped)
            continue;
        const std::string_view run = text.substr(done, i - done);
        const size_t written = m_target->write(run.data(), run.size());
        if (written != run.size()) {
            m_failed = true;
            return done + written;
        }
        done = i;
        if (i == text.size())
            break;
        if (dropped) {
            // Written through, the byte would make the document unreadable.
            Kor::warningMessage("XmlEscapeDataStream: character 0x%02X cannot be represented in XML",
                                static_cast<unsigned>(static_cast<unsigned char>(text[i])));
            m_lostCharacters = true;
            done = i + 1;
            continue;
        }
        if (m_target->write(escaped.data(), escaped.size()) != escaped.size()) {
            m_failed = true;
            return done;
        }
        done = i + 1;
    }
    return size;
}

bool XmlEscapeDataStream::sync() { return m_target->sync(); }

} // namespace tavi
