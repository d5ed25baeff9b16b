#include "shared_libs/shared_common/ptr_variant.hpp"

#include <gtest/gtest.h>

namespace {

struct Counted {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() { ++*deaths; }
    int* deaths;
};
struct Other {
    int value = 0;
};

template <typename T>
T* withLowBit(T* p) {
    return reinterpret_cast<T*>(reinterpret_cast<char*>(p) + 1);
}

} // namespace

using Shared = orv::SharedPtrVariant<Counted, Other>;
using Weak = orv::WeakPtrVariant<Counted, Other>;

TEST(SharedPtrVariant, TagsAndOwns) {
    int deaths = 0;
    auto counted = std::make_shared<Counted>(&deaths);
    auto other = std::make_shared<Other>();
    Shared a(counted);
    const Shared b(other);
    EXPECT_EQ(a.get<Other>(), nullptr);
    EXPECT_EQ(b.get<Other>(), other.get());
    EXPECT_EQ(a.share<Counted>(), counted);
    counted.reset(); // the variant keeps it alive
    Shared copy = a;
    EXPECT_EQ(a.useCount(), 2);
    copy = b; // drops one owner
    EXPECT_EQ(a.useCount(), 1);
    EXPECT_EQ(deaths, 0);
    a.reset();
    EXPECT_EQ(deaths, 1);
    EXPECT_FALSE(a.is<Counted>());
}

TEST(WeakPtrVariant, ExpiresWithOwnerButKeepsItsTag) {
    int deaths = 0;
    auto owner = std::make_shared<Counted>(&deaths);
    const Weak weak(owner);
    EXPECT_EQ(weak.lock<Counted>(), owner);
    EXPECT_EQ(weak.lock<Other>(), nullptr);
    owner.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(weak.get<Counted>(), nullptr);
    EXPECT_TRUE(weak.is<Counted>());

    // A plain pointer is anchored: dropping a lock never releases anything.
    Other plain;
    const Weak anchored(&plain);
    EXPECT_EQ(anchored.lock<Other>().get(), &plain);
    EXPECT_FALSE(anchored.expired());
}

// A reference may be tied to another owner than the pointee's: it lives and
// dies with that owner, whatever keeps the pointee.
TEST(WeakPtrVariant, TiedToAnotherOwnerExpiresWithThatOwner) {
    Other pointee;
    auto owner = std::make_shared<int>(0);
    const Weak tied(&pointee, owner);
    EXPECT_FALSE(tied.expired());
    EXPECT_TRUE(tied.is<Other>());
    {
        const std::shared_ptr<Other> locked = tied.lock<Other>();
        EXPECT_EQ(locked.get(), &pointee);
        EXPECT_EQ(owner.use_count(), 2) << "a lock shares the owner's control block";
    }
    owner.reset();
    EXPECT_TRUE(tied.expired());
    EXPECT_EQ(tied.get<Other>(), nullptr);
}

TEST(PtrVariant, AddressWithTagBitsIsRejected) {
    int deaths = 0;
    auto owner = std::make_shared<Counted>(&deaths);
    Kor::MessageCapture capture;
    const Shared shared(std::shared_ptr<Counted>(owner, withLowBit(owner.get())));
    const Weak weak(withLowBit(reinterpret_cast<Other*>(owner.get())));
    EXPECT_EQ(capture.countContaining("ASSERTION FAILED: (bits & TYPE_MASK) == 0"), 2u);
    EXPECT_TRUE(shared.isNull());
    EXPECT_TRUE(weak.isNull());
    EXPECT_EQ(owner.use_count(), 1); // nothing kept
}
