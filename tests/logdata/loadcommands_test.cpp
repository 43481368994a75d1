#include "logdata/loadcommands.h"

#include <gtest/gtest.h>

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::TempFolder;
using testing::writeFile;

std::string w3c(const std::string& fields, const std::string& lines) {
    return "#Date: 2003-05-01 00:00:00\n#Fields: " + fields + "\n" + lines;
}

class CountingProgress : public ProgressSink {
public:
    void setMaxCount(int64_t m) override { max = m; }
    void setMaxCountMini(int64_t) override {}
    bool UpdateStatus(const std::string& message, int64_t, bool mini) override {
        if (!mini) bigSteps.push_back(message);
        return false;
    }
    int64_t max = -1;
    std::vector<std::string> bigSteps;
};

TEST(GatherCaption, OrderedByCharacterCode) {
    EXPECT_EQ(fncGatherCaption("a.log", "b.log"), "a.log～b.log");
    EXPECT_EQ(fncGatherCaption("b.log", "a.log"), "a.log～b.log");
    EXPECT_EQ(fncGatherCaption("a.log", "a.log"), "a.log");
    EXPECT_EQ(fncGatherCaption("B.log", "a.log"), "B.log～a.log");
}

TEST(LoadCommands, GatherAppendsInOrderAndSkipsWhatFails) {
    TempFolder dir;
    writeFile(dir.file("a.log"), w3c("date time cs-uri-stem", "2003-05-01 01:00:00 /a\n"));
    writeFile(dir.file("b.log"), w3c("date time cs-uri-stem", "2003-05-01 02:00:00 /b1\n"
                                                              "2003-05-01 03:00:00 /b2\n"));
    CountingProgress progress;
    LoadContext ctx;
    ctx.settings.TimeDiff = 0;
    ctx.progress = &progress;
    LoadResult r = gatherLogs(dir.path().string(), {"a.log", "b.log"}, 2, ctx);
    ASSERT_TRUE(r.table);
    EXPECT_EQ(r.caption, "a.log～b.log");
    EXPECT_EQ(r.table->rowCount(), 3u);
    EXPECT_EQ(r.table->value(0, 2), "/a");
    EXPECT_EQ(progress.max, 2);
    EXPECT_EQ(progress.bigSteps, (std::vector<std::string>{"a.log を読み込みました",
                                                           "b.log を読み込みました"}));
    // The first cannot be read: the caption still names it, the rows are b's.
    LoadResult m = gatherLogs(dir.path().string(), {"missing.log", "b.log"}, 2, ctx);
    ASSERT_TRUE(m.table);
    EXPECT_EQ(m.caption, "b.log～missing.log");
    EXPECT_EQ(m.table->rowCount(), 2u);
}

TEST(LoadCommands, NothingSelectedOrNothingVisible) {
    TempFolder dir;
    LoadContext ctx;
    EXPECT_TRUE(gatherLogs(dir.path().string(), {}, 2, ctx).nothingToShow);
    writeFile(dir.file("img.log"), w3c("date time cs-uri-stem", "2003-05-01 01:00:00 /a.gif\n"));
    ctx.settings.types.IncludeAll = false;
    LoadResult one = loadSingleLog(dir.path().string(), "img.log", 2, ctx);
    EXPECT_TRUE(one.nothingToShow);
    EXPECT_FALSE(one.table);
    // Gathering restarts after a log with no visible rows; the tab still comes.
    LoadResult g = gatherLogs(dir.path().string(), {"img.log"}, 2, ctx);
    EXPECT_FALSE(g.nothingToShow);
    EXPECT_FALSE(g.table);
    EXPECT_EQ(g.caption, "img.log");
    LoadResult missing = loadSingleLog(dir.path().string(), "none.log", 2, ctx);
    EXPECT_FALSE(missing.table);
    EXPECT_FALSE(missing.nothingToShow);
}

}  // namespace
}  // namespace brevadin
