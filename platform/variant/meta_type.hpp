#pragma once
// Run-time descriptions of the types a Variant can hold.
//
// There is one MetaType per registered C++ type, created on first use and
// never destroyed while the process runs, so `const MetaType*` and the name
// string it hands out can be kept anywhere. A MetaType carries the type's
// identity, size, flags and name, and a table of type-erased operations built
// from templates (copy, move, destroy, equality, hash, text form, default
// value). The registry is process-wide and thread-safe: types may be
// registered from static initialisers of several shared libraries at once.
//
// Registering a user type takes one line:
//     tavi::MetaType::registerType<Foo>("Foo");
// Storing an unregistered type in a Variant registers it with a name derived
// from the C++ type (MetaType::prettyName). A later explicit registration
// renames such a type; the derived name stays findable as an alias, and a
// warning tells that the type was used before it was registered.
//
// Registering T also registers the pointer types T* and const T*, which record
// T as their pointee. std::shared_ptr<T> is a pointer type too (pointee T).
//
// Names of the built-in types (C++ type -> name, aliases):
//     bool                         "bool"
//     char                         "char"            (a small integer)
//     int8_t  (signed char)        "int8"
//     uint8_t (unsigned char)      "uint8"
//     int16_t                      "int16"
//     uint16_t                     "uint16"
//     int32_t (int)                "int"             "long", "int32"
//     uint32_t (unsigned int)      "unsigned int"    "unsigned long", "uint32"
//     int64_t (long)               "int64"
//     uint64_t (unsigned long, size_t) "uint64"
//     long long                    "long long"
//     unsigned long long           "unsigned long long"
//     float, double                "float", "double"
//     std::string, std::wstring    "string", "wstring"
//     std::vector<Variant>         "VariantVector"
//     std::vector<std::string>     "StringVector"
//     const void*                  "const void*"
//     Kor::Vector2/3/4, Matrix, Quaternion, EulerAngles, DecomposedMatrix,
//     DecomposedMatrixPYR          their class names without namespace
// The documents of this library call the 32-bit integers `long` and
// `unsigned long` (a Windows heritage). On this LP64 platform the C++ `long`
// is 64 bits wide and is the type int64_t, so the 32-bit types carry those
// names as aliases: find("long") gives the int32_t type.

#include "platform/variant/text_stream.hpp"
#include "platform/zel_core/flags.hpp"

#include <atomic>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <ranges>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

namespace tavi {

class Variant;

class MetaType {
public:
    enum Flags : int {
        NO_TYPE_NAME_IN_XML = 1, // the XML writer omits the type name of such values
    };

    // Qualification of a pointer type. The lowest bit (value 1) is the const
    // pointee, which is what the reflection library's isConst() tests.
    // Not a pointer: NONE.
    enum Qualifier : unsigned {
        NONE = 0,
        CONST_POINTEE = 1, // const T*, std::shared_ptr<const T>
        POINTER = 2,       // any pointer type
    };
    using PointerQualifiers = Qualifier;

    // What the converter and the stream operators know about a type.
    enum class Kind : unsigned char {
        VALUE, // anything else
        BOOLEAN,
        SIGNED_INTEGER, // char and the signed integer types
        UNSIGNED_INTEGER,
        FLOATING_POINT, // float, double
        ENUMERATION,    // enums and zel::Flags<E>; integer of `size()` bytes
        STRING,         // std::string (UTF-8)
        WIDE_STRING,    // std::wstring
        POINTER,        // T*, const T*, void*, const void*
        SHARED_POINTER, // std::shared_ptr<T>
    };

    // Type-erased operations on a value of the type. `value` arguments point
    // at a constructed value, `where` at raw storage of size() bytes.
    struct Operations {
        void (*defaultConstruct)(void* where) = nullptr; // null: no default value
        void (*copyConstruct)(void* where, const void* from) = nullptr;
        void (*moveConstruct)(void* where, void* from) noexcept = nullptr;
        void (*destroy)(void* value) noexcept = nullptr;
        void (*assign)(void* to, const void* from) = nullptr;
        // Null when the type has no operator==: values are then equal only
        // when they are the very same stored instance.
        bool (*equal)(const void* a, const void* b) = nullptr;
        // Null when the type has no hash: every value hashes to one per-type constant.
        size_t (*hash)(const void* value) = nullptr;
        // Null when the type has no text form. A read that fails sets FAIL
        // and leaves the value as it was.
        void (*write)(TextStream& stream, const void* value) = nullptr;
        void (*read)(TextStream& stream, void* value) = nullptr;
        // Pointer types: the address held (the pointee), and for a pointee of
        // polymorphic type the dynamic type of a non-null pointee.
        const void* (*address)(const void* value) noexcept = nullptr;
        const std::type_info* (*dynamicType)(const void* value) = nullptr;
    };

    // Everything a MetaType is built from.
    struct Record {
        const std::type_info* type = nullptr;
        size_t size = 0;
        size_t alignment = 1;
        int flags = 0;
        const char* name = nullptr; // null: derived from the type
        Kind kind = Kind::VALUE;
        bool storedInline = false;  // fits a Variant without allocation
        bool trivial = false;       // copied and destroyed as plain bytes
        bool signedInteger = false; // integer kinds: whether the representation is signed
        unsigned pointerQualifiers = NONE;
        const MetaType* pointee = nullptr;
        Operations operations;

        bool isPointer() const noexcept { return kind == Kind::POINTER || kind == Kind::SHARED_POINTER; }
    };

    MetaType(const MetaType&) = delete;
    MetaType& operator=(const MetaType&) = delete;

    // --- lookup and registration ---

    static const MetaType* find(const std::type_info& type) noexcept; // null when unknown
    static const MetaType* find(std::string_view name) noexcept;      // by name or alias; null when unknown
    static const MetaType* find(const char* name) noexcept {
        return name ? find(std::string_view(name)) : nullptr;
    }
    static const MetaType* find(const std::string& name) noexcept { return find(std::string_view(name)); }

    // The MetaType of T, registering T (and T*, const T*) with a derived name on first use.
    template <class T>
    static const MetaType* of();

    // Registers T under `name` (null: derived) with `flags`. A type already
    // registered keeps its identity: a derived name is replaced by `name`,
    // otherwise `name` becomes an alias. Works for enums and zel::Flags<E>.
    template <class T>
    static const MetaType* registerType(const char* name = nullptr, int flags = 0);
    // Registers a hand-made record (the operations must fit the type).
    static const MetaType* registerType(const Record& record);

    // The record the templates build for T.
    template <class T>
    static Record makeRecord(const char* name = nullptr, int flags = 0);

    // Adds another name under which find() knows `type`. False (with a
    // diagnostic) when the name belongs to another type.
    static bool addAlias(const MetaType* type, const char* alias);

    // Every registered type, in registration order.
    static std::vector<const MetaType*> registeredTypes();

    // Readable C++ name: "std::string", "std::vector<int>", "Foo", "ns::Bar*".
    static std::string prettyName(const std::type_info& type);

    // Whether a pointer held with qualifiers `held` may be read as one with
    // `requested`: a const pointee can only be read through a const pointer.
    static constexpr bool qualifiersMatch(unsigned held, unsigned requested) noexcept {
        return (held & CONST_POINTEE) == 0 || (requested & CONST_POINTEE) != 0;
    }

    // --- description ---

    const char* name() const noexcept { return m_name.load(std::memory_order_acquire); }
    int flags() const noexcept { return m_flags.load(std::memory_order_relaxed); }
    bool testFlags(int f) const noexcept { return (flags() & f) == f; }
    const std::type_info& typeId() const noexcept { return *m_type; }
    size_t size() const noexcept { return m_size; }
    size_t alignment() const noexcept { return m_alignment; }
    Kind kind() const noexcept { return m_kind; }
    bool isPointer() const noexcept { return m_kind == Kind::POINTER || m_kind == Kind::SHARED_POINTER; }
    bool isNumber() const noexcept { return m_kind >= Kind::BOOLEAN && m_kind <= Kind::ENUMERATION; }
    bool isText() const noexcept { return m_kind == Kind::STRING || m_kind == Kind::WIDE_STRING; }
    // Integer kinds (and enumerations): whether the integer is signed.
    bool signedInteger() const noexcept { return m_signedInteger; }
    unsigned pointerQualifiers() const noexcept { return m_pointerQualifiers; }
    // For pointer types the MetaType of T (null for void pointers); null otherwise.
    const MetaType* pointeeType() const noexcept { return m_pointee; }
    // The registered T* (or const T*) type of this T; null when there is none.
    const MetaType* pointerType(bool constPointee) const noexcept {
        return m_pointerTypes[constPointee ? 1 : 0].load(std::memory_order_acquire);
    }
    const Operations& operations() const noexcept { return m_operations; }
    bool hasEquality() const noexcept { return m_operations.equal != nullptr; }
    bool hasTextForm() const noexcept { return m_operations.write && m_operations.read; }

    // --- storage, as Variant lays it out ---

    bool storedInline() const noexcept { return m_storedInline; }
    bool trivial() const noexcept { return m_trivial; }
    // Offset of the value behind the reference count of a shared block.
    size_t sharedValueOffset() const noexcept { return m_sharedValueOffset; }
    // Seed mixed into the hash of every value of this type.
    size_t hashSeed() const noexcept { return m_hashSeed; }

private:
    friend class MetaTypeRegistry;
    MetaType(const Record& record, const char* name);

    template <class T>
    static const MetaType* resolve();
    static const MetaType* registerWithPointers(const Record& value, const Record& pointer,
                                                const Record& constPointer);

    const std::type_info* m_type;
    std::atomic<const char*> m_name;
    std::atomic<int> m_flags;
    size_t m_size;
    size_t m_alignment;
    size_t m_sharedValueOffset;
    size_t m_hashSeed;
    Kind m_kind;
    bool m_storedInline;
    bool m_trivial;
    bool m_explicitName;
    bool m_signedInteger;
    unsigned m_pointerQualifiers;
    const MetaType* m_pointee;
    std::atomic<const MetaType*> m_pointerTypes[2] = {nullptr, nullptr};
    Operations m_operations;
};

namespace Utils {
// The readable type name used in messages (MetaType::prettyName).
std::string getTypePrettyName(const std::type_info& type);
} // namespace Utils

namespace variant_details {

template <class T>
struct IsFlags : std::false_type {};
template <class E>
struct IsFlags<zel::Flags<E>> : std::true_type {};

template <class T>
struct SharedPointee {
    static constexpr bool value = false;
};
template <class T>
struct SharedPointee<std::shared_ptr<T>> {
    static constexpr bool value = true;
    using type = T;
};

template <class T>
concept RawPointer = std::is_pointer_v<T> && !std::is_function_v<std::remove_pointer_t<T>>;
template <class T>
concept SharedPointer = SharedPointee<T>::value;

// Bytes a Variant keeps inline. Four pointers hold a std::string within its
// small-string buffer and a std::vector with a word beside it, so short names
// and small annotations are read and copied without touching the heap.
inline constexpr std::size_t INLINE_CAPACITY = 4 * sizeof(void*);

// Small values live inside the Variant: up to INLINE_CAPACITY bytes, no
// stricter alignment than a pointer, and a move that cannot throw.
template <class T>
inline constexpr bool storedInline = sizeof(T) <= INLINE_CAPACITY &&
                                     alignof(T) <= alignof(void*) && std::is_nothrow_move_constructible_v<T>;

// Values are shared copy-on-write, so a type held by value must be copyable.
// Other types (abstract classes, objects that must not be copied) can still
// be pointed at.
template <class T>
inline constexpr bool storableValue = std::is_copy_constructible_v<T> && !std::is_abstract_v<T>;

template <class T>
inline constexpr bool trivialValue = std::is_trivially_copyable_v<T>&& std::is_trivially_destructible_v<T>;

template <class T>
struct IsPair : std::false_type {};
template <class A, class B>
struct IsPair<std::pair<A, B>> : std::true_type {};

// operator== of containers and pairs exists for any element type and only
// fails when instantiated, so the elements are checked as well.
template <class T>
constexpr bool hasEquality() {
    if constexpr (!requires(const T& a, const T& b) {
                      { a == b } -> std::convertible_to<bool>;
                  }) {
        return false;
    } else if constexpr (IsPair<T>::value) {
        return hasEquality<std::remove_cv_t<typename T::first_type>>() &&
               hasEquality<std::remove_cv_t<typename T::second_type>>();
    } else if constexpr (std::ranges::range<T> && requires { typename T::value_type; }) {
        using E = std::remove_cv_t<typename T::value_type>;
        if constexpr (std::is_same_v<E, T>)
            return true;
        else
            return hasEquality<E>();
    } else {
        return true;
    }
}

template <class T>
constexpr bool hasHash();

template <class T>
constexpr bool hasStdHash() {
    return requires(const T& v) {
        { std::hash<T>{}(v) } -> std::convertible_to<size_t>;
    };
}

template <class T>
constexpr bool hasHash() {
    if constexpr (hasStdHash<T>()) {
        return true;
    } else if constexpr (requires(const T& v) {
                             { v.hash() } -> std::convertible_to<size_t>;
                         }) {
        return true;
    } else if constexpr (std::ranges::range<T> && requires { typename T::value_type; }) {
        using E = std::remove_cv_t<typename T::value_type>;
        if constexpr (std::is_same_v<E, T>)
            return false;
        else
            return hasHash<E>();
    } else {
        return false;
    }
}

template <class T>
size_t hashValue(const T& value) {
    if constexpr (hasStdHash<T>()) {
        return std::hash<T>{}(value);
    } else if constexpr (requires(const T& v) {
                             { v.hash() } -> std::convertible_to<size_t>;
                         }) {
        return static_cast<size_t>(value.hash());
    } else {
        size_t h = 0x51ed270b27c5a3f1ull;
        for (const auto& element : value)
            h ^= hashValue(element) + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
        return h;
    }
}

// Integer representation of integers, enumerations and flag sets.
template <class T>
struct IntegerOf {
    using type = T;
};
template <class T>
requires std::is_enum_v<T>
struct IntegerOf<T> {
    using type = std::underlying_type_t<T>;
};
template <class E>
struct IntegerOf<zel::Flags<E>> {
    using type = typename zel::Flags<E>::value_type;
};

template <class T>
inline constexpr bool enumLike = std::is_enum_v<T> || IsFlags<T>::value;

template <class T>
constexpr MetaType::Kind kindOf() {
    if constexpr (std::is_same_v<T, bool>)
        return MetaType::Kind::BOOLEAN;
    else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
        return MetaType::Kind::SIGNED_INTEGER;
    else if constexpr (std::is_integral_v<T>)
        return MetaType::Kind::UNSIGNED_INTEGER;
    else if constexpr (std::is_floating_point_v<T>)
        return MetaType::Kind::FLOATING_POINT;
    else if constexpr (enumLike<T>)
        return MetaType::Kind::ENUMERATION;
    else if constexpr (std::is_same_v<T, std::string>)
        return MetaType::Kind::STRING;
    else if constexpr (std::is_same_v<T, std::wstring>)
        return MetaType::Kind::WIDE_STRING;
    else if constexpr (RawPointer<T>)
        return MetaType::Kind::POINTER;
    else if constexpr (SharedPointer<T>)
        return MetaType::Kind::SHARED_POINTER;
    else
        return MetaType::Kind::VALUE;
}

// The object a pointer type points at (possibly const, possibly void).
template <class T>
struct PointeeOf {
    using type = void;
};
template <RawPointer T>
struct PointeeOf<T> {
    using type = std::remove_pointer_t<T>;
};
template <SharedPointer T>
struct PointeeOf<T> {
    using type = typename SharedPointee<T>::type;
};

template <class T>
const void* addressOf(const T& pointer) noexcept {
    if constexpr (RawPointer<T>)
        return const_cast<const void*>(static_cast<const volatile void*>(pointer));
    else
        return pointer.get();
}

// Pointer values are written as their address; only void pointers read back
// (reading a typed pointer from text would forge an object).
void writeAddress(TextStream& stream, const void* address);
bool readAddress(TextStream& stream, const void*& address);

template <class T>
struct OperationsOf {
    static void defaultConstruct(void* where) { ::new (where) T(); }
    static void copyConstruct(void* where, const void* from) {
        ::new (where) T(*static_cast<const T*>(from));
    }
    static void moveConstruct(void* where, void* from) noexcept {
        if constexpr (std::is_nothrow_move_constructible_v<T>) {
            ::new (where) T(std::move(*static_cast<T*>(from)));
        } else {
            // Only values held in shared blocks get here, and those are never moved.
            ::new (where) T(*static_cast<const T*>(from));
        }
    }
    static void destroy(void* value) noexcept { static_cast<T*>(value)->~T(); }
    static void assign(void* to, const void* from) { *static_cast<T*>(to) = *static_cast<const T*>(from); }
    static bool equal(const void* a, const void* b) {
        return static_cast<bool>(*static_cast<const T*>(a) == *static_cast<const T*>(b));
    }
    static size_t hash(const void* value) { return hashValue(*static_cast<const T*>(value)); }

    static void writeText(TextStream& stream, const void* value) { stream << *static_cast<const T*>(value); }
    static void readText(TextStream& stream, void* value) {
        // Read into a copy so that a failed read leaves the value unchanged.
        T parsed(*static_cast<const T*>(value));
        stream >> parsed;
        if (!stream.fail())
            *static_cast<T*>(value) = std::move(parsed);
    }
    static void writePointer(TextStream& stream, const void* value) {
        writeAddress(stream, addressOf(*static_cast<const T*>(value)));
    }
    static void readPointer(TextStream& stream, void* value) {
        const void* address = nullptr;
        if (readAddress(stream, address))
            *static_cast<T*>(value) = static_cast<T>(const_cast<void*>(address));
    }
    static const void* address(const void* value) noexcept {
        return addressOf(*static_cast<const T*>(value));
    }
    static const std::type_info* dynamicType(const void* value) {
        const auto* pointee = static_cast<const typename PointeeOf<T>::type*>(address(value));
        return pointee ? &typeid(*pointee) : nullptr;
    }
};

// Integers, enumerations and flag sets are written as their integer value.
template <class T>
struct IntegerTextOf {
    using Integer = typename IntegerOf<T>::type;
    // Every integer goes through a 64-bit number: character types would
    // otherwise reach the character output of TextStream.
    using TextInteger = std::conditional_t<std::is_signed_v<Integer>, long long, unsigned long long>;
    static void writeInteger(TextStream& stream, const void* value) {
        stream << static_cast<TextInteger>(integerOf(*static_cast<const T*>(value)));
    }
    static void readInteger(TextStream& stream, void* value) {
        TextInteger raw{};
        stream >> raw;
        if (stream.fail())
            return;
        if (static_cast<TextInteger>(static_cast<Integer>(raw)) != raw)
            stream.setState(BasicStream::FAIL);
        else
            *static_cast<T*>(value) = T(static_cast<Integer>(raw));
    }

    static Integer integerOf(const T& v) {
        if constexpr (IsFlags<T>::value)
            return v.value();
        else
            return static_cast<Integer>(v);
    }
};

// Floating point types other than float and double go through double.
template <class T>
struct FloatingTextOf {
    static void write(TextStream& stream, const void* value) {
        stream << static_cast<double>(*static_cast<const T*>(value));
    }
    static void read(TextStream& stream, void* value) {
        double raw = 0;
        stream >> raw;
        if (!stream.fail())
            *static_cast<T*>(value) = static_cast<T>(raw);
    }
};

template <class T>
MetaType::Operations makeValueOperations() {
    using Ops = OperationsOf<T>;
    MetaType::Operations ops;
    if constexpr (std::is_default_constructible_v<T>)
        ops.defaultConstruct = &Ops::defaultConstruct;
    ops.copyConstruct = &Ops::copyConstruct;
    ops.moveConstruct = &Ops::moveConstruct;
    ops.destroy = &Ops::destroy;
    if constexpr (std::is_copy_assignable_v<T>)
        ops.assign = &Ops::assign;
    if constexpr (hasEquality<T>())
        ops.equal = &Ops::equal;
    if constexpr (hasHash<T>())
        ops.hash = &Ops::hash;
    if constexpr (RawPointer<T> || SharedPointer<T>) {
        ops.write = &Ops::writePointer;
        if constexpr (RawPointer<T> && std::is_void_v<std::remove_cv_t<std::remove_pointer_t<T>>>)
            ops.read = &Ops::readPointer;
        ops.address = &Ops::address;
        using P = typename PointeeOf<T>::type;
        if constexpr (!std::is_void_v<P>) {
            if constexpr (std::is_polymorphic_v<P>)
                ops.dynamicType = &Ops::dynamicType;
        }
    } else if constexpr (enumLike<T> || (std::is_integral_v<T> && !std::is_same_v<T, bool>)) {
        ops.write = &IntegerTextOf<T>::writeInteger;
        ops.read = &IntegerTextOf<T>::readInteger;
    } else if constexpr (std::is_floating_point_v<T> && !TextFloat<T>) {
        ops.write = &FloatingTextOf<T>::write;
        ops.read = &FloatingTextOf<T>::read;
    } else {
        if constexpr (requires(TextStream & s, const T& v) { s << v; })
            ops.write = &Ops::writeText;
        if constexpr (requires(TextStream & s, T & v) { s >> v; })
            ops.read = &Ops::readText;
    }
    return ops;
}

template <class T>
MetaType::Operations makeOperations() {
    if constexpr (storableValue<T>)
        return makeValueOperations<T>();
    else
        return {}; // only pointed at (abstract or not copyable): no value operations
}

} // namespace variant_details

template <class T>
MetaType::Record MetaType::makeRecord(const char* name, int flags) {
    static_assert(std::is_same_v<T, std::remove_cv_t<T>> && !std::is_reference_v<T>,
                  "register the plain type, without const or reference");
    static_assert(std::is_object_v<T> && !std::is_array_v<T>, "only object types can be described");
    Record record;
    record.type = &typeid(T);
    record.size = sizeof(T);
    record.alignment = alignof(T);
    record.flags = flags;
    record.name = name;
    record.kind = variant_details::kindOf<T>();
    record.storedInline = variant_details::storableValue<T> && variant_details::storedInline<T>;
    record.trivial = variant_details::trivialValue<T>;
    if constexpr (std::is_integral_v<T>)
        record.signedInteger = std::is_signed_v<T>;
    else if constexpr (variant_details::enumLike<T>)
        record.signedInteger = std::is_signed_v<typename variant_details::IntegerOf<T>::type>;
    if constexpr (variant_details::RawPointer<T> || variant_details::SharedPointer<T>) {
        record.pointerQualifiers = POINTER;
        if constexpr (std::is_const_v<typename variant_details::PointeeOf<T>::type>)
            record.pointerQualifiers |= CONST_POINTEE;
    }
    record.operations = variant_details::makeOperations<T>();
    return record;
}

template <class T>
const MetaType* MetaType::registerType(const char* name, int flags) {
    using U = std::remove_cv_t<T>;
    if constexpr (variant_details::RawPointer<U> || variant_details::SharedPointer<U>) {
        Record record = makeRecord<U>(name, flags);
        using P = std::remove_cv_t<typename variant_details::PointeeOf<U>::type>;
        if constexpr (!std::is_void_v<P>)
            record.pointee = of<P>();
        return registerType(record);
    } else {
        return registerWithPointers(makeRecord<U>(name, flags), makeRecord<U*>(), makeRecord<const U*>());
    }
}

// Out of line and cold: what of() does once per type.
template <class T>
[[gnu::noinline, gnu::cold]] const MetaType* MetaType::resolve() {
    if (const MetaType* known = find(typeid(T)))
        return known;
    if constexpr (variant_details::RawPointer<T>) {
        // T* and const T* come with T.
        using P = std::remove_cv_t<std::remove_pointer_t<T>>;
        if constexpr (!std::is_void_v<P> && !variant_details::RawPointer<P>) {
            of<P>();
            if (const MetaType* known = find(typeid(T)))
                return known;
        }
    }
    return registerType<T>();
}

// Forced inline (one guarded load): the type checks of every getter, setter
// and method argument start here.
template <class T>
[[gnu::always_inline]] inline const MetaType* MetaType::of() {
    static_assert(!std::is_reference_v<T>, "MetaType::of takes a value type");
    static const MetaType* const type = resolve<std::remove_cv_t<T>>();
    return type;
}

} // namespace tavi
