#pragma once
// Unformatted access to an IDataStream with iostream-like state bits.

#include "platform/variant/data_stream.hpp"

#include <string>

namespace tavi {

// Wraps an IDataStream (not owned; it must outlive this object) and keeps the
// state bits. Once FAIL or BAD is set, reads and writes do nothing until
// clearState(). Nothing is buffered except pushed-back characters, so several
// streams may take turns on one data stream.
class BasicStream {
public:
    enum State : int { GOOD = 0, EOF_BIT = 1, FAIL = 2, BAD = 4 };
    static constexpr int END_OF_STREAM = -1; // result of get()/peek() when no byte is left

    explicit BasicStream(IDataStream& data) noexcept : m_data(&data) {}
    virtual ~BasicStream() = default;
    BasicStream(const BasicStream&) = delete;
    BasicStream& operator=(const BasicStream&) = delete;

    // Pushed-back bytes come first. A short read sets EOF_BIT.
    size_t read(void* buffer, size_t size);
    // A short write sets BAD.
    size_t write(const void* data, size_t size);
    // Drops pushed-back bytes; clears EOF_BIT on success, sets FAIL on failure.
    bool seek(long long offset, int origin = IDataStream::BEGIN);
    // Position of the next byte read, taking pushed-back bytes into account; -1 when unknown.
    long long tell() const;
    // Flushes the data stream; sets BAD on failure.
    bool sync();

    // Next byte as 0..255, or END_OF_STREAM (setting EOF_BIT).
    int get();
    // Like get() without consuming the byte.
    int peek();
    // Pushes `c` back so that the next read returns it first (any number of
    // bytes, last pushed first read). Clears EOF_BIT; refused once failed.
    bool unget(char c);

    int state() const noexcept { return m_state; }
    // Adds `bits` to the state (never removes any).
    void setState(int bits) noexcept { m_state |= bits & (EOF_BIT | FAIL | BAD); }
    // Removes `bits` (all of them by default).
    void clearState(int bits = EOF_BIT | FAIL | BAD) noexcept { m_state &= ~bits; }

    bool good() const noexcept { return m_state == GOOD; }
    bool eof() const noexcept { return (m_state & EOF_BIT) != 0; }
    // True with FAIL or BAD, as the XML writer's fail() test expects.
    bool fail() const noexcept { return (m_state & (FAIL | BAD)) != 0; }
    bool bad() const noexcept { return (m_state & BAD) != 0; }
    explicit operator bool() const noexcept { return !fail(); }

    IDataStream& dataStream() const noexcept { return *m_data; }

private:
    IDataStream* m_data;
    std::string m_pushedBack; // a stack: back() is read first
    int m_state = GOOD;
};

} // namespace tavi
