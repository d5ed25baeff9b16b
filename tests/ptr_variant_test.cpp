#include "shared_libs/shared_common/ptr_variant.hpp"
#include "platform/corekit/safe_reference_count.hpp"

#include <gtest/gtest.h>

namespace {

constexpr const char* MISTAGGED = "ASSERTION FAILED: (bits & TYPE_MASK) == 0";

struct Counted : Kor::SafeReferenceCount {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
};
struct OtherCounted : Kor::SafeReferenceCount {};

struct Data {
    int value = 1;
};
struct Meta {
    int value = 2;
};

template <typename T>
T* withLowBit(T* p) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(p) + 1);
}

} // namespace

using Shared = orv::SharedPtrVariant<Counted, OtherCounted>;
using Weak = orv::WeakPtrVariant<Data, Meta>;

TEST(SharedPtrVariant, TagsAndCounts) {
    int deaths = 0;
    auto* counted = new Counted(&deaths);
    auto* other = new OtherCounted;
    {
        Shared a(counted);
        const Shared b(other);
        EXPECT_TRUE(a.is<Counted>());
        EXPECT_FALSE(a.is<OtherCounted>());
        EXPECT_EQ(a.index(), 0u);
        EXPECT_EQ(b.index(), 1u);
        EXPECT_EQ(a.get<Counted>(), counted);
        EXPECT_EQ(a.get<OtherCounted>(), nullptr);
        EXPECT_EQ(b.get<OtherCounted>(), other);
        EXPECT_EQ(counted->refCount(), 1);

        Shared copy = a;
        EXPECT_EQ(counted->refCount(), 2);
        EXPECT_EQ(copy, a);
        EXPECT_NE(copy, Shared(b));
        Shared moved = std::move(copy);
        EXPECT_TRUE(copy.isNull());
        EXPECT_EQ(counted->refCount(), 2);
        moved = b; // releases one reference to `counted`
        EXPECT_EQ(counted->refCount(), 1);
        EXPECT_EQ(other->refCount(), 2);
        a.reset();
        EXPECT_EQ(deaths, 1);
        EXPECT_FALSE(a);
        EXPECT_FALSE(a.is<Counted>());
    }
    EXPECT_EQ(deaths, 1);
}

TEST(SharedPtrVariant, RejectsTaggedAddress) {
    int deaths = 0;
    Counted counted(&deaths); // never referenced: the bad address must not be touched
    Kor::MessageCapture capture;
    const Shared bad(withLowBit(&counted));
    EXPECT_EQ(capture.countContaining(MISTAGGED), 1u);
    EXPECT_TRUE(bad.isNull());
    EXPECT_EQ(bad.get<OtherCounted>(), nullptr);
    EXPECT_EQ(counted.refCount(), 0);
}

TEST(WeakPtrVariant, ExpiresWithOwner) {
    auto data = std::make_shared<Data>();
    Weak weak(data);
    EXPECT_TRUE(weak.is<Data>());
    EXPECT_EQ(weak.lock<Data>(), data);
    EXPECT_EQ(weak.lock<Meta>(), nullptr);
    EXPECT_EQ(weak.useCount(), 1);

    const Weak copy = weak;
    Weak moved = std::move(weak);
    EXPECT_TRUE(weak.isNull());
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(moved, copy);

    data.reset();
    EXPECT_TRUE(copy.expired());
    EXPECT_FALSE(copy);
    EXPECT_EQ(copy.lock<Data>(), nullptr);
    EXPECT_EQ(copy.get<Data>(), nullptr);
    EXPECT_TRUE(copy.is<Data>()); // the tag outlives the pointee
}

TEST(WeakPtrVariant, PlainPointerIsAnchored) {
    Meta meta;
    const Weak weak(&meta);
    EXPECT_EQ(weak.index(), 1u);
    EXPECT_FALSE(weak.expired());
    EXPECT_EQ(weak.get<Meta>(), &meta);
    EXPECT_EQ(weak.get<Data>(), nullptr);
    {
        const std::shared_ptr<Meta> locked = weak.lock<Meta>();
        EXPECT_EQ(locked.get(), &meta);
    } // dropping the lock never releases anything
    EXPECT_FALSE(weak.expired());
    EXPECT_EQ(Weak(&meta), weak);
}

TEST(WeakPtrVariant, RejectsTaggedAddress) {
    auto owner = std::make_shared<Data>();
    Kor::MessageCapture capture;
    const Weak bad(std::shared_ptr<Data>(owner, withLowBit(owner.get())));
    const Weak badMeta(withLowBit(reinterpret_cast<Meta*>(owner.get())));
    EXPECT_EQ(capture.countContaining(MISTAGGED), 2u);
    EXPECT_TRUE(bad.isNull());
    EXPECT_TRUE(bad.expired());
    EXPECT_EQ(bad.lock<Data>(), nullptr);
    EXPECT_TRUE(badMeta.isNull());
    EXPECT_EQ(owner.use_count(), 1);
}
