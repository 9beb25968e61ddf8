#include "data/large_memory.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

#include "base/error.h"
#include "base/ru.h"

namespace strnum {

using namespace strnum::literals;

void* allocateLarge(std::size_t bytes) {
    bytes = std::max<std::size_t>(bytes, 1);
    constexpr std::size_t huge = std::size_t{2} << 20;
    void* p = nullptr;
    if (bytes >= huge) {
        const std::size_t rounded = (bytes + huge - 1) / huge * huge;
        p = std::aligned_alloc(huge, rounded);
#if defined(MADV_HUGEPAGE)
        if (p) (void)::madvise(p, rounded, MADV_HUGEPAGE);
#endif
    }
    if (!p) p = std::malloc(bytes);
    if (!p) throwError(ErrorKind::Io, std::string("Недостаточно памяти для таблицы"_cp));
    return p;
}

void freeLarge(void* p) noexcept { std::free(p); }

}  // namespace strnum
