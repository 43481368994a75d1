#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"

namespace brevadin {

// An INI file as the private-profile functions of Windows see it: "[section]"
// headers, "key=value" lines, section and key names compared without regard
// to letter case, the first of two equal keys winning. Every line that a
// change does not touch (comments, unknown keys, other sections, blank lines)
// is written back exactly as it was read, in its place.
class IniDocument {
public:
    // Reads path; a missing or unreadable file reads as empty.
    explicit IniDocument(std::string path);

    const std::string& path() const { return path_; }

    // The value of key, trimmed of blanks and of one pair of surrounding
    // quotes, or nullptr-like absence (returns false) when the key is missing.
    bool find(std::string_view section, std::string_view key, std::string& value) const;
    // The section's entries in file order, as "key=value" texts; false when
    // the section is missing.
    bool section(std::string_view section, std::vector<std::string>& entries) const;

    // Single-key update: replaces the key's line, or adds it at the end of
    // the section, adding the section at the end of the file when missing.
    void setValue(std::string_view section, std::string_view key, std::string_view value);
    // Replaces every line of the section by the given "key=value" entries.
    void replaceSection(std::string_view section, const std::vector<std::string>& entries);

    // Writes the whole text atomically (temporary file, then rename).
    Outcome save() const;

private:
    struct Range {
        size_t header = 0;  // line of "[section]"
        size_t end = 0;     // one past the section's last line
    };
    bool findSection(std::string_view section, Range& range) const;

    std::string path_;
    std::vector<std::string> lines_;
    bool crlf_ = false;
    bool bom_ = false;
};

// The private-profile calls, each reading (and for the writes, rewriting) the
// file. bufferChars is the size of the caller's buffer in characters, the
// terminating NUL included: a longer value reads as its first bufferChars - 1
// characters, as Windows cuts it.
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, size_t bufferChars,
                                    const std::string& path);
// The value as a decimal integer (an optional sign, then digits; a value that
// does not start with a number gives 0), or defaultValue when the key is missing.
int64_t GetPrivateProfileInt(std::string_view section, std::string_view key, int64_t defaultValue,
                             const std::string& path);
// The section as Windows fills a buffer: each entry "key=value" followed by a
// NUL, one more NUL after the list, the rest of the buffer NUL; an over-long
// section is cut and still ends in two NULs. The result is bufferChars long.
std::string GetPrivateProfileSection(std::string_view section, size_t bufferChars,
                                     const std::string& path);
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& path);
// entries: "key=value" texts separated by NULs (a trailing NUL or two is allowed).
bool WritePrivateProfileSection(std::string_view section, std::string_view entries,
                                const std::string& path);

// Leading number of text as a decimal (sign, digits, fraction), 0 when none.
double leadingNumber(std::string_view text);
// Rounds to the nearest integer, halves to the even neighbour.
int64_t roundHalfEven(double value);

}  // namespace brevadin
