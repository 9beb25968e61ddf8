// The header of a dBASE table: what the engine relies on of its first bytes.
//
// Byte layout (little-endian; README.md of this folder has the whole picture):
//   0      version byte             1-3  last update Y M D     4-7  record count
//   8-9    header length (= offset of record 1)                10-11 record length incl. the
//   deletion byte                   28   index/memo flags      29   language driver
//   32...  32-byte field descriptors ended by 0x0D (dBASE 7: 48-byte descriptors from 68);
//          Visual FoxPro adds a 263-byte backlink after the 0x0D.
// Only bytes 8-9 locate record 1; the field offsets are the running sum of the lengths.
//
// parseDbfHeader checks that the header can be right and throws Corrupt (Unsupported for a
// file that is not a dBASE table at all) with a message naming the file otherwise.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"
#include "tables/engine_settings.h"

namespace strnum {

inline constexpr std::size_t kDbfFileHeaderSize = 32;
inline constexpr std::size_t kDbfDescriptorSize = 32;
inline constexpr unsigned char kDbfHeaderEnd = 0x0D;
inline constexpr unsigned char kDbfEndOfFile = 0x1A;
inline constexpr unsigned char kDbfLive = ' ';
inline constexpr unsigned char kDbfDeleted = '*';

struct DbfField {
    std::string name;  // ASCII, as stored (up to the first NUL, blanks removed)
    char type = 0;     // 'C', 'N', 'F', 'D', 'L', 'M', 'I', ...
    int offset = 0;    // in the record, after the deletion byte (so >= 1)
    int length = 0;
    int decimals = 0;
    std::uint8_t flags = 0;  // Visual FoxPro byte 18: 0x01 hidden, 0x02 nullable, 0x04 binary
    int nullBit = -1;        // bit in _NullFlags of a nullable field, or -1
    bool dbase7 = false;     // dBASE 7 layout: integers big-endian with the top bit inverted
};

struct DbfHeader {
    std::uint8_t version = 0;
    std::uint8_t updated[3] = {0, 0, 0};
    std::uint32_t recordCount = 0;
    std::uint16_t headerLength = 0;
    std::uint16_t recordLength = 0;
    std::uint8_t tableFlags = 0;  // byte 28
    std::uint8_t languageDriver = 0;
    std::vector<DbfField> fields;
    int nullFlagsField = -1;  // index of the _NullFlags field, or -1

    bool isVisualFoxPro() const { return version == 0x30 || version == 0x31 || version == 0x32; }
    bool isFoxPro() const { return isVisualFoxPro() || version == 0xF5 || version == 0xFB; }
    bool isDbase7() const { return version == 0x04 || version == 0x8C; }
    // Byte 28 says a production (.MDX) or structural (.CDX) index belongs to the table.
    bool hasProductionIndex() const { return (tableFlags & 0x01) != 0; }
};

// Whether the version byte is one of the dBASE family (III, IV, V, 7, FoxBASE, FoxPro, VFP).
bool isKnownDbfVersion(std::uint8_t version);

// bytes: the start of the file, at least min(fileSize, headerLength) bytes when available.
// fileName: 1251, for messages.
DbfHeader parseDbfHeader(std::string_view bytes, std::uint64_t fileSize, const std::string& fileName);

// Header length the header claims (bytes 8-9), or 0 when `bytes` is shorter than 32.
std::uint16_t dbfHeaderLengthOf(std::string_view bytes);

// Code page of the table's text by its language driver byte.
CodePage dbfCodePage(std::uint8_t languageDriver, const EngineSettings& settings);
// The number the code page goes by in the dump (866, 1251).
int codePageNumber(CodePage cp);

// Field descriptor bytes for a new table (dBASE III layout).
std::string encodeDbfDescriptor(const DbfField& field);

// Today's date as the header's last-update bytes (year, month, day): dBASE counts the
// year from 1900, FoxPro writes it modulo 100.  The one place that asks for local time.
std::array<char, 3> dbfUpdateDateToday(const DbfHeader& header);

}  // namespace strnum
