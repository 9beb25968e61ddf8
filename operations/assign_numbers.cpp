#include "operations/assign_numbers.h"

#include <array>
#include <optional>

#include "base/error.h"
#include "base/ru.h"
#include "data/file_descriptions.h"
#include "data/number_directory.h"
#include "identity/insurance_number.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kNameMax = 25;
constexpr std::size_t kCodeMax = 4;

// The fields of one district file, looked up once per pass.
struct FileFields {
    FieldId key, surname, name, patronymic, birth, number;
};

// The values of one record, read once.  Surname, name, patronymic and birth date are the
// directory's search key as they stand.
struct Person {
    std::string numberText, key;
    std::array<KeyValue, 4> person{std::string(), std::string(), std::string(), Date()};
    std::string& surname() { return std::get<std::string>(person[0]); }
    std::string& name() { return std::get<std::string>(person[1]); }
    std::string& patronymic() { return std::get<std::string>(person[2]); }
    const std::string& surname() const { return std::get<std::string>(person[0]); }
    const std::string& name() const { return std::get<std::string>(person[1]); }
    const std::string& patronymic() const { return std::get<std::string>(person[2]); }
    Date birth() const { return std::get<Date>(person[3]); }
    std::string secondNumber, vdp, vp;  // PDL.DBF only
    bool secondRule = false;
};

// The record step of number assignment, one object for each part of a file walked at once.
class AssignStep final : public RecordStep<Person, AssignCounters> {
public:
    AssignStep(const FileFields& fields, bool isPdl, bool countOnly, Channel<NotFoundPerson>* notFound)
        : fields_(fields), isPdl_(isPdl), countOnly_(countOnly), notFound_(notFound) {}

private:
    // Step 1: the number text, surname, name, patronymic (each cut to its length), the birth
    // date and the key; in PDL.DBF also the second number, VDP and VP, and the rule of the
    // second number.  NPSUI, VDP and VP are looked up with the first record.
    void read(const Table& file, Person& p) override {
        cutText(file, fields_.number, kNumberTextMax, p.numberText);
        cutText(file, fields_.surname, kNameMax, p.surname());
        cutText(file, fields_.name, kNameMax, p.name());
        cutText(file, fields_.patronymic, kNameMax, p.patronymic());
        file.textInto(fields_.key, p.key);
        p.person[3] = file.date(fields_.birth);
        if (!isPdl_) return;
        if (!secondNumber_) secondNumber_ = file.fieldByName("NPSUI");
        if (!vdp_) vdp_ = file.fieldByName("VDP");
        if (!vp_) vp_ = file.fieldByName("VP");
        cutText(file, *secondNumber_, kNumberTextMax, p.secondNumber);
        cutText(file, *vdp_, kCodeMax, p.vdp);
        cutText(file, *vp_, kCodeMax, p.vp);
        p.secondRule = secondRule(p);
    }

    // The directory's search key: surname, name, patronymic and birth date as they stand.
    std::span<const KeyValue> key(const Person& p) const override { return p.person; }

    void step(FilePart& part, const Person& p) override {
        Table& file = part.file();

        // Step 2: a number text that is not empty is judged by its check number.
        bool needsNumber = p.numberText.empty();
        if (!needsNumber) {
            needsNumber = !readNumberText(p.numberText).valid();
            if (needsNumber) line("П/д N "_cp).prefix(p).add(" ошибка в  стр.N "_cp).add(p.numberText).put(part);
        }

        // Step 3: the person in the number directory; not there, the step ends (the record
        // noted for near matches when they are asked for).
        if (!part.find()) {
            if (notFound_)
                notFound_->send(part, NotFoundPerson{{},
                                                     0,
                                                     file.file(),
                                                     file.recordNumber(),
                                                     p.key,
                                                     p.surname(),
                                                     p.name(),
                                                     p.patronymic(),
                                                     p.numberText,
                                                     p.birth()});
            return;
        }
        Table& directory = part.directory();

        // Step 4: found (every tenth is shown as the walk goes).  The directory's number.
        ++counters.found;
        if (!num_) num_ = directory.fieldByName("NUM");
        numberTextInto(directory.integer(*num_), directoryNumber_);

        // Step 5: a number unlike the directory's.
        if (!p.numberText.empty() && p.numberText != directoryNumber_) {
            ++counters.differing;
            line("П/д N"_cp).prefix(p).add(" N "_cp).add(p.numberText).add(" найден другой стр. N "_cp);
            add(directoryNumber_).put(part);
        }

        // Step 6: the twins that follow the found entry in the order of the index.
        while (part.nextOfFound()) {
            if (!sameName(directory, "FAM", fam_, p.surname()) || !sameName(directory, "NAM", nam_, p.name()) ||
                !sameName(directory, "OTCH", otch_, p.patronymic()))
                break;
            if (!birth_) birth_ = directory.fieldByName("BIRTH");
            if (directory.date(*birth_) != p.birth()) break;
            if (!cond_) cond_ = directory.fieldByName("COND");
            directory.textInto(*cond_, condText_);
            if (condText_ != "C") {
                line("П/д N"_cp).prefix(p).add(p.birth().text()).add(" кроме N "_cp).add(p.numberText);
                add(" есть двойник с N "_cp).add(displayForm(directory.integer(*num_))).add(" и статусом <"_cp);
                add(condText_).add(">").put(part);
            }
        }

        // Step 7: an empty second number beside a valid one gets that number.
        if (isPdl_ && p.secondRule && !countOnly_ && !needsNumber && p.secondNumber.empty()) {
            ++counters.written;
            line("*** Ошибка записи 2 номера у N "_cp).prefix(p).add(p.birth().text());
            failed_.assign(line_);
            line("Проставлен пустой номер NPSUI у N "_cp).prefix(p).add(" N "_cp).add(p.numberText).put(part);
            part.write([&] { file.setText(*secondNumber_, p.numberText); }, {}, failed_);
        }

        // Step 8: the directory's number in place of a missing or malformed one.
        if (needsNumber) {
            ++counters.written;
            if (countOnly_) return;
            line("*** Ошибка записи у N "_cp).prefix(p).add(p.birth().text());
            part.write(
                [&] {
                    file.setText(fields_.number, directoryNumber_);
                    if (isPdl_ && p.secondRule) file.setText(*secondNumber_, directoryNumber_);
                },
                {}, line_);
        }
    }

    // The second number's rule: it is filled unless VDP and VP are " 1" and "03" or " 2" and "04".
    static bool secondRule(const Person& p) {
        return !((p.vdp == " 1" && p.vp == "03") || (p.vdp == " 2" && p.vp == "04"));
    }
    // A twin's name part against the record's: the whole texts, exactly.
    bool sameName(Table& directory, const char* field, std::optional<FieldId>& id, const std::string& value) {
        if (!id) id = directory.fieldByName(field);
        directory.textInto(*id, text_);
        return text_ == value;
    }
    // Report lines are made in one buffer: line() starts it, add() extends it, put() writes it.
    AssignStep& line(std::string_view text) {
        line_.assign(text);
        return *this;
    }
    AssignStep& add(std::string_view text) {
        line_ += text;
        return *this;
    }
    // The record prefix: key + " " + surname + " " + name + " " + patronymic + " ".
    AssignStep& prefix(const Person& p) {
        return add(p.key).add(" ").add(p.surname()).add(" ").add(p.name()).add(" ").add(p.patronymic()).add(" ");
    }
    void put(FilePart& part) { part.report().appendLine(line_); }

    const FileFields fields_;
    const bool isPdl_, countOnly_;
    Channel<NotFoundPerson>* notFound_;
    std::optional<FieldId> secondNumber_, vdp_, vp_;
    std::optional<FieldId> num_, fam_, nam_, otch_, birth_, cond_;
    std::string line_, failed_, directoryNumber_, condText_, text_;
};

}  // namespace

std::string assignSummary(const AssignCounters& t) {
    return str("Найдено по ФИО : "_cp) + std::to_string(t.found) + str(", ошибочных : "_cp) +
           std::to_string(t.differing) + str(", проставлено: "_cp) + std::to_string(t.written) +
           str(" номеров. Показать отчет ?"_cp);
}

namespace {

// The file pass: file kind `kind` of the district in `directory` (W as written: `written`).
void filePass(AssignRun& run, FileWalks& walks, int kind, const std::string& written,
              const std::filesystem::path& directory) {
    // Step 5, the closing step, taken on every way out of the pass.
    AssignCounters counters;
    struct Closing {
        AssignRun& run;
        const AssignCounters& counters;
        ~Closing() {
            run.tblPDL.close();
            run.total += counters;
            run.report.appendLine(str("     Найдено "_cp) + std::to_string(counters.found) + str(" , проставлено "_cp) +
                                  std::to_string(counters.written) + str(" , исправлено : "_cp) +
                                  std::to_string(counters.differing));
            run.report.appendLine("");
        }
    } closing{run, counters};

    // Steps 1 and 2: the shared table object set to the file and opened; a file that cannot
    // be opened is reported and passed by.
    const std::string tableName = districtTableName(kind);
    if (!openDistrictFile(run, kind, directory)) {
        run.report.appendLine(str("Ошибка открытия файла "_cp) + tableName);
        return;
    }
    Table& file = run.tblPDL.table();

    // Step 3: the six fields, the counters at 0, the file's header line.
    const FileDescription& d = fileDescription(kind);
    const FileFields fields{file.fieldByName(d.key),        file.fieldByName(d.surname),   file.fieldByName(d.name),
                            file.fieldByName(d.patronymic), file.fieldByName(d.birthDate), file.fieldByName(d.number)};
    FileWalk walk = walks.begin(file, WalkOptions{&run.numberDirectory(), !run.countOnly});
    run.report.appendLine(str("Участок "_cp) + written + str("  файл "_cp) + tableName + " - " +
                          std::to_string(walk.recordCount()) + str(" записей"_cp));

    // Step 4: the record step for every record, in physical order; every tenth found record
    // shown in lblRecCount.
    const bool isPdl = tableName == "PDL.DBF";
    Channel<NotFoundPerson> notFound([&](NotFoundPerson& p, ReportSink&) {
        p.district = written;
        p.kind = kind;
        run.notFound->push_back(std::move(p));
    });
    Channel<NotFoundPerson>* noting = run.notFound ? &notFound : nullptr;
    walk.walk<AssignStep>([&] { return std::make_unique<AssignStep>(fields, isPdl, run.countOnly, noting); }, counters,
                          {HostLabel::RecordCount, &AssignCounters::found, 10});
}

}  // namespace

bool assignNumbers(AssignRun& run, std::string_view wayDirectory) {
    FileWalks walks(run.host, run.report, run.settings);
    DistrictWalk walk;
    walk.prepare = [&] {
        run.tblPDL.close();
        run.tblPDL.setTableType(TableType::Dbase);
        run.tblPDL.setTableName("PDL.DBF");
        run.numberDirectory().setIndexFieldNames("FAM;NAM;OTCH;BIRTH");
        requirePersonOrder(run.numberDirectory());
        run.total = {};
    };
    walk.skipMissing = true;
    walk.step = [&](const std::string& written, const std::filesystem::path& directory) {
        for (int kind = 0; kind < kFileKindCount; ++kind) filePass(run, walks, kind, written, directory);
    };
    walk.summary = [&] { return assignSummary(run.total); };
    walk.finish = [&] { run.tblPDL.close(); };
    return runDistrictWalk(run.host, run.report, wayDirectory, run.settings, walk);
}

std::vector<std::pair<std::string, std::int64_t>> assignCounters(const AssignCounters& total) {
    return {{"found", total.found}, {"differing", total.differing}, {"written", total.written}};
}

}  // namespace strnum
