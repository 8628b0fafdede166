#include "series/LargePages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vorteq {
namespace {
constexpr std::size_t kLargePage = std::size_t{1} << 21;

std::size_t roundUp(std::size_t bytes)
{
    return (bytes + kLargePage - 1) & ~(kLargePage - 1);
}
} // namespace

void adviseLargePages(void* p, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const auto start = reinterpret_cast<std::uintptr_t>(p);
    const std::uintptr_t first = (start + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
    const std::uintptr_t last = (start + bytes) & ~std::uintptr_t{kLargePage - 1};
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

void* allocateLarge(std::size_t bytes)
{
#if defined(__linux__)
    if (bytes >= kLargePageMinimum) {
        // Map one large page more than needed and return the aligned part.
        const std::size_t size = roundUp(bytes);
        void* mapped =
            mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(mapped);
        const std::uintptr_t aligned = (start + kLargePage - 1) & ~std::uintptr_t{kLargePage - 1};
        if (aligned > start)
            munmap(mapped, aligned - start);
        const std::uintptr_t end = start + size + kLargePage;
        if (end > aligned + size)
            munmap(reinterpret_cast<void*>(aligned + size), end - (aligned + size));
        adviseLargePages(reinterpret_cast<void*>(aligned), size);
        return reinterpret_cast<void*>(aligned);
    }
#endif
    if (void* p = std::malloc(bytes == 0 ? 1 : bytes))
        return p;
    throw std::bad_alloc();
}

void freeLarge(void* p, std::size_t bytes) noexcept
{
    if (p == nullptr)
        return;
#if defined(__linux__)
    if (bytes >= kLargePageMinimum) {
        munmap(p, roundUp(bytes));
        return;
    }
#endif
    (void)bytes;
    std::free(p);
}

void fillWide(void* to, const unsigned char* value, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(to);
#if defined(__SSE2__)
    constexpr std::size_t kStreamBytes = std::size_t{8} << 20;
    if (count * 16 >= kStreamBytes && reinterpret_cast<std::uintptr_t>(out) % 16 == 0) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(value));
        auto* cell = reinterpret_cast<__m128i*>(out);
        for (std::size_t k = 0; k < count; ++k)
            _mm_stream_si128(cell + k, v);
        _mm_sfence(); // the streamed stores are seen before anything written after them
        return;
    }
#endif
    for (std::size_t k = 0; k < count; ++k)
        std::memcpy(out + k * 16, value, 16);
}

} // namespace vorteq
