#include "paradox/paradox_blob.h"

#include <algorithm>

#include "base/bytes.h"
#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "paradox/paradox_format.h"
#include "system/file.h"
#include "system/paths.h"

namespace strnum {

using namespace strnum::literals;

namespace fs = std::filesystem;

ParadoxBlobFile::ParadoxBlobFile(const fs::path& table, std::string tableName) : tableName_(std::move(tableName)) {
    const auto found = fileBeside(table, ".MB");
    blobName_ = pathTo1251(table.stem()) + ".MB";
    if (!found) return;
    blobName_ = pathTo1251(found->filename());
    file_ = std::make_unique<File>(*found, File::Mode::ReadOnly);
    size_ = file_->size();
}

ParadoxBlobFile::~ParadoxBlobFile() = default;

void ParadoxBlobFile::damaged(const ParadoxField& field, std::string_view what) const {
    throwError(ErrorKind::Corrupt, std::string("Таблица "_cp) + tableName_ + ", поле "_cp.data() + field.name +
                                       ": "_cp.data() + std::string(what) + " "_cp.data() + blobName_);
}

MemoValue ParadoxBlobFile::read(const ParadoxField& field, std::string_view raw) const {
    MemoValue v;
    v.text = field.type == pxtype::Memo;
    if (raw.size() < 10) return v;
    const std::size_t leader = raw.size() - 10;
    const char* tail = raw.data() + leader;
    const std::uint32_t offset = le(tail, 4), length = le(tail + 4, 4);
    if (length == 0) return v;
    const bool graphic = field.type == pxtype::Graphic;
    if (length <= leader) {
        v.bytes.assign(raw.data(), length);
        return v;
    }
    if (!file_) damaged(field, "нет файла BLOB-полей"_cp);
    const std::uint64_t block = offset & ~std::uint32_t{0xFF};
    const unsigned slot = offset & 0xFF;
    std::string head;
    if (slot == 0xFF) {
        // A block of its own: type 2, the bytes from +9.
        if (!file_->readExactly(size_, block, 9, head) || head[0] != 2) damaged(field, "нет значения в файле"_cp);
        if (!file_->readExactly(size_, block + 9, length, v.bytes)) damaged(field, "значение длиннее файла"_cp);
    } else {
        // One of the small values of a type 3 block.
        if (slot >= 64 || !file_->readExactly(size_, block, 12 + 5 * 64, head) || head[0] != 3)
            damaged(field, "нет значения в файле"_cp);
        const char* s = head.data() + 12 + 5 * slot;
        const std::uint64_t at = block + static_cast<std::uint64_t>(static_cast<unsigned char>(s[0])) * 16;
        const unsigned chunks = static_cast<unsigned char>(s[1]), last = static_cast<unsigned char>(s[4]);
        const std::uint64_t stored = chunks == 0 ? 0 : (chunks - 1) * 16ull + last;
        if (stored < length || !file_->readExactly(size_, at, length, v.bytes))
            damaged(field, "значение длиннее файла"_cp);
    }
    // A graphic value starts with 01 00 00 01 and its length.
    if (graphic && v.bytes.size() >= 8 && v.bytes.compare(0, 4, "\x01\x00\x00\x01", 4) == 0) v.bytes.erase(0, 8);
    return v;
}

}  // namespace strnum
