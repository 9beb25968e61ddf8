// The settings file under any bytes: read as SOBES.INI (every value that cannot be used is
// a problem named, never a crash), and kept line for line through a change and a save: a
// value set reads back, and every other line of the file is written back as it was.
//
//   build/fuzz/fuzz/fuzz_settings fuzz/corpus_settings -max_total_time=60
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/scratch.h"
#include "settings/ini_file.h"
#include "settings/settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace strnum;
    using fuzz::check;
    const std::filesystem::path file = fuzz::writeScratch("SOBES.INI", data, size);
    try {
        std::vector<std::string> problems;
        const Settings s = loadSettings(file, &problems);
        check(s.engine.lockWaitMilliseconds >= 0);
        check(s.engine.defaultCodePage == CodePage::Cp866 || s.engine.defaultCodePage == CodePage::Cp1251);
        for (const auto& [drive, folder] : s.engine.drives) check(drive >= 'A' && drive <= 'Z' && !folder.empty());
        for (const std::string& p : problems) check(p.find("SOBES.INI") != std::string::npos);
    } catch (const Error&) {
        return 0;  // not a text file: refused, and never written over
    }

    const IniFile before = IniFile::load(file);
    IniFile changed = before;
    changed.set("Init", "WayPath", "C:\\ORTAN");
    check(changed.get("Init", "WayPath") == std::string("C:\\ORTAN"));
    const std::filesystem::path copy = fuzz::scratchDir() / "SOBES2.INI";
    changed.save(copy);
    const IniFile after = IniFile::load(copy);
    check(after.lines() == changed.lines());
    // Every line of the file before is still there, in its order, but the one that held
    // the value; at most the value's line, a blank line and the section's header are new.
    const auto& old = before.lines();
    const auto& now = after.lines();
    const auto keptInOrder = [&](std::size_t skip) {
        std::size_t j = 0;
        for (std::size_t i = 0; i < old.size(); ++i) {
            if (i == skip) continue;
            while (j < now.size() && now[j] != old[i]) ++j;
            if (j == now.size()) return false;
            ++j;
        }
        return true;
    };
    bool kept = keptInOrder(old.size());
    for (std::size_t skip = 0; !kept && skip < old.size(); ++skip) kept = keptInOrder(skip);
    check(kept);
    check(now.size() <= old.size() + 3);
    return 0;
}
