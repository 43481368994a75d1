#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "logdata/loadcontext.h"
#include "logdata/recordset.h"

namespace brevadin {

// Log format codes (LogType of the settings); any other value reads as W3C.
inline constexpr int32_t kLogTypeIis = 0;
inline constexpr int32_t kLogTypeNcsa = 1;
inline constexpr int32_t kLogTypeW3c = 2;
// Each file read as the format its first lines show (fncGuessLogType), W3C
// when they show none.
inline constexpr int32_t kLogTypeAuto = 3;

// The fixed field lists of the formats that carry no "#Fields: " line, split
// like one. NCSA combined lines (common plus quoted referer and user agent)
// widen the common list to the combined one when the first of them is read.
inline constexpr std::string_view kIisFieldList =
    "ユーザーのIPアドレス ユーザー名 日付 時刻 サービスとインスタンス コンピュータ名 "
    "サーバーのIPアドレス 所要時間 受信バイト数 送信バイト数 サービスのステータスコード "
    "Windows2000のステータスコード 要求の種類 操作の対象";
inline constexpr std::string_view kNcsaFieldList = "Host Ident Authuser Date Request Status Byte";
inline constexpr std::string_view kNcsaCombinedFieldList =
    "Host Ident Authuser Date Request Status Byte cs(Referer) cs(User-Agent)";
// What NCSA lines carry beyond the combined layout widens the table further:
// a quoted value right after the user agent (nginx's "main" format) is the
// forwarded-for list, any further trailing value is numbered in order
// ("追加1", "追加2", ...), and a virtual host in front of the client address
// (Apache's vhost_combined) has a field of its own.
inline constexpr std::string_view kNcsaForwardedFor = "cs(X-Forwarded-For)";
inline constexpr std::string_view kNcsaExtraPrefix = "追加";
inline constexpr std::string_view kNcsaVirtualHost = "VirtualHost";

// No server writes a field list near this long; past it a log is refused
// rather than allowed to make a table of mostly empty columns.
inline constexpr size_t kMaxFieldCount = 10000;

// Failure numbers of the reader's error report ("fncGetRecordsetFromLog:" +
// number + description). Failures of the record table keep their own.
enum LogReaderErrorCode : int {
    kErrBadArgument = 5,    // an empty "date" with no "#Date: " date to take
    kErrTooManyFields = 6,  // a field list, or the fields gathered, beyond kMaxFieldCount
    kErrOutOfMemory = 7,
    kErrTooManyValues = 9,   // a data line with more values than field names
    kErrNotThisFormat = 13,  // a Microsoft IIS line without the values of one
    kErrInternal = 51,
    kErrFileNotFound = 53,  // not raised since the count and the read share one open file
    kErrReadFailed = 57,    // reading failed part way, or the file got shorter meanwhile
};

// Reads one access log into `table` (created when absent; replaced by a wider
// table whenever a field list adds names) and returns that table, or nullptr
// when the file cannot be opened, holds no field list, fails or is cancelled.
// Rows added before a failure or a cancel stay in `table`.
//
// logType picks the layout of data lines: kLogTypeIis, kLogTypeNcsa,
// kLogTypeAuto, or W3C extended for any other value. After a "#Fields: " line
// every format reads its data lines as W3C lines. Empty and whitespace-only
// lines are skipped. A file with a BOM is UTF-8 (the BOM is skipped; a broken
// byte or a character cut off by the end of the file becomes U+FFFD); without
// one, each line that is well-formed UTF-8 is read as such and any other line
// as CP932, so logs concatenated across an encoding change read whole. Lines
// end in LF or CR LF, the last one possibly in nothing, and in a file without
// any LF CR alone ends a line. A line holding a NUL byte is an error line.
//
// The load reads what the line count saw when it started: lines appended
// while it runs are left for the next load (a counted last line still being
// written is read to its end), and a file cut shorter meanwhile fails the
// load with kErrReadFailed. A named pipe or a device is no log file.
//
// Progress goes to ctx.progress once per line, the error-line count and the
// error report to ctx.messages, client addresses ("c-ip") through ctx.hosts
// (once per distinct address of the load). Each of them may be null. When the
// load fails or finds only error lines and the file's first lines look like
// another format, the message names that format and the setting.
RecordsetPtr fncGetRecordsetFromLog(const std::string& path, RecordsetPtr& table, int32_t logType,
                                    LoadContext& ctx);

// Replaces `table` by a new open table whose fields are "date", then the old
// table's fields, then the names of `header` (split at single spaces) not yet
// present, and returns it. The rows move over unchanged without being copied;
// the old table is closed. Empty names (from a trailing space) make no field.
RecordsetPtr fncMergeFields(RecordsetPtr& table, std::string_view header);

// Number of lines of the file (a last line without a line end counts; a file
// without any LF counts its CRs), -1 when it cannot be opened or is not a
// regular file, -2 when reading fails part way.
int64_t fncGetLineCount(const std::string& path);

// The line with every run of spaces reduced to one space.
std::string fncTrimSpaces(std::string_view line);

bool fncFieldExists(const Recordset& table, std::string_view name);

// What follows the last "/" of the path; the empty text without any "/".
std::string fncGetFileName(std::string_view path);

// Cuts `text` at every single space: n spaces give n + 1 pieces, the empty
// text none. The pieces point into `text`.
std::vector<std::string_view> splitAtSpaces(std::string_view text);

}  // namespace brevadin
