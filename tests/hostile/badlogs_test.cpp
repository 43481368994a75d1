// Logs nobody meant to write: binary data, broken text, odd line ends, huge
// lines and field lists, and files that change under the reader. Each case
// of the table states what the load must come to: rows that load, the load
// refused, the report the user sees, and that every good line around a bad
// one still arrives.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

#include "logdata/logreader.h"
#include "logdata/textdecode.h"
#include "tests/support/loadfakes.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::cell;
using testing::RecordingMessages;
using testing::RecordingProgress;
using testing::TempFolder;

enum class Format { W3c, Ncsa, Iis };

struct FormatInfo {
    const char* name;
    int32_t logType;
    // The directives a W3C log starts with.
    std::string header;
    int headerLines;
    std::vector<std::string> probeFields;  // address, path or request, size
};

const FormatInfo& formatInfo(Format f) {
    static const FormatInfo formats[] = {
        {"W3c",
         kLogTypeW3c,
         "#Software: Microsoft Internet Information Services 6.0\r\n#Version: 1.0\r\n"
         "#Date: 2003-05-01 00:00:00\r\n#Fields: date time c-ip cs-method sc-bytes cs-uri-stem\r\n",
         4,
         {"c-ip", "cs-uri-stem", "sc-bytes"}},
        {"Ncsa", kLogTypeNcsa, "", 0, {"Host", "Request", "Byte"}},
        {"Iis", kLogTypeIis, "", 0, {"ユーザーのIPアドレス", "操作の対象", "送信バイト数"}}};
    return formats[static_cast<int>(f)];
}

const std::vector<Format> kAllFormats = {Format::W3c, Format::Ncsa, Format::Iis};

// --- good lines -------------------------------------------------------------------

std::string address(int i) {
    return "192.0.2." + std::to_string(i % 254 + 1);
}
std::string bytesSent(int i) {
    return std::to_string(1000 + i);
}
std::string pathOr(int i, const std::string& path) {
    return path.empty() ? "/p" + std::to_string(i) + ".html" : path;
}

// Line i as each server writes it, with its own path unless one is given.
std::string goodLine(Format f, int i, const std::string& path = "") {
    const std::string p = pathOr(i, path);
    switch (f) {
        case Format::W3c:
            return "2003-05-01 00:00:01 " + address(i) + " GET " + bytesSent(i) + " " + p + "\r\n";
        case Format::Ncsa:
            return address(i) + " - - [01/May/2003:00:00:01 +0900] \"GET " + p +
                   " HTTP/1.1\" 200 " + bytesSent(i) + "\n";
        case Format::Iis:
            return address(i) + ", -, 05/01/03, 0:00:01, W3SVC1, WEB01, 198.51.100.10, 15, 300, " +
                   bytesSent(i) + ", 200, 0, GET, " + p + ",\r\n";
    }
    return "";
}

std::string goodLines(Format f, int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i) out += goodLine(f, i);
    return out;
}

// --- expected rows ----------------------------------------------------------------

using Row = std::vector<std::pair<std::string, std::string>>;  // field, value

// What goodLine(f, i, path) reads back as.
Row goodRow(Format f, int i, const std::string& path = "") {
    const auto& names = formatInfo(f).probeFields;
    const std::string p = pathOr(i, path);
    return {{names[0], address(i)},
            {names[1], f == Format::Ncsa ? "GET " + p + " HTTP/1.1" : p},
            {names[2], bytesSent(i)}};
}

std::vector<Row> goodRows(Format f, int from, int to) {
    std::vector<Row> rows;
    for (int i = from; i <= to; ++i) rows.push_back(goodRow(f, i));
    return rows;
}

std::string errorLines(int n) {
    return std::to_string(n) + "個のエラー行が検出されました";
}
const std::string kShortened = "fncGetRecordsetFromLog:57読み込み中にファイルが短くなりました";
const std::string kTooManyNames = "fncGetRecordsetFromLog:6フィールド名が多すぎます (";

// " f0 f1 ... f<n-1>" with the given prefix before each number.
std::string numbered(const std::string& prefix, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += " " + prefix + std::to_string(i);
    return out;
}

// --- the table --------------------------------------------------------------------

// The icon and how the message starts.
using Message = std::pair<MessageIcon, std::string>;

struct Expected {
    bool loads = true;      // a table is returned (else nullptr)
    std::vector<Row> rows;  // the rows the table holds afterwards, in order
    std::vector<Message> messages;
    // The rows are the first n of `rows` for some n >= minRows (the file
    // changed while a reader thread ran ahead, so where it stopped varies).
    bool prefix = false;
    size_t minRows = 0;
    size_t fieldCount = 0;  // checked when not 0
};

// Something done to the file while it loads: at the given line (counted by
// the reader's progress), or with 0 after the count and before the first read.
struct Meddle {
    int64_t atLine = -1;  // -1: nothing
    std::function<void(const std::string& path)> act;
};

struct Log {
    std::string bytes;
    Expected expect;
    Meddle meddle = {};
    // Makes the file itself instead of writing bytes; returns its path.
    std::function<std::string(const TempFolder&)> make = {};
};

struct Case {
    std::string name;
    std::vector<Format> formats;
    std::function<Log(Format)> build;
};

void appendTo(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

// Random bytes from the whole range, in lines that each hold a NUL: what a
// compressed archive or an executable looks like to a line reader.
std::string binaryLines(int lines, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(1, 400);
    std::string out;
    for (int l = 0; l < lines; ++l) {
        std::string line(static_cast<size_t>(length(rng)), '\0');
        for (auto& c : line) {
            do c = static_cast<char>(rng() & 0xff);
            while (c == '\n');
        }
        line[std::uniform_int_distribution<size_t>(0, line.size() - 1)(rng)] = '\0';
        out += line + (l + 1 < lines ? "\n" : "");  // the last one ends without a line end
    }
    return out;
}

// A big log: enough lines that the reader thread cannot have read them all
// ahead when the file changes at an early line.
constexpr int kBigLines = 150000;

size_t wholeLinesBefore(const std::string& text, size_t cut, Format f) {
    const auto lines = std::count(text.begin(), text.begin() + static_cast<long>(cut), '\n');
    return static_cast<size_t>(std::max<long>(0, lines - formatInfo(f).headerLines));
}

std::vector<Case> cases() {
    const std::vector<Format> w3c = {Format::W3c};
    std::vector<Case> list = {
        {"BinaryFileNamedLog", kAllFormats,
         [](Format f) {
             // W3C has no field list in it, so nothing to show; the fixed formats
             // have theirs and give an empty table. Either way every line is reported.
             return Log{binaryLines(300, 11),
                        {f != Format::W3c, {}, {{MessageIcon::Exclamation, errorLines(300)}}}};
         }},
        {"NulBytesInsideOtherwiseGoodLines", kAllFormats,
         [](Format f) {
             std::string eighth = goodLine(f, 8);
             eighth.insert(eighth.find_last_not_of("\r\n") + 1, 1, '\0');
             return Log{
                 formatInfo(f).header + goodLine(f, 1) +
                     goodLine(f, 2, std::string("/in\0dex", 7)) + goodLine(f, 3) +
                     std::string(1, '\0') + goodLine(f, 4) + goodLine(f, 5) +
                     // The zero-filled block a crash leaves, glued to the next line.
                     std::string(4096, '\0') + goodLine(f, 6) + goodLine(f, 7) + eighth +
                     goodLine(f, 9),
                 {true,
                  {goodRow(f, 1), goodRow(f, 3), goodRow(f, 5), goodRow(f, 7), goodRow(f, 9)},
                  {{MessageIcon::Exclamation, errorLines(4)}}}};
         }},
        {"TenMegabyteLineAmongGoodLines", kAllFormats,
         [](Format f) {
             std::string huge = "/search?q=" + std::string(10 << 20, 'q');
             return Log{
                 formatInfo(f).header + goodLine(f, 1) + goodLine(f, 2, huge) + goodLine(f, 3),
                 {true, {goodRow(f, 1), goodRow(f, 2, huge), goodRow(f, 3)}}};
         }},
        // The same ten thousand names after every restart: "date" first, and
        // a line with fewer values leaves the rest empty.
        {"TenThousandNamesRepeatedAfterEveryRestart", w3c,
         [](Format) {
             Log log{"#Fields:" + numbered("f", 10000) + "\r\n" + numbered("v", 10000).substr(1) +
                         "\r\na b c\r\n",
                     {true,
                      {{{"f0", "v0"}, {"f5000", "v5000"}, {"f9999", "v9999"}, {"date", ""}},
                       {{"f0", "a"}, {"f2", "c"}, {"f3", ""}, {"f9999", ""}}},
                      {},
                      false,
                      0,
                      10001}};
             for (int restart = 0; restart < 40; ++restart) {
                 const std::string r = "r" + std::to_string(restart);
                 log.bytes += "#Date: 2003-05-01 00:00:00\r\n#Fields:" + numbered("f", 10000) +
                              "\r\n" + r + " x\r\n";
                 log.expect.rows.push_back({{"f0", r}, {"f1", "x"}});
             }
             return log;
         }},
        {"FieldListBeyondTenThousandNamesIsRefused", w3c,
         [](Format) {
             return Log{"#Software: x\r\n#Fields:" + numbered("f", 10001) + "\r\na\r\n",
                        {false, {}, {{MessageIcon::Critical, kTooManyNames + "2 行目: 10001 個"}}}};
         }},
        {"FieldListsGatheringBeyondTenThousandNamesAreRefused", w3c,
         [](Format) {
             return Log{
                 "#Fields:" + numbered("l0f", 6000) + "\r\nv0\r\n#Fields:" + numbered("l1f", 6000) +
                     "\r\nv1\r\n",
                 {false,
                  {{{"l0f0", "v0"}}},
                  {{MessageIcon::Critical, kTooManyNames + "3 行目まで: 合わせて 12001 個"}}}};
         }},
        // --- files that change while they load ---
        {"GrowsWhileTheCountedLastLineIsHalfWritten", kAllFormats,
         [](Format f) {
             const std::string third = goodLine(f, 3);
             const size_t half = third.size() / 2;
             const std::string rest = third.substr(half) + goodLines(f, 4, 9);
             return Log{formatInfo(f).header + goodLines(f, 1, 2) + third.substr(0, half),
                        {true, goodRows(f, 1, 3)},
                        {0, [rest](const std::string& path) { appendTo(path, rest); }}};
         }},
    };
    // Things that are no file: refused like a folder, nothing shown, no wait.
    using Make = int (*)(const char* path);
    for (auto [name, make] :
         {std::pair<const char*, Make>{"NamedPipeNamedLog",
                                       [](const char* p) { return ::mkfifo(p, 0600); }},
          {"LinkToAnEndlessDevice", [](const char* p) { return ::symlink("/dev/zero", p); }}})
        list.push_back({name, kAllFormats, [make](Format) {
                            return Log{"", {false}, {}, [make](const TempFolder& dir) {
                                           EXPECT_EQ(make(dir.file("ex030501.log").c_str()), 0);
                                           return dir.file("ex030501.log");
                                       }};
                        }});
    // Each change to a big file once between the count and the read, and once
    // while the reader thread runs ahead. Lines appended after the count wait
    // for the next load, and an unlinked name leaves the open file whole; a
    // cut keeps the whole lines before it and tells the user.
    for (int64_t at : {0, 10}) {
        const std::string when = at ? "DuringTheRead" : "BetweenCountAndRead";
        auto big = [](Format f) { return formatInfo(f).header + goodLines(f, 1, kBigLines); };
        auto meddle = [at](Format f, auto act) {
            return Meddle{at ? formatInfo(f).headerLines + at : 0, act};
        };
        list.push_back({"Grows" + when, kAllFormats, [=](Format f) {
                            std::string more = goodLines(f, kBigLines + 1, kBigLines + 2000);
                            return Log{
                                big(f),
                                {true, goodRows(f, 1, kBigLines)},
                                meddle(f, [more](const std::string& p) { appendTo(p, more); })};
                        }});
        list.push_back({"Deleted" + when, kAllFormats, [=](Format f) {
                            return Log{big(f),
                                       {true, goodRows(f, 1, kBigLines)},
                                       meddle(f, [](const std::string& p) {
                                           ASSERT_EQ(::unlink(p.c_str()), 0);
                                       })};
                        }});
        for (int fifths : {2, 0})
            list.push_back(
                {(fifths ? "Truncated" : "TruncatedToNothing") + when, kAllFormats, [=](Format f) {
                     const std::string bytes = big(f);
                     const size_t cut = bytes.size() * fifths / 5;
                     const size_t whole = wholeLinesBefore(bytes, cut, f);
                     // Between count and read exactly the whole lines stay.
                     return Log{bytes,
                                {false,
                                 goodRows(f, 1, at ? kBigLines - 1 : int(whole)),
                                 {{MessageIcon::Critical, kShortened}},
                                 at != 0,
                                 fifths ? whole : size_t(at)},
                                meddle(f, [cut](const std::string& p) {
                                    ASSERT_EQ(::truncate(p.c_str(), off_t(cut)), 0);
                                })};
                 }});
    }
    return list;
}

const std::vector<Case>& allCases() {
    static const std::vector<Case> list = cases();
    return list;
}

struct Param {
    size_t index;
    Format format;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Param& p, std::ostream* os) {
    *os << allCases()[p.index].name << " (" << formatInfo(p.format).name << ")";
}

std::vector<Param> allParams() {
    std::vector<Param> params;
    for (size_t i = 0; i < allCases().size(); ++i)
        for (Format f : allCases()[i].formats) params.push_back({i, f});
    return params;
}

// Runs the meddling at its moment; otherwise records like RecordingProgress.
class MeddlingProgress : public RecordingProgress {
public:
    MeddlingProgress(std::string path, Meddle meddle)
        : path_(std::move(path)), meddle_(std::move(meddle)) {}
    void setMaxCountMini(int64_t max) override {
        RecordingProgress::setMaxCountMini(max);
        if (meddle_.atLine == 0) fire();
    }
    bool UpdateStatus(const std::string& message, int64_t step, bool mini) override {
        bool cancel = RecordingProgress::UpdateStatus(message, step, mini);
        if (meddle_.atLine > 0 && calls == meddle_.atLine) fire();
        return cancel;
    }
    bool fired = false;

private:
    void fire() {
        if (fired) return;
        fired = true;
        meddle_.act(path_);
    }
    std::string path_;
    Meddle meddle_;
};

// Every value the table holds is text: well-formed UTF-8 without NUL.
void expectOnlyText(const Recordset& table) {
    for (size_t c = 0; c < table.fieldCount(); ++c) {
        const StringPool& pool = table.column(c).pool();
        for (uint32_t id = 0; id < pool.size(); ++id) {
            std::string_view v = pool.text(id);
            ASSERT_TRUE(isValidUtf8(v)) << table.fields()[c].name;
            ASSERT_EQ(v.find('\0'), std::string_view::npos) << table.fields()[c].name;
        }
    }
}

void expectRows(const Recordset& table, const Expected& e) {
    const size_t n = table.isOpen() ? table.storedRowCount() : 0;
    if (e.prefix) {
        EXPECT_GE(n, e.minRows);
        ASSERT_LE(n, e.rows.size());
    } else {
        ASSERT_EQ(n, e.rows.size());
    }
    for (size_t r = 0; r < n; ++r) {
        for (const auto& [field, value] : e.rows[r]) {
            std::string got = cell(table, r, field);
            // One report for the first wrong row instead of thousands.
            ASSERT_EQ(got.size(), value.size()) << "row " << r << " field " << field;
            ASSERT_TRUE(got == value)
                << "row " << r << " field " << field << ": " << got.substr(0, 80);
        }
    }
}

void expectMessages(const RecordingMessages& messages, const std::vector<Message>& want) {
    ASSERT_EQ(messages.shown.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(messages.shown[i].icon, want[i].first);
        EXPECT_EQ(messages.shown[i].text.rfind(want[i].second, 0), 0u) << messages.shown[i].text;
    }
}

class BadLog : public ::testing::TestWithParam<Param> {};

TEST_P(BadLog, EndsAsExpected) {
    const Case& c = allCases()[GetParam().index];
    const Format f = GetParam().format;
    Log log = c.build(f);
    TempFolder dir;
    std::string path = log.make ? log.make(dir) : dir.write("ex030501.log", log.bytes);

    MeddlingProgress progress(path, log.meddle);
    RecordingMessages messages;
    LoadContext ctx;
    ctx.settings.TimeDiff = 0;
    ctx.progress = &progress;
    ctx.messages = &messages;
    RecordsetPtr table;
    RecordsetPtr result = fncGetRecordsetFromLog(path, table, formatInfo(f).logType, ctx);

    const Expected& e = log.expect;
    EXPECT_EQ(log.meddle.atLine >= 0, progress.fired);
    EXPECT_EQ(result != nullptr, e.loads);
    if (result) {
        EXPECT_EQ(result, table);
    }
    expectMessages(messages, e.messages);
    if (table) {
        if (e.fieldCount) {
            EXPECT_EQ(table->fieldCount(), e.fieldCount);
        }
        expectRows(*table, e);
        expectOnlyText(*table);
    } else {
        EXPECT_TRUE(e.rows.empty() || e.minRows == 0);
    }
    // A finished load read exactly the lines it counted.
    if (result) {
        ASSERT_EQ(progress.maxCountMini.size(), 1u);
        EXPECT_EQ(progress.steps, progress.maxCountMini[0]);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BadLog, ::testing::ValuesIn(allParams()),
                         [](const ::testing::TestParamInfo<Param>& p) {
                             return allCases()[p.param.index].name + "_" +
                                    formatInfo(p.param.format).name;
                         });

// --- memory bounded by the file ------------------------------------------------------
//
// A field list of many names followed by lines of one value each: the table
// must cost what the lines hold, not names times lines. Each file loads in a
// child process so that its peak memory is its own.

long peakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

TEST(WideFieldLists, LoadWithinFourTimesTheFileAndAHundredMegabytes) {
    // Ten thousand names, a hundred thousand lines of one value, one full line.
    const int names = 10000, lines = 100000;
    TempFolder dir;
    std::string bytes = "#Fields:" + numbered("f", names) + "\n";
    for (int i = 0; i < lines; ++i) bytes += std::to_string(i % 10) + "\n";
    bytes += numbered("v", names).substr(1) + "\n";
    const std::string path = dir.write("ex.log", bytes);
    const long limitKiB = static_cast<long>(bytes.size() * 4 / 1024) + 100 * 1024;
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Reports through the exit status: 0 fine, 1 wrong outcome, 2 too much memory.
        LoadContext ctx;
        RecordsetPtr table;
        RecordsetPtr result = fncGetRecordsetFromLog(path, table, kLogTypeW3c, ctx);
        const bool outcome = result && result->storedRowCount() == lines + 1u &&
                             cell(*result, lines, "f9999") == "v9999";
        ::_exit(!outcome ? 1 : peakKiB() > limitKiB ? 2 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong outcome, 2: above " << limitKiB << " KiB";
}

}  // namespace
}  // namespace brevadin
