// The INI layer over arbitrary settings files.
//
// A single-key update and a section replacement must leave every other value
// as it read before, and must read back as written. The section buffer is
// always exactly as long as asked and ends in two NULs.

#include <strings.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "config/inifile.h"
#include "tests/fuzz/fuzz_support.h"

using namespace brevadin;

namespace {

constexpr const char* kSections[] = {"Setting", "ColWidth", "LogFiles", "whois"};

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Every (section, key) whose value the document gives, with that value.
std::map<std::pair<std::string, std::string>, std::string> readable(const IniDocument& doc) {
    std::map<std::pair<std::string, std::string>, std::string> out;
    for (const char* s : kSections) {
        std::vector<std::string> entries;
        if (!doc.section(s, entries)) continue;
        for (const auto& e : entries) {
            const std::string key = e.substr(0, e.find('='));
            std::string value;
            if (doc.find(s, key, value)) out.try_emplace({s, key}, value);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fuzz::ScratchFile scratch("ini");
    if (size == 0) return 0;
    const size_t bufferChars = data[0];
    scratch.write(data + 1, size - 1);

    for (const char* s : kSections) {
        const std::string buffer = GetPrivateProfileSection(s, bufferChars, scratch.path());
        if (buffer.size() != bufferChars) fuzz::broken("section buffer has the wrong length");
        if (bufferChars >= 2 && buffer.compare(bufferChars - 2, 2, std::string(2, '\0')) != 0)
            fuzz::broken("section buffer does not end in two NULs");
    }

    IniDocument doc(scratch.path());
    const auto before = readable(doc);
    doc.setValue("Setting", "FuzzKey", "値 = 1");
    const std::vector<std::string> widths = {"Col0=1200", "Col1=45"};
    doc.replaceSection("ColWidth", widths);
    if (const Outcome saved = doc.save(); !saved) fuzz::broken("save failed", saved.description());

    IniDocument again(scratch.path());
    std::string value;
    if (!again.find("Setting", "FuzzKey", value) || value != "値 = 1")
        fuzz::broken("the updated key does not read back", value);
    std::vector<std::string> entries;
    if (!again.section("ColWidth", entries) || entries != widths)
        fuzz::broken("the replaced section does not read back");
    for (const auto& [where, old] : before) {
        if (sameName(where.first, "ColWidth")) continue;
        if (sameName(where.first, "Setting") && sameName(where.second, "FuzzKey")) continue;
        std::string now;
        if (!again.find(where.first, where.second, now) || now != old)
            fuzz::broken("an untouched value changed", where.first + "/" + where.second);
    }
    return 0;
}
