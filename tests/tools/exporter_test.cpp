// Runs the built brevadin-export as a user would. Every run uses --no-dns or
// logs from the loop-back address only, so no query leaves the machine.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "export/xmlconv.h"
#include "tests/support/datacases.h"
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
          "--types html,pdf a.log", "--bogus a.log", "-o a.csv --count a.log",
          "--summary --count a.log", "--summary -o a.csv a.log", "--summary --top 0 a.log"}) {
        ExportRun r = run(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.out.find("usage: brevadin-export"), std::string::npos) << args;
    }
}

// What each run exits with and writes out: the count, or the reason it
// failed naming the input, which reaches standard error even with --quiet.
TEST(Exporter, CountsOrSaysWhyNot) {
    TempFolder dir;
    const std::string layouts = std::string(BREVADIN_TEST_DATA) + "/layouts/";
    writeFile(dir.file("img.log"), w3c("2003-05-01 00:00:00 127.0.0.1 GET /a.gif 200\r\n"));
    writeFile(dir.file("bad.log"), w3c("2003-05-01 00:00:00 127.0.0.1 GET / 200 extra\r\n"));
    writeFile(dir.file("early.log"), "2003-05-01 00:00:00 127.0.0.1 GET / 200\r\n" +
                                         w3c("2003-05-01 00:00:00 127.0.0.1 GET / 200\r\n"));
    writeFile(dir.file("empty.log"), "");
    writeFile(dir.file("directives.log"), "#Software: x\r\n#Fields: date time c-ip\r\n");
    ASSERT_EQ(::symlink("loop", dir.file("loop").c_str()), 0);
    // UTC moments moved nine hours on, past midnight; the 500 is filtered out.
    writeFile(dir.file("ncsa.log"),
              "127.0.0.1 - - [01/May/2003:14:30:00 +0000] \"GET /p?q=1 HTTP/1.1\" 200 10\n"
              "127.0.0.1 - - [01/May/2003:15:10:00 +0000] \"GET /q HTTP/1.1\" 404 -\n"
              "127.0.0.2 - - [01/May/2003:13:00:00 +0000] \"GET /r HTTP/1.1\" 500 7\n");
    // The summary of the same lines worked out by hand for the summary table.
    const std::string summary =
        testing::readDataCases("summary.txt", {"fields", "row", "shown", "top", "tsv"}, {"tsv"})
            .back()
            .get("tsv")
            .value();
    const std::string summarize = "--summary --top 1 --log-type 1 --filter \"Status <> 500\" ";
    const std::string hosts = "--no-dns --hosts " + dir.file("hosts.xml") + " ";
    const std::string count = hosts + "--count ";
    const struct {
        std::string args;
        int status;
        std::string says;
    } cases[] = {
        {count + kSamples + "ex030501.log", 0, "2000\n"},
        {hosts + summarize + dir.file("ncsa.log"), 0, summary},
        {count + "--filter \"sc-status >= 400 and [cs(User-Agent)] like '*bot*'\" " + kSamples +
             "ex030501.log",
         0, "35\n"},
        {count + "--types html --filter \"sc-status >= 400\" " + kSamples + "ex030501.log", 0,
         "53\n"},
        {count + "--filter \"sc-status >> 1\" " + kSamples + "ex030501.log", 2,
         "--filter: 12 文字目: 値が必要です"},
        {count + "--sort time:up " + kSamples + "ex030501.log", 2, "\"up\" は asc か desc"},
        // Each file read as its first lines show.
        {count + "--log-type auto " + layouts + "nginx-main.log " + layouts + "iis-native.log", 0,
         "5\n"},
        // A wrong type names the format and the option to check.
        {count + "--log-type 0 " + layouts + "nginx-main.log", 1,
         "NCSA 共通ログ ファイル形式のようです。--log-type の指定を確認"},
        {count + "--types none " + dir.file("img.log"), 1, "表示できるログがありません"},
        {count + dir.file("bad.log"), 1, "fncGetRecordsetFromLog:"},
        {"-o " + dir.file("no/dir/x.csv") + " " + hosts + dir.file("early.log"), 1,
         dir.file("no/dir/x.csv")},
        {"-o " + dir.file("x.htm") + " " + hosts + dir.file("early.log"), 2,
         "拡張子を特定できませんでした。"},
        {count + dir.file("missing.log"), 1,
         "ファイルが見つかりません: " + dir.file("missing.log")},
        {count + dir.file("g.xml"), 1, "ファイルが見つかりません: " + dir.file("g.xml")},
        {count + dir.file("."), 1, "フォルダです: " + dir.file(".")},
        {count + dir.file("loop"), 1, "読み込めません: " + dir.file("loop") + " ("},
        {count + dir.file("empty.log"), 1, "ログの行がありません: " + dir.file("empty.log")},
        {count + dir.file("directives.log"), 1,
         "ログの行がありません: " + dir.file("directives.log")},
    };
    for (const auto& c : cases) {
        for (const char* quiet : {"", "--quiet "}) {
            ExportRun r = run(quiet + c.args);
            EXPECT_EQ(r.status, c.status) << quiet << c.args;
            EXPECT_NE(r.out.find(c.says), std::string::npos) << quiet << c.args << "\n" << r.out;
            if (c.status == 0) {
                EXPECT_EQ(r.out, c.says);  // the count and no warning
            }
        }
    }
    // Error lines in a load that still shows rows are a warning: --quiet silences it.
    ExportRun early = run(count + dir.file("early.log"));
    EXPECT_EQ(early.status, 0);
    EXPECT_NE(early.out.find("1個のエラー行が検出されました"), std::string::npos) << early.out;
    EXPECT_EQ(run("--quiet " + count + dir.file("early.log")).out, "1\n");
    EXPECT_EQ(run(hosts + summarize + "-o " + dir.file("s.TSV ") + dir.file("ncsa.log")).status, 0);
    EXPECT_EQ(readFile(dir.file("s.TSV")), summary);
}

TEST(Exporter, WritesTablesAndTheHostsCache) {
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
    // Filtered, then sorted against the table's own order (oldest first).
    r = run("--filter \"cs-uri-stem <> '/'\" --sort time:desc -o " + dir.file("s.csv") + hosts +
            " " + dir.file("a.log") + " " + dir.file("b.log"));
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(readFile(dir.file("s.csv")).find("/y.gif,200\r\n2003-05-01,10:00:00"),
              std::string::npos);
    ASSERT_EQ(run("-o " + dir.file("g.xml") + hosts + " " + dir.file("a.log")).status, 0);
    EXPECT_EQ(run("--count " + dir.file("g.xml")).out, "1\n");  // the saved table reads back

    ExportRun x = run("--no-dns --quiet -o " + dir.file("t.XML") + " --hosts " +
                      dir.file("new.xml") + " " + kSamples + "ex030501.log");
    ASSERT_EQ(x.status, 0) << x.out;
    auto table = fncGetRecordsetFromXml(dir.file("t.XML"));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 2000u);
    // Addresses the cache lacks show as Unknown with --no-dns...
    EXPECT_EQ(table->value(0, static_cast<size_t>(table->fieldIndex("c-ip"))).rfind("Unknown [", 0),
              0u);
    // ...and are not stored in the cache, which is created when missing.
    auto cache = fncGetRecordsetFromXml(dir.file("new.xml"));
    ASSERT_TRUE(cache);
    EXPECT_EQ(cache->rowCount(), 1u);
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
