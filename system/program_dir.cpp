#include "system/program_dir.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

namespace strnum {

std::filesystem::path programDirectory() {
    std::error_code ec;
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    if (n > 0 && n < std::size(buffer)) return std::filesystem::path(buffer).parent_path();
#else
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return exe.parent_path();
#endif
    return std::filesystem::current_path(ec);
}

}  // namespace strnum
