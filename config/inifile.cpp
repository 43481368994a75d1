#include "config/inifile.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

#include "common/atomicfile.h"

namespace brevadin {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The name of a "[name]" line, or false for any other line.
bool sectionName(std::string_view line, std::string_view& name) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = trim(line.substr(1, close - 1));
    return true;
}

bool keyOf(std::string_view line, std::string_view& key, std::string_view& value) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return !key.empty() && key.front() != ';';
}

std::string unquote(std::string_view v) {
    if (v.size() >= 2 &&
        ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

// The first n characters of a UTF-8 text (never half a character).
std::string firstCharacters(const std::string& text, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (chars == n) return text.substr(0, i);
            ++chars;
        }
    }
    return text;
}

}  // namespace

IniDocument::IniDocument(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        bom_ = true;
        text.erase(0, 3);
    }
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        std::string line = text.substr(start, nl - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            crlf_ = true;
        }
        lines_.push_back(std::move(line));
        start = nl + 1;
    }
}

bool IniDocument::findSection(std::string_view section, Range& range) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string_view name;
        if (!sectionName(lines_[i], name) || !equalsNoCase(name, trim(section))) continue;
        range.header = i;
        size_t j = i + 1;
        std::string_view other;
        while (j < lines_.size() && !sectionName(lines_[j], other)) ++j;
        range.end = j;
        return true;
    }
    return false;
}

bool IniDocument::find(std::string_view section, std::string_view key, std::string& value) const {
    Range r;
    if (!findSection(section, r)) return false;
    for (size_t i = r.header + 1; i < r.end; ++i) {
        std::string_view k, v;
        if (keyOf(lines_[i], k, v) && equalsNoCase(k, trim(key))) {
            value = unquote(v);
            return true;
        }
    }
    return false;
}

bool IniDocument::section(std::string_view section, std::vector<std::string>& entries) const {
    Range r;
    if (!findSection(section, r)) return false;
    entries.clear();
    for (size_t i = r.header + 1; i < r.end; ++i) {
        std::string_view k, v;
        if (keyOf(lines_[i], k, v)) entries.push_back(std::string(k) + "=" + std::string(v));
    }
    return true;
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    std::string line = std::string(trim(key)) + "=" + std::string(value);
    Range r;
    if (!findSection(section, r)) {
        lines_.push_back("[" + std::string(trim(section)) + "]");
        lines_.push_back(std::move(line));
        return;
    }
    size_t lastEntry = r.header;
    for (size_t i = r.header + 1; i < r.end; ++i) {
        std::string_view k, v;
        if (!trim(lines_[i]).empty()) lastEntry = i;
        if (keyOf(lines_[i], k, v) && equalsNoCase(k, trim(key))) {
            lines_[i] = std::move(line);
            return;
        }
    }
    lines_.insert(lines_.begin() + static_cast<long>(lastEntry) + 1, std::move(line));
}

void IniDocument::replaceSection(std::string_view section,
                                 const std::vector<std::string>& entries) {
    Range r;
    if (!findSection(section, r)) {
        lines_.push_back("[" + std::string(trim(section)) + "]");
        lines_.insert(lines_.end(), entries.begin(), entries.end());
        return;
    }
    // Blank lines that separate this section from the next stay.
    size_t end = r.end;
    while (end > r.header + 1 && trim(lines_[end - 1]).empty()) --end;
    lines_.erase(lines_.begin() + static_cast<long>(r.header) + 1,
                 lines_.begin() + static_cast<long>(end));
    lines_.insert(lines_.begin() + static_cast<long>(r.header) + 1, entries.begin(), entries.end());
}

Outcome IniDocument::save() const {
    std::string text = bom_ ? "\xEF\xBB\xBF" : "";
    // A file keeps its line ends; a new one gets the platform's.
    const char* eol = crlf_ ? "\r\n" : "\n";
    for (const auto& l : lines_) {
        text += l;
        text += eol;
    }
    // Last writer wins, as users expect of settings, but writers take turns
    // with the same lock as the host-name cache beside them.
    FileLock lock(path_);
    return writeFileAtomically(path_, text);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, size_t bufferChars,
                                    const std::string& path) {
    std::string value;
    if (!IniDocument(path).find(section, key, value)) value = std::string(defaultValue);
    return bufferChars == 0 ? std::string() : firstCharacters(value, bufferChars - 1);
}

int64_t GetPrivateProfileInt(std::string_view section, std::string_view key, int64_t defaultValue,
                             const std::string& path) {
    std::string value;
    if (!IniDocument(path).find(section, key, value)) return defaultValue;
    std::string_view v = trim(value);
    bool negative = !v.empty() && v.front() == '-';
    if (!v.empty() && (v.front() == '-' || v.front() == '+')) v.remove_prefix(1);
    int64_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9') break;
        if (n > (std::numeric_limits<int64_t>::max() - 9) / 10) break;
        n = n * 10 + (c - '0');
    }
    return negative ? -n : n;
}

std::string GetPrivateProfileSection(std::string_view section, size_t bufferChars,
                                     const std::string& path) {
    std::string out;
    std::vector<std::string> entries;
    if (IniDocument(path).section(section, entries)) {
        for (const auto& e : entries) {
            out += e;
            out += '\0';
        }
    }
    if (bufferChars < 2) return std::string(bufferChars, '\0');
    if (out.size() + 1 > bufferChars) out.resize(bufferChars - 2);
    out.resize(bufferChars, '\0');
    return out;
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path) {
    IniDocument doc(path);
    doc.setValue(section, key, value);
    return doc.save().ok();
}

bool WritePrivateProfileSection(std::string_view section, std::string_view entries,
                                const std::string& path) {
    std::vector<std::string> list;
    size_t start = 0;
    while (start < entries.size()) {
        size_t nul = entries.find('\0', start);
        if (nul == std::string_view::npos) nul = entries.size();
        if (nul > start) list.emplace_back(entries.substr(start, nul - start));
        start = nul + 1;
    }
    IniDocument doc(path);
    doc.replaceSection(section, list);
    return doc.save().ok();
}

double leadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double v = 0;
    int digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 18; ++i, ++digits)
        v = v * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, scale /= 10)
            v += (text[i] - '0') * scale;
    }
    return negative ? -v : v;
}

int64_t roundHalfEven(double value) {
    if (!std::isfinite(value)) return 0;
    if (value > 9.0e18) return std::numeric_limits<int64_t>::max();
    if (value < -9.0e18) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::nearbyint(value));
}

}  // namespace brevadin
