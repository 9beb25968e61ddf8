// A private scratch folder for the fuzzers' table files: in memory (/dev/shm) where the
// system has it, so that writing an input and opening it costs no disk traffic, and of its
// own, so that looking for a table's index files reads nothing but what the fuzzer put there.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace strnum::fuzz {

inline const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec) || ::access(base.c_str(), W_OK) != 0)
            base = std::filesystem::temp_directory_path();
        const std::filesystem::path d = base / ("strnum-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d, ec);
        return d;
    }();
    return dir;
}

// Writes the input as scratchDir()/name and returns its path.
inline std::filesystem::path writeScratch(const char* name, const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = scratchDir() / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return file;
}

}  // namespace strnum::fuzz
