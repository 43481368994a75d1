// The W3C extended reader: directives, field lists, data lines, progress,
// cancellation and the reports it makes.

#include "logdata/logreader.h"

#include <gtest/gtest.h>

#include "common/appinfo.h"
#include "tests/support/loadfakes.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::cell;
using testing::fieldNames;
using testing::TempFolder;
using testing::TestContext;
using Names = std::vector<std::string>;

// Rows without a "date" value take the day of the last "#Date: " line.
const std::string kDated = "#Date: 2003-05-01 00:00:00\r\n";
const std::string kHeader = "#Software: IIS 6.0\r\n#Version: 1.0\r\n" + kDated;
const std::string kFields = "#Fields: time c-ip cs-method cs-uri-stem sc-status\r\n";
const std::string kLine1 = "00:00:01 192.0.2.1 GET /index.html 200\r\n";
const std::string kLine2 = "00:00:02 192.0.2.2 GET /a.gif 304\r\n";

class W3cReaderTest : public ::testing::Test {
protected:
    RecordsetPtr load(const std::string& text, int32_t logType = kLogTypeW3c) {
        return fncGetRecordsetFromLog(dir_.write("ex030501.log", text), table_, logType, t_.ctx);
    }
    RecordsetPtr reload(const std::string& text) {
        table_.reset();
        t_.messages.shown.clear();
        return load(text);
    }
    // The one message shown, or "" when there was none or more than one.
    std::string message(MessageIcon icon) const {
        if (t_.messages.shown.size() != 1) return "";
        const auto& m = t_.messages.shown[0];
        EXPECT_EQ(m.title, kAppTitle);
        return m.icon == icon ? m.text : "<other icon>";
    }
    static std::string failure(int number) {
        return "fncGetRecordsetFromLog:" + std::to_string(number);
    }

    TempFolder dir_;
    TestContext t_;
    RecordsetPtr table_;
};

TEST_F(W3cReaderTest, DirectivesThenFieldsGiveDateFirstAndOneRowPerDataLine) {
    RecordsetPtr result = load(kHeader + kFields + kLine1 + kLine2);
    ASSERT_TRUE(result);
    EXPECT_EQ(result, table_);
    EXPECT_EQ(fieldNames(*result),
              (Names{"date", "time", "c-ip", "cs-method", "cs-uri-stem", "sc-status"}));
    ASSERT_EQ(result->storedRowCount(), 2u);
    EXPECT_EQ(cell(*result, 0, "date"), "2003-05-01");
    EXPECT_EQ(cell(*result, 1, "date"), "2003-05-01");
    EXPECT_EQ(cell(*result, 0, "cs-uri-stem"), "/index.html");
    EXPECT_EQ(cell(*result, 1, "sc-status"), "304");
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(W3cReaderTest, DataLinesWithoutFieldListAreCountedOnceAtTheEnd) {
    ASSERT_TRUE(load(kHeader + kLine1 + kLine2 + kFields + kLine1 + kLine2));
    EXPECT_EQ(table_->storedRowCount(), 2u);
    EXPECT_EQ(message(MessageIcon::Exclamation), "2個のエラー行が検出されました");

    EXPECT_FALSE(reload(kHeader + kLine1 + kLine2 + "x\r\n"));
    EXPECT_EQ(message(MessageIcon::Exclamation), "3個のエラー行が検出されました");
    // "#Fields:" without its space, or in other letter case, is a remark.
    EXPECT_FALSE(reload("#Fields:time c-ip\r\n#fields: time c-ip\r\n" + kLine1));
    EXPECT_EQ(message(MessageIcon::Exclamation), "1個のエラー行が検出されました");
    EXPECT_FALSE(reload(""));
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(W3cReaderTest, FurtherFieldListsWidenAndKeepEarlierRows) {
    RecordsetPtr result = load(kDated + kFields + kLine1 + kFields +
                               "#Fields: time cs-uri-stem cs(Referer)\r\n"
                               "00:00:03 /b.html http://example.jp/\r\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(fieldNames(*result), (Names{"date", "time", "c-ip", "cs-method", "cs-uri-stem",
                                          "sc-status", "cs(Referer)"}));
    ASSERT_EQ(result->storedRowCount(), 2u);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");
    EXPECT_EQ(cell(*result, 0, "cs(Referer)"), "");
    // Fields the last list does not name stay empty in later rows.
    EXPECT_EQ(cell(*result, 1, "c-ip"), "");
    EXPECT_EQ(cell(*result, 1, "cs(Referer)"), "http://example.jp/");
}

TEST_F(W3cReaderTest, FewerValuesLeaveFieldsEmptyMoreValuesEndTheLoad) {
    RecordsetPtr result = load(kDated + kFields + "00:00:01 192.0.2.1\r\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");
    EXPECT_EQ(cell(*result, 0, "cs-uri-stem"), "");

    EXPECT_FALSE(reload(kDated + kFields + kLine1 + "00:00:02 a GET /a 200 extra\r\n" + kLine2));
    EXPECT_EQ(message(MessageIcon::Critical).rfind(failure(kErrTooManyValues), 0), 0u);
    // The row before the bad line stays; nothing after it is read.
    EXPECT_EQ(table_->storedRowCount(), 1u);
}

TEST_F(W3cReaderTest, RunsOfSpacesSeparateOnceButEdgeSpacesMakeEmptyValues) {
    RecordsetPtr result = load(kDated + "#Fields:  time   c-ip \r\n00:00:01    192.0.2.1\r\n");
    ASSERT_TRUE(result);
    // The trailing space of the list makes no nameless field.
    EXPECT_EQ(fieldNames(*result), (Names{"date", "time", "c-ip"}));
    EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");

    result = reload(kDated + "#Fields: time c-ip\r\n 192.0.2.1\r\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "time"), "");
    EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");
    EXPECT_FALSE(reload(kDated + "#Fields: time c-ip\r\n00:00:01 192.0.2.1 \r\n"));
}

TEST_F(W3cReaderTest, BlankLinesAreNeitherRowsNorErrorLines) {
    // Before the field list, after it, and (with no "#Date: " line, whose
    // date an empty row would need) right after it.
    for (const std::string& text : {"\r\n \t\r\n" + kDated + kFields + "\r\n" + kLine1,
                                    std::string("#Fields: date time c-ip\r\n\r\n"
                                                "2003-05-01 00:00:01 192.0.2.1\r\n \t\r\n")}) {
        RecordsetPtr result = reload(text);
        ASSERT_TRUE(result) << text;
        ASSERT_EQ(result->storedRowCount(), 1u) << text;
        EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");
        EXPECT_TRUE(t_.messages.shown.empty()) << text;
    }
}

TEST_F(W3cReaderTest, OnlyTheKnownDirectivesAreActedOn) {
    RecordsetPtr result = load(kDated + kFields + "#Remark: restarted\r\n#Start-Date: x\r\n#\r\n" +
                               kLine1 + "#Fields: Date date\r\nA B\r\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->storedRowCount(), 2u);
    EXPECT_TRUE(t_.messages.shown.empty());
    // Names are compared exactly: "Date" is a field of its own.
    EXPECT_EQ(cell(*result, 1, "Date"), "A");
    EXPECT_EQ(cell(*result, 1, "date"), "B");
}

TEST_F(W3cReaderTest, SecondFileAppendsToTheSameFieldSet) {
    ASSERT_TRUE(load(kDated + kFields + kLine1));
    RecordsetPtr first = table_;
    RecordsetPtr result = load(kDated + kFields + kLine2);
    ASSERT_TRUE(result);
    EXPECT_EQ(result, table_);
    EXPECT_FALSE(first->isOpen());  // the field-set rebuild replaced it
    EXPECT_EQ(result->fieldCount(), 6u);
    ASSERT_EQ(result->storedRowCount(), 2u);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");
    EXPECT_EQ(cell(*result, 1, "c-ip"), "192.0.2.2");
}

TEST_F(W3cReaderTest, ProgressStepsOncePerLineOfEveryKind) {
    ASSERT_TRUE(load(kHeader + kLine1 + kFields + "#Remark: x\r\n" + kLine1 + "\r\n" + kLine2));
    EXPECT_EQ(t_.progress.maxCountMini, (std::vector<int64_t>{9}));
    EXPECT_EQ(t_.progress.calls, 9);
    EXPECT_EQ(t_.progress.miniCalls, 9);
    EXPECT_EQ(t_.progress.steps, 9);
    EXPECT_EQ(t_.progress.messages, (std::set<std::string>{"ex030501.log を読み込み中"}));

    // A path without any separator leaves only the fixed part of the message.
    std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    t_.progress.messages.clear();
    table_.reset();
    EXPECT_TRUE(fncGetRecordsetFromLog("ex030501.log", table_, kLogTypeW3c, t_.ctx));
    std::filesystem::current_path(cwd);
    EXPECT_EQ(t_.progress.messages, (std::set<std::string>{" を読み込み中"}));
}

TEST_F(W3cReaderTest, CancelStopsAfterTheCurrentLineAndKeepsItsRow) {
    t_.progress.cancelAfter = 4;  // the second data line
    EXPECT_FALSE(load(kDated + kFields + kLine1 + kLine2 + kLine1 + kLine2));
    EXPECT_EQ(t_.progress.calls, 4);
    ASSERT_TRUE(table_);
    EXPECT_EQ(table_->storedRowCount(), 2u);

    // A cancelled dialog stays cancelled: the next file stops at its first
    // line, and error lines met before are not reported.
    EXPECT_FALSE(load(kLine1 + kLine2 + kFields + kLine1));
    EXPECT_EQ(t_.progress.calls, 5);
    EXPECT_EQ(table_->storedRowCount(), 2u);
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(W3cReaderTest, UnreadableFileGivesNothingAndSaysNothing) {
    EXPECT_FALSE(fncGetRecordsetFromLog(dir_.path() + "/none.log", table_, kLogTypeW3c, t_.ctx));
    ASSERT_TRUE(table_);  // created in place, still closed and empty
    EXPECT_FALSE(table_->isOpen());
    EXPECT_EQ(table_->fieldCount(), 0u);
    EXPECT_FALSE(fncGetRecordsetFromLog(dir_.path(), table_, kLogTypeW3c, t_.ctx));
    EXPECT_TRUE(t_.messages.shown.empty());
    EXPECT_TRUE(t_.progress.maxCountMini.empty());
}

TEST_F(W3cReaderTest, LoadsWithoutAnySinkAndWithAnUnknownLogType) {
    LoadContext bare;
    EXPECT_FALSE(fncGetRecordsetFromLog(dir_.write("x.log", kLine1 + kFields + "a b c d e f\r\n"),
                                        table_, kLogTypeW3c, bare));
    table_.reset();
    RecordsetPtr result =
        fncGetRecordsetFromLog(dir_.write("y.log", kDated + kFields + kLine2), table_, 7, bare);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->fieldCount(), 6u);
}

TEST_F(W3cReaderTest, RowsAreShiftedByTheConfiguredHours) {
    t_.ctx.settings.TimeDiff = 9;
    RecordsetPtr result = load(
        "#Fields: date time c-ip\r\n"
        "2003-05-01 20:30:15 192.0.2.1\r\n"
        "2003-05-01 20:30:15 192.0.2.2\r\n"
        "2003-05-01 7:05:09 192.0.2.3\r\n"
        "2003-05-01 noon 192.0.2.4\r\n");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->storedRowCount(), 4u);
    const Names expected[] = {{"2003-05-02", "05:30:15"},
                              {"2003-05-02", "05:30:15"},
                              {"2003-05-01", "16:05:09"},
                              {"2003-05-01", "noon"}};  // unreadable: kept as written
    for (size_t r = 0; r < 4; ++r)
        EXPECT_EQ((Names{cell(*result, r, "date"), cell(*result, r, "time")}), expected[r]) << r;

    // Without a "date" field rows take the day of the latest "#Date: " line;
    // without a "time" field nothing is shifted.
    result = reload(
        "#Date: 2003-05-01 00:00:00\r\n#Fields: time c-ip\r\n20:30:15 192.0.2.1\r\n"
        "#Date: 2003-05-03 00:00:00\r\n20:30:15 192.0.2.1\r\n"
        "#Fields: date\r\n2003-05-01\r\n");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->storedRowCount(), 3u);
    EXPECT_EQ(cell(*result, 0, "date") + " " + cell(*result, 0, "time"), "2003-05-02 05:30:15");
    EXPECT_EQ(cell(*result, 1, "date"), "2003-05-04");
    // The table still has "time": an empty one is unreadable, the date is kept.
    EXPECT_EQ(cell(*result, 2, "date"), "2003-05-01");
    result = reload("#Fields: date c-ip\r\n2003-05-01 192.0.2.1\r\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "date"), "2003-05-01");
}

// --- small functions -----------------------------------------------------------

TEST(LogReaderHelpers, TrimSplitFileNameAndLineCount) {
    EXPECT_EQ(fncTrimSpaces("  a  b\t\tc "), " a b\t\tc ");
    EXPECT_EQ(splitAtSpaces(""), (std::vector<std::string_view>{}));
    EXPECT_EQ(splitAtSpaces(" a  b "), (std::vector<std::string_view>{"", "a", "", "b", ""}));
    EXPECT_EQ(fncGetFileName("/var/log/ex030501.log"), "ex030501.log");
    EXPECT_EQ(fncGetFileName("logs/"), "");
    EXPECT_EQ(fncGetFileName("ex030501.log"), "");

    TempFolder dir;
    EXPECT_EQ(fncGetLineCount(dir.write("a", "")), 0);
    EXPECT_EQ(fncGetLineCount(dir.write("b", "\n")), 1);
    EXPECT_EQ(fncGetLineCount(dir.write("c", "x\r\ny\r\n")), 2);
    EXPECT_EQ(fncGetLineCount(dir.write("d", "x\n\ny")), 3);
    EXPECT_EQ(fncGetLineCount(dir.path() + "/none"), -1);
    EXPECT_EQ(fncGetLineCount(dir.path()), -1);
}

TEST(MergeFields, DateFirstThenOldFieldsThenNewNamesRowsKept) {
    auto old = std::make_shared<Recordset>();
    old->appendField("time");
    old->appendField("c-ip");
    old->open();
    old->addNew();
    old->setField("c-ip", "192.0.2.1");
    old->update();
    RecordsetPtr table = old;
    RecordsetPtr merged = fncMergeFields(table, "c-ip cs-uri-stem  date Date");
    EXPECT_EQ(merged, table);
    EXPECT_FALSE(old->isOpen());
    ASSERT_TRUE(merged->isOpen());
    EXPECT_EQ(fieldNames(*merged), (Names{"date", "time", "c-ip", "cs-uri-stem", "Date"}));
    ASSERT_EQ(merged->storedRowCount(), 1u);
    EXPECT_EQ(cell(*merged, 0, "c-ip"), "192.0.2.1");
    EXPECT_EQ(cell(*merged, 0, "cs-uri-stem"), "");
    EXPECT_FALSE(fncFieldExists(*merged, "DATE"));

    RecordsetPtr none;
    EXPECT_EQ(fieldNames(*fncMergeFields(none, "")), (Names{"date"}));
}

}  // namespace
}  // namespace brevadin
