#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brevadin {

// The formats' names as the options dialog lists them, by LogType code
// (kLogTypeIis ... kLogTypeAuto); the W3C name for any other code.
std::string_view fncLogTypeName(int32_t logType);

// Which format the first non-blank lines of a log (its head: raw bytes, a BOM
// allowed) plainly show: kLogTypeW3c for directives, kLogTypeNcsa for a
// bracketed date followed by a quoted request, kLogTypeIis for fourteen or
// more values separated by a comma and a space. Remarks ("#" lines other than
// the W3C directives) are passed over; the first other line decides, and one
// that shows none of them gives -1.
int32_t fncGuessLogType(std::string_view head);

// The sentence added to the message of a load that failed or found only error
// lines when the head shows a format other than logType ("" otherwise); it
// asks to check `setting`, where the user picks the format.
std::string fncWrongFormatHint(std::string_view head, int32_t logType, std::string_view setting);

}  // namespace brevadin
