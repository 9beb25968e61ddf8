// The console grid's model: the rows of a RowSource (an SQL result or the district list),
// read from it as the grid scrolls, never all at once.
//
// The model knows the rows fetched so far (the grid asks for more when it is scrolled to
// the bottom: canFetchMore/fetchMore, a block of rows at a time) and keeps only the
// latest blocks it has read (kKeptBlocks of kBlockRows rows), so that memory stays flat
// however far the grid is scrolled.  A row no longer kept is read again: the source goes
// back to its start when the row lies before its position and skips forward to it.
//
// walker() is the source as Save Result walks it: through the model, so that the rows
// read on the way to the end are the model's too and the grid can show the last of them.
// A failure while reading rows ends the rows shown and is handed to onError once, after
// the grid has finished painting.  A stop at the user's word (QueryStopped) is no
// failure: the rows read before it stay shown under their columns (none: the columns
// alone), no more are read, and onStopped is called once, after the grid has painted.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/row_source.h"

namespace strnum::console {

class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr std::int64_t kBlockRows = 256;
    static constexpr std::size_t kKeptBlocks = 32;

    explicit ResultModel(QObject* parent = nullptr);
    ~ResultModel() override;

    // Shows the rows of `source` (not owned; nullptr: nothing).  The source is read from
    // its first row.
    void setSource(RowSource* source);
    RowSource* source() const { return source_; }

    // Save Result's walk; after it, walked() with the rows it gave.
    RowSource& walker();
    void walked(std::int64_t rows);

    std::function<void(const std::string&)> onError;  // message in 1251
    std::function<void()> onStopped;
    // The rows shown end where reading was stopped.
    bool stopped() const { return stopped_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    // Rows the model holds now, for tests of its memory.
    std::size_t rowsKept() const;

private:
    using Block = std::vector<std::vector<std::string>>;
    class Walker;

    const Block* block(std::int64_t index) const;  // read when not kept; nullptr on failure
    void keep(std::int64_t index, Block rows) const;
    void failed(const std::exception& e) const;
    void stoppedReading() const;

    RowSource* source_ = nullptr;
    std::unique_ptr<Walker> walker_;
    std::int64_t known_ = 0;  // rows the grid has been told of
    mutable bool done_ = false;
    mutable std::int64_t position_ = 0;  // the row the source gives next
    mutable std::map<std::int64_t, Block> kept_;
    mutable std::list<std::int64_t> recent_;  // kept blocks, most recently used first
    mutable bool failedOnce_ = false;
    mutable bool stopped_ = false;
    // The source is being read (a statement may let the window repaint while it works):
    // the grid then shows nothing new rather than read it again from inside.
    mutable bool reading_ = false;
    struct Reading;
};

}  // namespace strnum::console
