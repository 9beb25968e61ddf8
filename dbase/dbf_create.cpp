#include "dbase/dbf_create.h"

#include <ctime>

#include "base/error.h"
#include "base/ru.h"
#include "base/text.h"
#include "dbase/dbf_values.h"
#include "tables/table.h"

namespace strnum {

using namespace strnum::literals;

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

void checkSpec(const std::vector<DbfFieldSpec>& fields, const std::string& fileText) {
    const auto bad = [&](const std::string& name, std::string_view why) {
        throwError(ErrorKind::InvalidArgument,
                   std::string("Таблица "_cp) + fileText + ", поле "_cp.data() + name + ": " + std::string(why));
    };
    if (fields.empty() || fields.size() > 255)
        throwError(ErrorKind::InvalidArgument,
                   std::string("Таблица "_cp) + fileText + ": нужно от 1 до 255 полей"_cp.data());
    int total = 1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto& f = fields[i];
        if (f.name.empty() || f.name.size() > 10) bad(f.name, "имя поля должно быть от 1 до 10 знаков"_cp);
        for (char c : f.name)
            if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
                bad(f.name, "имя поля может содержать только A-Z, 0-9 и _"_cp);
        for (std::size_t j = 0; j < i; ++j)
            if (equalsIgnoreCase(fields[j].name, f.name)) bad(f.name, "поле уже есть"_cp);
        const bool ok = (f.type == 'C' && f.length >= 1 && f.length <= 254 && f.decimals == 0) ||
                        (f.type == 'N' && f.length >= 1 && f.length <= 20 && f.decimals >= 0 &&
                         (f.decimals == 0 || f.decimals + 2 <= f.length)) ||
                        (f.type == 'D' && f.length == 8 && f.decimals == 0) ||
                        (f.type == 'L' && f.length == 1 && f.decimals == 0);
        if (!ok) bad(f.name, "недопустимые тип, длина или число знаков после точки"_cp);
        total += f.length;
    }
    if (total > 65535)
        throwError(ErrorKind::InvalidArgument,
                   std::string("Таблица "_cp) + fileText + ": запись слишком длинна"_cp.data());
}

}  // namespace

DbfWriter::DbfWriter(const std::filesystem::path& file, std::vector<DbfFieldSpec> fields, std::uint8_t languageDriver,
                     const EngineSettings& settings)
    : file_(file, File::Mode::CreateNew),
      codePage_(dbfCodePage(languageDriver, settings)),
      fileText_(pathTo1251(file)) {
    try {
        checkSpec(fields, fileText_);
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove(file, ec);  // we created it a moment ago
        throw;
    }
    header_.version = 0x03;
    header_.languageDriver = languageDriver;
    int offset = 1;
    for (const auto& s : fields) {
        DbfField f;
        f.name = s.name;
        f.type = s.type;
        f.length = s.length;
        f.decimals = s.decimals;
        f.offset = offset;
        offset += s.length;
        header_.fields.push_back(f);
    }
    header_.recordLength = static_cast<std::uint16_t>(offset);
    header_.headerLength = static_cast<std::uint16_t>(kDbfFileHeaderSize + kDbfDescriptorSize * fields.size() + 1);
}

DbfWriter::~DbfWriter() {
    if (finished_) return;
    try {
        finish();
    } catch (...) {
    }
}

void DbfWriter::append(const std::vector<std::string>& values, bool deleted) {
    std::string record(header_.recordLength, ' ');
    if (deleted) record[0] = static_cast<char>(kDbfDeleted);
    for (std::size_t i = 0; i < header_.fields.size() && i < values.size(); ++i) {
        const DbfField& f = header_.fields[i];
        record.replace(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length),
                       dbfEncodeText(f, values[i], codePage_, fileText_));
    }
    if (count_ == UINT32_MAX) throwError(ErrorKind::InvalidArgument, fileText_);
    pending_ += record;
    ++count_;
    if (pending_.size() >= kFlushBytes) flush();
}

void DbfWriter::flush() {
    file_.writeAt(header_.headerLength + written_, pending_.data(), pending_.size());
    written_ += pending_.size();
    pending_.clear();
}

void DbfWriter::finish() {
    if (finished_) return;
    finished_ = true;
    pending_ += static_cast<char>(kDbfEndOfFile);
    flush();

    std::string head(header_.headerLength, '\0');
    head[0] = static_cast<char>(header_.version);
    const std::array<char, 3> today = dbfUpdateDateToday(header_);
    std::copy(today.begin(), today.end(), head.begin() + 1);
    for (int i = 0; i < 4; ++i) head[4 + static_cast<std::size_t>(i)] = static_cast<char>(count_ >> (8 * i) & 0xFF);
    head[8] = static_cast<char>(header_.headerLength & 0xFF);
    head[9] = static_cast<char>(header_.headerLength >> 8);
    head[10] = static_cast<char>(header_.recordLength & 0xFF);
    head[11] = static_cast<char>(header_.recordLength >> 8);
    head[29] = static_cast<char>(header_.languageDriver);
    std::size_t pos = kDbfFileHeaderSize;
    for (const auto& f : header_.fields) {
        head.replace(pos, kDbfDescriptorSize, encodeDbfDescriptor(f));
        pos += kDbfDescriptorSize;
    }
    head[pos] = static_cast<char>(kDbfHeaderEnd);
    file_.writeAt(0, head.data(), head.size());
    header_.recordCount = count_;
    file_.sync();
}

void createDbfTable(const std::filesystem::path& file, const std::vector<DbfFieldSpec>& fields,
                    std::uint8_t languageDriver, const EngineSettings& settings) {
    DbfWriter w(file, fields, languageDriver, settings);
    w.finish();
}

}  // namespace strnum
