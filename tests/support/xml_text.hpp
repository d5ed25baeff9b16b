#pragma once
// The XML document a serializer writes for a value, an object or a property,
// for tests that compare documents.

#include "platform/variant/memory_stream.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"

#include <gtest/gtest.h>

#include <string>

namespace orv::test {

template <class Value>
std::string written(const Value& value, const XMLSerializer::Format& format = XMLSerializer::Format()) {
    std::string out;
    tavi::FixedMemoryStream memory(out);
    XMLSerializer serializer(memory);
    serializer.setFormat(format);
    EXPECT_TRUE(serializer.serialize(value));
    return out;
}

} // namespace orv::test
