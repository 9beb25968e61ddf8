#include "hints/near_matches.h"

#include <algorithm>
#include <utility>

#include "base/error.h"
#include "base/parallel.h"
#include "base/ru.h"
#include "base/text.h"
#include "data/file_descriptions.h"
#include "data/table_open.h"
#include "identity/comparison.h"
#include "identity/insurance_number.h"
#include "tables/write_journal.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kNumberTextMax = 11;
constexpr std::size_t kCodeMax = 4;

// A text into the report with the stretch in which it departs from `record` in the highlight
// colour (the whole text when the two differ and one is empty).
void appendCompared(ReportSink& report, std::string_view record, std::string_view shown, bool differs,
                    Colour highlight) {
    if (!differs || shown.empty()) {
        report.appendRun(shown, Colour());
        return;
    }
    const Span span = differenceSpan(record, shown);
    const auto size = static_cast<int>(shown.size());
    const int first = std::clamp(span.first, 1, size);
    const int last = std::clamp(std::max(span.last, first), first, size);
    report.appendRun(shown.substr(0, static_cast<std::size_t>(first - 1)), Colour());
    report.appendRun(shown.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1)),
                     highlight);
    report.appendRun(shown.substr(static_cast<std::size_t>(last)), Colour());
}

std::string dateText(Date d) { return d.empty() ? std::string() : d.text(); }

void writeHint(ReportSink& report, const NotFoundPerson& p, const ShownHint& h, int index, Colour highlight) {
    const DirectoryPerson& e = h.entry;
    report.appendLine(std::string("   ") + std::to_string(index) + ") " + displayForm(h.hint.num) + "  ");
    appendCompared(report, p.surname, e.fam, h.hint.differs & kDiffersSurname, highlight);
    report.appendRun(" ", Colour());
    appendCompared(report, p.name, e.nam, h.hint.differs & kDiffersName, highlight);
    report.appendRun(" ", Colour());
    appendCompared(report, p.patronymic, e.otch, h.hint.differs & kDiffersPatronymic, highlight);
    report.appendRun(" ", Colour());
    const std::string recordBirth = dateText(p.birth), entryBirth = dateText(e.birth);
    if ((h.hint.differs & kDiffersBirth) && entryBirth.empty())
        report.appendRun("без даты рождения"_cp, highlight);
    else
        appendCompared(report, recordBirth, entryBirth, h.hint.differs & kDiffersBirth, highlight);
    report.appendRun(str("  статус <"_cp) + h.status + ">  " + str(confidenceText(h.hint.confidence)), Colour());
}

}  // namespace

std::vector<NearMatch> findNearMatches(Table& directory, std::vector<NotFoundPerson> persons, int threads) {
    const unsigned use = threadCount(threads);
    const NearMatchIndex index(directory, use);
    std::vector<PersonToFind> people;
    people.reserve(persons.size());
    for (const NotFoundPerson& p : persons) people.push_back({p.surname, p.name, p.patronymic, p.birth});
    std::vector<std::vector<Hint>> found = index.findAll(people, use);
    std::vector<NearMatch> matches;
    matches.reserve(persons.size());
    for (std::size_t i = 0; i < persons.size(); ++i) {
        NearMatch m{std::move(persons[i]), {}};
        for (const Hint& h : found[i]) m.hints.push_back({h, index.entry(h.entry), index.status(h.entry)});
        matches.push_back(std::move(m));
    }
    return matches;
}

std::string recordLine(const NotFoundPerson& p) {
    return str("Участок "_cp) + p.district + str("  файл "_cp) + districtTableName(p.kind) + str("  запись "_cp) +
           std::to_string(p.record) + ": " + p.key + " " + p.surname + " " + p.name + " " + p.patronymic + " " +
           dateText(p.birth);
}

void writeNearMatches(std::span<const NearMatch> matches, ReportSink& report, Colour highlight) {
    std::size_t offered = 0, certain = 0;
    for (const NearMatch& m : matches) {
        offered += m.hints.empty() ? 0 : 1;
        certain += !m.hints.empty() && m.hints.front().hint.confidence == HintConfidence::Certain ? 1 : 0;
    }
    report.appendLine(str("Похожие записи справочника для ненайденных по ФИО и дате рождения"_cp));
    report.appendLine(str("Не найдено : "_cp) + std::to_string(matches.size()) + str(", есть похожие : "_cp) +
                      std::to_string(offered) + str(", из них точно : "_cp) + std::to_string(certain));
    report.appendLine("");
    for (const NearMatch& m : matches) {
        if (m.hints.empty()) continue;
        report.appendLine(recordLine(m.person));
        int index = 0;
        for (const ShownHint& h : m.hints) writeHint(report, m.person, h, ++index, highlight);
    }
    if (offered > 0) report.appendLine("");
    report.appendLine(str("Без похожих : "_cp) + std::to_string(matches.size() - offered));
}

std::vector<std::string> differenceNames(unsigned differs) {
    std::vector<std::string> names;
    if (differs & kDiffersSurname) names.emplace_back("surname");
    if (differs & kDiffersName) names.emplace_back("name");
    if (differs & kDiffersPatronymic) names.emplace_back("patronymic");
    if (differs & kDiffersBirth) names.emplace_back("birth");
    return names;
}

namespace {

// One district file opened for the chosen records in it.
class ChosenFile {
public:
    ChosenFile(const NotFoundPerson& first, const EngineSettings& settings) : kind_(first.kind) {
        const FileDescription& d = fileDescription(kind_);
        table_ = openTable(first.file.parent_path(), pathTo1251(first.file.filename()), TableType::Dbase, settings);
        surname_ = table_->fieldByName(d.surname);
        name_ = table_->fieldByName(d.name);
        patronymic_ = table_->fieldByName(d.patronymic);
        birth_ = table_->fieldByName(d.birthDate);
        number_ = table_->fieldByName(d.number);
        if (kind_ == 0) {
            second_ = table_->fieldByName("NPSUI");
            vdp_ = table_->fieldByName("VDP");
            vp_ = table_->fieldByName("VP");
        }
    }

    // Writes the number into the record; "" when written, else why not (1251).
    std::string write(const NotFoundPerson& p, const std::string& number) {
        Table& t = *table_;
        if (!t.goToRecord(p.record)) return str("записи больше нет в файле"_cp);
        t.edit();  // the record under its lock, as it is on the disk now
        std::string why = sameRecord(p);
        if (!why.empty()) {
            t.cancel();
            return why;
        }
        t.setText(number_, number);
        if (second_ && secondRule()) t.setText(*second_, number);
        t.post();
        return {};
    }
    Table& table() { return *table_; }

private:
    // Whether the record still holds the person the hint was found for, without a number.
    std::string sameRecord(const NotFoundPerson& p) {
        const Table& t = *table_;
        cutText(t, surname_, kNameMax, text_);
        bool same = text_ == p.surname;
        cutText(t, name_, kNameMax, text_);
        same = same && text_ == p.name;
        cutText(t, patronymic_, kNameMax, text_);
        same = same && text_ == p.patronymic;
        same = same && t.date(birth_) == p.birth;
        if (!same) return str("запись изменилась после поиска: в ней другой человек"_cp);
        cutText(t, number_, kNumberTextMax, text_);
        if (!text_.empty() && readNumberText(text_).valid()) return str("в записи уже есть номер "_cp) + text_;
        return {};
    }
    // The second number is filled unless VDP and VP are " 1" and "03" or " 2" and "04".
    bool secondRule() {
        std::string vdp, vp;
        cutText(*table_, *vdp_, kCodeMax, vdp);
        cutText(*table_, *vp_, kCodeMax, vp);
        return !((vdp == " 1" && vp == "03") || (vdp == " 2" && vp == "04"));
    }

    int kind_;
    std::unique_ptr<Table> table_;
    FieldId surname_ = 0, name_ = 0, patronymic_ = 0, birth_ = 0, number_ = 0;
    std::optional<FieldId> second_, vdp_, vp_;
    std::string text_;
};

std::string personText(const NotFoundPerson& p) {
    return p.key + " " + p.surname + " " + p.name + " " + p.patronymic + " " + dateText(p.birth);
}

}  // namespace

bool writeChosenHints(std::span<const ChosenHint> chosen, const EngineSettings& settings, ReportSink& report,
                      Host& host, ChosenCounters& counters, std::vector<bool>* written) {
    if (written) written->assign(chosen.size(), false);
    report.appendLine(str("Проставление выбранных похожих: "_cp) + std::to_string(chosen.size()) + str(" записей"_cp));
    std::unique_ptr<ChosenFile> file;
    std::filesystem::path open;
    std::string openFailure;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        const ChosenHint& c = chosen[i];
        const NotFoundPerson& p = c.person;
        const std::string where = str(" (участок "_cp) + p.district + str(", файл "_cp) + districtTableName(p.kind) +
                                  str(", запись "_cp) + std::to_string(p.record) + ")";
        const std::string number = numberText(c.num);
        std::string why;
        if (p.file != open) {
            file.reset();
            open = p.file;
            openFailure.clear();
            try {
                file = std::make_unique<ChosenFile>(p, settings);
            } catch (const Error& e) {
                openFailure = e.what();
            }
        }
        if (!file) {
            why = openFailure;
        } else {
            try {
                why = file->write(p, number);
            } catch (const Error& e) {
                if (file->table().editing()) file->table().cancel();
                why = e.what();
            }
        }
        if (why.empty()) {
            ++counters.written;
            if (written) (*written)[i] = true;
            report.appendLine(str("Проставлен номер "_cp) + displayForm(c.num) + str(" у N "_cp) + personText(p) +
                              where);
            continue;
        }
        ++counters.notWritten;
        report.appendLine(str("*** Номер "_cp) + displayForm(c.num) + str(" не проставлен у N "_cp) + personText(p) +
                          where + ": " + why);
        if (settings.journal && !settings.journal->failure().empty()) {
            host.showError(settings.journal->failure());
            return false;
        }
        host.notice(pathTo1251(p.file) + str(", запись "_cp) + std::to_string(p.record) + ": " + why);
    }
    report.appendLine(str("Проставлено : "_cp) + std::to_string(counters.written) + str(", не проставлено : "_cp) +
                      std::to_string(counters.notWritten));
    return true;
}

std::vector<std::pair<std::string, std::int64_t>> chosenCounters(const ChosenCounters& c) {
    return {{"written", c.written}, {"not written", c.notWritten}};
}

}  // namespace strnum
