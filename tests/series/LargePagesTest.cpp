// Working arrays in large pages: memory of every size around the threshold is whole, aligned where
// it is mapped, and keeps its contents when a vector grows across the threshold.
#include "series/LargePages.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

using namespace vorteq;

TEST(LargePages, EverySizeAroundTheThresholdIsWholeAndFreedCleanly)
{
    constexpr std::size_t kPage = std::size_t{1} << 21;
    for (const std::size_t bytes : {std::size_t{1}, kLargePageMinimum - 1, kLargePageMinimum,
                                    kLargePageMinimum + 1, kPage, kPage + 1, 3 * kPage - 7}) {
        auto* p = static_cast<unsigned char*>(allocateLarge(bytes));
        ASSERT_NE(p, nullptr);
        // Every byte is ours: the first and last, and one in each 4 KiB page in between.
        for (std::size_t b = 0; b < bytes; b += 4096)
            p[b] = static_cast<unsigned char>(b);
        p[bytes - 1] = 0xa5;
        EXPECT_EQ(p[bytes - 1], 0xa5) << bytes;
        if (bytes >= kLargePageMinimum) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % kPage, 0u) << bytes;
            EXPECT_EQ(p[1], 0) << "mapped memory starts zeroed";
        }
        freeLarge(p, bytes);
    }
    freeLarge(nullptr, 5 * kPage); // nothing to free
}

TEST(LargePages, VectorsGrowAndShrinkAcrossTheThresholdKeepingTheirValues)
{
    LargeVector<long double> v;
    for (int i = 0; i < 1000; ++i)
        v.push_back(static_cast<long double>(i) / 3);
    v.resize(std::size_t{1} << 18, -1.0L); // 4 MiB: mapped
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(v[static_cast<std::size_t>(i)], static_cast<long double>(i) / 3) << i;
    EXPECT_EQ(v.back(), -1.0L);
    v.resize(10);
    v.shrink_to_fit(); // back to the heap
    EXPECT_EQ(v[9], 3.0L);
    LargeVector<long double> copy(v);
    EXPECT_EQ(copy, v);
}

TEST(LargePages, AdviceOnAnyRangeIsHarmless)
{
    // Ranges without a whole large page inside, and an unaligned one with several.
    unsigned char small[100];
    adviseLargePages(small, sizeof small);
    adviseLargePages(small, 0);
    const std::size_t bytes = std::size_t{5} << 21;
    auto* p = static_cast<unsigned char*>(allocateLarge(bytes));
    adviseLargePages(p + 12345, bytes - 12345);
    std::memset(p, 7, bytes);
    EXPECT_EQ(p[bytes / 2], 7);
    freeLarge(p, bytes);
}
