// Reading documents back: what the writer wrote, what people write by hand,
// every way a document can fail to fit its target, and documents made to
// break the reader.

#include "shared_libs/reflection/serialization/xml_reader.hpp"
#include "platform/corekit/diagnostics.hpp"
#include "platform/kor/undo/commit_changes_scope.hpp"
#include "platform/kor/undo/undo_history.hpp"
#include "platform/variant/file_stream.hpp"
#include "platform/variant/memory_stream.hpp"
#include "shared_libs/reflection/bound_property.hpp"
#include "shared_libs/reflection/generic_object.hpp"
#include "shared_libs/reflection/serialization/xml_serializer.hpp"
#include "shared_libs/reflection/static_meta_object.hpp"
#include "tests/support/keyed_list.hpp"
#include "tests/support/temp_folder.hpp"
#include "tests/support/xml_scene.hpp"
#include "tests/support/xml_text.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace reader_test {

// Slots that cannot own what a document asks to create.
struct Inventory {
    std::vector<xml_scene::Color*> colors;
    xml_scene::Color* favourite = nullptr;
};

} // namespace reader_test

template <>
struct orv::TypeDeclaration<reader_test::Inventory> {
    static constexpr const char* name = "ReaderInventory";
    static void declare(orv::Builder<reader_test::Inventory>& type) {
        using I = reader_test::Inventory;
        type.collection("colors", &I::colors).property("favourite", &I::favourite);
    }
};

namespace {

using orv::XMLSerializer;
using Format = XMLSerializer::Format;
using xml_scene::Color;
using xml_scene::Sample;

struct Outcome {
    bool read = false;
    std::string error;
};

template <class Target>
Outcome readInto(std::string_view text, Target&& target, const Format& format = Format()) {
    tavi::FixedMemoryStream memory(text);
    XMLSerializer serializer(memory);
    serializer.setFormat(format);
    Outcome outcome;
    outcome.read = serializer.deserialize(target);
    outcome.error = serializer.lastError();
    return outcome;
}

using orv::test::written;

void expectFails(const Outcome& outcome, const char* message) {
    EXPECT_FALSE(outcome.read);
    EXPECT_NE(outcome.error.find(message), std::string::npos) << outcome.error;
}

Sample edited() {
    Sample sample;
    sample.x = -2.25f;
    sample.count = -7;
    sample.visible = false;
    sample.name = "two words\n\t<&>\"'\r";
    sample.weight = 1e300;
    sample.color.g = 0.125f;
    return sample;
}

// --- reading what was written -----------------------------------------------------

TEST(XmlReader, AnEditorsHandleWritesAndReadsTheSameDocument) {
    const Sample original = edited();
    Sample copy;
    const orv::ReflectedObject source = orv::reflect(const_cast<Sample&>(original));
    const orv::ReflectedObject target = orv::reflect(copy);
    const std::string text = written(source);
    EXPECT_EQ(text, written(tavi::Variant(&original)));
    for (int pass = 0; pass < 2; ++pass) { // the second pass finds the contexts the first left
        copy = Sample();
        EXPECT_TRUE(readInto(text, target).read);
        EXPECT_EQ(copy, original);
        EXPECT_EQ(written(source), text);
    }
    expectFails(readInto("<root type=\"Color\"/>", target), "Object type mismatch");
}

TEST(XmlReader, ReadsIntoABoundProperty) {
    Sample sample;
    const orv::ReflectedObject object = orv::reflect(sample);
    EXPECT_TRUE(readInto("<root type=\"float\">3.25</root>", object.findPropertyByName("x")).read);
    EXPECT_EQ(sample.x, 3.25f);
    EXPECT_TRUE(
        readInto("<root><property name=\"g\">0.75</property></root>", object.findPropertyByName("color"))
            .read);
    EXPECT_EQ(sample.color, (Color{0.5f, 0.75f, 1}));
}

TEST(XmlReader, IgnoresStrayTextUnknownElementsAndWhatFollowsTheDocument) {
    Sample sample;
    const Outcome outcome = readInto(
        "<root type=\"Sample\">stray text\n"
        "  <property name=\"x\">  2.5\n</property> trailing text\n"
        "  <unknown a=\"1\"><property name=\"x\" type=\"float\">9</property><deeper><x/></deeper></unknown>\n"
        "  <property name=\"nosuch\" type=\"float\"><property name=\"x\">7</property></property>\n"
        "  <property name=\"twice\">3</property>\n"
        "  <property name=\"color\">ignored<property name=\"b\">0</property>ignored too</property>\n"
        "  <property name=\"count\">4</property>\n"
        "  <property name=\"name\"/><property name=\"weight\"></property>\n" // no text: left alone
        "</root>\n"
        "<after/> & < not even XML",
        tavi::Variant(&sample));
    EXPECT_TRUE(outcome.read) << outcome.error;
    EXPECT_EQ(outcome.error, "");
    EXPECT_EQ(sample.x, 2.5f);
    EXPECT_EQ(sample.count, 4);
    EXPECT_EQ(sample.color.b, 0.0f);
    EXPECT_EQ(sample.name, "lamp");
    EXPECT_EQ(sample.weight, 0.1);
}

TEST(XmlReader, AVoidTargetBecomesWhatTheDocumentNamesAValueStaysItsOwnType) {
    tavi::Variant object;
    EXPECT_TRUE(readInto("<root type=\"Sample\"><property name=\"count\">5</property></root>", object).read);
    ASSERT_NE(object.castPtr<Sample>(), nullptr);
    EXPECT_EQ(object.castPtr<Sample>()->count, 5);
    EXPECT_EQ(object.castPtr<Sample>()->name, "lamp");

    const struct {
        tavi::Variant target;
        const char* document;
        tavi::Variant read;
    } values[] = {
        {tavi::Variant(), "<root type=\"double\">\t2.5\t</root>", 2.5},
        {tavi::Variant(), "<root type=\"string\">\"&lt;a&gt; b\"</root>", std::string("<a> b")},
        {1, "<root>7</root>", 7},
        {1, "<root type=\"int\">8</root>", 8},
    };
    for (const auto& [target, document, read] : values) {
        SCOPED_TRACE(document);
        tavi::Variant value = target;
        EXPECT_TRUE(readInto(document, value).read);
        EXPECT_EQ(value, read);
    }
}

TEST(XmlReader, ListenersHearOfTheChangesWhenTheDocumentIsDone) {
    Sample sample;
    const orv::ReflectedObject object = orv::reflect(sample);
    std::vector<std::string> heard;
    zel::ScopedConnection x = object.findPropertyByName("x").connectPropertyChanged(
        [&](const orv::BoundProperty&) { heard.push_back("x, count is " + std::to_string(sample.count)); });
    zel::ScopedConnection count = object.findPropertyByName("count").connectPropertyChanged(
        [&](const orv::BoundProperty&) { heard.push_back("count"); });
    EXPECT_TRUE(readInto("<root><property name=\"x\">2</property><property name=\"count\">9</property>"
                         "<property name=\"x\">4</property></root>",
                         tavi::Variant(&sample))
                    .read);
    // One delivery per property, last announced first, after the last write.
    EXPECT_EQ(heard, (std::vector<std::string>{"count", "x, count is 9"}));
    EXPECT_EQ(sample.x, 4.0f);
}

// --- collections ------------------------------------------------------------------

using orv::test::KeyedList;
using orv::test::KeyedListMetaObject;

// "key = value" for every element, in order.
std::vector<std::string> contents(KeyedList& list) {
    std::vector<std::string> out;
    for (const orv::BoundProperty& item : orv::ReflectedObject(tavi::Variant(&list)).properties()) {
        const tavi::Variant value = item.get();
        std::string text;
        out.push_back(item.name() + " = " +
                      (value.isVoid()        ? "void"
                       : value.tryCast(text) ? value.typeName() + std::string(" ") + text
                                             : value.typeName()));
    }
    return out;
}

TEST(XmlReaderCollection, ReadingReplacesTheItemsAndKeysContinueTheRunningIndex) {
    KeyedList list;
    KeyedListMetaObject::add(list, std::string("old"), 1);
    EXPECT_TRUE(readInto("<root type=\"KeyedList\">"
                         "<item type=\"int\">1</item>"
                         "<item>2</item>"
                         "<item key=\"5\" type=\"double\">2.5</item>"
                         "<item type=\"string\">\"six\"</item>"
                         "<item key=\"alpha\">\"a\"</item>"
                         "<item/>"
                         "<item keyType=\"int\" key=\"012\" type=\"bool\">true</item>"
                         "<item>0</item>"
                         "<other><item>9</item></other>"
                         "</root>",
                         tavi::Variant(&list))
                    .read);
    // An item without a type has the type of the item before it; a word as
    // key leaves the running index where it was.
    EXPECT_EQ(contents(list), (std::vector<std::string>{"0 = int 1", "1 = int 2", "5 = double 2.5",
                                                        "6 = string six", "alpha = string a", "8 = void",
                                                        "12 = bool true", "13 = bool false"}));
}

// Found by the fuzzer: a running index and a key attribute that name the
// same element make one element, so what is read writes and reads back to
// the same text.
TEST(XmlReaderCollection, ARunningIndexAndAKeyNamingOneElementAreOne) {
    KeyedList list;
    const std::string document =
        "<root><item type=\"int\">1</item><item key=\"0\" type=\"int\">2</item><item>3</item></root>";
    EXPECT_TRUE(readInto(document, tavi::Variant(&list)).read);
    EXPECT_EQ(contents(list), (std::vector<std::string>{"0 = int 2", "1 = int 3"}));
    const std::string text = written(tavi::Variant(&list));
    KeyedList again;
    EXPECT_TRUE(readInto(text, tavi::Variant(&again)).read);
    EXPECT_EQ(written(tavi::Variant(&again)), text);
}

TEST(XmlReaderCollection, ObjectItemsAreCreatedFromTheTypeTheyOrTheirPredecessorsName) {
    KeyedList list;
    const Outcome outcome = readInto(
        "<root><item type=\"Color\"><property name=\"r\">0</property></item>"
        "<item><property name=\"g\">1</property></item></root>",
        tavi::Variant(&list));
    EXPECT_TRUE(outcome.read) << outcome.error;
    ASSERT_EQ(list.items.size(), 2u);
    ASSERT_NE(list.items[0].value.castPtr<Color>(), nullptr);
    ASSERT_NE(list.items[1].value.castPtr<Color>(), nullptr);
    EXPECT_EQ(*list.items[0].value.castPtr<Color>(), (Color{0, 0.25f, 1}));
    EXPECT_EQ(*list.items[1].value.castPtr<Color>(), (Color{0.5f, 1, 1}));
}

TEST(XmlReaderCollection, KeysThatDoNotFitAndCollectionsThatRefuse) {
    Kor::MessageCapture capture;
    const std::pair<const char*, const char*> failures[] = {
        {"<root><item type=\"int\">1</item><item keyType=\"NoSuchType\" key=\"1\">2</item></root>",
         "Key type not found"},
        {"<root><item type=\"int\">1</item><item keyType=\"int\" key=\"one\">2</item></root>",
         "Failed to convert key"},
    };
    for (const auto& [document, message] : failures) {
        KeyedList list;
        expectFails(readInto(document, tavi::Variant(&list)), message);
        EXPECT_EQ(contents(list), (std::vector<std::string>{"0 = int 1"})) << document;
    }
    // The first item was read; the collection had been emptied before.
    KeyedList frozen;
    KeyedListMetaObject::add(frozen, 0, 1);
    frozen.frozen = true;
    expectFails(readInto("<root><item>1</item></root>", tavi::Variant(&frozen)),
                "Failed to find/insert property");
    EXPECT_TRUE(frozen.items.empty());
}

TEST(XmlReaderCollection, GenericObjectsReadBackIntoNewOnes) {
    {
        // Before any generic object exists, a document can make one.
        tavi::Variant first;
        EXPECT_TRUE(
            readInto("<root type=\"orv::GenericObject\"><property name=\"n\" type=\"int\">1</property>"
                     "</root>",
                     first)
                .read);
        ASSERT_NE(first.castPtr<orv::GenericObject>(), nullptr);
        EXPECT_EQ(first.castPtr<orv::GenericObject>()->findProperty(std::string("n")).get(),
                  tavi::Variant(1));
    }

    orv::GenericObject sheet;
    sheet.addProperty(std::string("speed"), orv::MetaObject::INVALID_INDEX, 2.5f);
    // Every kind of vector goes by one name: read back, it is a vector of
    // Variants holding what the items name.
    sheet.addProperty(
        std::string("tags"), orv::MetaObject::INVALID_INDEX,
        tavi::Variant(std::make_shared<std::vector<std::string>>(std::vector<std::string>{"x", "y"})));
    const std::string text = written(tavi::Variant(&sheet));
    tavi::Variant copy;
    for (int pass = 0; pass < 2;
         ++pass) { // the second into the same object: every property found, none added
        EXPECT_TRUE(readInto(text, copy).read);
        ASSERT_NE(copy.castPtr<orv::GenericObject>(), nullptr);
        EXPECT_EQ(copy.castPtr<orv::GenericObject>()->propertyCount(), 2u);
        EXPECT_EQ(written(copy), text);
    }
    const tavi::Variant tags = copy.castPtr<orv::GenericObject>()->findProperty(std::string("tags")).get();
    ASSERT_NE(tags.castPtr<std::vector<tavi::Variant>>(), nullptr);
    EXPECT_EQ(*tags.castPtr<std::vector<tavi::Variant>>(),
              (std::vector<tavi::Variant>{std::string("x"), std::string("y")}));
}

TEST(XmlReaderCollection, AKeyWithDotsIsOneKeyBeforeItIsAPath) {
    orv::GenericObject sheet;
    auto a = std::make_shared<orv::GenericObject>();
    a->addProperty(std::string("b"), orv::MetaObject::INVALID_INDEX, 1);
    sheet.addProperty(std::string("a"), orv::MetaObject::INVALID_INDEX, tavi::Variant(a));
    sheet.addProperty(std::string("a.b"), orv::MetaObject::INVALID_INDEX, 2);
    const std::string text = written(tavi::Variant(&sheet));
    EXPECT_TRUE(readInto(text, tavi::Variant(&sheet)).read);
    EXPECT_EQ(a->findProperty(std::string("b")).get(), tavi::Variant(1));
    EXPECT_EQ(sheet.findProperty(std::string("a.b")).get(), tavi::Variant(2));
    // Without such a key, the path reaches into the objects held.
    sheet.removeProperty(std::string("a.b"));
    EXPECT_TRUE(readInto("<root><property name=\"a.b\">9</property></root>", tavi::Variant(&sheet)).read);
    EXPECT_EQ(a->findProperty(std::string("b")).get(), tavi::Variant(9));
    EXPECT_EQ(sheet.propertyCount(), 1u);
}

TEST(XmlReaderCollection, ARawPointerCannotOwnWhatTheDocumentCreates) {
    Kor::MessageCapture capture;
    reader_test::Inventory inventory;
    // A vector of pointers and a pointer member keep no object alive: the
    // document's Color has nowhere to live.
    expectFails(
        readInto("<root><property name=\"colors\"><item type=\"Color\"><property name=\"r\">1</property>"
                 "</item></property></root>",
                 tavi::Variant(&inventory)),
        "Unexpected nested elements for primitive type");
    EXPECT_EQ(inventory.colors, std::vector<xml_scene::Color*>{nullptr});

    EXPECT_FALSE(
        readInto("<root><property name=\"favourite\" type=\"Color\"><property name=\"r\">1</property>"
                 "</property></root>",
                 tavi::Variant(&inventory))
            .read);
    EXPECT_EQ(inventory.favourite, nullptr);

    // One that exists is filled in place.
    Color color;
    inventory.favourite = &color;
    EXPECT_TRUE(readInto("<root><property name=\"favourite\" type=\"Color\"><property name=\"r\">1</property>"
                         "</property></root>",
                         tavi::Variant(&inventory))
                    .read);
    EXPECT_EQ(inventory.favourite, &color);
    EXPECT_EQ(color.r, 1.0f);
}

// --- the failure table ------------------------------------------------------------

struct Failure {
    const char* message;
    std::string document;
};

TEST(XmlReaderFailure, EachMessageStopsTheReadAndKeepsWhatWasReadBefore) {
    const std::vector<Failure> failures = {
        {"Unexpected nested elements for primitive type",
         "<root><property name=\"x\">1.25</property><property name=\"count\">9<b/></property></root>"},
        {"Missing object property name",
         "<root><property name=\"x\">1.25</property><property type=\"int\">4</property></root>"},
        {"Failed to deserialize primitive value",
         "<root><property name=\"x\">1.25</property><property name=\"count\">four</property>"
         "<property name=\"weight\">3</property></root>"},
        {"Failed to deserialize primitive value",
         "<root><property name=\"x\">1.25</property><property name=\"count\">4 5</property></root>"},
        {"Failed to deserialize primitive value",
         "<root><property name=\"x\">1.25</property><property name=\"color\">0x1234</property></root>"},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.document);
        Kor::MessageCapture capture;
        Sample sample;
        expectFails(readInto(failure.document, tavi::Variant(&sample)), failure.message);
        EXPECT_TRUE(capture.contains(failure.message));
        EXPECT_EQ(sample.x, 1.25f);
        EXPECT_EQ(sample.count, 3);
        EXPECT_EQ(sample.weight, 0.1);
    }
}

TEST(XmlReaderFailure, TypesThatDoNotFitTheTargetOrThatAVoidTargetCannotBecome) {
    Kor::MessageCapture capture;
    Sample sample;
    EXPECT_EQ(
        readInto("<root type=\"Color\"><property name=\"x\">2</property></root>", tavi::Variant(&sample))
            .error,
        "line 1, column 1: Object type mismatch");
    EXPECT_EQ(sample.x, 1.5f);

    const orv::BoundProperty x = orv::reflect(sample).findPropertyByName("x");
    expectFails(readInto("<root type=\"string\">\"a\"</root>", x), "Property type mismatch");
    expectFails(readInto("<root type=\"Sample\">2</root>", x), "Property type mismatch");
    EXPECT_EQ(sample.x, 1.5f);

    tavi::Variant value(5);
    expectFails(readInto("<root type=\"float\">1</root>", value), "Value type mismatch");
    EXPECT_EQ(value, tavi::Variant(5));

    const std::pair<const char*, const char*> voids[] = {
        {"<root type=\"Shape\"/>", "Can't instantiate object"},
        {"<root type=\"NoSuchType\">1</root>", "Unknown type"},
        {"<root>1</root>", "Failed to deserialize primitive value"},
    };
    for (const auto& [document, message] : voids) {
        tavi::Variant target;
        expectFails(readInto(document, target), message);
        EXPECT_TRUE(target.isVoid()) << document;
    }
}

TEST(XmlReaderFailure, AFailedReadInsideAnUndoTransactionIsTakenBackByOneUndo) {
    Kor::MessageCapture capture;
    Kor::UndoHistory history;
    const Kor::UndoHistory::ThreadAttachment attachment(history);
    Sample sample;
    {
        Kor::CommitChangesScope load("Load scene");
        EXPECT_FALSE(readInto("<root type=\"Sample\"><property name=\"x\">8</property>"
                              "<property name=\"color\"><property name=\"r\">0</property></property>"
                              "<property name=\"name\">\"half\"</property>"
                              "<property name=\"count\">oops</property></root>",
                              tavi::Variant(&sample))
                         .read);
    }
    EXPECT_EQ(sample.x, 8.0f);
    EXPECT_EQ(sample.name, "half");
    EXPECT_EQ(sample.color.r, 0.0f);
    ASSERT_EQ(history.undoCount(), 1u);
    EXPECT_EQ(history.undoName(), "Load scene");
    EXPECT_TRUE(history.undo());
    EXPECT_EQ(sample, Sample());
}

// --- hostile documents --------------------------------------------------------------

TEST(XmlReaderHostile, EveryTruncationOfADocumentFailsCleanly) {
    const Sample original = edited();
    for (const Format& format : {Format(), Format(Format::Unformatted())}) {
        const std::string document = written(tavi::Variant(&original), format);
        const size_t complete = document.rfind("</root>") + 7;
        Kor::MessageCapture capture;
        for (size_t length = 0; length <= document.size(); ++length) {
            SCOPED_TRACE(length);
            Sample sample;
            tavi::Variant target;
            EXPECT_EQ(
                readInto(std::string_view(document).substr(0, length), tavi::Variant(&sample), format).read,
                length >= complete);
            EXPECT_EQ(readInto(std::string_view(document).substr(0, length), target, format).read,
                      length >= complete);
        }
    }
}

std::string repeated(std::string_view text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST(XmlReaderHostile, TenThousandNestedElements) {
    Kor::MessageCapture capture;
    Sample sample;
    // Skipped as a whole, however deep.
    EXPECT_TRUE(readInto("<root>" + repeated("<a>", 10000) + repeated("</a>", 10000) +
                             "<property name=\"count\">6</property></root>",
                         tavi::Variant(&sample))
                    .read);
    EXPECT_EQ(sample.count, 6);
    // Nested where a value is expected: stopped at the first level.
    EXPECT_FALSE(readInto("<root><property name=\"count\">" + repeated("<property name=\"count\">", 10000) +
                              repeated("</property>", 10001) + "</root>",
                          tavi::Variant(&sample))
                     .read);
    // Unbalanced: the parser reports the document as damaged.
    EXPECT_FALSE(readInto("<root>" + repeated("<a>", 10000), tavi::Variant(&sample)).read);
}

TEST(XmlReaderHostile, ValuesNestDeepAsTheLimitAndNoDeeper) {
    Kor::MessageCapture capture;
    const auto nested = [](size_t depth) {
        return "<root>" + repeated("<item type=\"KeyedList\">", depth) + repeated("</item>", depth) +
               "</root>";
    };
    // The document element is one level: lists nested MAX_DEPTH - 1 deep fit.
    const size_t fits = orv::XMLReader::MAX_DEPTH - 1;
    orv::test::KeyedList list;
    EXPECT_TRUE(readInto(nested(fits), tavi::Variant(&list)).read);
    size_t depth = 0;
    for (const orv::test::KeyedList* level = &list; !level->items.empty(); ++depth)
        level = level->items.front().value.castPtr<orv::test::KeyedList>();
    EXPECT_EQ(depth, fits);
    EXPECT_EQ(written(tavi::Variant(&list), Format(Format::Unformatted())),
              "<root type=\"KeyedList\">" + repeated("<item type=\"KeyedList\">", fits - 1) +
                  "<item type=\"KeyedList\"/>" + repeated("</item>", fits - 1) + "</root>");

    for (const size_t tooDeep : {fits + 1, size_t(10000)}) {
        orv::test::KeyedList deep;
        expectFails(readInto(nested(tooDeep), tavi::Variant(&deep)), "Document nested too deeply");
    }
}

TEST(XmlReaderHostile, EntityExpansionIsRefused) {
    Kor::MessageCapture capture;
    std::string document = "<?xml version=\"1.0\"?>\n<!DOCTYPE root [\n<!ENTITY e0 \"ha\">\n";
    for (int i = 1; i < 12; ++i)
        document += "<!ENTITY e" + std::to_string(i) + " \"" +
                    repeated("&e" + std::to_string(i - 1) + ";", 10) + "\">\n";
    document += "]>\n<root type=\"string\">\"&e11;\"</root>";
    tavi::Variant target;
    const Outcome outcome = readInto(document, target);
    EXPECT_FALSE(outcome.read);
    EXPECT_TRUE(target.isVoid());

    // Small, legitimate entities are fine.
    tavi::Variant small;
    EXPECT_TRUE(
        readInto("<!DOCTYPE root [<!ENTITY who \"world\">]><root type=\"string\">\"hello &who;\"</root>",
                 small)
            .read);
    EXPECT_EQ(small, tavi::Variant(std::string("hello world")));
}

TEST(XmlReaderHostile, InvalidUtf8IsADamagedDocument) {
    Kor::MessageCapture capture;
    for (const char* bytes : {"\xff", "\xc0\xaf", "\xed\xa0\x80", "caf\xe9"}) {
        Sample sample;
        const Outcome outcome = readInto(std::string("<root><property name=\"count\">5</property>"
                                                     "<property name=\"name\">\"") +
                                             bytes + "\"</property></root>",
                                         tavi::Variant(&sample));
        EXPECT_FALSE(outcome.read);
        EXPECT_NE(outcome.error.find("line 1"), std::string::npos) << outcome.error;
        EXPECT_EQ(sample.name, "lamp");
    }
}

TEST(XmlReaderHostile, TenMegabyteTextValue) {
    Kor::MessageCapture capture;
    const std::string big(10 * 1024 * 1024, 'x');
    Sample sample;
    EXPECT_TRUE(
        readInto("<root><property name=\"name\">\"" + big + "\"</property></root>", tavi::Variant(&sample))
            .read);
    EXPECT_EQ(sample.name.size(), big.size());
    EXPECT_FALSE(
        readInto("<root><property name=\"count\">" + big + "</property></root>", tavi::Variant(&sample))
            .read);
    EXPECT_EQ(sample.count, 3);
    tavi::Variant target;
    EXPECT_FALSE(readInto("<root type=\"" + big + "\"/>", target).read);
}

// --- files ------------------------------------------------------------------------

using XmlFiles = orv::test::TempFolderTest;

TEST_F(XmlFiles, OneCallToWriteAndOneToRead) {
    const Sample original = edited();
    const std::filesystem::path path = m_folder / "scene.xml";
    ASSERT_TRUE(orv::writeXmlFile(path, tavi::Variant(&original)));

    Sample copy;
    tavi::Variant target(&copy);
    ASSERT_TRUE(orv::readXmlFile(path, target));
    EXPECT_EQ(copy, original);

    tavi::Variant fresh;
    ASSERT_TRUE(orv::readXmlFile(path, fresh));
    ASSERT_NE(fresh.castPtr<Sample>(), nullptr);
    EXPECT_EQ(*fresh.castPtr<Sample>(), original);

    Sample other;
    ASSERT_TRUE(orv::writeXmlFile(m_folder / "x.xml", orv::reflect(copy).findPropertyByName("x")));
    ASSERT_TRUE(orv::readXmlFile(m_folder / "x.xml", orv::reflect(other).findPropertyByName("x")));
    EXPECT_EQ(other.x, -2.25f);
}

TEST_F(XmlFiles, AFailedSaveKeepsThePreviousFile) {
    const std::filesystem::path path = m_folder / "value.xml";
    ASSERT_TRUE(orv::writeXmlFile(path, tavi::Variant(42)));
    struct Opaque {
        int bits = 0;
    };
    Kor::MessageCapture capture;
    EXPECT_FALSE(orv::writeXmlFile(path, tavi::Variant(Opaque())));
    EXPECT_TRUE(capture.contains("cannot write"));
    tavi::Variant value(0);
    EXPECT_TRUE(orv::readXmlFile(path, value));
    EXPECT_EQ(value, tavi::Variant(42));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(m_folder), std::filesystem::directory_iterator()),
        1);

    EXPECT_FALSE(orv::writeXmlFile(m_folder / "missing" / "value.xml", tavi::Variant(1)));
    EXPECT_TRUE(capture.contains("cannot open"));
}

TEST_F(XmlFiles, MissingAndDamagedFilesAreReported) {
    Kor::MessageCapture capture;
    tavi::Variant value;
    EXPECT_FALSE(orv::readXmlFile(m_folder / "none.xml", value));
    EXPECT_TRUE(capture.contains("none.xml"));

    {
        tavi::FileStream file(m_folder / "bad.xml", tavi::FileStream::Mode::WRITE);
        const std::string text = "<root type=\"int\">1</ro";
        ASSERT_EQ(file.write(text.data(), text.size()), text.size());
    }
    EXPECT_FALSE(orv::readXmlFile(m_folder / "bad.xml", value));
    EXPECT_TRUE(capture.contains("bad.xml"));
    EXPECT_TRUE(value.isVoid());
}

} // namespace
