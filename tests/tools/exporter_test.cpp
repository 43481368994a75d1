// Runs the built brevadin-export as a user would. Every run uses --no-dns or
// logs from the loop-back address only, so no query leaves the machine.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "export/xmlconv.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

struct ExportRun {
    int status = -1;
    std::string out;  // standard output and standard error together
};

ExportRun run(const std::string& args) {
    std::string cmd = std::string(BREVADIN_BINARY_DIR) + "/brevadin-export " + args + " 2>&1";
    ExportRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

const std::string kSamples = std::string(BREVADIN_SOURCE_DIR) + "/samples/";

std::string w3c(const std::string& lines) {
    return "#Software: test\r\n#Version: 1.0\r\n#Date: 2003-05-01 00:00:00\r\n"
           "#Fields: date time c-ip cs-method cs-uri-stem sc-status\r\n" +
           lines;
}

TEST(Exporter, BadUsageExitsWithTwoAndAUsageText) {
    for (const char* args :
         {"", "--count", "-o", "--log-type 4 a.log", "--log-type Auto a.log", "--gmt-diff x a.log",
          "--types html,pdf a.log", "--bogus a.log", "-o a.csv --count a.log"}) {
        ExportRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.out.find("usage: brevadin-export"), std::string::npos) << args;
    }
    ExportRun r = run("-o out.htm a.log");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("拡張子を特定できませんでした。"), std::string::npos);
}

TEST(Exporter, LogTypeAutoReadsEachFileAsItsFirstLinesShow) {
    TempFolder dir;
    const std::string layouts = std::string(BREVADIN_TEST_DATA) + "/layouts/";
    ExportRun r = run("--no-dns --count --log-type auto --hosts " + dir.file("h.xml") + " " +
                      layouts + "nginx-main.log " + layouts + "iis-native.log");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out, "5\n");
    // A wrong type names the format and the option to check.
    r = run("--no-dns --count --log-type 0 --hosts " + dir.file("h.xml") + " " + layouts +
            "nginx-main.log");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("NCSA 共通ログ ファイル形式 のようです。--log-type の指定を確認"),
              std::string::npos)
        << r.out;
}

TEST(Exporter, CountsAndWritesTheSampleLogs) {
    TempFolder dir;
    std::string hosts = " --hosts " + dir.file("hosts.xml");
    ExportRun c = run("--no-dns --count" + hosts + " " + kSamples + "ex030501.log");
    ASSERT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(c.out, "2000\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("hosts.xml")));  // created when missing

    ExportRun x =
        run("--no-dns --quiet -o " + dir.file("t.XML") + hosts + " " + kSamples + "ex030501.log");
    ASSERT_EQ(x.status, 0) << x.out;
    auto table = fncGetRecordsetFromXml(dir.file("t.XML"));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 2000u);
    // Addresses the cache lacks show as Unknown with --no-dns...
    EXPECT_EQ(table->value(0, static_cast<size_t>(table->fieldIndex("c-ip"))).rfind("Unknown [", 0),
              0u);
    // ...and are not stored.
    auto cache = fncGetRecordsetFromXml(dir.file("hosts.xml"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->rowCount(), 1u);

    ExportRun s = run("--no-dns --count --log-type 1" + hosts + " " + kSamples + "access.log");
    EXPECT_EQ(s.status, 0) << s.out;
    EXPECT_EQ(s.out, "500\n");
    ExportRun i = run("--no-dns --count --log-type 0" + hosts + " " + kSamples + "in030501.log");
    EXPECT_EQ(i.status, 0) << i.out;
    EXPECT_EQ(i.out, "300\n");
}

TEST(Exporter, GathersLogsTimeShiftsAndReadsASavedTable) {
    TempFolder dir;
    writeFile(dir.file("a.log"), w3c("2003-05-01 20:30:15 127.0.0.1 GET / 200\r\n"));
    writeFile(dir.file("b.log"), w3c("2003-05-01 01:00:00 127.0.0.1 GET /x.zip 200\r\n"
                                     "2003-05-01 01:00:01 127.0.0.1 GET /y.gif 200\r\n"));
    std::string hosts = " --hosts " + dir.file("hosts.xml");
    ExportRun r = run("--gmt-diff 9 --types archive -o " + dir.file("g.csv") + hosts + " " +
                      dir.file("a.log") + " " + dir.file("b.log"));
    ASSERT_EQ(r.status, 0) << r.out;
    std::string csv = readFile(dir.file("g.csv"));
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF"
              "date,time,c-ip,cs-method,cs-uri-stem,sc-status\r\n"
              "2003-05-02,05:30:15,Local Host [127.0.0.1],GET,/,200\r\n"
              "2003-05-01,10:00:00,Local Host [127.0.0.1],GET,/x.zip,200\r\n");
    ExportRun back =
        run("--count " + dir.file("g.csv").substr(0, dir.file("g.csv").size() - 3) + "xml");
    EXPECT_EQ(back.status, 1);  // no such saved table
    ASSERT_EQ(run("-o " + dir.file("g.xml") + hosts + " " + dir.file("a.log")).status, 0);
    ExportRun saved = run("--count " + dir.file("g.xml"));
    EXPECT_EQ(saved.status, 0) << saved.out;
    EXPECT_EQ(saved.out, "1\n");
}

TEST(Exporter, FailuresExitWithTheirReasonEvenWhenQuiet) {
    TempFolder dir;
    writeFile(dir.file("img.log"), w3c("2003-05-01 00:00:00 127.0.0.1 GET /a.gif 200\r\n"));
    writeFile(dir.file("bad.log"), w3c("2003-05-01 00:00:00 127.0.0.1 GET / 200 extra\r\n"));
    writeFile(dir.file("early.log"), "2003-05-01 00:00:00 127.0.0.1 GET / 200\r\n" +
                                         w3c("2003-05-01 00:00:00 127.0.0.1 GET / 200\r\n"));
    const std::string hosts = " --hosts " + dir.file("hosts.xml") + " ";
    struct Case {
        std::string args;
        int status;
        const char* reason;  // must reach standard error, --quiet or not
    } cases[] = {
        {"--types none --count" + hosts + dir.file("img.log"), 1, "表示できるログがありません"},
        {"--count" + hosts + dir.file("missing.log"), 1, "ファイルが見つかりません: "},
        {"--count" + hosts + dir.file("bad.log"), 1, "fncGetRecordsetFromLog:"},
        {"-o " + dir.file("no/dir/x.csv") + hosts + dir.file("early.log"), 1, "no/dir/x.csv"},
        {"-o " + dir.file("x.htm") + hosts + dir.file("early.log"), 2,
         "拡張子を特定できませんでした。"},
        {"--count" + hosts + dir.file("g.xml"), 1, "ファイルが見つかりません: "},
    };
    for (const auto& c : cases) {
        for (const char* quiet : {"", "--quiet "}) {
            ExportRun r = run(quiet + c.args);
            EXPECT_EQ(r.status, c.status) << quiet << c.args;
            EXPECT_NE(r.out.find(c.reason), std::string::npos) << quiet << c.args << "\n" << r.out;
        }
    }
    // Error lines in a load that still shows rows are a warning: --quiet silences it.
    ExportRun early = run("--count" + hosts + dir.file("early.log"));
    EXPECT_EQ(early.status, 0);
    EXPECT_NE(early.out.find("1個のエラー行が検出されました"), std::string::npos) << early.out;
    ExportRun quiet = run("--quiet --count" + hosts + dir.file("early.log"));
    EXPECT_EQ(quiet.out, "1\n");
}

// Every input that cannot be a log is named with what is wrong with it.
TEST(Exporter, EachUnusableInputIsNamedWithWhatIsWrong) {
    TempFolder dir;
    std::string hosts = " --no-dns --count --hosts " + dir.file("hosts.xml") + " ";
    writeFile(dir.file("empty.log"), "");
    writeFile(dir.file("directives.log"), "#Software: x\r\n#Fields: date time c-ip\r\n");
    ASSERT_EQ(::symlink("loop", dir.file("loop").c_str()), 0);
    const std::pair<std::string, std::string> cases[] = {
        {dir.file("missing.log"), "ファイルが見つかりません: " + dir.file("missing.log")},
        {dir.file("missing.xml"), "ファイルが見つかりません: " + dir.file("missing.xml")},
        {dir.file("."), "フォルダです: " + dir.file(".")},
        {dir.file("loop"), "読み込めません: " + dir.file("loop") + " ("},
        {dir.file("empty.log"), "ログの行がありません: " + dir.file("empty.log")},
        {dir.file("directives.log"), "ログの行がありません: " + dir.file("directives.log")},
    };
    for (const auto& [input, message] : cases) {
        ExportRun r = run(hosts + input);
        EXPECT_EQ(r.status, 1) << input;
        EXPECT_NE(r.out.find(message), std::string::npos) << r.out;
    }
}

// A file written (-o, --hosts) that is an input, or the other one written,
// under any name for it, is refused before anything is read or written.
TEST(Exporter, RefusesToWriteOverAnInputOrOneFileTwice) {
    TempFolder dir;
    const std::string log = w3c("2003-05-01 00:00:00 127.0.0.1 GET / 200\r\n");
    writeFile(dir.file("log.csv"), log);
    ASSERT_EQ(::link(dir.file("log.csv").c_str(), dir.file("hard.xml").c_str()), 0);
    ASSERT_EQ(::symlink("log.csv", dir.file("link.csv").c_str()), 0);
    const std::string in = " " + dir.file("log.csv");
    const std::string hosts = " --hosts " + dir.file("hosts.xml");
    const std::pair<std::string, std::string> cases[] = {
        {"-o " + dir.file("log.csv") + hosts + in, dir.file("log.csv")},
        {"-o " + dir.file("hard.xml") + hosts + in, dir.file("hard.xml")},
        {"-o " + dir.file("link.csv") + hosts + in, dir.file("link.csv")},
        {"-o " + dir.file("./log.csv") + hosts + in, dir.file("./log.csv")},
        {"--count --hosts " + dir.file("link.csv") + in, dir.file("link.csv")},
        {"-o " + dir.file("new.xml") + " --hosts " + dir.file("./new.xml") + in,
         dir.file("./new.xml")},
    };
    for (const auto& [args, named] : cases) {
        ExportRun r = run("--no-dns " + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.out.find(named), std::string::npos) << r.out;
        EXPECT_EQ(readFile(dir.file("log.csv")), log) << args;
        EXPECT_FALSE(std::filesystem::exists(dir.file("new.xml"))) << args;
    }
}

}  // namespace
}  // namespace brevadin
