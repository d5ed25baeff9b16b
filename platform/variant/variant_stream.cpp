#include "platform/variant/variant_stream.hpp"

namespace tavi {

TextStream& writeVariant(TextStream& stream, const Variant& value) {
    if (value.isVoid() || stream.fail())
        return stream;
    const auto write = value.type()->operations().write;
    if (!write)
        stream.setState(BasicStream::FAIL);
    else
        write(stream, value.data());
    return stream;
}

TextStream& readVariant(TextStream& stream, Variant& value) {
    if (stream.fail())
        return stream;
    const auto read = value.isVoid() ? nullptr : value.type()->operations().read;
    if (!read) {
        stream.setState(BasicStream::FAIL);
        return stream;
    }
    // Every read function leaves the value alone when it fails.
    read(stream, value.mutableData());
    return stream;
}

} // namespace tavi
