// Logs from the project's generator read back whole.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "logdata/logformat.h"
#include "logdata/logreader.h"
#include "tests/support/loadfakes.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::cell;
using testing::TempFolder;
using testing::TestContext;
using Lines = std::vector<std::string>;

// Runs the project's log generator; the lines it wrote, without line ends.
Lines generate(const std::string& file, const std::string& args) {
    std::string command = std::string(BREVADIN_BINARY_DIR) + "/brevadin-genlog " + args;
    command += " -o '" + file + "'";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    Lines lines;
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Row r written back in the layout its format reads; with the parameters
// of an IIS target after it as a value of their own.
std::string rebuilt(const Recordset& t, size_t r, bool params) {
    if (t.fieldExists("Host")) {
        std::string line = cell(t, r, "Host") + " " + cell(t, r, "Ident") + " " +
                           cell(t, r, "Authuser") + " [" + cell(t, r, "Date") + "] \"" +
                           cell(t, r, "Request") + "\" " + cell(t, r, "Status") + " " +
                           cell(t, r, "Byte");
        if (!t.fieldExists("cs(Referer)")) return line;
        return line + " \"" + cell(t, r, "cs(Referer)") + "\" \"" + cell(t, r, "cs(User-Agent)") +
               "\"";
    }
    std::string line;
    for (size_t i = 1; i + 1 < t.fieldCount(); ++i) line += cell(t, r, t.fields()[i].name) + ", ";
    std::string target = cell(t, r, t.fields().back().name);
    size_t query = target.find('?');
    if (params)
        target = query == std::string::npos ? target + ", -" : target.replace(query, 1, ", ");
    return line + target + ",";
}

TEST(Generated, FixedFormatLogsReadBackLineForLine) {
    const struct {
        std::string args;
        int32_t logType;
        std::string_view fields;
    } cases[] = {
        {"--format ncsa --lines 400", kLogTypeNcsa, kNcsaFieldList},
        {"--format combined --lines 400", kLogTypeNcsa, kNcsaCombinedFieldList},
        {"--format iis --lines 300", kLogTypeIis, kIisFieldList},
        {"--format iis --lines 300 --iis-params", kLogTypeIis, kIisFieldList},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        TempFolder dir;
        TestContext t;
        RecordsetPtr table;
        Lines lines = generate(dir.file("in.log"), c.args);
        RecordsetPtr result = fncGetRecordsetFromLog(dir.file("in.log"), table, c.logType, t.ctx);
        ASSERT_TRUE(result);
        Lines names{"date"};
        for (auto n : splitAtSpaces(c.fields)) names.emplace_back(n);
        EXPECT_EQ(testing::fieldNames(*result), names);
        ASSERT_EQ(result->storedRowCount(), lines.size());
        const bool params = c.args.ends_with("params");
        for (size_t r = 0; r < lines.size(); ++r)
            ASSERT_EQ(rebuilt(*result, r, params), fncTrimSpaces(lines[r])) << "line " << r + 1;
        EXPECT_TRUE(t.messages.shown.empty());
    }
}

TEST(Generated, W3cLogWithRestartsAndAWiderFieldList) {
    TempFolder dir;
    TestContext t;
    RecordsetPtr table;
    Lines lines =
        generate(dir.file("ex.log"), "--format w3c --lines 2000 --restarts 2 --fields-change");
    RecordsetPtr result = fncGetRecordsetFromLog(dir.file("ex.log"), table, kLogTypeW3c, t.ctx);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->storedRowCount(), std::count_if(lines.begin(), lines.end(),
                                                      [](auto& l) { return !l.starts_with('#'); }));
    EXPECT_EQ(result->fields().back().name, "cs-host");
    EXPECT_TRUE(t.messages.shown.empty());
    // The tests and benchmarks rely on a seed naming one log, byte for byte.
    auto again = [&](const char* seed) {
        return generate(dir.file("again.log"),
                        std::string("--format w3c --lines 300 --ipv6 --seed ") + seed);
    };
    EXPECT_EQ(again("7"), again("7"));
    EXPECT_NE(again("7"), again("8"));
}

}  // namespace
}  // namespace brevadin
