#pragma once
// A data stream over memory owned by the caller.

#include "platform/variant/data_stream.hpp"

#include <span>
#include <string>
#include <string_view>

namespace tavi {

// Reads and writes a caller's buffer, which must outlive the stream:
// - over a std::string: readable and writable; writes overwrite at the
//   position and grow the string past its end (OVERWRITE, like a file opened
//   for update), or always go to the end (APPEND) while reads keep their own
//   position;
// - over a char buffer of fixed capacity: readable and writable; writes past
//   the capacity are cut short (the stream is full) and size() tells how much
//   has been written;
// - over const text: read-only; writes fail.
// close() makes every later operation fail.
class FixedMemoryStream : public IDataStream {
public:
    enum class Mode { OVERWRITE, APPEND };

    explicit FixedMemoryStream(std::string& buffer, Mode mode = Mode::OVERWRITE) noexcept;
    FixedMemoryStream(char* buffer, size_t capacity) noexcept;
    explicit FixedMemoryStream(std::string_view text) noexcept;
    explicit FixedMemoryStream(const std::string& text) noexcept
        : FixedMemoryStream(std::string_view(text)) {}
    explicit FixedMemoryStream(const char* text) noexcept
        : FixedMemoryStream(std::string_view(text ? text : "")) {}
    // The stream would outlive the string.
    explicit FixedMemoryStream(std::string&&) = delete;

    FixedMemoryStream(const FixedMemoryStream&) = delete;
    FixedMemoryStream& operator=(const FixedMemoryStream&) = delete;

    size_t read(void* buffer, size_t size) override;
    size_t write(const void* data, size_t size) override;
    // Any position from 0 to size() inclusive.
    bool seek(long long offset, int origin) override;
    bool sync() override { return !m_closed; }
    long long tell() const override { return m_closed ? -1 : static_cast<long long>(m_position); }

    // Bytes in the stream: the string's length, the written part of the buffer, the text's length.
    size_t size() const noexcept;
    bool isWritable() const noexcept { return !m_closed && (m_string || m_span.data()); }
    void close() noexcept { m_closed = true; }
    bool isClosed() const noexcept { return m_closed; }

private:
    const char* data() const noexcept;

    std::string* m_string = nullptr; // string mode
    std::span<char> m_span;          // fixed-capacity buffer mode
    std::string_view m_text;         // read-only mode
    size_t m_spanUsed = 0;           // bytes of m_span written so far (its high-water mark)
    size_t m_position = 0;
    Mode m_mode = Mode::OVERWRITE;
    bool m_closed = false;
};

} // namespace tavi
