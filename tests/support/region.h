// A region for the operation tests: a district list WAY.DBF naming one district directory,
// and district files written from readable UTF-8 values.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "data/table_open.h"
#include "dbase/dbf_create.h"
#include "support/test_support.h"
#include "tables/table.h"

namespace strnum::test {

struct Region {
    TempDir dir;
    std::filesystem::path district;
    explicit Region(const std::string& name = "U01") : district(dir / name) {
        std::filesystem::create_directory(district);
        DbfWriter way(dir / "WAY.DBF", {{"W", 'C', 80, 0}}, 0x65);
        way.append({district.string()});
        way.finish();
    }
    // Records as UTF-8 values in the order of the fields.
    void file(const std::string& name, std::vector<DbfFieldSpec> fields,
              const std::vector<std::vector<std::string>>& records) {
        DbfWriter t(district / name, std::move(fields), 0x65);
        for (const auto& r : records) {
            std::vector<std::string> values;
            for (const auto& v : r) values.push_back(w(v));
            t.append(values);
        }
        t.finish();
    }
    std::vector<std::string> column(const std::string& file, const std::string& field) const {
        auto t = openTable(district, file, TableType::Dbase, {});
        std::vector<std::string> out;
        const FieldId f = t->fieldByName(field);
        for (t->first(); !t->eof(); t->next()) out.push_back(u(t->text(f)));
        return out;
    }
};

}  // namespace strnum::test
