// libFuzzer target for the dBASE reader and the index-key parsers: any bytes as a .DBF file
// (opened, walked, every field read, walked in two halves, written behind) and as
// .NDX/.NTX/.MDX/.CDX index files.  Failures must be strnum::Error; anything else (crash,
// hang, read past the end, a split walk unlike one walk) is a bug.
//
//   build/fuzz/fuzz/fuzz_dbf fuzz/corpus_dbf -max_total_time=60
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
                    for (std::size_t ahead = 1; ahead <= 3; ++ahead) {
                        (void)t.peekText(ahead, f, text);
                        (void)t.peekDate(ahead, f);
                    }
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
        // A walk split in parts visits what one walk visits; a part that ends early ends
        // the walk (the parts after it are no part of it).
        {
            std::vector<std::int64_t> one, two;
            for (t.first(); !t.eof(); t.next()) one.push_back(t.recordNumber());
            // In three parts, split where the input's last bytes say.
            strnum::DbfTable earlier(file, "F.DBF", settings);
            const auto slots = earlier.walkSlots();
            const std::int64_t total = slots ? slots->second : 0;
            const std::int64_t a = total > 0 ? 1 + (size > 0 ? data[size - 1] : 0) % total : 0;
            const std::int64_t b = total > 0 ? a + 1 + (size > 1 ? data[size - 2] : 0) % total : 0;
            const std::unique_ptr<strnum::Table> middle = earlier.splitWalkAt(a);
            const std::unique_ptr<strnum::Table> later = middle ? middle->splitWalkAt(b) : nullptr;
            bool on = true;
            for (strnum::Table* part : {static_cast<strnum::Table*>(&earlier), middle.get(), later.get()}) {
                if (!part || !on) continue;
                for (part->first(); !part->eof(); part->next()) two.push_back(part->recordNumber());
                on = part->walkReachedSplit();
            }
            if (one != two) __builtin_trap();
        }
        // A look-ahead at one distance, as a walk asks it (carried on from record to record,
        // some records skipped), names the record the walk reaches that many records on.
        {
            strnum::FieldId c = -1;
            for (strnum::FieldId f = 0; f < n && c < 0; ++f)
                if (t.fields()[static_cast<std::size_t>(f)].type == 'C') c = f;
            std::vector<std::string> texts;
            for (t.first(); c >= 0 && !t.eof(); t.next()) texts.push_back(t.text(c));
            for (std::size_t ahead = 1; c >= 0 && ahead <= 3; ahead += 2) {
                std::size_t i = 0;
                for (t.first(); !t.eof(); t.next(), ++i) {
                    if (i % 5 == 4 || i >= texts.size()) continue;
                    if (!t.peekText(ahead, c, text)) continue;
                    if (i + ahead >= texts.size() || text != texts[i + ahead]) __builtin_trap();
                }
            }
        }
        // Writing behind over the same bytes: every other record's first character field.
        t.setWriteBehind(true);
        strnum::FieldId c = -1;
        for (strnum::FieldId f = 0; f < n && c < 0; ++f)
            if (t.fields()[static_cast<std::size_t>(f)].type == 'C') c = f;
        bool odd = false;
        for (t.first(); c >= 0 && !t.eof(); t.next()) {
            if ((odd = !odd)) continue;
            try {
                t.edit();
                t.setText(c, "X");
                t.post();
            } catch (const strnum::Error&) {
                if (t.editing()) t.cancel();
            }
        }
        (void)t.flushWrites();
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
