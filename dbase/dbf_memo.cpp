#include "dbase/dbf_memo.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_header.h"
#include "system/file.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

namespace fs = std::filesystem;

DbfMemoFile::DbfMemoFile(const fs::path& table, const DbfHeader& header, std::string tableName)
    : kind_(header.isFoxPro() ? Kind::Fpt : Kind::Dbt),
      visualFoxPro_(header.isVisualFoxPro()),
      tableName_(std::move(tableName)) {
    const auto found = fileBeside(table, kind_ == Kind::Fpt ? ".FPT" : ".DBT");
    memoName_ = pathTo1251(table.stem()) + (kind_ == Kind::Fpt ? ".FPT" : ".DBT");
    if (!found) return;
    memoName_ = pathTo1251(found->filename());
    file_ = std::make_unique<File>(*found, File::Mode::ReadOnly);
    size_ = file_->size();
    char head[32] = {};
    const std::size_t got = file_->readAt(0, head, sizeof head);
    if (kind_ == Kind::Fpt) {
        const std::uint32_t b = got >= 8 ? be(head + 6, 2) : 0;
        blockSize_ = b == 0 ? 64 : b;
    } else {
        // dBASE IV keeps its block size in the header; dBASE III's are 512 bytes.
        const std::uint32_t b = got >= 22 ? le(head + 20, 2) : 0;
        blockSize_ = header.version == 0x83 || b == 0 || b % 512 != 0 ? 512 : b;
    }
}

DbfMemoFile::~DbfMemoFile() = default;

void DbfMemoFile::damaged(const DbfField& field, std::string_view what) const {
    throwError(ErrorKind::Corrupt, std::string("Таблица "_cp) + tableName_ + ", поле "_cp.data() + field.name +
                                       ": "_cp.data() + std::string(what) + " "_cp.data() + memoName_);
}

MemoValue DbfMemoFile::read(const DbfField& field, std::string_view raw) const {
    // Where the value is: a block number.
    std::uint64_t block = 0;
    if (visualFoxPro_ && raw.size() == 4) {
        block = le(raw.data(), 4);
    } else {
        std::string_view digits = raw;
        while (!digits.empty() && (digits.back() == ' ' || digits.back() == '\0')) digits.remove_suffix(1);
        while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
        if (digits.empty()) return {};
        for (const char c : digits) {
            if (c < '0' || c > '9') damaged(field, "неверная ссылка на файл примечаний"_cp);
            block = block * 10 + static_cast<unsigned>(c - '0');
            if (block > (std::uint64_t{1} << 40)) damaged(field, "неверная ссылка на файл примечаний"_cp);
        }
    }
    if (block == 0) return {};
    if (!file_) damaged(field, "нет файла примечаний"_cp);
    const std::uint64_t at = block * blockSize_;
    MemoValue v;
    std::string head;
    if (kind_ == Kind::Fpt) {
        if (!file_->readExactly(size_, at, 8, head)) damaged(field, "нет примечания в файле"_cp);
        const std::uint32_t type = be(head.data(), 4), length = be(head.data() + 4, 4);
        v.text = type == 1 && (field.type == 'M' || field.type == 'm');
        if (!file_->readExactly(size_, at + 8, length, v.bytes)) damaged(field, "примечание длиннее файла"_cp);
        return v;
    }
    v.text = field.type == 'M';
    if (file_->readExactly(size_, at, 8, head) && static_cast<unsigned char>(head[0]) == 0xFF &&
        static_cast<unsigned char>(head[1]) == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        // dBASE IV: the length counts the eight bytes before the value.
        const std::uint32_t length = le(head.data() + 4, 4);
        if (length < 8 || !file_->readExactly(size_, at + 8, length - 8, v.bytes))
            damaged(field, "примечание длиннее файла"_cp);
        // A binary value of the Borland engine: 01 00 00 01 and its length before the bytes.
        if (!v.text && v.bytes.size() >= 8 && v.bytes.compare(0, 4, "\x01\x00\x00\x01", 4) == 0) v.bytes.erase(0, 8);
        return v;
    }
    // dBASE III: up to the first end mark 0x1A, read a block at a time.
    if (at >= size_) damaged(field, "нет примечания в файле"_cp);
    std::string chunk;
    for (std::uint64_t pos = at; pos < size_; pos += 512) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(512, size_ - pos));
        chunk.resize(n);
        chunk.resize(file_->readAt(pos, chunk.data(), n));
        const std::size_t end = chunk.find('\x1a');
        v.bytes.append(chunk, 0, end);
        if (end != std::string::npos || chunk.size() < n) break;
    }
    return v;
}

}  // namespace strnum
