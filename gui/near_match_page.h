// The report window's page "Похожие": the near matches of the persons the last assignment did
// not find, one row per person with a hint and under it one row per hint, each hint with a
// tick.  The clerk ticks the hints that are right (one per person at most) and presses
// "Проставить выбранные"; the page hands the ticked ones to its writer (the main window,
// which writes them as a writing run of its own) and shows the lines it wrote below the
// tree.  A hint whose number was written cannot be ticked again, nor the others of its
// person.  Nothing is written without a tick.
#pragma once

#include <QColor>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <vector>

#include "hints/near_matches.h"
#include "report/report.h"

namespace strnum {

class NearMatchPage : public QWidget {
    Q_OBJECT
public:
    // Writes the chosen numbers; the lines written go into `lines`, `written` ends with one
    // flag per chosen hint.  Returns false when nothing was tried (refused, or another
    // operation is running): the page then changes nothing.
    using Writer =
        std::function<bool(const std::vector<ChosenHint>& chosen, Report& lines, std::vector<bool>& written)>;

    explicit NearMatchPage(QWidget* parent = nullptr);

    // The near matches to show, the differing values in `highlight`; the lines of an earlier
    // writing go.
    void setMatches(std::vector<NearMatch> matches, QColor highlight);
    void setWriter(Writer writer) { writer_ = std::move(writer); }
    const std::vector<NearMatch>& matches() const { return matches_; }

    // The ticked hints, in the order of the rows.
    std::vector<ChosenHint> chosen() const;
    // The row of hint `hint` (from 0) of the person in matches()[person]; nullptr when none.
    QTreeWidgetItem* hintItem(std::size_t person, std::size_t hint) const;

    // The tree's columns.
    enum Column {
        kWhere,  // a person: the district; a hint: its tick and number
        kFile,
        kRecord,
        kKey,
        kSurname,
        kName,
        kPatronymic,
        kBirth,
        kStatus,
        kConfidence,
        kColumns
    };

    QLabel* lblSummary;
    QTreeWidget* tvHints;
    QPushButton* btnWriteChosen;
    QLabel* lblChosen;
    QPlainTextEdit* memWritten;  // the lines of the writings, hidden until the first

    void btnWriteChosenClick();

private:
    void itemChanged(QTreeWidgetItem* item, int column);
    void updateChosen();

    std::vector<NearMatch> matches_;
    Writer writer_;
    bool filling_ = false;
};

}  // namespace strnum
