// Data files of cases in tests/data: "case TEXT" starts a case, "KEY TEXT"
// lines follow; a block key takes the lines after it up to "end" instead.
#pragma once

#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace brevadin::testing {

struct DataCase {
    std::string what;
    std::multimap<std::string, std::string> keys;  // in file order within a key

    std::optional<std::string> get(const std::string& key) const {
        auto it = keys.find(key);
        return it == keys.end() ? std::nullopt : std::optional(it->second);
    }
    std::vector<std::string> all(const std::string& key) const {
        std::vector<std::string> out;
        for (auto [it, end] = keys.equal_range(key); it != end; ++it) out.push_back(it->second);
        return out;
    }
};

inline void PrintTo(const DataCase& c, std::ostream* os) {
    *os << c.what;
}

// An unknown key is an error: a misspelt one would otherwise check nothing.
inline std::vector<DataCase> readDataCases(const std::string& file,
                                           const std::set<std::string>& known,
                                           const std::set<std::string>& blocks = {}) {
    std::vector<DataCase> cases;
    std::ifstream in(std::string(BREVADIN_TEST_DATA) + "/" + file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const size_t space = std::min(line.find(' '), line.size());
        const std::string key = line.substr(0, space);
        std::string rest = line.substr(space + (space < line.size()));
        if (key == "case") {
            cases.push_back({rest, {}});
            continue;
        }
        if (cases.empty() || !known.count(key)) throw std::runtime_error(file + ": " + line);
        if (blocks.count(key))
            while (std::getline(in, line) && line != "end") rest += line + "\n";
        cases.back().keys.emplace(key, rest);
    }
    return cases;
}

inline std::vector<std::string> splitAt(const std::string& text, char separator) {
    std::vector<std::string> out(1);
    for (char c : text)
        if (c == separator)
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

}  // namespace brevadin::testing
