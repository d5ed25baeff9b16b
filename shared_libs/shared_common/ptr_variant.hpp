#pragma once
// Tagged pointers to one of two types.
//
// The pointer word keeps the pointee's address with its lowest bit telling
// which type it is: 0 for the first type, 1 for the second. Both pointee
// types must therefore be at least 2-byte aligned. An address whose low bit
// is already set is reported as a broken assertion and the variant stays
// null, so a mis-tagged pointer can never be read back as the other type.
// A null pointer of either type gives the empty variant.
//
// SharedPtrVariant owns a pointee held by std::shared_ptr (the word plus the
// owner's control block). WeakPtrVariant observes a
// pointee owned by std::shared_ptr (the word plus a weak control block) and
// expires with it; a plain pointer can be stored too, for objects that outlive
// every reference (registered meta objects): it is tied to a process-wide
// control block that is never released, so that reference never expires.

#include "platform/corekit/diagnostics.hpp"

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace orv {
namespace ptr_variant_details {

inline constexpr std::uintptr_t TYPE_MASK = 1;

// The pointer word for `pointer` tagged with `index`, or 0 when the address
// cannot carry a tag (reported) or is null.
inline std::uintptr_t tag(const void* pointer, std::uintptr_t index) {
    const std::uintptr_t bits = reinterpret_cast<std::uintptr_t>(pointer);
    if (!KOR_VERIFY((bits & TYPE_MASK) == 0) || bits == 0)
        return 0;
    return bits | index;
}

template <typename T, typename A, typename B>
concept OneOf = std::same_as<T, A> || std::same_as<T, B>;

template <typename T, typename A, typename B>
inline constexpr std::uintptr_t INDEX_OF = std::same_as<T, B> ? 1 : 0;

// Created on first use and deliberately never destroyed: references to
// objects without an owner of their own must stay valid even while static
// objects are torn down.
inline const std::shared_ptr<void>& anchor() {
    static const std::shared_ptr<void>* const s_anchor = new std::shared_ptr<void>(std::make_shared<char>());
    return *s_anchor;
}

// Word handling common to both variants.
template <typename A, typename B>
class TaggedWord {
public:
    constexpr bool isNull() const noexcept { return m_bits == 0; }
    // 0 for A, 1 for B; 0 for the empty variant.
    constexpr std::size_t index() const noexcept { return m_bits & TYPE_MASK; }
    template <typename T>
    requires OneOf<T, A, B>
    constexpr bool is() const noexcept { return m_bits != 0 && (m_bits & TYPE_MASK) == INDEX_OF<T, A, B>; }

protected:
    constexpr TaggedWord() noexcept = default;
    explicit constexpr TaggedWord(std::uintptr_t bits) noexcept : m_bits(bits) {}

    template <typename T>
    T* pointer() const noexcept {
        return is<T>() ? reinterpret_cast<T*>(m_bits & ~TYPE_MASK) : nullptr;
    }

    std::uintptr_t m_bits = 0;
};

} // namespace ptr_variant_details

// Owning tagged pointer over two types owned through std::shared_ptr: the
// word plus the owner's control block, so that the same pointee can also be
// shared with ordinary shared pointers elsewhere.
template <typename A, typename B>
class SharedPtrVariant : public ptr_variant_details::TaggedWord<A, B> {
    using Base = ptr_variant_details::TaggedWord<A, B>;
    using Base::m_bits;

public:
    static_assert(!std::same_as<A, B>, "the two pointee types must differ");

    SharedPtrVariant() noexcept = default;
    SharedPtrVariant(std::nullptr_t) noexcept {}
    SharedPtrVariant(const std::shared_ptr<A>& pointer) : SharedPtrVariant(pointer.get(), 0, pointer) {}
    SharedPtrVariant(const std::shared_ptr<B>& pointer) : SharedPtrVariant(pointer.get(), 1, pointer) {}

    SharedPtrVariant(const SharedPtrVariant&) = default;
    SharedPtrVariant& operator=(const SharedPtrVariant&) = default;
    SharedPtrVariant(SharedPtrVariant&& other) noexcept
        : Base(std::exchange(other.m_bits, 0)), m_owner(std::move(other.m_owner)) {}
    SharedPtrVariant& operator=(SharedPtrVariant&& other) noexcept {
        m_bits = std::exchange(other.m_bits, 0);
        m_owner = std::move(other.m_owner);
        return *this;
    }

    // The pointee when it is a T, otherwise null.
    template <typename T>
    requires ptr_variant_details::OneOf<T, A, B> T* get() const noexcept {
        return this->template pointer<T>();
    }
    // An owning pointer to the pointee when it is a T, otherwise null.
    template <typename T>
    requires ptr_variant_details::OneOf<T, A, B> std::shared_ptr<T> share()
    const noexcept {
        T* const target = get<T>();
        return target ? std::shared_ptr<T>(m_owner, target) : nullptr;
    }
    long useCount() const noexcept { return m_owner.use_count(); }

    explicit operator bool() const noexcept { return m_bits != 0; }

    void reset() noexcept {
        m_bits = 0;
        m_owner.reset();
    }
    void swap(SharedPtrVariant& other) noexcept {
        std::swap(m_bits, other.m_bits);
        m_owner.swap(other.m_owner);
    }

    friend bool operator==(const SharedPtrVariant& a, const SharedPtrVariant& b) noexcept {
        return a.m_bits == b.m_bits;
    }

private:
    SharedPtrVariant(const void* pointer, std::uintptr_t index, const std::shared_ptr<void>& owner)
        : Base(ptr_variant_details::tag(pointer, index)) {
        if (m_bits != 0)
            m_owner = owner;
    }

    std::shared_ptr<void> m_owner;
};

// Weak tagged reference over two types owned elsewhere.
template <typename A, typename B>
class WeakPtrVariant : public ptr_variant_details::TaggedWord<A, B> {
    using Base = ptr_variant_details::TaggedWord<A, B>;
    using Base::m_bits;

public:
    static_assert(!std::same_as<A, B>, "the two pointee types must differ");

    WeakPtrVariant() noexcept = default;
    WeakPtrVariant(std::nullptr_t) noexcept {}
    // Observes a shared pointee; expires when its last owner goes.
    WeakPtrVariant(const std::shared_ptr<A>& pointer) : WeakPtrVariant(pointer.get(), 0, pointer) {}
    WeakPtrVariant(const std::shared_ptr<B>& pointer) : WeakPtrVariant(pointer.get(), 1, pointer) {}
    // Refers to an object that outlives every reference to it; never expires.
    explicit WeakPtrVariant(A* pointer) : WeakPtrVariant(pointer, 0, ptr_variant_details::anchor()) {}
    explicit WeakPtrVariant(B* pointer) : WeakPtrVariant(pointer, 1, ptr_variant_details::anchor()) {}
    // Refers to `pointer` for as long as `owner` lives: expires when the
    // owner goes. The caller answers for the pointee meanwhile; lock() hands
    // out the owner's control block.
    WeakPtrVariant(A* pointer, std::weak_ptr<void> owner) : Base(ptr_variant_details::tag(pointer, 0)) {
        if (m_bits != 0)
            m_control = std::move(owner);
    }
    WeakPtrVariant(B* pointer, std::weak_ptr<void> owner) : Base(ptr_variant_details::tag(pointer, 1)) {
        if (m_bits != 0)
            m_control = std::move(owner);
    }

    WeakPtrVariant(const WeakPtrVariant&) = default;
    WeakPtrVariant& operator=(const WeakPtrVariant&) = default;
    WeakPtrVariant(WeakPtrVariant&& other) noexcept
        : Base(std::exchange(other.m_bits, 0)), m_control(std::move(other.m_control)) {}
    WeakPtrVariant& operator=(WeakPtrVariant&& other) noexcept {
        m_bits = std::exchange(other.m_bits, 0);
        m_control = std::move(other.m_control);
        return *this;
    }

    // True when empty or when the pointee's owners are gone.
    bool expired() const noexcept { return m_control.expired(); }
    long useCount() const noexcept { return m_control.use_count(); }
    explicit operator bool() const noexcept { return !expired(); }

    // An owning pointer to the pointee when it is a live T, otherwise null.
    // It shares the control block of the reference.
    template <typename T>
    requires ptr_variant_details::OneOf<T, A, B> std::shared_ptr<T> lock()
    const noexcept {
        T* const target = this->template pointer<T>();
        if (!target)
            return {};
        std::shared_ptr<void> owner = m_control.lock();
        if (!owner)
            return {};
        return std::shared_ptr<T>(std::move(owner), target);
    }

    // The pointee when it is a live T, otherwise null. Only valid while the
    // caller knows the owner stays; lock() is the safe form.
    template <typename T>
    requires ptr_variant_details::OneOf<T, A, B> T* get() const noexcept {
        return expired() ? nullptr : this->template pointer<T>();
    }
    // The pointee when it is a T, whether or not it still lives: for a
    // caller that has just checked expired().
    template <typename T>
    requires ptr_variant_details::OneOf<T, A, B> T* unchecked() const noexcept {
        return this->template pointer<T>();
    }

    void reset() noexcept {
        m_bits = 0;
        m_control.reset();
    }

    // Same pointee (and type); liveness is not compared.
    friend bool operator==(const WeakPtrVariant& a, const WeakPtrVariant& b) noexcept {
        return a.m_bits == b.m_bits;
    }

private:
    WeakPtrVariant(const void* pointer, std::uintptr_t index, const std::shared_ptr<void>& owner)
        : Base(ptr_variant_details::tag(pointer, index)) {
        if (m_bits != 0)
            m_control = owner;
    }

    std::weak_ptr<void> m_control;
};

} // namespace orv
