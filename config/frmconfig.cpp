#include "config/frmconfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <utility>

#include "common/qtcommon.h"
#include "config/clsconfig.h"
#include "logdata/logformat.h"
#include "logdata/logreader.h"

namespace brevadin {
namespace {

// The dialog as designed, in twips (1/1440 inch). The boxes inside the frame
// are placed relative to the frame.
constexpr int kClientWidth = 5970;
constexpr int kClientHeight = 4650;
struct TwipRect {
    int left, top, width, height;
};
constexpr TwipRect kLogTypeLabel{120, 240, 2655, 255};
constexpr TwipRect kLogTypeList{2760, 240, 3015, 300};
constexpr TwipRect kTimeDiffLabel{120, 840, 2655, 255};
constexpr TwipRect kTimeDiffList{2760, 840, 3015, 300};
constexpr TwipRect kIncludeAllBox{120, 1440, 2895, 255};
constexpr TwipRect kIncludeFrame{360, 1800, 5535, 2295};
constexpr TwipRect kHtmlBox{120, 360, 3375, 255};
constexpr TwipRect kScriptBox{120, 720, 3375, 255};
constexpr TwipRect kArchiveBox{120, 1080, 3375, 255};
constexpr TwipRect kMovieBox{120, 1440, 4935, 255};
constexpr TwipRect kSoundBox{120, 1800, 3375, 255};
constexpr TwipRect kOkButton{3360, 4200, 1215, 375};
constexpr TwipRect kCancelButton{4680, 4200, 1215, 375};

constexpr int kDefaultLogType = 2;  // W3C extended log file format
constexpr int kDefaultTimeDiff = 9;

int toPixels(int twips, double dpi) {
    return static_cast<int>(pixelsFromTwips(twips, dpi));
}

// Only a tick counts: the greyed third state is as good as no tick.
bool isTicked(const QCheckBox* box) {
    return box->checkState() == Qt::Checked;
}

}  // namespace

QStringList logTypeEntries() {
    QStringList entries;
    for (int32_t code : {kLogTypeIis, kLogTypeNcsa, kLogTypeW3c, kLogTypeAuto}) {
        std::string_view name = fncLogTypeName(code);
        entries << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    return entries;
}

QStringList timeDiffEntries() {
    // The trailing blanks of the unnamed zones and the two leading blanks of
    // the zero entry are part of the texts.
    return {QStringLiteral("- 11:00 "),
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
            QStringLiteral("+ 12:00 ")};
}

int logTypeIndex(int32_t logType) {
    const int count = static_cast<int>(logTypeEntries().size());
    return logType >= 0 && logType < count ? static_cast<int>(logType) : kDefaultLogType;
}

int timeDiffIndex(int timeDiff) {
    const int count = static_cast<int>(timeDiffEntries().size());
    // Compared before adding the offset, so that no value can overflow.
    if (timeDiff < -kTimeDiffOffset || timeDiff >= count - kTimeDiffOffset)
        timeDiff = kDefaultTimeDiff;
    return timeDiff + kTimeDiffOffset;
}

frmConfig::frmConfig(clsConfig& config, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      MyConfig_(config) {
    setObjectName(QStringLiteral("frmConfig"));
    setWindowTitle(QStringLiteral("オプション設定"));
    setModal(true);
    setSizeGripEnabled(false);

    // The focus chain follows the order of creation, so the controls that
    // take focus are made in tab order, the Cancel button first.
    CancelButton = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cmbLogType = new QComboBox(this);
    cmbTimeDiff = new QComboBox(this);
    chkIncludeAll = new QCheckBox(QStringLiteral("全てのファイルを解析対象にする"), this);
    fraInclude = new QGroupBox(QStringLiteral(" 以下のファイルのみを対象 "), this);
    chkHtml = new QCheckBox(QStringLiteral("HTMLファイル ( *.htm; *.html; *.shtml )"), fraInclude);
    chkScript =
        new QCheckBox(QStringLiteral("ASPスクリプトファイル ( *.asp; *.aspx )"), fraInclude);
    chkArchive =
        new QCheckBox(QStringLiteral("圧縮ファイル ( *.lzh; *.zip; *.cab; *.tar )"), fraInclude);
    chkMovie = new QCheckBox(
        QStringLiteral("動画ファイル ( *.mpg; *.mpeg; *.mov; *.rm; *.swf; *.wmv )"), fraInclude);
    chkSound = new QCheckBox(QStringLiteral("音声ファイル ( *.mp3; *.mid; *.wav )"), fraInclude);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    Label2 = new QLabel(QStringLiteral("ログのフォーマット："), this);
    Label1 = new QLabel(QStringLiteral("グリニッジ標準時(GMT)との時差："), this);

    const std::pair<QWidget*, const char*> names[] = {
        {Label2, "Label2"},
        {cmbLogType, "cmbLogType"},
        {Label1, "Label1"},
        {cmbTimeDiff, "cmbTimeDiff"},
        {chkIncludeAll, "chkIncludeAll"},
        {fraInclude, "fraInclude"},
        {chkHtml, "chkHtml"},
        {chkScript, "chkScript"},
        {chkArchive, "chkArchive"},
        {chkMovie, "chkMovie"},
        {chkSound, "chkSound"},
        {OKButton, "OKButton"},
        {CancelButton, "CancelButton"},
    };
    for (const auto& [widget, name] : names) widget->setObjectName(QString::fromLatin1(name));
    Label1->setTextFormat(Qt::PlainText);
    Label2->setTextFormat(Qt::PlainText);

    // Neither button is pressed by Enter: no default button, and a focused
    // button does not become one either.
    for (QPushButton* button : {OKButton, CancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    QWidget::setTabOrder(CancelButton, cmbLogType);
    QWidget::setTabOrder(cmbLogType, cmbTimeDiff);
    QWidget::setTabOrder(cmbTimeDiff, chkIncludeAll);
    QWidget::setTabOrder(chkIncludeAll, chkHtml);
    QWidget::setTabOrder(chkHtml, chkScript);
    QWidget::setTabOrder(chkScript, chkArchive);
    QWidget::setTabOrder(chkArchive, chkMovie);
    QWidget::setTabOrder(chkMovie, chkSound);
    QWidget::setTabOrder(chkSound, OKButton);

    cmbLogType->addItems(logTypeEntries());
    cmbTimeDiff->addItems(timeDiffEntries());
    // Long enough to show every zone without scrolling.
    cmbTimeDiff->setMaxVisibleItems(static_cast<int>(timeDiffEntries().size()));
    arrange();

    cmbLogType->setCurrentIndex(logTypeIndex(MyConfig_.LogType));
    cmbTimeDiff->setCurrentIndex(timeDiffIndex(MyConfig_.TimeDiff));
    auto tick = [](QCheckBox* box, bool on) {
        box->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    };
    tick(chkHtml, MyConfig_.IncludeHTML);
    tick(chkScript, MyConfig_.IncludeScript);
    tick(chkArchive, MyConfig_.IncludeArchive);
    tick(chkMovie, MyConfig_.IncludeMovie);
    tick(chkSound, MyConfig_.IncludeSound);
    tick(chkIncludeAll, MyConfig_.IncludeAll);
    chkIncludeAll_Click();

    connect(chkIncludeAll, &QCheckBox::stateChanged, this, &frmConfig::chkIncludeAll_Click);
    connect(OKButton, &QPushButton::clicked, this, &frmConfig::OKButton_Click);
    connect(CancelButton, &QPushButton::clicked, this, &frmConfig::CancelButton_Click);
}

void frmConfig::arrange() {
    const double dx = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    const double dy = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    auto px = [dx](int twips) { return toPixels(twips, dx); };
    auto place = [&](QWidget* w, const TwipRect& r, int shift = 0, int width = 0) {
        w->setGeometry(px(r.left) + shift, toPixels(r.top, dy), std::max(px(r.width), width),
                       toPixels(r.height, dy));
    };
    // The design was measured for a narrower font than most desktops have:
    // where a caption needs more room than the design gave, the control is
    // widened and what lies to its right moves along, so no caption is cut.
    auto need = [](const QWidget* w) { return w->sizeHint().width(); };

    const int labelGrowth =
        std::max(0, std::max(need(Label1), need(Label2)) - px(kTimeDiffLabel.width));
    place(Label2, kLogTypeLabel, 0, need(Label2));
    place(Label1, kTimeDiffLabel, 0, need(Label1));
    // Both lists keep one width, as designed.
    const int listWidth = std::max(need(cmbLogType), need(cmbTimeDiff));
    place(cmbLogType, kLogTypeList, labelGrowth, listWidth);
    place(cmbTimeDiff, kTimeDiffList, labelGrowth, listWidth);
    place(chkIncludeAll, kIncludeAllBox, 0, need(chkIncludeAll));

    const TwipRect* inner[] = {&kHtmlBox, &kScriptBox, &kArchiveBox, &kMovieBox, &kSoundBox};
    QCheckBox* boxes[] = {chkHtml, chkScript, chkArchive, chkMovie, chkSound};
    int frameNeeds = px(kIncludeFrame.width);
    for (size_t i = 0; i < std::size(boxes); ++i) {
        place(boxes[i], *inner[i], 0, need(boxes[i]));
        // As much room on the right of the widest box as on its left.
        frameNeeds = std::max(frameNeeds, boxes[i]->geometry().right() + 1 + px(inner[i]->left));
    }

    const int listMargin = kClientWidth - kTimeDiffList.left - kTimeDiffList.width;
    const int frameMargin = kClientWidth - kIncludeFrame.left - kIncludeFrame.width;
    int clientWidth = px(kClientWidth);
    clientWidth = std::max(clientWidth, cmbTimeDiff->geometry().right() + 1 + px(listMargin));
    clientWidth = std::max(clientWidth, px(kIncludeFrame.left) + frameNeeds + px(frameMargin));
    clientWidth = std::max(clientWidth, chkIncludeAll->geometry().right() + 1 + px(frameMargin));
    const int growth = clientWidth - px(kClientWidth);

    // The frame and the buttons keep their distance from the right edge.
    place(fraInclude, kIncludeFrame, 0, px(kIncludeFrame.width) + growth);
    place(OKButton, kOkButton, growth);
    place(CancelButton, kCancelButton, growth);
    setFixedSize(clientWidth, toPixels(kClientHeight, dy));
}

void frmConfig::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The frame's size is known only once the window is shown.
    if (!event->spontaneous()) CenterWindow(this);
}

void frmConfig::chkIncludeAll_Click() {
    // Disabling the frame disables the five boxes in it and keeps their
    // ticks, so a later untick of the "all" box brings the choice back.
    fraInclude->setEnabled(!isTicked(chkIncludeAll));
}

void frmConfig::OKButton_Click() {
    MyConfig_.IncludeAll = isTicked(chkIncludeAll);
    MyConfig_.IncludeHTML = isTicked(chkHtml);
    MyConfig_.IncludeScript = isTicked(chkScript);
    MyConfig_.IncludeArchive = isTicked(chkArchive);
    MyConfig_.IncludeMovie = isTicked(chkMovie);
    MyConfig_.IncludeSound = isTicked(chkSound);
    MyConfig_.TimeDiff = cmbTimeDiff->currentIndex() - kTimeDiffOffset;
    MyConfig_.LogType = cmbLogType->currentIndex();

    if (const Outcome saved = MyConfig_.Save(); !saved) {
        // The new values stay in force for this run (and the main window
        // tries to save them again when it ends); the user learns that the
        // file does not hold them.
        const std::string& path = MyConfig_.path();
        std::string reason = saved.description();
        const std::string prefix = path + ": ";
        if (reason.compare(0, prefix.size(), prefix) == 0) reason.erase(0, prefix.size());
        QString prompt =
            QStringLiteral("設定を保存できませんでした。\n") + QString::fromStdString(path);
        if (!reason.empty()) prompt += QStringLiteral("\n") + QString::fromStdString(reason);
        fncCallMessage(prompt, kMsgExclamation, QString(), this);
    }
    accept();
}

void frmConfig::CancelButton_Click() {
    reject();
}

}  // namespace brevadin
