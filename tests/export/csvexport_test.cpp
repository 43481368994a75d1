#include "export/csvexport.h"

#include <gtest/gtest.h>

#include "tests/support/tables.h"

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::makeTable;
using testing::TempFolder;


std::string csvOf(const Recordset& t) {
    TempFolder dir;
    std::string error;
    EXPECT_TRUE(saveRecordsetToCsv(t, dir.file("t.csv"), &error)) << error;
    return readFile(dir.file("t.csv"));
}

TEST(CsvExport, BomHeaderCrLfAndQuoting) {
    auto t = makeTable({"date", "cs(Referer)", "メモ"},
                   {{"2003-05-01", "http://e/?a=1,2", "日本語"},
                    {"x", "say \"hi\"", "two\nlines"}});
    EXPECT_EQ(csvOf(*t),
              "\xEF\xBB\xBF" "date,cs(Referer),メモ\r\n"
              "2003-05-01,\"http://e/?a=1,2\",日本語\r\n"
              "x,\"say \"\"hi\"\"\",\"two\nlines\"\r\n");
}

TEST(CsvExport, FormulaTextIsKeptAsText) {
    auto t = makeTable({"v"}, {{"=1+2"}, {"+1"}, {"@SUM(A1)"}, {"-"}, {"-5"}, {"-1.5"}, {"-2e3"},
                           {"-x"}, {"--"}, {"\tx"}, {"a=b"}, {""}});
    EXPECT_EQ(csvOf(*t),
              "\xEF\xBB\xBFv\r\n\"'=1+2\"\r\n\"'+1\"\r\n\"'@SUM(A1)\"\r\n-\r\n-5\r\n-1.5\r\n"
              "-2e3\r\n\"'-x\"\r\n\"'--\"\r\n\"'\tx\"\r\na=b\r\n\r\n");
}

TEST(CsvExport, OnlyVisibleRowsInViewOrder) {
    auto t = makeTable({"k", "n"}, {{"a", "1"}, {"b", "2"}, {"a", "3"}});
    t->setFilter("k='a'");
    t->setSort("n DESC");
    EXPECT_EQ(csvOf(*t), "\xEF\xBB\xBFk,n\r\na,3\r\na,1\r\n");
}

TEST(ExportKind, LastThreeLettersInAnyCase) {
    EXPECT_EQ(exportKindForFileName("/tmp/a.xml"), ExportKind::Xml);
    EXPECT_EQ(exportKindForFileName("A.XML"), ExportKind::Xml);
    EXPECT_EQ(exportKindForFileName("logxml"), ExportKind::Xml);
    EXPECT_EQ(exportKindForFileName("b.Csv"), ExportKind::Csv);
    EXPECT_EQ(exportKindForFileName("c.htm"), ExportKind::Unknown);
    EXPECT_EQ(exportKindForFileName("noextension"), ExportKind::Unknown);
    EXPECT_EQ(exportKindForFileName("ml"), ExportKind::Unknown);
    EXPECT_EQ(exportKindForFileName(""), ExportKind::Unknown);
}

}  // namespace
}  // namespace brevadin
