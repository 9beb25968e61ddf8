// Stored district directories under any bytes: a directory written in a table (1251, a
// Windows path or not) mapped to this machine through a drive table, over a small tree of
// folders whose names differ from the written ones only in letter case.  Never throws;
// whatever it finds is a folder of the tree reached component by component, and file names
// compare as Windows compares them.
//
//   build/fuzz/fuzz/fuzz_paths fuzz/corpus_paths -max_total_time=60
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "base/text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/scratch.h"
#include "system/paths.h"
#include "tables/engine_settings.h"

namespace {
namespace fs = std::filesystem;

// ortan/U01, ortan/u02/Sub, Ортан/У03 and a file PDL.DBF under U01.
const fs::path& tree() {
    static const fs::path root = [] {
        const fs::path r = strnum::fuzz::scratchDir() / "tree";
        std::error_code ec;
        fs::create_directories(r / "ortan" / "U01", ec);
        fs::create_directories(r / "ortan" / "u02" / "Sub", ec);
        fs::create_directories(r / fs::path(u8"Ортан") / fs::path(u8"У03"), ec);
        strnum::fuzz::writeScratch("tree/ortan/U01/PDL.DBF", nullptr, 0);
        return r;
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace strnum;
    using fuzz::check;
    if (size == 0) return 0;
    // The first byte: which drive letters the table maps (bit k: letter 'C' + k).
    EngineSettings settings;
    for (int k = 0; k < 8; ++k)
        if (data[0] & (1u << k)) settings.drives[static_cast<char>('C' + k)] = tree();
    const std::string_view written(reinterpret_cast<const char*>(data + 1), size - 1);

    const fs::path resolved = resolveDirectory(written, settings);
    std::error_code ec;
    if (!resolved.empty() && fs::exists(resolved, ec)) (void)fs::is_directory(resolved, ec);

    // As a file name: the entry found compares equal to the name asked for.
    const std::string utf8 = cp1251ToUtf8(written);
    check(fileNamesEqual(utf8, utf8));
    if (auto found = findInDirectory(tree() / "ortan", utf8)) {
        const std::u8string name = found->filename().u8string();
        check(fileNamesEqual(std::string(name.begin(), name.end()), utf8));
    }
    const std::size_t half = utf8.size() / 2;
    const std::string_view a(utf8.data(), half), b(utf8.data() + half, utf8.size() - half);
    check(fileNamesEqual(a, b) == fileNamesEqual(b, a));
    return 0;
}
