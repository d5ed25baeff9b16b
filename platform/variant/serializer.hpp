#pragma once
// The interface of value serializers (XML and any other format).

namespace tavi {

class Variant;

// Writes values to and reads them from whatever the implementation is built
// over. Each call handles one complete document.
class ISerializer {
public:
    virtual ~ISerializer() = default;
    // Writes `value`; false when the output failed.
    virtual bool serialize(const Variant& value) = 0;
    // Reads into `value` (into the type it already holds, or a type the input
    // names when it is void); false when the input could not be read.
    virtual bool deserialize(Variant& value) = 0;

protected:
    ISerializer() = default;
    ISerializer(const ISerializer&) = default;
    ISerializer& operator=(const ISerializer&) = default;
};

} // namespace tavi
