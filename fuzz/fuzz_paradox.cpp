// Paradox reader under hostile bytes: the input is written as a .DB file and opened, walked,
// read field by field and searched in both kinds of order.  Errors are expected; crashes,
// reads past the end and hangs are not.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/error.h"
#include "data/paradox_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("fuzz_paradox_" + std::to_string(::getpid()) + ".db");
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        strnum::ParadoxTable t(file, strnum::EngineSettings{});
        const int n = static_cast<int>(t.fields().size());
        for (t.first(); !t.eof(); t.next())
            for (int f = 0; f < n; ++f) {
                (void)t.text(f);
                (void)t.date(f);
                (void)t.isEmpty(f);
                try {
                    (void)t.integer(f);
                } catch (const strnum::Error&) {
                }
            }
        const strnum::KeyValue k = 1;
        (void)t.findKey(std::span(&k, 1));
        if (n >= 2) {
            t.setIndexFieldNames(t.fields()[0].name + ";" + t.fields()[1].name);
            const std::array<strnum::KeyValue, 1> key{std::string("A")};
            try {
                (void)t.findKey(key);
            } catch (const strnum::Error&) {
            }
        }
    } catch (const strnum::Error&) {
    }
    return 0;
}
