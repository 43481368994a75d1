#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Cutting one log line into its values, per format. Nothing here reads a
// file or knows the record table: the reading thread and the load both cut
// lines with these, and they can be tested and fuzzed on their own.
namespace brevadin {

inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

inline bool isBlankLine(std::string_view line) {
    return std::all_of(line.begin(), line.end(), isBlank);
}

// The line with every run of spaces reduced to one space, into `out`.
void trimSpacesInto(std::string_view line, std::string& out);

// The W3C cut of a line with neither a TAB nor a double quote: values are
// separated by runs of spaces; a leading or trailing run still gives an
// empty first or last piece. Appends to `out`; the pieces point into `line`.
void splitW3cPlain(std::string_view line, std::vector<std::string_view>& out);

// The W3C cut of any line: runs of spaces and TABs separate values, and a
// value opening with a double quote runs to the quote that a separator or
// the line end follows; it is stored without its quotes, a doubled quote
// inside as one. That unescaping rewrites the line in place, which is why it
// is writable. Appends to `out`.
void splitW3cQuoted(char* line, size_t length, std::vector<std::string_view>& out);

// Microsoft IIS lines: values separated by a comma and a space, the line
// ending in a comma. Replaces `out`.
void splitIis(std::string_view line, std::vector<std::string_view>& out);

// Joins the request's parameters (the fifteenth value on, which held commas
// of their own) to the target as its query and leaves fourteen values; the
// joined target lives in `joined`.
void joinIisQuery(std::vector<std::string_view>& values, std::string& joined);

struct NcsaToken {
    std::string_view text;
    char opener;  // '[' or '"' for a bracketed or quoted value, 0 for a bare one
};

// NCSA lines (runs of spaces already reduced): values are separated by
// spaces, except that a value in brackets (the date) or quotes (request,
// referer, user agent and what servers append) runs to its closing character
// and is stored without it. Replaces `out`.
void splitNcsa(std::string_view line, std::vector<NcsaToken>& out);

// The NCSA layouts met so far in one log: the common one, widened by what
// lines carry beyond it (combined, forwarded-for, trailing values, virtual
// host). It only ever widens, so earlier rows keep their places.
class NcsaLayout {
public:
    // Cuts the line (runs of spaces already reduced) and places each value
    // at its name's position in fieldList(), widening the layout first when
    // the line needs it; true when it did. A line of no known layout gives
    // its values in order, as a field list would take them.
    bool place(std::string_view line, std::vector<std::string_view>& values);

    // The current names: the common ones, then what the lines so far added.
    std::string fieldList() const;

private:
    std::vector<NcsaToken> tokens_;
    std::vector<std::string_view> hostParts_;
    bool combined_ = false;
    bool forwarded_ = false;
    size_t extras_ = 0;
    bool virtualHost_ = false;
};

}  // namespace brevadin
