#include "system/large_memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

void* allocateLarge(std::size_t bytes) {
    bytes = std::max<std::size_t>(bytes, 1);
    void* p = nullptr;
#ifndef _WIN32
    // Windows gives large pages only to programs with a privilege clerks' accounts lack, and
    // its C library has no aligned_alloc that free() could release: plain blocks there.
    constexpr std::size_t huge = std::size_t{2} << 20;
    if (bytes >= huge) {
        const std::size_t rounded = (bytes + huge - 1) / huge * huge;
        p = std::aligned_alloc(huge, rounded);
#if defined(MADV_HUGEPAGE)
        if (p) (void)::madvise(p, rounded, MADV_HUGEPAGE);
#endif
    }
#endif
    if (!p) p = std::malloc(bytes);
    if (!p) throwError(ErrorKind::Io, std::string("Недостаточно памяти для таблицы"_cp));
    return p;
}

void freeLarge(void* p) noexcept { std::free(p); }

namespace {

#if defined(__linux__) && defined(MREMAP_MAYMOVE)
constexpr bool kCanMovePages = true;
#else
constexpr bool kCanMovePages = false;
#endif
constexpr std::size_t kMappedFrom = std::size_t{1} << 20;  // smaller blocks come from malloc

}  // namespace

GrowingBytes::GrowingBytes(const GrowingBytes& other) { append(other.view()); }

GrowingBytes& GrowingBytes::operator=(const GrowingBytes& other) {
    if (this != &other) {
        GrowingBytes copy(other);
        *this = std::move(copy);
    }
    return *this;
}

GrowingBytes::GrowingBytes(GrowingBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

GrowingBytes& GrowingBytes::operator=(GrowingBytes&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        mapped_ = std::exchange(other.mapped_, false);
    }
    return *this;
}

GrowingBytes::~GrowingBytes() { release(); }

void GrowingBytes::release() noexcept {
#if defined(__linux__) && defined(MREMAP_MAYMOVE)
    if (mapped_) (void)::munmap(data_, capacity_);
#endif
    if (!mapped_) std::free(data_);
    data_ = nullptr;
    size_ = capacity_ = 0;
    mapped_ = false;
}

void GrowingBytes::grow(std::size_t more) {
    if (more > static_cast<std::size_t>(-1) / 4 - size_) throw std::bad_alloc();
    std::size_t want = std::max<std::size_t>({size_ + more, capacity_ * 2, 4096});
    if (kCanMovePages && want >= kMappedFrom) {
#if defined(__linux__) && defined(MREMAP_MAYMOVE)
        constexpr std::size_t page = std::size_t{64} << 10;
        want = (want + page - 1) / page * page;
        void* p = MAP_FAILED;
        if (mapped_) {
            p = ::mremap(data_, capacity_, want, MREMAP_MAYMOVE);
        } else {
            p = ::mmap(nullptr, want, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED && size_ > 0) std::memcpy(p, data_, size_);
            if (p != MAP_FAILED) std::free(data_);
        }
        if (p == MAP_FAILED) throw std::bad_alloc();
        data_ = static_cast<char*>(p);
        capacity_ = want;
        mapped_ = true;
        return;
#endif
    }
    void* p = std::realloc(data_, want);
    if (!p) throw std::bad_alloc();
    data_ = static_cast<char*>(p);
    capacity_ = want;
}

void keepFreedMemory() noexcept {
#if defined(__GLIBC__)
    // Blocks below 32 MiB come from the heap and go back to it; up to 64 MiB freed at its top
    // stay there.  (Large blocks of records are mapped by allocateLarge in any case.)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

}  // namespace strnum
