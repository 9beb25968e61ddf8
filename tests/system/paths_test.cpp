// Finding tables the way their Windows programs named them.
#include "system/paths.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "data/file_descriptions.h"
#include "support/test_support.h"
#include "tables/engine_settings.h"

namespace strnum {
namespace {

using test::TempDir;
using test::w;
namespace fs = std::filesystem;

void touch(const fs::path& p) { test::writeBytes(p, "x"); }

// How Windows finds names, on every system: ASCII and Cyrillic letters without regard to case,
// the entry as it is written; wildcards and separators name nothing.
TEST(Paths, NamesAreFoundWithoutRegardToCase) {
    TempDir dir;
    touch(dir / "Pdl.Dbf");
    touch(dir.path() / test::pathOf("Участок.dbf"));
    EXPECT_EQ(findInDirectory(dir.path(), "PDL.DBF"), dir / "Pdl.Dbf");
    EXPECT_EQ(findInDirectory(dir.path(), "pdl.dbf"), dir / "Pdl.Dbf");
    EXPECT_EQ(findInDirectory(dir.path(), "УЧАСТОК.DBF"), dir.path() / test::pathOf("Участок.dbf"));
    EXPECT_EQ(fileBeside(dir / "PDL.NTX", ".DBF"), dir / "Pdl.Dbf");
    EXPECT_FALSE(findInDirectory(dir.path(), "*.DBF"));
    EXPECT_FALSE(findInDirectory(dir.path(), "P?L.DBF"));
    EXPECT_FALSE(findInDirectory(dir.path(), "PDLN.DBF"));
}

TEST(Paths, ExactNameWinsThenFirstInSortedOrder) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows folder cannot hold two names that differ only in letter case";
#endif
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

#ifdef _WIN32
constexpr const char* kDriveTableOnly =
    "Windows reads drive letters as they stand: the drive table serves other systems";
#endif

TEST(Paths, WindowsDirectoryThroughTheDriveTable) {
#ifdef _WIN32
    GTEST_SKIP() << kDriveTableOnly;
#endif
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
#ifdef _WIN32
    EXPECT_EQ(resolveDirectory(std::string("C:\\U01\0\\garbage", 15), s), fs::path("C:\\U01"));
#else
    s.drives['C'] = dir.path();
    EXPECT_EQ(resolveDirectory(std::string("C:\\U01\0\\garbage", 15), s), dir / "u01");
#endif
}

TEST(Paths, CyrillicComponentsAreFound) {
#ifdef _WIN32
    GTEST_SKIP() << kDriveTableOnly;
#endif
    TempDir root;
    fs::create_directories(root / "Район" / "Участок1");
    EngineSettings s;
    s.drives['C'] = root.path();
    EXPECT_EQ(resolveDirectory(w("C:\\РАЙОН\\участок1"), s), root / "Район" / "Участок1");
}

// On Windows a district directory is read as it stands: a drive letter, a network path, a
// relative one, Cyrillic names in any case; the drive table is not asked.
TEST(Paths, WindowsReadsDirectoriesAsTheyStand) {
#ifndef _WIN32
    GTEST_SKIP() << "drive letters and network paths are Windows' own";
#else
    TempDir root;
    const fs::path district = root.path() / test::pathOf("Район") / test::pathOf("Участок1");
    fs::create_directories(district);
    touch(district / "PDL.DBF");
    EngineSettings s;
    s.drives['C'] = "D:\\elsewhere";
    // The temporary folder's own path, with a drive letter, its Cyrillic part in capitals.
    const fs::path found = resolveDirectory(pathTo1251(root.path()) + w("\\РАЙОН\\участок1\\"), s);
    EXPECT_TRUE(fs::is_regular_file(found / "PDL.DBF")) << test::utf8(found);
    EXPECT_EQ(resolveDirectory("C:\\ORTAN\\U01", s), fs::path("C:\\ORTAN\\U01"));
    EXPECT_EQ(resolveDirectory("c:/ortan/u01", s), fs::path("c:\\ortan\\u01"));
    EXPECT_EQ(resolveDirectory("\\\\server\\share\\ORTAN\\U01\\", s), fs::path("\\\\server\\share\\ORTAN\\U01\\"));
    EXPECT_EQ(resolveDirectory("  ORTAN\\U01 ", s), fs::path("ORTAN\\U01"));
    EXPECT_TRUE(resolveDirectory("   ", s).empty());
#endif
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
