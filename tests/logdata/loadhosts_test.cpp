// Client addresses and the content-type filter during a load.

#include <gtest/gtest.h>

#include "logdata/logreader.h"
#include "tests/support/loadfakes.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::cell;
using testing::FakeHosts;
using testing::TempFolder;
using testing::TestContext;

class HostsTest : public ::testing::Test {
protected:
    HostsTest() {
        t_.ctx.hosts = &hosts_;
        hosts_.known["127.0.0.1"] = "Local Host";
        hosts_.later["192.0.2.1"] = "a.example.jp";
    }
    RecordsetPtr load(const std::string& text) {
        return fncGetRecordsetFromLog(dir_.write("ex.log", text), table_, kLogTypeW3c, t_.ctx);
    }

    TempFolder dir_;
    TestContext t_;
    FakeHosts hosts_;
    RecordsetPtr table_;
};

const char kLog[] =
    "#Fields: c-ip cs-uri-stem\n"
    "192.0.2.1 /\n"
    "192.0.2.1 /a\n"
    "127.0.0.1 /b\n"
    "192.0.2.1 /c\n"
    "198.51.100.7 /d\n"
    "127.0.0.1 /e\n";

TEST_F(HostsTest, EachDistinctAddressIsAskedOnceAndEveryRowGetsItsDisplayText) {
    RecordsetPtr result = load(kLog);
    ASSERT_TRUE(result);
    EXPECT_EQ(hosts_.asked, (std::map<std::string, int>{
                                {"127.0.0.1", 1}, {"192.0.2.1", 1}, {"198.51.100.7", 1}}));
    EXPECT_EQ(hosts_.finishCalls, 1);
    EXPECT_FALSE(hosts_.lastCancelNow);
    ASSERT_EQ(result->storedRowCount(), 6u);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "a.example.jp [192.0.2.1]");
    EXPECT_EQ(cell(*result, 3, "c-ip"), "a.example.jp [192.0.2.1]");
    EXPECT_EQ(cell(*result, 2, "c-ip"), "Local Host [127.0.0.1]");
    EXPECT_EQ(cell(*result, 5, "c-ip"), "Local Host [127.0.0.1]");
    EXPECT_EQ(cell(*result, 4, "c-ip"), "Unknown [198.51.100.7]");
}

TEST_F(HostsTest, WithoutLookupAddressesStayAsLogged) {
    t_.ctx.hosts = nullptr;
    RecordsetPtr result = load(kLog);
    ASSERT_TRUE(result);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "192.0.2.1");
}

TEST_F(HostsTest, CancelGivesUnfinishedLookupsUnknown) {
    t_.progress.cancelAfter = 4;  // after the third data line
    EXPECT_FALSE(load(kLog));
    EXPECT_EQ(hosts_.finishCalls, 1);
    EXPECT_TRUE(hosts_.lastCancelNow);
    ASSERT_TRUE(table_);
    ASSERT_EQ(table_->storedRowCount(), 3u);
    EXPECT_EQ(cell(*table_, 0, "c-ip"), "Unknown [192.0.2.1]");
    EXPECT_EQ(cell(*table_, 2, "c-ip"), "Local Host [127.0.0.1]");
}

TEST_F(HostsTest, CancelWhileWaitingForLookupsEndsTheLoad) {
    // Six lines and the header report progress; the wait reports next.
    t_.progress.cancelAfter = 8;
    hosts_.later["198.51.100.7"] = "b.example.jp";
    EXPECT_FALSE(load(kLog));
    EXPECT_FALSE(hosts_.lastCancelNow);
    EXPECT_EQ(t_.progress.lastMessage, "ex.log のホスト名を解決中");
    ASSERT_EQ(table_->storedRowCount(), 6u);
    EXPECT_EQ(cell(*table_, 4, "c-ip"), "Unknown [198.51.100.7]");
}

TEST_F(HostsTest, FailureStillGivesTheKeptRowsDisplayTexts) {
    EXPECT_FALSE(load("#Fields: c-ip\n192.0.2.1\n127.0.0.1 extra\n"));
    EXPECT_TRUE(hosts_.lastCancelNow);
    ASSERT_EQ(table_->storedRowCount(), 1u);
    EXPECT_EQ(cell(*table_, 0, "c-ip"), "Unknown [192.0.2.1]");
    ASSERT_EQ(t_.messages.shown.size(), 1u);
    EXPECT_EQ(t_.messages.shown[0].icon, MessageIcon::Critical);
}

TEST_F(HostsTest, RowsFromBeforeTheAddressFieldKeepTheEmptyText) {
    RecordsetPtr result = load(
        "#Fields: cs-uri-stem\n/x\n"
        "#Fields: cs-uri-stem c-ip\n/y 127.0.0.1\n/z\n");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->storedRowCount(), 3u);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "");
    EXPECT_EQ(cell(*result, 1, "c-ip"), "Local Host [127.0.0.1]");
    // Added while the field existed, so it is looked up like any other row.
    EXPECT_EQ(cell(*result, 2, "c-ip"), "Unknown []");
}

TEST_F(HostsTest, SecondFileResolvesOnlyItsOwnRows) {
    ASSERT_TRUE(load("#Fields: c-ip\n127.0.0.1\n"));
    hosts_.asked.clear();
    RecordsetPtr result = load("#Fields: c-ip\n127.0.0.1\n192.0.2.1\n");
    ASSERT_TRUE(result);
    EXPECT_EQ(hosts_.asked.size(), 2u);
    ASSERT_EQ(result->storedRowCount(), 3u);
    EXPECT_EQ(cell(*result, 0, "c-ip"), "Local Host [127.0.0.1]");
    EXPECT_EQ(cell(*result, 1, "c-ip"), "Local Host [127.0.0.1]");
    EXPECT_EQ(cell(*result, 2, "c-ip"), "a.example.jp [192.0.2.1]");
}

// --- the content-type filter ----------------------------------------------------

class FilterOnLoadTest : public ::testing::Test {
protected:
    std::vector<std::string> visibleStems(const ContentTypes& types, const std::string& text) {
        t_.ctx.settings.types = types;
        RecordsetPtr table;
        RecordsetPtr result =
            fncGetRecordsetFromLog(dir_.write("ex.log", text), table, kLogTypeW3c, t_.ctx);
        std::vector<std::string> stems;
        if (!result) return {"<no table>"};
        int column = result->fieldIndex("cs-uri-stem");
        for (size_t i = 0; i < result->rowCount(); ++i)
            stems.push_back(column < 0 ? "?"
                                       : std::string(result->value(result->viewRow(i),
                                                                   static_cast<size_t>(column))));
        return stems;
    }

    TempFolder dir_;
    TestContext t_;
};

const char kStems[] =
    "#Fields: cs-uri-stem\n/\n/index.html\n/song.mp3\n/clip.avi\n/app.aspx\n/INDEX.HTML\n";

TEST_F(FilterOnLoadTest, SwitchesPickTheVisibleRows) {
    using V = std::vector<std::string>;
    EXPECT_EQ(visibleStems({true, false, false, false, false, false}, kStems),
              (V{"/", "/index.html", "/song.mp3", "/clip.avi", "/app.aspx", "/INDEX.HTML"}));
    EXPECT_EQ(visibleStems({false, false, false, false, false, false}, kStems), (V{"/"}));
    EXPECT_EQ(visibleStems({false, false, false, false, false, true}, kStems),
              (V{"/", "/song.mp3"}));
    EXPECT_EQ(visibleStems({false, false, false, false, true, false}, kStems),
              (V{"/", "/clip.avi"}));
    // The filter compares letter case exactly.
    EXPECT_EQ(visibleStems({false, true, true, false, false, false}, kStems),
              (V{"/", "/index.html", "/app.aspx"}));
}

TEST_F(FilterOnLoadTest, TablesWithoutRequestPathAreNotFiltered) {
    EXPECT_EQ(visibleStems({false, false, false, false, false, false},
                           "#Fields: c-ip\n192.0.2.1\n192.0.2.2\n"),
              (std::vector<std::string>{"?", "?"}));
}

}  // namespace
}  // namespace brevadin
