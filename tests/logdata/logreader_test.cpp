// What the reader makes of good and slightly odd logs in every format:
// directives, field lists, the fixed layouts, encodings, line ends, the time
// shift, the reports it makes, progress and cancellation.

#include "logdata/logreader.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "common/appinfo.h"
#include "logdata/logformat.h"
#include "tests/support/datacases.h"
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

Names namesOf(std::string_view list) {
    Names out;
    for (auto n : splitAtSpaces(list)) out.emplace_back(n);
    return out;
}

// The log text the other tests build on.
const std::string kDated = "#Date: 2003-05-01 00:00:00\r\n";
const std::string kFields = "#Fields: time c-ip cs-method cs-uri-stem sc-status\r\n";
const std::string kLine1 = "00:00:01 192.0.2.1 GET /index.html 200\r\n";
const std::string kLine2 = "00:00:02 192.0.2.2 GET /a.gif 304\r\n";

std::string unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i] == '\\' && i + 1 < s.size() ? s[++i] : 0;
        if (c == 'x') {
            out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c ? c : s[i];
        }
    }
    return out;
}

int32_t logTypeNamed(const std::string& name) {
    const std::map<std::string, int32_t> types{
        {"iis", kLogTypeIis}, {"ncsa", kLogTypeNcsa}, {"w3c", kLogTypeW3c}, {"auto", kLogTypeAuto}};
    return types.count(name) ? types.at(name) : -1;
}

class ReadTest : public ::testing::TestWithParam<testing::DataCase> {
protected:
    TempFolder dir_;
    TestContext t_;
    RecordsetPtr table_;
};

TEST_P(ReadTest, RowsFieldsAndReport) {
    const testing::DataCase& c = GetParam();
    t_.ctx.settings.TimeDiff = std::stoi(c.get("shift").value_or("0"));
    t_.progress.cancelAfter = std::stoll(c.get("cancel").value_or("-1"));
    if (auto on = c.get("types")) {
        auto bit = [&](size_t i) { return on->at(i) == '1'; };
        t_.ctx.settings.types = ContentTypes{bit(0), bit(1), bit(2), bit(3), bit(4), bit(5)};
    }
    std::string text;
    for (const std::string& part : c.all("log")) text += unescape(part);
    const auto layout = c.get("layout");
    const std::string path = layout
                                 ? std::string(BREVADIN_TEST_DATA) + "/layouts/" + *layout + ".log"
                                 : dir_.write("ex030501.log", text);
    if (auto guess = c.get("guess")) {
        EXPECT_EQ(fncGuessLogType(testing::readFile(path)), logTypeNamed(*guess));
    }
    const int32_t logType = logTypeNamed(c.get("type").value_or("w3c"));
    RecordsetPtr result = fncGetRecordsetFromLog(path, table_, logType, t_.ctx);
    EXPECT_EQ(result, c.get("no-table") ? nullptr : table_);

    const auto says = c.get("says");
    ASSERT_EQ(t_.messages.shown.size(), says ? 1u : 0u);
    if (says) {
        const auto& m = t_.messages.shown[0];
        EXPECT_EQ(m.icon,
                  says->starts_with("warning ") ? MessageIcon::Exclamation : MessageIcon::Critical);
        EXPECT_EQ(m.title, kAppTitle);
        const std::string first = unescape(says->substr(says->find(' ') + 1));
        EXPECT_EQ(m.text.rfind(first, 0), 0u) << m.text;
        size_t at = first.size();
        for (const std::string& part : c.all("then"))
            EXPECT_NE(at = m.text.find(unescape(part), at), std::string::npos) << m.text;
    }
    const auto& p = t_.progress;
    if (p.calls) {
        EXPECT_EQ(p.messages, std::set{fncGetFileName(path) + " を読み込み中"});
    }
    if (auto progress = c.get("progress")) {
        EXPECT_EQ((std::vector{p.miniCalls, p.steps}), std::vector(2, p.calls));
        EXPECT_EQ(std::to_string(p.calls) + " of " + std::to_string(p.maxCountMini.at(0)),
                  *progress);
    }
    if (auto rows = c.get("rows")) {
        ASSERT_TRUE(table_);
        EXPECT_EQ(table_->storedRowCount(), std::stoul(*rows));
    }
    if (auto visible = c.get("visible")) {
        Names values = namesOf(*visible);
        EXPECT_EQ(testing::visibleColumn(*table_, values[0]),
                  Names(values.begin() + 1, values.end()));
    }
    if (auto fields = c.get("fields")) {
        std::string list = *fields;
        for (auto [token, names] : {std::pair{"$ncsa", kNcsaFieldList},
                                    {"$combined", kNcsaCombinedFieldList},
                                    {"$iis", kIisFieldList}})
            if (size_t at = list.find(token); at != std::string::npos)
                list.replace(at, std::string_view(token).size(), names);
        EXPECT_EQ(fieldNames(*table_), namesOf(list));
    }
    for (const std::string& want : c.all("cell")) {  // row field value
        const size_t a = want.find(' '), b = std::min(want.find(' ', a + 1), want.size());
        const size_t row = std::stoul(want.substr(0, a));
        ASSERT_LT(row, table_->storedRowCount()) << want;
        EXPECT_EQ(cell(*table_, row, want.substr(a + 1, b - a - 1)),
                  unescape(want.substr(std::min(b + 1, want.size()))))
            << want;
    }
}

// The head of tests/data/reading.txt tells what each key means.
INSTANTIATE_TEST_SUITE_P(Logs, ReadTest,
                         ::testing::ValuesIn(testing::readDataCases(
                             "reading.txt", {"log", "layout", "type", "guess", "shift", "rows",
                                             "cancel", "progress", "types", "visible", "cell",
                                             "says", "then", "fields", "no-table"})),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// --- one file after another, fixed formats, progress and cancellation --------------

class LoadTest : public ::testing::Test {
protected:
    RecordsetPtr load(const std::string& text, int32_t logType = kLogTypeW3c) {
        return fncGetRecordsetFromLog(dir_.write("ex030501.log", text), table_, logType, t_.ctx);
    }

    TempFolder dir_;
    TestContext t_;
    RecordsetPtr table_;
};

// The second file resolves only its own rows.
TEST_F(LoadTest, SecondFileAppendsToTheSameFieldSet) {
    testing::FakeHosts hosts;
    hosts.known = {{"192.0.2.1", "a"}, {"192.0.2.2", "b"}};
    t_.ctx.hosts = &hosts;
    ASSERT_TRUE(load(kDated + kFields + kLine1));
    RecordsetPtr first = table_;
    ASSERT_TRUE(load(kDated + kFields + kLine2));
    EXPECT_FALSE(first->isOpen());  // the field-set rebuild replaced it
    EXPECT_EQ(table_->fieldCount(), 6u);
    EXPECT_EQ(testing::visibleColumn(*table_, "c-ip"), (Names{"a [192.0.2.1]", "b [192.0.2.2]"}));
    EXPECT_EQ(hosts.asked, (std::map<std::string, int>{{"192.0.2.1", 1}, {"192.0.2.2", 1}}));
    // The fixed formats are never resolved nor filtered by content type.
    t_.ctx.settings.types = ContentTypes{false, false, false, false, false, false};
    for (auto [layout, logType] :
         {std::pair{"iis-native", kLogTypeIis}, {"nginx-main", kLogTypeNcsa}}) {
        table_.reset();
        ASSERT_TRUE(
            fncGetRecordsetFromLog(std::string(BREVADIN_TEST_DATA) + "/layouts/" + layout + ".log",
                                   table_, logType, t_.ctx));
        EXPECT_EQ(table_->rowCount(), table_->storedRowCount());
    }
    EXPECT_EQ(hosts.asked.size(), 2u);
    EXPECT_EQ(hosts.finishCalls, 2);
}

// A path without any separator leaves only the fixed part of the message.
TEST_F(LoadTest, ProgressNamesTheFileOrNothing) {
    std::string cwd = std::filesystem::current_path();
    dir_.write("ex030501.log", kDated + kFields + kLine1);
    std::filesystem::current_path(dir_.path());
    EXPECT_TRUE(fncGetRecordsetFromLog("ex030501.log", table_, kLogTypeW3c, t_.ctx));
    std::filesystem::current_path(cwd);
    EXPECT_EQ(t_.progress.messages, (std::set<std::string>{" を読み込み中"}));
}

// A cancelled dialog stays cancelled: the next file stops at its first
// line, and error lines met before are not reported.
TEST_F(LoadTest, CancelledStaysCancelled) {
    t_.progress.cancelAfter = 4;
    EXPECT_FALSE(load(kDated + kFields + kLine1 + kLine2 + kLine1 + kLine2));
    EXPECT_FALSE(load(kLine1 + kLine2 + kFields + kLine1));
    EXPECT_EQ(t_.progress.calls, 5);
    EXPECT_EQ(table_->storedRowCount(), 2u);
    EXPECT_TRUE(t_.messages.shown.empty());
}

// Neither a missing file nor a bad line needs any sink; an unknown type reads W3C.
TEST_F(LoadTest, UnreadableFileOrFolderGivesAClosedEmptyTableAndSaysNothing) {
    EXPECT_FALSE(fncGetRecordsetFromLog(dir_.path() + "/none.log", table_, kLogTypeW3c, t_.ctx));
    ASSERT_TRUE(table_);  // created in place
    EXPECT_FALSE(table_->isOpen());
    EXPECT_EQ(table_->fieldCount(), 0u);
    EXPECT_FALSE(fncGetRecordsetFromLog(dir_.path(), table_, kLogTypeW3c, t_.ctx));
    EXPECT_TRUE(t_.messages.shown.empty());
    EXPECT_TRUE(t_.progress.maxCountMini.empty());
    LoadContext bare;
    EXPECT_FALSE(fncGetRecordsetFromLog(dir_.write("x.log", kLine1 + kFields + "a b c d e f\r\n"),
                                        table_, kLogTypeW3c, bare));
    table_.reset();
    ASSERT_TRUE(
        fncGetRecordsetFromLog(dir_.write("y.log", kDated + kFields + kLine2), table_, 7, bare));
    EXPECT_EQ(table_->fieldCount(), 6u);
}

// --- small functions -----------------------------------------------------------

// The total the progress bar counts against.
TEST(LogReaderHelpers, LineCount) {
    TempFolder dir;
    for (auto [text, lines] : std::vector<std::pair<const char*, int>>{
             {"", 0}, {"\n", 1}, {"x\r\ny\r\n", 2}, {"x\n\ny", 3}})
        EXPECT_EQ(fncGetLineCount(dir.write("a", text)), lines) << text;
    EXPECT_EQ(fncGetLineCount(dir.path() + "/none"), -1);
    EXPECT_EQ(fncGetLineCount(dir.path()), -1);
}

}  // namespace
}  // namespace brevadin
