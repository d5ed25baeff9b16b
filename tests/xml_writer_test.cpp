// The XML text, character by character. Every expected document below is
// written out by hand from the format: tags, attribute order, indentation,
// padding and escapes.

#include "platform/variant/memory_stream.hpp"
#include "platform/variant/meta_type.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/keyed_list.hpp"
#include "tests/support/xml_scene.hpp"
#include "tests/support/xml_text.hpp"

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

// Collections declared with the builder (values of any type, and strings)
// and one of its own.
struct Inventory {
    int slots = 8;
    orv::test::KeyedList list;
    std::vector<tavi::Variant> values{3, 4.5f, std::string("a b")};
    std::vector<std::string> names{"sword", "<shield>"};
};

} // namespace writer_test

template <>
struct orv::TypeDeclaration<writer_test::Inventory> {
    static constexpr const char* name = "Inventory";
    static void declare(orv::Builder<writer_test::Inventory>& type) {
        type.property("slots", &writer_test::Inventory::slots)
            .object("list", &writer_test::Inventory::list)
            .collection("values", &writer_test::Inventory::values)
            .collection("names", &writer_test::Inventory::names);
    }
};

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

using orv::XMLSerializer;
using Format = XMLSerializer::Format;
using xml_scene::Sample;

using orv::test::written;

const Format unformatted{Format::Unformatted()};

// Checks the default layout against `golden` and the one-line layout against
// the same text without its line breaks, indentation and padding (no golden
// text holds a tab or newline of its own).
void expectWritten(const tavi::Variant& value, const std::string& golden) {
    EXPECT_EQ(written(value), golden);
    std::string oneLine = golden;
    std::erase_if(oneLine, [](char c) { return c == '\n' || c == '\t'; });
    EXPECT_EQ(written(value, unformatted), oneLine);
}

TEST(XmlWriterGolden, RegisteredTypeWithPrimitivesAndANestedObject) {
    Sample sample;
    expectWritten(tavi::Variant(&sample),
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

TEST(XmlWriterGolden, ValueAndPropertyDocuments) {
    Sample sample;
    writer_test::Awkward awkward;
    const orv::ReflectedObject object = orv::reflect(sample);
    const std::pair<std::string, const char*> documents[] = {
        // An empty value closes its element at once and keeps the newline.
        {written(tavi::Variant()), "<root/>\n"},
        {written(orv::reflect(awkward).findPropertyByName("nothing")), "<root/>\n"},
        {written(tavi::Variant(3)), "<root type=\"int\">\t3\t</root>\n"},
        {written(tavi::Variant(std::string())), "<root type=\"string\">\t\"\"\t</root>\n"},
        {written(tavi::Variant(-0.0)), "<root type=\"double\">\t-0\t</root>\n"},
        // A container held by value is a value: named by its meta type, not
        // by the collection meta object that reflects such containers.
        {written(tavi::Variant(std::vector<tavi::Variant>{1, std::string("a")})),
         "<root type=\"VariantVector\">\t[int(1), string(\"a\")]\t</root>\n"},
        {written(tavi::Variant(std::vector<std::string>{"b"})),
         "<root type=\"StringVector\">\t[\"b\"]\t</root>\n"},
        // A primitive property names its type; an object held by a property
        // of a declared type does not.
        {written(object.findPropertyByName("x")), "<root type=\"float\">\t1.5\t</root>\n"},
        {written(object.findPropertyByName("color")),
         "<root>\n"
         "\t<property name=\"r\" type=\"float\">\t0.5\t</property>\n"
         "\t<property name=\"g\" type=\"float\">\t0.25\t</property>\n"
         "\t<property name=\"b\" type=\"float\">\t1\t</property>\n"
         "</root>\n"},
    };
    for (const auto& [text, golden] : documents)
        EXPECT_EQ(text, golden);
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

using orv::test::KeyedList;
using orv::test::KeyedListMetaObject;

TEST(XmlWriterGolden, CollectionsInAnObject) {
    writer_test::Inventory inventory;
    KeyedListMetaObject::add(inventory.list, 0, 3);
    KeyedListMetaObject::add(inventory.list, 1, 4);
    // Elements may hold anything: each names its type.
    expectWritten(tavi::Variant(&inventory),
                  "<root type=\"Inventory\">\n"
                  "\t<property name=\"slots\" type=\"int\">\t8\t</property>\n"
                  "\t<property name=\"list\">\n"
                  "\t\t<item type=\"int\">\t3\t</item>\n"
                  "\t\t<item type=\"int\">\t4\t</item>\n"
                  "\t</property>\n"
                  "\t<property name=\"values\">\n"
                  "\t\t<item type=\"int\">\t3\t</item>\n"
                  "\t\t<item type=\"float\">\t4.5\t</item>\n"
                  "\t\t<item type=\"string\">\t\"a b\"\t</item>\n"
                  "\t</property>\n"
                  "\t<property name=\"names\">\n"
                  "\t\t<item type=\"string\">\t\"sword\"\t</item>\n"
                  "\t\t<item type=\"string\">\t\"&lt;shield&gt;\"\t</item>\n"
                  "\t</property>\n"
                  "</root>\n");
    inventory.values.clear();
    EXPECT_EQ(written(orv::reflect(inventory).findPropertyByName("values")), "<root/>\n");
}

TEST(XmlWriterGolden, AGenericObjectNamesTheTypeOfEveryValue) {
    orv::GenericObject sheet;
    sheet.addProperty(std::string("speed"), orv::MetaObject::INVALID_INDEX, 2.5f);
    sheet.addProperty(std::string("label"), orv::MetaObject::INVALID_INDEX, std::string("camera"));
    sheet.addProperty(std::string("empty"));
    auto child = std::make_shared<orv::GenericObject>();
    child->addProperty(std::string("on"), orv::MetaObject::INVALID_INDEX, true);
    sheet.addProperty(std::string("child"), orv::MetaObject::INVALID_INDEX, tavi::Variant(child));
    auto color = std::make_shared<xml_scene::Color>();
    sheet.addProperty(std::string("color"), orv::MetaObject::INVALID_INDEX, tavi::Variant(color));
    expectWritten(tavi::Variant(&sheet),
                  "<root type=\"orv::GenericObject\">\n"
                  "\t<property name=\"speed\" type=\"float\">\t2.5\t</property>\n"
                  "\t<property name=\"label\" type=\"string\">\t\"camera\"\t</property>\n"
                  "\t<property name=\"empty\"/>\n"
                  "\t<property name=\"child\" type=\"orv::GenericObject\">\n"
                  "\t\t<property name=\"on\" type=\"bool\">\ttrue\t</property>\n"
                  "\t</property>\n"
                  "\t<property name=\"color\" type=\"Color\">\n"
                  "\t\t<property name=\"r\" type=\"float\">\t0.5\t</property>\n"
                  "\t\t<property name=\"g\" type=\"float\">\t0.25\t</property>\n"
                  "\t\t<property name=\"b\" type=\"float\">\t1\t</property>\n"
                  "\t</property>\n"
                  "</root>\n");
    // clear() publishes the object's volatility, a read-only property.
    child->clear();
    EXPECT_EQ(written(tavi::Variant(child.get()), unformatted),
              "<root type=\"orv::GenericObject\"><property name=\"_volatility\" type=\"int\">0</property>"
              "</root>");
}

TEST(XmlWriterGolden, KeysAppearWhereTheNumberingJumpsAndForWords) {
    KeyedList list;
    for (const int key : {0, 1, 5, 6})
        KeyedListMetaObject::add(list, key, key + 10);
    KeyedListMetaObject::add(list, std::string("alpha"), std::string("a"));
    KeyedListMetaObject::add(list, std::string("beta"), tavi::Variant());
    KeyedListMetaObject::add(list, 7, 1.5);
    EXPECT_EQ(written(tavi::Variant(&list)),
              "<root type=\"KeyedList\">\n"
              "\t<item type=\"int\">\t10\t</item>\n"
              "\t<item type=\"int\">\t11\t</item>\n"
              "\t<item key=\"5\" type=\"int\">\t15\t</item>\n"
              "\t<item type=\"int\">\t16\t</item>\n"
              "\t<item key=\"alpha\" type=\"string\">\t\"a\"\t</item>\n"
              "\t<item key=\"beta\" type=\"tavi::Variant\"/>\n"
              "\t<item key=\"7\" type=\"double\">\t1.5\t</item>\n"
              "</root>\n");
}

TEST(XmlWriterGolden, ObjectItemsNameTheirTypeWhenItChanges) {
    KeyedList list;
    KeyedListMetaObject::add(list, 0, std::make_shared<xml_scene::Color>());
    KeyedListMetaObject::add(list, 1, std::make_shared<xml_scene::Color>(xml_scene::Color{1, 2, 3}));
    KeyedListMetaObject::add(list, 2, 7);
    KeyedListMetaObject::add(list, 3, std::make_shared<xml_scene::Color>());
    EXPECT_EQ(
        written(tavi::Variant(&list), unformatted),
        "<root type=\"KeyedList\">"
        "<item type=\"Color\"><property name=\"r\" type=\"float\">0.5</property>"
        "<property name=\"g\" type=\"float\">0.25</property><property name=\"b\" type=\"float\">1</property>"
        "</item>"
        "<item><property name=\"r\" type=\"float\">1</property>"
        "<property name=\"g\" type=\"float\">2</property><property name=\"b\" type=\"float\">3</property>"
        "</item>"
        "<item type=\"int\">7</item>"
        "<item type=\"Color\"><property name=\"r\" type=\"float\">0.5</property>"
        "<property name=\"g\" type=\"float\">0.25</property><property name=\"b\" type=\"float\">1</property>"
        "</item>"
        "</root>");
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
