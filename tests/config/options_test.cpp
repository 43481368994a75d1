#include "config/frmconfig.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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
using testing::writeFile;

using testing::CapturedMessages;

// A settings object as a first run has it: loaded from a file that does not exist.
struct FirstRun {
    TempFolder dir;
    std::string path = dir.file("brevadin.ini");
    clsConfig config{path};
    FirstRun() { config.Load(); }
};

struct Switches {
    bool all, html, script, archive, movie, sound;
};

Switches switchesOf(const clsConfig& c) {
    return {c.IncludeAll,     c.IncludeHTML,  c.IncludeScript,
            c.IncludeArchive, c.IncludeMovie, c.IncludeSound};
}

void setSwitches(clsConfig& c, const Switches& s) {
    c.IncludeAll = s.all;
    c.IncludeHTML = s.html;
    c.IncludeScript = s.script;
    c.IncludeArchive = s.archive;
    c.IncludeMovie = s.movie;
    c.IncludeSound = s.sound;
}

bool operator==(const Switches& a, const Switches& b) {
    return a.all == b.all && a.html == b.html && a.script == b.script && a.archive == b.archive &&
           a.movie == b.movie && a.sound == b.sound;
}

std::vector<QCheckBox*> innerBoxes(const frmConfig& dlg) {
    return {dlg.chkHtml, dlg.chkScript, dlg.chkArchive, dlg.chkMovie, dlg.chkSound};
}

// Every value of either list shows an entry of its own, and OK on it gives the
// value back to the settings, to the file and to the next run.
TEST(Options, EachValueRoundTripsThroughItsOwnEntry) {
    for (auto [type, diffs] : {std::pair{0, std::pair{-11, 0}}, std::pair{1, std::pair{1, 12}},
                               std::pair{2, std::pair{-5, 9}}, std::pair{3, std::pair{4, 5}}}) {
        for (int diff = diffs.first; diff <= diffs.second; ++diff) {
            FirstRun run;
            run.config.LogType = type;
            run.config.TimeDiff = diff;
            frmConfig dlg(run.config);
            EXPECT_EQ(dlg.cmbTimeDiff->currentIndex(), diff + 11);
            run.config.TimeDiff = 100;
            run.config.LogType = 100;
            dlg.OKButton->click();
            clsConfig next(run.path);
            next.Load();
            EXPECT_EQ(run.config.TimeDiff, diff);
            EXPECT_EQ(next.TimeDiff, diff);
            EXPECT_EQ(next.LogType, type) << diff;
        }
    }
}

// A hand-edited value no entry stands for shows the default, leaves the other
// list alone, and OK replaces it with the default.
TEST(Options, ValuesNoEntryFitsShowAndSaveTheDefaults) {
    for (int32_t type : {-1, 4, INT32_MIN, INT32_MAX}) {
        FirstRun run;
        run.config.LogType = type;
        run.config.TimeDiff = 0;
        frmConfig dlg(run.config);
        dlg.OKButton->click();
        EXPECT_EQ(run.config.LogType, 2) << type;
        EXPECT_EQ(run.config.TimeDiff, 0) << type;
    }
    for (int diff : {-12, 13, -24, INT_MIN, INT_MAX}) {
        FirstRun run;
        run.config.LogType = 0;
        run.config.TimeDiff = diff;
        frmConfig dlg(run.config);
        dlg.OKButton->click();
        EXPECT_EQ(run.config.TimeDiff, 9) << diff;
        EXPECT_EQ(run.config.LogType, 0) << diff;
    }
}

// Distinct patterns catch two boxes wired to the same switch; boxes greyed by
// "all" are stored as they stand.
TEST(Options, TicksFollowEachSwitchBothWays) {
    for (Switches s : {Switches{false, true, false, true, false, true},
                       Switches{false, false, true, false, true, false},
                       Switches{true, false, true, true, false, false}}) {
        FirstRun run;
        setSwitches(run.config, s);
        frmConfig dlg(run.config);
        EXPECT_EQ(dlg.fraInclude->isEnabled(), !s.all);
        setSwitches(run.config,
                    Switches{!s.all, !s.html, !s.script, !s.archive, !s.movie, !s.sound});
        dlg.OKButton->click();
        EXPECT_TRUE(switchesOf(run.config) == s);
        clsConfig next(run.path);
        next.Load();
        EXPECT_TRUE(switchesOf(next) == s);
    }
}

TEST(Options, GreyingKeepsTheTicksAndTheThirdStateCountsAsNone) {
    FirstRun run;
    frmConfig dlg(run.config);
    ASSERT_FALSE(dlg.fraInclude->isEnabled());  // a first run has everything ticked
    dlg.chkIncludeAll->click();
    for (QCheckBox* box : innerBoxes(dlg)) EXPECT_TRUE(box->isEnabled());
    dlg.chkSound->click();  // a change made while enabled survives greying
    dlg.chkIncludeAll->click();
    for (QCheckBox* box : innerBoxes(dlg)) EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(dlg.chkSound->checkState(), Qt::Unchecked);
    EXPECT_EQ(dlg.chkHtml->checkState(), Qt::Checked);

    dlg.chkIncludeAll->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(dlg.fraInclude->isEnabled());
    dlg.chkArchive->setCheckState(Qt::PartiallyChecked);
    dlg.OKButton->click();
    EXPECT_TRUE(switchesOf(run.config) == (Switches{false, true, true, false, true, false}));
}

TEST(Options, AFailedSaveNamesTheFileAndTheReasonAndTheChoiceHolds) {
    TempFolder dir;
    const std::string path = dir.file("missing/brevadin.ini");  // no such folder
    clsConfig config(path);
    config.Load();
    CapturedMessages messages;
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
        const std::string path = dir.file("brevadin.ini");
        writeFile(path, original);
        clsConfig config(path);
        config.Load();
        const Switches before = switchesOf(config);
        frmConfig dlg(config);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        dlg.cmbLogType->setCurrentIndex(0);
        dlg.cmbTimeDiff->setCurrentIndex(3);
        dlg.chkIncludeAll->click();
        for (QCheckBox* box : innerBoxes(dlg)) box->click();
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
        EXPECT_TRUE(switchesOf(config) == before) << way;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << way;
    }
}

// A larger font widens the dialog so that no caption is cut.
TEST(Options, AWiderFontCutsNoCaption) {
    const QFont old = QApplication::font();
    QFont wide = old;
    wide.setPointSizeF(wide.pointSizeF() * 1.5);
    QApplication::setFont(wide);
    clsConfig config;
    frmConfig dlg(config);
    QApplication::setFont(old);
    for (QWidget* w : std::initializer_list<QWidget*>{
             dlg.Label2, dlg.cmbLogType, dlg.Label1, dlg.cmbTimeDiff, dlg.chkIncludeAll,
             dlg.chkHtml, dlg.chkScript, dlg.chkArchive, dlg.chkMovie, dlg.chkSound, dlg.OKButton,
             dlg.CancelButton})
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
    EXPECT_LE(dlg.Label1->geometry().right(), dlg.cmbTimeDiff->x());
    for (QWidget* w : dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dlg.rect().contains(w->geometry())) << w->objectName().toStdString();
}

}  // namespace
}  // namespace brevadin
