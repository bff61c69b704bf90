#include "common/unique_handle.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> g_closed;

struct FakeTraits {
    using Type = int;
    static Type Invalid() { return -1; }
    static void Close(Type h) { g_closed.push_back(h); }
};
using FakeHandle = UniqueHandle<FakeTraits>;

TEST(UniqueHandle, ClosesExactlyOnceOnEveryOwnershipPath) {
    g_closed.clear();
    {
        FakeHandle a(3);
        FakeHandle b(std::move(a));       // moved-from does not close
        EXPECT_FALSE(a.valid());
        FakeHandle c(4);
        c = std::move(b);                 // 4 closed, 3 now in c
        EXPECT_EQ(c.get(), 3);
        *c.put() = 5;                     // put() closes 3 first
        FakeHandle d(6);
        EXPECT_EQ(d.release(), 6);        // released: never closed
        FakeHandle none;                  // invalid: never closed
    }
    EXPECT_EQ(g_closed, (std::vector<int>{4, 3, 5}));
}

std::vector<const int*> g_released;
void Release(const int* p) { g_released.push_back(p); }

TEST(UniqueHandle, NullIsNoneClosesWithItsFunctionAndSkipsNull) {
    g_released.clear();
    static const int a = 0, b = 0;
    {
        UniqueHandle<NullIsNone<const int*, Release>> first(&a), second(&b), none;
        EXPECT_FALSE(none.valid());
        second.reset();
    }
    EXPECT_EQ(g_released, (std::vector<const int*>{&b, &a}));
}

}  // namespace
