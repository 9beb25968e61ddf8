// Memory for large blocks.
//
// Blocks that searches reach at random (the records of a Paradox table read into memory and
// the keys of the orders over them): blocks of 2 MiB and more are asked for in whole huge
// pages where the system has them: with small pages most of those random reads would miss
// the TLB as well as the cache, and the system would have to clear and map each 4 KiB page
// apart.
//
// Blocks that only grow at their end (the report's text, tens of megabytes for a region):
// where the system can move pages (Linux), a block grows without copying what it holds and
// without touching its old pages again; elsewhere it grows as any buffer does.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>
#include <utility>

namespace strnum {

// Throws Error (Io) when the memory is not there.  Free with freeLarge.
void* allocateLarge(std::size_t bytes);
void freeLarge(void* p) noexcept;

// Called once at the start of a program: memory the program frees is kept for its next use
// rather than given back to the system at once.  A run opens hundreds of district files one
// after another, each with buffers of some hundred kilobytes on whichever thread walks it;
// given back and taken again, every page of them would be touched fresh each time (with the
// C library's defaults that doubled the time of a search over 200 files).
void keepFreedMemory() noexcept;

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocateLarge(n * sizeof(T))); }
    void deallocate(T* p, std::size_t) noexcept { freeLarge(p); }
    // A vector's resize leaves new elements uninitialised: the code that fills a large
    // block writes every element anyway, and its own threads touch the fresh pages first
    // instead of one clearing pass ahead of them.
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) { return true; }
};

// Bytes appended at the end of one block.  Throws std::bad_alloc when memory runs out.
class GrowingBytes {
public:
    GrowingBytes() = default;
    GrowingBytes(const GrowingBytes& other);
    GrowingBytes& operator=(const GrowingBytes& other);
    GrowingBytes(GrowingBytes&& other) noexcept;
    GrowingBytes& operator=(GrowingBytes&& other) noexcept;
    ~GrowingBytes();

    void append(std::string_view bytes) {
        if (bytes.size() > capacity_ - size_) grow(bytes.size());
        if (!bytes.empty()) std::char_traits<char>::copy(data_ + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
    }
    std::size_t size() const { return size_; }
    std::string_view view() const { return {data_, size_}; }
    // Empty, and the memory given back.
    void release() noexcept;
    // Empty, the memory kept for what is appended next.
    void clear() noexcept { size_ = 0; }
    // The first `size` bytes kept, the rest dropped (the memory kept).
    void truncate(std::size_t size) noexcept {
        if (size < size_) size_ = size;
    }

private:
    void grow(std::size_t more);
    char* data_ = nullptr;
    std::size_t size_ = 0, capacity_ = 0;
    bool mapped_ = false;  // data_ from the system's page mapping, else from malloc
};

}  // namespace strnum
