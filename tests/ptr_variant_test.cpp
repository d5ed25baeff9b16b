#include "shared_libs/shared_common/ptr_variant.hpp"

#include <gtest/gtest.h>

namespace {

constexpr const char* MISTAGGED = "ASSERTION FAILED: (bits & TYPE_MASK) == 0";

struct Counted {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() { ++*deaths; }
    int* deaths;
};
struct OtherCounted {
    int value = 0;
};

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

TEST(SharedPtrVariant, TagsAndOwns) {
    int deaths = 0;
    auto counted = std::make_shared<Counted>(&deaths);
    auto other = std::make_shared<OtherCounted>();
    Counted* const raw = counted.get();
    {
        Shared a(counted);
        const Shared b(other);
        EXPECT_TRUE(a.is<Counted>());
        EXPECT_FALSE(a.is<OtherCounted>());
        EXPECT_EQ(a.index(), 0u);
        EXPECT_EQ(b.index(), 1u);
        EXPECT_EQ(a.get<Counted>(), raw);
        EXPECT_EQ(a.get<OtherCounted>(), nullptr);
        EXPECT_EQ(b.get<OtherCounted>(), other.get());
        EXPECT_EQ(a.share<Counted>(), counted);
        EXPECT_EQ(a.share<OtherCounted>(), nullptr);
        counted.reset(); // the variant keeps it alive
        EXPECT_EQ(deaths, 0);

        Shared copy = a;
        EXPECT_EQ(a.useCount(), 2);
        EXPECT_EQ(copy, a);
        EXPECT_NE(copy, b);
        Shared moved = std::move(copy);
        EXPECT_TRUE(copy.isNull());
        EXPECT_EQ(a.useCount(), 2);
        moved = b; // drops one owner of `counted`
        EXPECT_EQ(a.useCount(), 1);
        EXPECT_EQ(other.use_count(), 3);
        a.reset();
        EXPECT_EQ(deaths, 1);
        EXPECT_FALSE(a);
        EXPECT_FALSE(a.is<Counted>());
    }
    EXPECT_EQ(deaths, 1);
}

TEST(SharedPtrVariant, RejectsTaggedAddress) {
    int deaths = 0;
    auto counted = std::make_shared<Counted>(&deaths);
    Kor::MessageCapture capture;
    const Shared bad(std::shared_ptr<Counted>(counted, withLowBit(counted.get())));
    EXPECT_EQ(capture.countContaining(MISTAGGED), 1u);
    EXPECT_TRUE(bad.isNull());
    EXPECT_EQ(bad.get<OtherCounted>(), nullptr);
    EXPECT_EQ(counted.use_count(), 1); // nothing kept
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
