#include "config/frmconfig.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include <array>
#include <climits>
#include <filesystem>

#include "common/qtcommon.h"
#include "config/clsconfig.h"
#include "tests/support/capturedmessages.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;

// A settings object as a first run has it: loaded from a file that does not exist.
struct FirstRun {
    TempFolder dir;
    std::string path = dir.file("brevadin.ini");
    clsConfig config{path};
    FirstRun() { config.Load(); }
};

// The six switches as bits: all, html, script, archive, movie, sound.
std::array<bool*, 6> switches(clsConfig& c) {
    return {&c.IncludeAll,     &c.IncludeHTML,  &c.IncludeScript,
            &c.IncludeArchive, &c.IncludeMovie, &c.IncludeSound};
}
int maskOf(clsConfig& c) {
    int mask = 0;
    for (int i = 0; i < 6; ++i) mask |= *switches(c)[i] << i;
    return mask;
}
void setMask(clsConfig& c, int mask) {
    for (int i = 0; i < 6; ++i) *switches(c)[i] = mask >> i & 1;
}

// Every value of either list round-trips through its own entry; a hand-edited
// value no entry stands for shows and saves the default, leaving the other list alone.
TEST(Options, OkSavesEachListsValueOrItsDefault) {
    struct Case {
        int32_t type, diff, savedType, savedDiff;
    };
    std::vector<Case> cases;
    for (int diff = -11; diff <= 12; ++diff) cases.push_back({(diff + 11) % 4, diff, -1, diff});
    for (int32_t type : {-1, 4, INT32_MIN, INT32_MAX}) cases.push_back({type, 0, 2, 0});
    for (int diff : {-12, 13, -24, INT_MIN, INT_MAX}) cases.push_back({0, diff, 0, 9});
    for (const auto& c : cases) {
        FirstRun run;
        run.config.LogType = c.type;
        run.config.TimeDiff = c.diff;
        frmConfig dlg(run.config);
        run.config.TimeDiff = run.config.LogType = 100;  // OK must take the dialog's values
        dlg.OKButton->click();
        clsConfig next(run.path);
        next.Load();
        const int32_t type = c.savedType < 0 ? c.type : c.savedType;
        EXPECT_EQ(run.config.TimeDiff, c.savedDiff) << c.type << " " << c.diff;
        EXPECT_EQ(next.TimeDiff, c.savedDiff) << c.type << " " << c.diff;
        EXPECT_EQ(next.LogType, type) << c.type << " " << c.diff;
    }
}

// Distinct patterns catch two boxes wired to the same switch; boxes greyed by
// "all" are stored as they stand.
TEST(Options, TicksFollowEachSwitchBothWays) {
    for (int mask : {0b101010, 0b010100, 0b001101}) {
        FirstRun run;
        setMask(run.config, mask);
        frmConfig dlg(run.config);
        EXPECT_EQ(dlg.fraInclude->isEnabled(), !(mask & 1));
        setMask(run.config, ~mask);
        dlg.OKButton->click();
        EXPECT_EQ(maskOf(run.config), mask);
        clsConfig next(run.path);
        next.Load();
        EXPECT_EQ(maskOf(next), mask);
    }
}

TEST(Options, GreyingKeepsTheTicksAndTheThirdStateCountsAsNone) {
    FirstRun run;
    frmConfig dlg(run.config);
    ASSERT_FALSE(dlg.fraInclude->isEnabled());  // a first run has everything ticked
    dlg.chkIncludeAll->click();
    EXPECT_TRUE(dlg.chkHtml->isEnabled() && dlg.chkSound->isEnabled());
    dlg.chkSound->click();  // a change made while enabled survives greying
    dlg.chkIncludeAll->click();
    EXPECT_FALSE(dlg.chkHtml->isEnabled() || dlg.chkSound->isEnabled());
    EXPECT_EQ(dlg.chkSound->checkState(), Qt::Unchecked);

    dlg.chkIncludeAll->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(dlg.fraInclude->isEnabled());
    dlg.chkArchive->setCheckState(Qt::PartiallyChecked);
    dlg.OKButton->click();
    EXPECT_EQ(maskOf(run.config), 0b010110);
}

TEST(Options, AFailedSaveNamesTheFileAndTheReasonAndTheChoiceHolds) {
    TempFolder dir;
    const std::string path = dir.file("missing/brevadin.ini");  // no such folder
    clsConfig config(path);
    config.Load();
    testing::CapturedMessages messages;
    frmConfig dlg(config);
    dlg.cmbTimeDiff->setCurrentIndex(0);
    dlg.OKButton->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    const QString prompt = messages.shown[0].prompt;
    EXPECT_EQ(prompt.count(QString::fromStdString(path)), 1) << prompt.toStdString();
    EXPECT_FALSE(prompt.split(QLatin1Char('\n')).last().trimmed().isEmpty());  // the reason
    EXPECT_EQ(messages.shown[0].style & 0x70, kMsgExclamation);
    EXPECT_EQ(config.TimeDiff, -11);
}

// Cancel, closing the window, Enter and Escape all leave the settings and the
// file as they were, byte for byte; Escape closes the dialog as Cancel does.
TEST(Options, OnlyOkChangesAnything) {
    const std::string original =
        "[brevadin]\r\nReadPath=/var/log\r\n; note\r\nTimeDiff = 2\r\nIncAll=True\r\n"
        "IncHtml=True\r\nIncScript=False\r\nIncArc=True\r\nIncMovie=False\r\n"
        "IncSound=True\r\nLogType=1\r\n";
    for (int way = 0; way < 3; ++way) {
        TempFolder dir;
        const std::string path = dir.write("brevadin.ini", original);
        clsConfig config(path);
        config.Load();
        const int before = maskOf(config);
        frmConfig dlg(config);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.cmbLogType->setCurrentIndex(0);
        dlg.cmbTimeDiff->setCurrentIndex(3);
        dlg.chkIncludeAll->click();
        for (QCheckBox* box : {dlg.chkHtml, dlg.chkScript, dlg.chkArchive, dlg.chkMovie})
            box->click();
        if (way == 0) dlg.CancelButton->click();
        if (way == 1) dlg.close();
        if (way == 2) {
            for (QWidget* w : std::initializer_list<QWidget*>{dlg.OKButton, dlg.cmbTimeDiff}) {
                w->setFocus();
                QTest::keyClick(w, Qt::Key_Return);
            }
            EXPECT_TRUE(dlg.isVisible());
            QTest::keyClick(dlg.cmbTimeDiff, Qt::Key_Escape);
            EXPECT_FALSE(dlg.isVisible());  // Escape cancels, even from a list
        }
        EXPECT_EQ(readFile(path), original) << way;
        EXPECT_EQ(config.TimeDiff, 2) << way;
        EXPECT_EQ(config.LogType, 1) << way;
        EXPECT_EQ(maskOf(config), before) << way;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << way;
    }
}

}  // namespace
}  // namespace brevadin
