// Index files of other programs: their key expressions are read well enough to know which
// fields they use, and an edit that would change such a field is refused.
#include "dbase/dbf_index.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "dbase/dbf_create.h"
#include "dbase/dbf_table.h"
#include "support/test_support.h"

namespace strnum {
namespace dbf_index_test {  // names of its own: the Windows build compiles test files together
namespace {

using test::TempDir;
using test::writeBytes;
namespace fs = std::filesystem;

ByteReader over(const std::string& bytes) {
    return [bytes](std::uint64_t off, std::size_t n) {
        return off >= bytes.size() ? std::string() : bytes.substr(static_cast<std::size_t>(off), n);
    };
}

std::string ndxWith(const std::string& expr) {
    std::string b(512, '\0');
    b.replace(24, expr.size(), expr);
    return b;
}

std::string ntxWith(const std::string& expr, const std::string& cond = "") {
    std::string b(1024, '\0');
    b[0] = 6;
    b.replace(22, expr.size(), expr);
    b.replace(282, cond.size(), cond);
    return b;
}

std::string mdxWith(const std::vector<std::pair<std::string, std::string>>& tags) {
    std::string b(2048 + 1024 * tags.size(), '\0');
    b[0] = 2;
    b[26] = 32;
    b[28] = static_cast<char>(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i) {
        const std::size_t entry = 544 + 32 * i;
        const std::uint32_t page = static_cast<std::uint32_t>((2048 + 1024 * i) / 512);
        b[entry] = static_cast<char>(page);
        b.replace(entry + 4, tags[i].first.size(), tags[i].first);
        b.replace(2048 + 1024 * i + 24, tags[i].second.size(), tags[i].second);
    }
    return b;
}

TEST(DbfIndexKeys, ExpressionNames) {
    EXPECT_EQ(expressionNames("UPPER(FM)+DTOS(dtr)"), (std::vector<std::string>{"UPPER", "FM", "DTOS", "DTR"}));
    EXPECT_EQ(expressionNames("STR(KOD,9)+\"NPSU\"+'x'+[IM]"), (std::vector<std::string>{"STR", "KOD"}));
    EXPECT_EQ(expressionNames("PDL->NPSU"), (std::vector<std::string>{"PDL", "NPSU"}));
}

TEST(DbfIndexKeys, NdxNtxMdx) {
    auto ndx = readNdxKeys(over(ndxWith("UPPER(FM)")), "A.NDX");
    ASSERT_EQ(ndx.size(), 1u);
    EXPECT_TRUE(ndx[0].covers("fm"));
    EXPECT_FALSE(ndx[0].covers("NPSU"));

    auto ntx = readNtxKeys(over(ntxWith("NPD", "NPSUO<>' '")), "B.NTX");
    ASSERT_EQ(ntx.size(), 1u);
    EXPECT_TRUE(ntx[0].covers("NPD"));
    EXPECT_TRUE(ntx[0].covers("NPSUO"));  // the FOR condition counts too
    EXPECT_FALSE(ntx[0].covers("NPSU"));

    auto mdx = readMdxKeys(over(mdxWith({{"FIO", "FM+IM+OT"}, {"NPD", "NPD"}})), "PDL.MDX");
    ASSERT_EQ(mdx.size(), 2u);
    EXPECT_EQ(mdx[0].tag, "FIO");
    EXPECT_TRUE(mdx[0].covers("OT"));
    EXPECT_TRUE(mdx[1].covers("NPD"));
    EXPECT_FALSE(mdx[1].covers("NPSU"));
}

TEST(DbfIndexKeys, RealStructuralCdx) {
    File f(test::corpusPath("dbf/infused-dbf/foxprodb/calls.CDX"), File::Mode::ReadOnly);
    const auto keys = readCdxKeys(
        [&f](std::uint64_t off, std::size_t n) {
            std::string b(n, '\0');
            b.resize(f.readAt(off, b.data(), n));
            return b;
        },
        "calls.CDX");
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].tag, "CALL_ID");
    EXPECT_EQ(keys[0].expression, "call_id");
    EXPECT_EQ(keys[1].tag, "CONTACT_ID");
    EXPECT_TRUE(keys[1].covers("CONTACT_ID"));
    EXPECT_FALSE(keys[1].covers("SUBJECT"));
}

TEST(DbfIndexKeys, DamagedFilesAreUnreadableAndCoverEverything) {
    EXPECT_TRUE(readNdxKeys(over("short"), "A.NDX")[0].unreadable);
    EXPECT_TRUE(readNtxKeys(over(std::string(1024, '\x01')), "A.NTX")[0].covers("ANY"));
    EXPECT_TRUE(readCdxKeys(over(std::string(1024, '\xff')), "A.CDX")[0].unreadable);
    std::string mdx = mdxWith({{"T", "FM"}});
    mdx[544] = '\x7f';  // tag header far beyond the end
    EXPECT_TRUE(readMdxKeys(over(mdx), "A.MDX")[0].covers("NPSU"));
}

ErrorKind editKind(DbfTable& t, const char* field, const char* value) {
    try {
        t.edit();
        t.setText(t.fieldByName(field), value);
        t.post();
    } catch (const Error& e) {
        t.cancel();
        return e.kind();
    }
    return ErrorKind::Io;  // "no error" marker for these tests
}

fs::path makeTable(const TempDir& dir, const char* name = "PDL.DBF") {
    const fs::path file = dir / name;
    DbfWriter w(file, {{"NPD", 'C', 10, 0}, {"FM", 'C', 20, 0}, {"NPSU", 'C', 11, 0}}, 0x65);
    w.append({"1", "A", ""});
    w.finish();
    return file;
}

TEST(DbfIndexGuard, NtxBesideTheTableStopsEditsOfItsFields) {
    TempDir dir;
    const fs::path file = makeTable(dir);
    writeBytes(dir / "pdlfio.ntx", ntxWith("UPPER(FM)"));
    DbfTable t(file, "PDL.DBF", {});
    try {
        t.edit();
        t.setText(t.fieldByName("FM"), "B");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Unsupported);
        EXPECT_NE(e.utf8().find("pdlfio.ntx"), std::string::npos) << e.utf8();
        EXPECT_NE(e.utf8().find("FM"), std::string::npos);
    }
    t.setText(t.fieldByName("FM"), "A");  // the same value changes nothing
    t.setText(t.fieldByName("NPSU"), "12345678901");
    t.post();
    EXPECT_EQ(t.text(t.fieldByName("NPSU")), "12345678901");
}

TEST(DbfIndexGuard, IndexOfAnotherTableIsNotOurs) {
    TempDir dir;
    const fs::path file = makeTable(dir);
    makeTable(dir, "NZKORM.DBF");
    writeBytes(dir / "NZKORM.NTX", ntxWith("NPSU"));
    DbfTable t(file, "PDL.DBF", {});
    EXPECT_EQ(editKind(t, "NPSU", "1"), ErrorKind::Io);  // allowed
}

TEST(DbfIndexGuard, ProductionMdxOnlyWhenFlagged) {
    TempDir dir;
    const fs::path file = makeTable(dir);
    writeBytes(dir / "PDL.MDX", mdxWith({{"NPSU", "NPSU"}}));
    {
        DbfTable t(file, "PDL.DBF", {});
        EXPECT_EQ(editKind(t, "NPSU", "1"), ErrorKind::Io);  // byte 28 not set: not a production index
    }
    {
        File f(file, File::Mode::ReadWrite);
        f.writeAt(28, "\x01", 1);
    }
    DbfTable t(file, "PDL.DBF", {});
    EXPECT_EQ(editKind(t, "NPSU", "2"), ErrorKind::Unsupported);
    EXPECT_EQ(editKind(t, "FM", "C"), ErrorKind::Io);
}

TEST(DbfIndexGuard, StructuralCdxOfARealTable) {
    TempDir dir;
    const fs::path file = test::copyCorpus("dbf/infused-dbf/foxprodb/calls.dbf", dir);
    test::copyCorpus("dbf/infused-dbf/foxprodb/calls.CDX", dir);
    DbfTable t(file, "calls.dbf", {});
    ASSERT_FALSE(t.indexes().empty());
    for (const auto& k : t.indexes()) EXPECT_EQ(k.file, "calls.CDX");
    t.edit();
    EXPECT_THROW(t.setInteger(t.fieldByName("CALL_ID"), 99), Error);
    t.setText(t.fieldByName("SUBJECT"), "checked");
    t.post();
    EXPECT_EQ(t.text(t.fieldByName("SUBJECT")), "checked");
}

}  // namespace
}  // namespace dbf_index_test
}  // namespace strnum
