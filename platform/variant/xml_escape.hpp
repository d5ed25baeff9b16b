#pragma once
// Escaping of XML markup characters on their way into a text stream.

#include "platform/variant/data_stream.hpp"

namespace tavi {

class TextStream;

// Scopes of XmlEscapeDataStream: where the text will stand in the document.
enum XmlEscapeScope : int {
    // Attribute value in double quotes: & < > " as entities, and \t \n \r as
    // character references, which attribute-value normalisation leaves alone
    // (it would turn the literal characters into blanks).
    XML_ATTRIBUTE_VALUE = 1,
    // Anywhere (element text, attributes in either kind of quote): everything
    // scope 1 escapes plus the apostrophe.
    XML_ANY = 2,
    // Element text: & < > as entities, and \r as a character reference so that
    // line-end normalisation does not turn it into \n.
    XML_ELEMENT_TEXT = 3,
};

// A write-only data stream that writes everything given to it, escaped for
// `scope`, into `target` (which must outlive it). A write that the target does
// not take in full reports the bytes taken before the failing one and marks
// the stream failed; later writes are refused. Control characters that XML
// cannot represent at all (0x00-0x08, 0x0B, 0x0C, 0x0E-0x1F) are left out
// with a warning and also mark the stream failed, though the rest of the
// text still goes through. Reading and seeking are not supported. An unknown
// scope is reported and treated as XML_ANY.
class XmlEscapeDataStream : public IDataStream {
public:
    XmlEscapeDataStream(TextStream& target, int scope);

    size_t read(void*, size_t) override { return 0; }
    size_t write(const void* data, size_t size) override;
    bool seek(long long, int) override { return false; }
    // Flushes the target.
    bool sync() override;

    int scope() const noexcept { return m_scope; }
    // True once a write could not be passed on in full, or a character had
    // to be left out.
    bool failed() const noexcept { return m_failed || m_lostCharacters; }

private:
    TextStream* m_target;
    int m_scope;
    bool m_failed = false;         // the target failed: nothing more is written
    bool m_lostCharacters = false; // unrepresentable characters were left out
};

} // namespace tavi
