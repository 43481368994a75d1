#include "common/qtcommon.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFont>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QScreen>
#include <QTextDocument>
#include <QTranslator>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <exception>

#include "common/appinfo.h"

namespace brevadin {
namespace {

MessagePresenter& presenter() {
    static MessagePresenter p;
    return p;
}

int showRealBox(const MessageRequest& r) {
    QMessageBox box(r.parent);
    box.setWindowTitle(r.title);
    box.setText(r.prompt);
    // Texts come from logs and files: never let them be read as rich text.
    box.setTextFormat(Qt::PlainText);
    switch (r.style & 0x70) {
        case kMsgCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case kMsgQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case kMsgExclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case kMsgInformation:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kMsgResultOk;
}

}  // namespace

MessagePresenter setMessagePresenter(MessagePresenter p) {
    MessagePresenter old = std::move(presenter());
    presenter() = std::move(p);
    return old;
}

int16_t fncCallMessage(const QString& prompt, int style, const QString& title, QWidget* parent) {
    MessageRequest request{prompt, style, title.isEmpty() ? QString(kAppTitle) : title, parent};
    try {
        return static_cast<int16_t>(presenter() ? presenter()(request) : showRealBox(request));
    } catch (const std::exception& e) {
        ShowFatalError(QStringLiteral("fncCallMessage"), 0, QString::fromUtf8(e.what()));
        return 0;
    }
}

void ShowFatalError(const QString& name, int32_t number, const QString& description) {
    try {
        MessageRequest request{name + ":[" + QString::number(number) + "]" + description,
                               kMsgCritical, QString::fromUtf8(kFatalErrorTitle), nullptr};
        if (presenter())
            presenter()(request);
        else
            showRealBox(request);
    } catch (...) {
        // The last resort has nowhere left to report to.
    }
}

const char* const kJapaneseUiFontFamily = "ＭＳ Ｐゴシック";

void substituteJapaneseFonts() {
    static const bool done = [] {
        QFont::insertSubstitutions(
            QString::fromUtf8(kJapaneseUiFontFamily),
            {QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic"),
             QStringLiteral("IPAGothic"), QStringLiteral("VL PGothic"),
             QStringLiteral("Droid Sans Japanese"), QStringLiteral("Sans Serif")});
        return true;
    }();
    (void)done;
}

int64_t pixelsFromTwips(int64_t twips, double dpi) {
    return std::llround(static_cast<double>(twips) * dpi / 1440.0);
}

int64_t twipsFromPixels(int64_t pixels, double dpi) {
    return std::llround(static_cast<double>(pixels) * 1440.0 / dpi);
}

int pixelsFromTwips(const QWidget* widget, int twips) {
    const double dpi = widget->logicalDpiX() > 0 ? widget->logicalDpiX() : 96;
    return static_cast<int>(pixelsFromTwips(twips, dpi));
}

QPoint centeredPosition(const QRect& workArea, int w, int h) {
    // nearbyint rounds to nearest with halves to even in the default mode.
    int x = static_cast<int>(std::nearbyint((workArea.width() - w) / 2.0));
    int y = static_cast<int>(std::nearbyint((workArea.height() - h) / 2.0));
    return QPoint(workArea.left() + x, workArea.top() + y);
}

QRect fittedToArea(const QRect& outer, const QRect& workArea) {
    const int w = std::min(outer.width(), workArea.width());
    const int h = std::min(outer.height(), workArea.height());
    const int x = std::clamp(outer.x(), workArea.left(), workArea.left() + workArea.width() - w);
    const int y = std::clamp(outer.y(), workArea.top(), workArea.top() + workArea.height() - h);
    return QRect(x, y, w, h);
}

void CenterWindow(QWidget* window) {
    if (!window) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect outer = window->frameGeometry();
    window->move(centeredPosition(screen->availableGeometry(), outer.width(), outer.height()));
}

QString BrowseFolder(QWidget* owner, const QString& title, const QString& initial) {
    QString chosen =
        QFileDialog::getExistingDirectory(owner, title, initial, QFileDialog::ShowDirsOnly);
    return chosen;
}

bool openWithDesktop(const QUrl& url, QWidget* parent) {
    if (QDesktopServices::openUrl(url)) return true;
    const QString what = url.isLocalFile() ? url.toLocalFile() : url.toDisplayString();
    fncCallMessage(QStringLiteral("次の場所を開けませんでした。\n%1\n\n"
                                  "開くためのアプリケーション（ブラウザーなど）が"
                                  "設定されているか確認してください。")
                       .arg(what),
                   kMsgExclamation, QString::fromUtf8(kAppTitle), parent);
    return false;
}

bool loadQtJapaneseTranslations() {
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator))
        return true;
    delete translator;
    return false;
}

void QtMessageSink::showMessage(MessageIcon icon, const std::string& text,
                                const std::string& title) {
    int style = icon == MessageIcon::Critical      ? kMsgCritical
                : icon == MessageIcon::Exclamation ? kMsgExclamation
                : icon == MessageIcon::Information ? kMsgInformation
                                                   : kMsgOkOnly;
    fncCallMessage(QString::fromStdString(text), style, QString::fromStdString(title), parent_);
}

QString plainToolTip(const QString& text) {
    return text.isEmpty() ? text : Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

QString plainCaption(const QString& text) {
    QString out = text;
    return out.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

}  // namespace brevadin
