#pragma once
// The byte stream every formatted stream of this library sits on.

#include <cstddef>

namespace tavi {

// A source and/or sink of bytes. Implementations report what they could do
// through return values; the formatted streams above them turn that into
// state bits.
class IDataStream {
public:
    // Origins for seek(); the values match SEEK_SET, SEEK_CUR and SEEK_END.
    enum SeekOrigin : int { BEGIN = 0, CURRENT = 1, END = 2 };

    virtual ~IDataStream() = default;

    // Reads up to `size` bytes; returns how many were read (0 at the end or when not readable).
    virtual size_t read(void* buffer, size_t size) = 0;
    // Writes up to `size` bytes; a result below `size` means the sink is full, closed or failing.
    virtual size_t write(const void* data, size_t size) = 0;
    // Moves the position; false (position unchanged) when out of range or not seekable.
    virtual bool seek(long long offset, int origin) = 0;
    // Pushes buffered data to where it is going; false on failure.
    virtual bool sync() = 0;
    // Current position, or -1 when the stream has none.
    virtual long long tell() const { return -1; }

protected:
    IDataStream() = default;
    IDataStream(const IDataStream&) = default;
    IDataStream& operator=(const IDataStream&) = default;
};

} // namespace tavi
