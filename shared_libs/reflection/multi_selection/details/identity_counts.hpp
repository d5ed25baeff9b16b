#pragma once
// A count per object identity (an instance address), in one flat table:
// a selection of thousands of objects adds and drops thousands of them at
// once, which node-based maps pay for with an allocation each.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace orv::multi_selection_details {

class IdentityCounts {
public:
    // One more for `key`.
    void add(const void* key) {
        if (2 * (m_size + 1) > m_slots.size())
            grow();
        Slot& slot = m_slots[find(key)];
        if (slot.count++ == 0) {
            slot.key = key;
            ++m_size;
        }
    }
    // `n` fewer for `key` (all of them when n is 0); false when it had none.
    bool release(const void* key, uint32_t n) {
        if (m_size == 0)
            return false;
        size_t i = find(key);
        if (m_slots[i].count == 0)
            return false;
        if (n != 0 && m_slots[i].count > n) {
            m_slots[i].count -= n;
            return true;
        }
        erase(i);
        return true;
    }
    [[nodiscard]] bool contains(const void* key) const {
        return m_size != 0 && m_slots[find(key)].count != 0;
    }
    [[nodiscard]] bool empty() const noexcept { return m_size == 0; }
    // Room for `n` more keys without growing on the way.
    void reserve(size_t n) {
        while (2 * (m_size + n) > m_slots.size())
            grow();
    }

private:
    // An empty slot has count 0 (so that a null identity is a key like any).
    struct Slot {
        const void* key = nullptr;
        uint32_t count = 0;
    };

    size_t home(const void* key) const noexcept {
        const uint64_t mixed = uint64_t(reinterpret_cast<uintptr_t>(key)) * 0x9E3779B97F4A7C15ull;
        return size_t(mixed >> 32) & (m_slots.size() - 1);
    }
    // The slot holding `key`, or the empty one where it would go.
    size_t find(const void* key) const noexcept {
        size_t i = home(key);
        while (m_slots[i].count != 0 && m_slots[i].key != key)
            i = (i + 1) & (m_slots.size() - 1);
        return i;
    }
    // Linear probing without tombstones: later entries of the run move back
    // into the gap when their home allows it.
    void erase(size_t gap) noexcept {
        const size_t mask = m_slots.size() - 1;
        for (size_t next = (gap + 1) & mask; m_slots[next].count != 0; next = (next + 1) & mask) {
            const size_t wanted = home(m_slots[next].key);
            // Whether `wanted` lies cyclically in (gap, next]: then it stays.
            const bool stays =
                gap <= next ? (gap < wanted && wanted <= next) : (gap < wanted || wanted <= next);
            if (!stays) {
                m_slots[gap] = m_slots[next];
                gap = next;
            }
        }
        m_slots[gap] = Slot();
        --m_size;
    }
    void grow() {
        std::vector<Slot> old(std::max<size_t>(16, 2 * m_slots.size()));
        old.swap(m_slots);
        for (const Slot& slot : old)
            if (slot.count != 0)
                m_slots[find(slot.key)] = slot;
    }

    std::vector<Slot> m_slots;
    size_t m_size = 0;
};

} // namespace orv::multi_selection_details
