#include "gui/near_match_page.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "data/file_descriptions.h"
#include "gui/message_box.h"
#include "gui/qt_text.h"
#include "identity/insurance_number.h"

namespace strnum {

namespace {

constexpr int kPersonRole = Qt::UserRole;
constexpr int kHintRole = Qt::UserRole + 1;

QString dateText(Date d) { return d.empty() ? QString() : toQt(d.text()); }

// The main window's font: the names of a row fit the report window's width.
QFont pageFont() {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setPixelSize(11);
    return f;
}

}  // namespace

NearMatchPage::NearMatchPage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pgNearMatches"));
    setFont(pageFont());
    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    lblSummary->setWordWrap(true);

    tvHints = new QTreeWidget(this);
    tvHints->setObjectName(QStringLiteral("tvHints"));
    tvHints->setColumnCount(kColumns);
    tvHints->setHeaderLabels({QStringLiteral("Участок / номер"), QStringLiteral("Файл"), QStringLiteral("Запись"),
                              QStringLiteral("Ключ"), QStringLiteral("Фамилия"), QStringLiteral("Имя"),
                              QStringLiteral("Отчество"), QStringLiteral("Д/рождения"), QStringLiteral("Статус"),
                              QStringLiteral("Похожесть")});
    tvHints->setRootIsDecorated(false);
    tvHints->setItemsExpandable(false);
    tvHints->setSelectionMode(QAbstractItemView::SingleSelection);
    tvHints->setUniformRowHeights(true);
    tvHints->setIndentation(12);
    // A district written as a long path shows its end, where the district's own name is.
    tvHints->setTextElideMode(Qt::ElideLeft);

    btnWriteChosen = new QPushButton(QStringLiteral("Проставить выбранные"), this);
    btnWriteChosen->setObjectName(QStringLiteral("btnWriteChosen"));
    btnWriteChosen->setToolTip(QStringLiteral("Проставить номера отмеченных похожих записей в файлы участков"));
    btnWriteChosen->setEnabled(false);
    lblChosen = new QLabel(this);
    lblChosen->setObjectName(QStringLiteral("lblChosen"));

    memWritten = new QPlainTextEdit(this);
    memWritten->setObjectName(QStringLiteral("memWritten"));
    memWritten->setReadOnly(true);
    memWritten->setLineWrapMode(QPlainTextEdit::NoWrap);
    memWritten->hide();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnWriteChosen);
    buttons->addWidget(lblChosen, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(lblSummary);
    layout->addWidget(tvHints, 3);
    layout->addLayout(buttons);
    layout->addWidget(memWritten, 1);

    connect(tvHints, &QTreeWidget::itemChanged, this, &NearMatchPage::itemChanged);
    connect(btnWriteChosen, &QPushButton::clicked, this, &NearMatchPage::btnWriteChosenClick);
    updateChosen();
}

void NearMatchPage::setMatches(std::vector<NearMatch> matches, QColor highlight) {
    matches_ = std::move(matches);
    filling_ = true;
    tvHints->clear();
    memWritten->clear();
    memWritten->hide();
    std::size_t offered = 0;
    const QBrush red(highlight);
    for (std::size_t i = 0; i < matches_.size(); ++i) {
        const NearMatch& m = matches_[i];
        if (m.hints.empty()) continue;
        ++offered;
        const NotFoundPerson& p = m.person;
        auto* person = new QTreeWidgetItem(tvHints);
        person->setFlags(Qt::ItemIsEnabled);
        person->setText(kWhere, toQt(p.district));
        person->setToolTip(kWhere, toQt(p.district));
        person->setText(kFile, toQt(districtTableName(p.kind)));
        person->setText(kRecord, QString::number(p.record));
        person->setText(kKey, toQt(p.key));
        person->setText(kSurname, toQt(p.surname));
        person->setText(kName, toQt(p.name));
        person->setText(kPatronymic, toQt(p.patronymic));
        person->setText(kBirth, dateText(p.birth));
        QFont bold = person->font(kWhere);
        bold.setBold(true);
        for (int c = 0; c < kColumns; ++c) person->setFont(c, bold);
        for (std::size_t j = 0; j < m.hints.size(); ++j) {
            const ShownHint& h = m.hints[j];
            auto* hint = new QTreeWidgetItem(person);
            hint->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            hint->setCheckState(kWhere, Qt::Unchecked);
            hint->setData(kWhere, kPersonRole, static_cast<qulonglong>(i));
            hint->setData(kWhere, kHintRole, static_cast<qulonglong>(j));
            hint->setText(kWhere, toQt(displayForm(h.hint.num)));
            const auto compared = [&](Column c, const QString& text, unsigned differs) {
                hint->setText(c, text);
                if (h.hint.differs & differs) hint->setForeground(c, red);
            };
            compared(kSurname, toQt(h.entry.fam), kDiffersSurname);
            compared(kName, toQt(h.entry.nam), kDiffersName);
            compared(kPatronymic, toQt(h.entry.otch), kDiffersPatronymic);
            compared(kBirth, h.entry.birth.empty() ? QStringLiteral("без даты") : dateText(h.entry.birth),
                     kDiffersBirth);
            hint->setText(kStatus, toQt(h.status));
            hint->setText(kConfidence, toQt(confidenceText(h.hint.confidence)));
        }
    }
    tvHints->expandAll();
    for (int c = 0; c < kColumns; ++c) tvHints->resizeColumnToContents(c);
    // A district written as a long path would push the names out of sight.
    tvHints->setColumnWidth(kWhere, std::min(tvHints->columnWidth(kWhere), 150));
    const std::size_t without = matches_.size() - offered;
    lblSummary->setText(QStringLiteral("Не найдено по ФИО и дате рождения: %1, есть похожие: %2, без похожих: %3. "
                                       "Отметьте верные и нажмите «Проставить выбранные».")
                            .arg(matches_.size())
                            .arg(offered)
                            .arg(without));
    filling_ = false;
    updateChosen();
}

QTreeWidgetItem* NearMatchPage::hintItem(std::size_t person, std::size_t hint) const {
    for (int i = 0; i < tvHints->topLevelItemCount(); ++i) {
        QTreeWidgetItem* p = tvHints->topLevelItem(i);
        if (p->childCount() == 0 || p->child(0)->data(kWhere, kPersonRole).toULongLong() != person) continue;
        return hint < static_cast<std::size_t>(p->childCount()) ? p->child(static_cast<int>(hint)) : nullptr;
    }
    return nullptr;
}

std::vector<ChosenHint> NearMatchPage::chosen() const {
    std::vector<ChosenHint> out;
    for (int i = 0; i < tvHints->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* p = tvHints->topLevelItem(i);
        for (int j = 0; j < p->childCount(); ++j) {
            const QTreeWidgetItem* h = p->child(j);
            if (h->checkState(kWhere) != Qt::Checked || !(h->flags() & Qt::ItemIsEnabled)) continue;
            const auto person = static_cast<std::size_t>(h->data(kWhere, kPersonRole).toULongLong());
            const auto hint = static_cast<std::size_t>(h->data(kWhere, kHintRole).toULongLong());
            out.push_back({matches_[person].person, matches_[person].hints[hint].hint.num});
        }
    }
    return out;
}

// One tick per person: ticking a hint unticks the others of its person.
void NearMatchPage::itemChanged(QTreeWidgetItem* item, int column) {
    if (filling_ || column != kWhere || !item->parent()) return;
    if (item->checkState(kWhere) == Qt::Checked) {
        filling_ = true;
        QTreeWidgetItem* person = item->parent();
        for (int j = 0; j < person->childCount(); ++j)
            if (person->child(j) != item) person->child(j)->setCheckState(kWhere, Qt::Unchecked);
        filling_ = false;
    }
    updateChosen();
}

void NearMatchPage::updateChosen() {
    const std::size_t n = chosen().size();
    btnWriteChosen->setEnabled(n > 0);
    lblChosen->setText(n > 0 ? QStringLiteral("Отмечено: %1").arg(n) : QStringLiteral("Ничего не отмечено"));
}

void NearMatchPage::btnWriteChosenClick() {
    try {
        const std::vector<ChosenHint> list = chosen();
        if (list.empty() || !writer_) return;
        Report lines;
        std::vector<bool> written;
        if (!writer_(list, lines, written)) return;
        QString text;
        for (std::size_t i = 0; i < lines.lineCount(); ++i) {
            if (!text.isEmpty()) text += QLatin1Char('\n');
            text += toQt(lines.line(i));
        }
        memWritten->appendPlainText(text);
        memWritten->show();
        // Every ticked hint was tried: its tick goes.  A written one, and the other hints of
        // its person, can no longer be ticked; one that was not written can be ticked again.
        filling_ = true;
        std::size_t k = 0;
        for (int i = 0; i < tvHints->topLevelItemCount(); ++i) {
            QTreeWidgetItem* p = tvHints->topLevelItem(i);
            for (int j = 0; j < p->childCount(); ++j) {
                QTreeWidgetItem* h = p->child(j);
                if (h->checkState(kWhere) != Qt::Checked || !(h->flags() & Qt::ItemIsEnabled)) continue;
                h->setCheckState(kWhere, Qt::Unchecked);
                const bool done = k < written.size() && written[k];
                ++k;
                if (!done) continue;
                h->setText(kConfidence, QStringLiteral("проставлен"));
                for (int s = 0; s < p->childCount(); ++s)
                    p->child(s)->setFlags(p->child(s)->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable));
            }
        }
        filling_ = false;
        updateChosen();
    } catch (const std::exception& e) {
        filling_ = false;
        showErrorDialog(this, e);
    }
}

}  // namespace strnum
