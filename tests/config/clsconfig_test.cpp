#include "config/clsconfig.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "config/settingspath.h"
#include "tests/support/loadfakes.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::FakeWidths;
using testing::readFile;
using Widths = std::vector<int64_t>;

// A fresh configuration and a grid of n columns, loaded from the settings file.
// Saving and reading back every member goes through the options dialog's tests.
struct Loaded {
    Loaded(const std::string& path, int64_t n) : config(path), grid(n) {
        config.setDBGrid(&grid);
        config.Load();
    }
    clsConfig config;
    struct : FakeWidths {
        using FakeWidths::FakeWidths;
        void setColWidth(int64_t c, int64_t twips) override {
            ASSERT_LT(c, Cols());  // a column past the last one is no column
            FakeWidths::setColWidth(c, twips);
        }
    } grid;
};

TEST(ClsConfig, FirstRunGivesTheDefaultsAndNeverWrites) {
    testing::TempFolder dir;
    Loaded l(dir.file("brevadin.ini"), 3);
    const clsConfig& c = l.config;
    EXPECT_EQ(c.ReadPath, "");
    EXPECT_EQ(c.TimeDiff, 9);
    EXPECT_TRUE(c.IncludeAll && c.IncludeHTML && c.IncludeScript && c.IncludeArchive &&
                c.IncludeMovie && c.IncludeSound);
    EXPECT_EQ(c.LogType, 2);
    EXPECT_EQ(l.grid.w, Widths({50, 1200, 1200}));  // the empty pieces of the section buffer
    l.config.ReadPath = "/x";
    EXPECT_FALSE(std::filesystem::exists(dir.file("brevadin.ini")));
}

TEST(ClsConfig, HandEditedValues) {
    testing::TempFolder dir;
    const std::string ini = dir.write(
        "b.ini",
        "; keep this comment\n[brevadin]\nReadPath=  /logs  \nIncHtml=false\nIncScript=0\n"
        "IncArc=1\nIncMovie=maybe\nIncSound=\nTimeDiff=abc\nLogType=7\nMine=yes\n"
        "[ColWidth]\nCol3=20\nCol4=800.5\nCol0=900\nCol-1=10\nCol6=300\nCol99=5000\n");
    Loaded l(ini, 6);
    const clsConfig& c = l.config;
    EXPECT_EQ(c.ReadPath, "/logs");
    EXPECT_FALSE(c.IncludeHTML);
    EXPECT_FALSE(c.IncludeScript);
    EXPECT_TRUE(c.IncludeArchive);
    EXPECT_TRUE(c.IncludeMovie);  // unusable: the default
    EXPECT_TRUE(c.IncludeSound);
    EXPECT_EQ(c.TimeDiff, 0);  // not a number reads as 0
    EXPECT_EQ(c.LogType, 7);   // kept; the reader treats it as W3C
    // Too narrow and column 0 become 50, halves round to even, "Col-1" touches nothing.
    EXPECT_EQ(l.grid.w, Widths({50, 1200, 1200, 50, 800, 1200}));
    // A save keeps the comment and the unknown key, and rewrites ColWidth whole.
    ASSERT_TRUE(l.config.Save());
    const std::string text = readFile(ini);
    EXPECT_EQ(text.rfind("; keep this comment\n[brevadin]\nReadPath=/logs\n", 0), 0u);
    EXPECT_NE(text.find("Mine=yes"), std::string::npos);
    EXPECT_EQ(text.find("Col99"), std::string::npos);
    EXPECT_NE(text.find("[ColWidth]\nCol0=50\nCol1=1200\n"), std::string::npos);
}

// Up to a day either way is a time zone; beyond it, the default.
TEST(ClsConfig, TimeDiffBeyondADayReadsAsTheDefault) {
    testing::TempFolder dir;
    for (auto [text, diff] : {std::pair{"-24", -24}, {"-25", 9}, {"24", 24}, {"25", 9}}) {
        Loaded l(dir.write("b.ini", std::string("[brevadin]\nTimeDiff=") + text + "\n"), 1);
        EXPECT_EQ(l.config.TimeDiff, diff) << text;
    }
}

TEST(SettingsPath, WritableExecutableFolderElseUserConfiguration) {
    testing::TempFolder dir;
    const std::string xdg = dir.file("xdg"), bin = dir.file("bin");
    ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    EXPECT_EQ(settingsFolder(dir.path()), dir.path());
    // An installed program (its help page in ../share/brevadin) uses that page
    // and the user's folder even where it may write beside itself, as root
    // may; one with its own Help/ keeps everything beside itself.
    for (const auto& [page, folder] :
         {std::pair(dir.file("share/brevadin/help/index.html"), xdg + "/Brevadin"),
          std::pair(bin + "/Help/index.html", bin)}) {
        std::filesystem::create_directories(std::filesystem::path(page).parent_path());
        testing::writeFile(page, "<html>");
        EXPECT_EQ(helpFilePath(bin), page);
        EXPECT_EQ(settingsFolder(bin), folder);
    }
    std::string ro = dir.file("ro");
    std::filesystem::create_directory(ro);
    ::chmod(ro.c_str(), 0555);
    if (::access(ro.c_str(), W_OK) == 0)
        GTEST_SKIP() << "running as root: chmod does not stop writes";
    EXPECT_EQ(settingsFolder(ro), xdg + "/Brevadin");
    EXPECT_TRUE(std::filesystem::is_directory(xdg + "/Brevadin"));
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace brevadin
