#include "walk/district_walk.h"

#include <cstdio>
#include <optional>
#include <system_error>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "data/table_open.h"
#include "system/paths.h"
#include "tables/table.h"

namespace strnum {

using namespace strnum::literals;

std::string errorText(const std::exception& e) {
    if (const auto* error = dynamic_cast<const Error*>(&e)) return std::string(error->text());
    // Exceptions of the standard library speak ASCII (std::bad_alloc and the like).
    return e.what();
}

void noticeUnopened(Host& host, const Error& error) {
    if (error.kind() != ErrorKind::NotFound) host.notice(error.text());
}

namespace {

// Closing step 7 as an object, so that it runs on every path out of the walk.
class ClosingStep {
public:
    ClosingStep(Host& host, const DistrictWalk& walk) : host_(host), walk_(walk) {}
    ~ClosingStep() {
        host_.setBusy(false);
        host_.showProgress(false);
        if (walk_.finish) walk_.finish();
    }
    ClosingStep(const ClosingStep&) = delete;
    ClosingStep& operator=(const ClosingStep&) = delete;

private:
    Host& host_;
    const DistrictWalk& walk_;
};

// Field W of the district list: a directory is a text, and a field of another type would
// read as no directory at all.
FieldId directoryField(const Table& way) {
    const FieldId w = way.fieldByName("W");
    const FieldInfo& info = way.fields()[static_cast<std::size_t>(w)];
    if (info.kind == FieldKind::Text) return w;
    const auto code = static_cast<unsigned char>(info.type);
    char type[8];
    std::snprintf(type, sizeof type, code > 0x20 && code < 0x7F ? "%c" : "0x%02X", code);
    throwError(ErrorKind::Unsupported, std::string("Таблица "_cp) + pathTo1251(way.file()) +
                                           std::string(": поле W не символьное (тип "_cp) + type +
                                           std::string("), каталоги участков в нем не записаны"_cp));
}

}  // namespace

bool runDistrictWalk(Host& host, Report& report, std::string_view wayDirectory, const EngineSettings& settings,
                     const DistrictWalk& walk) {
    report.clear();
    std::unique_ptr<Table> way;
    std::int64_t count = 0;
    try {
        if (walk.title) walk.title();
        way = openTable(resolveDirectory(wayDirectory, settings), "WAY.DBF", TableType::Dbase, settings);
        if (walk.prepare) walk.prepare();
        count = way->recordCount();
    } catch (const std::exception& e) {
        if (walk.finish) walk.finish();
        host.showError(errorText(e));
        return false;
    }

    std::string failure;
    bool failed = false;
    {
        host.setProgressRange(0, static_cast<int>(count));
        host.setProgress(0);
        host.showProgress(true);
        host.setBusy(true);
        ClosingStep closing(host, walk);
        try {
            int ordinal = 0;
            std::optional<FieldId> w;  // looked up with the first record, as it is read
            for (way->first(); !way->eof(); way->next()) {
                host.setProgress(++ordinal);
                if (!w) w = directoryField(*way);
                const std::string written = way->text(*w);
                host.setLabel(HostLabel::District, written);
                if (walk.atDistrict) walk.atDistrict();
                host.processEvents();
                const std::filesystem::path directory = resolveDirectory(written, settings);
                std::error_code ec;
                if (walk.skipMissing && !std::filesystem::is_directory(directory, ec)) {
                    report.appendLine(std::string("Не найден каталог "_cp) + written);
                    continue;
                }
                walk.step(written, directory);
            }
        } catch (const std::exception& e) {
            failed = true;
            failure = errorText(e);
        }
        way.reset();
    }
    if (host.confirm(walk.summary ? walk.summary() : std::string())) host.showReport(false);
    if (failed) host.showError(failure);
    return !failed;
}

}  // namespace strnum
