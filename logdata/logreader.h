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

// No server writes a field list near this long; past it a log is refused
// rather than allowed to make a table of mostly empty columns.
inline constexpr size_t kMaxFieldCount = 10000;

// Failure numbers of the reader's error report ("fncGetRecordsetFromLog:" +
// number + description). Failures of the record table keep their own.
enum LogReaderErrorCode : int {
    kErrBadArgument = 5,    // an empty "date" with no "#Date: " date to take
    kErrTooManyFields = 6,  // a field list, or the fields gathered, beyond kMaxFieldCount
    kErrOutOfMemory = 7,
    kErrTooManyValues = 9,  // a data line with more values than field names
    kErrInternal = 51,
    kErrFileNotFound = 53,  // not raised since the count and the read share one open file
    kErrReadFailed = 57,    // reading failed part way, or the file got shorter meanwhile
};

// Reads one access log into `table` (created when absent; replaced by a wider
// table whenever a field list adds names) and returns that table, or nullptr
// when the file cannot be opened, holds no field list, fails or is cancelled.
// Rows added before a failure or a cancel stay in `table`.
//
// logType picks the layout of data lines: kLogTypeIis, kLogTypeNcsa, or W3C
// extended for any other value. The text is UTF-8 when the file is (a BOM is
// skipped, and a file with a BOM is always taken as UTF-8; a character cut
// off by the end of the file becomes U+FFFD), CP932 otherwise; lines end in
// LF or CR LF, the last one possibly in nothing, and in a file without any LF
// CR alone ends a line. A line holding a NUL byte is an error line.
//
// The load reads what the line count saw when it started: lines appended
// while it runs are left for the next load (a counted last line still being
// written is read to its end), and a file cut shorter meanwhile fails the
// load with kErrReadFailed. A named pipe or a device is no log file.
//
// Progress goes to ctx.progress once per line, the error-line count and the
// error report to ctx.messages, client addresses ("c-ip") through ctx.hosts
// (once per distinct address of the load). Each of them may be null.
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
