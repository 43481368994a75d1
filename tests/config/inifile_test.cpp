#include "config/inifile.h"

#include <gtest/gtest.h>

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;

// Sections and keys in any case, the first of twin keys, blanks and quotes
// trimmed, lines without "=" skipped, numbers read up to the first non-digit.
TEST(IniFile, ReadsOddLinesAsWindowsDoes) {
    testing::TempFolder dir;
    const std::string ini =
        dir.write("a.ini",
                  "\xEF\xBB\xBF; comment\r\n[Main]\r\n  Path =  \"C:\\logs\"  \r\nnoequals\r\n"
                  "path=second\r\nNum=-42abc\r\nBad=x1\r\n[Other]\r\nPath=other\r\n");
    const struct {
        const char *section, *key;
        size_t size;
        std::string value;
    } cases[] = {{"main", "PATH", 256, "C:\\logs"}, {"Other", "Path", 256, "other"},
                 {"Main", "missing", 256, "dflt"},  {"Nope", "Path", 256, "dflt"},
                 {"Main", "Path", 4, "C:\\"},       {"Main", "noequals", 256, "dflt"}};
    for (const auto& c : cases)
        EXPECT_EQ(GetPrivateProfileString(c.section, c.key, "dflt", c.size, ini), c.value) << c.key;
    EXPECT_EQ(GetPrivateProfileString("x", "y", "z", 256, dir.file("missing.ini")), "z");
    EXPECT_EQ(GetPrivateProfileInt("Main", "Num", 7, ini), -42);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Bad", 7, ini), 0);
    EXPECT_EQ(GetPrivateProfileInt("Main", "None", 7, ini), 7);

    // The buffer cuts long values at characters, not bytes.
    std::string kana;
    for (int i = 0; i < 300; ++i) kana += "ア";
    dir.write("k.ini", "[S]\nK=" + kana + "\n");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", 256, dir.file("k.ini")),
              kana.substr(0, 255 * 3));
}

TEST(IniFile, SingleKeyUpdatesLeaveEveryOtherLineAlone) {
    testing::TempFolder dir;
    const std::string ini = dir.write(
        "a.ini", "; my notes\n[brevadin]\nReadPath=/old\nUnknown=keep me\n\n[Extra]\nA=1\n");
    ASSERT_TRUE(WritePrivateProfileString("BREVADIN", "readpath", "/new", ini));
    ASSERT_TRUE(WritePrivateProfileString("brevadin", "TimeDiff", "-5", ini));
    ASSERT_TRUE(WritePrivateProfileString("New", "K", "v", ini));
    EXPECT_EQ(readFile(ini),
              "; my notes\n[brevadin]\nreadpath=/new\nUnknown=keep me\nTimeDiff=-5\n\n[Extra]\n"
              "A=1\n[New]\nK=v\n");
}

TEST(IniFile, SectionReplacementAndReading) {
    testing::TempFolder dir;
    const std::string ini =
        dir.write("a.ini", "[ColWidth]\r\nCol0=1\r\nCol1=2\r\nCol9=9\r\n\r\n[After]\r\nX=1\r\n");
    ASSERT_TRUE(WritePrivateProfileSection("colwidth", std::string("Col0=5\0Col1=6\0", 14), ini));
    EXPECT_EQ(readFile(ini), "[ColWidth]\r\nCol0=5\r\nCol1=6\r\n\r\n[After]\r\nX=1\r\n");
    EXPECT_EQ(GetPrivateProfileSection("ColWidth", 32, ini),
              std::string("Col0=5\0Col1=6\0", 14) + std::string(18, '\0'));
    // An over-long section is cut and still ends in two NULs.
    EXPECT_EQ(GetPrivateProfileSection("ColWidth", 10, ini), std::string("Col0=5\0C\0\0", 10));
}

TEST(IniNumbers, LeadingNumberAndBankersRounding) {
    for (auto [text, number] : {std::pair{"800.5", 800.5}, {" -12x", -12.0}, {"abc", 0.0}})
        EXPECT_DOUBLE_EQ(leadingNumber(text), number) << text;
    for (auto [number, rounded] :
         {std::pair{800.5, int64_t{800}}, {801.5, 802}, {-0.5, 0}, {1e300, INT64_MAX}})
        EXPECT_EQ(roundHalfEven(number), rounded) << number;
}

}  // namespace
}  // namespace brevadin
