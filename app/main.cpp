#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <csignal>

#include "app/frmmain.h"
#include "common/frmabout.h"
#include "common/qtcommon.h"

namespace {

int signalPipe[2] = {-1, -1};

void onTerminate(int) {
    char c = 1;
    // Nothing else is safe in a signal handler; the event loop does the rest.
    [[maybe_unused]] ssize_t n = ::write(signalPipe[1], &c, 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brevadin"));
    QApplication::setWindowIcon(brevadin::applicationIcon());
    brevadin::substituteJapaneseFonts();
    brevadin::loadQtJapaneseTranslations();
    QStringList given = QApplication::arguments().mid(1);
    // The first folder named (a file's own folder) is listed instead of the
    // configured one; kept as an absolute path, it may become the configured one.
    QString folder;
    if (!given.isEmpty()) {
        const QFileInfo first(given.first());
        folder = QDir::cleanPath(first.isFile() ? first.absolutePath() : first.absoluteFilePath());
        if (!first.isFile()) given.removeFirst();
    }
    brevadin::frmMain window(brevadin::defaultMainWindowPaths(), folder);

    // A session that ends (SIGTERM) or Ctrl+C closes the window the ordinary
    // way, so the settings and the host-name cache are saved.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char c;
            [[maybe_unused]] ssize_t n = ::read(signalPipe[0], &c, 1);
            window.close();
        });
        std::signal(SIGTERM, onTerminate);
        std::signal(SIGINT, onTerminate);
    }
    window.show();
    // The files load into the shown window, each with its progress over it.
    if (!given.isEmpty())
        QTimer::singleShot(0, &window, [&window, given] { window.openPaths(given); });
    return app.exec();
}
