#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/sax.hpp"
#include "platform/variant/text_stream.hpp"
#include "platform/variant/xml_escape.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tavi;

namespace {

// Records every callback as one line; joins adjacent character data so that
// tests see the text however it was split. `react` runs after each element event.
class Recorder : public SimpleApiForXml {
public:
    using SimpleApiForXml::abortParsing;
    using SimpleApiForXml::SimpleApiForXml;

    std::vector<std::string> events;
    std::function<void(Recorder&)> react = [](Recorder&) {};

protected:
    void elementStart(const char* name, const char* const* attributes) override {
        events.push_back(std::string("start ") + name);
        for (const char* const* a = attributes; *a; a += 2)
            events.back() += std::string(" ") + a[0] + "=" + a[1];
        react(*this);
    }
    void elementEnd(const char* name) override {
        events.push_back(std::string("end ") + name);
        react(*this);
    }
    void characterData(const char* data, size_t length) override {
        if (events.empty() || events.back().rfind("text ", 0) != 0)
            events.push_back("text ");
        events.back().append(data, length);
    }
};

// A recorder over its own copy of `text`.
struct Document {
    explicit Document(std::string_view text) : text(text) {}
    std::string text;
    FixedMemoryStream memory{std::string_view{text}};
    TextStream stream{memory};
    Recorder parser{stream};
};

// Hands out at most three bytes per read, like a slow pipe.
struct TrickleStream : FixedMemoryStream {
    using FixedMemoryStream::FixedMemoryStream;
    size_t read(void* buffer, size_t size) override {
        return FixedMemoryStream::read(buffer, std::min<size_t>(size, 3));
    }
};

std::string escape(std::string_view text, int scope, bool* failed = nullptr) {
    std::string out;
    FixedMemoryStream memory(out);
    TextStream target(memory);
    XmlEscapeDataStream escaper(target, scope);
    TextStream stream(escaper);
    stream << text;
    if (failed)
        *failed = escaper.failed();
    return out;
}

TEST(XmlEscape, EachScopeEscapesWhatItMust) {
    EXPECT_EQ(escape("a&b<c>d\"e'f\tg\nh\ri", XML_ATTRIBUTE_VALUE),
              "a&amp;b&lt;c&gt;d&quot;e'f&#9;g&#10;h&#13;i");
    EXPECT_EQ(escape("a&b<c>d\"e'f\tg\nh\ri", XML_ELEMENT_TEXT), "a&amp;b&lt;c&gt;d\"e'f\tg\nh&#13;i");
    EXPECT_EQ(escape("x'y", XML_ANY), "x&apos;y");

    const std::string original = "  <tag> & \"quoted\" 'single'\r\n\ttabbed ]]> \xC3\xA9  ";
    const std::string document = "<r a=\"" + escape(original, XML_ATTRIBUTE_VALUE) + "\" b='" +
                                 escape(original, XML_ANY) + "'>" + escape(original, XML_ELEMENT_TEXT) +
                                 "</r>";
    Document parsed(document);
    Recorder& parser = parsed.parser;
    ASSERT_TRUE(parser.parse()) << parser.errorText();
    ASSERT_EQ(parser.events.size(), 3u);
    EXPECT_EQ(parser.events[0], "start r a=" + original + " b=" + original);
    EXPECT_EQ(parser.events[1], "text " + original);
}

TEST(XmlEscape, FailingTargetFailsTheEscapeStream) {
    char storage[8];
    FixedMemoryStream memory(storage, sizeof storage);
    TextStream target(memory);
    XmlEscapeDataStream escaper(target, XML_ELEMENT_TEXT);
    TextStream stream(escaper);
    stream << "abcdef&"; // the entity does not fit
    EXPECT_TRUE(stream.fail());
    EXPECT_TRUE(escaper.failed());
    EXPECT_EQ(std::string_view(storage, memory.size()), "abcdef&a");
}

// Whatever comes in, what goes out reads back: control characters, bytes that
// are not UTF-8 and the two characters XML excludes (U+FFFE, U+FFFF) are left
// out, one warning per left-out piece, and the stream reports it.
TEST(XmlEscape, WhatIsNotXmlTextIsLeftOutAndFailsTheStream) {
    struct Case {
        std::string input;
        std::string kept;
        size_t pieces;
    };
    const std::vector<Case> cases = {
        {"a\x01"
         "b<\x1F"
         "c\x0B\t",
         "ab&lt;c\t", 3},                          // control characters; the rest goes through
        {"a\xFFz", "az", 1},                       // a byte that never occurs in UTF-8
        {"M\xFCller", "Mller", 1},                 // Latin-1
        {"\x80x", "x", 1},                         // a lone continuation byte
        {"<\xC0\xAF>", "&lt;&gt;", 2},             // an overlong '/'
        {"\xE0\x80\xAF", "", 3},                   // the same in three bytes
        {"\xED\xA0\x80\xED\xB0\x80", "", 6},       // an encoded surrogate pair
        {"\xF4\x90\x80\x80", "", 4},               // past U+10FFFF
        {"\xF5\x80\x80\x80", "", 4},               // a lead byte past U+10FFFF
        {"\xE2\x82!", "!", 1},                     // a character cut short
        {"x\xEF\xBF\xBEy\xEF\xBF\xBFz", "xyz", 2}, // U+FFFE, U+FFFF
        {"\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80",
         "\xEF\xBF\xBD\xF4\x8F\xBF\xBF\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80", 0}, // edges that are fine
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        Kor::MessageCapture capture;
        bool failed = false;
        const std::string escaped = escape(c.input, XML_ELEMENT_TEXT, &failed);
        EXPECT_EQ(escaped, c.kept);
        EXPECT_EQ(failed, c.pieces != 0);
        EXPECT_EQ(capture.countContaining("cannot be represented in XML"), c.pieces);
        if (c.pieces) {
            EXPECT_EQ(capture.messages()[0].priority, Kor::MESSAGE_PRIORITY_WARNING);
        }
        if (c.input.find('\x1F') != std::string::npos) {
            EXPECT_TRUE(capture.contains("XmlEscapeDataStream: character 0x1F cannot be represented in XML"));
        }
        Document parsed("<r a=\"" + escape(c.input, XML_ATTRIBUTE_VALUE) + "\">" + escaped + "</r>");
        EXPECT_TRUE(parsed.parser.parse()) << parsed.parser.errorText();
    }
}

// A character may arrive in pieces; only one left unfinished is lost.
TEST(XmlEscape, CharactersSplitAcrossWritesPassWhole) {
    std::string out;
    FixedMemoryStream memory(out);
    TextStream target(memory);
    Kor::MessageCapture capture;
    {
        XmlEscapeDataStream escaper(target, XML_ELEMENT_TEXT);
        for (const char* piece : {"\xE2", "\x82", "\xAC<\xF0\x9F", "\x98", "\x80\xE2"})
            EXPECT_EQ(escaper.write(piece, std::strlen(piece)), std::strlen(piece));
        EXPECT_EQ(out, "\xE2\x82\xAC&lt;\xF0\x9F\x98\x80");
        EXPECT_EQ(capture.count(), 0u);
        EXPECT_TRUE(escaper.failed()) << "the text ends inside a character";
        EXPECT_TRUE(escaper.sync());
        EXPECT_TRUE(escaper.failed());
        EXPECT_EQ(capture.countContaining("cannot be represented in XML"), 1u);
    }
    EXPECT_EQ(capture.count(), 1u) << "reported once";
    EXPECT_EQ(out, "\xE2\x82\xAC&lt;\xF0\x9F\x98\x80");
}

TEST(SimpleApiForXml, ReportsElementsAttributesAndTextInOrderFromAnyChunking) {
    TrickleStream trickle(
        "<?xml version=\"1.0\"?>\n<r z='1' a=\"&lt;2\">head<c k=\"v\"/>tail<b>x&amp;y</b></r>");
    TextStream stream(trickle);
    Recorder parser(stream);
    ASSERT_TRUE(parser.parse()) << parser.errorText();
    const std::vector<std::string> expected = {
        "start r z=1 a=<2", "text head", "start c k=v", "end c", "text tail",
        "start b",          "text x&y",  "end b",       "end r"};
    EXPECT_EQ(parser.events, expected);

    // Long enough to be fed in several buffers; multi-byte characters cross the buffer seams.
    std::string text;
    while (text.size() < 300000)
        text += "\xE2\x82\xAC-\xF0\x9F\x98\x80 ";
    Document large("<r>" + text + "</r>");
    ASSERT_TRUE(large.parser.parse()) << large.parser.errorText();
    ASSERT_EQ(large.parser.events.size(), 3u);
    EXPECT_EQ(large.parser.events[1], "text " + text);
}

TEST(SimpleApiForXml, ExceptionFromACallbackReachesTheCaller) {
    Document document("<r><a/><b>text</b></r>");
    Recorder& parser = document.parser;
    parser.react = [](Recorder& r) {
        if (r.events.back() == "start a")
            throw std::runtime_error("no such class: a");
    };
    EXPECT_THROW(parser.parse(), std::runtime_error);
    EXPECT_EQ(parser.events, (std::vector<std::string>{"start r", "start a"}));
    EXPECT_FALSE(parser.errorText().empty());
    // That parse is over: another one may start (and finds the input used up).
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    EXPECT_FALSE(capture.contains("called again"));
}

TEST(SimpleApiForXml, AbortStopsEverythingWithOrWithoutAMessage) {
    Document document("<r><a/><b>text</b></r>");
    Recorder& parser = document.parser;
    parser.react = [](Recorder& r) {
        if (r.events.back() == "start a") // <a/> would otherwise report its end at once
            r.abortParsing("Object type mismatch");
    };
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    EXPECT_EQ(parser.events, (std::vector<std::string>{"start r", "start a"}));
    EXPECT_TRUE(parser.aborted());
    EXPECT_EQ(parser.errorText(), "Object type mismatch");
    EXPECT_TRUE(capture.contains("Object type mismatch"));

    // What follows the document element is not even looked at.
    Document trailing("<r/><not xml");
    trailing.parser.react = [](Recorder& r) {
        if (r.events.back() == "end r")
            r.abortParsing();
    };
    EXPECT_FALSE(trailing.parser.parse());
    EXPECT_EQ(trailing.parser.events, (std::vector<std::string>{"start r", "end r"}));
    EXPECT_TRUE(trailing.parser.errorText().empty());
    EXPECT_EQ(capture.count(), 1u);
}

TEST(SimpleApiForXml, MalformedInputReportsWhereAndWhy) {
    Document document("<r>\n  <a></b>\n</r>");
    Recorder& parser = document.parser;
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    EXPECT_FALSE(parser.aborted());
    EXPECT_EQ(parser.errorLine(), 2u);
    EXPECT_EQ(parser.errorColumn(), 8u); // at "b" in "</b>", counted from 1
    EXPECT_EQ(capture.countContaining(parser.errorText()), 1u);

    for (const char* text : {"", "<r>", "<r></r><second/>", "<r a=\"\x80\"/>"}) {
        Document bad(text);
        EXPECT_FALSE(bad.parser.parse()) << text;
        EXPECT_FALSE(bad.parser.errorText().empty()) << text;
    }
    Document unreadable("<r/>");
    unreadable.stream.setState(BasicStream::BAD);
    EXPECT_FALSE(unreadable.parser.parse());
    EXPECT_TRUE(unreadable.parser.events.empty());
    EXPECT_FALSE(unreadable.parser.errorText().empty());
}

} // namespace
