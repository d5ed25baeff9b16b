#include "platform/variant/sax.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/text_stream.hpp"

#include <expat.h>

#include <exception>

namespace tavi {

// Owns the expat parser of one parse() call and routes its callbacks.
struct SimpleApiForXml::Parser {
    explicit Parser(SimpleApiForXml& owner) : owner(owner), handle(XML_ParserCreate(nullptr)) {
        if (!handle)
            return;
        XML_SetUserData(handle, this);
        XML_SetElementHandler(handle, &Parser::onStart, &Parser::onEnd);
        XML_SetCharacterDataHandler(handle, &Parser::onText);
    }
    ~Parser() {
        if (handle)
            XML_ParserFree(handle);
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // Expat may still deliver events that were already under way when it was
    // stopped; the owner promises that none arrives after abortParsing() or
    // after a callback threw.
    bool stopped() const { return owner.m_aborted || error; }

    // Exceptions must not unwind through expat's C frames: the callback's is
    // kept, the parser stopped, and parse() rethrows it once expat returned.
    template <class Callback>
    void guarded(Callback&& callback) noexcept {
        try {
            callback();
        } catch (...) {
            error = std::current_exception();
            XML_StopParser(handle, XML_FALSE);
        }
    }

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        auto& parser = *static_cast<Parser*>(self);
        if (!parser.stopped())
            parser.guarded([&] { parser.owner.elementStart(name, attributes); });
    }
    static void XMLCALL onEnd(void* self, const XML_Char* name) {
        auto& parser = *static_cast<Parser*>(self);
        if (!parser.stopped())
            parser.guarded([&] { parser.owner.elementEnd(name); });
    }
    static void XMLCALL onText(void* self, const XML_Char* data, int length) {
        auto& parser = *static_cast<Parser*>(self);
        if (!parser.stopped() && length > 0)
            parser.guarded([&] { parser.owner.characterData(data, static_cast<size_t>(length)); });
    }

    void notePosition() {
        owner.m_errorLine = static_cast<unsigned long>(XML_GetCurrentLineNumber(handle));
        owner.m_errorColumn = static_cast<unsigned long>(XML_GetCurrentColumnNumber(handle)) + 1;
    }

    SimpleApiForXml& owner;
    XML_Parser handle;
    std::exception_ptr error; // thrown by a callback
};

SimpleApiForXml::SimpleApiForXml(TextStream& input) : m_input(&input) {}

SimpleApiForXml::~SimpleApiForXml() = default;

void SimpleApiForXml::elementStart(const char*, const char* const*) {}
void SimpleApiForXml::elementEnd(const char*) {}
void SimpleApiForXml::characterData(const char*, size_t) {}

void SimpleApiForXml::abortParsing(std::string_view message) {
    if (!m_parser) {
        Kor::warningMessage("tavi::SimpleApiForXml::abortParsing: no parse in progress");
        return;
    }
    if (m_aborted)
        return; // the first reason stands
    m_aborted = true;
    m_errorText.assign(message);
    m_parser->notePosition();
    XML_StopParser(m_parser->handle, XML_FALSE);
}

bool SimpleApiForXml::parse() {
    if (m_parser) {
        Kor::errorMessage("tavi::SimpleApiForXml::parse: called again from one of its own callbacks");
        return false;
    }
    m_errorText.clear();
    m_errorLine = m_errorColumn = 0;
    m_aborted = false;

    Parser parser(*this);
    if (!parser.handle) {
        m_errorText = "out of memory";
        Kor::errorMessage("tavi::SimpleApiForXml::parse: cannot create the XML parser");
        return false;
    }
    m_parser = &parser;
    struct Reset {
        Parser*& slot;
        ~Reset() { slot = nullptr; }
    } reset{m_parser};

    constexpr int CHUNK = 64 * 1024;
    for (;;) {
        void* buffer = XML_GetBuffer(parser.handle, CHUNK);
        if (!buffer) {
            m_errorText = XML_ErrorString(XML_GetErrorCode(parser.handle));
            parser.notePosition();
            break;
        }
        const size_t got = m_input->read(buffer, CHUNK);
        if (m_input->fail()) {
            m_errorText = "the input stream failed";
            parser.notePosition();
            Kor::warningMessage("tavi::SimpleApiForXml::parse: %s", m_errorText.c_str());
            return false;
        }
        const bool last = got == 0;
        const XML_Status status = XML_ParseBuffer(parser.handle, static_cast<int>(got), last);
        if (parser.error) {
            m_errorText = "a callback threw an exception";
            parser.notePosition();
            std::rethrow_exception(parser.error);
        }
        if (status != XML_STATUS_OK) {
            if (m_aborted) {
                if (!m_errorText.empty())
                    Kor::warningMessage("XML parsing stopped at line %lu, column %lu: %s", m_errorLine,
                                        m_errorColumn, m_errorText.c_str());
                return false;
            }
            m_errorText = XML_ErrorString(XML_GetErrorCode(parser.handle));
            parser.notePosition();
            break;
        }
        if (m_aborted)
            return false; // stopped during the final chunk, which expat may still report as done
        if (last)
            return true;
    }
    Kor::warningMessage("XML parse error at line %lu, column %lu: %s", m_errorLine, m_errorColumn,
                        m_errorText.c_str());
    return false;
}

} // namespace tavi
