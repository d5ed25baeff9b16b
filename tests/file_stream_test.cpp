#include "platform/variant/file_stream.hpp"
#include "platform/variant/text_stream.hpp"
#include "tests/support/temp_folder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using tavi::FileStream;

class FileStreamTest : public orv::test::TempFolderTest {
protected:
    std::string contents(const std::filesystem::path& path) {
        FileStream file(path, FileStream::Mode::READ);
        tavi::TextStream text(file);
        std::string out;
        text.readToEnd(out);
        return out;
    }
};

TEST_F(FileStreamTest, WritesReadsSeeksAndAppends) {
    const auto path = m_folder / "data.txt";
    {
        FileStream file(path, FileStream::Mode::WRITE);
        ASSERT_TRUE(file.isOpen());
        tavi::TextStream text(file);
        text << "hello " << 42 << ' ' << 1.5;
        EXPECT_TRUE(text.sync());
        EXPECT_EQ(file.tell(), 12);
        EXPECT_TRUE(file.close());
        EXPECT_FALSE(file.isOpen());
    }
    {
        FileStream file(path, FileStream::Mode::READ);
        tavi::TextStream text(file);
        std::string word;
        int number = 0;
        double real = 0;
        EXPECT_TRUE(text >> word >> number >> real);
        EXPECT_EQ(word, "hello");
        EXPECT_EQ(number, 42);
        EXPECT_EQ(real, 1.5);
        EXPECT_TRUE(file.seek(-3, tavi::IDataStream::END));
        char tail[3];
        EXPECT_EQ(file.read(tail, 3), 3u);
        EXPECT_EQ(std::string(tail, 3), "1.5");
        EXPECT_EQ(file.read(tail, 3), 0u);
        EXPECT_FALSE(file.seek(0, 7));
        // Reading only: writes are refused.
        EXPECT_EQ(file.write("x", 1), 0u);
    }
    {
        FileStream file(path, FileStream::Mode::APPEND);
        EXPECT_TRUE(file.seek(0, tavi::IDataStream::BEGIN));
        EXPECT_EQ(file.write("!", 1), 1u);
    }
    EXPECT_EQ(contents(path), "hello 42 1.5!");
    // WRITE empties an existing file.
    FileStream(path, FileStream::Mode::WRITE);
    EXPECT_EQ(contents(path), "");
}

TEST_F(FileStreamTest, AFileThatCannotBeOpenedFailsEveryOperation) {
    FileStream file(m_folder / "missing" / "data.txt", FileStream::Mode::WRITE);
    EXPECT_FALSE(file.isOpen());
    EXPECT_NE(file.errorText().find("cannot open"), std::string::npos);
    EXPECT_NE(file.errorText().find("missing"), std::string::npos);
    char byte;
    EXPECT_EQ(file.write("x", 1), 0u);
    EXPECT_EQ(file.read(&byte, 1), 0u);
    EXPECT_FALSE(file.seek(0, tavi::IDataStream::BEGIN));
    EXPECT_FALSE(file.sync());
    EXPECT_EQ(file.tell(), -1);
    EXPECT_FALSE(file.close());

    FileStream reading(m_folder / "none.txt", FileStream::Mode::READ);
    EXPECT_FALSE(reading.isOpen());
    tavi::TextStream text(reading);
    std::string word;
    EXPECT_FALSE(text >> word);
}

TEST_F(FileStreamTest, AFullDeviceIsReportedWhenTheBufferReachesIt) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    FileStream file("/dev/full", FileStream::Mode::WRITE);
    ASSERT_TRUE(file.isOpen());
    EXPECT_EQ(file.write("abc", 3), 3u); // buffered
    EXPECT_FALSE(file.sync());
    EXPECT_NE(file.errorText().find("cannot write"), std::string::npos);
}

} // namespace
