#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace vorteq {

// Working arrays of several megabytes (a long series' columns and day records) are walked day by
// day in many streams at once; in 4 KiB pages their pages outnumber the processor's address cache
// and every stream pays for the page walks. Large pages of 2 MiB avoid that.

// Asks the system to back the whole 2 MiB pages inside [p, p + bytes) with large pages once they
// are first touched. Only a hint: memory touched before keeps its pages, and a system without large
// pages ignores it.
void adviseLargePages(void* p, std::size_t bytes);

// Memory of at least kLargePageMinimum bytes for a working array: mapped afresh, aligned to and
// rounded up to 2 MiB, and advised to take large pages; smaller ones come from the heap.
inline constexpr std::size_t kLargePageMinimum = std::size_t{1} << 20;
void* allocateLarge(std::size_t bytes);
void freeLarge(void* p, std::size_t bytes) noexcept;

// An allocator for the working arrays kept from run to run (their memory is mapped once and
// reused).
template <class T> struct LargePageAllocator {
    using value_type = T;
    LargePageAllocator() = default;
    template <class U> LargePageAllocator(const LargePageAllocator<U>&) noexcept {}
    T* allocate(std::size_t n)
    {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(allocateLarge(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { freeLarge(p, n * sizeof(T)); }
    template <class U> bool operator==(const LargePageAllocator<U>&) const noexcept { return true; }
};

// Writes count copies of the 16 bytes at value from `to` on (16-byte aligned). A fill of many
// megabytes goes straight to memory, past the caches: the caches could not keep it anyway, and
// the lines need not be read first.
void fillWide(void* to, const unsigned char* value, std::size_t count);

template <class T> using LargeVector = std::vector<T, LargePageAllocator<T>>;

} // namespace vorteq
