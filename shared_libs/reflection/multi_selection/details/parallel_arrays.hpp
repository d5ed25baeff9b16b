#pragma once
// Two arrays of the same length in one allocation: `capacity` values of A
// followed by `capacity` values of B. The first array is handed out as a
// contiguous view; the second holds what belongs to each of its entries.

#include "platform/corekit/array_view.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace orv::multi_selection_details {

template <class A, class B>
class ParallelArrays {
    static_assert(std::is_nothrow_move_constructible_v<A> && std::is_nothrow_move_constructible_v<B>,
                  "entries move when the arrays grow");

public:
    ParallelArrays() noexcept = default;
    ParallelArrays(const ParallelArrays&) = delete;
    ParallelArrays& operator=(const ParallelArrays&) = delete;
    ~ParallelArrays() {
        clear();
        release(m_storage);
    }

    [[nodiscard]] size_t size() const noexcept { return m_size; }
    [[nodiscard]] bool empty() const noexcept { return m_size == 0; }

    [[nodiscard]] A& first(size_t i) noexcept { return firsts()[i]; }
    [[nodiscard]] const A& first(size_t i) const noexcept { return firsts()[i]; }
    [[nodiscard]] B& second(size_t i) noexcept { return seconds()[i]; }
    [[nodiscard]] const B& second(size_t i) const noexcept { return seconds()[i]; }
    [[nodiscard]] Kor::array_view<const A> firstView() const noexcept { return {firsts(), m_size}; }
    [[nodiscard]] Kor::array_view<const B> secondView() const noexcept { return {seconds(), m_size}; }

    // Room for `capacity` entries in all.
    void reserve(size_t capacity) {
        if (capacity > m_capacity)
            reallocate(uint32_t(std::min<size_t>(capacity, UINT32_MAX)));
    }

    // Made in place: a thousand handles appended are not copied twice.
    template <class FromA, class FromB>
    void push_back(FromA&& a, FromB&& b) {
        if (m_size == m_capacity) {
            // The arguments may be entries of these arrays, which move.
            A keptA(std::forward<FromA>(a));
            B keptB(std::forward<FromB>(b));
            reallocate(std::max(2 * m_capacity + 1, m_capacity + 20));
            construct(std::move(keptA), std::move(keptB));
            return;
        }
        construct(std::forward<FromA>(a), std::forward<FromB>(b));
    }

    // Later entries move down by one.
    void erase(size_t index) noexcept {
        std::move(firsts() + index + 1, firsts() + m_size, firsts() + index);
        std::move(seconds() + index + 1, seconds() + m_size, seconds() + index);
        --m_size;
        firsts()[m_size].~A();
        seconds()[m_size].~B();
    }

    void clear() noexcept {
        while (m_size != 0)
            erase(m_size - 1);
    }

private:
    static constexpr std::align_val_t s_alignment{std::max(alignof(A), alignof(B))};

    // The B array starts at the first suitably aligned offset after the As.
    static size_t secondsOffset(size_t capacity) noexcept {
        return (capacity * sizeof(A) + alignof(B) - 1) / alignof(B) * alignof(B);
    }
    A* firsts() const noexcept { return static_cast<A*>(m_storage); }
    B* seconds() const noexcept {
        return reinterpret_cast<B*>(static_cast<std::byte*>(m_storage) + secondsOffset(m_capacity));
    }
    template <class FromA, class FromB>
    void construct(FromA&& a, FromB&& b) {
        A* first = ::new (static_cast<void*>(firsts() + m_size)) A(std::forward<FromA>(a));
        try {
            ::new (static_cast<void*>(seconds() + m_size)) B(std::forward<FromB>(b));
        } catch (...) {
            first->~A();
            throw;
        }
        ++m_size;
    }
    static void release(void* storage) noexcept {
        if (storage)
            ::operator delete(storage, s_alignment);
    }

    void reallocate(uint32_t capacity) {
        void* storage = ::operator new(secondsOffset(capacity) + capacity * sizeof(B), s_alignment);
        A* firstTarget = static_cast<A*>(storage);
        B* secondTarget = reinterpret_cast<B*>(static_cast<std::byte*>(storage) + secondsOffset(capacity));
        for (size_t i = 0; i < m_size; ++i) {
            ::new (static_cast<void*>(firstTarget + i)) A(std::move(firsts()[i]));
            ::new (static_cast<void*>(secondTarget + i)) B(std::move(seconds()[i]));
            firsts()[i].~A();
            seconds()[i].~B();
        }
        release(std::exchange(m_storage, storage));
        m_capacity = capacity;
    }

    void* m_storage = nullptr;
    uint32_t m_size = 0;
    uint32_t m_capacity = 0;
};

} // namespace orv::multi_selection_details
