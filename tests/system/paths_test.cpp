// Finding tables the way their Windows programs named them.
#include "system/paths.h"

#include <gtest/gtest.h>

#include "data/file_descriptions.h"
#include "support/test_support.h"
#include "tables/engine_settings.h"

namespace strnum {
namespace {

using test::TempDir;
using test::w;
namespace fs = std::filesystem;

void touch(const fs::path& p) { test::writeBytes(p, "x"); }

TEST(Paths, ExactNameWinsThenFirstInSortedOrder) {
    TempDir dir;
    touch(dir / "pdl.dbf");
    touch(dir / "Pdl.DBF");
    EXPECT_EQ(findInDirectory(dir.path(), "pdl.dbf")->filename(), "pdl.dbf");
    EXPECT_EQ(findInDirectory(dir.path(), "PDL.DBF")->filename(), "Pdl.DBF");  // "P" sorts before "p"
    EXPECT_FALSE(findInDirectory(dir.path(), "OPEKA.DBF"));
    EXPECT_FALSE(findInDirectory(dir / "missing", "PDL.DBF"));
}

TEST(Paths, CyrillicNamesMatchWithoutCase) {
    EXPECT_TRUE(fileNamesEqual("Участок.dbf", "УЧАСТОК.DBF"));
    EXPECT_TRUE(fileNamesEqual("ёж", "ЁЖ"));
    EXPECT_FALSE(fileNamesEqual("PDL", "PDLN"));
}

TEST(Paths, WindowsDirectoryThroughTheDriveTable) {
    TempDir root;
    fs::create_directories(root / "Ortan" / "u01");
    EngineSettings s;
    s.drives['C'] = root.path();
    EXPECT_EQ(resolveDirectory("C:\\ORTAN\\U01\\", s), root / "Ortan" / "u01");
    EXPECT_EQ(resolveDirectory("c:\\ortan\\u01", s), root / "Ortan" / "u01");
    EXPECT_TRUE(fs::is_directory(resolveDirectory("C:\\ORTAN\\U01\\", s)));
    EXPECT_FALSE(fs::exists(resolveDirectory("C:\\ORTAN\\U02\\", s)));
    EXPECT_TRUE(resolveDirectory("D:\\ORTAN", s).empty());  // no such drive in the table
    EXPECT_TRUE(resolveDirectory("\\\\server\\share\\u01", s).empty());
    EXPECT_TRUE(resolveDirectory("   ", s).empty());
    EXPECT_EQ(resolveDirectory((root / "ORTAN" / "U01").string(), s), root / "Ortan" / "u01");
}

// A name that holds a NUL or a separator is no entry's name: answering for it with the
// directory itself, or with another entry, would open another file than the one asked for.
TEST(Paths, NamesWithNulOrSeparatorFindNothing) {
    TempDir dir;
    fs::create_directories(dir / "u01");
    touch(dir / "u01" / "PDL.DBF");
    EXPECT_FALSE(findInDirectory(dir.path(), std::string("\0/u01", 5)));
    EXPECT_FALSE(findInDirectory(dir.path(), std::string("u01\0x", 5)));
    EXPECT_FALSE(findInDirectory(dir.path(), "u01/PDL.DBF"));
    EXPECT_FALSE(findInDirectory(dir.path(), ".."));
    // A stored directory ends at its first NUL, as a field's text does.
    EngineSettings s;
    s.drives['C'] = dir.path();
    EXPECT_EQ(resolveDirectory(std::string("C:\\U01\0\\garbage", 15), s), dir / "u01");
}

TEST(Paths, CyrillicComponentsAreFound) {
    TempDir root;
    fs::create_directories(root / "Район" / "Участок1");
    EngineSettings s;
    s.drives['C'] = root.path();
    EXPECT_EQ(resolveDirectory(w("C:\\РАЙОН\\участок1"), s), root / "Район" / "Участок1");
}

TEST(FileDescriptions, KindsDifferWhereTheFilesDo) {
    EXPECT_EQ(districtTableName(0), "PDL.DBF");
    EXPECT_EQ(districtTableName(3), "PDLN.DBF");
    EXPECT_EQ(fileDescription(1).number, "NPSUO");
    EXPECT_EQ(fileDescription(2).surname, "FAM");
    EXPECT_EQ(fileDescription(2).birthDate, "DATROG");
    for (int k = 0; k < kFileKindCount; ++k) EXPECT_EQ(fileDescription(k).key, "NPD");
    EXPECT_THROW(fileDescription(4), std::exception);
}

}  // namespace
}  // namespace strnum
