#include "settings/settings.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "identity/registration_number.h"
#include "settings/ini_file.h"
#include "support/test_support.h"

namespace strnum {
namespace {

using test::TempDir;

TEST(IniFile, SettingKeysKeepEverythingElse) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    test::writeBytes(file,
                     "; settings\r\n[Other]\r\nX=1\r\n\r\n[init]\r\ndbpath = C:\\OLD\r\nColor=5\r\n\r\n[Tail]\r\nY=2");
    IniFile ini = IniFile::load(file);
    EXPECT_EQ(ini.get("Init", "DBPath"), "C:\\OLD");
    ini.set("Init", "DBPath", "/srv/nums");
    ini.set("Init", "WayPath", test::w("/srv/участки"));
    ini.save(file);
    EXPECT_EQ(test::readBytes(file), "; settings\r\n[Other]\r\nX=1\r\n\r\n[init]\r\nDBPath=/srv/nums\r\nColor=5\r\n" +
                                         test::w("WayPath=/srv/участки") + "\r\n\r\n[Tail]\r\nY=2\r\n");
}

TEST(IniFile, MissingFileSectionAndKey) {
    TempDir dir;
    IniFile ini = IniFile::load(dir / "none.ini");
    EXPECT_FALSE(ini.get("Init", "DBPath"));
    ini.set("Init", "DBPath", "");
    ini.set("Init", "WayPath", "");
    ini.save(dir / "new.ini");
    EXPECT_EQ(test::readBytes(dir / "new.ini"), "[Init]\r\nDBPath=\r\nWayPath=\r\n");
}

TEST(IniFile, BinaryFileIsRefusedAndNeverWrittenOver) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    const std::string binary("[Init]\0\x01\x02", 9);
    test::writeBytes(file, binary);
    EXPECT_THROW(saveDirectories(file, "a", "b"), Error);
    EXPECT_EQ(test::readBytes(file), binary);
}

TEST(IniFile, ByteOrderMarkAndLineEndsOfOtherEditors) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    // Saved as UTF-8 by an editor: the mark is no part of [Init], values are UTF-8.
    test::writeBytes(file, "\xEF\xBB\xBF[Init]\r\nDBPath=C:\\СВЕРКА\r\n; комментарий\r\n");
    IniFile utf8 = IniFile::load(file);
    EXPECT_EQ(utf8.get("Init", "DBPath"), test::w("C:\\СВЕРКА"));
    utf8.set("Init", "WayPath", test::w("C:\\ОРТАН"));
    utf8.save(file);
    EXPECT_EQ(test::readBytes(file),
              "\xEF\xBB\xBF[Init]\r\nDBPath=C:\\СВЕРКА\r\n; комментарий\r\nWayPath=C:\\ОРТАН\r\n");
    // Lines ended by CR alone (an old Mac editor), and a last line without an end.
    test::writeBytes(file, "[Init]\rDBPath=C:\\SVERKIN\rWayPath=C:\\ORTAN");
    const IniFile cr = IniFile::load(file);
    EXPECT_EQ(cr.get("Init", "DBPath"), "C:\\SVERKIN");
    EXPECT_EQ(cr.get("Init", "WayPath"), "C:\\ORTAN");
}

TEST(IniFile, OnlyARegularFileOfASettingsFilesSizeIsRead) {
    TempDir dir;
#ifndef _WIN32
    // A link to an endless device is no settings file (Windows keeps its devices out of the
    // folders), and neither is a folder or a huge file.
    std::filesystem::create_symlink("/dev/zero", dir / "SOBES.INI");
    EXPECT_THROW(IniFile::load(dir / "SOBES.INI"), Error);
    std::filesystem::remove(dir / "SOBES.INI");
#endif
    std::filesystem::create_directory(dir / "SOBES.INI");
    EXPECT_THROW(IniFile::load(dir / "SOBES.INI"), Error);
    std::filesystem::remove(dir / "SOBES.INI");
    test::writeBytes(dir / "SOBES.INI", "[Init]\r\n" + std::string(IniFile::kMaxBytes, ';'));
    EXPECT_THROW(IniFile::load(dir / "SOBES.INI"), Error);
}

TEST(IniFile, FailedSaveLeavesTheOldFile) {
    TempDir dir;
    EXPECT_THROW(IniFile().save(dir / "no" / "such" / "SOBES.INI"), Error);
}

TEST(Settings, DefaultsAndOwnSections) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    Settings none = loadSettings(file);
    EXPECT_EQ(none.dbPath, "");
    EXPECT_EQ(none.engine.defaultCodePage, CodePage::Cp866);
    EXPECT_EQ(none.batchRegNum, "000-000-000000");
    EXPECT_EQ(none.printerDevice, defaultPrinterDevice());

    test::writeBytes(
        file,
        "[Init]\r\nDBPath=/n\r\nWayPath=/w\r\n[Tables]\r\nDefaultCodePage=1251\r\nLockScheme=foxpro\r\n"
        "Threads=3\r\n"
        "[Drives]\r\nc=/srv/ortan\r\n[Printer]\r\nLPT1=/dev/usb/lp0\r\n[Batch]\r\nRegNum=012-345-678901\r\n");
    Settings s = loadSettings(file);
    EXPECT_EQ(s.dbPath, "/n");
    EXPECT_EQ(s.wayPath, "/w");
    EXPECT_EQ(s.engine.defaultCodePage, CodePage::Cp1251);
    EXPECT_EQ(s.engine.lockScheme, LockScheme::FoxPro);
    EXPECT_EQ(s.engine.threads, 3);
    EXPECT_EQ(none.engine.threads, 0) << "all cores";
    EXPECT_EQ(s.engine.drives.at('C'), "/srv/ortan");
    EXPECT_EQ(s.printerDevice, "/dev/usb/lp0");
    EXPECT_EQ(s.batchRegNum, "012-345-678901");
}

TEST(Settings, UnusableValuesAreErrorsNamingTheKey) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    for (const char* bad :
         {"[Tables]\r\nDefaultCodePage=437\r\n", "[Tables]\r\nLockScheme=Paradox\r\n", "[Tables]\r\nLockWait=-1\r\n",
          "[Tables]\r\nThreads=-2\r\n", "[Tables]\r\nThreads=all\r\n"}) {
        test::writeBytes(file, bad);
        try {
            loadSettings(file);
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidArgument);
            EXPECT_NE(e.utf8().find("SOBES.INI"), std::string::npos) << e.utf8();
        }
    }
}

TEST(Settings, ProblemsAreCollectedAndTheRestIsRead) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    test::writeBytes(file,
                     "[Init]\r\nDBPath=/n\r\n[Tables]\r\nLockScheme=x\r\nLockWait=z\r\n[Batch]\r\nRegNum=1-2\r\n");
    std::vector<std::string> problems;
    const Settings s = loadSettings(file, &problems);
    EXPECT_EQ(problems.size(), 2u);
    EXPECT_EQ(s.dbPath, "/n");
    EXPECT_EQ(s.engine.lockScheme, LockScheme::Dbase);
    EXPECT_EQ(s.batchRegNum, "1-2");  // kept as written; refused where a batch is made
    EXPECT_FALSE(isRegNum(s.batchRegNum));
    EXPECT_TRUE(isRegNum("000-000-000000"));
    EXPECT_FALSE(isRegNum("000-000-00000a"));
}

TEST(Settings, SavingDirectoriesWritesBothKeysInInit) {
    TempDir dir;
    const auto file = dir / "SOBES.INI";
    test::writeBytes(file, "[Drives]\r\nC=/srv\r\n");
    saveDirectories(file, "/nums", "/way");
    EXPECT_EQ(test::readBytes(file), "[Drives]\r\nC=/srv\r\n\r\n[Init]\r\nDBPath=/nums\r\nWayPath=/way\r\n");
    saveDirectories(file, "/nums2", "/way");
    EXPECT_EQ(loadSettings(file).dbPath, "/nums2");
}

}  // namespace
}  // namespace strnum
