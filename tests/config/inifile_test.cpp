#include "config/inifile.h"

#include <gtest/gtest.h>

#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

TEST(IniFile, ReadsWithWindowsRules) {
    TempFolder dir;
    std::string ini = dir.file("a.ini");
    writeFile(ini,
              "\xEF\xBB\xBF; comment\r\n[Main]\r\n  Path =  \"C:\\logs\"  \r\nnoequals\r\n"
              "path=second\r\nNum=-42abc\r\nBad=x1\r\n[Other]\r\nPath=other\r\n");
    EXPECT_EQ(GetPrivateProfileString("main", "PATH", "d", 256, ini), "C:\\logs");
    EXPECT_EQ(GetPrivateProfileString("Other", "Path", "d", 256, ini), "other");
    EXPECT_EQ(GetPrivateProfileString("Main", "missing", "dflt", 256, ini), "dflt");
    EXPECT_EQ(GetPrivateProfileString("Nope", "Path", "dflt", 256, ini), "dflt");
    EXPECT_EQ(GetPrivateProfileString("Main", "Path", "d", 4, ini), "C:\\");
    EXPECT_EQ(GetPrivateProfileInt("Main", "Num", 7, ini), -42);
    EXPECT_EQ(GetPrivateProfileInt("Main", "Bad", 7, ini), 0);
    EXPECT_EQ(GetPrivateProfileInt("Main", "None", 7, ini), 7);
    EXPECT_EQ(GetPrivateProfileString("x", "y", "z", 256, dir.file("missing.ini")), "z");
}

TEST(IniFile, BufferCutsLongValuesAtCharactersNotBytes) {
    TempFolder dir;
    std::string ini = dir.file("a.ini");
    std::string kana;
    for (int i = 0; i < 300; ++i) kana += "ア";
    writeFile(ini, "[S]\nK=" + kana + "\n");
    std::string v = GetPrivateProfileString("S", "K", "", 256, ini);
    EXPECT_EQ(v.size(), 255u * 3);
}

TEST(IniFile, SingleKeyUpdatesLeaveEveryOtherLineAlone) {
    TempFolder dir;
    std::string ini = dir.file("a.ini");
    const std::string before =
        "; my notes\n[brevadin]\nReadPath=/old\nUnknown=keep me\n\n[Extra]\nA=1\n";
    writeFile(ini, before);
    ASSERT_TRUE(WritePrivateProfileString("BREVADIN", "readpath", "/new", ini));
    ASSERT_TRUE(WritePrivateProfileString("brevadin", "TimeDiff", "-5", ini));
    ASSERT_TRUE(WritePrivateProfileString("New", "K", "v", ini));
    EXPECT_EQ(readFile(ini),
              "; my notes\n[brevadin]\nreadpath=/new\nUnknown=keep me\nTimeDiff=-5\n\n[Extra]\n"
              "A=1\n[New]\nK=v\n");
}

TEST(IniFile, SectionReplacementAndReading) {
    TempFolder dir;
    std::string ini = dir.file("a.ini");
    writeFile(ini, "[ColWidth]\r\nCol0=1\r\nCol1=2\r\nCol9=9\r\n\r\n[After]\r\nX=1\r\n");
    ASSERT_TRUE(WritePrivateProfileSection("colwidth", std::string("Col0=5\0Col1=6\0", 14), ini));
    EXPECT_EQ(readFile(ini), "[ColWidth]\r\nCol0=5\r\nCol1=6\r\n\r\n[After]\r\nX=1\r\n");
    std::string buf = GetPrivateProfileSection("ColWidth", 32, ini);
    ASSERT_EQ(buf.size(), 32u);
    EXPECT_EQ(buf.substr(0, 15), std::string("Col0=5\0Col1=6\0\0", 15));
    // An over-long section is cut and still ends in two NULs.
    std::string small = GetPrivateProfileSection("ColWidth", 10, ini);
    EXPECT_EQ(small, std::string("Col0=5\0C\0\0", 10));
}

TEST(IniFile, LargeHandEditedFilesStayLinear) {
    TempFolder dir;
    std::string ini = dir.file("big.ini");
    std::string text = "[Big]\n";
    for (int i = 0; i < 100000; ++i) text += "k" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    writeFile(ini, text);
    IniDocument doc(ini);
    std::string v;
    ASSERT_TRUE(doc.find("Big", "k99999", v));
    EXPECT_EQ(v, "99999");
    doc.setValue("Big", "k5", "changed");
    ASSERT_TRUE(doc.save());
    EXPECT_EQ(GetPrivateProfileString("Big", "k5", "", 256, ini), "changed");
    EXPECT_EQ(GetPrivateProfileString("Big", "k99998", "", 256, ini), "99998");
}

TEST(IniNumbers, LeadingNumberAndBankersRounding) {
    EXPECT_DOUBLE_EQ(leadingNumber("800.5"), 800.5);
    EXPECT_DOUBLE_EQ(leadingNumber(" -12x"), -12);
    EXPECT_DOUBLE_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(roundHalfEven(800.5), 800);
    EXPECT_EQ(roundHalfEven(801.5), 802);
    EXPECT_EQ(roundHalfEven(-0.5), 0);
    EXPECT_EQ(roundHalfEven(1e300), INT64_MAX);
}

}  // namespace
}  // namespace brevadin
