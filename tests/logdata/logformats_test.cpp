// The NCSA and Microsoft IIS layouts, real lines from the log generator,
// text encodings, line ends and sizes.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "logdata/logformat.h"
#include "logdata/logreader.h"
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

Names withDate(Names names) {
    names.insert(names.begin(), "date");
    return names;
}

// Runs the project's log generator; the lines it wrote, without line ends.
std::vector<std::string> generate(const std::string& file, const std::vector<std::string>& args) {
    std::string command = std::string(BREVADIN_BINARY_DIR) + "/brevadin-genlog";
    for (const auto& a : args) command += " " + a;
    command += " -o '" + file + "'";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class FormatTest : public ::testing::Test {
protected:
    RecordsetPtr load(const std::string& text, int32_t logType) {
        return loadFile(dir_.write("test.log", text), logType);
    }
    RecordsetPtr loadFile(const std::string& path, int32_t logType) {
        return fncGetRecordsetFromLog(path, table_, logType, t_.ctx);
    }

    TempFolder dir_;
    TestContext t_;
    testing::FakeHosts hosts_;
    RecordsetPtr table_;
};

// --- NCSA ----------------------------------------------------------------------

TEST_F(FormatTest, NcsaValuesInBracketsAndQuotes) {
    RecordsetPtr result = load(
        "192.0.2.1 - frank [10/Oct/2000:13:55:36 -0700] \"GET /a\\\"b HTTP/1.0\" 200 2326\n"
        "192.0.2.2 - - [01/May/2003:00:00:01 +0900] \"GET /cut\n",
        kLogTypeNcsa);
    ASSERT_TRUE(result);
    EXPECT_EQ(fieldNames(*result), withDate(namesOf(kNcsaFieldList)));
    ASSERT_EQ(result->storedRowCount(), 2u);
    EXPECT_EQ(cell(*result, 0, "Date"), "10/Oct/2000:13:55:36 -0700");
    EXPECT_EQ(cell(*result, 0, "Request"), "GET /a\\\"b HTTP/1.0");  // escaped quote inside
    EXPECT_EQ(cell(*result, 0, "Byte"), "2326");
    // An unclosed quote runs to the end of the line.
    EXPECT_EQ(cell(*result, 1, "Request"), "GET /cut");
    EXPECT_EQ(cell(*result, 1, "Status"), "");

    // A quote closes a value only where a space or the line end follows it.
    table_.reset();
    result = load("h - - [d] \"r\" 200 5 \"-\" \"Mozilla/4.0 (\"x\"y)\"\n", kLogTypeNcsa);
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "cs(User-Agent)"), "Mozilla/4.0 (\"x\"y)");
    EXPECT_TRUE(t_.messages.shown.empty());

    table_.reset();
    EXPECT_FALSE(load("a b c d e f g h i j\n", kLogTypeNcsa));
    ASSERT_EQ(t_.messages.shown.size(), 1u);
    EXPECT_EQ(t_.messages.shown[0].icon, MessageIcon::Critical);
}

TEST_F(FormatTest, NcsaGeneratedCommonAndCombinedLogsRoundTrip) {
    for (const char* format : {"ncsa", "combined"}) {
        SCOPED_TRACE(format);
        table_.reset();
        std::string file = dir_.path() + "/" + format + ".log";
        auto lines = generate(file, {"--format", format, "--lines", "400"});
        RecordsetPtr result = loadFile(file, kLogTypeNcsa);
        ASSERT_TRUE(result);
        bool combined = std::string(format) == "combined";
        EXPECT_EQ(fieldNames(*result),
                  withDate(namesOf(combined ? kNcsaCombinedFieldList : kNcsaFieldList)));
        ASSERT_EQ(result->storedRowCount(), lines.size());
        for (size_t r = 0; r < lines.size(); ++r) {
            std::string rebuilt = cell(*result, r, "Host") + " " + cell(*result, r, "Ident") + " " +
                                  cell(*result, r, "Authuser") + " [" + cell(*result, r, "Date") +
                                  "] \"" + cell(*result, r, "Request") + "\" " +
                                  cell(*result, r, "Status") + " " + cell(*result, r, "Byte");
            if (combined)
                rebuilt += " \"" + cell(*result, r, "cs(Referer)") + "\" \"" +
                           cell(*result, r, "cs(User-Agent)") + "\"";
            ASSERT_EQ(rebuilt, fncTrimSpaces(lines[r])) << "line " << r + 1;
        }
        EXPECT_TRUE(t_.messages.shown.empty());
    }
}

// --- Microsoft IIS -----------------------------------------------------------

TEST_F(FormatTest, IisLineIsCutAtCommaSpaceAndParametersJoinTheTarget) {
    RecordsetPtr result = load(
        "192.0.2.1, -, 05/01/03, 0:00:00, W3SVC1, WEBSV01, 192.168.1.10, 155, 292, 12102, "
        "200, 0, GET, /index.html, -,\r\n"
        "192.0.2.1, -, 05/01/03, 0:00:01, W3SVC1, WEBSV01, 192.168.1.10, 15, 292, 12, "
        "200, 0, GET, /find.asp, q=a, b,\r\n"
        "192.0.2.1, -, 05/01/03, 0:00:02, W3SVC1, WEBSV01, 192.168.1.10, 15, 292, 12, "
        "200, 0, GET, /old.htm,\r\n",
        kLogTypeIis);
    ASSERT_TRUE(result);
    EXPECT_EQ(fieldNames(*result), withDate(namesOf(kIisFieldList)));
    ASSERT_EQ(result->storedRowCount(), 3u);
    EXPECT_EQ(cell(*result, 0, "ユーザーのIPアドレス"), "192.0.2.1");
    EXPECT_EQ(cell(*result, 0, "時刻"), "0:00:00");  // never shifted
    EXPECT_EQ(cell(*result, 0, "操作の対象"), "/index.html");
    EXPECT_EQ(cell(*result, 1, "操作の対象"), "/find.asp?q=a, b");
    EXPECT_EQ(cell(*result, 2, "操作の対象"), "/old.htm");
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(FormatTest, IisGeneratedLogsRoundTrip) {
    for (bool params : {false, true}) {
        SCOPED_TRACE(params);
        table_.reset();
        std::string file = dir_.path() + "/in.log";
        std::vector<std::string> args{"--format", "iis", "--lines", "300"};
        if (params) args.push_back("--iis-params");
        auto lines = generate(file, args);
        RecordsetPtr result = loadFile(file, kLogTypeIis);
        ASSERT_TRUE(result);
        ASSERT_EQ(result->storedRowCount(), lines.size());
        Names names = namesOf(kIisFieldList);
        for (size_t r = 0; r < lines.size(); ++r) {
            std::string rebuilt;
            for (size_t i = 0; i + 1 < names.size(); ++i)
                rebuilt += cell(*result, r, names[i]) + ", ";
            std::string target = cell(*result, r, names.back());
            size_t query = target.find('?');
            if (params) {
                rebuilt += query == std::string::npos
                               ? target + ", -"
                               : target.substr(0, query) + ", " + target.substr(query + 1);
            } else {
                rebuilt += target;
            }
            ASSERT_EQ(rebuilt + ",", lines[r]) << "line " << r + 1;
        }
    }
}

// --- what the fixed formats never do, and what they share with W3C -------------

TEST_F(FormatTest, FixedFormatsAreNeverShiftedResolvedOrFiltered) {
    t_.ctx.settings.TimeDiff = 9;
    t_.ctx.settings.types = ContentTypes{false, false, false, false, false, false};
    t_.ctx.hosts = &hosts_;
    RecordsetPtr iis = load(
        "192.0.2.1, -, 05/01/03, 0:00:00, W3SVC1, WEBSV01, 192.168.1.10, 1, 2, 3, 200, 0, GET, "
        "/a.html,\r\n",
        kLogTypeIis);
    ASSERT_TRUE(iis);
    EXPECT_EQ(cell(*iis, 0, "日付"), "05/01/03");
    EXPECT_EQ(iis->rowCount(), 1u);
    table_.reset();
    RecordsetPtr ncsa =
        load("192.0.2.1 - - [01/May/2003:00:00:00 +0900] \"GET /a.html HTTP/1.1\" 200 5\n",
             kLogTypeNcsa);
    ASSERT_TRUE(ncsa);
    EXPECT_EQ(ncsa->rowCount(), 1u);
    EXPECT_EQ(ncsa->filter(), "");
    EXPECT_TRUE(hosts_.asked.empty());
    EXPECT_EQ(hosts_.finishCalls, 0);
}

TEST_F(FormatTest, EmptyFixedFormatFileGivesTheFixedFieldSet) {
    RecordsetPtr ncsa = load("", kLogTypeNcsa);
    ASSERT_TRUE(ncsa);
    EXPECT_EQ(fieldNames(*ncsa), withDate(namesOf(kNcsaFieldList)));
    EXPECT_EQ(ncsa->storedRowCount(), 0u);
    table_.reset();
    RecordsetPtr iis = load("", kLogTypeIis);
    ASSERT_TRUE(iis);
    EXPECT_EQ(iis->fieldCount(), 15u);
    EXPECT_TRUE(t_.messages.shown.empty());
}

TEST_F(FormatTest, FieldListsAndRemarksInFixedFormatFiles) {
    RecordsetPtr result = load(
        "#Remark: hello\n"
        "192.0.2.1 - - [01/May/2003:00:00:00 +0900] \"GET / HTTP/1.1\" 200 5\n"
        "#Fields: Host cs-host\n"
        "192.0.2.2 www.example.jp\n",
        kLogTypeNcsa);
    ASSERT_TRUE(result);
    Names expected = withDate(namesOf(kNcsaFieldList));
    expected.push_back("cs-host");
    EXPECT_EQ(fieldNames(*result), expected);
    ASSERT_EQ(result->storedRowCount(), 2u);
    EXPECT_EQ(cell(*result, 1, "Host"), "192.0.2.2");
    EXPECT_EQ(cell(*result, 1, "cs-host"), "www.example.jp");
    EXPECT_EQ(cell(*result, 1, "Status"), "");

    table_.reset();
    result = load("#Remark: x\n#Fields: extra\n192.0.2.9\n", kLogTypeIis);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->fieldCount(), 16u);
    EXPECT_EQ(cell(*result, 0, "extra"), "192.0.2.9");
    EXPECT_TRUE(t_.messages.shown.empty());
}

// --- encodings and line ends ---------------------------------------------------

TEST_F(FormatTest, Cp932FileIsStoredAsUtf8) {
    // "テスト", half-width "ｱ" and the NEC circled one, which plain Shift_JIS lacks.
    RecordsetPtr result =
        load("#Fields: cs-uri-stem cs(Referer)\r\n/\x83\x65\x83\x58\x83\x67.html \xb1\x87\x40\r\n",
             kLogTypeW3c);
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "cs-uri-stem"), "/テスト.html");
    EXPECT_EQ(cell(*result, 0, "cs(Referer)"), "ｱ①");
}

TEST_F(FormatTest, Utf8FileWithOrWithoutBom) {
    for (std::string bom : {"", "\xef\xbb\xbf"}) {
        table_.reset();
        RecordsetPtr result = load(bom + "#Fields: cs-uri-stem\n/テスト.html\n", kLogTypeW3c);
        ASSERT_TRUE(result) << bom.size();
        EXPECT_EQ(fieldNames(*result), (Names{"date", "cs-uri-stem"}));
        EXPECT_EQ(cell(*result, 0, "cs-uri-stem"), "/テスト.html");
    }
    // A BOM settles the question: a broken byte becomes U+FFFD and the rest
    // stays UTF-8 instead of turning into CP932 mojibake.
    table_.reset();
    RecordsetPtr result = load("\xef\xbb\xbf#Fields: cs-uri-stem\n/テスト\xff.html\n", kLogTypeW3c);
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "cs-uri-stem"), "/テスト\xef\xbf\xbd.html");
}

TEST_F(FormatTest, LineEndsCrLfLfAndNoneAtTheEnd) {
    for (std::string text : {"#Fields: c-ip\r\na\r\nb\r\n", "#Fields: c-ip\na\nb\n",
                             "#Fields: c-ip\na\r\nb", "#Fields: c-ip\r\na\nb\r"}) {
        SCOPED_TRACE(text);
        table_.reset();
        RecordsetPtr result = load(text, kLogTypeW3c);
        ASSERT_TRUE(result);
        ASSERT_EQ(result->storedRowCount(), 2u);
        EXPECT_EQ(cell(*result, 0, "c-ip"), "a");
        EXPECT_EQ(cell(*result, 1, "c-ip"), "b");
    }
}

TEST_F(FormatTest, LongValuesAreKeptWhole) {
    std::string probe = "/default.ida?" + std::string(300, 'N') + "%u9090";
    std::string huge(3 << 20, 'x');  // longer than one read of the file
    RecordsetPtr result =
        load("#Fields: cs-uri-stem c-ip\n" + probe + " a\n" + huge + " b\n", kLogTypeW3c);
    ASSERT_TRUE(result);
    ASSERT_EQ(result->storedRowCount(), 2u);
    EXPECT_EQ(cell(*result, 0, "cs-uri-stem"), probe);
    EXPECT_EQ(cell(*result, 1, "cs-uri-stem"), huge);
    EXPECT_EQ(cell(*result, 1, "c-ip"), "b");
}

TEST_F(FormatTest, MoreThan32767LinesAcrossManyReads) {
    const int rows = 70000;
    std::string text = "#Date: 2003-05-01 00:00:00\r\n#Fields: time c-ip sc-bytes\r\n";
    for (int i = 0; i < rows; ++i)
        text += "00:00:00 192.0.2." + std::to_string(i % 200) + " " + std::to_string(i) + "\r\n";
    RecordsetPtr result = load(text, kLogTypeW3c);
    ASSERT_TRUE(result);
    EXPECT_EQ(t_.progress.maxCountMini, (std::vector<int64_t>{rows + 2}));
    EXPECT_EQ(t_.progress.calls, rows + 2);
    ASSERT_EQ(result->storedRowCount(), static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i)
        ASSERT_EQ(cell(*result, static_cast<size_t>(i), "sc-bytes"), std::to_string(i));
}

TEST_F(FormatTest, GeneratedW3cLogWithRestartsAndAWiderFieldList) {
    std::string file = dir_.path() + "/ex.log";
    auto lines = generate(
        file, {"--format", "w3c", "--lines", "2000", "--restarts", "2", "--fields-change"});
    size_t dataLines = 0;
    for (const auto& l : lines) dataLines += l.empty() || l[0] != '#';
    RecordsetPtr result = loadFile(file, kLogTypeW3c);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->storedRowCount(), dataLines);
    EXPECT_TRUE(result->fieldExists("cs-host"));
    // The tests and benchmarks rely on a seed naming one log, byte for byte.
    std::vector<std::string> args{"--format", "w3c", "--lines", "300", "--ipv6"};
    auto again = [&](const char* seed) {
        auto a = args;
        a.insert(a.end(), {"--seed", seed});
        return generate(dir_.path() + "/again.log", a);
    };
    EXPECT_EQ(again("7"), again("7"));
    EXPECT_NE(again("7"), again("8"));
    EXPECT_EQ(result->fields().back().name, "cs-host");
    EXPECT_TRUE(t_.messages.shown.empty());
}

}  // namespace
}  // namespace brevadin

namespace brevadin {
namespace {

// The sample logs shipped with the program load cleanly in their formats.
TEST(SampleLogs, EachLoadsEveryDataLine) {
    const std::string samples = std::string(BREVADIN_SOURCE_DIR) + "/samples/";
    for (auto [name, logType] :
         std::vector<std::pair<const char*, int32_t>>{{"ex030501.log", kLogTypeW3c},
                                                      {"access.log", kLogTypeNcsa},
                                                      {"in030501.log", kLogTypeIis}}) {
        SCOPED_TRACE(name);
        std::ifstream in(samples + name, std::ios::binary);
        ASSERT_TRUE(in) << samples + name;
        size_t dataLines = 0;
        for (std::string line; std::getline(in, line);) dataLines += line.empty() || line[0] != '#';
        TestContext t;
        RecordsetPtr table;
        RecordsetPtr result = fncGetRecordsetFromLog(samples + name, table, logType, t.ctx);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->storedRowCount(), dataLines);
        EXPECT_TRUE(t.messages.shown.empty());
    }
}

}  // namespace
}  // namespace brevadin

namespace brevadin {
namespace {

// Layouts servers write today, each fault of a fixed format, and loads with
// the wrong setting, from tests/data/layouts/. A guess of -1: none plain.
struct LayoutCase {
    struct {
        const char* file;
        int32_t logType;
        int32_t guess;  // what the file's first lines show
        int rows;       // -1: the load gives no table
    } load;
    const char* fields;                             // the whole field list, nullptr: not checked
    std::vector<std::array<const char*, 3>> cells;  // row, field, value
    std::string message;                            // part of the one message shown; "": none shown
};

TEST(Layouts, LoadWholeOrSayWhichFormatTheyAre) {
    const std::string ncsaHint = "このファイルは NCSA 共通ログ ファイル形式 のようです。";
    const std::string iisHint = "\nこのファイルは Microsoft IIS ログ ファイル形式 のようです。";
    const std::vector<LayoutCase> cases = {
        {{"nginx-main", kLogTypeNcsa, kLogTypeNcsa, 3},
         "date Host Ident Authuser Date Request Status Byte cs(Referer) cs(User-Agent) "
         "cs(X-Forwarded-For)",
         {{"0", "cs(User-Agent)",
           "Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 Firefox/120.0"},
          {"0", "cs(X-Forwarded-For)", "-"},
          {"1", "cs(X-Forwarded-For)", "203.0.113.7, 198.51.100.2"},
          {"2", "Request", "GET /search?q=\\\"x y\\\" HTTP/1.1"},
          {"2", "Byte", "-"}},
         ""},
        {{"vhost-combined", kLogTypeAuto, kLogTypeNcsa, 2},
         "date Host Ident Authuser Date Request Status Byte cs(Referer) cs(User-Agent) VirtualHost",
         {{"0", "VirtualHost", "www.example.jp:443"},
          {"0", "Host", "192.0.2.20"},
          {"1", "VirtualHost", "shop.example.jp"},
          {"1", "Authuser", "bob"}},
         ""},
        {{"combined-timing", kLogTypeNcsa, kLogTypeNcsa, 2},
         "date Host Ident Authuser Date Request Status Byte cs(Referer) cs(User-Agent) 追加1 追加2",
         {{"0", "追加1", "0.012"},
          {"0", "追加2", "10.0.0.5:8080"},
          {"1", "追加2", "10.0.0.5:8080, 10.0.0.6:8080"}},
         ""},
        {{"forwarded-host", kLogTypeAuto, kLogTypeNcsa, 2},
         nullptr,
         {{"0", "Host", "10.0.0.2, 10.0.0.1, 127.0.0.1"},
          {"0", "Ident", "-"},
          {"1", "Host", "127.0.0.1"}},
         ""},
        {{"ncsa-mixed", kLogTypeNcsa, kLogTypeNcsa, 3},
         "date Host Ident Authuser Date Request Status Byte cs(Referer) cs(User-Agent) "
         "cs(X-Forwarded-For) 追加1",
         {{"0", "Byte", "100"},
          {"0", "cs(Referer)", ""},
          {"1", "cs(User-Agent)", "Mozilla/4.0 (compatible; MSIE 6.0)"},
          {"2", "cs(X-Forwarded-For)", "198.51.100.9"},
          {"2", "追加1", "0.004"}},
         ""},
        {{"w3c-advanced", kLogTypeW3c, kLogTypeW3c, 2},
         "date time c-ip cs-method cs-uri-stem sc-status cs(User-Agent) cs(Referer)",
         {{"0", "time", "10:20:00.125"},
          {"0", "cs(User-Agent)", "Mozilla/5.0 (X11; Linux x86_64)"},
          {"0", "cs(Referer)", "-"},
          {"1", "date", "2026-12-08"},
          {"1", "time", "08:20:01.5"},
          {"1", "cs-uri-stem", "/a b.aspx"},
          {"1", "cs(User-Agent)", "say \"hi\""},
          {"1", "cs(Referer)", ""}},
         ""},
        // The W3C lines of an IIS setting follow their "#Fields: " line.
        {{"w3c-advanced", kLogTypeIis, kLogTypeW3c, 2},
         nullptr,
         {{"1", "c-ip", "192.0.2.51"}, {"1", "time", "08:20:01.5"}, {"1", "日付", ""}},
         ""},
        {{"w3c-advanced", kLogTypeAuto, kLogTypeW3c, 2}, nullptr, {{"1", "sc-status", "200"}}, ""},
        {{"mixed-encoding", kLogTypeW3c, kLogTypeW3c, 2},
         nullptr,
         {{"0", "cs-username", "田中"},
          {"1", "cs-username", "田中"},
          {"1", "cs-uri-stem", "/田中.html"}},
         ""},
        {{"iis-native", kLogTypeAuto, kLogTypeIis, 2},
         nullptr,
         {{"1", "操作の対象", "/find.asp?q=a, b"}},
         ""},
        // Wrong settings: never rows of shifted values, always the format's name.
        {{"nginx-main", kLogTypeIis, kLogTypeNcsa, -1},
         nullptr,
         {},
         "(1 行目: Microsoft IIS の行は値が 14 個のはずが 1 個)\nこのファイルは NCSA"},
        {{"nginx-main", kLogTypeW3c, kLogTypeNcsa, -1},
         nullptr,
         {},
         "3個のエラー行が検出されました\n" + ncsaHint},
        {{"iis-native", kLogTypeNcsa, kLogTypeIis, -1}, nullptr, {}, iisHint},
        {{"iis-native", kLogTypeW3c, kLogTypeIis, -1},
         nullptr,
         {},
         "2個のエラー行が検出されました" + iisHint},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(std::string(c.load.file) + " as " + std::to_string(c.load.logType));
        const std::string path =
            std::string(BREVADIN_TEST_DATA) + "/layouts/" + c.load.file + ".log";
        TestContext t;
        t.ctx.settings.TimeDiff = 9;
        RecordsetPtr table;
        std::ifstream in(path, std::ios::binary);
        std::string head(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(fncGuessLogType(head), c.load.guess);
        RecordsetPtr result = fncGetRecordsetFromLog(path, table, c.load.logType, t.ctx);
        ASSERT_EQ(result != nullptr, c.load.rows >= 0);
        if (c.message.empty()) {
            EXPECT_TRUE(t.messages.shown.empty()) << t.messages.shown.front().text;
        } else {
            ASSERT_EQ(t.messages.shown.size(), 1u);
            EXPECT_NE(t.messages.shown[0].text.find(c.message), std::string::npos)
                << t.messages.shown[0].text;
        }
        if (!result) continue;
        EXPECT_EQ(result->storedRowCount(), static_cast<size_t>(c.load.rows));
        if (c.fields) {
            EXPECT_EQ(fieldNames(*result), namesOf(c.fields));
        }
        for (const auto& [row, field, value] : c.cells)
            EXPECT_EQ(cell(*result, std::stoul(row), field), value) << row << " " << field;
    }
}

// Remarks, blank lines and a BOM come before what decides; a line of none
// of the formats decides "none" rather than a later line deciding.
TEST(Layouts, GuessFromTheFirstLineThatShowsSomething) {
    const std::string ncsa =
        "192.0.2.1 - - [01/May/2003:00:00:00 +0900] \"GET / HTTP/1.1\" 200 5\r\n";
    for (const auto& [head, guess] : std::vector<std::pair<std::string, int32_t>>{
             {"\xef\xbb\xbf\r\n \t\r\n#Remark: x\r\n" + ncsa, kLogTypeNcsa},
             {"#Remark: x\n#Date: 2003-05-01 00:00:00\n", kLogTypeW3c},
             {"00:00:00 192.0.2.1 GET / 200\r\n" + ncsa, -1},
             {"a, b, c, d\r\n", -1},
             {"#Remark: x\n\n", -1},
             {"", -1},
         })
        EXPECT_EQ(fncGuessLogType(head), guess) << head;
}

}  // namespace
}  // namespace brevadin
