// Paradox reader under hostile bytes: the input is written as a .DB file and opened, walked,
// read field by field and searched in both kinds of order, and in a grouped order with and
// without hints (which must find the same).  Errors are expected; crashes, reads past the
// end and hangs are not.
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "fuzz/scratch.h"
#include "paradox/paradox_order.h"
#include "paradox/paradox_table.h"

namespace {

// Every record's first two values searched in a grouped order, each hinted three searches
// ahead: a hinted search finds what a plain one finds.
void hintedSearches(strnum::ParadoxTable& t) {
    const auto grouped = strnum::buildParadoxOrder(t.header(), t.records(), {0, 1}, nullptr, "FUZZ", 0);
    std::vector<std::array<strnum::KeyValue, 2>> keys;
    t.setIndexFieldNames("");
    for (t.first(); !t.eof() && keys.size() < 32; t.next()) keys.push_back({t.text(0), t.text(1)});
    strnum::ParadoxOrder::Hints hints;
    std::vector<std::uint64_t> hint(keys.size() + 3, 0);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        try {
            if (i + 3 < keys.size()) hint[i + 3] = grouped->prefetch(keys[i + 3], hints);
            if (grouped->findHinted(keys[i], hints, hint[i]) != grouped->find(keys[i])) __builtin_trap();
        } catch (const strnum::Error&) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = strnum::fuzz::writeScratch("F.db", data, size);
    try {
        strnum::ParadoxTable t(file, strnum::EngineSettings{});
        const int n = static_cast<int>(t.fields().size());
        // Every typed read of every field on the first records; on the others the reads that
        // fit the field's kind (a conversion that fails throws: the same path each time, and
        // costly).
        int walked = 0;
        for (t.first(); !t.eof(); t.next(), ++walked)
            for (int f = 0; f < n; ++f) {
                const strnum::FieldKind kind = t.fields()[static_cast<std::size_t>(f)].kind;
                const bool every = walked < 2;
                (void)t.text(f);
                (void)t.isEmpty(f);
                if (every || kind == strnum::FieldKind::Date) (void)t.date(f);
                if (every || kind == strnum::FieldKind::Integer || kind == strnum::FieldKind::Number) try {
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
        if (n >= 2) hintedSearches(t);
    } catch (const strnum::Error&) {
    }
    return 0;
}
