// The file layer over the names the office uses (Cyrillic folders and files, on Windows
// through the wide-character calls, never the ANSI code page), a file for its owner alone,
// and the program's own folder.
#include "system/file.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"
#include "system/paths.h"
#include "system/program_dir.h"
#include "system/replacing_file.h"

namespace strnum {
namespace {

namespace fs = std::filesystem;
using test::pathOf;
using test::TempDir;

TEST(SystemFile, CyrillicFoldersAndNamesThroughEveryCall) {
    TempDir dir;
    const fs::path folder = dir.path() / pathOf("Район") / pathOf("Участок №1");
    fs::create_directories(folder);
    const fs::path file = folder / pathOf("Ёлкин.txt");
    {
        File f(file, File::Mode::CreateNew);
        f.append("abc", 3);
        f.sync();
        EXPECT_TRUE(f.stillAtPath());
    }
    {
        File f(file, File::Mode::ReadWrite);
        EXPECT_TRUE(f.writable());
        EXPECT_EQ(f.size(), 3u);
        f.writeAt(1, "B", 1);
        ASSERT_TRUE(f.lockRange(1000, 1, 0));
        f.unlockRange(1000, 1);
    }
    EXPECT_EQ(test::readBytes(file), "aBc");
    {
        ReplacingFile out(folder / pathOf("Отчёт.txt"));
        out.write("report");
        out.commit();
    }
    EXPECT_EQ(test::readBytes(folder / pathOf("Отчёт.txt")), "report");
    EXPECT_EQ(findInDirectory(folder, "ЁЛКИН.TXT"), file);

    // The engine's tables there, and a message that names a file in Russian.
    const fs::path pdl = folder / pathOf("ПДЛ.DBF");
    {
        DbfWriter wr(pdl, {{"FM", 'C', 20, 0}}, 0x65);
        wr.append({test::w("Петров")});
        wr.finish();
    }
    DbfTable t(pdl, "ПДЛ.DBF", {});
    EXPECT_EQ(test::u(t.text(t.fieldByName("FM"))), "Петров");
    try {
        File missing(folder / pathOf("Нет.DBF"), File::Mode::ReadOnly);
        ADD_FAILURE() << "opened a file that is not there";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::NotFound);
        EXPECT_NE(e.utf8().find("Участок №1"), std::string::npos) << e.utf8();
        EXPECT_NE(e.utf8().find("Нет.DBF"), std::string::npos) << e.utf8();
    }
}

// The journal of a writing run holds personal data: its file is its owner's alone (Linux:
// mode 0600; Windows: an access list of its own for the current user, nothing inherited
// from a program folder others may read).
TEST(SystemFile, APrivateFileIsItsOwnersAlone) {
    TempDir dir;
    {
        File f(dir / "private.jsonl", File::Mode::CreatePrivate);
        f.append("x", 1);
    }
    EXPECT_EQ(test::whoMayOpen(dir / "private.jsonl"), "owner");
    EXPECT_EQ(test::readBytes(dir / "private.jsonl"), "x");
}

// The program directory is the folder of the running program file, whatever its name.
TEST(ProgramDirectory, IsTheFolderOfTheRunningProgram) {
    const fs::path mine = programDirectory();
    EXPECT_TRUE(fs::exists(mine / "strnum_core_tests") || fs::exists(mine / "strnum_core_tests.exe"))
        << test::utf8(mine);
    TempDir dir;
    const fs::path folder = dir.path() / pathOf("Программа СОБЕС");
    fs::create_directory(folder);
    const fs::path worker = pathOf(test::editWorkerProgram());
    fs::copy_file(worker, folder / worker.filename());
    const test::ProgramRun run = test::runProgram({test::utf8(folder / worker.filename()), "progdir"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(fs::equivalent(pathOf(run.out), folder)) << run.out;
}

}  // namespace
}  // namespace strnum
