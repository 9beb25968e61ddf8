#include "operations/find_records.h"

#include <memory>
#include <optional>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "data/file_descriptions.h"
#include "identity/insurance_number.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kNameMax = 25;
constexpr std::size_t kBirthMax = 11;
constexpr std::size_t kTypedMax = 25;
constexpr std::size_t kTypedNumberMax = 9;

// The criteria as the run fixes them from the edits.
struct Criteria {
    bool byNumber = false;
    std::int32_t number = 0;
    std::string surname, name, patronymic;
};

// From the edits: a number typed in edtNum (its first 25 characters, of which at most the
// first 9), else the three names (their first 25 characters).  Throws Conversion for a
// number that is no integer.
Criteria fix(const FindCriteria& typed) {
    Criteria c;
    if (!typed.number.empty()) {
        std::string text = typed.number.substr(0, kTypedMax);
        if (text.size() > kTypedNumberMax) text.resize(kTypedNumberMax);
        const std::optional<std::int32_t> n = toInt32(text);
        if (!n) {
            // The first nine characters are the number; a number typed as it is printed
            // ("877-422-464 45") is told how to type it.
            std::string m = "\"" + text + str("\" не является целым числом"_cp);
            if (typed.number.size() > text.size())
                m += str(" (первые 9 знаков из введенного \""_cp) + typed.number.substr(0, kTypedMax) + "\")";
            m += str(": номер вводится цифрами без дефисов и контрольного числа, например 877422464"_cp);
            throwError(ErrorKind::Conversion, std::move(m));
        }
        c.byNumber = true;
        c.number = *n;
        return c;
    }
    c.surname = typed.surname.substr(0, kTypedMax);
    c.name = typed.name.substr(0, kTypedMax);
    c.patronymic = typed.patronymic.substr(0, kTypedMax);
    return c;
}

struct FindFields {
    FieldId key, surname, name, patronymic, birth, number;
};

struct FindCounters {
    std::int32_t found = 0;  // records found in the file
    std::int32_t read = 0;   // records read
    FindCounters& operator+=(const FindCounters& o) {
        found += o.found;
        read += o.read;
        return *this;
    }
};

// What the steps of one file share.
struct Pass {
    const Criteria& criteria;
    const FindFields& fields;
    const std::string& written;  // the district directory as written
    const std::string& tableName;
    Channel<FoundRecord>* found;  // every record found, in order (none: not asked for)
};

// Whether a record carries the number or the names searched for: the values compared, read
// ahead of the step.
struct Match {
    bool found = false;
    std::int32_t body = 0;   // the number's body
    std::string numberText;  // at most 11 characters, lost leading zeros put back
};

class FindStep final : public RecordStep<Match, FindCounters> {
public:
    explicit FindStep(const Pass& pass) : pass_(pass), c_(pass.criteria), f_(pass.fields) {}

private:
    // Steps 3.2 to 3.4: the number's body, or the names, decide the match.
    void read(const Table& file, Match& m) override {
        if (c_.byNumber) {
            m.body = bodyOf(file, m.numberText);
            m.found = m.body == c_.number;
            return;
        }
        m.found = file.textStartIs(f_.surname, kNameMax, c_.surname) &&
                  (c_.name.empty() || file.textStartIs(f_.name, kNameMax, c_.name)) &&
                  (c_.patronymic.empty() || file.textStartIs(f_.patronymic, kNameMax, c_.patronymic));
        if (m.found) m.body = bodyOf(file, m.numberText);
    }

    void step(FilePart& part, const Match& m) override {
        // Step 3.1: counted.
        ++counters.read;
        if (!m.found) return;

        // Step 3.5: found (the file's heading goes before its first found line).
        ++counters.found;
        const Table& file = part.file();
        FoundRecord r;
        r.directory = pass_.written;
        r.table = pass_.tableName;
        file.textInto(f_.key, r.key);
        cutText(file, f_.surname, kNameMax, r.surname);
        cutText(file, f_.name, kNameMax, r.name);
        cutText(file, f_.patronymic, kNameMax, r.patronymic);
        cutText(file, f_.birth, kBirthMax, r.birth);
        r.numberText = m.numberText;
        r.body = m.body;
        // The record description: key, surname, name, patronymic, " д/р ", birth date, " ".
        line_.assign("П/д N"_cp).append(r.key).append(" ").append(r.surname).append(" ").append(r.name);
        line_.append(" ").append(r.patronymic).append(" д/р "_cp).append(r.birth).append(" ");
        if (!c_.byNumber) line_.append(" стр.№ "_cp).append(displayForm(m.body));
        if (pass_.found) pass_.found->send(part, std::move(r));
        part.report().appendLine(line_);
    }

    // The number text (at most 11 characters), its lost leading zeros put back; its first
    // nine characters as an integer, 0 when empty or not one.
    std::int32_t bodyOf(const Table& file, std::string& text) const {
        cutText(file, f_.number, kNumberTextMax, text);
        if (text.size() == 9 || text.size() == 10) text = completeLeadingZeros(text);
        if (text.empty()) return 0;
        return toInt32(std::string_view(text).substr(0, 9)).value_or(0);
    }

    const Pass& pass_;
    const Criteria& c_;
    const FindFields& f_;
    std::string line_;
};

// The file search: kind `kind` of the district in `directory` (W as written: `written`).
void fileSearch(FindRun& run, FileWalks& walks, const Criteria& criteria, Channel<FoundRecord>* found, int kind,
                const std::string& written, const std::filesystem::path& directory) {
    // Step 1: the shared table object set to the file; one that cannot be opened is passed
    // by without a word in the report.
    if (!openDistrictFile(run, kind, directory)) return;

    // Step 4, the closing step, taken on every way out of the search.
    FindCounters counters;
    struct Closing {
        FindRun& run;
        const FindCounters& counters;
        ~Closing() {
            run.tblPDL.close();
            run.foundCount += counters.found;
            run.readCount += counters.read;
            if (counters.found > 0) {
                run.report.appendLine(str("     Найдено "_cp) + std::to_string(counters.found) + " ");
                run.report.appendLine("");
            }
        }
    } closing{run, counters};

    // Step 2: the six fields; the record count, for the heading before the first found line.
    Table& file = run.tblPDL.table();
    const FileDescription& d = fileDescription(kind);
    const std::string tableName = districtTableName(kind);
    const FindFields fields{file.fieldByName(d.key),        file.fieldByName(d.surname),   file.fieldByName(d.name),
                            file.fieldByName(d.patronymic), file.fieldByName(d.birthDate), file.fieldByName(d.number)};
    FileWalk walk = walks.begin(file, WalkOptions{});
    walk.headingBeforeFirstLine(str("Участок "_cp) + written + str("  файл "_cp) + tableName + " - " +
                                std::to_string(walk.recordCount()) + str(" записей"_cp));

    // Step 3: every record, in physical order.
    const Pass pass{criteria, fields, written, tableName, found};
    walk.walk<FindStep>([&] { return std::make_unique<FindStep>(pass); }, counters);
}

}  // namespace

std::string findSummary(std::int32_t found) {
    return str("Найдено : "_cp) + std::to_string(found) + str(" записей. Показать отчет ?"_cp);
}

bool findRecords(FindRun& run, std::string_view wayDirectory) {
    FileWalks walks(run.host, run.report, run.settings);
    Criteria criteria;
    Channel<FoundRecord> found([&run](FoundRecord& r, ReportSink&) { run.found(r); });
    DistrictWalk walk;
    // Step 1: the title lines; the criteria fixed from the edits.
    walk.title = [&] {
        run.report.appendLine(str("Поиск в БД ОРТАН"_cp));
        criteria = fix(run.criteria);
        if (criteria.byNumber)
            run.report.appendLine(str(" стр.№ "_cp) + displayForm(criteria.number));
        else
            run.report.appendLine(str(" ФИО: "_cp) + criteria.surname + " " + criteria.name + " " +
                                  criteria.patronymic);
    };
    // Steps 2 and 3.
    walk.prepare = [&] {
        run.tblPDL.close();
        run.tblPDL.setTableType(TableType::Dbase);
        run.tblPDL.setTableName("PDL.DBF");
        run.foundCount = 0;
        run.readCount = 0;
    };
    // Step 4: the figures reached before the district.
    walk.atDistrict = [&] {
        run.host.setLabel(HostLabel::Count, std::to_string(run.foundCount));
        run.host.setLabel(HostLabel::Found, std::to_string(run.foundCount));
        run.host.setLabel(HostLabel::Processed, std::to_string(run.readCount));
    };
    // Steps 5 and 6.
    walk.skipMissing = true;
    walk.step = [&](const std::string& written, const std::filesystem::path& directory) {
        for (int kind = 0; kind < kFileKindCount; ++kind)
            fileSearch(run, walks, criteria, run.found ? &found : nullptr, kind, written, directory);
    };
    // Step 7.
    walk.summary = [&] { return findSummary(run.foundCount); };
    walk.finish = [&] { run.tblPDL.close(); };
    return runDistrictWalk(run.host, run.report, wayDirectory, run.settings, walk);
}

}  // namespace strnum
