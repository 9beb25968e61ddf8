// A table object that outlives the tables it opens: directory, table name, type and order
// are set on it, and it is opened and closed again and again.
//
// The main window keeps such objects for the whole run: one for the number directory
// (opened by the first operation that needs it, then left open; closed when its directory
// changes) and one shared by all district files (one file at a time, each closed before the
// next is opened).  Opening an object that is open closes the old table first.
//
//     TableObject tblPDL(settings);
//     tblPDL.setDirectory(dir);
//     tblPDL.setTableName(districtTableName(kind));
//     tblPDL.setTableType(TableType::Dbase);
//     tblPDL.open();                                 // throws when the file cannot be opened
//     for (auto& t = tblPDL.table(); !t.eof(); t.next()) ...
//     tblPDL.close();
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "tables/engine_settings.h"
#include "tables/table.h"

namespace strnum {

class TableObject {
public:
    explicit TableObject(EngineSettings settings = {}) : settings_(std::move(settings)) {}

    // Changing where the table is closes an open table.
    void setDirectory(const std::filesystem::path& directory);
    void setTableName(std::string name);  // 1251, with ".DBF" for dBASE, without extension for Paradox
    void setTableType(TableType type);
    void setSettings(EngineSettings settings) { settings_ = std::move(settings); }
    // Kept across openings; applied at once when open.
    void setIndexFieldNames(std::string names);

    const std::filesystem::path& directory() const { return directory_; }
    const std::string& tableName() const { return name_; }
    const std::string& indexFieldNames() const { return indexNames_; }

    // Throws Error when the table cannot be opened; the object is then closed.
    void open();
    void close() noexcept;
    bool isOpen() const { return table_ != nullptr; }
    // Called when an open table is about to close (also when open() or a change of
    // directory, name or type closes it), for views that show it.  Must not throw.
    void setClosingListener(std::function<void()> listener) { closing_ = std::move(listener); }

    // The open table; throws InvalidArgument when closed.
    Table& table() const;
    Table* operator->() const { return &table(); }

private:
    EngineSettings settings_;
    std::filesystem::path directory_;
    std::string name_;
    TableType type_ = TableType::Default;
    std::string indexNames_;
    std::unique_ptr<Table> table_;
    std::function<void()> closing_;
};

}  // namespace strnum
