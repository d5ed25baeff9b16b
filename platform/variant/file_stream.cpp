#include "platform/variant/file_stream.hpp"

#include <cerrno>
#include <cstring>

namespace tavi {
namespace {

const char* modeString(FileStream::Mode mode) {
    switch (mode) {
        case FileStream::Mode::READ:
            return "rb";
        case FileStream::Mode::WRITE:
            return "wb";
        case FileStream::Mode::APPEND:
            return "ab";
    }
    return "rb";
}

} // namespace

FileStream::FileStream(const std::filesystem::path& path, Mode mode) : m_path(path) {
    m_file = std::fopen(path.c_str(), modeString(mode));
    if (!m_file)
        noteError("cannot open");
}

FileStream::~FileStream() { close(); }

void FileStream::noteError(const char* what) {
    m_errorText = std::string(what) + " '" + m_path.string() + "': " + std::strerror(errno);
}

size_t FileStream::read(void* buffer, size_t size) {
    if (!m_file || size == 0)
        return 0;
    const size_t got = std::fread(buffer, 1, size, m_file);
    if (got < size && std::ferror(m_file))
        noteError("cannot read");
    return got;
}

size_t FileStream::write(const void* data, size_t size) {
    if (!m_file || size == 0)
        return 0;
    const size_t written = std::fwrite(data, 1, size, m_file);
    if (written < size)
        noteError("cannot write");
    return written;
}

bool FileStream::seek(long long offset, int origin) {
    if (!m_file || origin < BEGIN || origin > END)
        return false;
    // fseek and tell positions are long: the same width as long long here.
    static_assert(sizeof(long) == sizeof(long long));
    if (std::fseek(m_file, static_cast<long>(offset), origin) != 0) {
        noteError("cannot seek in");
        return false;
    }
    return true;
}

bool FileStream::sync() {
    if (!m_file)
        return false;
    if (std::fflush(m_file) != 0) {
        noteError("cannot write");
        return false;
    }
    return true;
}

long long FileStream::tell() const { return m_file ? std::ftell(m_file) : -1; }

bool FileStream::close() {
    if (!m_file)
        return false;
    const bool flushed = std::fflush(m_file) == 0;
    if (!flushed)
        noteError("cannot write");
    const bool closed = std::fclose(m_file) == 0;
    if (flushed && !closed)
        noteError("cannot close");
    m_file = nullptr;
    return flushed && closed;
}

} // namespace tavi
