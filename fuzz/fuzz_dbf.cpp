// libFuzzer target for the dBASE reader and the index-key parsers: any bytes as a .DBF file
// (opened, walked, every field read, read once and walked in chunks, edited in the chunks
// and written) and as
// .NDX/.NTX/.MDX/.CDX index files.  Failures must be strnum::Error; anything else (crash,
// hang, read past the end, a chunked walk unlike one walk) is a bug.
//
//   build/asan/fuzz/fuzz_dbf fuzz/corpus_dbf -max_total_time=60
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "dbase/dbf_index.h"
#include "dbase/dbf_table.h"
#include "fuzz/scratch.h"
#include "tables/file_scan.h"

namespace {
constexpr std::int64_t kEveryReadRecords = 2;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path file = strnum::fuzz::writeScratch("F.DBF", data, size);
    try {
        strnum::EngineSettings settings;
        strnum::DbfTable t(file, "F.DBF", settings);
        (void)t.recordCount();
        const auto n = static_cast<strnum::FieldId>(t.fields().size());
        std::string text;
        // Every typed read of every field on the first records; on the others the reads that
        // fit the field's kind.  (A conversion that fails builds its message and throws: that
        // path is the same on every record, and costly.)
        std::int64_t walked = 0;
        for (t.first(); !t.eof(); t.next(), ++walked) {
            const bool every = walked < kEveryReadRecords;
            for (strnum::FieldId f = 0; f < n; ++f) {
                const strnum::FieldKind kind = t.fields()[static_cast<std::size_t>(f)].kind;
                t.textInto(f, text);
                (void)t.isEmpty(f);
                if (every) {
                    (void)t.text(f);
                }
                if (every || kind == strnum::FieldKind::Integer || kind == strnum::FieldKind::Number) try {
                        (void)t.integer(f);
                    } catch (const strnum::Error&) {
                    }
                // A field's start against a value: as the texts compare, whatever the bytes.
                if (every && kind == strnum::FieldKind::Text) {
                    const std::string whole = t.text(f);
                    for (const std::size_t max : {std::size_t{3}, std::size_t{25}}) {
                        const std::string start = whole.substr(0, max);
                        std::string other = start;
                        if (!other.empty()) other.back() = static_cast<char>(other.back() ^ 0x20);
                        for (const std::string& v : {start, other, start + "?", std::string("?")})
                            if (t.textStartIs(f, max, v) != (std::string_view(whole).substr(0, max) == v))
                                __builtin_trap();
                    }
                }
                if (every || kind == strnum::FieldKind::Date) try {
                        (void)t.date(f);
                    } catch (const strnum::Error&) {
                    }
            }
        }
        // The file read once and walked in three chunks, split where the input's last bytes
        // say, visits what one walk visits.
        {
            std::vector<std::int64_t> one, two;
            for (t.first(); !t.eof(); t.next()) one.push_back(t.recordNumber());
            strnum::DbfTable loaded(file, "F.DBF", settings);
            strnum::FileScan& scan = *loaded.fileScan();
            if (scan.load(true) != static_cast<std::int64_t>(one.size())) __builtin_trap();
            const std::int64_t total = scan.loadedSlots();
            const std::int64_t a = total > 0 ? (size > 0 ? data[size - 1] : 0) % (total + 1) : 0;
            const std::int64_t b = total > 0 ? a + (size > 1 ? data[size - 2] : 0) % (total - a + 1) : 0;
            std::vector<std::unique_ptr<strnum::Table>> chunks;
            for (const auto& [from, to] : {std::pair{std::int64_t{0}, a}, std::pair{a, b}, std::pair{b, total}})
                if (from < to) chunks.push_back(scan.chunk(from, to));
            for (const auto& chunk : chunks)
                for (chunk->first(); !chunk->eof(); chunk->next()) two.push_back(chunk->recordNumber());
            if (one != two) __builtin_trap();
            // Every other record's first character field changed in the chunks, written by
            // the table: one outcome per post.
            strnum::FieldId c = -1;
            for (strnum::FieldId f = 0; f < n && c < 0; ++f)
                if (t.fields()[static_cast<std::size_t>(f)].type == 'C') c = f;
            bool odd = false;
            for (const auto& chunk : chunks) {
                std::size_t posted = 0;
                for (chunk->first(); c >= 0 && !chunk->eof(); chunk->next()) {
                    if ((odd = !odd)) continue;
                    try {
                        chunk->edit();
                        chunk->setText(c, "X");
                        chunk->post();
                        ++posted;
                    } catch (const strnum::Error&) {
                        if (chunk->editing()) chunk->cancel();
                    }
                }
                const std::size_t kept = scan.kept(*chunk);
                if (kept > posted || scan.write(*chunk).size() != kept) __builtin_trap();
            }
        }
    } catch (const strnum::Error&) {
    }
    const strnum::ByteReader reader = [&bytes](std::uint64_t off, std::size_t n) {
        return off >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(off), n);
    };
    (void)strnum::readNdxKeys(reader, "F.NDX");
    (void)strnum::readNtxKeys(reader, "F.NTX");
    (void)strnum::readMdxKeys(reader, "F.MDX");
    (void)strnum::readCdxKeys(reader, "F.CDX");
    return 0;
}
