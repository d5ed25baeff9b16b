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
    FixedMemoryStream out(buffer);
    TextStream writer(out);
    writer << value;
    EXPECT_TRUE(writer.good());
    FixedMemoryStream in(std::string_view{buffer});
    TextStream reader(in);
    T result{};
    reader >> result;
    EXPECT_FALSE(reader.fail()) << "text: " << buffer;
    reader.skipWhiteSpace();
    EXPECT_TRUE(reader.eof()) << "unread rest after: " << buffer;
    if (text)
        *text = buffer;
    return result;
}

template <class T>
void expectIntegerExtremes() {
    for (const T value : {std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), T(0), T(1)})
        EXPECT_EQ(textRoundTrip(value), value) << typeid(T).name();
}

TEST(TextStream, IntegersOfEveryWidthRoundTrip) {
    expectIntegerExtremes<signed char>();
    expectIntegerExtremes<unsigned char>();
    expectIntegerExtremes<short>();
    expectIntegerExtremes<unsigned short>();
    expectIntegerExtremes<int>();
    expectIntegerExtremes<unsigned>();
    expectIntegerExtremes<long>();
    expectIntegerExtremes<unsigned long>();
    expectIntegerExtremes<long long>();
    expectIntegerExtremes<unsigned long long>();
    std::string text;
    textRoundTrip(std::int8_t(-128), &text);
    EXPECT_EQ(text, "-128");  // a number, not a character
}

TEST(TextStream, FloatingPointIsExactAndShort) {
    for (const double value : {0.1, 1.0 / 3.0, -2.5e-300, std::numeric_limits<double>::max(),
                               std::numeric_limits<double>::lowest(), std::numeric_limits<double>::denorm_min(),
                               std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()})
        EXPECT_EQ(textRoundTrip(value), value);
    for (const float value : {0.1f, 1.0f / 3.0f, std::numeric_limits<float>::max(),
                              std::numeric_limits<float>::denorm_min(), -1e-30f})
        EXPECT_EQ(textRoundTrip(value), value);

    std::string text;
    textRoundTrip(0.1f, &text);
    EXPECT_EQ(text, "0.1");  // written as a float, not widened to double first
    EXPECT_TRUE(std::signbit(textRoundTrip(-0.0)));
    EXPECT_TRUE(std::isnan(textRoundTrip(std::numeric_limits<double>::quiet_NaN())));
}

TEST(TextStream, BoolAndCharactersRoundTrip) {
    EXPECT_TRUE(textRoundTrip(true));
    EXPECT_FALSE(textRoundTrip(false));
    EXPECT_EQ(textRoundTrip('x'), 'x');
    EXPECT_EQ(textRoundTrip(std::string("word")), "word");
    EXPECT_EQ(textRoundTrip(std::wstring(L"\u00E9t\u00E9\U0001F600")), L"\u00E9t\u00E9\U0001F600");
}

TEST(TextStream, SequenceOfValuesReadsBack) {
    std::string buffer;
    FixedMemoryStream memory(buffer);
    TextStream stream(memory);
    stream << 42 << ' ' << -7.25 << ' ' << true << ' ' << "end" << '\n' << quoted("two words");
    ASSERT_TRUE(stream.seek(0));
    int i = 0;
    double d = 0;
    bool b = false;
    std::string word, phrase;
    stream >> i >> d >> b >> word >> quoted(phrase);
    ASSERT_FALSE(stream.fail());
    EXPECT_EQ(i, 42);
    EXPECT_EQ(d, -7.25);
    EXPECT_TRUE(b);
    EXPECT_EQ(word, "end");
    EXPECT_EQ(phrase, "two words");
}

// Reads `text` into `value` and returns the resulting state.
template <class T>
int readFrom(std::string_view text, T& value) {
    FixedMemoryStream memory(text);
    TextStream stream(memory);
    stream >> value;
    return stream.state();
}

TEST(TextStream, BadNumbersFailAndLeaveTargetUnchanged) {
    std::uint8_t small = 9;
    EXPECT_TRUE(readFrom("256", small) & BasicStream::FAIL);
    EXPECT_EQ(small, 9);
    unsigned u = 9;
    EXPECT_TRUE(readFrom("-1", u) & BasicStream::FAIL);
    EXPECT_EQ(u, 9u);
    int i = 9;
    EXPECT_TRUE(readFrom("12abc", i) & BasicStream::FAIL);
    EXPECT_TRUE(readFrom("+-3", i) & BasicStream::FAIL);
    EXPECT_TRUE(readFrom("   ", i) & BasicStream::FAIL);
    EXPECT_EQ(i, 9);
    double d = 9;
    EXPECT_TRUE(readFrom("1e400", d) & BasicStream::FAIL);
    EXPECT_TRUE(readFrom("1.2.3", d) & BasicStream::FAIL);
    EXPECT_EQ(d, 9);
    bool b = true;
    EXPECT_TRUE(readFrom("yes", b) & BasicStream::FAIL);
    EXPECT_TRUE(b);
    EXPECT_EQ(readFrom("+17", i), BasicStream::EOF_BIT);
    EXPECT_EQ(i, 17);
}

TEST(TextStream, NumbersStopAtPunctuation) {
    FixedMemoryStream memory("12,-3e-2)");
    TextStream stream(memory);
    int a = 0;
    double b = 0;
    stream >> a;
    EXPECT_TRUE(stream.skip(','));
    stream >> b;
    EXPECT_FALSE(stream.skip(','));
    EXPECT_EQ(stream.get(), ')');
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -0.03);
    EXPECT_FALSE(stream.fail());
}

TEST(TextStream, FailedReadKeepsItsTextAndBlocksFurtherReads) {
    FixedMemoryStream memory("  1.5x 5");
    TextStream stream(memory);
    int i = 1;
    stream >> i;
    ASSERT_TRUE(stream.fail());
    std::string word;
    stream >> word;  // ignored while failed
    EXPECT_TRUE(word.empty());
    stream.clearState();
    stream >> word >> i;
    EXPECT_EQ(word, "1.5x");  // the rejected token is still there
    EXPECT_EQ(i, 5);
}

TEST(TextStream, QuotedStringsRoundTrip) {
    for (const std::string& value : {std::string(), std::string("say \"hi\""), std::string("C:\\dir\\"),
                                    std::string(" lead and trail "), std::string("\\\""), std::string("line\nbreak")}) {
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
    {
        FixedMemoryStream memory(text);
        TextStream stream(memory);
        stream << quoted("a\"b\\c");
    }
    EXPECT_EQ(text, R"("a\"b\\c")");
}

TEST(TextStream, MalformedQuotedStringsFail) {
    std::string value = "old";
    for (const char* text : {"\"unterminated", "\"ends in escape\\", "\"\\\""}) {
        FixedMemoryStream memory(text);
        TextStream stream(memory);
        stream >> quoted(value);
        EXPECT_TRUE(stream.fail()) << text;
        EXPECT_EQ(value, "old");
    }

    FixedMemoryStream memory("  bare");
    TextStream stream(memory);
    stream >> quoted(value);
    EXPECT_TRUE(stream.fail());
    EXPECT_EQ(value, "old");
    stream.clearState();
    EXPECT_EQ(stream.get(), 'b');  // the unexpected character was left in place
}

TEST(TextStream, WordsLinesAndRest) {
    FixedMemoryStream memory("  first second\r\nline two\nlast");
    TextStream stream(memory);
    std::string word, line, rest;
    stream.readWord(word);
    EXPECT_EQ(word, "first");
    stream.readLine(line);
    EXPECT_EQ(line, " second");
    stream.readLine(line);
    EXPECT_EQ(line, "line two");
    stream.readToEnd(rest);
    EXPECT_EQ(rest, "last");
    EXPECT_FALSE(stream.fail());
    EXPECT_TRUE(stream.eof());
    stream.readLine(line);
    EXPECT_TRUE(stream.fail());
    EXPECT_EQ(line, "line two");
}

TEST(BasicStream, UngetPushesBackInOrder) {
    FixedMemoryStream memory("abc");
    BasicStream stream(memory);
    EXPECT_EQ(stream.get(), 'a');
    EXPECT_EQ(stream.tell(), 1);
    EXPECT_TRUE(stream.unget('a'));
    EXPECT_EQ(stream.tell(), 0);
    EXPECT_TRUE(stream.unget('z'));
    EXPECT_EQ(stream.get(), 'z');
    EXPECT_EQ(stream.get(), 'a');
    EXPECT_EQ(stream.peek(), 'b');
    char rest[4] = {};
    EXPECT_EQ(stream.read(rest, 4), 2u);
    EXPECT_STREQ(rest, "bc");
    EXPECT_TRUE(stream.eof());
    EXPECT_FALSE(stream.fail());
    EXPECT_TRUE(stream.unget('c'));  // clears the end-of-stream bit
    EXPECT_FALSE(stream.eof());
    EXPECT_EQ(stream.get(), 'c');
    stream.setState(BasicStream::FAIL);
    EXPECT_FALSE(stream.unget('c'));
}

TEST(BasicStream, SeekDropsPushBackAndRejectsOutOfRange) {
    FixedMemoryStream memory("0123456789");
    BasicStream stream(memory);
    stream.get();
    stream.get();
    stream.unget('1');
    EXPECT_TRUE(stream.seek(2, IDataStream::CURRENT));  // relative to what the caller has read
    EXPECT_EQ(stream.get(), '3');
    EXPECT_TRUE(stream.seek(-1, IDataStream::END));
    EXPECT_EQ(stream.get(), '9');
    EXPECT_EQ(stream.get(), BasicStream::END_OF_STREAM);
    EXPECT_TRUE(stream.eof());
    EXPECT_TRUE(stream.seek(0));
    EXPECT_FALSE(stream.eof());
    EXPECT_FALSE(stream.seek(11));
    EXPECT_TRUE(stream.state() & BasicStream::FAIL);
}

TEST(BasicStream, SeekOffsetsAtTheLimitsFailWithoutOverflow) {
    constexpr long long lowest = std::numeric_limits<long long>::min();
    constexpr long long highest = std::numeric_limits<long long>::max();
    FixedMemoryStream memory("0123456789");
    BasicStream stream(memory);
    stream.get();
    EXPECT_EQ(stream.peek(), '1');  // a pushed-back byte shifts CURRENT by one
    EXPECT_FALSE(stream.seek(lowest, IDataStream::CURRENT));
    EXPECT_TRUE(stream.state() & BasicStream::FAIL);
    stream.clearState();
    EXPECT_EQ(stream.get(), '2');  // the pushed-back byte is dropped all the same
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

TEST(FixedMemoryStream, FullBufferMakesWritesBad) {
    char storage[6];
    FixedMemoryStream memory(storage, sizeof storage);
    TextStream stream(memory);
    stream << 1234;
    EXPECT_TRUE(stream.good());
    stream << 5678;  // only "56" fits
    EXPECT_TRUE(stream.bad());
    EXPECT_TRUE(stream.fail());
    EXPECT_EQ(std::string_view(storage, memory.size()), "123456");
    stream << 9;
    EXPECT_EQ(memory.size(), 6u);
    EXPECT_FALSE(stream.seek(0));  // seeking does not mend a bad stream
}

TEST(FixedMemoryStream, ClosedAndReadOnlyStreamsRefuseWrites) {
    std::string buffer = "abc";
    FixedMemoryStream memory(buffer);
    memory.close();
    TextStream closed(memory);
    closed << "x";
    EXPECT_TRUE(closed.bad());
    int i = 1;
    closed.clearState();
    closed >> i;
    EXPECT_TRUE(closed.fail());
    EXPECT_EQ(buffer, "abc");

    FixedMemoryStream readOnly(std::string_view("text"));
    TextStream stream(readOnly);
    stream << "x";
    EXPECT_TRUE(stream.bad());
}

TEST(FixedMemoryStream, OverwriteAndAppendModes) {
    std::string buffer = "hello";
    {
        FixedMemoryStream memory(buffer);
        EXPECT_EQ(memory.write("J", 1), 1u);
        EXPECT_TRUE(memory.seek(0, IDataStream::END));
        EXPECT_EQ(memory.write("!!", 2), 2u);
    }
    EXPECT_EQ(buffer, "Jello!!");
    {
        FixedMemoryStream memory(buffer, FixedMemoryStream::Mode::APPEND);
        TextStream stream(memory);
        stream << 7;
        std::string word;
        stream >> word;  // reading starts at 0 while writes go to the end
        EXPECT_EQ(word, "Jello!!7");
    }
    EXPECT_EQ(buffer, "Jello!!7");
}

TEST(BinaryStream, ScalarsAndStringsRoundTrip) {
    std::string buffer;
    FixedMemoryStream memory(buffer);
    BinaryStream out(memory);
    const std::string withNull("a\0b", 3);
    out << std::int8_t(-128) << std::uint16_t(0xBEEF) << std::int32_t(-2) << std::numeric_limits<std::int64_t>::min()
        << std::numeric_limits<std::uint64_t>::max() << true << 0.1f << -1e300 << withNull << std::string()
        << std::wstring(L"\U0001F600");
    ASSERT_TRUE(out.good());
    // Little-endian regardless of the host.
    EXPECT_EQ(buffer.substr(1, 2), "\xEF\xBE");
    EXPECT_EQ(buffer.substr(3, 4), std::string("\xFE\xFF\xFF\xFF"));

    memory.seek(0, IDataStream::BEGIN);
    BinaryStream in(memory);
    std::int8_t i8 = 0;
    std::uint16_t u16 = 0;
    std::int32_t i32 = 0;
    std::int64_t i64 = 0;
    std::uint64_t u64 = 0;
    bool b = false;
    float f = 0;
    double d = 0;
    std::string s1, s2 = "x";
    std::wstring w;
    in >> i8 >> u16 >> i32 >> i64 >> u64 >> b >> f >> d >> s1 >> s2 >> w;
    ASSERT_FALSE(in.fail());
    EXPECT_EQ(i8, -128);
    EXPECT_EQ(u16, 0xBEEF);
    EXPECT_EQ(i32, -2);
    EXPECT_EQ(i64, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(u64, std::numeric_limits<std::uint64_t>::max());
    EXPECT_TRUE(b);
    EXPECT_EQ(f, 0.1f);
    EXPECT_EQ(d, -1e300);
    EXPECT_EQ(s1, withNull);
    EXPECT_EQ(s2, "");
    EXPECT_EQ(w, L"\U0001F600");
}

TEST(BinaryStream, TruncatedInputFailsAndLeavesTarget) {
    FixedMemoryStream memory(std::string_view("\x01\x02\x03", 3));
    BinaryStream in(memory);
    std::int32_t value = 5;
    in >> value;
    EXPECT_TRUE(in.fail());
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(value, 5);

    // A length that promises more bytes than there are.
    FixedMemoryStream lying(std::string_view("\xFF\xFF\xFF\x7F" "abc", 7));
    BinaryStream strings(lying);
    std::string text = "old";
    strings >> text;
    EXPECT_TRUE(strings.fail());
    EXPECT_EQ(text, "old");
}

TEST(MathText, ValuesRoundTripExactly) {
    const Kor::Vector3 v(0.1f, -2.5f, 1e-20f);
    EXPECT_EQ(textRoundTrip(v), v);
    EXPECT_EQ(textRoundTrip(Kor::Vector2(1.0f / 3.0f, 7)), Kor::Vector2(1.0f / 3.0f, 7));
    EXPECT_EQ(textRoundTrip(Kor::Vector4(1, 2, 3, 4)), Kor::Vector4(1, 2, 3, 4));
    const Kor::Quaternion q(0.1f, 0.2f, 0.3f, 0.9f);
    EXPECT_EQ(textRoundTrip(q), q);
    const Kor::Matrix m(Kor::Vector4(1, 2, 3, 4), Kor::Vector4(5, 6, 7, 8), Kor::Vector4(9, 10, 11, 12),
                        Kor::Vector4(13, 14, 15, 16.5f));
    std::string text;
    EXPECT_EQ(textRoundTrip(m, &text), m);
    EXPECT_EQ(text, "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16.5");
    const Kor::EulerAngles e(0.5f, -0.25f, 3.0f);
    EXPECT_EQ(textRoundTrip(e), e);
    const Kor::DecomposedMatrix dm(Kor::Vector3(1, 2, 3), q, Kor::Vector3(-1, 0.5f, 8));
    EXPECT_EQ(textRoundTrip(dm), dm);
    const Kor::DecomposedMatrixPYR pyr(Kor::Vector3(1, 1, 1), Kor::Vector3(0.1f, 0.2f, 0.3f), Kor::Vector3(4, 5, 6));
    EXPECT_EQ(textRoundTrip(pyr), pyr);
}

TEST(MathText, IncompleteInputLeavesValueUnchanged) {
    Kor::Vector3 v(7, 8, 9);
    EXPECT_TRUE(readFrom("1 2", v) & BasicStream::FAIL);
    EXPECT_EQ(v, Kor::Vector3(7, 8, 9));
    Kor::Matrix m;
    EXPECT_TRUE(readFrom("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 x", m) & BasicStream::FAIL);
    EXPECT_EQ(m, Kor::Matrix::identity);
}

} // namespace
