#pragma once
// A data stream over a file.

#include "platform/variant/data_stream.hpp"

#include <cstdio>
#include <filesystem>
#include <string>

namespace tavi {

// Reads or writes one file through the C library's buffered I/O, so that the
// many small writes of a formatted stream cost no system call each. Opening
// can fail (isOpen() false, errorText() tells why); every operation on a
// stream that is not open fails the way a closed FixedMemoryStream does.
// The file is closed by close() or the destructor; only close() tells
// whether the last buffered bytes reached the disk.
class FileStream : public IDataStream {
public:
    enum class Mode {
        READ,   // an existing file, from its start
        WRITE,  // created, or emptied if it exists
        APPEND, // created if missing; every write goes to the end
    };

    FileStream(const std::filesystem::path& path, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    size_t read(void* buffer, size_t size) override;
    size_t write(const void* data, size_t size) override;
    bool seek(long long offset, int origin) override;
    // Hands the buffered bytes to the operating system.
    bool sync() override;
    long long tell() const override;

    bool isOpen() const noexcept { return m_file != nullptr; }
    // Flushes and closes; false when the file was not open or the flush failed.
    bool close();
    // What went wrong on opening or on the last failed operation; empty otherwise.
    const std::string& errorText() const noexcept { return m_errorText; }

private:
    void noteError(const char* what);

    std::FILE* m_file = nullptr;
    std::filesystem::path m_path;
    std::string m_errorText;
};

} // namespace tavi
