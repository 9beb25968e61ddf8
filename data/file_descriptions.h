// The layouts of the four district files, as one constant table indexed by the file kind.
//
// Every district directory holds four dBASE files of recipients' records.  They carry the
// same facts under slightly different field names; the operations look each field up by the
// name in the description of the kind they work on, so one walk serves all four kinds.
// Kind 1 (OPEKA) has its number in NPSUO; kind 2 (NZKORM) calls surname and birth date FAM
// and DATROG.  The sex field is optional (a missing one reads as empty); the others are
// required.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace strnum {

struct FileDescription {
    std::string_view key;  // number of the personal file
    std::string_view surname;
    std::string_view name;
    std::string_view patronymic;
    std::string_view birthDate;
    std::string_view sex;       // optional
    std::string_view number;    // the insurance number as number text
    std::string_view baseName;  // the file is baseName + ".DBF"
};

inline constexpr int kFileKindCount = 4;

inline constexpr std::array<FileDescription, kFileKindCount> kFileDescriptions = {{
    {"NPD", "FM", "IM", "OT", "DTR", "POL", "NPSU", "PDL"},
    {"NPD", "FM", "IM", "OT", "DTR", "POL", "NPSUO", "OPEKA"},
    {"NPD", "FAM", "IM", "OT", "DATROG", "POL", "NPSU", "NZKORM"},
    {"NPD", "FM", "IM", "OT", "DTR", "POL", "NPSU", "PDLN"},
}};

// The description of a file kind 0..3; throws InvalidArgument for any other kind.
const FileDescription& fileDescription(int kind);

// The table name the district operations open for a kind: base name + ".DBF" ("PDL.DBF").
std::string districtTableName(int kind);

// The district list and its one field.
inline constexpr std::string_view kDistrictListTable = "WAY.DBF";
inline constexpr std::string_view kDistrictDirectoryField = "W";

}  // namespace strnum
