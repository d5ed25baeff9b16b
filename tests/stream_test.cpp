#include "platform/variant/binary_stream.hpp"
#include "platform/variant/math_text.hpp"
#include "platform/variant/memory_stream.hpp"
#include "platform/variant/text_stream.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace tavi;

namespace {

// Writes `value` as text and reads it back from the produced text.
template <class T>
T textRoundTrip(const T& value, std::string* text = nullptr) {
    std::string buffer;
    FixedMemoryStream memory(buffer);
    TextStream stream(memory);
    stream << value;
    EXPECT_TRUE(stream.seek(0));
    T result{};
    stream >> result;
    EXPECT_FALSE(stream.fail()) << "text: " << buffer;
    stream.skipWhiteSpace();
    EXPECT_TRUE(stream.eof()) << "unread rest after: " << buffer;
    if (text)
        *text = buffer;
    return result;
}

// Reads `text` into `value` and returns the resulting state.
template <class T>
int readFrom(std::string_view text, T& value) {
    FixedMemoryStream memory(text);
    TextStream stream(memory);
    stream >> value;
    return stream.state();
}

TEST(TextStream, NumbersRoundTripExactlyAndShort) {
    std::string text;
    EXPECT_EQ(textRoundTrip(std::int8_t(-128), &text), -128);
    EXPECT_EQ(text, "-128"); // a number, not a character
    EXPECT_EQ(textRoundTrip(std::numeric_limits<std::uint64_t>::max()),
              std::numeric_limits<std::uint64_t>::max());
    for (const double value : {1.0 / 3.0, std::numeric_limits<double>::denorm_min(), -HUGE_VAL})
        EXPECT_EQ(textRoundTrip(value), value);
    EXPECT_EQ(textRoundTrip(0.1f, &text), 0.1f);
    EXPECT_EQ(text, "0.1"); // written as a float, not widened to double first
    EXPECT_TRUE(std::signbit(textRoundTrip(-0.0)));
    EXPECT_TRUE(std::isnan(textRoundTrip(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(textRoundTrip(std::wstring(L"\u00E9t\u00E9\U0001F600")), L"\u00E9t\u00E9\U0001F600");
}

TEST(TextStream, BadNumbersFailAndLeaveTargetUnchanged) {
    std::uint8_t small = 9;
    EXPECT_TRUE(readFrom("256", small) & BasicStream::FAIL);
    EXPECT_EQ(small, 9);
    unsigned u = 9;
    EXPECT_TRUE(readFrom("-1", u) & BasicStream::FAIL);
    int i = 9;
    for (const char* text : {"12abc", "+-3", "   "})
        EXPECT_TRUE(readFrom(text, i) & BasicStream::FAIL) << text;
    EXPECT_EQ(i, 9);
    double d = 9;
    EXPECT_TRUE(readFrom("1e400", d) & BasicStream::FAIL);
    EXPECT_EQ(d, 9);
    EXPECT_EQ(readFrom("+17", i), BasicStream::EOF_BIT);
    EXPECT_EQ(i, 17);
}

TEST(TextStream, NumbersStopAtPunctuationAndFailedReadsKeepTheirText) {
    FixedMemoryStream memory("12,-3e-2) 1.5x 5");
    TextStream stream(memory);
    int i = 0;
    double d = 0;
    stream >> i;
    EXPECT_TRUE(stream.skip(','));
    stream >> d;
    EXPECT_EQ(stream.get(), ')');
    EXPECT_EQ(i, 12);
    EXPECT_EQ(d, -0.03);
    stream >> i;
    ASSERT_TRUE(stream.fail());
    std::string word;
    stream >> word; // ignored while failed
    EXPECT_TRUE(word.empty());
    stream.clearState();
    stream >> word >> i;
    EXPECT_EQ(word, "1.5x"); // the rejected token is still there
    EXPECT_EQ(i, 5);
}

TEST(TextStream, QuotedStringsRoundTripAndMalformedOnesFail) {
    for (const std::string value : {"", "C:\\dir\\", " lead \\\" trail\n"}) {
        std::string buffer;
        FixedMemoryStream memory(buffer);
        TextStream stream(memory);
        stream << quoted(value) << quoted(value);
        std::string first = "unset", second = "unset";
        stream.seek(0);
        stream >> quoted(first) >> quoted(second);
        EXPECT_FALSE(stream.fail()) << buffer;
        EXPECT_EQ(first, value);
        EXPECT_EQ(second, value);
    }
    std::string text;
    FixedMemoryStream out(text);
    TextStream quoter(out);
    quoter << quoted("a\"b\\c");
    EXPECT_EQ(text, R"("a\"b\\c")");

    std::string value = "old";
    for (const char* bad : {"\"unterminated", "\"ends in escape\\", "\"\\\"", "  bare"}) {
        FixedMemoryStream memory(bad);
        TextStream stream(memory);
        stream >> quoted(value);
        EXPECT_TRUE(stream.fail()) << bad;
        EXPECT_EQ(value, "old");
    }
}

TEST(BasicStream, UngetPushesBackInOrder) {
    FixedMemoryStream memory("abc");
    BasicStream stream(memory);
    EXPECT_EQ(stream.get(), 'a');
    EXPECT_TRUE(stream.unget('a'));
    EXPECT_TRUE(stream.unget('z'));
    char all[5] = {};
    EXPECT_EQ(stream.read(all, 5), 4u);
    EXPECT_STREQ(all, "zabc");
    EXPECT_TRUE(stream.eof());
    EXPECT_TRUE(stream.unget('c')); // clears the end-of-stream bit
    EXPECT_FALSE(stream.eof());
    stream.setState(BasicStream::FAIL);
    EXPECT_FALSE(stream.unget('c'));
}

TEST(BasicStream, SeekIsRelativeToWhatWasReadAndNeverOverflows) {
    constexpr long long lowest = std::numeric_limits<long long>::min();
    constexpr long long highest = std::numeric_limits<long long>::max();
    FixedMemoryStream memory("0123456789");
    BasicStream stream(memory);
    stream.get();
    EXPECT_EQ(stream.peek(), '1'); // a pushed-back byte shifts CURRENT by one
    EXPECT_FALSE(stream.seek(lowest, IDataStream::CURRENT));
    stream.clearState();
    EXPECT_EQ(stream.get(), '2'); // the pushed-back byte is dropped all the same
    EXPECT_EQ(stream.peek(), '3');
    EXPECT_TRUE(stream.seek(2, IDataStream::CURRENT)); // relative to what the caller has read
    EXPECT_EQ(stream.get(), '5');
    EXPECT_FALSE(stream.seek(11));
    stream.clearState();
    for (const int origin : {IDataStream::BEGIN, IDataStream::CURRENT, IDataStream::END})
        for (const long long offset : {lowest, highest}) {
            EXPECT_FALSE(stream.seek(offset, origin)) << origin << " " << offset;
            EXPECT_TRUE(stream.state() & BasicStream::FAIL);
            stream.clearState();
            EXPECT_FALSE(memory.seek(offset, origin)) << origin << " " << offset;
        }
    EXPECT_TRUE(stream.seek(-10, IDataStream::END));
    EXPECT_EQ(stream.get(), '0');
}

TEST(FixedMemoryStream, FullClosedOrReadOnlyBufferMakesWritesBad) {
    char storage[6];
    FixedMemoryStream memory(storage, sizeof storage);
    TextStream stream(memory);
    stream << 1234 << 5678; // only "56" fits
    EXPECT_TRUE(stream.bad());
    EXPECT_EQ(std::string_view(storage, memory.size()), "123456");
    EXPECT_FALSE(stream.seek(0)); // seeking does not mend a bad stream

    FixedMemoryStream readOnly(std::string_view("text"));
    EXPECT_TRUE((TextStream(readOnly) << "x").bad());
    std::string buffer = "abc";
    FixedMemoryStream closed(buffer);
    closed.close();
    EXPECT_TRUE((TextStream(closed) << "x").bad());
    EXPECT_EQ(buffer, "abc");
}

TEST(BinaryStream, ValuesRoundTripLittleEndian) {
    std::string buffer;
    FixedMemoryStream memory(buffer);
    BinaryStream stream(memory);
    const std::string withNull("a\0b", 3);
    stream << std::uint16_t(0xBEEF) << std::int32_t(-2) << -1e300 << withNull << std::wstring(L"\U0001F600");
    EXPECT_EQ(buffer.substr(0, 6), std::string("\xEF\xBE\xFE\xFF\xFF\xFF")); // whatever the host's byte order
    ASSERT_TRUE(stream.seek(0));
    std::uint16_t u16 = 0;
    std::int32_t i32 = 0;
    double d = 0;
    std::string s;
    std::wstring w;
    stream >> u16 >> i32 >> d >> s >> w;
    ASSERT_FALSE(stream.fail());
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(d, -1e300);
    EXPECT_EQ(s, withNull);
    EXPECT_EQ(w, L"\U0001F600");
}

TEST(BinaryStream, TruncatedInputFailsAndLeavesTarget) {
    FixedMemoryStream memory(std::string_view("\x01\x02\x03", 3));
    std::int32_t value = 5;
    BinaryStream(memory) >> value;
    EXPECT_EQ(value, 5);
    // A length that promises more bytes than there are.
    FixedMemoryStream lying(
        std::string_view("\xFF\xFF\xFF\x7F"
                         "abc",
                         7));
    BinaryStream strings(lying);
    std::string text = "old";
    strings >> text;
    EXPECT_TRUE(strings.fail());
    EXPECT_EQ(text, "old");
}

TEST(MathText, MatrixIsSixteenNumbersAndIncompleteInputChangesNothing) {
    const Kor::Matrix m(Kor::Vector4(1, 2, 3, 4), Kor::Vector4(5, 6, 7, 8), Kor::Vector4(9, 10, 11, 12),
                        Kor::Vector4(13, 14, 15, 16.5f));
    std::string text;
    EXPECT_EQ(textRoundTrip(m, &text), m);
    EXPECT_EQ(text, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16.5");
    Kor::Vector3 v(7, 8, 9);
    EXPECT_TRUE(readFrom("1 2", v) & BasicStream::FAIL);
    EXPECT_EQ(v, Kor::Vector3(7, 8, 9));
}

} // namespace
