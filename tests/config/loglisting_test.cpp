#include "logdata/loglisting.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::TempFolder;
using testing::writeFile;

TEST(LogListing, SizesInKilobytesRoundAsShown) {
    EXPECT_EQ(logSizeKB(0), 0);
    EXPECT_EQ(logSizeKB(1), 1);
    EXPECT_EQ(logSizeKB(1023), 1);
    EXPECT_EQ(logSizeKB(1024), 2);
    EXPECT_EQ(logSizeKB(1025), 2);
    EXPECT_EQ(logSizeKB(2048), 2);
    EXPECT_EQ(logSizeKB(2049), 3);
    EXPECT_EQ(logSizeKB(3071), 3);
    EXPECT_EQ(logSizeKB(3072), 4);
    EXPECT_EQ(logSizeKB(40ull << 20), 40960);  // no 16-bit limit
}

TEST(LogListing, OnlyOrdinaryLogFilesSortedByName) {
    TempFolder dir;
    writeFile(dir.file("b.log"), std::string(1025, 'x'));
    writeFile(dir.file("A.LOG"), "");
    writeFile(dir.file("c.txt"), "x");
    writeFile(dir.file(".hidden.log"), "x");
    writeFile(dir.file("log"), "x");
    std::filesystem::create_directory(dir.file("folder.log"));
    {
        // A sparse 40 MB log.
        std::string big = dir.file("big.log");
        writeFile(big, "");
        std::filesystem::resize_file(big, 40ull << 20);
    }
    LogListing l = listLogFolder(dir.path().string());
    ASSERT_TRUE(l.folderExists);
    EXPECT_FALSE(l.error);
    ASSERT_EQ(l.items.size(), 3u);
    EXPECT_EQ(l.items[0].name, "A.LOG");
    EXPECT_EQ(l.items[0].sizeKB, 0);
    EXPECT_EQ(l.items[1].name, "b.log");
    EXPECT_EQ(l.items[1].sizeKB, 2);
    EXPECT_EQ(l.items[2].sizeKB, 40960);
}

TEST(LogListing, MissingFoldersAndFilesAreNotFolders) {
    TempFolder dir;
    writeFile(dir.file("a.log"), "x");
    EXPECT_FALSE(listLogFolder(dir.file("nope")).folderExists);
    EXPECT_FALSE(listLogFolder(dir.file("a.log")).folderExists);
    EXPECT_FALSE(fncFolderExists("   "));
    EXPECT_FALSE(fncFolderExists(""));
    EXPECT_TRUE(fncFolderExists(dir.path().string()));
}

TEST(LogListing, AnUnreadableEntryIsReportedOnceAndStaysListed) {
    TempFolder dir;
    writeFile(dir.file("ok.log"), "x");
    ASSERT_EQ(::symlink("/nonexistent/one", dir.file("gone1.log").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent/two", dir.file("gone2.log").c_str()), 0);
    LogListing l = listLogFolder(dir.path().string());
    ASSERT_TRUE(l.error);
    EXPECT_EQ(l.error->procedure, "fncGetLogList");
    ASSERT_EQ(l.items.size(), 3u);
    EXPECT_FALSE(l.items[0].sizeKB);
    EXPECT_FALSE(l.items[1].sizeKB);
    EXPECT_EQ(l.items[2].sizeKB, 1);
}

}  // namespace
}  // namespace brevadin
