#pragma once
// A type-erased value: void, a value of any registered type, a pointer to one
// (T* or const T*, the qualification kept), or a std::shared_ptr to one.
//
// Storage, chosen per value. Values of up to four pointers in size
// (INLINE_CAPACITY) whose move cannot throw (scalars, pointers, shared_ptrs,
// short std::strings, Kor::Vector2/3/4, Quaternion, small annotations) live
// inside the Variant, which is five pointers in size. Larger values
// (containers, matrices) and strings too long for their small-string buffer
// live in a reference-counted block shared between copies: copying such a
// Variant copies no value and allocates nothing, and the first mutable
// access of a shared block makes a private copy first (copy-on-write; a
// string is then copied back inline). Sharing is thread-safe; a single
// Variant is not. The low bit of the type word tells the two apart.
//
// Equality is "same type and equal value" through the type's operator==. A
// type without operator== compares equal only to the very same stored
// instance: copies sharing one block compare equal, separately stored values
// never do. Pointers compare by address. Equal values hash equally.
//
// Typed reads: castPtr<T>() gives the held T, or the pointee of a held T*,
// const T* or shared_ptr<T>. tryCast<T>() takes the held T; asked for U* or
// const U* it takes a held pointer to U whose qualifiers allow it (a const U*
// is never read as U*, MetaType::qualifiersMatch), and for const U* also a
// held U (pointing into the Variant); anything else goes to VariantConverter.
//
// Values must be copyable; pointers may point at any complete type, abstract
// and non-copyable ones included.
//
// Character strings (const char*, char arrays, std::string_view) are stored
// as std::string, their wide forms as std::wstring; a null character pointer
// is reported as an error and gives a void Variant. A `const MetaType*`
// argument selects the default value of that type; to hold such a pointer as
// a value, use emplace<const MetaType*>().

#include "platform/corekit/hash.hpp"
#include "platform/variant/meta_type.hpp"
#include "platform/variant/variant_converter.hpp"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace tavi {

class CastError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Variant;

namespace variant_details {

// The type a constructor argument is stored as.
template <class T>
struct StoredAs {
    using type = std::decay_t<T>;
};
template <class T>
requires std::is_same_v < std::decay_t<T>,
const char* > || std::is_same_v<std::decay_t<T>, char*> ||
    std::is_same_v<std::decay_t<T>, std::string_view> struct StoredAs<T> {
    using type = std::string;
};
template <class T>
requires std::is_same_v < std::decay_t<T>,
const wchar_t* > || std::is_same_v<std::decay_t<T>, wchar_t*> ||
    std::is_same_v<std::decay_t<T>, std::wstring_view> struct StoredAs<T> {
    using type = std::wstring;
};
template <class T>
using StoredType = typename StoredAs<T>::type;

// A pointer to narrow or wide character text, which may be null (unlike an array).
template <class T>
concept TextPointer = std::is_pointer_v<std::remove_cvref_t<T>> &&
    (std::is_same_v<StoredType<T>, std::string> || std::is_same_v<StoredType<T>, std::wstring>);

template <class T>
concept VariantArgument =
    !std::is_same_v<std::decay_t<T>, Variant> && !std::is_same_v<std::decay_t<T>, std::nullptr_t> &&
    !std::is_same_v<std::remove_cv_t<std::remove_pointer_t<std::decay_t<T>>>, MetaType> &&
    !std::is_function_v<std::remove_reference_t<T>>;

// Characters a std::basic_string<C> keeps in its own small buffer: the
// standard library's 16 bytes less the terminator. Spelled out because not
// every compiler can construct a string at compile time (clang 14 cannot);
// the Variant tests check it against an empty string's capacity.
template <class C>
inline constexpr size_t smallStringCapacity = 15 / sizeof(C);

// Whether a value of a type that may be held inline is better shared: a
// string too long for its small buffer, whose every copy would allocate.
template <class T>
bool sharedWhenStored(const T&) noexcept {
    return false;
}
template <class C>
bool sharedWhenStored(const std::basic_string<C>& text) noexcept {
    return text.size() > smallStringCapacity<C>;
}

} // namespace variant_details

class Variant {
public:
    Variant() noexcept {}
    // The default value of `type` (void for null, or with a diagnostic when
    // the type has no default value).
    explicit Variant(const MetaType* type);
    template <variant_details::VariantArgument T>
    Variant(T&& value) {
        assign(std::forward<T>(value));
    }
    Variant(const Variant& other) { copyFrom(other); }
    Variant(Variant&& other) noexcept { moveFrom(other); }
    Variant& operator=(const Variant& other);
    Variant& operator=(Variant&& other) noexcept;
    template <variant_details::VariantArgument T>
    Variant& operator=(T&& value) {
        assign(std::forward<T>(value));
        return *this;
    }
    ~Variant() { reset(); }

    // Replaces the value by a T built from `args`; returns it.
    template <class T, class... Args>
    T& emplace(Args&&... args);
    // Makes the Variant void.
    void reset() noexcept {
        if (m_bits)
            release();
    }
    void swap(Variant& other) noexcept;

    // --- type ---

    bool isVoid() const noexcept { return m_bits == 0; }
    // Null when void; for pointers the pointer type (pointeeType() gives T).
    const MetaType* type() const noexcept { return reinterpret_cast<const MetaType*>(m_bits & ~SHARED); }
    // The type name, "void" when void.
    const char* typeName() const noexcept { return m_bits ? type()->name() : "void"; }
    // The held type; for a pointer the pointee type, dynamic when the pointee
    // is polymorphic and the pointer not null; typeid(void) when void.
    const std::type_info& typeId() const noexcept;
    bool isPointer() const noexcept { return m_bits && type()->isPointer(); }
    bool isNullPointer() const noexcept { return isPointer() && pointerAddress() == nullptr; }
    bool isNonNullPointer() const noexcept { return isPointer() && pointerAddress() != nullptr; }
    template <class T>
    bool isType() const {
        return type() == MetaType::of<std::remove_cv_t<T>>();
    }

    // --- raw access ---

    // The held value (null when void).
    const void* data() const noexcept {
        if (!(m_bits & SHARED))
            return m_bits ? static_cast<const void*>(m_storage) : nullptr;
        return static_cast<const char*>(block()) + type()->sharedValueOffset();
    }
    // The held value for writing; a shared block is copied first.
    void* mutableData();
    // The address a pointer holds; null for non-pointers.
    const void* pointerAddress() const noexcept {
        return isPointer() ? type()->operations().address(data()) : nullptr;
    }
    // Whether the value sits in a block shared with another Variant.
    bool isShared() const noexcept;

    // A Variant holding `address` as a value of the raw pointer type `pointerType`.
    static Variant fromPointer(const MetaType* pointerType, const void* address);

    // --- comparison ---

    bool operator==(const Variant& other) const;
    size_t hash() const;
    // The hash a Variant holding `value` would have, and whether this one
    // equals such a Variant, without making it: looking a value up in a
    // Variant-keyed table then needs no temporary (which may allocate). For
    // types stored as themselves (not character pointers or string views).
    template <class T>
    requires std::is_same_v<variant_details::StoredType<T>, T>
    static size_t hashOf(const T& value) { return hashOf(MetaType::of<T>(), &value); }
    template <class T>
    requires std::is_same_v<variant_details::StoredType<T>, T>
    bool equals(const T& value) const {
        const MetaType* held = MetaType::of<T>();
        return type() == held && sameValue(held, data(), &value);
    }

    // --- conversion and typed reads ---

    // Converts the value to `type` in place; false (value unchanged) when
    // impossible. Null makes the Variant void.
    bool setType(const MetaType* type);

    // The held T (exact type), or the T a held pointer points at; null otherwise.
    template <class T>
    const T* castPtr() const noexcept;
    // Mutable access to the held T (detaching a shared block) or to the T a
    // held non-const pointer points at; null otherwise.
    template <class T>
    T* mutablePtr();
    // Reads the value as T: directly, by the pointer rules above, or through
    // VariantConverter. False (out unchanged) when impossible.
    template <class T>
    bool tryCast(T& out) const;
    // Mandatory read: on failure castError(type name, pretty name of T).
    template <class T>
    T cast() const;

    // Throws CastError("failed to cast Variant of '<from>' to '<to>'").
    [[noreturn]] static void castError(const char* fromTypeName, const char* toTypeName);

private:
    struct SharedHeader {
        std::atomic<size_t> references;
    };
    // Set in m_bits when the value sits in a shared block. MetaTypes are
    // aligned to more than one byte, so the bit is free.
    static constexpr std::uintptr_t SHARED = 1;

    void* block() const noexcept {
        void* p;
        std::memcpy(&p, m_storage, sizeof p);
        return p;
    }
    void setBlock(void* p) noexcept { std::memcpy(m_storage, &p, sizeof p); }
    void* storage() noexcept { return m_storage; }

    // Stores a constructor or assignment argument as its StoredType.
    template <class T>
    void assign(T&& value) {
        if constexpr (variant_details::TextPointer<T>) {
            if (!value) {
                reportNullText();
                reset();
                return;
            }
        }
        emplace<variant_details::StoredType<T>>(std::forward<T>(value));
    }
    static void reportNullText();
    static size_t hashOf(const MetaType* type, const void* value);
    // Whether two values of `type` are equal (see the class comment).
    static bool sameValue(const MetaType* type, const void* a, const void* b);

    // A block for one value of `type`, referenced once, the value not built yet.
    static void* allocateBlock(const MetaType* type);
    static void deallocateBlock(const MetaType* type, void* block) noexcept;
    // Destroys the value of a block no longer referenced and frees it.
    static void freeShared(const MetaType* type, void* block) noexcept;
    void copyFrom(const Variant& other);
    void moveFrom(Variant& other) noexcept;
    void release() noexcept;
    bool tryConvertTo(const MetaType* type, void* out) const;

    // The type's address, SHARED or'ed in; 0 when void.
    std::uintptr_t m_bits = 0;
    alignas(void*) unsigned char m_storage[variant_details::INLINE_CAPACITY];
};

template <class T, class... Args>
T& Variant::emplace(Args&&... args) {
    static_assert(!std::is_const_v<T> && !std::is_reference_v<T>);
    static_assert(variant_details::storableValue<T>,
                  "a Variant holds copyable values; hold a pointer to this type instead");
    const MetaType* type = MetaType::of<T>();
    // Build first: the arguments may refer to the current value.
    if constexpr (variant_details::storedInline<T>) {
        T value(std::forward<Args>(args)...);
        if (!variant_details::sharedWhenStored(value)) {
            reset();
            T* result = ::new (static_cast<void*>(m_storage)) T(std::move(value));
            m_bits = reinterpret_cast<std::uintptr_t>(type);
            return *result;
        }
        void* shared = allocateBlock(type);
        T* result = ::new (static_cast<char*>(shared) + type->sharedValueOffset()) T(std::move(value));
        reset();
        setBlock(shared);
        m_bits = reinterpret_cast<std::uintptr_t>(type) | SHARED;
        return *result;
    } else {
        void* shared = allocateBlock(type);
        T* result;
        try {
            result =
                ::new (static_cast<char*>(shared) + type->sharedValueOffset()) T(std::forward<Args>(args)...);
        } catch (...) {
            deallocateBlock(type, shared);
            throw;
        }
        reset();
        setBlock(shared);
        m_bits = reinterpret_cast<std::uintptr_t>(type) | SHARED;
        return *result;
    }
}

template <class T>
const T* Variant::castPtr() const noexcept {
    using U = std::remove_cv_t<T>;
    static_assert(!std::is_void_v<U>, "use pointerAddress() for an untyped address");
    const MetaType* held = type();
    if (!held)
        return nullptr;
    const MetaType* wanted = MetaType::of<U>();
    if (held == wanted)
        return static_cast<const T*>(data());
    if (held->isPointer() && held->pointeeType() == wanted)
        return static_cast<const T*>(pointerAddress());
    return nullptr;
}

template <class T>
T* Variant::mutablePtr() {
    using U = std::remove_cv_t<T>;
    const MetaType* held = type();
    if (!held)
        return nullptr;
    const MetaType* wanted = MetaType::of<U>();
    if (held == wanted)
        return static_cast<T*>(mutableData());
    if (held->isPointer() && held->pointeeType() == wanted &&
        MetaType::qualifiersMatch(held->pointerQualifiers(), MetaType::POINTER))
        return static_cast<T*>(const_cast<void*>(pointerAddress()));
    return nullptr;
}

template <class T>
bool Variant::tryCast(T& out) const {
    static_assert(!std::is_const_v<T> && !std::is_reference_v<T>);
    if constexpr (std::is_same_v<T, Variant>) {
        // Generic code reading "a Variant as V" gets the Variant itself.
        out = *this;
        return true;
    } else {
        const MetaType* held = type();
        if (!held)
            return false;
        if (held == MetaType::of<T>()) {
            out = *static_cast<const T*>(data());
            return true;
        }
        if constexpr (variant_details::RawPointer<T>) {
            using P = std::remove_pointer_t<T>;
            using U = std::remove_cv_t<P>;
            if constexpr (!std::is_void_v<U>) {
                const MetaType* pointee = MetaType::of<U>();
                constexpr unsigned requested =
                    MetaType::POINTER | (std::is_const_v<P> ? unsigned(MetaType::CONST_POINTEE) : 0u);
                if (held->isPointer() && held->pointeeType() == pointee &&
                    MetaType::qualifiersMatch(held->pointerQualifiers(), requested)) {
                    out = static_cast<T>(const_cast<void*>(pointerAddress()));
                    return true;
                }
                if constexpr (std::is_const_v<P>) {
                    if (held == pointee) {
                        out = static_cast<T>(data());
                        return true;
                    }
                }
            }
        }
        return tryConvertTo(MetaType::of<T>(), &out);
    }
}

template <class T>
T Variant::cast() const {
    static_assert(std::is_default_constructible_v<T>, "cast() needs a default value; use tryCast()");
    T out{};
    if (!tryCast(out))
        castError(typeName(), MetaType::prettyName(typeid(T)).c_str());
    return out;
}

// The hot paths stay inline: scalars and pointers are copied as bytes,
// shared blocks by their reference count, and only other inline values go
// through the type's operations.

inline void Variant::copyFrom(const Variant& other) {
    const std::uintptr_t bits = other.m_bits;
    if (bits & SHARED) {
        void* shared = other.block();
        static_cast<SharedHeader*>(shared)->references.fetch_add(1, std::memory_order_relaxed);
        setBlock(shared);
    } else if (bits) {
        const MetaType* held = other.type();
        if (held->trivial())
            std::memcpy(m_storage, other.m_storage, sizeof m_storage);
        else
            held->operations().copyConstruct(m_storage, other.m_storage);
    }
    m_bits = bits;
}

inline void Variant::moveFrom(Variant& other) noexcept {
    const std::uintptr_t bits = other.m_bits;
    m_bits = bits;
    if (!bits)
        return;
    const MetaType* held = other.type();
    if ((bits & SHARED) || held->trivial()) {
        std::memcpy(m_storage, other.m_storage, sizeof m_storage);
    } else {
        held->operations().moveConstruct(m_storage, other.m_storage);
        held->operations().destroy(other.m_storage);
    }
    other.m_bits = 0;
}

inline void Variant::release() noexcept {
    const std::uintptr_t bits = m_bits;
    const MetaType* held = type();
    m_bits = 0;
    if (bits & SHARED) {
        void* shared = block();
        if (static_cast<SharedHeader*>(shared)->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
            freeShared(held, shared);
    } else if (!held->trivial()) {
        held->operations().destroy(m_storage);
    }
}

inline Variant& Variant::operator=(const Variant& other) {
    if (this != &other) {
        Variant copy(other);
        reset();
        moveFrom(copy);
    }
    return *this;
}

inline Variant& Variant::operator=(Variant&& other) noexcept {
    if (this != &other) {
        reset();
        moveFrom(other);
    }
    return *this;
}

inline void Variant::swap(Variant& other) noexcept {
    if (this == &other)
        return;
    Variant held(std::move(*this));
    moveFrom(other);
    other.moveFrom(held);
}

inline bool Variant::sameValue(const MetaType* type, const void* a, const void* b) {
    if (a == b)
        return true;
    const auto equal = type->operations().equal;
    return equal && equal(a, b);
}

inline bool Variant::operator==(const Variant& other) const {
    const MetaType* held = type();
    if (held != other.type())
        return false;
    return !held || sameValue(held, data(), other.data());
}

inline size_t Variant::hashOf(const MetaType* type, const void* value) {
    if (!type)
        return 0;
    const auto hashOf = type->operations().hash;
    return static_cast<size_t>(Kor::hash_combine(type->hashSeed(), hashOf ? hashOf(value) : 0));
}

inline size_t Variant::hash() const { return hashOf(type(), data()); }

inline void swap(Variant& a, Variant& b) noexcept { a.swap(b); }

} // namespace tavi

template <>
struct std::hash<tavi::Variant> {
    size_t operator()(const tavi::Variant& value) const { return value.hash(); }
};
