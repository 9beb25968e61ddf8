#include "cli/district_run.h"

#include <filesystem>
#include <iostream>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "cli/commands.h"
#include "data/number_directory.h"
#include "system/paths.h"

namespace strnum::cli {

using namespace strnum::literals;

std::string to1251(const std::string& utf8, const char* what) {
    auto t = utf8To1251(utf8);
    if (!t)
        throwError(ErrorKind::InvalidArgument, std::string(what) + std::string(": знак вне кодовой страницы 1251"_cp));
    return *t;
}

DistrictRun::DistrictRun(const std::string& way, const std::string& nums) {
    std::vector<std::string> problems;
    settings = loadSettings(std::filesystem::current_path() / kSettingsFileName, &problems);
    for (const auto& p : problems) std::cerr << cp1251ToUtf8(p) << "\n";
    if (!way.empty()) settings.wayPath = to1251(way, "--way");
    if (!nums.empty()) settings.dbPath = to1251(nums, "--nums");
    tblPDL.setSettings(settings.engine);
    tblNUM.setSettings(settings.engine);
    tblNUM.setDirectory(resolveDirectory(settings.dbPath, settings.engine));
}

RunContext DistrictRun::context() {
    tblPDL.setSettings(settings.engine);
    return RunContext{host, report, tblPDL, [this]() -> Table& { return openNumberDirectory(tblNUM); },
                      settings.engine};
}

void DistrictRun::finish(bool ok, const std::string& paged, const std::string& rtf, const std::string* json) {
    if (json) {
        std::cout << *json << std::flush;
        host.printTroubles(std::cerr);
    } else {
        host.print(report, std::cout, std::cerr);
    }
    bool saved = true;
    try {
        saveReportFiles(report, paged, rtf);
    } catch (const Error& e) {
        std::cerr << e.utf8() << '\n';
        saved = false;
    }
    exitStatus() = !ok ? 1 : (!saved || !host.notices.empty()) ? 3 : 0;
}

}  // namespace strnum::cli
