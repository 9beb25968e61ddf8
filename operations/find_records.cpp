#include "operations/find_records.h"

#include <memory>
#include <optional>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "data/file_descriptions.h"
#include "identity/insurance_number.h"
#include "walk/district_walk.h"
#include "walk/file_walk.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kNameMax = 25;
constexpr std::size_t kBirthMax = 11;
constexpr std::size_t kTypedMax = 25;
constexpr std::size_t kTypedNumberMax = 9;

std::string str(std::string_view s) { return std::string(s); }

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

// What the steps of one file share; the heading is written once, in its turn.
struct Pass {
    FindRun& run;
    const Criteria& criteria;
    const FindFields& fields;
    const std::string& written;  // the district directory as written
    const std::string& tableName;
    std::int64_t recordCount = 0;
    bool headingWritten = false;
};

// The values of a record are read only when it is found: nothing to read before.
struct NoValues {};

class FindStep final : public RecordStep<NoValues, FindCounters> {
public:
    explicit FindStep(Pass& pass) : pass_(pass), c_(pass.criteria), f_(pass.fields) {}

private:
    void read(const Table&, NoValues&) override {}

    void record(FilePart& part, const NoValues&, std::uint64_t) override {
        // Step 3.1: counted; the window breathes every 100 records.
        ++counters.read;
        if (counters.read % 100 == 0) part.processEvents();
        const Table& file = part.file();

        // Steps 3.2 to 3.4: the number's body, or the names, decide the match.
        std::int32_t body = 0;
        if (c_.byNumber) {
            body = bodyOf(file);
            if (body != c_.number) return;
        } else {
            if (!file.textStartIs(f_.surname, kNameMax, c_.surname)) return;
            if (!c_.name.empty() && !file.textStartIs(f_.name, kNameMax, c_.name)) return;
            if (!c_.patronymic.empty() && !file.textStartIs(f_.patronymic, kNameMax, c_.patronymic)) return;
            body = bodyOf(file);
        }

        // Step 3.5: found; the file's heading before its first found line.
        ++counters.found;
        FoundRecord r;
        r.directory = pass_.written;
        r.table = pass_.tableName;
        file.textInto(f_.key, r.key);
        r.surname = cut(file, f_.surname, kNameMax);
        r.name = cut(file, f_.name, kNameMax);
        r.patronymic = cut(file, f_.patronymic, kNameMax);
        r.birth = cut(file, f_.birth, kBirthMax);
        r.numberText = numberText_;
        r.body = body;
        Pass* pass = &pass_;
        part.inOrder([pass, r] {
            if (!pass->headingWritten) {
                pass->run.report.appendLine(str("Участок "_cp) + pass->written + str("  файл "_cp) + pass->tableName +
                                            " - " + std::to_string(pass->recordCount) + str(" записей"_cp));
                pass->headingWritten = true;
            }
            if (pass->run.found) pass->run.found(r);
        });
        // The record description: key, surname, name, patronymic, " д/р ", birth date, " ".
        line_.assign("П/д N"_cp).append(r.key).append(" ").append(r.surname).append(" ").append(r.name);
        line_.append(" ").append(r.patronymic).append(" д/р "_cp).append(r.birth).append(" ");
        if (!c_.byNumber) line_.append(" стр.№ "_cp).append(displayForm(body));
        part.report().appendLine(line_);
    }

    // The number text (at most 11 characters), its lost leading zeros put back; its first
    // nine characters as an integer, 0 when empty or not one.
    std::int32_t bodyOf(const Table& file) {
        file.textInto(f_.number, numberText_);
        if (numberText_.size() > kNumberTextMax) numberText_.resize(kNumberTextMax);
        if (numberText_.size() == 9 || numberText_.size() == 10) numberText_ = completeLeadingZeros(numberText_);
        if (numberText_.empty()) return 0;
        return toInt32(std::string_view(numberText_).substr(0, 9)).value_or(0);
    }
    static std::string cut(const Table& file, FieldId f, std::size_t max) {
        std::string t = file.text(f);
        if (t.size() > max) t.resize(max);
        return t;
    }

    Pass& pass_;
    const Criteria& c_;
    const FindFields& f_;
    std::string numberText_, line_;
};

// The file search: kind `kind` of the district in `directory` (W as written: `written`).
void fileSearch(FindRun& run, FileWalks& walks, const Criteria& criteria, int kind, const std::string& written,
                const std::filesystem::path& directory) {
    // Step 1: the shared table object set to the file; one that cannot be opened is passed
    // by without a word.
    const FileDescription& d = fileDescription(kind);
    const std::string tableName = districtTableName(kind);
    run.tblPDL.close();
    run.tblPDL.setDirectory(directory);
    run.tblPDL.setTableName(tableName);
    run.tblPDL.setTableType(TableType::Dbase);
    try {
        run.tblPDL.open();
    } catch (const Error& e) {
        noticeUnopened(run.host, e);
        return;
    }

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

    // Step 2: the six fields; the record count.
    Table& file = run.tblPDL.table();
    const FindFields fields{file.fieldByName(d.key),        file.fieldByName(d.surname),   file.fieldByName(d.name),
                            file.fieldByName(d.patronymic), file.fieldByName(d.birthDate), file.fieldByName(d.number)};
    FileWalk walk = walks.begin(file, WalkOptions{});
    Pass pass{run, criteria, fields, written, tableName};
    pass.recordCount = walk.recordCount();

    // Step 3: every record, in physical order.
    walk.walk<FindStep>([&] { return std::make_unique<FindStep>(pass); }, counters);
}

}  // namespace

std::string findSummary(std::int32_t found) {
    return str("Найдено : "_cp) + std::to_string(found) + str(" записей. Показать отчет ?"_cp);
}

bool findRecords(FindRun& run, std::string_view wayDirectory) {
    FileWalks walks(run.host, run.report, run.settings);
    walks.splitFrom = run.splitFrom;
    Criteria criteria;
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
        for (int kind = 0; kind < kFileKindCount; ++kind) fileSearch(run, walks, criteria, kind, written, directory);
    };
    // Step 7.
    walk.summary = [&] { return findSummary(run.foundCount); };
    walk.finish = [&] { run.tblPDL.close(); };
    return runDistrictWalk(run.host, run.report, wayDirectory, run.settings, walk);
}

}  // namespace strnum
