#include "config/frmconfig.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <sstream>
#include <vector>

#include "common/qtcommon.h"
#include "config/clsconfig.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

class Widths : public ColumnWidths {
public:
    explicit Widths(std::vector<int64_t> widths) : w(std::move(widths)) {}
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

// Catches every message box the dialog would show.
class CapturedMessages {
public:
    CapturedMessages() {
        old_ = setMessagePresenter([this](const MessageRequest& r) {
            shown.push_back(r);
            return kMsgResultOk;
        });
    }
    ~CapturedMessages() { setMessagePresenter(old_); }
    std::vector<MessageRequest> shown;

private:
    MessagePresenter old_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        out.push_back(l);
    }
    return out;
}

bool hasLine(const std::string& text, const std::string& line) {
    auto all = lines(text);
    return std::find(all.begin(), all.end(), line) != all.end();
}

QStringList itemsOf(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

std::vector<QCheckBox*> innerBoxes(const frmConfig& dlg) {
    return {dlg.chkHtml, dlg.chkScript, dlg.chkArchive, dlg.chkMovie, dlg.chkSound};
}

// A settings object as a first run has it: loaded from a file that does not exist.
struct FirstRun {
    TempFolder dir;
    std::string path = dir.file("brevadin.ini");
    clsConfig config{path};
    FirstRun() { config.Load(); }
};

int pixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

TEST(OptionsLists, EntriesAndOrderAreExact) {
    clsConfig config;
    frmConfig dlg(config);
    const QStringList formats = {
        QStringLiteral("Microsoft IIS ログ ファイル形式"),
        QStringLiteral("NCSA 共通ログ ファイル形式"),
        QStringLiteral("W3C 拡張ログ ファイル形式"),
        QStringLiteral("自動判別 (ファイルごと)"),
    };
    EXPECT_EQ(itemsOf(dlg.cmbLogType), formats);

    const QStringList zones = {
        QStringLiteral("- 11:00 "),
        QStringLiteral("- 10:00 "),
        QStringLiteral("- 09:00 "),
        QStringLiteral("- 08:00 (米国-ロサンゼルス)"),
        QStringLiteral("- 07:00 "),
        QStringLiteral("- 06:00 (米国-シカゴ)"),
        QStringLiteral("- 05:00 (米国-ニューヨーク)"),
        QStringLiteral("- 04:00 "),
        QStringLiteral("- 03:00 (ブラジル-リオ)"),
        QStringLiteral("- 02:00 "),
        QStringLiteral("- 01:00 "),
        QStringLiteral("  00:00 (イギリス-ロンドン)"),
        QStringLiteral("+ 01:00 "),
        QStringLiteral("+ 02:00 (エジプト-カイロ)"),
        QStringLiteral("+ 03:00 (ロシア-モスクワ)"),
        QStringLiteral("+ 04:00 "),
        QStringLiteral("+ 05:00 "),
        QStringLiteral("+ 06:00 "),
        QStringLiteral("+ 07:00 "),
        QStringLiteral("+ 08:00 (中国-北京)"),
        QStringLiteral("+ 09:00 (日本-東京)"),
        QStringLiteral("+ 10:00 (オーストラリア-シドニー)"),
        QStringLiteral("+ 11:00 "),
        QStringLiteral("+ 12:00 "),
    };
    EXPECT_EQ(itemsOf(dlg.cmbTimeDiff), zones);
    // Drop-down lists: nothing can be typed in.
    EXPECT_FALSE(dlg.cmbLogType->isEditable());
    EXPECT_FALSE(dlg.cmbTimeDiff->isEditable());
}

TEST(OptionsLists, EveryEntryStandsForItsOwnValue) {
    // Each in-range value shows its entry, and OK on that entry gives the
    // value back: the index arithmetic is right at both ends of the lists.
    for (int diff = -11; diff <= 12; ++diff) {
        clsConfig config;
        config.TimeDiff = diff;
        frmConfig dlg(config);
        QString sign = diff < 0   ? QStringLiteral("- ")
                       : diff > 0 ? QStringLiteral("+ ")
                                  : QStringLiteral("  ");
        QString hours = QStringLiteral("%1:00").arg(std::abs(diff), 2, 10, QLatin1Char('0'));
        EXPECT_TRUE(dlg.cmbTimeDiff->currentText().startsWith(sign + hours))
            << diff << " shows " << dlg.cmbTimeDiff->currentText().toStdString();
    }
    const char* prefixes[] = {"Microsoft IIS", "NCSA", "W3C", "自動判別"};
    for (int type = 0; type <= 3; ++type) {
        clsConfig config;
        config.LogType = type;
        frmConfig dlg(config);
        EXPECT_TRUE(dlg.cmbLogType->currentText().startsWith(QString::fromUtf8(prefixes[type])));
    }
}

TEST(OptionsLists, ValuesNoEntryFitsShowTheDefaults) {
    const QString w3c = QStringLiteral("W3C 拡張ログ ファイル形式");
    const QString tokyo = QStringLiteral("+ 09:00 (日本-東京)");
    for (int32_t type : {-1, 4, 7, INT32_MIN, INT32_MAX}) {
        clsConfig config;
        config.LogType = type;
        config.TimeDiff = 0;
        frmConfig dlg(config);
        EXPECT_EQ(dlg.cmbLogType->currentText(), w3c) << type;
        EXPECT_EQ(dlg.cmbTimeDiff->currentIndex(), 11) << type;  // untouched by the bad type
    }
    for (int diff : {-12, 13, 24, -24, INT_MIN, INT_MAX}) {
        clsConfig config;
        config.LogType = 0;
        config.TimeDiff = diff;
        frmConfig dlg(config);
        EXPECT_EQ(dlg.cmbTimeDiff->currentText(), tokyo) << diff;
        EXPECT_EQ(dlg.cmbLogType->currentIndex(), 0) << diff;
    }
}

TEST(OptionsLists, OkOnAShownDefaultReplacesTheHandEditedValue) {
    FirstRun run;
    run.config.LogType = 5;
    run.config.TimeDiff = 20;
    frmConfig dlg(run.config);
    dlg.OKButton->click();
    EXPECT_EQ(run.config.LogType, 2);
    EXPECT_EQ(run.config.TimeDiff, 9);
    const std::string text = readFile(run.path);
    EXPECT_TRUE(hasLine(text, "LogType=2"));
    EXPECT_TRUE(hasLine(text, "TimeDiff=9"));
}

TEST(OptionsOpening, FirstRunShowsTheDefaultsWithTheFrameGreyed) {
    FirstRun run;
    frmConfig dlg(run.config);
    EXPECT_EQ(dlg.cmbLogType->currentText(), QStringLiteral("W3C 拡張ログ ファイル形式"));
    EXPECT_EQ(dlg.cmbTimeDiff->currentText(), QStringLiteral("+ 09:00 (日本-東京)"));
    EXPECT_EQ(dlg.chkIncludeAll->checkState(), Qt::Checked);
    EXPECT_TRUE(dlg.chkIncludeAll->isEnabled());
    EXPECT_FALSE(dlg.fraInclude->isEnabled());
    for (QCheckBox* box : innerBoxes(dlg)) {
        EXPECT_EQ(box->checkState(), Qt::Checked) << box->objectName().toStdString();
        EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
    }
    // Opening the dialog writes nothing.
    EXPECT_FALSE(std::filesystem::exists(run.path));
}

TEST(OptionsOpening, TicksFollowEachSwitchSeparately) {
    // A distinct pattern catches two boxes wired to the same switch.
    clsConfig config;
    config.IncludeAll = false;
    config.IncludeHTML = true;
    config.IncludeScript = false;
    config.IncludeArchive = true;
    config.IncludeMovie = false;
    config.IncludeSound = true;
    frmConfig dlg(config);
    EXPECT_EQ(dlg.chkIncludeAll->checkState(), Qt::Unchecked);
    EXPECT_EQ(dlg.chkHtml->checkState(), Qt::Checked);
    EXPECT_EQ(dlg.chkScript->checkState(), Qt::Unchecked);
    EXPECT_EQ(dlg.chkArchive->checkState(), Qt::Checked);
    EXPECT_EQ(dlg.chkMovie->checkState(), Qt::Unchecked);
    EXPECT_EQ(dlg.chkSound->checkState(), Qt::Checked);
    EXPECT_TRUE(dlg.fraInclude->isEnabled());
    for (QCheckBox* box : innerBoxes(dlg)) EXPECT_TRUE(box->isEnabled());
}

TEST(OptionsGreying, TogglingAllKeepsTheTicksOfTheFiveBoxes) {
    clsConfig config;
    config.IncludeAll = true;
    config.IncludeHTML = true;
    config.IncludeSound = false;  // the others false as well
    frmConfig dlg(config);
    ASSERT_FALSE(dlg.fraInclude->isEnabled());

    dlg.chkIncludeAll->click();
    EXPECT_EQ(dlg.chkIncludeAll->checkState(), Qt::Unchecked);
    EXPECT_TRUE(dlg.fraInclude->isEnabled());
    for (QCheckBox* box : innerBoxes(dlg)) EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(dlg.chkHtml->checkState(), Qt::Checked);
    EXPECT_EQ(dlg.chkSound->checkState(), Qt::Unchecked);

    dlg.chkSound->click();  // a change made while enabled survives greying
    dlg.chkIncludeAll->click();
    EXPECT_FALSE(dlg.fraInclude->isEnabled());
    for (QCheckBox* box : innerBoxes(dlg)) EXPECT_FALSE(box->isEnabled());
    EXPECT_EQ(dlg.chkHtml->checkState(), Qt::Checked);
    EXPECT_EQ(dlg.chkSound->checkState(), Qt::Checked);

    // The third state is no tick: the frame stays usable.
    dlg.chkIncludeAll->setCheckState(Qt::PartiallyChecked);
    EXPECT_TRUE(dlg.fraInclude->isEnabled());
}

TEST(OptionsOk, WritesEveryChoiceAndSavesAtOnce) {
    FirstRun run;
    Widths grid({700, 1300});
    run.config.setDBGrid(&grid);
    run.config.ReadPath = "/srv/logs";
    CapturedMessages messages;
    frmConfig dlg(run.config);
    QSignalSpy accepted(&dlg, &QDialog::accepted);

    dlg.cmbTimeDiff->setCurrentIndex(
        dlg.cmbTimeDiff->findText(QStringLiteral("- 05:00 (米国-ニューヨーク)")));
    dlg.cmbLogType->setCurrentIndex(
        dlg.cmbLogType->findText(QStringLiteral("NCSA 共通ログ ファイル形式")));
    dlg.chkIncludeAll->click();
    dlg.chkScript->click();
    dlg.chkMovie->click();
    dlg.OKButton->click();

    EXPECT_EQ(accepted.count(), 1);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(run.config.TimeDiff, -5);
    EXPECT_EQ(run.config.LogType, 1);
    EXPECT_FALSE(run.config.IncludeAll);
    EXPECT_TRUE(run.config.IncludeHTML);
    EXPECT_FALSE(run.config.IncludeScript);
    EXPECT_TRUE(run.config.IncludeArchive);
    EXPECT_FALSE(run.config.IncludeMovie);
    EXPECT_TRUE(run.config.IncludeSound);
    EXPECT_EQ(run.config.ReadPath, "/srv/logs");  // not the dialog's to change

    const std::string text = readFile(run.path);
    EXPECT_TRUE(hasLine(text, "TimeDiff=-5")) << text;
    EXPECT_TRUE(hasLine(text, "LogType=1")) << text;
    EXPECT_TRUE(hasLine(text, "IncAll=False")) << text;
    EXPECT_TRUE(hasLine(text, "IncScript=False")) << text;
    EXPECT_TRUE(hasLine(text, "IncSound=True")) << text;
    EXPECT_TRUE(hasLine(text, "Col1=1300")) << text;  // the grid's widths go with them

    // What was written is what the next run reads.
    clsConfig next(run.path);
    next.Load();
    EXPECT_EQ(next.TimeDiff, -5);
    EXPECT_EQ(next.LogType, 1);
    EXPECT_FALSE(next.IncludeAll);
    EXPECT_FALSE(next.IncludeMovie);
    EXPECT_TRUE(next.IncludeArchive);
}

TEST(OptionsOk, DisabledBoxesAreStoredAsTheyStandAndComeBackNextTime) {
    FirstRun run;
    {
        frmConfig dlg(run.config);
        dlg.chkIncludeAll->click();
        dlg.chkSound->click();
        dlg.chkIncludeAll->click();  // greyed again, sound still unticked
        ASSERT_FALSE(dlg.chkSound->isEnabled());
        dlg.OKButton->click();
    }
    EXPECT_TRUE(run.config.IncludeAll);
    EXPECT_FALSE(run.config.IncludeSound);
    EXPECT_TRUE(hasLine(readFile(run.path), "IncSound=False"));

    frmConfig again(run.config);
    again.chkIncludeAll->click();
    EXPECT_TRUE(again.chkSound->isEnabled());
    EXPECT_EQ(again.chkSound->checkState(), Qt::Unchecked);
    EXPECT_EQ(again.chkHtml->checkState(), Qt::Checked);
}

TEST(OptionsOk, TheThirdStateCountsAsNoTick) {
    FirstRun run;
    frmConfig dlg(run.config);
    dlg.chkIncludeAll->setCheckState(Qt::PartiallyChecked);
    dlg.chkArchive->setCheckState(Qt::PartiallyChecked);
    dlg.OKButton->click();
    EXPECT_FALSE(run.config.IncludeAll);
    EXPECT_FALSE(run.config.IncludeArchive);
    EXPECT_TRUE(run.config.IncludeHTML);
    EXPECT_TRUE(hasLine(readFile(run.path), "IncArc=False"));
}

TEST(OptionsOk, AFailedSaveIsReportedWithTheFileAndTheReason) {
    TempFolder dir;
    // The folder does not exist, so the file cannot be created.
    const std::string path = dir.file("missing/brevadin.ini");
    clsConfig config(path);
    config.Load();
    CapturedMessages messages;
    frmConfig dlg(config);
    dlg.cmbTimeDiff->setCurrentIndex(0);
    dlg.OKButton->click();

    ASSERT_EQ(messages.shown.size(), 1u);
    const MessageRequest& box = messages.shown[0];
    const QString file = QString::fromStdString(path);
    EXPECT_TRUE(box.prompt.contains(file)) << box.prompt.toStdString();
    EXPECT_EQ(box.prompt.count(file), 1) << "the file is named once";
    // The reason follows the file name on a line of its own.
    const QStringList parts = box.prompt.split(QLatin1Char('\n'));
    ASSERT_GE(parts.size(), 3);
    EXPECT_FALSE(parts.last().trimmed().isEmpty());
    EXPECT_EQ(box.style & 0x70, kMsgExclamation);
    EXPECT_EQ(box.title, QStringLiteral("Brevadin"));
    EXPECT_FALSE(std::filesystem::exists(path));
    // The choice still holds for this run.
    EXPECT_EQ(config.TimeDiff, -11);
}

// Changes every control of the dialog away from what it showed.
void changeEverything(frmConfig& dlg) {
    dlg.cmbLogType->setCurrentIndex(0);
    dlg.cmbTimeDiff->setCurrentIndex(3);
    dlg.chkIncludeAll->click();
    for (QCheckBox* box : innerBoxes(dlg)) box->click();
}

TEST(OptionsCancel, LeavesTheSettingsAndTheFileUntouched) {
    TempFolder dir;
    const std::string path = dir.file("brevadin.ini");
    // CRLF, a comment and an odd spacing: any rewrite would show.
    const std::string original =
        "[brevadin]\r\nReadPath=/var/log\r\n; note\r\nTimeDiff = 2\r\nIncAll=True\r\n"
        "IncHtml=True\r\nIncScript=False\r\nIncArc=True\r\nIncMovie=False\r\n"
        "IncSound=True\r\nLogType=1\r\n[ColWidth]\r\nCol0=50\r\n";
    writeFile(path, original);
    const auto stamp = std::filesystem::last_write_time(path);
    clsConfig config(path);
    Widths grid({50, 900});
    config.setDBGrid(&grid);
    config.Load();
    const clsConfig before = config;

    frmConfig dlg(config);
    QSignalSpy rejected(&dlg, &QDialog::rejected);
    changeEverything(dlg);
    dlg.CancelButton->click();

    EXPECT_EQ(rejected.count(), 1);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(std::filesystem::last_write_time(path), stamp);
    EXPECT_EQ(config.LogType, before.LogType);
    EXPECT_EQ(config.TimeDiff, before.TimeDiff);
    EXPECT_EQ(config.ReadPath, before.ReadPath);
    EXPECT_EQ(config.IncludeAll, before.IncludeAll);
    EXPECT_EQ(config.IncludeHTML, before.IncludeHTML);
    EXPECT_EQ(config.IncludeScript, before.IncludeScript);
    EXPECT_EQ(config.IncludeArchive, before.IncludeArchive);
    EXPECT_EQ(config.IncludeMovie, before.IncludeMovie);
    EXPECT_EQ(config.IncludeSound, before.IncludeSound);
    // No stray temporary file beside it either.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(OptionsCancel, ClosingTheWindowIsACancel) {
    FirstRun run;
    run.config.TimeDiff = 1;
    frmConfig dlg(run.config);
    dlg.show();
    changeEverything(dlg);
    EXPECT_TRUE(dlg.close());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(run.config.TimeDiff, 1);
    EXPECT_TRUE(run.config.IncludeAll);
    EXPECT_FALSE(std::filesystem::exists(run.path));
}

TEST(OptionsKeys, NoDefaultButtonAndNeitherKeyPressesAButton) {
    FirstRun run;
    frmConfig dlg(run.config);
    EXPECT_FALSE(dlg.OKButton->isDefault());
    EXPECT_FALSE(dlg.OKButton->autoDefault());
    EXPECT_FALSE(dlg.CancelButton->isDefault());
    EXPECT_FALSE(dlg.CancelButton->autoDefault());

    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QSignalSpy finished(&dlg, &QDialog::finished);
    changeEverything(dlg);
    // Enter on the focused OK button, on a list and on a box; Escape too.
    for (QWidget* target : std::initializer_list<QWidget*>{dlg.OKButton, dlg.cmbTimeDiff,
                                                           dlg.chkIncludeAll, dlg.CancelButton}) {
        target->setFocus();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(target, Qt::Key_Escape);
    }
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(finished.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(run.path));
    EXPECT_EQ(run.config.TimeDiff, 9);
}

TEST(OptionsWindow, CaptionsAsDesigned) {
    clsConfig config;
    frmConfig dlg(config);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("オプション設定"));
    EXPECT_EQ(dlg.Label2->text(), QStringLiteral("ログのフォーマット："));
    EXPECT_EQ(dlg.Label1->text(), QStringLiteral("グリニッジ標準時(GMT)との時差："));
    EXPECT_EQ(dlg.chkIncludeAll->text(), QStringLiteral("全てのファイルを解析対象にする"));
    EXPECT_EQ(dlg.fraInclude->title(), QStringLiteral(" 以下のファイルのみを対象 "));
    EXPECT_EQ(dlg.chkHtml->text(), QStringLiteral("HTMLファイル ( *.htm; *.html; *.shtml )"));
    EXPECT_EQ(dlg.chkScript->text(), QStringLiteral("ASPスクリプトファイル ( *.asp; *.aspx )"));
    EXPECT_EQ(dlg.chkArchive->text(),
              QStringLiteral("圧縮ファイル ( *.lzh; *.zip; *.cab; *.tar )"));
    EXPECT_EQ(dlg.chkMovie->text(),
              QStringLiteral("動画ファイル ( *.mpg; *.mpeg; *.mov; *.rm; *.swf; *.wmv )"));
    EXPECT_EQ(dlg.chkSound->text(), QStringLiteral("音声ファイル ( *.mp3; *.mid; *.wav )"));
    EXPECT_EQ(dlg.OKButton->text(), QStringLiteral("OK"));
    EXPECT_EQ(dlg.CancelButton->text(), QStringLiteral("ｷｬﾝｾﾙ"));
    // The five boxes belong to the frame: greying it greys them.
    for (QCheckBox* box : innerBoxes(dlg)) EXPECT_EQ(box->parentWidget(), dlg.fraInclude);
}

// Builds the dialog under a given application font.
class FontScope {
public:
    explicit FontScope(const QFont& font) : old_(QApplication::font()) {
        QApplication::setFont(font);
    }
    ~FontScope() { QApplication::setFont(old_); }

private:
    QFont old_;
};

std::vector<QWidget*> captioned(const frmConfig& dlg) {
    return {dlg.Label2,        dlg.cmbLogType, dlg.Label1,    dlg.cmbTimeDiff,
            dlg.chkIncludeAll, dlg.chkHtml,    dlg.chkScript, dlg.chkArchive,
            dlg.chkMovie,      dlg.chkSound,   dlg.OKButton,  dlg.CancelButton};
}

TEST(OptionsWindow, TheDesignInTwipsWhenTheFontFitsIt) {
    QFont small = QApplication::font();
    small.setPixelSize(6);
    FontScope scope(small);
    clsConfig config;
    frmConfig dlg(config);
    const double dx = dlg.logicalDpiX(), dy = dlg.logicalDpiY();
    auto rect = [&](int l, int t, int w, int h) {
        return QRect(pixels(l, dx), pixels(t, dy), pixels(w, dx), pixels(h, dy));
    };
    EXPECT_EQ(dlg.size(), QSize(pixels(5970, dx), pixels(4650, dy)));
    // Left and top come from the first two numbers, width and height from
    // the other two, each on its own axis.
    EXPECT_EQ(dlg.Label1->geometry(), rect(120, 840, 2655, 255));
    EXPECT_EQ(dlg.cmbTimeDiff->geometry(), rect(2760, 840, 3015, 300));
    EXPECT_EQ(dlg.cmbLogType->geometry(), rect(2760, 240, 3015, 300));
    EXPECT_EQ(dlg.chkIncludeAll->geometry(), rect(120, 1440, 2895, 255));
    EXPECT_EQ(dlg.fraInclude->geometry(), rect(360, 1800, 5535, 2295));
    // Inside the frame, relative to it.
    EXPECT_EQ(dlg.chkHtml->geometry(), rect(120, 360, 3375, 255));
    EXPECT_EQ(dlg.chkMovie->geometry(), rect(120, 1440, 4935, 255));
    EXPECT_EQ(dlg.chkSound->geometry(), rect(120, 1800, 3375, 255));
    EXPECT_EQ(dlg.OKButton->geometry(), rect(3360, 4200, 1215, 375));
    EXPECT_EQ(dlg.CancelButton->geometry(), rect(4680, 4200, 1215, 375));
}

TEST(OptionsWindow, AWiderFontWidensTheLayoutWithoutCuttingCaptions) {
    QFont wide = QApplication::font();
    wide.setPointSizeF(wide.pointSizeF() * 1.5);
    FontScope scope(wide);
    clsConfig config;
    frmConfig dlg(config);
    const double dx = dlg.logicalDpiX();
    EXPECT_GT(dlg.width(), pixels(5970, dx));
    for (QWidget* w : captioned(dlg))
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
    // Each label ends before its list begins; the lists stay equally wide.
    EXPECT_LE(dlg.Label1->geometry().right(), dlg.cmbTimeDiff->x());
    EXPECT_LE(dlg.Label2->geometry().right(), dlg.cmbLogType->x());
    EXPECT_EQ(dlg.cmbLogType->width(), dlg.cmbTimeDiff->width());
    EXPECT_EQ(dlg.cmbLogType->x(), dlg.cmbTimeDiff->x());
    // The buttons stay side by side under the frame's right edge.
    EXPECT_EQ(dlg.CancelButton->geometry().right(), dlg.fraInclude->geometry().right());
    EXPECT_LT(dlg.OKButton->geometry().right(), dlg.CancelButton->x());
    for (QWidget* w : dlg.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        EXPECT_TRUE(dlg.rect().contains(w->geometry())) << w->objectName().toStdString();
    for (QCheckBox* box : innerBoxes(dlg))
        EXPECT_TRUE(dlg.fraInclude->rect().contains(box->geometry()))
            << box->objectName().toStdString();
    // Rows keep their design heights and places.
    EXPECT_EQ(dlg.height(), pixels(4650, dlg.logicalDpiY()));
    EXPECT_EQ(dlg.chkSound->y(), pixels(1800, dlg.logicalDpiY()));
}

TEST(OptionsWindow, FixedFrameWithoutMinimiseOrMaximise) {
    clsConfig config;
    frmConfig dlg(config);
    EXPECT_EQ(dlg.minimumSize(), dlg.maximumSize());
    EXPECT_EQ(dlg.size(), dlg.minimumSize());
    const Qt::WindowFlags flags = dlg.windowFlags();
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dlg.isModal());
    for (QWidget* w : captioned(dlg))
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
}

TEST(OptionsWindow, TabOrderStartsAtCancelAndFocusLandsThere) {
    clsConfig config;
    frmConfig dlg(config);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QStringList order;
    for (QWidget* w = dlg.nextInFocusChain(); w != &dlg; w = w->nextInFocusChain())
        if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
    EXPECT_EQ(order,
              (QStringList{"CancelButton", "cmbLogType", "cmbTimeDiff", "chkIncludeAll", "chkHtml",
                           "chkScript", "chkArchive", "chkMovie", "chkSound", "OKButton"}));
    EXPECT_EQ(dlg.focusWidget(), dlg.CancelButton);
}

TEST(OptionsWindow, CentredOnTheScreenWhenShown) {
    clsConfig config;
    frmConfig dlg(config);
    dlg.move(0, 0);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    const QRect frame = dlg.frameGeometry();
    EXPECT_EQ(frame.topLeft(),
              centeredPosition(dlg.screen()->availableGeometry(), frame.width(), frame.height()));
}

}  // namespace
}  // namespace brevadin
