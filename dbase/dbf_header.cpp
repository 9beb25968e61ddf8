#include "dbase/dbf_header.h"

#include <ctime>

#include "base/error.h"
#include "base/ru.h"
#include "system/clock.h"

namespace strnum {

using namespace strnum::literals;

namespace {

std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t u32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(u16(b, at)) | static_cast<std::uint32_t>(u16(b, at + 2)) << 16;
}

[[noreturn]] void corrupt(const std::string& fileName, std::string_view why) {
    throwError(ErrorKind::Corrupt, std::string("Повреждён заголовок таблицы "_cp) + fileName + ": " + std::string(why));
}

std::string fieldName(std::string_view raw) {
    std::string name;
    for (char c : raw) {
        if (c == '\0') break;
        name += c;
    }
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

}  // namespace

bool isKnownDbfVersion(std::uint8_t v) {
    switch (v) {
        case 0x02:
        case 0x03:
        case 0x04:
        case 0x30:
        case 0x31:
        case 0x32:
        case 0x43:
        case 0x63:
        case 0x7B:
        case 0x83:
        case 0x8B:
        case 0x8C:
        case 0xCB:
        case 0xE5:
        case 0xF5:
        case 0xFB:
            return true;
        default:
            return false;
    }
}

std::uint16_t dbfHeaderLengthOf(std::string_view bytes) { return bytes.size() < 32 ? 0 : u16(bytes, 8); }

DbfHeader parseDbfHeader(std::string_view bytes, std::uint64_t fileSize, const std::string& fileName) {
    if (fileSize < kDbfFileHeaderSize || bytes.size() < kDbfFileHeaderSize)
        throwError(ErrorKind::Corrupt, std::string("Файл короче заголовка таблицы dBASE: "_cp) + fileName);
    DbfHeader h;
    h.version = static_cast<std::uint8_t>(bytes[0]);
    if (!isKnownDbfVersion(h.version))
        throwError(ErrorKind::Unsupported, std::string("Файл не является таблицей dBASE (байт версии "_cp) +
                                               std::to_string(h.version) + "): " + fileName);
    for (int i = 0; i < 3; ++i) h.updated[i] = static_cast<std::uint8_t>(bytes[1 + i]);
    h.recordCount = u32(bytes, 4);
    h.headerLength = u16(bytes, 8);
    h.recordLength = u16(bytes, 10);
    h.tableFlags = static_cast<std::uint8_t>(bytes[28]);
    h.languageDriver = static_cast<std::uint8_t>(bytes[29]);

    const std::size_t first = h.isDbase7() ? 68 : kDbfFileHeaderSize;
    const std::size_t step = h.isDbase7() ? 48 : kDbfDescriptorSize;
    if (h.recordLength == 0) corrupt(fileName, "длина записи 0"_cp);
    if (h.headerLength < first + 1) corrupt(fileName, "длина заголовка меньше наименьшей возможной"_cp);
    if (h.headerLength > fileSize) corrupt(fileName, "длина заголовка больше файла"_cp);
    if (bytes.size() < h.headerLength) corrupt(fileName, "заголовок прочитан не полностью"_cp);

    int offset = 1;
    std::size_t pos = first;
    for (; pos + step <= h.headerLength && static_cast<unsigned char>(bytes[pos]) != kDbfHeaderEnd; pos += step) {
        const std::string_view d = bytes.substr(pos, step);
        DbfField f;
        if (h.isDbase7()) {
            f.name = fieldName(d.substr(0, 32));
            f.type = d[32];
            f.length = static_cast<unsigned char>(d[33]);
            f.decimals = static_cast<unsigned char>(d[34]);
            f.dbase7 = true;
        } else {
            f.name = fieldName(d.substr(0, 11));
            f.type = d[11];
            f.length = static_cast<unsigned char>(d[16]);
            f.decimals = static_cast<unsigned char>(d[17]);
            f.flags = h.isVisualFoxPro() ? static_cast<std::uint8_t>(d[18]) : 0;
            if (f.type == 'C' && f.decimals != 0) {
                // Clipper and FoxPro keep character fields over 255 bytes in both bytes.
                f.length += 256 * f.decimals;
                f.decimals = 0;
            }
        }
        if (f.name.empty()) corrupt(fileName, "поле без имени"_cp);
        if (f.length == 0) corrupt(fileName, std::string("поле "_cp) + f.name + " длины 0"_cp.data());
        f.offset = offset;
        offset += f.length;
        if (offset > 65536) break;
        if (f.type == '0' && f.name == "_NullFlags") h.nullFlagsField = static_cast<int>(h.fields.size());
        h.fields.push_back(std::move(f));
    }
    if (h.fields.empty()) corrupt(fileName, "нет описаний полей"_cp);
    if (offset != h.recordLength)
        corrupt(fileName, std::string("сумма длин полей ("_cp) + std::to_string(offset - 1) +
                              ") не сходится с длиной записи ("_cp.data() + std::to_string(h.recordLength) + ")");
    // Nullable fields own one bit each of _NullFlags, in field order.
    if (h.nullFlagsField >= 0) {
        int bit = 0;
        const int bits = h.fields[static_cast<std::size_t>(h.nullFlagsField)].length * 8;
        for (auto& f : h.fields)
            if ((f.flags & 0x02) != 0 && bit < bits) f.nullBit = bit++;
    }
    return h;
}

CodePage dbfCodePage(std::uint8_t ld, const EngineSettings& settings) {
    switch (ld) {
        case 0x26:
        case 0x65:
            return CodePage::Cp866;
        case 0xC9:
            return CodePage::Cp1251;
        // Windows code pages: Russian tables marked 1252 hold 1251 text; take the bytes as they are.
        case 0x03:
        case 0x57:
        case 0x58:
        case 0x59:
        case 0x78:
        case 0x79:
        case 0x7A:
        case 0x7B:
        case 0x7C:
        case 0x7D:
        case 0x7E:
        case 0xC8:
        case 0xCA:
        case 0xCB:
        case 0xCC:
            return CodePage::Cp1251;
        default:
            return settings.defaultCodePage;
    }
}

int codePageNumber(CodePage cp) { return cp == CodePage::Cp866 ? 866 : 1251; }

std::string encodeDbfDescriptor(const DbfField& f) {
    std::string d(kDbfDescriptorSize, '\0');
    for (std::size_t i = 0; i < f.name.size() && i < 10; ++i) d[i] = f.name[i];
    d[11] = f.type;
    d[16] = static_cast<char>(f.length & 0xFF);
    d[17] = static_cast<char>(f.type == 'C' ? (f.length >> 8) : f.decimals);
    return d;
}

std::array<char, 3> dbfUpdateDateToday(const DbfHeader& header) {
    const std::time_t now = std::time(nullptr);
    std::tm tm = localTime(now);
    const int year = header.isFoxPro() ? (tm.tm_year + 1900) % 100 : tm.tm_year;
    return {static_cast<char>(year), static_cast<char>(tm.tm_mon + 1), static_cast<char>(tm.tm_mday)};
}

}  // namespace strnum
