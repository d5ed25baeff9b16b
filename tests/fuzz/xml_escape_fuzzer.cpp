// Escapes arbitrary bytes for XML (XmlEscapeDataStream), parses the document
// they were put in (SimpleApiForXml) and checks that the parser gives back
// the input less exactly what XML cannot carry (control characters, U+FFFE,
// U+FFFF, bytes that are not UTF-8), and that the escaper reported any loss.
// Input: a byte choosing the scope, a byte choosing how the text is split
// into writes, then the text.

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/sax.hpp"
#include "platform/variant/text_stream.hpp"
#include "platform/variant/xml_escape.hpp"
#include "tests/fuzz/fuzz_support.hpp"

#include <algorithm>
#include <string>
#include <string_view>

namespace {

// The characters of `text` that an XML document can hold, decoded by code
// point (a different road from the escaper's byte ranges): a byte that does
// not begin a well-formed character that XML allows is dropped alone, and
// decoding goes on with the next byte.
std::string representable(std::string_view text) {
    std::string kept;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80    ? 1
                              : lead >= 0xF8 ? 0
                              : lead >= 0xF0 ? 4
                              : lead >= 0xE0 ? 3
                              : lead >= 0xC0 ? 2
                                             : 0;
        char32_t c = length == 1 ? lead : length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
        bool fine = length != 0 && i + length <= text.size();
        for (size_t k = 1; fine && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            fine = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        fine = fine && c >= smallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF) && c != 0xFFFE &&
               c != 0xFFFF && (c >= 0x20 || c == '\t' || c == '\n' || c == '\r');
        if (fine)
            kept.append(text.substr(i, length));
        i += fine ? length : 1;
    }
    return kept;
}

// Collects the root element's attribute "a" and its text.
class Reader : public tavi::SimpleApiForXml {
public:
    using SimpleApiForXml::SimpleApiForXml;
    std::string attribute, text;

protected:
    void elementStart(const char*, const char* const* attributes) override {
        for (const char* const* a = attributes; *a; a += 2)
            attribute = a[1];
    }
    void characterData(const char* data, size_t length) override { text.append(data, length); }
};

// `text` escaped for `scope`, written in pieces of `piece` bytes (0: at once).
std::string escape(std::string_view text, int scope, size_t piece, bool& failed) {
    std::string out;
    tavi::FixedMemoryStream memory(out);
    tavi::TextStream target(memory);
    tavi::XmlEscapeDataStream escaper(target, scope);
    for (size_t at = 0; at < text.size();) {
        const size_t length = piece == 0 ? text.size() : std::min(piece, text.size() - at);
        fuzz::require(escaper.write(text.data() + at, length) == length, "the escaper takes everything");
        at += length;
    }
    escaper.sync();
    failed = escaper.failed();
    return out;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const int scope = 1 + data[0] % 3;
    const size_t piece = data[1] % 8;
    const std::string_view input(reinterpret_cast<const char*>(data) + 2, size - 2);
    bool failed = false;
    const std::string escaped = escape(input, scope, piece, failed);
    std::string document;
    if (scope == tavi::XML_ATTRIBUTE_VALUE)
        document = "<r a=\"" + escaped + "\"/>";
    else if (scope == tavi::XML_ANY)
        document = "<r a='" + escaped + "'>" + escaped + "</r>";
    else
        document = "<r>" + escaped + "</r>";

    tavi::FixedMemoryStream memory(document);
    tavi::TextStream stream(memory);
    Reader reader(stream);
    fuzz::require(reader.parse(), "the escaped text is well-formed XML");
    const std::string expected = representable(input);
    fuzz::require(failed == (expected != input), "a loss is reported, and only a loss");
    if (scope != tavi::XML_ELEMENT_TEXT)
        fuzz::require(reader.attribute == expected, "the attribute reads back");
    if (scope != tavi::XML_ATTRIBUTE_VALUE)
        fuzz::require(reader.text == expected, "the element text reads back");
    return 0;
}
