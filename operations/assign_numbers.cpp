#include "operations/assign_numbers.h"

#include <array>
#include <optional>

#include "app/district_walk.h"
#include "base/error.h"
#include "base/ru.h"
#include "data/file_descriptions.h"
#include "identity/insurance_number.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kNameMax = 25;
constexpr std::size_t kCodeMax = 4;

std::string cut(std::string text, std::size_t max) {
    if (text.size() > max) text.resize(max);
    return text;
}

std::string str(std::string_view s) { return std::string(s); }

// The fields of one district file, looked up once per pass.
struct FileFields {
    FieldId key, surname, name, patronymic, birth, number;
    // PDL.DBF only: looked up with each record as it is read, kept once found.
    std::optional<FieldId> secondNumber, vdp, vp;
};

// One record as read.
struct Person {
    std::string numberText, surname, name, patronymic, key, birthText;
    Date birth;
    std::string secondNumber;
    bool secondRule = false;
    std::string prefix() const { return key + " " + surname + " " + name + " " + patronymic + " "; }
};

class FilePass {
public:
    FilePass(AssignRun& run, Table& directory, const std::string& tableName)
        : run_(run), dir_(directory), isPdl_(tableName == "PDL.DBF") {}

    void walk(Table& file, const FileFields& fields);
    const AssignCounters& counters() const { return counters_; }

private:
    void record(Table& file, FileFields& fields);
    void line(const std::string& text) { run_.report.appendLine(text); }
    bool write(Table& file, const std::function<void()>& setFields);

    AssignRun& run_;
    Table& dir_;
    bool isPdl_;
    AssignCounters counters_;
    std::optional<FieldId> dirNum_, dirFam_, dirNam_, dirOtch_, dirBirth_, dirCond_;
};

void FilePass::walk(Table& file, const FileFields& f) {
    FileFields fields = f;
    for (file.first(); !file.eof(); file.next()) record(file, fields);
}

// Edit, set, post; on any failure the edit is cancelled and false returned.
bool FilePass::write(Table& file, const std::function<void()>& setFields) {
    try {
        file.edit();
        setFields();
        file.post();
        return true;
    } catch (const Error&) {
        if (file.editing()) file.cancel();
        return false;
    }
}

void FilePass::record(Table& file, FileFields& fields) {
    Person p;
    p.numberText = cut(file.text(fields.number), kNumberTextMax);
    p.surname = cut(file.text(fields.surname), kNameMax);
    p.name = cut(file.text(fields.name), kNameMax);
    p.patronymic = cut(file.text(fields.patronymic), kNameMax);
    p.key = file.text(fields.key);
    p.birth = file.date(fields.birth);
    p.birthText = p.birth.text();
    if (isPdl_) {
        if (!fields.secondNumber) fields.secondNumber = file.fieldByName("NPSUI");
        if (!fields.vdp) fields.vdp = file.fieldByName("VDP");
        if (!fields.vp) fields.vp = file.fieldByName("VP");
        p.secondNumber = cut(file.text(*fields.secondNumber), kNumberTextMax);
        const std::string vdp = cut(file.text(*fields.vdp), kCodeMax);
        const std::string vp = cut(file.text(*fields.vp), kCodeMax);
        p.secondRule = !((vdp == " 1" && vp == "03") || (vdp == " 2" && vp == "04"));
    }

    // Step 2: a non-empty number is judged by its check number.
    bool needsNumber = p.numberText.empty();
    if (!needsNumber) {
        needsNumber = !readNumberText(p.numberText).valid();
        if (needsNumber) line(str("П/д N "_cp) + p.prefix() + str(" ошибка в  стр.N "_cp) + p.numberText);
    }

    // Step 3: the person in the directory.
    const std::array<KeyValue, 4> key = {p.surname, p.name, p.patronymic, p.birth};
    if (!dir_.findKey(key)) return;

    // Step 4: found.
    ++counters_.found;
    if (counters_.found % 10 == 0) {
        run_.host.setLabel(HostLabel::RecordCount, std::to_string(counters_.found));
        run_.host.processEvents();
    }
    if (!dirNum_) dirNum_ = dir_.fieldByName("NUM");
    const std::int32_t num = dir_.integer(*dirNum_);
    const std::string directoryNumber = numberText(num);

    // Step 5: a number unlike the directory's.
    if (!p.numberText.empty() && p.numberText != directoryNumber) {
        ++counters_.differing;
        line(str("П/д N"_cp) + p.prefix() + str(" N "_cp) + p.numberText + str(" найден другой стр. N "_cp) +
             directoryNumber);
    }

    // Step 6: twins follow the found entry in the order of the index.
    for (dir_.next(); !dir_.eof(); dir_.next()) {
        if (!dirFam_) {
            dirFam_ = dir_.fieldByName("FAM");
            dirNam_ = dir_.fieldByName("NAM");
            dirOtch_ = dir_.fieldByName("OTCH");
            dirBirth_ = dir_.fieldByName("BIRTH");
        }
        if (dir_.text(*dirFam_) != p.surname || dir_.text(*dirNam_) != p.name ||
            dir_.text(*dirOtch_) != p.patronymic || dir_.date(*dirBirth_) != p.birth)
            break;
        if (!dirCond_) dirCond_ = dir_.fieldByName("COND");
        const std::string cond = dir_.text(*dirCond_);
        if (cond != "C")
            line(str("П/д N"_cp) + p.prefix() + p.birthText + str(" кроме N "_cp) + p.numberText +
                 str(" есть двойник с N "_cp) + displayForm(dir_.integer(*dirNum_)) + str(" и статусом <"_cp) + cond +
                 ">");
    }

    // Step 7: an empty second number next to a valid one.
    if (isPdl_ && p.secondRule && !run_.countOnly && !needsNumber && p.secondNumber.empty()) {
        ++counters_.written;
        if (write(file, [&] { file.setText(*fields.secondNumber, p.numberText); }))
            line(str("Проставлен пустой номер NPSUI у N "_cp) + p.prefix() + str(" N "_cp) + p.numberText);
        else
            line(str("*** Ошибка записи 2 номера у N "_cp) + p.prefix() + p.birthText);
    }

    // Step 8: the directory's number replaces a missing or malformed one.
    if (needsNumber) {
        ++counters_.written;
        if (!run_.countOnly && !write(file, [&] {
                file.setText(fields.number, directoryNumber);
                if (isPdl_ && p.secondRule) file.setText(*fields.secondNumber, directoryNumber);
            }))
            line(str("*** Ошибка записи у N "_cp) + p.prefix() + p.birthText);
    }
}

}  // namespace

std::string assignSummary(const AssignCounters& t) {
    return str("Найдено по ФИО : "_cp) + std::to_string(t.found) + str(", ошибочных : "_cp) +
           std::to_string(t.differing) + str(", проставлено: "_cp) + std::to_string(t.written) +
           str(" номеров. Показать отчет ?"_cp);
}

void assignNumbersInFile(AssignRun& run, int kind, const std::string& written, const std::filesystem::path& directory) {
    const FileDescription& d = fileDescription(kind);
    const std::string tableName = districtTableName(kind);
    run.tblPDL.close();
    run.tblPDL.setDirectory(directory);
    run.tblPDL.setTableName(tableName);
    run.tblPDL.setTableType(TableType::Dbase);

    AssignCounters counters;
    // The closing step of the file, taken on every path out of it.
    struct Closing {
        AssignRun& run;
        const AssignCounters& counters;
        ~Closing() {
            run.tblPDL.close();
            run.total += counters;
            run.report.appendLine(str("     Найдено "_cp) + std::to_string(counters.found) +
                                  str(" , проставлено "_cp) + std::to_string(counters.written) +
                                  str(" , исправлено : "_cp) + std::to_string(counters.differing));
            run.report.appendLine("");
        }
    } closing{run, counters};

    try {
        run.tblPDL.open();
    } catch (const Error&) {
        run.report.appendLine(str("Ошибка открытия файла "_cp) + tableName);
        return;
    }
    Table& file = run.tblPDL.table();
    FileFields fields{file.fieldByName(d.key),        file.fieldByName(d.surname), file.fieldByName(d.name),
                      file.fieldByName(d.patronymic), file.fieldByName(d.birthDate), file.fieldByName(d.number),
                      std::nullopt,                   std::nullopt,                std::nullopt};
    {
        std::string header = str("Участок "_cp) + written + str("  файл "_cp) + tableName + " - " +
                             std::to_string(file.recordCount()) + str(" записей"_cp);
        run.report.appendLine(header);
    }
    FilePass pass(run, run.numberDirectory(), tableName);
    try {
        pass.walk(file, fields);
    } catch (...) {
        counters = pass.counters();
        throw;
    }
    counters = pass.counters();
}

bool assignNumbers(AssignRun& run, std::string_view wayDirectory) {
    DistrictWalk walk;
    walk.prepare = [&] {
        run.tblPDL.close();
        run.tblPDL.setTableType(TableType::Dbase);
        run.tblPDL.setTableName("PDL.DBF");
        run.numberDirectory().setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
        run.total = {};
    };
    walk.skipMissing = true;
    walk.step = [&](const std::string& written, const std::filesystem::path& directory) {
        for (int kind = 0; kind < kFileKindCount; ++kind) assignNumbersInFile(run, kind, written, directory);
    };
    walk.summary = [&] { return assignSummary(run.total); };
    walk.finish = [&] { run.tblPDL.close(); };
    return runDistrictWalk(run.host, run.report, wayDirectory, run.settings, walk);
}

}  // namespace strnum
