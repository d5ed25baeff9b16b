#pragma once
// The identity under which a value's meta object is looked up: up to three
// candidate types (most specific first) and whether the value is a pointer.

#include <array>
#include <cstddef>
#include <typeinfo>

namespace tavi {
class Variant;
}

namespace orv {

class TypeInfo {
public:
    static constexpr size_t MAX_TYPES = 3;

    TypeInfo() noexcept = default;
    // With isPointer the candidates are taken as a, b, c; otherwise as b, a, c
    // (for a value the storage type is the more specific candidate).
    TypeInfo(bool isPointer, const std::type_info& a, const std::type_info& b, const std::type_info& c);
    // The value's dynamic type, then its static (pointed-to) type.
    explicit TypeInfo(const tavi::Variant& value);
    // As TypeInfo(value.isPointer(), value.typeId(), b, c), then the value's static type.
    TypeInfo(const tavi::Variant& value, const std::type_info& b, const std::type_info& c);

    // Appends `type` unless present; a fourth distinct type reports "Types overflow\n".
    void addType(const std::type_info& type);
    [[nodiscard]] bool containsType(const std::type_info& type) const noexcept;

    [[nodiscard]] const std::type_info* type(size_t slot) const noexcept {
        return slot < MAX_TYPES ? m_types[slot] : nullptr;
    }
    size_t size() const noexcept;
    [[nodiscard]] bool isPointer() const noexcept { return m_isPointer; }

    friend bool operator==(const TypeInfo& a, const TypeInfo& b) noexcept;

private:
    std::array<const std::type_info*, MAX_TYPES> m_types{};
    bool m_isPointer = false;
};

} // namespace orv
