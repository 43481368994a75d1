#include "export/csvexport.h"

#include <gtest/gtest.h>

#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::makeTable;

const std::string kBom = "\xEF\xBB\xBF";

std::string csvOf(const Recordset& t) {
    testing::TempFolder dir;
    const Outcome written = saveRecordsetToCsv(t, dir.file("t.csv"));
    EXPECT_TRUE(written) << written.description();
    return testing::readFile(dir.file("t.csv"));
}

TEST(CsvExport, QuotingAndFormulaTextKeptAsText) {
    auto t =
        makeTable({"date", "cs(Referer)", "メモ"},
                  {{"2003-05-01", "http://e/?a=1,2", "日本語"}, {"x", "say \"hi\"", "two\nlines"}});
    EXPECT_EQ(csvOf(*t), kBom +
                             "date,cs(Referer),メモ\r\n2003-05-01,\"http://e/?a=1,2\",日本語\r\n"
                             "x,\"say \"\"hi\"\"\",\"two\nlines\"\r\n");
    // A spreadsheet would run these as formulas; numbers stay numbers.
    auto f = makeTable({"v"}, {{"=1+2"},
                               {"+1"},
                               {"@SUM(A1)"},
                               {"-"},
                               {"-5"},
                               {"-1.5"},
                               {"-2e3"},
                               {"-x"},
                               {"--"},
                               {"\tx"},
                               {"a=b"},
                               {""}});
    EXPECT_EQ(csvOf(*f), kBom +
                             "v\r\n\"'=1+2\"\r\n\"'+1\"\r\n\"'@SUM(A1)\"\r\n-\r\n-5\r\n-1.5\r\n"
                             "-2e3\r\n\"'-x\"\r\n\"'--\"\r\n\"'\tx\"\r\na=b\r\n\r\n");
}

TEST(CsvExport, OnlyVisibleRowsInViewOrder) {
    auto t = makeTable({"k", "n"}, {{"a", "1"}, {"b", "2"}, {"a", "3"}});
    t->setFilter("k='a'");
    t->setSort("n DESC");
    EXPECT_EQ(csvOf(*t), kBom + "k,n\r\na,3\r\na,1\r\n");
}

TEST(ExportKind, LastThreeLettersInAnyCase) {
    const std::pair<const char*, ExportKind> cases[] = {
        {"/tmp/a.xml", ExportKind::Xml}, {"A.XML", ExportKind::Xml},
        {"logxml", ExportKind::Xml},     {"b.Csv", ExportKind::Csv},
        {"c.htm", ExportKind::Unknown},  {"ml", ExportKind::Unknown},
        {"", ExportKind::Unknown},       {"noextension", ExportKind::Unknown}};
    for (auto [name, kind] : cases) EXPECT_EQ(exportKindForFileName(name), kind) << name;
}

}  // namespace
}  // namespace brevadin
