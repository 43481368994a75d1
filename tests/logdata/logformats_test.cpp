// Logs from the project's generator read back whole.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "logdata/logformat.h"
#include "logdata/logreader.h"
#include "tests/support/loadfakes.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

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

// Random logs of every format read back with a row for each data line and
// nothing to report; the reader table checks each layout value by value.
TEST(Generated, LogsOfEveryFormatReadWithoutErrorLines) {
    const struct {
        const char* args;
        int32_t logType;
    } cases[] = {
        {"--format ncsa --lines 400", kLogTypeNcsa},
        {"--format combined --lines 400", kLogTypeNcsa},
        {"--format iis --lines 300 --iis-params", kLogTypeIis},
        {"--format w3c --lines 2000 --restarts 2 --fields-change", kLogTypeW3c},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        TempFolder dir;
        TestContext t;
        RecordsetPtr table;
        Lines lines = generate(dir.file("in.log"), c.args);
        ASSERT_TRUE(fncGetRecordsetFromLog(dir.file("in.log"), table, c.logType, t.ctx));
        EXPECT_EQ(table->storedRowCount(), std::count_if(lines.begin(), lines.end(), [](auto& l) {
                      return !l.starts_with('#');
                  }));
        EXPECT_TRUE(t.messages.shown.empty());
    }
}

// The tests and benchmarks rely on a seed naming one log, byte for byte.
TEST(Generated, ASeedNamesOneLogByteForByte) {
    TempFolder dir;
    auto again = [&](const char* seed) {
        return generate(dir.file("again.log"),
                        std::string("--format w3c --lines 300 --ipv6 --seed ") + seed);
    };
    EXPECT_EQ(again("7"), again("7"));
    EXPECT_NE(again("7"), again("8"));
}

}  // namespace
}  // namespace brevadin
