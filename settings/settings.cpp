#include "settings/settings.h"

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "identity/registration_number.h"
#include "settings/ini_file.h"
#include "tables/table.h"

namespace strnum {

using namespace strnum::literals;

Settings loadSettings(const std::filesystem::path& file, std::vector<std::string>* problems) {
    const IniFile ini = IniFile::load(file);
    Settings s;
    const auto badValue = [&](std::string_view section, std::string_view key, std::string_view value) {
        std::string message = std::string("Файл настроек "_cp) + pathTo1251(file) +
                              std::string(": недопустимое значение ["_cp) + std::string(section) + "] " +
                              std::string(key) + "=" + std::string(value) +
                              std::string(", взято значение по умолчанию"_cp);
        if (!problems) throw Error(ErrorKind::InvalidArgument, std::move(message));
        problems->push_back(std::move(message));
    };
    s.dbPath = ini.value("Init", "DBPath");
    s.wayPath = ini.value("Init", "WayPath");

    if (auto cp = ini.get("Tables", "DefaultCodePage")) {
        if (*cp == "866")
            s.engine.defaultCodePage = CodePage::Cp866;
        else if (*cp == "1251")
            s.engine.defaultCodePage = CodePage::Cp1251;
        else
            badValue("Tables", "DefaultCodePage", *cp);
    }
    if (auto scheme = ini.get("Tables", "LockScheme")) {
        if (equalsIgnoreCase(*scheme, "dBASE"))
            s.engine.lockScheme = LockScheme::Dbase;
        else if (equalsIgnoreCase(*scheme, "Clipper"))
            s.engine.lockScheme = LockScheme::Clipper;
        else if (equalsIgnoreCase(*scheme, "ClipperExtended"))
            s.engine.lockScheme = LockScheme::ClipperExtended;
        else if (equalsIgnoreCase(*scheme, "FoxPro"))
            s.engine.lockScheme = LockScheme::FoxPro;
        else
            badValue("Tables", "LockScheme", *scheme);
    }
    if (auto wait = ini.get("Tables", "LockWait")) {
        const auto ms = toInt32(*wait);
        if (!ms || *ms < 0)
            badValue("Tables", "LockWait", *wait);
        else
            s.engine.lockWaitMilliseconds = *ms;
    }
    if (auto threads = ini.get("Tables", "Threads")) {
        const auto n = toInt32(*threads);
        if (!n || *n < 0 || *n > 256)
            badValue("Tables", "Threads", *threads);
        else
            s.engine.threads = *n;
    }
    for (char drive = 'A'; drive <= 'Z'; ++drive) {
        if (auto target = ini.get("Drives", std::string(1, drive))) {
            if (target->empty())
                badValue("Drives", std::string(1, drive), *target);
            else
                s.engine.drives[drive] = pathFrom1251(*target);
        }
    }
    s.printerDevice = ini.value("Printer", "LPT1", defaultPrinterDevice());
    if (auto reg = ini.get("Batch", "RegNum")) s.batchRegNum = *reg;
    if (auto keep = ini.get("Journal", "Keep")) {
        const auto days = toInt32(*keep);
        if (!days || *days < 0 || *days > 36500)
            badValue("Journal", "Keep", *keep);
        else
            s.journalKeepDays = *days;
    }
    return s;
}

void saveDirectories(const std::filesystem::path& file, const std::string& dbPath, const std::string& wayPath) {
    IniFile ini = IniFile::load(file);
    ini.set("Init", "DBPath", dbPath);
    ini.set("Init", "WayPath", wayPath);
    ini.save(file);
}

}  // namespace strnum
