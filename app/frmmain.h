#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/loglistview.h"
#include "config/clsconfig.h"
#include "netlookup/hostcache.h"
#include "netlookup/whoisserverlist.h"

class QAction;
class QFileDialog;
class QLabel;
class QSplitter;
class QMenu;
class QStatusBar;

namespace brevadin {

class DataGridTab;
class frmSummary;

// Where the main window keeps its files: the settings file, hosts.xml and
// whoissv.xml. Tests give a folder of their own.
struct MainWindowPaths {
    std::string settingsFile;
    std::string hostsFile;
    std::string whoisFile;
    std::string helpFile;
};
MainWindowPaths defaultMainWindowPaths();

// The program's window: the log list on the left, the tabbed grid on the
// right, the folder in the status bar.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // startFolder, when not empty, is listed instead of the configured folder
    // and becomes the configured folder only when it could be listed.
    explicit frmMain(MainWindowPaths paths = defaultMainWindowPaths(),
                     const QString& startFolder = QString(),
                     std::shared_ptr<Resolver> resolver = nullptr, QWidget* parent = nullptr);
    ~frmMain() override;

    clsConfig MyConfig;
    std::unique_ptr<::brevadin::HostCache> HostCache;
    std::vector<std::string> WhoisServerList;

    QSplitter* splitMain = nullptr;  // the list | the tabs
    LogListView* lsvLogList = nullptr;
    DataGridTab* DataGridTab1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanel1 = nullptr;
    // The selected tab's shown and total rows.
    QLabel* statusRows = nullptr;

    QMenu* mitmFile = nullptr;
    QAction* mitmOpen = nullptr;
    QAction* mitmRefresh = nullptr;
    QAction* mitmExit = nullptr;
    QMenu* mitmTab = nullptr;
    QAction* mitmAddTab = nullptr;
    QAction* mitmDelete = nullptr;
    QAction* mitmExport = nullptr;
    QAction* mitmSummary = nullptr;
    QMenu* mitmEdit = nullptr;
    QAction* mitmCopy = nullptr;
    QAction* mitmSelAll = nullptr;
    QAction* mitmFind = nullptr;
    QAction* mitmFilter = nullptr;
    QMenu* mitmTool = nullptr;
    QAction* mitmWhois = nullptr;
    QAction* mitmOption = nullptr;
    QMenu* mitmHelp = nullptr;
    QAction* mitmShowHelp = nullptr;
    QAction* mitmVersion = nullptr;

    // Lists folder's logs; false when it was listed, true when it does not
    // exist (the status bar then says so and the list keeps its items).
    bool fncGetLogList(const QString& folder);

    // The loading commands.
    void loadFirstSelected();  // double-click on the list
    void loadEachSelected();   // Enter on the list: a tab per log
    void addTabOfSelected();   // "タブの追加(&A)"
    // Files and folders from the command line or dropped on the window: a
    // folder is listed, a file's folder is listed and the file loads into a
    // tab of its own.
    void openPaths(const QStringList& paths);
    // Choosing the log folder through a folder dialog that returns `chosen`
    // (the dialog itself when chosen is null).
    void chooseFolder(const QString* chosen = nullptr);

    // "外部主力(&E)": writes the shown tab's rows, in its order and under its
    // filters, as XML or CSV, chosen by the last three letters of the name
    // the save dialog returns (or `chosen`). The dialog is run by
    // runSaveDialog, which tests replace.
    void exportActiveTab(const QString* chosen = nullptr);
    std::function<int(QFileDialog&)> runSaveDialog;
    // "集計(&S)": the shown tab's summary in a window of its own.
    frmSummary* openSummary();

    // The WHOIS window, preset with address; shown modally through
    // showWhois, which tests replace.
    void openWhois(const QString& address);
    std::function<void(class frmWhois&)> showWhois;
    // A double-click on a cell: a client address opens WHOIS, a referrer
    // that is a web address opens in the desktop's browser.
    void onItemClick(const QString& FieldName, const QString& Value);

    // Shutdown's saving steps (also run when the window is closed).
    void saveOnExit();

    static QString caption();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void placeWindow();
    void fitOnScreen();
    void buildMenu();
    void showRowCounts();
    void SetBusy(bool busy);
    // False when the user cancelled.
    template <class Command>
    bool runLoad(Command command);
    bool loadFile(const std::string& folder, const std::string& name);

    MainWindowPaths paths_;
    bool saved_ = false;
    bool placed_ = false;  // shown once: placed on its screen
    // The place the settings gave and the one the screen allowed: a place
    // forced by the screen (a run at a larger scale factor) is not stored
    // over the user's own.
    QRect storedPlace_, fittedPlace_;
};

}  // namespace brevadin
