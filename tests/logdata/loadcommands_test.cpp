#include "logdata/loadcommands.h"

#include <gtest/gtest.h>

#include "logdata/logreader.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::TempFolder;
using testing::writeFile;

// A log that cannot be read is skipped but still named; one with no visible
// rows starts a gathering afresh, yet the tab still comes. The caption puts
// the smaller name by character code first.
TEST(LoadCommands, GatherOrLoadOne) {
    TempFolder dir;
    const std::string head = "#Date: 2003-05-01 00:00:00\n#Fields: date time cs-uri-stem\n";
    writeFile(dir.file("b.log"), head + "2003-05-01 02:00:00 /b1\n2003-05-01 03:00:00 /b2\n");
    writeFile(dir.file("img.log"), head + "2003-05-01 01:00:00 /a.gif\n");
    writeFile(dir.file("wide.log"), head + "2003-05-01 04:00:00 /c one-too-many\n");
    writeFile(dir.file("nul.log"), head + "2003-05-01 05:00:00 /d\n" + std::string("x\0y\n", 4));
    const struct {
        std::vector<std::string> names;  // one name alone: loaded singly
        bool htmlOnly;
        const char* caption;
        size_t rows;  // 0: no table
        bool nothingToShow;
        int64_t errorLines;
        std::vector<int> failures;  // their numbers, in order
    } cases[] = {
        {{"b.log", "Missing.log"}, false, "Missing.log～b.log", 2, false, 0, {}},
        {{"img.log", "img.log"}, true, "img.log", 0, false, 0, {}},
        {{"none.log"}, false, "none.log", 0, false, 0, {}},
        {{"wide.log"}, false, "wide.log", 0, false, 0, {kErrTooManyValues}},
        {{"nul.log", "wide.log", "nul.log"}, false, "nul.log", 2, false, 2, {kErrTooManyValues}},
    };
    for (const auto& c : cases) {
        LoadContext ctx;
        ctx.settings.types.IncludeAll = !c.htmlOnly;
        const LoadResult r = c.names.size() == 1 ? loadSingleLog(dir.path(), c.names[0], 2, ctx)
                                                 : gatherLogs(dir.path(), c.names, 2, ctx);
        EXPECT_EQ(r.caption, c.caption) << c.caption;
        EXPECT_EQ(r.table ? r.table->rowCount() : 0, c.rows) << c.caption;
        EXPECT_EQ(r.nothingToShow, c.nothingToShow) << c.caption;
        EXPECT_EQ(r.errorLines, c.errorLines) << c.caption;
        std::vector<int> numbers;
        for (const Failure& f : r.failures) numbers.push_back(f.number);
        EXPECT_EQ(numbers, c.failures) << c.caption;
    }
}

}  // namespace
}  // namespace brevadin
