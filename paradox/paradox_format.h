// Paradox table files: the header, the field list and the encoding of field values.
//
// This is the byte level shared by the reader (paradox_table.h), the keyed writer
// (paradox_writer.h) and the number directory.  data/README_paradox.md lists the layout
// these functions rely on.  Nothing here does file I/O: parseParadoxHeader() takes the
// header bytes and the file size and checks every count and offset against them, so a
// later reader may trust the result without reading past the end of the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/date.h"
#include "base/text.h"

namespace strnum {

// Field type codes as stored in the field array.
namespace pxtype {
inline constexpr std::uint8_t Alpha = 0x01, Date = 0x02, Short = 0x03, Long = 0x04, Money = 0x05, Number = 0x06,
                              Logical = 0x09, Memo = 0x0C, Blob = 0x0D, FmtMemo = 0x0E, Ole = 0x0F, Graphic = 0x10,
                              Time = 0x14, Timestamp = 0x15, AutoInc = 0x16, Bcd = 0x17, Bytes = 0x18;
}

// File types at offset 4.
namespace pxfile {
inline constexpr std::uint8_t KeyedDb = 0, PrimaryIndex = 1, UnkeyedDb = 2;
}

struct ParadoxField {
    std::string name;       // 1251 (the header's bytes, converted like the data)
    std::uint8_t type = 0;  // pxtype code
    int size = 0;           // bytes in the record
    int decimals = 0;       // BCD only: decimal places
    int offset = 0;         // from the start of the record
};

struct ParadoxHeader {
    int recordSize = 0;
    int headerSize = 0;
    std::uint8_t fileType = 0;
    int blockSize = 0;             // bytes
    std::uint32_t records = 0;     // as the header says
    std::uint32_t fileBlocks = 0;  // blocks the file really holds (from its size)
    std::uint16_t firstBlock = 0;
    std::uint16_t lastBlock = 0;
    int keyFields = 0;
    std::uint8_t version = 0;  // byte 0x39
    int codePageNumber = 0;    // 0 when the header has none (3.x)
    std::uint8_t sortOrder = 0;
    std::uint32_t autoIncrement = 0;
    CodePage textCodePage = CodePage::Cp866;  // how the text bytes are read
    std::vector<ParadoxField> fields;

    bool keyed() const { return fileType == pxfile::KeyedDb; }
    // Version as people write it: 30, 35, 40, 50, 70.
    int versionNumber() const;
};

// Parses and checks a .DB header.  bytes: the start of the file (at least its header when
// the file is that long); fileSize: the whole file's size; name: the file for messages
// (1251); defaultCp: the code page of tables whose header names none usable.
// Throws Error: Corrupt for a header that cannot be right, Unsupported for an encrypted
// table or a file that is not a Paradox data table.
ParadoxHeader parseParadoxHeader(std::string_view bytes, std::uint64_t fileSize, std::string_view name,
                                 CodePage defaultCp);

// The code page rule for Paradox headers: 866 -> Cp866, Windows code pages -> Cp1251
// (their bytes are taken as 1251), anything else -> defaultCp.
CodePage paradoxTextCodePage(int headerCodePage, CodePage defaultCp);

// ---- values ---------------------------------------------------------------------------
// Paradox numbers are big-endian with the top bit inverted; all zero bytes = empty.

bool pxIsEmpty(const char* p, int size);
std::optional<std::int64_t> pxDecodeInt(const char* p, int size);  // S, I, +, D, T (nullopt = empty)
std::optional<double> pxDecodeDouble(const char* p);               // N, $, @
void pxEncodeInt(char* p, int size, std::int64_t value);
void pxEncodeDouble(char* p, double value);

// Alpha bytes: cut at the first NUL, trailing blanks removed (still in the table's code page).
std::string_view pxAlphaBytes(const char* p, int size);

// The field's value as text in 1251 (dates dd.mm.yyyy, numbers as the shortest exact
// decimal, logical T/F, memo and binary fields as the empty text; bytes as hex).
std::string pxValueText(const ParadoxField& f, const char* record, CodePage cp);
// Whole-number value, nullopt when empty; throws nothing: *ok is false when the field holds
// something that is not a whole number within 32 bits.
std::optional<std::int32_t> pxValueInt(const ParadoxField& f, const char* record, CodePage cp, bool* ok);
Date pxValueDate(const ParadoxField& f, const char* record);

// Text in 1251 -> the table's code page, padded with NULs to the field.  False when it
// does not fit or has a character the code page lacks (p is then unchanged).
bool pxEncodeAlpha(char* p, int size, std::string_view text1251, CodePage cp);

}  // namespace strnum
