// A run's journal under any bytes: read up to its first unusable line, never past its end,
// never a crash; every write it gives names a file the journal named, with its bytes before
// and after of one length; a journal cut anywhere gives a prefix of the writes of the whole.
//
//   build/fuzz/fuzz/fuzz_journal fuzz/corpus_journal -max_total_time=60
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "journal/journal_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace strnum;
    using fuzz::check;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const JournalContents whole = parseJournal(bytes, "fuzz");
    for (const JournalWrite& w : whole.writes) {
        check(whole.files.count(w.file) == 1);
        check(w.before.size() == w.after.size());
        check(w.record >= 1);
    }
    check(whole.damage.has_value() || whole.writes.size() <= size);
    const JournalContents cut = parseJournal(bytes.substr(0, size / 2), "fuzz");
    check(cut.writes.size() <= whole.writes.size());
    for (std::size_t k = 0; k < cut.writes.size(); ++k) {
        check(cut.writes[k].record == whole.writes[k].record);
        check(cut.writes[k].after == whole.writes[k].after);
    }
    return 0;
}
