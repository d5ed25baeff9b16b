#pragma once
// An owning pointer whose object is created on first use, for members that
// most owners never need (signal bodies, per-property records and caches).

#include <atomic>
#include <memory>
#include <utility>

namespace zel::lazy_owner_details {

// Reading is one acquire load. Threads that use it first at the same time
// race by compare-and-exchange: one creation is installed and used by all,
// the others are deleted at once. Resetting, releasing and destroying are
// the owner's: nobody may use the pointer concurrently with them. `Deleter`
// ends the owned object (after any work it must do while still whole).
template <class T, class Deleter = std::default_delete<T>>
class LazyOwner {
public:
    LazyOwner() noexcept = default;
    explicit LazyOwner(T* adopted) noexcept : m_pointer(adopted) {}
    LazyOwner(const LazyOwner&) = delete;
    LazyOwner& operator=(const LazyOwner&) = delete;
    ~LazyOwner() { destroy(get()); }

    [[nodiscard]] T* get() const noexcept { return m_pointer.load(std::memory_order_acquire); }
    explicit operator bool() const noexcept { return get() != nullptr; }

    // The object, made from `args` unless it exists already. Creation is
    // logically const: the object is what every reader would see anyway.
    template <class... A>
    T& getOrCreate(A&&... args) const {
        return getOrCreateWith([&] { return std::make_unique<T>(std::forward<A>(args)...).release(); });
    }
    // The same with the object made by `make()`, which hands over a new T*
    // for this owner to end with its deleter.
    template <class Make>
    T& getOrCreateWith(Make&& make) const {
        T* current = get();
        if (current)
            return *current;
        T* const created = make();
        if (m_pointer.compare_exchange_strong(current, created, std::memory_order_acq_rel,
                                              std::memory_order_acquire))
            return *created;
        destroy(created);
        return *current; // another thread installed its object first
    }

    // Gives the object up without deleting it.
    [[nodiscard]] T* release() noexcept { return m_pointer.exchange(nullptr, std::memory_order_acq_rel); }
    // Deletes the object and takes `adopted` instead.
    void reset(T* adopted = nullptr) noexcept {
        destroy(m_pointer.exchange(adopted, std::memory_order_acq_rel));
    }

private:
    static void destroy(T* object) noexcept {
        if (object)
            Deleter()(object);
    }

    mutable std::atomic<T*> m_pointer{nullptr};
};

} // namespace zel::lazy_owner_details
