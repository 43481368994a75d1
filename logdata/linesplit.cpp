#include "logdata/linesplit.h"

#include <cstring>

#include "logdata/logreader.h"

namespace brevadin {
namespace {

// End of a bracketed or quoted value that opens at text[open]: the closing
// character that is followed by a space or the end of the line, so that a
// stray quote inside a user agent does not cut it. Backslash escapes inside
// quotes are skipped. npos when the value is never closed.
size_t findClosing(std::string_view text, size_t open, char closing) {
    for (size_t i = open + 1; i < text.size(); ++i) {
        char c = text[i];
        if (closing == '"' && c == '\\') {
            ++i;
            continue;
        }
        if (c == closing && (i + 1 == text.size() || text[i + 1] == ' ')) return i;
    }
    return std::string_view::npos;
}

}  // namespace

void trimSpacesInto(std::string_view line, std::string& out) {
    out.clear();
    out.reserve(line.size());
    char previous = 0;
    for (char c : line) {
        if (c == ' ' && previous == ' ') continue;
        out += c;
        previous = c;
    }
}

// fncTrimSpaces followed by the split at single spaces, done in one pass
// without copying: most W3C lines take this way.
void splitW3cPlain(std::string_view line, std::vector<std::string_view>& out) {
    const char* p = line.data();
    const char* end = p + line.size();
    if (p == end) return;
    for (;;) {
        const char* space = static_cast<const char*>(std::memchr(p, ' ', end - p));
        if (!space) {
            out.emplace_back(p, end - p);
            return;
        }
        out.emplace_back(p, space - p);
        p = space + 1;
        while (p != end && *p == ' ') ++p;
        if (p == end) {
            out.emplace_back();
            return;
        }
    }
}

// The quoted values are the working draft's quoted strings, which Oracle Web
// Cache and IIS Advanced Logging write for values with spaces.
void splitW3cQuoted(char* line, size_t length, std::vector<std::string_view>& out) {
    char* p = line;
    char* const end = line + length;
    if (p == end) return;
    for (;;) {
        if (*p == '"') {
            char* write = ++p;
            char* const start = write;
            for (; p != end; ++p) {
                if (*p == '"') {
                    if (p + 1 != end && p[1] == '"') {
                        ++p;
                    } else if (p + 1 == end || isBlank(p[1])) {
                        break;
                    }
                }
                *write++ = *p;
            }
            out.emplace_back(start, static_cast<size_t>(write - start));
            if (p != end) ++p;  // the closing quote
        } else {
            char* const start = p;
            while (p != end && !isBlank(*p)) ++p;
            out.emplace_back(start, static_cast<size_t>(p - start));
        }
        if (p == end) return;
        while (p != end && isBlank(*p)) ++p;
        if (p == end) {
            out.emplace_back();
            return;
        }
    }
}

void splitNcsa(std::string_view line, std::vector<NcsaToken>& out) {
    out.clear();
    size_t i = 0;
    const size_t n = line.size();
    if (n == 0) return;
    for (;;) {
        char c = line[i];
        if (c == '[' || c == '"') {
            size_t close = findClosing(line, i, c == '[' ? ']' : '"');
            if (close == std::string_view::npos) {
                out.push_back({line.substr(i + 1), c});
                return;
            }
            out.push_back({line.substr(i + 1, close - i - 1), c});
            i = close + 1;
        } else {
            size_t space = line.find(' ', i);
            if (space == std::string_view::npos) space = n;
            out.push_back({line.substr(i, space - i), 0});
            i = space;
        }
        if (i >= n) return;
        ++i;  // the one space between values (runs were trimmed before)
        if (i >= n) {
            out.push_back({{}, 0});
            return;
        }
    }
}

void splitIis(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    while (!line.empty() && line.back() == ' ') line.remove_suffix(1);
    if (!line.empty() && line.back() == ',') line.remove_suffix(1);
    if (line.empty()) return;
    size_t start = 0;
    for (;;) {
        size_t sep = line.find(", ", start);
        if (sep == std::string_view::npos) {
            out.push_back(line.substr(start));
            return;
        }
        out.push_back(line.substr(start, sep - start));
        start = sep + 2;
    }
}

void joinIisQuery(std::vector<std::string_view>& values, std::string& joined) {
    if (values.size() < 15) return;
    joined.clear();
    for (size_t i = 14; i < values.size(); ++i) {
        if (i > 14) joined += ", ";
        joined += values[i];
    }
    if (joined != "-") {
        joined = std::string(values[13]) + "?" + joined;
        values[13] = joined;
    }
    values.resize(14);
}

// Finds the common layout in the line, with what it may carry around it.
bool NcsaLayout::place(std::string_view line, std::vector<std::string_view>& values) {
    splitNcsa(line, tokens_);
    auto date = std::find_if(tokens_.begin(), tokens_.end(),
                             [](const NcsaToken& t) { return t.opener == '['; });
    // A forwarded-for list in the host position ("10.0.0.2, 10.0.0.1") is
    // one value: a bare piece ending in a comma runs on into the next.
    hostParts_.clear();
    bool joining = false;
    for (auto t = tokens_.begin(); t != date; ++t) {
        if (joining) {
            std::string_view& last = hostParts_.back();
            last = std::string_view(last.data(), t->text.data() + t->text.size() - last.data());
        } else {
            hostParts_.push_back(t->text);
        }
        joining = !t->text.empty() && t->text.back() == ',';
    }
    if (date == tokens_.end() ||
        std::any_of(tokens_.begin(), date, [](const NcsaToken& t) { return t.opener != 0; }) ||
        (hostParts_.size() != 3 && hostParts_.size() != 4)) {
        // No layout this reader knows: the values in order, so that a wrong
        // format ends the load.
        values.clear();
        for (const NcsaToken& t : tokens_) values.push_back(t.text);
        return false;
    }
    const bool virtualHost = hostParts_.size() == 4;
    const size_t after = static_cast<size_t>(date - tokens_.begin()) + 1;
    const size_t trailing = tokens_.size() > after + 3 ? tokens_.size() - after - 3 : 0;
    // What follows the byte count (none on a line cut short).
    auto rest = [&](size_t i) -> const NcsaToken& { return tokens_[after + 3 + i]; };
    const bool combined = trailing >= 2 && rest(0).opener == '"' && rest(1).opener == '"';
    const bool forwarded = combined && trailing >= 3 && rest(2).opener == '"';
    const size_t extras = trailing - (combined ? 2 : 0) - (forwarded ? 1 : 0);
    const bool widened = (combined && !combined_) || (forwarded && !forwarded_) ||
                         extras > extras_ || (virtualHost && !virtualHost_);
    combined_ = combined_ || combined;
    forwarded_ = forwarded_ || forwarded;
    extras_ = std::max(extras_, extras);
    virtualHost_ = virtualHost_ || virtualHost;
    const size_t names =
        (combined_ ? 9 : 7) + (forwarded_ ? 1 : 0) + extras_ + (virtualHost_ ? 1 : 0);
    values.assign(names, std::string_view());
    const size_t hostFrom = virtualHost ? 1 : 0;
    for (size_t i = 0; i < 3; ++i) values[i] = hostParts_[hostFrom + i];
    for (size_t i = 0; i < 4 && after - 1 + i < tokens_.size(); ++i)
        values[3 + i] = tokens_[after - 1 + i].text;
    size_t at = 7;
    size_t next = 0;  // into rest
    if (combined) {
        values[7] = rest(0).text;
        values[8] = rest(1).text;
        next = 2;
    }
    if (combined_) at = 9;
    if (forwarded) values[at] = rest(next++).text;
    if (forwarded_) ++at;
    for (; next < trailing; ++next) values[at++] = rest(next).text;
    if (virtualHost) values.back() = hostParts_[0];
    return widened;
}

std::string NcsaLayout::fieldList() const {
    std::string list(combined_ ? kNcsaCombinedFieldList : kNcsaFieldList);
    if (forwarded_) (list += ' ') += kNcsaForwardedFor;
    for (size_t i = 1; i <= extras_; ++i) ((list += ' ') += kNcsaExtraPrefix) += std::to_string(i);
    if (virtualHost_) (list += ' ') += kNcsaVirtualHost;
    return list;
}

std::string fncTrimSpaces(std::string_view line) {
    std::string out;
    trimSpacesInto(line, out);
    return out;
}

std::vector<std::string_view> splitAtSpaces(std::string_view text) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        size_t space = text.find(' ', start);
        if (space == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, space - start));
        start = space + 1;
    }
}

}  // namespace brevadin
