// The XML text, character by character. Every expected document below is
// written out by hand from the format: tags, attribute order, indentation,
// padding and escapes.

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/xml_scene.hpp"

#include <gtest/gtest.h>

#include <string>

namespace writer_test {

// Property names and text that need escaping.
struct Awkward {
    std::string text = "a<b>&\"c\" 'd'";
};

enum class Quiet { Off, On };

int g_getterCalls = 0;

// A value the text stream cannot write.
struct Opaque {
    int bits = 0;
};
struct HoldsOpaque {
    int before = 1;
    Opaque opaque;
    int after = 2;
};

} // namespace writer_test

template <>
struct orv::TypeDeclaration<writer_test::Awkward> {
    static void declare(orv::Builder<writer_test::Awkward>& type) {
        type.property("say \"hi\" & <bye>", &writer_test::Awkward::text)
            .property("nothing", [](const writer_test::Awkward*) { return tavi::Variant(); })
            .property("quiet", [](const writer_test::Awkward*) { return writer_test::Quiet::On; });
    }
};

template <>
struct orv::TypeDeclaration<writer_test::HoldsOpaque> {
    static void declare(orv::Builder<writer_test::HoldsOpaque>& type) {
        type.property("before", &writer_test::HoldsOpaque::before)
            .property("opaque", &writer_test::HoldsOpaque::opaque)
            .property("after", [](const writer_test::HoldsOpaque* h) {
                return ++writer_test::g_getterCalls, h->after;
            });
    }
};

namespace {

const orv::TypeRegistration<writer_test::Awkward, writer_test::HoldsOpaque> s_types;

using orv::XMLSerializer;
using Format = XMLSerializer::Format;
using xml_scene::Sample;

template <class Value>
std::string written(const Value& value, const Format& format = Format()) {
    std::string out;
    tavi::FixedMemoryStream memory(out);
    XMLSerializer serializer(memory);
    serializer.setFormat(format);
    EXPECT_TRUE(serializer.serialize(value));
    return out;
}

const Format unformatted{Format::Unformatted()};

TEST(XmlWriterGolden, RegisteredTypeWithPrimitivesAndANestedObject) {
    Sample sample;
    EXPECT_EQ(written(tavi::Variant(&sample)),
              "<root type=\"Sample\">\n"
              "\t<property name=\"x\" type=\"float\">\t1.5\t</property>\n"
              "\t<property name=\"count\" type=\"int\">\t3\t</property>\n"
              "\t<property name=\"visible\" type=\"bool\">\ttrue\t</property>\n"
              "\t<property name=\"name\" type=\"string\">\t\"lamp\"\t</property>\n"
              "\t<property name=\"weight\" type=\"double\">\t0.1\t</property>\n"
              "\t<property name=\"color\">\n"
              "\t\t<property name=\"r\" type=\"float\">\t0.5\t</property>\n"
              "\t\t<property name=\"g\" type=\"float\">\t0.25\t</property>\n"
              "\t\t<property name=\"b\" type=\"float\">\t1\t</property>\n"
              "\t</property>\n"
              "</root>\n");
}

TEST(XmlWriterGolden, UnformattedIsOneLine) {
    Sample sample;
    EXPECT_EQ(written(tavi::Variant(&sample), unformatted),
              "<root type=\"Sample\">"
              "<property name=\"x\" type=\"float\">1.5</property>"
              "<property name=\"count\" type=\"int\">3</property>"
              "<property name=\"visible\" type=\"bool\">true</property>"
              "<property name=\"name\" type=\"string\">\"lamp\"</property>"
              "<property name=\"weight\" type=\"double\">0.1</property>"
              "<property name=\"color\">"
              "<property name=\"r\" type=\"float\">0.5</property>"
              "<property name=\"g\" type=\"float\">0.25</property>"
              "<property name=\"b\" type=\"float\">1</property>"
              "</property>"
              "</root>");
}

TEST(XmlWriterGolden, MarkupInNamesAndTextIsEscaped) {
    tavi::MetaType::registerType<writer_test::Quiet>("Quiet", tavi::MetaType::NO_TYPE_NAME_IN_XML);
    writer_test::Awkward awkward;
    // Attribute values escape quotes; element text leaves them to the
    // string's own quoting. An empty value closes its element at once; a
    // type that keeps its name out of documents has no type attribute.
    EXPECT_EQ(written(tavi::Variant(&awkward), unformatted),
              "<root type=\"writer_test::Awkward\">"
              "<property name=\"say &quot;hi&quot; &amp; &lt;bye&gt;\" type=\"string\">"
              "\"a&lt;b&gt;&amp;\\\"c\\\" 'd'\"</property>"
              "<property name=\"nothing\"/>"
              "<property name=\"quiet\">1</property>"
              "</root>");
}

TEST(XmlWriterGolden, EmptyPropertySelfClosesAndKeepsTheNewline) {
    writer_test::Awkward awkward;
    const orv::ReflectedObject object = orv::reflect(awkward);
    EXPECT_EQ(written(object.findPropertyByName("nothing")), "<root/>\n");
    EXPECT_EQ(written(tavi::Variant()), "<root/>\n");
}

TEST(XmlWriterGolden, PrimitiveRootsCarryTheirType) {
    EXPECT_EQ(written(tavi::Variant(3)), "<root type=\"int\">\t3\t</root>\n");
    EXPECT_EQ(written(tavi::Variant(std::string())), "<root type=\"string\">\t\"\"\t</root>\n");
    EXPECT_EQ(written(tavi::Variant(-0.0)), "<root type=\"double\">\t-0\t</root>\n");
}

TEST(XmlWriterGolden, PropertyDocuments) {
    Sample sample;
    const orv::ReflectedObject object = orv::reflect(sample);
    // A primitive property names its type; an object held by a property of a
    // declared type does not.
    EXPECT_EQ(written(object.findPropertyByName("x")), "<root type=\"float\">\t1.5\t</root>\n");
    EXPECT_EQ(written(object.findPropertyByName("color")),
              "<root>\n"
              "\t<property name=\"r\" type=\"float\">\t0.5\t</property>\n"
              "\t<property name=\"g\" type=\"float\">\t0.25\t</property>\n"
              "\t<property name=\"b\" type=\"float\">\t1\t</property>\n"
              "</root>\n");
}

TEST(XmlWriterGolden, InitialDepthAndOwnNames) {
    Sample sample;
    Format format;
    format.initialDepth = 2;
    format.indent = "  ";
    format.valuePadding = " ";
    format.newline = "\r\n";
    format.rootTag = "scene";
    format.propertyTag = "p";
    format.nameAttribute = "n";
    format.typeAttribute = "t";
    EXPECT_EQ(written(orv::reflect(sample).findPropertyByName("color"), format),
              "    <scene>\r\n"
              "      <p n=\"r\" t=\"float\"> 0.5 </p>\r\n"
              "      <p n=\"g\" t=\"float\"> 0.25 </p>\r\n"
              "      <p n=\"b\" t=\"float\"> 1 </p>\r\n"
              "    </scene>\r\n");
}

TEST(XmlWriter, SeveralDocumentsFollowEachOtherOnOneStream) {
    std::string out;
    tavi::FixedMemoryStream memory(out);
    XMLSerializer serializer(memory);
    serializer.setFormat(unformatted);
    EXPECT_TRUE(serializer.serialize(tavi::Variant(1)));
    EXPECT_TRUE(serializer.serialize(tavi::Variant(true)));
    EXPECT_TRUE(serializer.sync());
    EXPECT_EQ(out, "<root type=\"int\">1</root><root type=\"bool\">true</root>");
}

TEST(XmlWriter, AFullSinkFailsTheDocument) {
    Sample sample;
    char buffer[40];
    tavi::FixedMemoryStream memory(buffer, sizeof buffer);
    XMLSerializer serializer(memory);
    EXPECT_FALSE(serializer.serialize(tavi::Variant(&sample)));
    EXPECT_EQ(std::string(buffer, memory.size()), "<root type=\"Sample\">\n\t<property name=\"x\"");
    // The stream stays failed: later documents are refused too.
    EXPECT_FALSE(serializer.serialize(tavi::Variant(1)));
}

TEST(XmlWriter, AValueWithoutTextFormFailsTheDocumentAndStopsReadingProperties) {
    writer_test::HoldsOpaque holds;
    std::string out;
    tavi::FixedMemoryStream memory(out);
    XMLSerializer serializer(memory);
    serializer.setFormat(unformatted);
    writer_test::g_getterCalls = 0;
    EXPECT_FALSE(serializer.serialize(tavi::Variant(&holds)));
    EXPECT_EQ(writer_test::g_getterCalls, 0); // "after" is never read
    // The text up to the failure is all there is.
    EXPECT_EQ(out,
              "<root type=\"writer_test::HoldsOpaque\"><property name=\"before\" type=\"int\">1</property>"
              "<property name=\"opaque\" type=\"writer_test::Opaque\">");
}

} // namespace
