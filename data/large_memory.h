// Memory for the large blocks that searches reach at random: the records of a Paradox
// table read into memory and the keys of the orders over them.  Blocks of 2 MiB and more
// are asked for in whole huge pages where the system has them: with small pages most of
// those random reads would miss the TLB as well as the cache, and the system would have to
// clear and map each 4 KiB page apart.
#pragma once

#include <cstddef>
#include <new>

namespace strnum {

// Throws Error (Io) when the memory is not there.  Free with freeLarge.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* p) noexcept;

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocateLarge(n * sizeof(T))); }
    void deallocate(T* p, std::size_t) noexcept { freeLarge(p); }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

}  // namespace strnum
