#include "logdata/loglisting.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

TEST(LogListing, SizesInKilobytesRoundAsShown) {
    const struct {
        uint64_t bytes;
        int64_t kb;
    } cases[] = {{0, 0},    {1, 1},    {1023, 1}, {1024, 2},           {1025, 2},
                 {2048, 2}, {2049, 3}, {3072, 4}, {40ull << 20, 40960}};  // no 16-bit limit
    for (const auto& c : cases) EXPECT_EQ(logSizeKB(c.bytes), c.kb) << c.bytes;
}

TEST(LogListing, OnlyOrdinaryLogFilesSortedByNameAndUnreadableOnesReportedOnce) {
    testing::TempFolder dir;
    for (const char* name : {"b.log", "A.LOG", "c.txt", ".hidden.log", "log", "big.log"})
        dir.write(name, std::string(name[0] == 'b' && name[1] == '.' ? 1025 : 0, 'x'));
    std::filesystem::create_directory(dir.file("folder.log"));
    std::filesystem::resize_file(dir.file("big.log"), 40ull << 20);  // sparse
    LogListing l = listLogFolder(dir.path());
    ASSERT_TRUE(l.folderExists);
    EXPECT_FALSE(l.error);
    ASSERT_EQ(l.items.size(), 3u);
    EXPECT_EQ(l.items[0].name, "A.LOG");
    EXPECT_EQ(l.items[0].sizeKB, 0);
    EXPECT_EQ(l.items[1].name, "b.log");
    EXPECT_EQ(l.items[1].sizeKB, 2);
    EXPECT_EQ(l.items[2].sizeKB, 40960);

    for (const char* name : {"gone1.log", "gone2.log"})
        ASSERT_EQ(::symlink("/nonexistent", dir.file(name).c_str()), 0);
    l = listLogFolder(dir.path());
    ASSERT_TRUE(l.error);
    EXPECT_EQ(l.error->procedure, "fncGetLogList");
    ASSERT_EQ(l.items.size(), 5u);
    EXPECT_FALSE(l.items[3].sizeKB);
    EXPECT_FALSE(l.items[4].sizeKB);
    EXPECT_EQ(l.items[1].sizeKB, 2);
}

TEST(LogListing, MissingFoldersAndFilesAreNotFolders) {
    testing::TempFolder dir;
    for (const std::string& path : {dir.file("nope"), dir.write("a.log", "x")})
        EXPECT_FALSE(listLogFolder(path).folderExists) << path;
    EXPECT_FALSE(fncFolderExists("   "));
    EXPECT_FALSE(fncFolderExists(""));
    EXPECT_TRUE(fncFolderExists(dir.path()));
}

}  // namespace
}  // namespace brevadin
