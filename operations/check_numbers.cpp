#include "operations/check_numbers.h"

#include <array>
#include <memory>
#include <optional>

#include "base/convert.h"
#include "base/error.h"
#include "base/ru.h"
#include "batches/not_found_table.h"
#include "batches/persdat2.h"
#include "data/file_descriptions.h"
#include "data/number_directory.h"
#include "identity/coloured_writer.h"
#include "identity/comparison.h"
#include "identity/insurance_number.h"
#include "identity/registration_number.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kDistrictMax = 11;

// The fields of one district file, looked up once per pass: six required, five optional.
struct CheckFields {
    FieldId key, surname, name, patronymic, number, birth;
    std::optional<FieldId> sex, district, surnameMore, nameMore, patronymicMore;  // POL, NUCH, FMDP, IMDP, OTDP
};

// The record data of one record, read afresh for every record.
struct Person {
    std::string numberText;   // N: the number field's text, at most 11 characters
    std::string numberField;  // the number field's text as read, for the prefix
    std::string key, surname, name, patronymic, sex, district, secondNumber;
    Date birth;
    bool searched = false;  // the number passes the form tests: the directory is searched by its body
    KeyValue body;
};

// The number form tests of step 4, in their order: what a number text is.
enum class Form { Empty, NotConvertible, BelowThousand, WrongCheckNumber, Valid };

struct NumberForm {
    Form form = Form::Empty;
    std::int32_t body = 0;
};

NumberForm numberForm(std::string_view n) {
    if (n.empty()) return {Form::Empty, 0};
    const std::optional<std::int32_t> body = toInt32(n.substr(0, 9));
    if (!body) return {Form::NotConvertible, 0};
    if (*body < 1000) return {Form::BelowThousand, *body};
    const std::optional<std::int32_t> written = toInt32(n.size() > 9 ? n.substr(9, 2) : std::string_view());
    if (!written) return {Form::NotConvertible, *body};
    if (*written != checkNumber(*body)) return {Form::WrongCheckNumber, *body};
    return {Form::Valid, *body};
}

// What goes to the not-found table, and a line of the exchange batch, in the order of the walk.
struct NotFound {
    std::int32_t body;
    std::string surname, name, patronymic, sex;
    Date birth;
};
struct BatchLine {
    std::int32_t body;
    std::string dirSurname, dirName, dirPatronymic, surname, name, patronymic, birthText;
    bool nameDiffers, birthDiffers;
    std::string failed;  // the record's line when the batch line cannot be written
};

struct CheckCounters {
    std::int32_t numbers = 0;  // numbers that failed a form test or were found
    std::int32_t errors = 0;   // records with a name, birth or status difference
    CheckCounters& operator+=(const CheckCounters& o) {
        numbers += o.numbers;
        errors += o.errors;
        return *this;
    }
};

// What the record steps of one file pass share: the run, the pass's own settings, and the
// by-products, which the pass reaches in the order of the walk.
struct Pass {
    CheckRun& run;
    const CheckFields& fields;
    bool isPdl;                   // kind 0, "PDL.DBF"
    bool secondNumberPass;        // kinds 0 and 3: continuation fields and NPSUI
    bool severeOnly;              // chkSeverErrors, as the pass began
    const LiveOption& emptyList;  // chkEmptyList, read as the walk goes
    Channel<NotFound>* notFound;
    Channel<BatchLine>* batch;
};

class CheckStep final : public RecordStep<Person, CheckCounters> {
public:
    explicit CheckStep(const Pass& pass) : pass_(pass), f_(pass.fields) {}

private:
    // Steps 1 and 2: the record data, the continuation fields in the passes of kinds 0 and
    // 3, and there the second number (NPSUI, VDP and VP looked up with the first record).
    void read(const Table& file, Person& p) override {
        file.textInto(f_.number, p.numberField);
        p.numberText.assign(p.numberField, 0, kNumberTextMax);
        const NumberForm n = numberForm(p.numberText);
        p.searched = n.form == Form::Valid;
        p.body = n.body;
        cutText(file, f_.surname, kNameMax, p.surname);
        cutText(file, f_.name, kNameMax, p.name);
        cutText(file, f_.patronymic, kNameMax, p.patronymic);
        p.birth = file.date(f_.birth);
        file.textInto(f_.key, p.key);
        p.sex.clear();
        if (f_.sex) p.sex = file.text(*f_.sex).substr(0, 1);
        p.district.clear();
        if (f_.district) p.district = file.text(*f_.district).substr(0, kDistrictMax);
        if (!pass_.secondNumberPass) return;
        extend(file, f_.surnameMore, p.surname);
        extend(file, f_.nameMore, p.name);
        extend(file, f_.patronymicMore, p.patronymic);
        if (!secondNumber_) secondNumber_ = file.fieldByName("NPSUI");
        if (!vdp_) vdp_ = file.fieldByName("VDP");
        if (!vp_) vp_ = file.fieldByName("VP");
        file.textInto(*secondNumber_, p.secondNumber);
        if (p.secondNumber.size() > kNumberTextMax) p.secondNumber.resize(kNumberTextMax);
        (void)file.text(*vdp_);  // read and not used
        (void)file.text(*vp_);
    }

    // The directory is searched by the number's body, when the number passes the form tests.
    std::span<const KeyValue> key(const Person& p) const override {
        if (!p.searched) return {};
        return std::span(&p.body, 1);
    }

    void step(FilePart& part, const Person& p) override {
        // Step 3: the name key (made when a line or a comparison first needs it).
        p_ = &p;
        haveKey_ = havePrefix_ = false;
        numberTests(part, p);
        // Step 7, in the PDL pass only: the second number is judged by its check number.
        if (pass_.isPdl && !p.secondNumber.empty() && !readNumberText(p.secondNumber).valid())
            put(part, prefix() + str(" неправильный 2й стр.N "_cp) + p.secondNumber);
    }

    const std::string& key() {
        if (!haveKey_) key_ = nameKey(p_->surname, p_->name, p_->patronymic);
        haveKey_ = true;
        return key_;
    }
    // The record prefix: district number, key, the number field's text, ": ", the name key.
    const std::string& prefix() {
        if (!havePrefix_) {
            prefix_.assign(p_->district).append(" ").append(p_->key).append(" ").append(p_->numberField);
            prefix_.append(": ").append(key()).append(" ");
        }
        havePrefix_ = true;
        return prefix_;
    }

    // Steps 4 to 6 of one record.
    void numberTests(FilePart& part, const Person& p) {
        // Step 4: the number's form, test by test.
        const NumberForm n = numberForm(p.numberText);
        switch (n.form) {
            case Form::Empty:
                if (pass_.emptyList.now()) put(part, prefix() + str(" отсутствует стр. номер"_cp));
                return;
            case Form::BelowThousand:
                ++counters.numbers;
                put(part, prefix() + str(" ошибка в стр. N "_cp) + displayForm(n.body));
                return;
            case Form::WrongCheckNumber:
                ++counters.numbers;
                put(part, prefix() + str(" ошибка к.суммы в N "_cp) + p.numberText);
                return;
            case Form::NotConvertible:
                ++counters.numbers;
                put(part, prefix() + str(" ошибка в  стр.N "_cp) + "\"" + p.numberText + "\"");
                return;
            case Form::Valid:
                break;
        }
        // Steps 5 and 6, any error in them caught.
        try {
            lookUpAndCompare(part, p, n.body);
        } catch (const Error&) {
            put(part, prefix() + str("ошибка обработки"_cp));
        }
    }

    void lookUpAndCompare(FilePart& part, const Person& p, std::int32_t body) {
        // Step 5: the body in the number directory; a number it does not know goes to the
        // not-found table (silently, a number already there included).
        if (!part.find()) {
            if (pass_.notFound) pass_.notFound->send(part, {body, p.surname, p.name, p.patronymic, p.sex, p.birth});
            return;
        }
        Table& dir = part.directory();
        ++counters.numbers;
        dir.textInto(field(dir, fam_, "FAM"), dirFam_);
        dir.textInto(field(dir, nam_, "NAM"), dirNam_);
        dir.textInto(field(dir, otch_, "OTCH"), dirOtch_);
        const std::string dirName = directoryNameText(dirFam_, dirNam_, dirOtch_);

        // Step 6.1: names, birth dates, status, in this order.
        const NameComparison names =
            compareNames(p.surname, p.name, p.patronymic, dirFam_, dirNam_, dirOtch_, pass_.severeOnly);
        const Date dirBirth = dir.date(field(dir, birth_, "BIRTH"));
        const bool birthDiffers = strnum::birthDiffers(p.birth, dirBirth, pass_.run.options.noBirthErrors);
        dir.textInto(field(dir, cond_, "COND"), cond_text_);
        const bool statusError = strnum::statusError(cond_text_, pass_.run.options.noStatusErrors);
        const std::string dirBirthText = birthDiffers ? dirBirth.text() : std::string();
        const std::string birthText = p.birth.text();

        // Step 6.2: the exchange application, before the record's lines.
        if (pass_.batch && (names.differs || (birthDiffers && !p.birth.empty())))
            batchLine(part, p, body, names.differs, birthDiffers, birthText);

        // Step 6.3.
        if (!names.differs && !birthDiffers && !statusError) return;

        // Step 6.4: the error counted, the message text made.
        ++counters.errors;
        std::string t;
        if (names.differs && birthDiffers) {
            t = str(" Расхождение в ФИО и д/р "_cp) + dirBirthText;
        } else if (names.differs) {
            t = str(" Расхождение в ФИО "_cp);
        } else if (birthDiffers) {
            t = str(" в СПУ со стр.N "_cp) + p.numberText + str(" указана д/р "_cp);
            const Span span = differenceSpan(birthText, dirBirthText);
            ColouredWriter w(part.report(), pass_.run.highlight);
            w.writeOnNewLine(prefix() + birthText + " " + t);
            w.writeWithSpan(span.first, span.last, dirBirthText);
        } else {
            const char status = cond_text_.empty() ? '\0' : cond_text_.front();
            if (status == 'C' || status == 'E')
                t = str(" в СПУ отменен стр.N "_cp) + p.numberText;
            else if (status == 'F' && key() == dirName)
                t = str(" в СПУ со стр.N "_cp) + p.numberText + str(" недопустимо ФИО "_cp) + "\"" + key() + "\"";
            else if (status == 'G')
                t = str(" в СПУ стр.N "_cp) + p.numberText + str(" является недопустимым"_cp);
        }

        // Step 6.5: the count is shown as the walk goes.

        // Step 6.6.
        if (names.differs || statusError) put(part, prefix() + birthText + " " + t);

        // Step 6.7: what the directory holds, its differing stretch in the highlight colour.
        if (names.differs) {
            const Span span = differenceSpan(key(), dirName);
            ColouredWriter w(part.report(), pass_.run.highlight);
            w.writeOnNewLine(str("     в СПУ  числится "_cp));
            w.writeWithSpan(span.first, span.last, dirName);
        }
    }

    // One application line, sent to the batch in the order of the walk.
    void batchLine(FilePart& part, const Person& p, std::int32_t body, bool nameDiffers, bool birthDiffers,
                   const std::string& birthText) {
        pass_.batch->send(part, {body, dirFam_, dirNam_, dirOtch_, p.surname, p.name, p.patronymic, birthText,
                                 nameDiffers, birthDiffers, prefix() + str("ошибка обработки"_cp)});
    }

    // A continuation field, when the file has it: appended, the whole cut to 25 characters.
    void extend(const Table& file, const std::optional<FieldId>& more, std::string& value) {
        if (!more) return;
        file.textInto(*more, more_);
        value += more_;
        if (value.size() > kNameMax) value.resize(kNameMax);
    }
    static FieldId field(Table& dir, std::optional<FieldId>& id, const char* name) {
        if (!id) id = dir.fieldByName(name);
        return *id;
    }
    static void put(FilePart& part, const std::string& line) { part.report().appendLine(line); }

    const Pass& pass_;
    const CheckFields& f_;
    std::optional<FieldId> secondNumber_, vdp_, vp_;
    std::optional<FieldId> fam_, nam_, otch_, birth_, cond_;
    const Person* p_ = nullptr;
    std::string key_, prefix_;  // made when first needed for the record
    bool haveKey_ = false, havePrefix_ = false;
    std::string more_, dirFam_, dirNam_, dirOtch_, cond_text_;
};

// What the file passes of a run send on, and the check box they read as they go.
struct ByProducts {
    Channel<NotFound>* notFound;  // none: no not-found list
    Channel<BatchLine>* batch;    // none: no exchange batch
    const LiveOption& emptyList;
};

// The file pass: kind `kind` of the district in `directory` (W as written: `written`).
void filePass(CheckRun& run, FileWalks& walks, int kind, const std::string& written,
              const std::filesystem::path& directory, const ByProducts& by) {
    // Step 7, the closing step, taken on every way out of the pass.
    std::int64_t count = 0;
    CheckCounters counters;
    struct Closing {
        CheckRun& run;
        const std::int64_t& count;
        const CheckCounters& counters;
        ~Closing() {
            run.tblPDL.close();
            run.errors += counters.errors;
            run.report.appendLine(str("     Обработано "_cp) + std::to_string(count) + str(" записей, найдено "_cp) +
                                  std::to_string(counters.numbers) + str(" номеров, обнаружено ошибок: "_cp) +
                                  std::to_string(counters.errors));
            run.report.appendLine("");
        }
    } closing{run, count, counters};

    // Steps 1 and 2: the shared table object set to the file and opened; a file that cannot
    // be opened is reported and passed by.
    const std::string tableName = districtTableName(kind);
    if (!openDistrictFile(run, kind, directory)) {
        run.report.appendLine(str("Участок "_cp) + written + str("  Ошибка открытия файла "_cp) + tableName);
        return;
    }
    Table& file = run.tblPDL.table();

    // Step 3: the required fields and the optional ones.
    const FileDescription& d = fileDescription(kind);
    const CheckFields fields{file.fieldByName(d.key),        file.fieldByName(d.surname), file.fieldByName(d.name),
                             file.fieldByName(d.patronymic), file.fieldByName(d.number),  file.fieldByName(d.birthDate),
                             file.findField(d.sex),          file.findField("NUCH"),      file.findField("FMDP"),
                             file.findField("IMDP"),         file.findField("OTDP")};

    // Steps 4 and 5: the record count; the header line, blue from the blank before the
    // table name on.
    FileWalk walk = walks.begin(file, WalkOptions{&run.numberDirectory(), false});
    count = walk.recordCount();
    run.highlight = kBlue;
    ColouredWriter(run.report, run.highlight)
        .writeWithSpanOnNewLine(static_cast<int>(written.size()) + 15, 99,
                                str("Участок "_cp) + written + str("  файл "_cp) + tableName + " - " +
                                    std::to_string(count) + str(" записей"_cp));
    run.highlight = kRed;

    // Step 6: every record; the number counter shown as the walk goes.
    const Pass pass{
        run,         fields,  tableName == "PDL.DBF", kind == 0 || kind == 3, run.severeOnly(), by.emptyList,
        by.notFound, by.batch};
    walk.walk<CheckStep>([&] { return std::make_unique<CheckStep>(pass); }, counters,
                         {HostLabel::RecordCount, &CheckCounters::numbers, 1});
}

}  // namespace

std::string checkSummary(std::int32_t errors) {
    return str("Найдено : "_cp) + std::to_string(errors) + str(" расхождений. Показать отчет ?"_cp);
}

bool checkNumbers(CheckRun& run, std::string_view wayDirectory) {
    FileWalks walks(run.host, run.report, run.settings);
    std::unique_ptr<NotFoundTable> notFound;
    std::unique_ptr<Persdat2> batch;
    // The by-products, in the order of the walk: a number the not-found table has already
    // is refused silently; a batch line that cannot be written is the record's processing
    // error, in its place.  The batch's line counter goes 1 to 100 and round again.
    Channel<NotFound> toNotFound([&](NotFound& r, ReportSink&) {
        try {
            (void)notFound->add(r.body, r.surname, r.name, r.patronymic, r.birth, r.sex);
        } catch (const Error&) {
        }
    });
    Channel<BatchLine> toBatch([&](BatchLine& l, ReportSink& report) {
        if (++run.batchLines > 100) run.batchLines = 1;
        try {
            batch->application({run.batchLines, l.body, l.dirSurname, l.dirName, l.dirPatronymic, l.surname, l.name,
                                l.patronymic, l.nameDiffers, l.birthDiffers, l.birthText});
        } catch (const Error&) {
            report.appendLine(l.failed);
        }
    });
    LiveOption emptyList(run.emptyList);
    walks.follow(emptyList);
    DistrictWalk walk;
    walk.skipMissing = false;
    // Step 2: the title lines.
    walk.title = [&] {
        run.report.appendLine(str("Сверка проставленных стр. номеров с БД ПерсУчета"_cp));
        if (run.options.notFoundList) run.report.appendLine(str("   со сбором ненайденных ФИО"_cp));
        if (run.options.noStatusErrors) run.report.appendLine(str("   без ошибок статуса л/счета"_cp));
        if (run.options.batches) run.report.appendLine(str("   с формированием пачек заявлений на обмен"_cp));
    };
    // Steps 4 to 8: the number directory on its primary order, the run totals, the batch
    // file, the not-found table, the district-file table.
    walk.prepare = [&] {
        run.numberDirectory().setIndexFieldNames("");
        requireNumberOrder(run.numberDirectory());
        run.errors = 0;
        run.batchLines = 0;
        if (run.options.batches) {
            if (!isRegNum(run.batchRegNum))
                throwError(ErrorKind::InvalidArgument, str("Номер регистрации пачек [Batch] RegNum="_cp) +
                                                           run.batchRegNum + str(" не вида NNN-NNN-NNNNNN"_cp));
            batch = std::make_unique<Persdat2>(run.programDirectory / kBatchFileName, run.batchRegNum);
        }
        if (run.options.notFoundList) {
            try {
                notFound = std::make_unique<NotFoundTable>(run.programDirectory);
            } catch (const Error& e) {
                run.options.notFoundList = false;
                run.report.appendLine(str("Ошибка при открытии таблицы ANKT"_cp));
                run.host.notice(e.text());
            }
        }
        run.tblPDL.close();
        run.tblPDL.setTableType(TableType::Dbase);
        run.tblPDL.setTableName("PDL.DBF");
    };
    // Step 9: every district, its four files, each named in lblProcessed first.
    walk.step = [&](const std::string& written, const std::filesystem::path& directory) {
        for (int kind = 0; kind < kFileKindCount; ++kind) {
            run.host.setLabel(HostLabel::Processed, fileDescription(kind).baseName);
            filePass(run, walks, kind, written, directory,
                     {notFound ? &toNotFound : nullptr, batch ? &toBatch : nullptr, emptyList});
        }
    };
    walk.summary = [&] { return checkSummary(run.errors); };
    // Step 10: the closing steps.  Whatever the not-found table and the batch could not
    // write is told beside the report.
    walk.finish = [&] {
        run.host.setLabel(HostLabel::Processed, "0");
        if (batch) {
            try {
                batch->close();
            } catch (const Error& e) {
                run.host.notice(e.text());
            }
            batch.reset();
        }
        if (notFound) {
            try {
                notFound->flush();
            } catch (const Error& e) {
                run.host.notice(str("Номера не добавлены в таблицу ненайденных: "_cp) + std::string(e.text()));
            }
            notFound.reset();
        }
        run.tblPDL.close();
    };
    return runDistrictWalk(run.host, run.report, wayDirectory, run.settings, walk);
}

}  // namespace strnum
