#pragma once
// Event-driven (SAX-style) XML parsing of a text stream.

#include <cstddef>
#include <string>
#include <string_view>

namespace tavi {

class TextStream;

// Parses the XML document read from a TextStream and reports it through the
// virtual callbacks. Derive from it and override what you need; the defaults
// do nothing. Text is UTF-8 (other encodings declared by the document are
// converted to UTF-8 before they reach the callbacks).
//
// Errors: malformed XML, a failing input stream or abortParsing() make parse()
// return false; errorText(), errorLine() and errorColumn() then tell what and
// where. Malformed input and non-empty abort messages are also reported as
// warnings through the diagnostics sink. An exception thrown by a callback
// stops the parse (no callback follows) and leaves parse() to its caller.
class SimpleApiForXml {
public:
    explicit SimpleApiForXml(TextStream& input);
    virtual ~SimpleApiForXml();
    SimpleApiForXml(const SimpleApiForXml&) = delete;
    SimpleApiForXml& operator=(const SimpleApiForXml&) = delete;

    // Reads the input in chunks until the end of the stream and parses it.
    // True when the whole input was a well-formed document and nothing aborted.
    bool parse();

    // Why the last parse() failed: the parser's error text, the abort message
    // (possibly empty), or a note that the stream failed. Empty after success.
    const std::string& errorText() const noexcept { return m_errorText; }
    // 1-based line and column (in bytes) where the last parse() stopped; 0 when unknown.
    unsigned long errorLine() const noexcept { return m_errorLine; }
    unsigned long errorColumn() const noexcept { return m_errorColumn; }
    // Whether the last parse() was stopped by abortParsing().
    bool aborted() const noexcept { return m_aborted; }

protected:
    // `attributes`: name, value, name, value, ..., nullptr, in document order.
    virtual void elementStart(const char* name, const char* const* attributes);
    virtual void elementEnd(const char* name);
    // A piece of text (not null-terminated). The text of one element may come
    // in several pieces.
    virtual void characterData(const char* data, size_t length);

    // Stops the parse in progress: no callback follows and parse() returns
    // false with `message` as its error text. Only meaningful from a callback.
    void abortParsing(std::string_view message = {});

    TextStream& input() const noexcept { return *m_input; }

private:
    struct Parser;
    friend struct Parser;

    TextStream* m_input;
    Parser* m_parser = nullptr; // set while parse() runs
    std::string m_errorText;
    unsigned long m_errorLine = 0;
    unsigned long m_errorColumn = 0;
    bool m_aborted = false;
};

} // namespace tavi
