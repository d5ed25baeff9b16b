#include "platform/variant/variant.hpp"

#include "platform/corekit/diagnostics.hpp"
#include "platform/corekit/format.hpp"

#include <new>

namespace tavi {

static_assert(sizeof(Variant) == sizeof(void*) + variant_details::INLINE_CAPACITY,
              "a Variant is its type and its inline storage");

namespace {

size_t blockAlignment(const MetaType* type) noexcept {
    return type->alignment() > alignof(std::atomic<size_t>) ? type->alignment()
                                                            : alignof(std::atomic<size_t>);
}

bool overAligned(const MetaType* type) noexcept {
    return blockAlignment(type) > __STDCPP_DEFAULT_NEW_ALIGNMENT__;
}

} // namespace

Variant::Variant(const MetaType* type) {
    if (!type)
        return;
    const auto construct = type->operations().defaultConstruct;
    if (!construct) {
        Kor::warningMessage("tavi::Variant: type '%s' has no default value", type->name());
        return;
    }
    // Default values are short: strings start empty, inline.
    if (type->storedInline()) {
        construct(m_storage);
        m_bits = reinterpret_cast<std::uintptr_t>(type);
    } else {
        void* shared = allocateBlock(type);
        try {
            construct(static_cast<char*>(shared) + type->sharedValueOffset());
        } catch (...) {
            deallocateBlock(type, shared);
            throw;
        }
        setBlock(shared);
        m_bits = reinterpret_cast<std::uintptr_t>(type) | SHARED;
    }
}

Variant Variant::fromPointer(const MetaType* pointerType, const void* address) {
    Variant result;
    if (!pointerType || pointerType->kind() != MetaType::Kind::POINTER) {
        Kor::errorMessage("tavi::Variant::fromPointer: '%s' is not a raw pointer type",
                          pointerType ? pointerType->name() : "void");
        return result;
    }
    // Every raw pointer type of this platform is one address word.
    static_assert(sizeof(const void*) <= sizeof result.m_storage);
    std::memcpy(result.m_storage, &address, sizeof address);
    result.m_bits = reinterpret_cast<std::uintptr_t>(pointerType);
    return result;
}

const std::type_info& Variant::typeId() const noexcept {
    const MetaType* held = type();
    if (!held)
        return typeid(void);
    if (!held->isPointer())
        return held->typeId();
    if (const auto dynamic = held->operations().dynamicType) {
        if (const std::type_info* dynamicType = dynamic(data()))
            return *dynamicType;
    }
    const MetaType* pointee = held->pointeeType();
    return pointee ? pointee->typeId() : typeid(void);
}

void* Variant::mutableData() {
    if (!(m_bits & SHARED))
        return m_bits ? m_storage : nullptr;
    const MetaType* held = type();
    void* shared = block();
    auto* header = static_cast<SharedHeader*>(shared);
    if (header->references.load(std::memory_order_acquire) == 1)
        return static_cast<char*>(shared) + held->sharedValueOffset();
    // Copy-on-write: take a private copy and drop our share of the old block.
    // A type that may live inline (a long string) is copied inline: the copy
    // is what allocates, and a block around it would allocate once more.
    const void* value = static_cast<const char*>(shared) + held->sharedValueOffset();
    if (held->storedInline()) {
        // Built aside first: a copy that throws leaves this Variant as it was.
        alignas(void*) unsigned char copy[variant_details::INLINE_CAPACITY];
        held->operations().copyConstruct(copy, value);
        held->operations().moveConstruct(m_storage, copy);
        held->operations().destroy(copy);
        m_bits &= ~SHARED;
    } else {
        void* copy = allocateBlock(held);
        try {
            held->operations().copyConstruct(static_cast<char*>(copy) + held->sharedValueOffset(), value);
        } catch (...) {
            deallocateBlock(held, copy);
            throw;
        }
        setBlock(copy);
    }
    if (header->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
        freeShared(held, shared); // the other owners let go meanwhile
    return const_cast<void*>(data());
}

bool Variant::isShared() const noexcept {
    return (m_bits & SHARED) &&
           static_cast<const SharedHeader*>(block())->references.load(std::memory_order_acquire) > 1;
}

bool Variant::setType(const MetaType* type) {
    if (!type) {
        reset();
        return true;
    }
    if (type == this->type())
        return true;
    if (!m_bits)
        return false;
    Variant converted(type);
    if (converted.isVoid() || !VariantConverter::convert(converted, *this))
        return false;
    *this = std::move(converted);
    return true;
}

bool Variant::tryConvertTo(const MetaType* type, void* out) const {
    return VariantConverter::convert(type, out, this->type(), data());
}

void Variant::reportNullText() {
    Kor::errorMessage("tavi::Variant: null character pointer given as text; the Variant is void");
}

void Variant::castError(const char* fromTypeName, const char* toTypeName) {
    throw CastError(kor_format("failed to cast Variant of '%s' to '%s'", fromTypeName ? fromTypeName : "void",
                               toTypeName ? toTypeName : "void"));
}

void* Variant::allocateBlock(const MetaType* type) {
    const size_t size = type->sharedValueOffset() + type->size();
    void* shared = overAligned(type) ? ::operator new(size, std::align_val_t(blockAlignment(type)))
                                     : ::operator new(size);
    ::new (shared) SharedHeader{1};
    return shared;
}

void Variant::deallocateBlock(const MetaType* type, void* shared) noexcept {
    static_cast<SharedHeader*>(shared)->~SharedHeader();
    if (overAligned(type))
        ::operator delete(shared, std::align_val_t(blockAlignment(type)));
    else
        ::operator delete(shared);
}

void Variant::freeShared(const MetaType* type, void* shared) noexcept {
    type->operations().destroy(static_cast<char*>(shared) + type->sharedValueOffset());
    deallocateBlock(type, shared);
}

} // namespace tavi
