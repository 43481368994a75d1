#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

#include "common/reporting.h"

class QUrl;
class QWidget;

namespace brevadin {

// Message-box style flags as the program's texts use them: the button set in
// the low bits, the icon in 16 (stop), 32 (question), 48 (exclamation) or 64
// (information).
enum MessageStyle : int {
    kMsgOkOnly = 0,
    kMsgCritical = 16,
    kMsgQuestion = 32,
    kMsgExclamation = 48,
    kMsgInformation = 64,
};
inline constexpr int kMsgResultOk = 1;

inline constexpr const char* kFatalErrorTitle = "致命的なエラー";

// Every message box of the viewer goes through one presenter, so that tests
// can see what would have been shown instead of blocking on a modal box.
struct MessageRequest {
    QString prompt;
    int style = kMsgOkOnly;
    QString title;
    QWidget* parent = nullptr;
};
using MessagePresenter = std::function<int(const MessageRequest&)>;
// Replaces the presenter; an empty function restores the real message box.
// Returns the presenter that was in place.
MessagePresenter setMessagePresenter(MessagePresenter presenter);

// Shows a message box and returns the code of the button pressed (1 for OK);
// 0 when the box could not be shown, which is then reported as a fatal error.
int16_t fncCallMessage(const QString& prompt, int style, const QString& title,
                       QWidget* parent = nullptr);

// The fatal-error box: name + ":[" + number + "]" + description under the
// title "致命的なエラー". Never fails towards its caller.
void ShowFatalError(const QString& name, int32_t number, const QString& description);

// The top-left corner that centres a window of outer size w x h in the work
// area: each coordinate (area - size) / 2 rounded to nearest, halves to even,
// not clamped (a window larger than the area gets a negative coordinate).
QPoint centeredPosition(const QRect& workArea, int w, int h);
// The outer rectangle moved, and first shrunk where it is larger, so that it
// lies wholly inside the work area.
QRect fittedToArea(const QRect& outer, const QRect& workArea);
// Moves the window to the middle of its screen's work area.
void CenterWindow(QWidget* window);

// The windows are designed in twips (1/1440 inch); the logical resolution
// (dots per inch) decides how many make a pixel.
int64_t pixelsFromTwips(int64_t twips, double dpi);
int64_t twipsFromPixels(int64_t pixels, double dpi);
// At the widget's own horizontal resolution (96 dpi where it has none yet).
int pixelsFromTwips(const QWidget* widget, int twips);

// The windows ask for the Windows Japanese font "ＭＳ Ｐゴシック"; this tells Qt
// to show an installed Japanese font in its place (Noto Sans CJK JP, or one of
// the IPA and VL Gothic fonts), so kana and kanji never turn into boxes.
// Idempotent.
void substituteJapaneseFonts();
extern const char* const kJapaneseUiFontFamily;

// The folder dialog, opened on initial; the chosen folder, or empty when the
// user cancels.
QString BrowseFolder(QWidget* owner, const QString& title, const QString& initial);

// Hands a local file or a URL to the desktop. Where nothing can open it (no
// browser registered, say), a message box names what could not be opened, so
// the click does not fail silently. False when it could not be opened.
bool openWithDesktop(const QUrl& url, QWidget* parent = nullptr);

// Loads Qt's own Japanese texts (standard buttons, the file and folder
// dialogs, their prompts): the program speaks only Japanese, whatever the
// desktop's language. False when the translation is not installed.
bool loadQtJapaneseTranslations();

// Text from a log, a file name, a stored table or the network, made safe
// for places that would read it as markup. A tool tip that looks like markup
// is rendered as rich text (a visitor's "<img src=/dev/zero>" would freeze the
// window), so it is wrapped as plain text; a tab caption or a menu text takes
// "&" for a shortcut key, so it is doubled.
QString plainToolTip(const QString& text);
QString plainCaption(const QString& text);

// The core's message boxes, shown through fncCallMessage.
class QtMessageSink : public MessageSink {
public:
    explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
    void showMessage(MessageIcon icon, const std::string& text, const std::string& title) override;

private:
    QWidget* parent_;
};

}  // namespace brevadin
