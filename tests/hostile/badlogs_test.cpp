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

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

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

int32_t logTypeOf(Format f) {
    switch (f) {
        case Format::W3c:
            return kLogTypeW3c;
        case Format::Ncsa:
            return kLogTypeNcsa;
        case Format::Iis:
            return kLogTypeIis;
    }
    return kLogTypeW3c;
}

std::string formatName(Format f) {
    switch (f) {
        case Format::W3c:
            return "W3c";
        case Format::Ncsa:
            return "Ncsa";
        case Format::Iis:
            return "Iis";
    }
    return "?";
}

void PrintTo(Format f, std::ostream* os) {
    *os << formatName(f);
}

const std::vector<Format> kAllFormats = {Format::W3c, Format::Ncsa, Format::Iis};

// --- good lines -------------------------------------------------------------------

std::string address(int i) {
    return "192.0.2." + std::to_string(i % 254 + 1);
}
std::string bytesSent(int i) {
    return std::to_string(1000 + i);
}
std::string defaultPath(int i) {
    return "/p" + std::to_string(i) + ".html";
}

std::string clockTime(int i, bool iis) {
    int s = i % 86400;
    char text[16];
    std::snprintf(text, sizeof text, iis ? "%d:%02d:%02d" : "%02d:%02d:%02d", s / 3600, s / 60 % 60,
                  s % 60);
    return text;
}

// The directives a W3C log starts with; the path is the last field so that
// a line cut short loses nothing but the end of its path.
std::string header(Format f) {
    if (f != Format::W3c) return "";
    return "#Software: Microsoft Internet Information Services 6.0\r\n#Version: 1.0\r\n"
           "#Date: 2003-05-01 00:00:00\r\n#Fields: date time c-ip cs-method sc-bytes "
           "cs-uri-stem\r\n";
}

int headerLines(Format f) {
    return f == Format::W3c ? 4 : 0;
}

// Line i as each server writes it, up to and including its path.
std::string lineUpToPath(Format f, int i, const std::string& path) {
    switch (f) {
        case Format::W3c:
            return "2003-05-01 " + clockTime(i, false) + " " + address(i) + " GET " + bytesSent(i) +
                   " " + path;
        case Format::Ncsa:
            return address(i) + " - - [01/May/2003:" + clockTime(i, false) + " +0900] \"GET " +
                   path;
        case Format::Iis:
            return address(i) + ", -, 05/01/03, " + clockTime(i, true) +
                   ", W3SVC1, WEB01, 198.51.100.10, 15, 300, " + bytesSent(i) + ", 200, 0, GET, " +
                   path;
    }
    return "";
}

std::string lineAfterPath(Format f, int i) {
    switch (f) {
        case Format::W3c:
            return "\r\n";
        case Format::Ncsa:
            return " HTTP/1.1\" 200 " + bytesSent(i) + "\n";
        case Format::Iis:
            return ",\r\n";
    }
    return "";
}

std::string goodLine(Format f, int i, const std::string& path) {
    return lineUpToPath(f, i, path) + lineAfterPath(f, i);
}
std::string goodLine(Format f, int i) {
    return goodLine(f, i, defaultPath(i));
}

std::string goodLines(Format f, int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i) out += goodLine(f, i);
    return out;
}

// --- expected rows ----------------------------------------------------------------

using Row = std::vector<std::pair<std::string, std::string>>;  // field, value

std::vector<std::string> probeFields(Format f) {
    switch (f) {
        case Format::W3c:
            return {"c-ip", "cs-uri-stem", "sc-bytes"};
        case Format::Ncsa:
            return {"Host", "Request", "Byte"};
        case Format::Iis:
            return {"ユーザーのIPアドレス", "操作の対象", "送信バイト数"};
    }
    return {};
}

// What line i with the given path (as UTF-8) reads back as.
Row goodRow(Format f, int i, const std::string& path) {
    auto names = probeFields(f);
    std::string request = f == Format::Ncsa ? "GET " + path + " HTTP/1.1" : path;
    return {{names[0], address(i)}, {names[1], request}, {names[2], bytesSent(i)}};
}
Row goodRow(Format f, int i) {
    return goodRow(f, i, defaultPath(i));
}

// What lineUpToPath reads back as when the file ends right after it: an NCSA
// request runs to the end of the line and loses status and size.
Row cutRow(Format f, int i, const std::string& path) {
    auto names = probeFields(f);
    if (f == Format::Ncsa)
        return {{names[0], address(i)}, {names[1], "GET " + path}, {names[2], ""}};
    return goodRow(f, i, path);
}

std::vector<Row> goodRows(Format f, int from, int to) {
    std::vector<Row> rows;
    for (int i = from; i <= to; ++i) rows.push_back(goodRow(f, i));
    return rows;
}

const std::string kReplacement = "\xef\xbf\xbd";

std::string errorLines(int n) {
    return std::to_string(n) + "個のエラー行が検出されました";
}
const std::string kShortened = "fncGetRecordsetFromLog:57読み込み中にファイルが短くなりました";

// --- the table --------------------------------------------------------------------

struct Message {
    MessageIcon icon;
    std::string text;
    bool prefix = false;  // text is the start of the message
};

struct Expected {
    bool loads = true;      // a table is returned (else nullptr)
    std::vector<Row> rows;  // the rows the table holds afterwards, in order
    // The rows are the first n of `rows` for some n >= minRows (the file
    // changed while a reader thread ran ahead, so where it stopped varies).
    bool prefix = false;
    size_t minRows = 0;
    std::vector<Message> messages;
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
    Meddle meddle;
    // Makes the file itself instead of writing bytes; returns its path.
    std::function<std::string(const TempFolder&)> make;
};

struct Case {
    std::string name;
    std::vector<Format> formats;
    std::function<Log(Format)> build;
};

std::string crOnly(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\n' ? '\r' : text[i];
    }
    return out;
}

void appendTo(const std::string& path, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
}

void truncateTo(const std::string& path, size_t size) {
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
}

// Random bytes from the whole range, in lines that each hold a NUL: what a
// compressed archive or an executable looks like to a line reader.
std::string binaryLines(int lines, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> length(1, 400);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out;
    for (int l = 0; l < lines; ++l) {
        std::string line(static_cast<size_t>(length(rng)), '\0');
        for (auto& c : line) {
            do c = static_cast<char>(byte(rng));
            while (c == '\n');
        }
        line[std::uniform_int_distribution<size_t>(0, line.size() - 1)(rng)] = '\0';
        out += line;
        if (l + 1 < lines) out += '\n';  // the last one ends without a line end
    }
    return out;
}

// A big log: enough lines that the reader thread cannot have read them all
// ahead when the file changes at an early line.
constexpr int kBigLines = 150000;

std::vector<Case> cases() {
    std::vector<Case> list;

    list.push_back({"BinaryFileNamedLog", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = binaryLines(300, 11);
                        // W3C has no field list in it, so nothing to show; the fixed formats
                        // have theirs and give an empty table. Either way every line is reported.
                        log.expect.loads = f != Format::W3c;
                        log.expect.messages = {{MessageIcon::Exclamation, errorLines(300)}};
                        return log;
                    }});

    list.push_back({"RandomBytesWithoutAnyDirective", {Format::W3c}, [](Format) {
                        std::mt19937 rng(5);
                        std::string bytes(1 << 16, '\0');
                        for (auto& c : bytes) {
                            c = static_cast<char>(rng() & 0xff);
                            if (c == '#')
                                c = '$';  // a "#" line would be a remark, not an error line
                        }
                        bytes.front() = 'x';
                        // Blank lines are skipped, not error lines.
                        int lines = 0;
                        std::istringstream in(bytes);
                        for (std::string l; std::getline(in, l);) {
                            if (!l.empty() && l.back() == '\r') l.pop_back();
                            lines += l.find_first_not_of(" \t") != std::string::npos;
                        }
                        Log log;
                        log.bytes = bytes;
                        log.expect.loads = false;
                        log.expect.messages = {{MessageIcon::Exclamation, errorLines(lines)}};
                        return log;
                    }});

    list.push_back({"NulBytesInsideOtherwiseGoodLines", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLine(f, 1) +
                                    goodLine(f, 2, std::string("/in\0dex.html", 12)) +
                                    goodLine(f, 3) + std::string(1, '\0') + goodLine(f, 4) +
                                    goodLine(f, 5) +
                                    // The zero-filled block a crash leaves, glued to the next line.
                                    std::string(4096, '\0') + goodLine(f, 6) + goodLine(f, 7);
                        std::string eighth = goodLine(f, 8);
                        eighth.insert(eighth.find_last_not_of("\r\n") + 1, 1, '\0');
                        log.bytes += eighth + goodLine(f, 9);
                        log.expect.rows = {goodRow(f, 1), goodRow(f, 3), goodRow(f, 5),
                                           goodRow(f, 7), goodRow(f, 9)};
                        log.expect.messages = {{MessageIcon::Exclamation, errorLines(4)}};
                        return log;
                    }});

    list.push_back({"TenMegabyteLineAmongGoodLines", kAllFormats, [](Format f) {
                        std::string huge = "/search?q=" + std::string(10 << 20, 'q');
                        Log log;
                        log.bytes =
                            header(f) + goodLine(f, 1) + goodLine(f, 2, huge) + goodLine(f, 3);
                        log.expect.rows = {goodRow(f, 1), goodRow(f, 2, huge), goodRow(f, 3)};
                        return log;
                    }});

    list.push_back({"Utf8FileCutInsideACharacter", kAllFormats, [](Format f) {
                        // "語" is E8 AA 9E; the copy ends after its second byte.
                        Log log;
                        log.bytes = header(f) + goodLine(f, 1, "/テスト.html") +
                                    lineUpToPath(f, 2, "/日本\xe8\xaa");
                        // The rest stays UTF-8; only the cut character is lost.
                        log.expect.rows = {goodRow(f, 1, "/テスト.html"),
                                           cutRow(f, 2, "/日本" + kReplacement)};
                        return log;
                    }});

    list.push_back({"Cp932FileCutInsideACharacter", kAllFormats, [](Format f) {
                        // "テスト" and "日本" in CP932, then the first byte of "語" (8C EA).
                        Log log;
                        log.bytes = header(f) + goodLine(f, 1, "/\x83\x65\x83\x58\x83\x67.html") +
                                    lineUpToPath(f, 2, "/\x93\xfa\x96\x7b\x8c");
                        log.expect.rows = {goodRow(f, 1, "/テスト.html"),
                                           cutRow(f, 2, "/日本" + kReplacement)};
                        return log;
                    }});

    list.push_back({"WithoutBomEachLineIsUtf8OrElseCp932", kAllFormats, [](Format f) {
                        // A malformed byte without a BOM means the Windows code page for
                        // its line only: the UTF-8 "é" (C3 A9) on its own line stays "é",
                        // next to it the same bytes read as the half-width "ﾃｩ".
                        Log log;
                        log.bytes = header(f) + goodLine(f, 1, "/caf\xc3\xa9") +
                                    goodLine(f, 2, "/\xc3\xa9\xff") + goodLine(f, 3, "/ok");
                        log.expect.rows = {goodRow(f, 1, "/café"),
                                           goodRow(f, 2, "/\uff83\uff69" + kReplacement),
                                           goodRow(f, 3, "/ok")};
                        return log;
                    }});

    list.push_back({"InvalidUtf8AfterABom", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = "\xef\xbb\xbf" + header(f) + goodLine(f, 1, "/caf\xc3\xa9") +
                                    goodLine(f, 2, "/\xff") + goodLine(f, 3, "/ok");
                        log.expect.rows = {goodRow(f, 1, "/café"),
                                           goodRow(f, 2, "/" + kReplacement), goodRow(f, 3, "/ok")};
                        return log;
                    }});

    list.push_back(
        {"InvalidShiftJis", kAllFormats, [](Format f) {
             Log log;
             log.bytes = header(f) + goodLine(f, 1, "/\x83\x65\x83\x58\x83\x67") +
                         goodLine(f, 2, "/x\x83") +      // a lead byte before what ends the path
                         goodLine(f, 3, "/\x85\x40y") +  // a pair no character has
                         goodLine(f, 4, "/\xa0\xfd\xfe\xff") +  // bytes CP932 never uses
                         goodLine(f, 5, "/\x81\x7fz") +  // a lead byte with a bad second byte
                         goodLine(f, 6, "/\x82\xa0");    // "あ": the decoder is back in step
             // Each bad byte is marked, the character after it and the line end survive.
             log.expect.rows = {
                 goodRow(f, 1, "/テスト"),
                 goodRow(f, 2, "/x" + kReplacement),
                 goodRow(f, 3, "/" + kReplacement + "@y"),
                 goodRow(f, 4, "/" + kReplacement + kReplacement + kReplacement + kReplacement),
                 goodRow(f, 5, "/" + kReplacement + "\x7fz"),
                 goodRow(f, 6, "/あ")};
             return log;
         }});

    list.push_back({"CrOnlyLineEnds", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = crOnly(header(f) + goodLines(f, 1, 5));
                        log.expect.rows = goodRows(f, 1, 5);
                        return log;
                    }});

    list.push_back({"CrOnlyLineEndsWithoutTheLastOne", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = crOnly(header(f) + goodLines(f, 1, 3));
                        log.bytes.pop_back();
                        log.expect.rows = goodRows(f, 1, 3);
                        return log;
                    }});

    list.push_back({"StrayCrInsideAnLfFileStaysText", {Format::W3c}, [](Format f) {
                        // Only a file without any LF is read by its CRs.
                        Log log;
                        log.bytes = header(f) + goodLine(f, 1, "/a\rb") + goodLine(f, 2);
                        log.expect.rows = {goodRow(f, 1, "/a\rb"), goodRow(f, 2)};
                        return log;
                    }});

    list.push_back({"FieldListOfTenThousandNames", {Format::W3c}, [](Format) {
                        std::string names, values;
                        for (int i = 0; i < 10000; ++i) {
                            names += (i ? " f" : "f") + std::to_string(i);
                            values += (i ? " v" : "v") + std::to_string(i);
                        }
                        Log log;
                        log.bytes = "#Fields: " + names + "\r\n" + values + "\r\na b c\r\n";
                        log.expect.fieldCount = 10001;  // "date" first
                        log.expect.rows = {
                            {{"f0", "v0"}, {"f5000", "v5000"}, {"f9999", "v9999"}, {"date", ""}},
                            {{"f0", "a"}, {"f2", "c"}, {"f3", ""}, {"f9999", ""}}};
                        return log;
                    }});

    list.push_back(
        {"TenThousandNamesRepeatedAfterEveryRestart", {Format::W3c}, [](Format) {
             std::string names;
             for (int i = 0; i < 10000; ++i) names += (i ? " f" : "f") + std::to_string(i);
             Log log;
             for (int restart = 0; restart < 40; ++restart)
                 log.bytes += "#Date: 2003-05-01 00:00:00\r\n#Fields: " + names + "\r\nr" +
                              std::to_string(restart) + " x\r\n";
             log.expect.fieldCount = 10001;
             for (int restart = 0; restart < 40; ++restart)
                 log.expect.rows.push_back({{"f0", "r" + std::to_string(restart)}, {"f1", "x"}});
             return log;
         }});

    list.push_back({"FieldListBeyondTenThousandNamesIsRefused", {Format::W3c}, [](Format) {
                        std::string names;
                        for (int i = 0; i < 10001; ++i)
                            names += (i ? " f" : "f") + std::to_string(i);
                        Log log;
                        log.bytes = "#Software: x\r\n#Fields: " + names + "\r\na\r\n";
                        log.expect.loads = false;
                        log.expect.messages = {
                            {MessageIcon::Critical,
                             "fncGetRecordsetFromLog:6フィールド名が多すぎます (2 行目: 10001 個",
                             true}};
                        return log;
                    }});

    list.push_back(
        {"FieldListsGatheringBeyondTenThousandNamesAreRefused", {Format::W3c}, [](Format) {
             Log log;
             for (int list = 0; list < 2; ++list) {
                 log.bytes += "#Fields:";
                 for (int i = 0; i < 6000; ++i)
                     log.bytes += " l" + std::to_string(list) + "f" + std::to_string(i);
                 log.bytes += "\r\nv" + std::to_string(list) + "\r\n";
             }
             log.expect.loads = false;
             log.expect.rows = {{{"l0f0", "v0"}}};
             log.expect.messages = {
                 {MessageIcon::Critical,
                  "fncGetRecordsetFromLog:6フィールド名が多すぎます (3 行目まで: 合わせて 12001 個",
                  true}};
             return log;
         }});

    list.push_back({"MoreValuesThanAWideFieldListEndsTheLoad", {Format::W3c}, [](Format) {
                        std::string names, values;
                        for (int i = 0; i < 10000; ++i)
                            names += (i ? " f" : "f") + std::to_string(i);
                        for (int i = 0; i < 10001; ++i)
                            values += (i ? " v" : "v") + std::to_string(i);
                        Log log;
                        log.bytes = "#Fields: " + names + "\r\na\r\n" + values + "\r\nb\r\n";
                        // A documented choice: such a line fails the load; rows before it stay.
                        log.expect.loads = false;
                        log.expect.rows = {{{"f0", "a"}}};
                        log.expect.messages = {
                            {MessageIcon::Critical,
                             "fncGetRecordsetFromLog:9インデックスが有効範囲にありません (3 行目",
                             true}};
                        return log;
                    }});

    // --- files that change while they load ---

    list.push_back({"GrowsBetweenCountAndRead", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, 3);
                        std::string more = goodLines(f, 4, 100);
                        log.meddle = {0, [more](const std::string& path) { appendTo(path, more); }};
                        // The lines counted are the lines read; the rest waits for the next load.
                        log.expect.rows = goodRows(f, 1, 3);
                        return log;
                    }});

    list.push_back({"GrowsWhileTheCountedLastLineIsHalfWritten", kAllFormats, [](Format f) {
                        std::string third = goodLine(f, 3);
                        size_t half = lineUpToPath(f, 3, "/p").size();
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, 2) + third.substr(0, half);
                        std::string rest = third.substr(half) + goodLines(f, 4, 9);
                        log.meddle = {0, [rest](const std::string& path) { appendTo(path, rest); }};
                        log.expect.rows = goodRows(f, 1, 3);
                        return log;
                    }});

    list.push_back({"GrowsDuringTheRead", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, 3);
                        std::string more = goodLines(f, 4, 2000);
                        log.meddle = {headerLines(f) + 2,
                                      [more](const std::string& path) { appendTo(path, more); }};
                        log.expect.rows = goodRows(f, 1, 3);
                        return log;
                    }});

    list.push_back({"DeletedBetweenCountAndRead", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, 5);
                        log.meddle = {0, [](const std::string& path) {
                                          ASSERT_EQ(::unlink(path.c_str()), 0);
                                      }};
                        // The open file still holds every counted line.
                        log.expect.rows = goodRows(f, 1, 5);
                        return log;
                    }});

    list.push_back({"DeletedDuringTheRead", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, kBigLines);
                        log.meddle = {10, [](const std::string& path) {
                                          ASSERT_EQ(::unlink(path.c_str()), 0);
                                      }};
                        log.expect.rows = goodRows(f, 1, kBigLines);
                        return log;
                    }});

    list.push_back({"TruncatedBetweenCountAndRead", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, 5);
                        size_t cut =
                            header(f).size() + goodLines(f, 1, 2).size() + 7;  // inside line 3
                        log.meddle = {0, [cut](const std::string& path) { truncateTo(path, cut); }};
                        // The whole lines before the cut stay; the cut line is no row.
                        log.expect.loads = false;
                        log.expect.rows = goodRows(f, 1, 2);
                        log.expect.messages = {{MessageIcon::Critical, kShortened, true}};
                        return log;
                    }});

    list.push_back(
        {"TruncatedDuringTheRead", kAllFormats, [](Format f) {
             Log log;
             log.bytes = header(f) + goodLines(f, 1, kBigLines);
             size_t cut = log.bytes.size() * 2 / 5;
             size_t wholeBefore = static_cast<size_t>(
                 std::count(log.bytes.begin(), log.bytes.begin() + static_cast<long>(cut), '\n') -
                 headerLines(f));
             log.meddle = {10, [cut](const std::string& path) { truncateTo(path, cut); }};
             log.expect.loads = false;
             log.expect.rows = goodRows(f, 1, kBigLines - 1);  // never all of them
             log.expect.prefix = true;
             log.expect.minRows = wholeBefore;
             log.expect.messages = {{MessageIcon::Critical, kShortened, true}};
             return log;
         }});

    list.push_back({"TruncatedToNothingDuringTheRead", kAllFormats, [](Format f) {
                        Log log;
                        log.bytes = header(f) + goodLines(f, 1, kBigLines);
                        log.meddle = {headerLines(f) + 10,
                                      [](const std::string& path) { truncateTo(path, 0); }};
                        log.expect.loads = false;
                        log.expect.rows = goodRows(f, 1, kBigLines - 1);
                        log.expect.prefix = true;
                        log.expect.minRows = 10;
                        log.expect.messages = {{MessageIcon::Critical, kShortened, true}};
                        return log;
                    }});

    // --- things that are no file ---

    list.push_back({"NamedPipeNamedLog", kAllFormats, [](Format) {
                        Log log;
                        log.make = [](const TempFolder& dir) {
                            std::string path = dir.path() + "/ex030501.log";
                            EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
                            return path;
                        };
                        // Refused like a folder: nothing shown, and no wait for a writer.
                        log.expect.loads = false;
                        return log;
                    }});

    list.push_back({"LinkToAnEndlessDevice", kAllFormats, [](Format) {
                        Log log;
                        log.make = [](const TempFolder& dir) {
                            std::string path = dir.path() + "/ex030501.log";
                            EXPECT_EQ(::symlink("/dev/zero", path.c_str()), 0);
                            return path;
                        };
                        log.expect.loads = false;
                        return log;
                    }});

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
    *os << allCases()[p.index].name << " (" << formatName(p.format) << ")";
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
    RecordsetPtr result = fncGetRecordsetFromLog(path, table, logTypeOf(f), ctx);

    const Expected& e = log.expect;
    EXPECT_EQ(log.meddle.atLine >= 0, progress.fired);
    EXPECT_EQ(result != nullptr, e.loads);
    if (result) {
        EXPECT_EQ(result, table);
    }
    ASSERT_EQ(messages.shown.size(), e.messages.size());
    for (size_t i = 0; i < e.messages.size(); ++i) {
        EXPECT_EQ(messages.shown[i].icon, e.messages[i].icon);
        if (e.messages[i].prefix) {
            EXPECT_EQ(messages.shown[i].text.rfind(e.messages[i].text, 0), 0u)
                << messages.shown[i].text;
        } else {
            EXPECT_EQ(messages.shown[i].text, e.messages[i].text);
        }
    }
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
                         [](const ::testing::TestParamInfo<Param>& info) {
                             return allCases()[info.param.index].name + "_" +
                                    formatName(info.param.format);
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
    struct WideCase {
        const char* name;
        int names;
        int lines;
        bool longLastLine;  // one line of every value after the short ones
        bool loads;
    };
    const WideCase cases[] = {
        {"100,000 names x 100,000 lines", 100000, 100000, false, false},
        {"10,000 names x 100,000 lines and a full one", 10000, 100000, true, true},
    };
    for (const WideCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        std::string bytes = "#Fields:";
        for (int i = 0; i < c.names; ++i) bytes += " f" + std::to_string(i);
        bytes += "\n";
        for (int i = 0; i < c.lines; ++i) bytes += std::to_string(i % 10) + "\n";
        if (c.longLastLine) {
            for (int i = 0; i < c.names; ++i) bytes += (i ? " v" : "v") + std::to_string(i);
            bytes += "\n";
        }
        const std::string path = dir.write("ex.log", bytes);
        const long limitKiB = static_cast<long>(bytes.size() * 4 / 1024) + 100 * 1024;
        pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Reports through the exit status: 0 fine, 1 wrong outcome, 2 too much memory.
            LoadContext ctx;
            RecordsetPtr table;
            RecordsetPtr result = fncGetRecordsetFromLog(path, table, kLogTypeW3c, ctx);
            const bool outcome =
                (result != nullptr) == c.loads &&
                (!result || (result->storedRowCount() == static_cast<size_t>(c.lines) + 1 &&
                             cell(*result, static_cast<size_t>(c.lines), "f9999") == "v9999"));
            ::_exit(!outcome ? 1 : peakKiB() > limitKiB ? 2 : 0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: wrong outcome, 2: above " << limitKiB << " KiB";
    }
}

// --- another thread changes the file ----------------------------------------------
//
// Here the moment is left to the scheduler, so each test names the outcomes
// that are right whenever it lands.

// Tells another thread that the count is done and the read begins.
class SignallingProgress : public RecordingProgress {
public:
    void setMaxCountMini(int64_t max) override {
        RecordingProgress::setMaxCountMini(max);
        counted = true;
    }
    std::atomic<bool> counted{false};
};

class ChangedByAnotherThread : public ::testing::TestWithParam<Format> {
protected:
    // Runs act on a thread of its own once the load has counted the lines
    // and delay has passed, so that it lands somewhere in the read.
    std::thread during(std::chrono::microseconds delay, std::function<void()> act) {
        progress_.counted = false;
        return std::thread([this, delay, act] {
            while (!progress_.counted) std::this_thread::yield();
            std::this_thread::sleep_for(delay);
            act();
        });
    }
    RecordsetPtr load(const std::string& path) {
        ctx_.settings.TimeDiff = 0;
        ctx_.progress = &progress_;
        ctx_.messages = &messages_;
        return fncGetRecordsetFromLog(path, table_, logTypeOf(GetParam()), ctx_);
    }
    TempFolder dir_;
    SignallingProgress progress_;
    RecordingMessages messages_;
    LoadContext ctx_;
    RecordsetPtr table_;
};

TEST_P(ChangedByAnotherThread, AppendedWhileLoading) {
    const Format f = GetParam();
    constexpr int kInitial = 20000;
    std::string path = dir_.write("ex030501.log", header(f) + goodLines(f, 1, kInitial));
    std::atomic<bool> stop{false};
    std::atomic<int> written{kInitial};
    // Whole lines per write, as a server's log buffer flushes them.
    std::thread writer([&] {
        int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
        for (int next = kInitial + 1; !stop && next < 300000; next += 50) {
            std::string batch = goodLines(f, next, next + 49);
            if (::write(fd, batch.data(), batch.size()) != static_cast<ssize_t>(batch.size()))
                break;
            written = next + 49;
        }
        ::close(fd);
    });
    RecordsetPtr result = load(path);
    stop = true;
    writer.join();

    ASSERT_TRUE(result);
    EXPECT_TRUE(messages_.shown.empty());
    Expected e;
    e.rows = goodRows(f, 1, written);
    e.prefix = true;
    e.minRows = kInitial;
    expectRows(*result, e);
    ASSERT_EQ(progress_.maxCountMini.size(), 1u);
    EXPECT_EQ(progress_.maxCountMini[0],
              static_cast<int64_t>(result->storedRowCount()) + headerLines(f));
    EXPECT_EQ(progress_.steps, progress_.maxCountMini[0]);
}

TEST_P(ChangedByAnotherThread, DeletedWhileLoading) {
    const Format f = GetParam();
    std::mt19937 rng(3);
    for (int round = 0; round < 5; ++round) {
        std::string path = dir_.write("ex030501.log", header(f) + goodLines(f, 1, 30000));
        auto delay = std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(rng));
        std::thread remover = during(delay, [&] { ::unlink(path.c_str()); });
        table_.reset();
        RecordsetPtr result = load(path);
        remover.join();
        // Whenever the name goes, the open file holds every counted line.
        ASSERT_TRUE(result) << "round " << round;
        Expected e;
        e.rows = goodRows(f, 1, 30000);
        expectRows(*result, e);
        EXPECT_TRUE(messages_.shown.empty());
    }
}

TEST_P(ChangedByAnotherThread, TruncatedWhileLoading) {
    const Format f = GetParam();
    std::mt19937 rng(4);
    const std::string text = header(f) + goodLines(f, 1, 60000);
    const size_t cut = text.size() / 2;
    const size_t wholeBefore = static_cast<size_t>(
        std::count(text.begin(), text.begin() + static_cast<long>(cut), '\n') - headerLines(f));
    int failed = 0;
    for (int round = 0; round < 6; ++round) {
        std::string path = dir_.write("ex030501.log", text);
        auto delay = std::chrono::microseconds(std::uniform_int_distribution<int>(0, 30000)(rng));
        std::thread cutter =
            during(delay, [&] { ::truncate(path.c_str(), static_cast<off_t>(cut)); });
        table_.reset();
        messages_.shown.clear();
        RecordsetPtr result = load(path);
        cutter.join();
        Expected e;
        e.rows = goodRows(f, 1, 60000);
        if (result) {
            // The cut came after the last read: a complete load, said nothing.
            expectRows(*result, e);
            EXPECT_TRUE(messages_.shown.empty());
        } else {
            // Otherwise the whole lines read stay, and the user is told.
            ++failed;
            ASSERT_TRUE(table_);
            e.prefix = true;
            e.minRows = wholeBefore;
            e.rows.pop_back();
            expectRows(*table_, e);
            ASSERT_EQ(messages_.shown.size(), 1u);
            EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Critical);
            EXPECT_EQ(messages_.shown[0].text.rfind(kShortened, 0), 0u);
        }
    }
    RecordProperty("RoundsCutShort", failed);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, ChangedByAnotherThread, ::testing::ValuesIn(kAllFormats),
                         [](const ::testing::TestParamInfo<Format>& info) {
                             return formatName(info.param);
                         });

}  // namespace
}  // namespace brevadin
