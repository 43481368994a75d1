#include "config/clsconfig.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/stringbuilder.h"
#include "config/inifile.h"

namespace brevadin {
namespace {

constexpr size_t kBufferChars = 256;

std::string trimSpaces(std::string s) {
    size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    size_t a = s.find_first_not_of(' ');
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(' ');
    return s.substr(a, b - a + 1);
}

}  // namespace

bool parseBoolean(const std::string& text, bool& ok) {
    ok = true;
    std::string lower;
    for (char c : text) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower == "true") return true;
    if (lower == "false") return false;
    size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    bool digits = i < text.size();
    for (size_t j = i; j < text.size(); ++j)
        if ((text[j] < '0' || text[j] > '9') && text[j] != '.') digits = false;
    if (digits) return leadingNumber(text) != 0;
    ok = false;
    return false;
}

// Until Load, every switch is off: only a loaded file or its defaults turn
// them on.
clsConfig::clsConfig(std::string path, std::string section)
    : ContentTypes{false, false, false, false, false, false},
      path_(std::move(path)),
      section_(std::move(section)) {}

Outcome clsConfig::Save() const {
    IniDocument doc(path_);
    auto boolText = [](bool b) { return b ? "True" : "False"; };
    doc.setValue(section_, "ReadPath", ReadPath);
    doc.setValue(section_, "TimeDiff", std::to_string(TimeDiff));
    doc.setValue(section_, "IncAll", boolText(IncludeAll));
    doc.setValue(section_, "IncHtml", boolText(IncludeHTML));
    doc.setValue(section_, "IncScript", boolText(IncludeScript));
    doc.setValue(section_, "IncArc", boolText(IncludeArchive));
    doc.setValue(section_, "IncMovie", boolText(IncludeMovie));
    doc.setValue(section_, "IncSound", boolText(IncludeSound));
    doc.setValue(section_, "LogType", std::to_string(LogType));
    if (WinWidth > 0 && WinHeight > 0) {
        const std::pair<const char*, int> place[] = {{"WinLeft", WinLeft},
                                                     {"WinTop", WinTop},
                                                     {"WinWidth", WinWidth},
                                                     {"WinHeight", WinHeight},
                                                     {"ListWidth", ListWidth}};
        for (const auto& [key, value] : place) doc.setValue(section_, key, std::to_string(value));
        doc.setValue(section_, "WinMax", boolText(WinMaximized));
    }
    if (!ExportPath.empty()) doc.setValue(section_, "ExportPath", ExportPath);
    if (grid_) {
        StringBuilder block;
        block.setAutoSeparater(std::string(1, '\0'));
        for (int64_t n = 0; n < grid_->Cols(); ++n)
            block.Append("Col" + std::to_string(n) + "=" + std::to_string(grid_->ColWidth(n)));
        std::vector<std::string> entries;
        std::string text = block.ToString();
        size_t start = 0;
        while (start < text.size()) {
            size_t nul = text.find('\0', start);
            if (nul == std::string::npos) nul = text.size();
            entries.push_back(text.substr(start, nul - start));
            start = nul + 1;
        }
        doc.replaceSection("ColWidth", entries);
    }
    return doc.save();
}

void clsConfig::Load() {
    IniDocument doc(path_);
    auto text = [&](const char* key, const char* def) {
        std::string v;
        if (!doc.find(section_, key, v)) v = def;
        // The buffer the value is read into holds 255 characters.
        size_t chars = 0, i = 0;
        for (; i < v.size(); ++i) {
            if ((static_cast<unsigned char>(v[i]) & 0xC0) != 0x80 && chars++ == kBufferChars - 1)
                break;
        }
        return trimSpaces(v.substr(0, i));
    };
    auto integer = [&](const char* key, int64_t def) -> int64_t {
        std::string v;
        if (!doc.find(section_, key, v)) return def;
        return roundHalfEven(static_cast<double>(static_cast<int64_t>(leadingNumber(v))));
    };
    auto boolean = [&](const char* key) {
        bool ok = false;
        bool b = parseBoolean(text(key, "True"), ok);
        return ok ? b : true;  // an unusable value keeps the default
    };

    ReadPath = text("ReadPath", "");
    int64_t diff = integer("TimeDiff", 9);
    // A difference of more than a day is no time zone: keep the default.
    TimeDiff = diff >= -24 && diff <= 24 ? static_cast<int>(diff) : 9;
    IncludeAll = boolean("IncAll");
    IncludeHTML = boolean("IncHtml");
    IncludeScript = boolean("IncScript");
    IncludeArchive = boolean("IncArc");
    IncludeMovie = boolean("IncMovie");
    IncludeSound = boolean("IncSound");
    int64_t type = integer("LogType", 2);
    LogType = type >= INT32_MIN && type <= INT32_MAX ? static_cast<int32_t>(type) : 2;
    // Beyond any screen means a broken value: the window then starts as new.
    const auto pixels = [&](const char* key) {
        const int64_t v = integer(key, 0);
        return v >= -100000 && v <= 100000 ? static_cast<int>(v) : 0;
    };
    WinLeft = pixels("WinLeft");
    WinTop = pixels("WinTop");
    WinWidth = std::max(pixels("WinWidth"), 0);
    WinHeight = std::max(pixels("WinHeight"), 0);
    ListWidth = std::max(pixels("ListWidth"), 0);
    bool ok = false;
    WinMaximized = parseBoolean(text("WinMax", "False"), ok) && ok;
    ExportPath = text("ExportPath", "");

    if (!grid_) return;
    std::string buffer = GetPrivateProfileSection("ColWidth", kBufferChars, path_);
    // A section longer than the buffer is cut, most likely inside an entry:
    // "Col26=126" may arrive as "Col2", which would set column 2 to the
    // minimum. That piece is no entry and is left out.
    size_t cutPiece = std::string::npos;  // where the NUL after the cut piece lies
    std::vector<std::string> entries;
    if (doc.section("ColWidth", entries)) {
        std::string full;
        for (const auto& e : entries) {
            full += e;
            full += '\0';
        }
        if (full.size() + 1 > kBufferChars && full[kBufferChars - 2] != '\0')
            cutPiece = kBufferChars - 2;
    }
    size_t start = 0;
    for (;;) {
        size_t nul = buffer.find('\0', start);
        if (nul != std::string::npos && nul == cutPiece) {
            start = nul + 1;
            continue;
        }
        std::string piece =
            buffer.substr(start, nul == std::string::npos ? std::string::npos : nul - start);
        size_t eq = piece.size() >= 3 ? piece.find('=', 2) : std::string::npos;
        int64_t width = roundHalfEven(leadingNumber(eq == std::string::npos
                                                        ? std::string_view(piece)
                                                        : std::string_view(piece).substr(eq + 1)));
        if (width < 50) width = 50;
        int64_t column =
            piece.size() < 4 ? 0 : roundHalfEven(leadingNumber(std::string_view(piece).substr(3)));
        // A column the grid does not have is skipped (a negative one would
        // otherwise mean every column).
        if (column >= 0 && column < grid_->Cols()) grid_->setColWidth(column, width);
        if (nul == std::string::npos) break;
        start = nul + 1;
    }
}

ReaderSettings clsConfig::readerSettings() const {
    ReaderSettings s;
    s.TimeDiff = TimeDiff;
    s.types = *this;
    return s;
}

}  // namespace brevadin
