#include "gui/result_model.h"

#include <QTimer>

#include "base/error.h"
#include "gui/qt_text.h"

namespace strnum::console {

struct ResultModel::Reading {
    explicit Reading(const ResultModel& m) : m_(m) { m_.reading_ = true; }
    ~Reading() { m_.reading_ = false; }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;
    const ResultModel& m_;
};

// The source as Save Result reads it: each row also goes into the model's blocks.
class ResultModel::Walker : public RowSource {
public:
    explicit Walker(ResultModel& m) : m_(m) {}
    const std::vector<ResultColumn>& columns() const override { return m_.source_->columns(); }
    void rewind() override {
        const Reading reading(m_);
        m_.source_->rewind();
        m_.position_ = 0;
        current_.clear();
    }
    bool fetch(std::vector<std::string>& cells) override {
        bool got = false;
        {
            const Reading reading(m_);
            got = m_.source_->fetch(cells);
        }
        if (!got) {
            if (!current_.empty()) m_.keep(m_.position_ / kBlockRows, std::move(current_));
            current_.clear();
            return false;
        }
        current_.push_back(cells);
        ++m_.position_;
        if (m_.position_ % kBlockRows == 0) {
            m_.keep(m_.position_ / kBlockRows - 1, std::move(current_));
            current_.clear();
        }
        return true;
    }

private:
    ResultModel& m_;
    Block current_;
};

ResultModel::ResultModel(QObject* parent) : QAbstractTableModel(parent), walker_(std::make_unique<Walker>(*this)) {}

ResultModel::~ResultModel() = default;

void ResultModel::setSource(RowSource* source) {
    beginResetModel();
    source_ = source;
    known_ = 0;
    done_ = source == nullptr;
    position_ = 0;
    kept_.clear();
    recent_.clear();
    failedOnce_ = false;
    stopped_ = false;
    if (source_) source_->rewind();
    endResetModel();
    // The first rows at once, before the grid asks.
    fetchMore({});
}

RowSource& ResultModel::walker() { return *walker_; }

void ResultModel::walked(std::int64_t rows) {
    done_ = true;
    if (rows > known_) {
        beginInsertRows({}, static_cast<int>(known_), static_cast<int>(std::min<std::int64_t>(rows, INT32_MAX) - 1));
        known_ = std::min<std::int64_t>(rows, INT32_MAX);
        endInsertRows();
    } else if (rows < known_) {
        // The rows have become fewer since they were shown (a file changed): show what is there.
        beginResetModel();
        known_ = rows;
        endResetModel();
    }
    emit dataChanged(index(0, 0), index(std::max<int>(0, rowCount() - 1), std::max(0, columnCount() - 1)));
}

int ResultModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(known_); }

int ResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() || !source_ ? 0 : static_cast<int>(source_->columns().size());
}

void ResultModel::keep(std::int64_t index, Block rows) const {
    kept_[index] = std::move(rows);
    recent_.remove(index);
    recent_.push_front(index);
    while (recent_.size() > kKeptBlocks) {
        kept_.erase(recent_.back());
        recent_.pop_back();
    }
}

void ResultModel::failed(const std::exception& e) const {
    done_ = true;
    if (failedOnce_) return;
    failedOnce_ = true;
    const auto* err = dynamic_cast<const Error*>(&e);
    const std::string message = err ? std::string(err->text()) : std::string(e.what());
    // Not from inside a paint: the dialog comes when the grid is done.
    auto* self = const_cast<ResultModel*>(this);
    QTimer::singleShot(0, self, [self, message] {
        if (self->onError) self->onError(message);
    });
}

void ResultModel::stoppedReading() const {
    done_ = true;
    if (stopped_) return;
    stopped_ = true;
    auto* self = const_cast<ResultModel*>(this);
    QTimer::singleShot(0, self, [self] {
        if (self->onStopped) self->onStopped();
    });
}

const ResultModel::Block* ResultModel::block(std::int64_t index) const {
    if (auto it = kept_.find(index); it != kept_.end()) {
        recent_.remove(index);
        recent_.push_front(index);
        return &it->second;
    }
    if (!source_ || reading_) return nullptr;
    const Reading reading(*this);
    Block rows;
    try {
        const std::int64_t start = index * kBlockRows;
        if (start < position_) {
            source_->rewind();
            position_ = 0;
        }
        if (start > position_) position_ += source_->skip(start - position_);
        if (position_ < start) {
            done_ = true;
            return nullptr;
        }
        std::vector<std::string> cells;
        while (static_cast<std::int64_t>(rows.size()) < kBlockRows && source_->fetch(cells)) {
            rows.push_back(cells);
            ++position_;
        }
        if (static_cast<std::int64_t>(rows.size()) < kBlockRows) done_ = true;
    } catch (const QueryStopped&) {
        // The rows read before the stop are the last rows shown.
        stoppedReading();
    } catch (const std::exception& e) {
        failed(e);
        return nullptr;
    }
    keep(index, std::move(rows));
    return &kept_[index];
}

QVariant ResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !source_ || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) return {};
    const Block* b = block(index.row() / kBlockRows);
    const auto r = static_cast<std::size_t>(index.row() % kBlockRows);
    if (!b || r >= b->size()) return {};
    const auto& row = (*b)[r];
    const auto c = static_cast<std::size_t>(index.column());
    if (c >= row.size()) return {};
    return toQt(row[c]);
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !source_) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical) return section + 1;
    const auto& columns = source_->columns();
    if (section < 0 || static_cast<std::size_t>(section) >= columns.size()) return {};
    return toQt(columns[static_cast<std::size_t>(section)].label);
}

bool ResultModel::canFetchMore(const QModelIndex& parent) const { return !parent.isValid() && source_ && !done_; }

void ResultModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent) || reading_) return;
    const Block* b = block(known_ / kBlockRows);
    const std::int64_t have = b ? known_ / kBlockRows * kBlockRows + static_cast<std::int64_t>(b->size()) : known_;
    if (have <= known_) {
        done_ = true;
        return;
    }
    beginInsertRows({}, static_cast<int>(known_), static_cast<int>(have - 1));
    known_ = have;
    endInsertRows();
}

std::size_t ResultModel::rowsKept() const {
    std::size_t n = 0;
    for (const auto& [index, rows] : kept_) n += rows.size();
    return n;
}

}  // namespace strnum::console
