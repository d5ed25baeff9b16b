// The types every Variant user can count on, and their text forms.
//
// Text forms (what TextStream << Variant writes and >> reads back):
//     bool                 true / false
//     integers, char       decimal ("-12"); char as its code
//     float, double        shortest decimal that reads back exactly ("1.5", "1e+30", "nan")
//     string, wstring      "quoted", with \" and \\ escaped (UTF-8); reading also
//                          takes one unquoted word
//     VariantVector        [int(1), string("a b"), void()]: each element as
//                          type name, then its own text form in parentheses
//     StringVector         ["a", "b c"]
//     const void*, void*   0x1f2e (hexadecimal address)
//     math types           their components separated by blanks (math_text.hpp)
//
// The text functions are set here explicitly, with internal linkage, rather
// than detected: every module then gets the same forms whatever headers it
// saw.

#include "platform/kor/math/math.hpp"
#include "platform/variant/details/meta_type_registry.hpp"
#include "platform/variant/math_text.hpp"
#include "platform/variant/text_conversion.hpp"
#include "platform/variant/variant.hpp"

#include <string>
#include <vector>

namespace tavi {
namespace {

// --- numbers and math types: the stream's own operators ---

template <class T>
void writeWithStream(TextStream& stream, const void* value) {
    stream << *static_cast<const T*>(value);
}

template <class T>
void readWithStream(TextStream& stream, void* value) {
    T parsed(*static_cast<const T*>(value));
    if (stream >> parsed)
        *static_cast<T*>(value) = parsed;
}

// char is a number here, like int8: a character would not survive blanks.
void writeChar(TextStream& stream, const void* value) {
    stream << static_cast<int>(*static_cast<const char*>(value));
}

void readChar(TextStream& stream, void* value) {
    int code = 0;
    if (!(stream >> code))
        return;
    if (code < std::numeric_limits<char>::min() || code > std::numeric_limits<char>::max())
        stream.setState(BasicStream::FAIL);
    else
        *static_cast<char*>(value) = static_cast<char>(code);
}

// --- text ---

bool readText(TextStream& stream, std::string& text) {
    stream.skipWhiteSpace();
    if (stream.fail())
        return false;
    if (stream.peek() == '"')
        stream >> quoted(text);
    else
        stream.readWord(text);
    return !stream.fail();
}

void writeString(TextStream& stream, const void* value) {
    stream << quoted(*static_cast<const std::string*>(value));
}

void readString(TextStream& stream, void* value) {
    std::string text;
    if (readText(stream, text))
        *static_cast<std::string*>(value) = std::move(text);
}

void writeWideString(TextStream& stream, const void* value) {
    stream << quoted(upcast(*static_cast<const std::wstring*>(value)));
}

void readWideString(TextStream& stream, void* value) {
    std::string text;
    if (readText(stream, text))
        *static_cast<std::wstring*>(value) = downcast(text);
}

// --- lists ---

void writeVariantVector(TextStream& stream, const void* value) {
    const auto& elements = *static_cast<const std::vector<Variant>*>(value);
    stream << '[';
    for (size_t i = 0; i < elements.size() && !stream.fail(); ++i) {
        if (i != 0)
            stream << ", ";
        const Variant& element = elements[i];
        if (element.isVoid()) {
            stream << "void()";
            continue;
        }
        const auto write = element.type()->operations().write;
        if (!write) {
            stream.setState(BasicStream::FAIL);
            return;
        }
        stream << element.typeName() << '(';
        write(stream, element.data());
        stream << ')';
    }
    stream << ']';
}

// Type names may contain blanks, commas and parentheses ("unsigned int",
// "(anonymous namespace)::Foo"): the name ends at the first '(' after which
// the text so far names a type.
constexpr size_t MAX_TYPE_NAME = 1024;

bool readElement(TextStream& stream, Variant& element) {
    stream.skipWhiteSpace();
    std::string name;
    const MetaType* type = nullptr;
    for (int c = stream.peek();; c = stream.peek()) {
        if (c == BasicStream::END_OF_STREAM || name.size() > MAX_TYPE_NAME)
            return false;
        if (c == '(') {
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
                name.pop_back();
            if (name == "void") {
                stream.get();
                element.reset();
                return stream.skip(')');
            }
            if ((type = MetaType::find(name))) {
                stream.get();
                break;
            }
        }
        name += static_cast<char>(stream.get());
    }
    const auto read = type->operations().read;
    Variant value(type);
    if (!read || value.isVoid())
        return false;
    read(stream, value.mutableData());
    if (stream.fail() || !stream.skip(')'))
        return false;
    element = std::move(value);
    return true;
}

void readVariantVector(TextStream& stream, void* value) {
    // Elements may be lists again: each list is one level.
    const TextStream::Nesting level(stream);
    if (!level)
        return;
    std::vector<Variant> elements;
    if (!stream.skip('[')) {
        stream.setState(BasicStream::FAIL);
        return;
    }
    if (!stream.skip(']')) {
        do {
            Variant element;
            if (!readElement(stream, element)) {
                stream.setState(BasicStream::FAIL);
                return;
            }
            elements.push_back(std::move(element));
        } while (stream.skip(','));
        if (!stream.skip(']')) {
            stream.setState(BasicStream::FAIL);
            return;
        }
    }
    *static_cast<std::vector<Variant>*>(value) = std::move(elements);
}

void writeStringVector(TextStream& stream, const void* value) {
    const auto& strings = *static_cast<const std::vector<std::string>*>(value);
    stream << '[';
    for (size_t i = 0; i < strings.size(); ++i) {
        if (i != 0)
            stream << ", ";
        stream << quoted(strings[i]);
    }
    stream << ']';
}

void readStringVector(TextStream& stream, void* value) {
    std::vector<std::string> strings;
    if (!stream.skip('[')) {
        stream.setState(BasicStream::FAIL);
        return;
    }
    if (!stream.skip(']')) {
        do {
            std::string text;
            if (!(stream >> quoted(text)))
                return;
            strings.push_back(std::move(text));
        } while (stream.skip(','));
        if (!stream.skip(']')) {
            stream.setState(BasicStream::FAIL);
            return;
        }
    }
    *static_cast<std::vector<std::string>*>(value) = std::move(strings);
}

// --- pointers ---

template <class P>
void writePointer(TextStream& stream, const void* value) {
    variant_details::writeAddress(stream, *static_cast<const P*>(value));
}

template <class P>
void readPointer(TextStream& stream, void* value) {
    const void* address = nullptr;
    if (variant_details::readAddress(stream, address))
        *static_cast<P*>(value) = static_cast<P>(const_cast<void*>(address));
}

// --- registration ---

using WriteFunction = void (*)(TextStream&, const void*);
using ReadFunction = void (*)(TextStream&, void*);

template <class T>
const MetaType* add(MetaTypeRegistry& registry, const char* name, WriteFunction write, ReadFunction read,
                    std::initializer_list<const char*> aliases = {}) {
    MetaType::Record record = MetaType::makeRecord<T>(name);
    record.operations.write = write;
    record.operations.read = read;
    const MetaType* type =
        registry.addWithPointers(record, MetaType::makeRecord<T*>(), MetaType::makeRecord<const T*>());
    for (const char* alias : aliases)
        registry.addAlias(type, alias);
    return type;
}

template <class T>
const MetaType* addStreamed(MetaTypeRegistry& registry, const char* name,
                            std::initializer_list<const char*> aliases = {}) {
    return add<T>(registry, name, &writeWithStream<T>, &readWithStream<T>, aliases);
}

template <class P>
void addVoidPointer(MetaTypeRegistry& registry, const char* name) {
    MetaType::Record record = MetaType::makeRecord<P>(name);
    record.operations.write = &writePointer<P>;
    record.operations.read = &readPointer<P>;
    registry.add(record);
}

} // namespace

void registerBuiltinTypes(MetaTypeRegistry& registry) {
    static_assert(sizeof(long) == 8 && std::is_same_v<int64_t, long>, "the type names assume LP64");

    addStreamed<bool>(registry, "bool");
    add<char>(registry, "char", &writeChar, &readChar);
    addStreamed<signed char>(registry, "int8");
    addStreamed<unsigned char>(registry, "uint8");
    addStreamed<short>(registry, "int16");
    addStreamed<unsigned short>(registry, "uint16");
    addStreamed<int>(registry, "int", {"long", "int32"});
    addStreamed<unsigned int>(registry, "unsigned int", {"unsigned long", "uint32"});
    addStreamed<long>(registry, "int64");
    addStreamed<unsigned long>(registry, "uint64");
    addStreamed<long long>(registry, "long long");
    addStreamed<unsigned long long>(registry, "unsigned long long");
    addStreamed<float>(registry, "float");
    addStreamed<double>(registry, "double");

    add<std::string>(registry, "string", &writeString, &readString);
    add<std::wstring>(registry, "wstring", &writeWideString, &readWideString);
    add<std::vector<Variant>>(registry, "VariantVector", &writeVariantVector, &readVariantVector);
    add<std::vector<std::string>>(registry, "StringVector", &writeStringVector, &readStringVector);

    addVoidPointer<const void*>(registry, "const void*");
    addVoidPointer<void*>(registry, "void*");

    addStreamed<Kor::Vector2>(registry, "Vector2");
    addStreamed<Kor::Vector3>(registry, "Vector3");
    addStreamed<Kor::Vector4>(registry, "Vector4");
    addStreamed<Kor::Quaternion>(registry, "Quaternion");
    addStreamed<Kor::Matrix>(registry, "Matrix");
    addStreamed<Kor::EulerAngles>(registry, "EulerAngles");
    addStreamed<Kor::DecomposedMatrix>(registry, "DecomposedMatrix");
    addStreamed<Kor::DecomposedMatrixPYR>(registry, "DecomposedMatrixPYR");
}

} // namespace tavi
