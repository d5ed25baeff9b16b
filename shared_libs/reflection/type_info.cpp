#include "shared_libs/reflection/type_info.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/variant/variant.hpp"

namespace orv {
namespace {

bool sameType(const std::type_info* a, const std::type_info& b) noexcept { return a == &b || *a == b; }

// The static type recorded in the value's meta type: the pointee for a
// pointer, the held type otherwise.
const std::type_info* staticTypeOf(const tavi::Variant& value) noexcept {
    const tavi::MetaType* type = value.type();
    if (!type)
        return nullptr;
    if (value.isPointer()) {
        const tavi::MetaType* pointee = type->pointeeType();
        return pointee ? &pointee->typeId() : nullptr;
    }
    return &type->typeId();
}

} // namespace

TypeInfo::TypeInfo(bool isPointer, const std::type_info& a, const std::type_info& b, const std::type_info& c)
    : m_isPointer(isPointer) {
    if (isPointer) {
        addType(a);
        addType(b);
    } else {
        addType(b);
        addType(a);
    }
    addType(c);
}

TypeInfo::TypeInfo(const tavi::Variant& value) : m_isPointer(value.isPointer()) {
    addType(value.typeId());
    if (const std::type_info* t = staticTypeOf(value))
        addType(*t);
}

TypeInfo::TypeInfo(const tavi::Variant& value, const std::type_info& b, const std::type_info& c)
    : TypeInfo(value.isPointer(), value.typeId(), b, c) {
    if (const std::type_info* t = staticTypeOf(value))
        addType(*t);
}

void TypeInfo::addType(const std::type_info& type) {
    for (const std::type_info*& slot : m_types) {
        if (!slot) {
            slot = &type;
            return;
        }
        if (sameType(slot, type))
            return;
    }
    Kor::errorMessage("Types overflow\n");
}

bool TypeInfo::containsType(const std::type_info& type) const noexcept {
    for (const std::type_info* slot : m_types) {
        if (!slot)
            return false;
        if (sameType(slot, type))
            return true;
    }
    return false;
}

size_t TypeInfo::size() const noexcept {
    size_t n = 0;
    while (n < MAX_TYPES && m_types[n])
        ++n;
    return n;
}

bool operator==(const TypeInfo& a, const TypeInfo& b) noexcept {
    if (a.m_isPointer != b.m_isPointer)
        return false;
    for (size_t i = 0; i < TypeInfo::MAX_TYPES; ++i) {
        const std::type_info* x = a.m_types[i];
        const std::type_info* y = b.m_types[i];
        if (x == y)
            continue;
        if (!x || !y || *x != *y)
            return false;
    }
    return true;
}

} // namespace orv
