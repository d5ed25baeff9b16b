#pragma once
// Escaping of XML markup characters on their way into a text stream.

#include "platform/variant/data_stream.hpp"

#include <string_view>

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
// the stream failed; later writes are refused.
//
// The text is UTF-8. What XML cannot represent at all is left out with a
// warning per piece and marks the stream failed, though the rest of the text
// still goes through: the control characters 0x00-0x08, 0x0B, 0x0C,
// 0x0E-0x1F, the characters U+FFFE and U+FFFF, and bytes that are not UTF-8
// (a stray byte, overlong forms, encoded surrogates, anything past U+10FFFF,
// a sequence cut short). An invalid sequence is left out as its longest
// prefix that could have begun a character, and the byte after it is read
// afresh, as Unicode recommends for replacing ill-formed text. A character
// may arrive split over several writes: its first bytes are held back until
// the rest comes; one still unfinished at sync() or destruction is left out.
//
// Reading and seeking are not supported. An unknown scope is reported and
// treated as XML_ANY.
class XmlEscapeDataStream : public IDataStream {
public:
    XmlEscapeDataStream(TextStream& target, int scope);
    // Leaves out (and reports) a character left unfinished.
    ~XmlEscapeDataStream() override;
    XmlEscapeDataStream(const XmlEscapeDataStream&) = delete;
    XmlEscapeDataStream& operator=(const XmlEscapeDataStream&) = delete;

    size_t read(void*, size_t) override { return 0; }
    size_t write(const void* data, size_t size) override;
    bool seek(long long, int) override { return false; }
    // Leaves out (and reports) a character left unfinished, then flushes the target.
    bool sync() override;

    int scope() const noexcept { return m_scope; }
    // True once a write could not be passed on in full or a character had to
    // be left out, and while the text written so far ends inside a character.
    bool failed() const noexcept { return m_failed || m_lostCharacters || m_pending.size != 0; }

private:
    // The multi-byte character being read: its bytes held back from earlier
    // writes, the continuation bytes still missing, the range the next one
    // must lie in, and the code point so far.
    struct Sequence {
        unsigned char held[3];
        unsigned char size = 0; // bytes in `held`
        unsigned char missing = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        char32_t codePoint = 0;
    };

    // Starts a sequence at lead byte `byte`; false when no character starts so.
    bool begin(unsigned char byte);
    // Drops an unfinished sequence with a warning.
    void dropPending();
    void leaveOut(const char* what, std::string_view bytes);

    TextStream* m_target;
    int m_scope;
    Sequence m_pending;
    bool m_failed = false;         // the target failed: nothing more is written
    bool m_lostCharacters = false; // unrepresentable characters were left out
};

} // namespace tavi
