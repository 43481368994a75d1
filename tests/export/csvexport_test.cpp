#include "export/csvexport.h"

#include <gtest/gtest.h>

#include "tests/export/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;

RecordsetPtr table(const std::vector<std::string>& fields,
                   const std::vector<std::vector<std::string>>& rows) {
    auto t = std::make_shared<Recordset>();
    for (const auto& f : fields) t->appendField(f);
    t->open();
    for (const auto& r : rows) {
        t->addNew();
        for (size_t i = 0; i < r.size(); ++i) t->setField(fields[i], r[i]);
        t->update();
    }
    return t;
}

std::string csvOf(const Recordset& t) {
    TempFolder dir;
    std::string error;
    EXPECT_TRUE(saveRecordsetToCsv(t, dir.file("t.csv"), &error)) << error;
    return readFile(dir.file("t.csv"));
}

TEST(CsvExport, BomHeaderCrLfAndQuoting) {
    auto t = table({"date", "cs(Referer)", "メモ"},
                   {{"2003-05-01", "http://e/?a=1,2", "日本語"},
                    {"x", "say \"hi\"", "two\nlines"}});
    EXPECT_EQ(csvOf(*t),
              "\xEF\xBB\xBF" "date,cs(Referer),メモ\r\n"
              "2003-05-01,\"http://e/?a=1,2\",日本語\r\n"
              "x,\"say \"\"hi\"\"\",\"two\nlines\"\r\n");
}

TEST(CsvExport, FormulaTextIsKeptAsText) {
    auto t = table({"v"}, {{"=1+2"}, {"+1"}, {"@SUM(A1)"}, {"-"}, {"-5"}, {"-1.5"}, {"-2e3"},
                           {"-x"}, {"--"}, {"\tx"}, {"a=b"}, {""}});
    EXPECT_EQ(csvOf(*t),
              "\xEF\xBB\xBFv\r\n\"'=1+2\"\r\n\"'+1\"\r\n\"'@SUM(A1)\"\r\n-\r\n-5\r\n-1.5\r\n"
              "-2e3\r\n\"'-x\"\r\n\"'--\"\r\n\"'\tx\"\r\na=b\r\n\r\n");
}

TEST(CsvExport, OnlyVisibleRowsInViewOrder) {
    auto t = table({"k", "n"}, {{"a", "1"}, {"b", "2"}, {"a", "3"}});
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
