// Rows as the console's grid and its saved result take them: columns with a label and a
// display width, and the values of each row as text, read front to back.
//
// Two sources: the result of an SQL statement (console/sql_query.h) and an open table shown
// whole (TableRows: the district list behind Show WAY).
//
// Display widths (characters), the table layer's for each kind of field:
//   character (dBASE C, Paradox A)   its defined length
//   dBASE numeric N, F               its defined length
//   Paradox number, money, BCD       15
//   integer                          6 for a Paradox short, 11 otherwise
//   date                             10 (dd.mm.yyyy)
//   logical                          5
//   memo                             40; binary, graphic and OLE values 20
//   other (time stamps, currency)    20
// A result column that is no table field (an expression, an aggregate) gets its width from
// the first row's value: integer 11, real 20, text 60, blob 20; 20 when there is no row or
// the value is NULL.  A column whose name is not the field's own (a field named twice,
// below) is at least as wide as the name it goes by, so that the name shows whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"
#include "tables/table.h"

namespace strnum::console {

struct ResultColumn {
    std::string label;  // 1251: the name in the result (the alias where the SQL gives one)
    int width = 0;      // display width in characters
};

// Reading stopped at the user's word (the console's "Прервать"): no failure, and no end
// of the rows either.  Message: "Запрос прерван" (1251).
class QueryStopped : public Error {
public:
    QueryStopped();
};

class RowSource {
public:
    virtual ~RowSource() = default;
    virtual const std::vector<ResultColumn>& columns() const = 0;
    // The next row's values as text (1251; dates dd.mm.yyyy, NULL as ""), or false past the
    // last row.  Throws Error (a table that cannot be read, a damaged memo file), or
    // QueryStopped.
    virtual bool fetch(std::vector<std::string>& cells) = 0;
    // Skips up to n rows without reading them; returns how many there were.
    virtual std::int64_t skip(std::int64_t n);
    // Back before the first row: the rows are read again from the start.
    virtual void rewind() = 0;
};

int displayWidth(const FieldInfo& field);

// The names the fields of a table go by in the console (1251), in field order: each
// field's own name, except
//   - a field whose name an earlier field already has (letter case aside, as SQL compares
//     names; a damaged table, or one from a program that allowed it): NAME_2, or NAME_3,
//     ... the first of these that no field of the table has and no earlier column took;
//   - a field without a name: F1, F2, ... by its place (made unique the same way).
// So `select *` shows every field, each under a name that can be used in SQL.
std::vector<std::string> columnNames(const std::vector<FieldInfo>& fields);

// A binary value shown as text: "(двоичные данные, N байт)" in 1251.
std::string blobText(std::size_t bytes);

// An open table, every visible record in its walk order, every field.  The table must stay
// open while the rows are read.
class TableRows : public RowSource {
public:
    explicit TableRows(Table& table);
    const std::vector<ResultColumn>& columns() const override { return columns_; }
    bool fetch(std::vector<std::string>& cells) override;
    void rewind() override;

private:
    Table& table_;
    std::vector<ResultColumn> columns_;
    bool started_ = false;
};

}  // namespace strnum::console
