#include "netlookup/whoisserverlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/xmlconv.h"
#include "testsupport.h"

namespace brevadin {
namespace {

using nettest::TempDir;

// The SVNAME values of a stored list file, in file order.
std::vector<std::string> storedServers(const std::string& path) {
    std::vector<std::string> out;
    RecordsetPtr table = fncGetRecordsetFromXml(path);
    if (!table) return out;
    const int column = table->fieldIndex("SVNAME");
    if (column < 0) return out;
    for (size_t i = 0; i < table->rowCount(); ++i) {
        out.emplace_back(table->value(table->viewRow(i), column));
    }
    return out;
}

class WhoisServerListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.ok());
        path_ = dir_.file("whoissv.xml");
    }
    TempDir dir_;
    std::string path_;
};

TEST(WhoisBuiltIn, EightRegistriesWithJpnicListedTwiceFirst) {
    const auto& list = builtInWhoisServers();
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(list[0], list[1]);
    EXPECT_EQ(list[0], "whois.nic.ad.jp");
    const std::vector<std::string> rest = {"whois.apnic.net", "whois.kisa.or.kr", "whois.arin.net",
                                           "whois.ripe.net",  "whois.lacnic.net", "whois.radb.net"};
    EXPECT_EQ(std::vector<std::string>(list.begin() + 2, list.end()), rest);
}

TEST_F(WhoisServerListTest, AMissingFileGivesTheBuiltInListAndWritesIt) {
    std::string error = "untouched";
    WhoisServerList list = fncLoadWhoisServerList(path_, &error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(list, builtInWhoisServers());

    RecordsetPtr raw = fncGetRecordsetFromXml(path_);
    ASSERT_TRUE(raw);
    ASSERT_EQ(raw->fieldCount(), 1u);
    EXPECT_EQ(raw->fields()[0].name, "SVNAME");
    EXPECT_EQ(raw->fields()[0].type, FieldType::NarrowText);
    auto stored = storedServers(path_);
    ASSERT_EQ(stored.size(), 8u);
    EXPECT_EQ(stored[0], stored[1]);
    EXPECT_EQ(stored, builtInWhoisServers());
    EXPECT_FALSE(nettest::fileExists(path_ + ".bad"));
}

TEST_F(WhoisServerListTest, APresentFileIsReadInRowOrderAndLeftAsItIs) {
    const WhoisServerList mine = {"whois.example.net", "whois.radb.net", "whois.example.net",
                                  "whois.arin.net"};
    std::string error;
    RecordsetPtr written = fncCreateWhoisServerList(mine, path_, &error);
    ASSERT_EQ(error, "");
    const std::string before = nettest::readFile(path_);

    EXPECT_EQ(fncLoadWhoisServerList(path_), mine);
    EXPECT_EQ(nettest::readFile(path_), before);
}

TEST_F(WhoisServerListTest, AFileWithoutRowsGivesAnEmptyList) {
    // A hand-edited file is taken at its word, even when it names no server.
    std::string error;
    fncCreateWhoisServerList({}, path_, &error);
    ASSERT_EQ(error, "");
    EXPECT_TRUE(fncLoadWhoisServerList(path_).empty());
    EXPECT_FALSE(nettest::fileExists(path_ + ".bad"));
}

TEST_F(WhoisServerListTest, AnUnreadableFileIsKeptAsBadAndReplaced) {
    const std::string garbage = "whois.example.net\nnot xml at all\n";
    nettest::writeFile(path_, garbage);
    std::string error;
    EXPECT_EQ(fncLoadWhoisServerList(path_, &error), builtInWhoisServers());
    EXPECT_EQ(error, "");
    EXPECT_EQ(nettest::readFile(path_ + ".bad"), garbage);
    EXPECT_EQ(storedServers(path_), builtInWhoisServers());
}

TEST_F(WhoisServerListTest, AStoredTableWithoutSvnameCountsAsUnreadable) {
    Recordset other;
    other.appendField("IP", FieldType::NarrowText, 50);
    other.open();
    other.setValue(other.appendRow(), 0, "192.0.2.1");
    ASSERT_TRUE(fncSaveRecordsetToXml(other, path_));
    const std::string before = nettest::readFile(path_);

    EXPECT_EQ(fncLoadWhoisServerList(path_), builtInWhoisServers());
    EXPECT_EQ(nettest::readFile(path_ + ".bad"), before);
    EXPECT_EQ(storedServers(path_), builtInWhoisServers());
}

TEST_F(WhoisServerListTest, CreateReturnsTheOpenTableItWrote) {
    const WhoisServerList list = {"b.example", "a.example", "c.example"};
    std::string error = "untouched";
    RecordsetPtr table = fncCreateWhoisServerList(list, path_, &error);
    EXPECT_EQ(error, "");
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->isOpen());
    ASSERT_EQ(table->rowCount(), 3u);
    for (size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(table->value(table->viewRow(i), 0), list[i]);
    }
    EXPECT_EQ(storedServers(path_), list);
}

TEST_F(WhoisServerListTest, CreateReportsAFailedWrite) {
    std::string error;
    RecordsetPtr table =
        fncCreateWhoisServerList(builtInWhoisServers(), dir_.file("gone/whoissv.xml"), &error);
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(table);
    EXPECT_EQ(table->rowCount(), 8u);

    // Loading from there still gives a list to work with, and says what went wrong.
    error.clear();
    EXPECT_EQ(fncLoadWhoisServerList(dir_.file("gone/whoissv.xml"), &error), builtInWhoisServers());
    EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace brevadin
