#include "shared_libs/reflection/serialization/xml_serializer.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"
#include "platform/corekit/stack_tracker.hpp"
#include "platform/variant/file_stream.hpp"
#include "platform/variant/variant.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/notify_scope.hpp"
#include "shared_libs/reflection/serialization/xml_reader.hpp"
#include "shared_libs/reflection/serialization/xml_writer.hpp"

#include <system_error>

namespace orv {

XMLSerializer::XMLSerializer(tavi::IDataStream& stream) : m_stream(stream) {}

bool XMLSerializer::serialize(const tavi::Variant& value) {
    Kor::StackTracker::Frame frame("orv::XMLSerializer::serialize");
    return XMLWriter(m_stream, m_format).write(value);
}

bool XMLSerializer::serialize(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::XMLSerializer::serialize");
    return XMLWriter(m_stream, m_format).write(property);
}

bool XMLSerializer::serialize(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::XMLSerializer::serialize");
    return XMLWriter(m_stream, m_format).write(object);
}

bool XMLSerializer::deserialize(tavi::Variant& value) {
    Kor::StackTracker::Frame frame("orv::XMLSerializer::deserialize");
    return read(value);
}

bool XMLSerializer::deserialize(const BoundProperty& property) {
    Kor::StackTracker::Frame frame("orv::XMLSerializer::deserialize");
    return read(property);
}

bool XMLSerializer::deserialize(const ReflectedObject& object) {
    Kor::StackTracker::Frame frame("orv::XMLSerializer::deserialize");
    return read(object);
}

template <class Target>
bool XMLSerializer::read(Target& target) {
    // Every change the read makes is announced when the document is done,
    // after the reader is gone.
    const NotifyScope scope;
    XMLReader reader(m_stream, m_format);
    const bool done = reader.read(target);
    m_lastError = done ? std::string()
                       : kor_format("line %lu, column %lu: %s", reader.errorLine(), reader.errorColumn(),
                                    reader.errorText().c_str());
    return done;
}

bool XMLSerializer::sync() { return m_stream.sync(); }

// --- files --------------------------------------------------------------------

namespace {

template <class Value>
bool writeFile(const std::filesystem::path& path, const Value& value, const XMLSerializer::Format& format) {
    Kor::StackTracker::Frame frame("orv::writeXmlFile");
    std::filesystem::path temporary = path;
    temporary += ".saving";
    bool written;
    {
        tavi::FileStream file(temporary, tavi::FileStream::Mode::WRITE);
        if (!file.isOpen()) {
            Kor::errorMessage("orv::writeXmlFile: %s", file.errorText().c_str());
            return false;
        }
        XMLSerializer serializer(file);
        serializer.setFormat(format);
        written = serializer.serialize(value) && serializer.sync() && file.close();
        if (!written)
            Kor::errorMessage("orv::writeXmlFile: cannot write '%s'%s%s", path.c_str(),
                              file.errorText().empty() ? "" : ": ", file.errorText().c_str());
    }
    std::error_code error;
    if (written) {
        std::filesystem::rename(temporary, path, error);
        if (!error)
            return true;
        Kor::errorMessage("orv::writeXmlFile: cannot replace '%s': %s", path.c_str(),
                          error.message().c_str());
    }
    std::filesystem::remove(temporary, error);
    return false;
}

template <class Target>
bool readFile(const std::filesystem::path& path, Target& target, const XMLSerializer::Format& format) {
    Kor::StackTracker::Frame frame("orv::readXmlFile");
    tavi::FileStream file(path, tavi::FileStream::Mode::READ);
    if (!file.isOpen()) {
        Kor::errorMessage("orv::readXmlFile: %s", file.errorText().c_str());
        return false;
    }
    XMLSerializer serializer(file);
    serializer.setFormat(format);
    if (serializer.deserialize(target))
        return true;
    Kor::errorMessage("orv::readXmlFile: cannot read '%s': %s", path.c_str(), serializer.lastError().c_str());
    return false;
}

} // namespace

bool writeXmlFile(const std::filesystem::path& path, const tavi::Variant& value,
                  const XMLSerializer::Format& format) {
    return writeFile(path, value, format);
}

bool writeXmlFile(const std::filesystem::path& path, const BoundProperty& property,
                  const XMLSerializer::Format& format) {
    return writeFile(path, property, format);
}

bool readXmlFile(const std::filesystem::path& path, tavi::Variant& value,
                 const XMLSerializer::Format& format) {
    return readFile(path, value, format);
}

bool readXmlFile(const std::filesystem::path& path, const BoundProperty& property,
                 const XMLSerializer::Format& format) {
    return readFile(path, property, format);
}

} // namespace orv
