#include "batches/not_found_table.h"

#include <algorithm>
#include <system_error>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "paradox/paradox_table.h"
#include "system/file.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

namespace fs = std::filesystem;

namespace {

// Where a table is written anew before it is put in place.
constexpr const char* kNewTableFolder = "ANKT.~new";

// Field types the table can be written anew with.
bool writable(std::uint8_t type) {
    switch (type) {
        case pxtype::Alpha:
        case pxtype::Short:
        case pxtype::Long:
        case pxtype::Date:
        case pxtype::Number:
        case pxtype::Money:
        case pxtype::Logical:
            return true;
        default:
            return false;
    }
}

std::int32_t numOf(const char* record) { return static_cast<std::int32_t>(pxDecodeInt(record, 4).value_or(0)); }

}  // namespace

std::vector<ParadoxFieldDef> notFoundTableFields() {
    return {{"NUM", pxtype::Long, 0},    {"FAM", pxtype::Alpha, 25}, {"NAM", pxtype::Alpha, 20},
            {"OTCH", pxtype::Alpha, 20}, {"BIRTH", pxtype::Date, 0}, {"COND", pxtype::Alpha, 1},
            {"SEX", pxtype::Alpha, 1},   {"DATMOD", pxtype::Date, 0}};
}

void createNotFoundTable(const fs::path& directory) {
    ParadoxCreateOptions o;
    o.keyFields = 1;
    o.codePage = CodePage::Cp866;
    createParadoxTable(directory / "ANKT.DB", notFoundTableFields(), o);
}

NotFoundTable::NotFoundTable(const fs::path& directory) : directory_(directory) {
    // Every failure names the table's file and says why; a table that is not ours is never
    // written, nor its .PX.
    try {
        openOrCreate();
    } catch (const Error& e) {
        std::string m("Таблица ненайденных номеров "_cp);
        m += pathTo1251(file_.empty() ? directory / "ANKT.DB" : file_);
        m += " не открыта: "_cp;
        m += e.text();
        throwError(e.kind(), std::move(m));
    }
}

void NotFoundTable::openOrCreate() {
    std::error_code ec;
    if (!fs::is_directory(directory_, ec))
        throwError(ErrorKind::NotFound, std::string("нет каталога "_cp) + pathTo1251(directory_));
    auto found = findInDirectory(directory_, "ANKT.DB");
    if (!found) {
        createNotFoundTable(directory_);
        found = directory_ / "ANKT.DB";
    }
    file_ = *found;
    const std::string name = pathTo1251(file_.filename());
    // The layout first: a table of another layout (or no table at all) is left as it is.
    header_ = readParadoxHeader(file_, name, CodePage::Cp866);
    const auto& f = header_.fields;
    const auto expected = notFoundTableFields();
    bool ok = f.size() >= expected.size() && header_.keyFields == 1;
    for (std::size_t i = 0; ok && i < expected.size(); ++i) {
        const int size = expected[i].type == pxtype::Alpha ? expected[i].size : 4;
        ok = f[i].type == expected[i].type && f[i].size == size;
    }
    if (!ok) throwError(ErrorKind::Corrupt, std::string("не совпадает по структуре с таблицей ненайденных номеров"_cp));
    open();
    if (!lock_->writable()) throwError(ErrorKind::Io, std::string("нет права записи в файл"_cp));
    // The .PX made anew from the blocks: whatever a run killed on the way left of it.
    lock_.reset();
    { ParadoxKeyedWriter repair(file_, name); }
    open();
    header_ = readParadoxHeader(file_, name, CodePage::Cp866);
    rewritable_ = std::all_of(f.begin(), f.end(), [](const ParadoxField& x) { return writable(x.type); });
    const ParadoxRecords records = loadParadoxRecords(file_, header_, name);
    numbers_.reserve(records.count());
    for (std::size_t i = 0; i < records.count(); ++i) numbers_.insert(numOf(records.record(i)));
}

NotFoundTable::~NotFoundTable() {
    try {
        flush();
    } catch (const Error&) {
    }
}

void NotFoundTable::open() {
    lock_ = std::make_unique<PxFile>(file_, PxFile::Mode::ReadWrite, pathTo1251(file_.filename()));
    lock_->lockExclusive();
}

bool NotFoundTable::add(std::int32_t num, std::string_view fam, std::string_view nam, std::string_view otch, Date birth,
                        std::string_view sex) {
    if (numbers_.count(num)) return false;
    const ParadoxHeader& h = header_;
    std::string rec(static_cast<std::size_t>(h.recordSize), '\0');
    const auto put = [&](std::size_t i, std::string_view text) {
        const ParadoxField& f = h.fields[i];
        const std::string_view kept = text.substr(0, std::min(text.size(), static_cast<std::size_t>(f.size)));
        if (!pxEncodeAlpha(rec.data() + f.offset, f.size, kept, h.textCodePage)) {
            std::string m("Текст не записывается в поле "_cp);
            m += f.name;
            m += " "_cp;
            m += "таблицы "_cp;
            m += pathTo1251(file_.filename());
            throwError(ErrorKind::Conversion, std::move(m));
        }
    };
    pxEncodeInt(rec.data() + h.fields[0].offset, 4, num);
    put(1, fam);
    put(2, nam);
    put(3, otch);
    if (!birth.empty()) pxEncodeInt(rec.data() + h.fields[4].offset, 4, birth.serial());
    put(5, "P");
    put(6, sex);
    numbers_.insert(num);
    pending_.emplace_back(num, std::move(rec));
    return true;
}

void NotFoundTable::flush() {
    if (pending_.empty()) return;
    // Records written to a table that another program removed or replaced reach no one.
    if (!lock_ || !lock_->stillAtPath()) {
        std::string m("Таблица удалена или заменена другой программой: "_cp);
        m += pathTo1251(file_);
        throwError(ErrorKind::Io, std::move(m));
    }
    // A table written anew that cannot be put in place (another program keeps the old one
    // open where that stops a rename) gets the records one by one.
    if (!rewritable_ || !rewrite()) insertOneByOne();
    pending_.clear();
}

bool NotFoundTable::rewrite() {
    const std::string name = pathTo1251(file_.filename());
    // The records as the file holds them now, each number once, then the gathered ones.
    const ParadoxHeader h = readParadoxHeader(file_, name, CodePage::Cp866);
    const ParadoxRecords records = loadParadoxRecords(file_, h, name);
    const auto rs = static_cast<std::size_t>(h.recordSize);
    std::string rows;
    rows.reserve((records.count() + pending_.size()) * rs);
    std::unordered_set<std::int32_t> in;
    in.reserve(records.count() + pending_.size());
    for (std::size_t i = 0; i < records.count(); ++i)
        if (in.insert(numOf(records.record(i))).second) rows.append(records.record(i), rs);
    for (const auto& [num, rec] : pending_)
        if (in.insert(num).second) rows += rec;

    std::vector<ParadoxFieldDef> fields;
    for (const ParadoxField& f : h.fields) fields.push_back({f.name, f.type, f.type == pxtype::Alpha ? f.size : 0});
    ParadoxCreateOptions options;
    options.keyFields = h.keyFields;
    options.codePage = h.textCodePage == CodePage::Cp1251 ? CodePage::Cp1251 : CodePage::Cp866;

    // Written beside, on disk, then put in place: .DB first, then .PX.
    const fs::path folder = directory_ / kNewTableFolder;
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!fs::create_directory(folder, ec))
        throwError(ErrorKind::Io, std::string("Не удалось создать каталог "_cp) + pathTo1251(folder));
    struct Cleanup {
        fs::path folder;
        ~Cleanup() {
            std::error_code e;
            fs::remove_all(folder, e);
        }
    } cleanup{folder};
    const fs::path newDb = folder / file_.filename(), newPx = paradoxIndexPath(newDb);
    createParadoxTable(newDb, fields, options, rows);
    File(newDb, File::Mode::ReadWrite).sync();
    File(newPx, File::Mode::ReadWrite).sync();
    const std::u8string pxName = paradoxIndexPath(file_).filename().u8string();
    const auto px = findInDirectory(directory_, std::string(pxName.begin(), pxName.end()));
    lock_.reset();  // a file that is open cannot be renamed over everywhere
    struct Relock {
        NotFoundTable& t;
        ~Relock() {
            try {
                t.open();
            } catch (const Error&) {
            }
        }
    } relock{*this};
    try {
        File::replace(newDb, file_);
    } catch (const Error&) {
        return false;
    }
    try {
        File::replace(newPx, px ? *px : paradoxIndexPath(file_));
    } catch (const Error&) {
        ParadoxKeyedWriter repair(file_, name);  // the .PX made anew from the new blocks
    }
    File::syncDirectory(directory_);
    return true;
}

void NotFoundTable::insertOneByOne() {
    lock_.reset();  // the writer holds the table itself
    struct Relock {
        NotFoundTable& t;
        ~Relock() {
            try {
                t.open();
            } catch (const Error&) {
            }
        }
    } relock{*this};
    ParadoxKeyedWriter writer(file_, pathTo1251(file_.filename()));
    for (const auto& [num, rec] : pending_) {
        try {
            writer.insert(rec);
        } catch (const DuplicateKeyError&) {
            // another program put the number there meanwhile: the first stays
        }
    }
}

}  // namespace strnum
