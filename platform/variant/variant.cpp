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
    if (type->storedInline()) {
        construct(m_storage);
    } else {
        void* shared = allocateBlock(type);
        try {
            construct(static_cast<char*>(shared) + type->sharedValueOffset());
        } catch (...) {
            deallocateBlock(type, shared);
            throw;
        }
        setBlock(shared);
    }
    m_type = type;
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
    result.m_type = pointerType;
    return result;
}

const std::type_info& Variant::typeId() const noexcept {
    if (!m_type)
        return typeid(void);
    if (!m_type->isPointer())
        return m_type->typeId();
    if (const auto dynamic = m_type->operations().dynamicType) {
        if (const std::type_info* type = dynamic(data()))
            return *type;
    }
    const MetaType* pointee = m_type->pointeeType();
    return pointee ? pointee->typeId() : typeid(void);
}

void* Variant::mutableData() {
    if (!m_type)
        return nullptr;
    if (m_type->storedInline())
        return m_storage;
    void* shared = block();
    auto* header = static_cast<SharedHeader*>(shared);
    if (header->references.load(std::memory_order_acquire) != 1) {
        // Copy-on-write: take a private copy and drop our share of the old block.
        void* copy = allocateBlock(m_type);
        try {
            m_type->operations().copyConstruct(
                static_cast<char*>(copy) + m_type->sharedValueOffset(),
                static_cast<const char*>(shared) + m_type->sharedValueOffset());
        } catch (...) {
            deallocateBlock(m_type, copy);
            throw;
        }
        if (header->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
            freeShared(m_type, shared); // the other owners let go meanwhile
        setBlock(copy);
        shared = copy;
    }
    return static_cast<char*>(shared) + m_type->sharedValueOffset();
}

bool Variant::isShared() const noexcept {
    return m_type && !m_type->storedInline() &&
           static_cast<const SharedHeader*>(block())->references.load(std::memory_order_acquire) > 1;
}

bool Variant::setType(const MetaType* type) {
    if (!type) {
        reset();
        return true;
    }
    if (type == m_type)
        return true;
    if (!m_type)
        return false;
    Variant converted(type);
    if (converted.isVoid() || !VariantConverter::convert(converted, *this))
        return false;
    *this = std::move(converted);
    return true;
}

bool Variant::tryConvertTo(const MetaType* type, void* out) const {
    return VariantConverter::convert(type, out, m_type, data());
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
