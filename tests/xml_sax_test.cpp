#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/sax.hpp"
#include "platform/variant/text_stream.hpp"
#include "platform/variant/xml_escape.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tavi;

namespace {

// Records every callback as one line; joins adjacent character data so that
// tests see the text, and counts the pieces separately.
class Recorder : public SimpleApiForXml {
public:
    using SimpleApiForXml::SimpleApiForXml;

    std::vector<std::string> events;
    size_t textPieces = 0;
    std::string abortOnStart;  // element name whose start aborts
    std::string abortMessage;
    bool abortOnEnd = false;   // abort at the first element end
    std::string throwOnStart;  // element name whose start throws

protected:
    void elementStart(const char* name, const char* const* attributes) override {
        std::string event = std::string("start ") + name;
        for (const char* const* a = attributes; *a; a += 2)
            event += std::string(" ") + a[0] + "=" + a[1];
        events.push_back(event);
        if (name == abortOnStart)
            abortParsing(abortMessage);
        if (name == throwOnStart)
            throw std::runtime_error("no such class: " + throwOnStart);
    }
    void elementEnd(const char* name) override {
        events.push_back(std::string("end ") + name);
        if (abortOnEnd)
            abortParsing();
    }
    void characterData(const char* data, size_t length) override {
        ++textPieces;
        if (events.empty() || events.back().rfind("text ", 0) != 0)
            events.push_back("text ");
        events.back().append(data, length);
    }
};

// A data stream that hands out at most a few bytes per read, like a slow pipe.
class TrickleStream : public IDataStream {
public:
    explicit TrickleStream(std::string_view text) : m_text(text) {}
    size_t read(void* buffer, size_t size) override {
        const size_t count = std::min({size, m_text.size(), size_t(3)});
        std::copy_n(m_text.data(), count, static_cast<char*>(buffer));
        m_text.remove_prefix(count);
        return count;
    }
    size_t write(const void*, size_t) override { return 0; }
    bool seek(long long, int) override { return false; }
    bool sync() override { return true; }

private:
    std::string_view m_text;
};

std::string escape(std::string_view text, int scope) {
    std::string out;
    FixedMemoryStream memory(out);
    TextStream target(memory);
    XmlEscapeDataStream escaper(target, scope);
    TextStream stream(escaper);
    stream << text;
    EXPECT_FALSE(stream.fail());
    return out;
}

TEST(XmlEscape, AttributeScopeProtectsQuotesAndWhitespace) {
    EXPECT_EQ(escape("a&b<c>d\"e'f\tg\nh\ri", XML_ATTRIBUTE_VALUE),
              "a&amp;b&lt;c&gt;d&quot;e'f&#9;g&#10;h&#13;i");
    EXPECT_EQ(escape("plain text", XML_ATTRIBUTE_VALUE), "plain text");
}

TEST(XmlEscape, ElementTextScopeKeepsQuotesAndNewlines) {
    EXPECT_EQ(escape("a&b<c>d\"e'f\tg\nh\ri", XML_ELEMENT_TEXT), "a&amp;b&lt;c&gt;d\"e'f\tg\nh&#13;i");
    EXPECT_EQ(escape("x'y", XML_ANY), "x&apos;y");
}

TEST(XmlEscape, EscapedTextSurvivesTheParser) {
    const std::string original = "  <tag> & \"quoted\" 'single'\r\n\ttabbed ]]> \xC3\xA9  ";
    const std::string document = "<r a=\"" + escape(original, XML_ATTRIBUTE_VALUE) + "\" b='" +
                                 escape(original, XML_ANY) + "'>" + escape(original, XML_ELEMENT_TEXT) + "</r>";
    FixedMemoryStream memory(std::string_view{document});
    TextStream stream(memory);
    Recorder parser(stream);
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
    stream << "abcdef&";  // the entity does not fit
    EXPECT_TRUE(stream.fail());
    EXPECT_TRUE(escaper.failed());
    EXPECT_TRUE(target.bad());
    EXPECT_EQ(std::string_view(storage, memory.size()), "abcdef&a");

    std::string out;
    FixedMemoryStream good(out);
    TextStream failedTarget(good);
    failedTarget.setState(BasicStream::FAIL);
    XmlEscapeDataStream refused(failedTarget, XML_ATTRIBUTE_VALUE);
    EXPECT_EQ(refused.write("x", 1), 0u);
    EXPECT_TRUE(out.empty());
}

TEST(XmlEscape, UnrepresentableCharactersAreLeftOutAndFailTheStream) {
    std::string out;
    FixedMemoryStream memory(out);
    TextStream target(memory);
    XmlEscapeDataStream escaper(target, XML_ELEMENT_TEXT);
    TextStream stream(escaper);
    Kor::MessageCapture capture;
    stream << std::string_view("a\x01" "b<\x1F" "c\x0B\t");
    EXPECT_TRUE(escaper.failed());
    EXPECT_FALSE(stream.fail());  // the rest of the text went through
    stream << "d";
    EXPECT_EQ(out, "ab&lt;c\td");
    EXPECT_EQ(capture.countContaining("cannot be represented in XML"), 3u);
    EXPECT_TRUE(capture.contains("XmlEscapeDataStream: character 0x1F cannot be represented in XML"));
    EXPECT_EQ(capture.messages()[0].priority, Kor::MESSAGE_PRIORITY_WARNING);

    const std::string document = "<r>" + out + "</r>";
    FixedMemoryStream input(std::string_view{document});
    TextStream reader(input);
    Recorder parser(reader);
    ASSERT_TRUE(parser.parse()) << parser.errorText();
    ASSERT_EQ(parser.events.size(), 3u);
    EXPECT_EQ(parser.events[1], "text ab<c\td");
}

TEST(SimpleApiForXml, ExceptionFromACallbackReachesTheCaller) {
    FixedMemoryStream memory("<r><a/><b>text</b></r>");
    TextStream stream(memory);
    Recorder parser(stream);
    parser.throwOnStart = "a";
    try {
        parser.parse();
        ADD_FAILURE() << "parse() returned";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "no such class: a");
    }
    const std::vector<std::string> expected = {"start r", "start a"};
    EXPECT_EQ(parser.events, expected);
    EXPECT_FALSE(parser.errorText().empty());

    // That parse is over: another one may start (and finds the input used up).
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    EXPECT_FALSE(capture.contains("called again"));
}

TEST(SimpleApiForXml, ReportsElementsAttributesAndTextInOrder) {
    const std::string document =
        "<?xml version=\"1.0\"?>\n<root z=\"1\" a=\"2\" m=\"&lt;3\">head<child k=\"v\"/>tail<b>x&amp;y</b></root>";
    FixedMemoryStream memory(std::string_view{document});
    TextStream stream(memory);
    Recorder parser(stream);
    ASSERT_TRUE(parser.parse()) << parser.errorText();
    const std::vector<std::string> expected = {"start root z=1 a=2 m=<3", "text head", "start child k=v", "end child",
                                               "text tail", "start b", "text x&y", "end b", "end root"};
    EXPECT_EQ(parser.events, expected);
    EXPECT_TRUE(parser.errorText().empty());
}

TEST(SimpleApiForXml, LargeInputArrivesInChunks) {
    // Long enough to be fed in several buffers; multi-byte characters cross the buffer seams.
    std::string text;
    while (text.size() < 300000)
        text += "\xE2\x82\xAC-\xF0\x9F\x98\x80 ";
    const std::string document = "<r><a>" + text + "</a><b/></r>";
    FixedMemoryStream memory(std::string_view{document});
    TextStream stream(memory);
    Recorder parser(stream);
    ASSERT_TRUE(parser.parse()) << parser.errorText();
    ASSERT_EQ(parser.events.size(), 7u);
    EXPECT_EQ(parser.events[2], "text " + text);
    EXPECT_GT(parser.textPieces, 1u);
    EXPECT_EQ(parser.events[4], "start b");
}

TEST(SimpleApiForXml, TrickledInputParses) {
    TrickleStream trickle("<r x='1'>some <i>text</i></r>");
    TextStream stream(trickle);
    Recorder parser(stream);
    ASSERT_TRUE(parser.parse()) << parser.errorText();
    const std::vector<std::string> expected = {"start r x=1", "text some ", "start i", "text text", "end i", "end r"};
    EXPECT_EQ(parser.events, expected);
}

TEST(SimpleApiForXml, AbortFromElementStartStopsEverything) {
    FixedMemoryStream memory("<r><a/><b>text</b><c/></r>");
    TextStream stream(memory);
    Recorder parser(stream);
    parser.abortOnStart = "a";  // <a/> would otherwise report its end at once
    parser.abortMessage = "Object type mismatch";
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    const std::vector<std::string> expected = {"start r", "start a"};
    EXPECT_EQ(parser.events, expected);
    EXPECT_TRUE(parser.aborted());
    EXPECT_EQ(parser.errorText(), "Object type mismatch");
    EXPECT_EQ(parser.errorLine(), 1u);
    EXPECT_TRUE(capture.contains("Object type mismatch"));
}

TEST(SimpleApiForXml, SilentAbortSkipsTrailingContent) {
    // What follows the document element is not even looked at.
    FixedMemoryStream memory("<r/><not xml");
    TextStream stream(memory);
    Recorder parser(stream);
    parser.abortOnEnd = true;
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    const std::vector<std::string> expected = {"start r", "end r"};
    EXPECT_EQ(parser.events, expected);
    EXPECT_TRUE(parser.aborted());
    EXPECT_TRUE(parser.errorText().empty());
    EXPECT_EQ(capture.count(), 0u);
}

TEST(SimpleApiForXml, MalformedInputReportsWhereAndWhy) {
    FixedMemoryStream memory("<r>\n  <a></b>\n</r>");
    TextStream stream(memory);
    Recorder parser(stream);
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    EXPECT_FALSE(parser.aborted());
    EXPECT_FALSE(parser.errorText().empty());
    EXPECT_EQ(parser.errorLine(), 2u);
    EXPECT_EQ(parser.errorColumn(), 8u);  // at "b" in "</b>", counted from 1
    EXPECT_EQ(capture.countContaining(parser.errorText()), 1u);
    EXPECT_EQ(parser.events.back(), "start a");
}

TEST(SimpleApiForXml, EmptyAndUnfinishedInputFail) {
    for (const char* text : {"", "<r>", "<r></r><second/>", "<r a=\"\x80\"/>"}) {
        FixedMemoryStream memory(text);
        TextStream stream(memory);
        Recorder parser(stream);
        Kor::MessageCapture capture;
        EXPECT_FALSE(parser.parse()) << text;
        EXPECT_FALSE(parser.errorText().empty()) << text;
    }
}

TEST(SimpleApiForXml, FailedInputStreamIsReported) {
    FixedMemoryStream memory("<r/>");
    TextStream stream(memory);
    stream.setState(BasicStream::BAD);
    Recorder parser(stream);
    Kor::MessageCapture capture;
    EXPECT_FALSE(parser.parse());
    EXPECT_TRUE(parser.events.empty());
    EXPECT_FALSE(parser.errorText().empty());
}

} // namespace
