#include "config/clsconfig.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "config/inifile.h"
#include "config/settingspath.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

class Widths : public ColumnWidths {
public:
    explicit Widths(int64_t n) : w(static_cast<size_t>(n), 1200) {}
    int64_t Cols() const override { return static_cast<int64_t>(w.size()); }
    int64_t ColWidth(int64_t c) const override { return w[static_cast<size_t>(c)]; }
    void setColWidth(int64_t c, int64_t t) override {
        if (c < 0)
            std::fill(w.begin(), w.end(), t);
        else
            w[static_cast<size_t>(c)] = t;
    }
    std::vector<int64_t> w;
};

TEST(ClsConfig, FirstRunGivesTheDefaults) {
    TempFolder dir;
    clsConfig c(dir.file("brevadin.ini"));
    Widths grid(40);
    grid.setColWidth(0, 900);
    c.setDBGrid(&grid);
    c.Load();
    EXPECT_EQ(c.ReadPath, "");
    EXPECT_EQ(c.TimeDiff, 9);
    EXPECT_TRUE(c.IncludeAll && c.IncludeHTML && c.IncludeScript && c.IncludeArchive &&
                c.IncludeMovie && c.IncludeSound);
    EXPECT_EQ(c.LogType, 2);
    EXPECT_EQ(grid.w[0], 50);  // the empty pieces of the section buffer
    EXPECT_EQ(grid.w[1], 1200);
    EXPECT_FALSE(std::filesystem::exists(dir.file("brevadin.ini")));  // Load never writes
}

TEST(ClsConfig, SaveThenLoadRoundTripsEveryMember) {
    TempFolder dir;
    Widths grid(3);
    grid.w = {700, 800, 900};
    clsConfig c(dir.file("b.ini"));
    c.setDBGrid(&grid);
    c.ReadPath = "/var/log/日本語";
    c.TimeDiff = -5;
    c.IncludeAll = false;
    c.IncludeHTML = true;
    c.IncludeScript = false;
    c.IncludeArchive = true;
    c.IncludeMovie = false;
    c.IncludeSound = true;
    c.LogType = 1;
    ASSERT_TRUE(c.Save());
    std::string text = readFile(dir.file("b.ini"));
    EXPECT_NE(text.find("TimeDiff=-5"), std::string::npos);
    EXPECT_NE(text.find("IncAll=False"), std::string::npos);
    EXPECT_NE(text.find("[ColWidth]\nCol0=700\nCol1=800\nCol2=900\n"), std::string::npos);

    Widths other(3);
    clsConfig d(dir.file("b.ini"));
    d.setDBGrid(&other);
    d.Load();
    EXPECT_EQ(d.ReadPath, c.ReadPath);
    EXPECT_EQ(d.TimeDiff, -5);
    EXPECT_FALSE(d.IncludeAll);
    EXPECT_TRUE(d.IncludeHTML);
    EXPECT_FALSE(d.IncludeScript);
    EXPECT_TRUE(d.IncludeArchive);
    EXPECT_FALSE(d.IncludeMovie);
    EXPECT_TRUE(d.IncludeSound);
    EXPECT_EQ(d.LogType, 1);
    EXPECT_EQ(other.w, (std::vector<int64_t>{50, 800, 900}));
}

TEST(ClsConfig, HandEditedValues) {
    TempFolder dir;
    writeFile(dir.file("b.ini"),
              "; keep this comment\n[brevadin]\nReadPath=  /logs  \nIncHtml=false\nIncScript=0\n"
              "IncArc=1\nIncMovie=maybe\nIncSound=\nTimeDiff=abc\nLogType=7\nMine=yes\n"
              "[ColWidth]\nCol3=20\nCol4=800.5\nCol0=900\nCol-1=10\nCol99=5000\n");
    Widths grid(40);
    clsConfig c(dir.file("b.ini"));
    c.setDBGrid(&grid);
    c.Load();
    EXPECT_EQ(c.ReadPath, "/logs");
    EXPECT_FALSE(c.IncludeHTML);
    EXPECT_FALSE(c.IncludeScript);
    EXPECT_TRUE(c.IncludeArchive);
    EXPECT_TRUE(c.IncludeMovie);  // unusable: the default
    EXPECT_TRUE(c.IncludeSound);
    EXPECT_EQ(c.TimeDiff, 0);     // not a number reads as 0
    EXPECT_EQ(c.LogType, 7);      // kept; the reader treats it as W3C
    EXPECT_EQ(grid.w[3], 50);
    EXPECT_EQ(grid.w[4], 800);
    EXPECT_EQ(grid.w[0], 50);
    EXPECT_EQ(grid.w[5], 1200);   // "Col-1" touched no column
    // A save keeps the comment and the unknown key, and rewrites ColWidth whole.
    ASSERT_TRUE(c.Save());
    std::string text = readFile(dir.file("b.ini"));
    EXPECT_EQ(text.rfind("; keep this comment\n[brevadin]\nReadPath=/logs\n", 0), 0u);
    EXPECT_NE(text.find("Mine=yes"), std::string::npos);
    EXPECT_EQ(text.find("Col99"), std::string::npos);
    EXPECT_NE(text.find("Col39=1200"), std::string::npos);
}

TEST(ClsConfig, OnlyTheFirst256CharactersOfTheWidthSectionAreRead) {
    TempFolder dir;
    Widths grid(40);
    for (int i = 0; i < 40; ++i) grid.w[static_cast<size_t>(i)] = 1000 + i;
    clsConfig c(dir.file("b.ini"));
    c.setDBGrid(&grid);
    ASSERT_TRUE(c.Save());
    Widths back(40);
    clsConfig d(dir.file("b.ini"));
    d.setDBGrid(&back);
    d.Load();
    EXPECT_EQ(back.w[10], 1010);
    EXPECT_EQ(back.w[39], 1200);  // beyond the buffer: untouched
}

TEST(ClsConfig, SettingAMemberNeverTouchesTheFile) {
    TempFolder dir;
    clsConfig c(dir.file("b.ini"));
    c.ReadPath = "/x";
    c.TimeDiff = 3;
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.ini")));
    std::string error;
    clsConfig bad(dir.file("missing/dir/b.ini"));
    EXPECT_FALSE(bad.Save(&error));
    EXPECT_FALSE(error.empty());
}

TEST(SettingsPath, WritableExecutableFolderElseUserConfiguration) {
    TempFolder dir;
    EXPECT_EQ(settingsFolder(dir.path().string()), dir.path().string());
    std::string ro = dir.file("ro");
    std::filesystem::create_directory(ro);
    ::chmod(ro.c_str(), 0555);
    if (::access(ro.c_str(), W_OK) == 0) GTEST_SKIP() << "running as root: chmod does not stop writes";
    std::string xdg = dir.file("xdg");
    ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1);
    EXPECT_EQ(settingsFolder(ro), xdg + "/Brevadin");
    EXPECT_TRUE(std::filesystem::is_directory(xdg + "/Brevadin"));
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace brevadin
