#include "logdata/logformat.h"

#include "logdata/logreader.h"

namespace brevadin {
namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A host, an identity and a user, then "[date] \"request\"": an NCSA line
// whatever the server appends to it or puts in front of it.
bool looksNcsa(std::string_view line) {
    size_t open = line.find(" [");
    if (open == std::string_view::npos) return false;
    return line.find("] \"", open + 2) != std::string_view::npos;
}

bool looksIis(std::string_view line) {
    size_t separators = 0;
    for (size_t at = line.find(", "); at != std::string_view::npos; at = line.find(", ", at + 2))
        ++separators;
    return separators >= 13;
}

}  // namespace

std::string_view fncLogTypeName(int32_t logType) {
    switch (logType) {
        case kLogTypeIis:
            return "Microsoft IIS ログ ファイル形式";
        case kLogTypeNcsa:
            return "NCSA 共通ログ ファイル形式";
        case kLogTypeAuto:
            return "自動判別 (ファイルごと)";
        default:
            return "W3C 拡張ログ ファイル形式";
    }
}

int32_t fncGuessLogType(std::string_view head) {
    if (startsWith(head, "\xef\xbb\xbf")) head.remove_prefix(3);
    while (!head.empty()) {
        size_t eol = head.find('\n');
        std::string_view line = head.substr(0, eol);
        head.remove_prefix(eol == std::string_view::npos ? head.size() : eol + 1);
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos) continue;
        if (line[0] == '#') {
            for (std::string_view d : {"#Fields: ", "#Software: ", "#Version: ", "#Date: "})
                if (startsWith(line, d)) return kLogTypeW3c;
            continue;
        }
        if (looksNcsa(line)) return kLogTypeNcsa;
        if (looksIis(line)) return kLogTypeIis;
        return -1;
    }
    return -1;
}

std::string fncWrongFormatHint(std::string_view head, int32_t logType, std::string_view setting) {
    int32_t guess = fncGuessLogType(head);
    if (logType != kLogTypeIis && logType != kLogTypeNcsa) logType = kLogTypeW3c;
    if (guess < 0 || guess == logType) return std::string();
    return "このファイルは " + std::string(fncLogTypeName(guess)) + "のようです。" +
           std::string(setting) + "を確認してください。";
}

}  // namespace brevadin
