// A number directory held in memory, for operation tests that need no Paradox file: the
// fields NUM, FAM, NAM, OTCH, BIRTH, COND with the primary order (NUM) and the order
// "FAM;NAM;OTCH;BIRTH", entries of equal persons in ascending NUM.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "tables/key_search.h"
#include "tables/table.h"

namespace strnum::test {

struct DirectoryEntry {
    std::int32_t num;
    std::string fam, nam, otch;  // 1251
    Date birth;
    std::string cond = "A";
};

class MemoryDirectory : public Table, public KeySearch {
public:
    explicit MemoryDirectory(std::vector<DirectoryEntry> entries) : entries_(std::move(entries)) {
        fields_ = {{"NUM", 'I', FieldKind::Integer, 4, 0}, {"FAM", 'A', FieldKind::Text, 25, 0},
                   {"NAM", 'A', FieldKind::Text, 20, 0},   {"OTCH", 'A', FieldKind::Text, 20, 0},
                   {"BIRTH", 'D', FieldKind::Date, 4, 0},  {"COND", 'A', FieldKind::Text, 1, 0}};
        order();
    }
    int seeks = 0;
    bool givesCursors = false;  // keySearch() gives cursors: copies over the same entries
    // A directory without the last field (COND): looking it up fails.
    void hideCond() { fields_.pop_back(); }

    KeySearch* keySearch() override { return givesCursors ? this : nullptr; }
    // KeySearch: searches without hints, cursors as copies.
    std::uint64_t prefetch(std::span<const KeyValue>) const override { return 0; }
    bool find(std::span<const KeyValue> values, std::uint64_t) override { return findKey(values); }
    bool knownToDifferFromFound() const override { return false; }
    std::unique_ptr<Table> cursor() const override {
        auto c = std::make_unique<MemoryDirectory>(entries_);
        c->givesCursors = true;
        c->setIndexFieldNames(index_);
        return c;
    }

    const std::filesystem::path& file() const override { return file_; }
    const std::string& tableName() const override { return name_; }
    std::int64_t recordCount() override { return static_cast<std::int64_t>(entries_.size()); }
    void first() override { pos_ = 0; }
    void next() override {
        if (pos_ < entries_.size()) ++pos_;
    }
    bool eof() const override { return pos_ >= entries_.size(); }
    std::int64_t recordNumber() const override { return static_cast<std::int64_t>(pos_) + 1; }
    const std::vector<FieldInfo>& fields() const override { return fields_; }
    std::string text(FieldId f) const override {
        const DirectoryEntry& e = at();
        switch (f) {
            case 0:
                return std::to_string(e.num);
            case 1:
                return e.fam;
            case 2:
                return e.nam;
            case 3:
                return e.otch;
            case 4:
                return e.birth.text();
            default:
                return e.cond;
        }
    }
    std::int32_t integer(FieldId) const override { return at().num; }
    Date date(FieldId) const override { return at().birth; }
    bool isEmpty(FieldId f) const override { return text(f).empty(); }
    void edit() override { unsupported(); }
    void insert() override { unsupported(); }
    void setText(FieldId, std::string_view) override { unsupported(); }
    void setInteger(FieldId, std::int32_t) override { unsupported(); }
    void setDate(FieldId, Date) override { unsupported(); }
    void post() override { unsupported(); }
    void cancel() override {}
    bool editing() const override { return false; }
    void setIndexFieldNames(std::string_view names) override {
        if (!names.empty() && names != "FAM;NAM;OTCH;BIRTH") throw Error(ErrorKind::NotFound, "no such index");
        index_ = std::string(names);
        order();
    }
    const std::string& indexFieldNames() const override { return index_; }
    bool findKey(std::span<const KeyValue> values) override {
        ++seeks;
        for (pos_ = 0; pos_ < entries_.size(); ++pos_) {
            const DirectoryEntry& e = entries_[pos_];
            if (index_.empty()) {
                if (e.num == std::get<std::int32_t>(values[0])) return true;
            } else if (e.fam == std::get<std::string>(values[0]) && e.nam == std::get<std::string>(values[1]) &&
                       e.otch == std::get<std::string>(values[2]) && e.birth == std::get<Date>(values[3])) {
                return true;
            }
        }
        return false;
    }

private:
    const DirectoryEntry& at() const {
        if (eof()) throw Error(ErrorKind::InvalidArgument, "eof");
        return entries_[pos_];
    }
    [[noreturn]] static void unsupported() { throw Error(ErrorKind::Unsupported, "read-only"); }
    void order() {
        std::stable_sort(entries_.begin(), entries_.end(), [this](const DirectoryEntry& a, const DirectoryEntry& b) {
            if (index_.empty()) return a.num < b.num;
            return std::tie(a.fam, a.nam, a.otch, a.birth, a.num) < std::tie(b.fam, b.nam, b.otch, b.birth, b.num);
        });
        pos_ = 0;
    }
    std::vector<DirectoryEntry> entries_;
    std::vector<FieldInfo> fields_;
    std::filesystem::path file_ = "NUMS.DB";
    std::string name_ = "NUMS";
    std::string index_;
    std::size_t pos_ = 0;
};

}  // namespace strnum::test
