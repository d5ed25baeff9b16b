#pragma once
// Intrusive, thread-safe reference count for objects shared by raw pointer.

#include "platform/corekit/diagnostics.hpp"

#include <atomic>
#include <cstdint>

namespace Kor {

class SafeReferenceCount {
public:
    SafeReferenceCount() noexcept = default;
    // A copy is a new object: it starts unreferenced.
    SafeReferenceCount(const SafeReferenceCount&) noexcept {}
    SafeReferenceCount& operator=(const SafeReferenceCount&) noexcept { return *this; }
    virtual ~SafeReferenceCount() = default;

    void incRef() const noexcept { m_refCount.fetch_add(1, std::memory_order_relaxed); }
    // Deletes the object when the last reference goes; returns the new count.
    // Releasing more references than were taken is reported; the object,
    // deleted already or never counted, is not deleted (again).
    int32_t decRef() const noexcept {
        const int32_t left = m_refCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        KOR_ASSERT(left >= 0);
        if (left == 0)
            delete this;
        return left;
    }
    int32_t refCount() const noexcept { return m_refCount.load(std::memory_order_acquire); }

private:
    mutable std::atomic<int32_t> m_refCount{0};
};

// Hooks for boost::intrusive_ptr.
inline void intrusive_ptr_add_ref(const SafeReferenceCount* p) noexcept { p->incRef(); }
inline void intrusive_ptr_release(const SafeReferenceCount* p) noexcept { p->decRef(); }

} // namespace Kor
