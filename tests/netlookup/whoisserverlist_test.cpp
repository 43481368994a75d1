#include "netlookup/whoisserverlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/xmlconv.h"
#include "tests/support/tables.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;

// The SVNAME values of a stored list file, in file order.
WhoisServerList storedServers(const std::string& path) {
    RecordsetPtr table = fncGetRecordsetFromXml(path);
    return table ? testing::visibleColumn(*table, "SVNAME") : WhoisServerList{"<unreadable>"};
}

class WhoisServerListTest : public ::testing::Test {
protected:
    testing::TempFolder dir_;
    const std::string path_ = dir_.file("whoissv.xml");
};

// A present file is taken at its word, in row order, even when it names no
// server, and left as it is.
TEST_F(WhoisServerListTest, APresentFileIsReadInRowOrderAndLeftAlone) {
    for (const WhoisServerList& mine :
         {WhoisServerList{"whois.example.net", "whois.radb.net", "whois.example.net", "a.example"},
          WhoisServerList{}}) {
        const auto [table, written] = fncCreateWhoisServerList(mine, path_);
        EXPECT_TRUE(written) << written.description();
        ASSERT_TRUE(table && table->isOpen());
        EXPECT_EQ(testing::visibleColumn(*table, "SVNAME"), mine);
        const std::string before = readFile(path_);
        EXPECT_EQ(fncLoadWhoisServerList(path_).value, mine);
        EXPECT_EQ(readFile(path_), before);
        EXPECT_FALSE(std::filesystem::exists(path_ + ".bad"));
    }
}

// A missing file is written with the built-in list; an unreadable one, or a
// stored table of another shape, is first kept aside as .bad.
TEST_F(WhoisServerListTest, AMissingUnreadableOrForeignFileGivesTheBuiltInListAndWritesIt) {
    const std::string hosts = dir_.file("hosts.xml");
    ASSERT_TRUE(fncSaveRecordsetToXml(*testing::makeTable({"IP"}, {{"192.0.2.1"}}), hosts));
    for (const std::string& before :
         {std::string(), std::string("whois.example.net\nnot xml\n"), readFile(hosts)}) {
        if (!before.empty()) testing::writeFile(path_, before);
        const auto [list, written] = fncLoadWhoisServerList(path_);
        EXPECT_EQ(list, builtInWhoisServers());
        EXPECT_TRUE(written) << written.description();
        EXPECT_EQ(testing::fieldNames(*fncGetRecordsetFromXml(path_)), testing::Strings{"SVNAME"});
        EXPECT_EQ(storedServers(path_), builtInWhoisServers());
        EXPECT_EQ(std::filesystem::exists(path_ + ".bad"), !before.empty());
        if (!before.empty()) {
            EXPECT_EQ(readFile(path_ + ".bad"), before);
        }
    }
}

TEST_F(WhoisServerListTest, AFailedWriteIsReportedButTheListServes) {
    const std::string gone = dir_.file("gone/whoissv.xml");
    const auto [table, unwritten] = fncCreateWhoisServerList(builtInWhoisServers(), gone);
    EXPECT_FALSE(unwritten.ok() || unwritten.description().empty());
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), builtInWhoisServers().size());
    const auto [list, failed] = fncLoadWhoisServerList(gone);
    EXPECT_EQ(list, builtInWhoisServers());
    EXPECT_FALSE(failed.ok() || failed.description().empty());
}

}  // namespace
}  // namespace brevadin
