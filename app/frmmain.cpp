#include "app/frmmain.h"

#include "app/frmsummary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QUrl>

#include <cmath>

#include "common/appinfo.h"
#include "common/atomicfile.h"
#include "common/frmabout.h"
#include "common/qtcommon.h"
#include "config/frmconfig.h"
#include "config/settingspath.h"
#include "export/csvexport.h"
#include "export/frmprogress.h"
#include "export/progressjob.h"
#include "export/xmlconv.h"
#include "gridview/datagridtab.h"
#include "gridview/qtgridview.h"
#include "logdata/loadcommands.h"
#include "logdata/loglisting.h"
#include "netlookup/frmwhois.h"

namespace brevadin {
namespace {

constexpr int kListWidth = 2625, kClientWidth = 10125, kClientHeight = 7710;

}  // namespace

// ---------------------------------------------------------------------------
// frmMain

MainWindowPaths defaultMainWindowPaths() {
    std::string folder = settingsFolder();
    MainWindowPaths p;
    p.settingsFile = settingsFilePath(folder, executableBaseName());
    p.hostsFile = joinPath(folder, "hosts.xml");
    p.whoisFile = joinPath(folder, "whoissv.xml");
    p.helpFile = helpFilePath();
    return p;
}

QString frmMain::caption() {
    return QString(kAppTitle) + "  Version " + QString::number(kVersionMajor) + "." +
           QString::number(kVersionRevision);
}

frmMain::frmMain(MainWindowPaths paths, const QString& startFolder,
                 std::shared_ptr<Resolver> resolver, QWidget* parent)
    : QMainWindow(parent),
      MyConfig(paths.settingsFile, executableBaseName()),
      paths_(std::move(paths)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(applicationIcon());
    splitMain = new QSplitter(Qt::Horizontal, this);
    splitMain->setObjectName(QStringLiteral("splitMain"));
    splitMain->setChildrenCollapsible(false);
    lsvLogList = new LogListView(splitMain);
    DataGridTab1 = new DataGridTab(splitMain);
    DataGridTab1->setObjectName(QStringLiteral("DataGridTab1"));
    splitMain->addWidget(lsvLogList);
    splitMain->addWidget(DataGridTab1);
    splitMain->setStretchFactor(1, 1);  // a wider window widens the grid
    setCentralWidget(splitMain);
    setAcceptDrops(true);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    statusPanel1 = new QLabel(StatusBar1);
    statusPanel1->setObjectName(QStringLiteral("statusPanel1"));
    // It shows the folder's path, which may be any bytes at all.
    statusPanel1->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(statusPanel1, 1);
    statusRows = new QLabel(StatusBar1);
    statusRows->setObjectName(QStringLiteral("statusRows"));
    statusRows->setTextFormat(Qt::PlainText);
    StatusBar1->addPermanentWidget(statusRows);
    setStatusBar(StatusBar1);
    buildMenu();

    connect(lsvLogList, &QTreeWidget::itemDoubleClicked, this, [this] { loadFirstSelected(); });
    connect(lsvLogList, &LogListView::enterPressed, this, &frmMain::loadEachSelected);

    // Start-up, in its order.
    setWindowTitle(caption());
    MyConfig.setDBGrid(DataGridTab1->DBGrig());
    MyConfig.Load();
    placeWindow();
    HostCache = resolver ? std::make_unique<::brevadin::HostCache>(resolver)
                         : std::make_unique<::brevadin::HostCache>();
    const Outcome hostsRead = HostCache->load(paths_.hostsFile).outcome;
    if (!hostsRead)
        QtMessageSink(this).showMessage(MessageIcon::Exclamation, hostsRead.description(), "");
    auto [servers, serversRead] = fncLoadWhoisServerList(paths_.whoisFile);
    WhoisServerList = std::move(servers);
    if (!serversRead)
        QtMessageSink(this).showMessage(MessageIcon::Exclamation, serversRead.description(), "");
    if (!startFolder.isEmpty()) {
        // A folder named on the command line is listed instead, and becomes
        // the configured one only when it could be listed.
        if (!fncGetLogList(startFolder)) MyConfig.ReadPath = startFolder.toStdString();
    } else {
        fncGetLogList(QString::fromStdString(MyConfig.ReadPath));
    }
}

frmMain::~frmMain() {
    saveOnExit();
}

void frmMain::buildMenu() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, QAction*& action, const char* name, const QString& text) {
        action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
    };
    mitmFile = bar->addMenu(QStringLiteral("ファイル（&F）"));
    mitmFile->setObjectName(QStringLiteral("mitmFile"));
    item(mitmFile, mitmOpen, "mitmOpen", QStringLiteral("開く（&O）"));
    item(mitmFile, mitmRefresh, "mitmRefresh", QStringLiteral("最新の情報に更新(&R)"));
    mitmRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    item(mitmFile, mitmExit, "mitmExit", QStringLiteral("アプリケーションの終了（&X）"));
    mitmTab = bar->addMenu(QStringLiteral("ログ(&L)"));
    mitmTab->setObjectName(QStringLiteral("mitmTab"));
    item(mitmTab, mitmAddTab, "mitmAddTab", QStringLiteral("タブの追加(&A)"));
    mitmDelete = DataGridTab1->mitmCloseTab();  // with its key, Ctrl+W
    mitmTab->addAction(mitmDelete);
    mitmTab->addSeparator()->setObjectName(QStringLiteral("mitmBorder"));
    item(mitmTab, mitmExport, "mitmExport", QStringLiteral("外部主力(&E)"));
    item(mitmTab, mitmSummary, "mitmSummary", QStringLiteral("集計(&S)"));
    mitmSummary->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    mitmEdit = bar->addMenu(QStringLiteral("編集(&E)"));
    mitmEdit->setObjectName(QStringLiteral("mitmEdit"));
    item(mitmEdit, mitmCopy, "mitmCopy", QStringLiteral("コピー(&C)        Ctrl+C"));
    item(mitmEdit, mitmSelAll, "mitmSelAll", QStringLiteral("全て選択(&A)    Ctrl+A"));
    mitmEdit->addSeparator();
    // The tab's own actions: their keys work anywhere in the window.
    mitmFind = DataGridTab1->mitmFind();
    mitmFilter = DataGridTab1->mitmFilter();
    mitmEdit->addAction(mitmFind);
    mitmEdit->addAction(mitmFilter);
    mitmTool = bar->addMenu(QStringLiteral("ツール(&T)"));
    mitmTool->setObjectName(QStringLiteral("mitmTool"));
    item(mitmTool, mitmWhois, "mitmWhois", QStringLiteral("Whois検索(&W)"));
    item(mitmTool, mitmOption, "mitmOption", QStringLiteral("オプション(&O)"));
    mitmHelp = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    mitmHelp->setObjectName(QStringLiteral("mitmHelp"));
    item(mitmHelp, mitmShowHelp, "mitmShowHelp", QStringLiteral("ヘルプ(&H)"));
    mitmHelp->addSeparator()->setObjectName(QStringLiteral("mitmBorder2"));
    item(mitmHelp, mitmVersion, "mitmVersion", QStringLiteral("バージョン(&V)"));

    connect(mitmOpen, &QAction::triggered, this, [this] { chooseFolder(); });
    connect(mitmExit, &QAction::triggered, this, &QWidget::close);
    connect(mitmAddTab, &QAction::triggered, this, [this] { addTabOfSelected(); });
    connect(mitmRefresh, &QAction::triggered, this, [this] {
        const QString shown = lsvLogList->folder();
        // The logs the user had picked stay picked where they are still there.
        const std::vector<std::string> picked = lsvLogList->selectedFileNames();
        fncGetLogList(shown.isEmpty() ? QString::fromStdString(MyConfig.ReadPath) : shown);
        QList<QTreeWidgetItem*> again;
        for (int i = 0; i < lsvLogList->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = lsvLogList->topLevelItem(i);
            const std::string name = row->data(0, Qt::UserRole).toByteArray().toStdString();
            if (std::find(picked.begin(), picked.end(), name) != picked.end()) again << row;
        }
        if (again.isEmpty()) return;
        lsvLogList->clearSelection();
        lsvLogList->setCurrentItem(again.front(), 0, QItemSelectionModel::NoUpdate);
        for (QTreeWidgetItem* row : again) row->setSelected(true);
        lsvLogList->scrollToItem(again.front());
    });
    connect(mitmExport, &QAction::triggered, this, [this] { exportActiveTab(); });
    connect(mitmSummary, &QAction::triggered, this, [this] { openSummary(); });
    connect(mitmCopy, &QAction::triggered, this, [this] { DataGridTab1->CopySelected(); });
    connect(mitmSelAll, &QAction::triggered, this, [this] { DataGridTab1->SelectAll(); });
    connect(mitmWhois, &QAction::triggered, this, [this] { openWhois(QString()); });
    connect(DataGridTab1, &DataGridTab::ItemClick, this, &frmMain::onItemClick);
    connect(DataGridTab1, &DataGridTab::RowsChanged, this, &frmMain::showRowCounts);
    connect(mitmOption, &QAction::triggered, this, [this] {
        frmConfig options(MyConfig, this);
        options.exec();
    });
    connect(mitmShowHelp, &QAction::triggered, this, [this] {
        openWithDesktop(QUrl::fromLocalFile(QString::fromStdString(paths_.helpFile)), this);
    });
    connect(mitmVersion, &QAction::triggered, this, [this] {
        frmAbout about(this);
        about.exec();
    });
}

bool frmMain::fncGetLogList(const QString& folder) {
    LogListing listing = listLogFolder(folder.toStdString());
    if (!listing.folderExists) {
        statusPanel1->setText(QStringLiteral("フォルダが見つかりません。"));
        return true;
    }
    lsvLogList->clear();
    lsvLogList->setFolder(folder);
    for (const auto& it : listing.items)
        lsvLogList->addFile(it.name, it.sizeKB ? QString::number(*it.sizeKB) + "KB" : QString());
    if (lsvLogList->topLevelItemCount() > 0) {
        lsvLogList->setCurrentItem(lsvLogList->topLevelItem(0));
        lsvLogList->topLevelItem(0)->setSelected(true);
    }
    statusPanel1->setText(folder);
    // One report per listing, however many files failed.
    if (listing.error)
        ShowFatalError(QString::fromStdString(listing.error->procedure), listing.error->number,
                       QString::fromStdString(listing.error->description));
    return false;
}

void frmMain::showRowCounts() {
    if (!DataGridTab1->Recordset()) {
        statusRows->clear();
        return;
    }
    // Digits in threes, as counts are written in Japan too, whatever the locale.
    const QLocale grouped(QLocale::English);
    statusRows->setText(
        QStringLiteral("表示 %1 行 / 全 %2 行")
            .arg(grouped.toString(static_cast<qulonglong>(DataGridTab1->ShownRows())),
                 grouped.toString(static_cast<qulonglong>(DataGridTab1->TotalRows()))));
}

void frmMain::SetBusy(bool busy) {
    setEnabled(!busy);
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

template <class Command>
bool frmMain::runLoad(Command command) {
    SetBusy(true);
    frmProgress progress(this);
    progress.setWindowModality(Qt::NonModal);
    progress.show();
    LoadContext ctx;
    ctx.settings = MyConfig.readerSettings();
    ctx.hosts = HostCache.get();
    LoadResult r;
    JobReport report = runWithProgress(progress, [&](ProgressSink& p, MessageSink& m) {
        ctx.progress = &p;
        ctx.messages = &m;
        r = command(ctx);
    });
    progress.close();
    QtMessageSink messages(this);
    for (const ReportedMessage& m : report.messages) messages.showMessage(m.icon, m.text, m.title);
    const LoadOutcome outcome = loadOutcome(r, report.cancelled);
    switch (outcome) {
        case LoadOutcome::NothingToShow:
            fncCallMessage(QStringLiteral("表示できるログがありません"), kMsgInformation,
                           QString(kAppTitle), this);
            break;
        case LoadOutcome::Loaded:
            DataGridTab1->AddTab(LogListView::visibleName(r.caption), r.table);
            break;
        case LoadOutcome::Cancelled:
        case LoadOutcome::Failed:
            break;  // a failure has told its reason through the messages above
    }
    SetBusy(false);
    return outcome != LoadOutcome::Cancelled;
}

bool frmMain::loadFile(const std::string& folder, const std::string& name) {
    const int32_t type = MyConfig.LogType;
    return runLoad([&](LoadContext& ctx) {
        LoadResult r = loadSingleLog(folder, name, type, ctx);
        if (!r.table && !r.nothingToShow) r.caption.clear();  // failed: no tab
        return r;
    });
}

void frmMain::loadFirstSelected() {
    const std::vector<std::string> names = lsvLogList->selectedFileNames();
    if (!names.empty()) loadFile(lsvLogList->folder().toStdString(), names.front());
}

void frmMain::loadEachSelected() {
    const std::string folder = lsvLogList->folder().toStdString();
    // A cancel stops the rest too: the user wants the loading to end.
    for (const std::string& name : lsvLogList->selectedFileNames())
        if (!loadFile(folder, name)) break;
}

void frmMain::openPaths(const QStringList& paths) {
    for (const QString& given : paths) {
        const QFileInfo info(given);
        if (!info.isFile()) {  // a folder, or a name that is neither: said as today
            const QString folder = QDir::cleanPath(info.absoluteFilePath());
            if (!fncGetLogList(folder)) MyConfig.ReadPath = folder.toStdString();
            continue;
        }
        const QString folder = QDir::cleanPath(info.absolutePath());
        if (folder != lsvLogList->folder() && !fncGetLogList(folder))
            MyConfig.ReadPath = folder.toStdString();
        const QByteArray name = QFile::encodeName(info.fileName());
        for (int i = 0; i < lsvLogList->topLevelItemCount(); ++i) {
            QTreeWidgetItem* row = lsvLogList->topLevelItem(i);
            row->setSelected(row->data(0, Qt::UserRole).toByteArray() == name);
        }
        if (!loadFile(folder.toStdString(), name.toStdString())) break;
    }
}

void frmMain::addTabOfSelected() {
    std::vector<std::string> names = lsvLogList->selectedFileNames();
    std::string folder = lsvLogList->folder().toStdString();
    int32_t type = MyConfig.LogType;
    runLoad([&](LoadContext& ctx) { return gatherLogs(folder, names, type, ctx); });
}

void frmMain::chooseFolder(const QString* chosen) {
    QString old = QString::fromStdString(MyConfig.ReadPath);
    QString picked =
        chosen ? *chosen : BrowseFolder(this, QStringLiteral("フォルダを指定してください"), old);
    // The same folder again lists it anew: a log may have been added.
    if (picked.isEmpty()) return;
    if (!fncGetLogList(picked)) MyConfig.ReadPath = picked.toStdString();
}

frmSummary* frmMain::openSummary() {
    if (!DataGridTab1->Recordset()) {
        fncCallMessage(QStringLiteral("アクティブなログがありません。"), kMsgOkOnly, QString(),
                       this);
        return nullptr;
    }
    auto* window = new frmSummary(DataGridTab1, MyConfig.TimeDiff, this);
    window->show();
    return window;
}

void frmMain::exportActiveTab(const QString* chosen) {
    RecordsetPtr table = DataGridTab1->Recordset();
    if (!table) {
        fncCallMessage(QStringLiteral("アクティブなログがありません。"), kMsgOkOnly, QString(),
                       this);
        return;
    }
    QString name = chosen ? *chosen : QString();
    if (!chosen) {
        QFileDialog dialog(this);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        const QStringList types = {QStringLiteral("XMLファイル(*.xml)"),
                                   QStringLiteral("CSVファイル(*.csv)")};
        const auto extension = [&](const QString& type) {
            return type == types[1] ? QStringLiteral("csv") : QStringLiteral("xml");
        };
        dialog.setNameFilters(types);
        // A bare name gets the chosen type's extension before the dialog
        // asks about overwriting.
        dialog.setDefaultSuffix(extension(types[0]));
        connect(&dialog, &QFileDialog::filterSelected, &dialog,
                [&](const QString& type) { dialog.setDefaultSuffix(extension(type)); });
        dialog.setDirectory(MyConfig.ExportPath.empty()
                                ? lsvLogList->folder()
                                : QString::fromStdString(MyConfig.ExportPath));
        QTabBar* tabs = DataGridTab1->tabLogViews();
        QString caption = tabs->tabText(tabs->currentIndex()).replace(QStringLiteral("&&"), "&");
        dialog.selectFile(caption.replace(QLatin1Char('/'), QLatin1Char('_')) + ".xml");
        if ((runSaveDialog ? runSaveDialog(dialog) : dialog.exec()) != QDialog::Accepted) return;
        name = dialog.selectedFiles().value(0);
        if (name.isEmpty()) return;
        if (QFileInfo(name).suffix().isEmpty())
            name += "." + extension(dialog.selectedNameFilter());
        MyConfig.ExportPath = QFileInfo(name).absolutePath().toStdString();
    }
    std::string file = name.toStdString();
    ExportKind kind = exportKindForFileName(file);
    if (kind == ExportKind::Unknown) {
        fncCallMessage(QStringLiteral("拡張子を特定できませんでした。"), kMsgOkOnly, QString(),
                       this);
        return;
    }
    SetBusy(true);
    frmProgress progress(this);
    progress.show();
    progress.setMaxCount(1);
    const std::string message = QFileInfo(name).fileName().toStdString() + " を書き出し中";
    // The rows as the tab shows them, copied: the tab may change while the
    // export runs.
    const std::vector<uint32_t> rows = DataGridTab1->ShownRowList();
    progress.setMaxCountMini(static_cast<int64_t>(rows.size()));
    Outcome written;
    JobReport report = runWithProgress(progress, [&](ProgressSink& p, MessageSink&) {
        size_t reported = 0;
        WriteProgress step = [&](size_t done, size_t) {
            bool cancel = p.UpdateStatus(message, static_cast<int64_t>(done - reported), true);
            reported = done;
            return cancel;
        };
        written = kind == ExportKind::Xml ? fncSaveRecordsetToXml(*table, file, step, &rows)
                                          : saveRecordsetToCsv(*table, file, step, &rows);
    });
    const bool cancelled = report.cancelled;
    progress.close();
    SetBusy(false);
    // A cancelled export leaves the old file as it was, which needs no message.
    if (!written && !cancelled)
        fncCallMessage(QStringLiteral("書き出しに失敗しました。\n") +
                           QString::fromStdString(written.description()),
                       kMsgCritical, QString(), this);
}

void frmMain::openWhois(const QString& address) {
    frmWhois whois(this);
    whois.setAddress(address);
    whois.setWhoisServers(&WhoisServerList);
    if (showWhois)
        showWhois(whois);
    else
        whois.exec();
}

void frmMain::onItemClick(const QString& FieldName, const QString& Value) {
    if (FieldName == QLatin1String("c-ip")) {
        openWhois(whoisAddressFromCell(Value));
    } else if (FieldName == QLatin1String("cs(Referer)")) {
        if (isOpenableReferrer(Value)) openWithDesktop(QUrl(Value), this);
    }
}

void frmMain::saveOnExit() {
    if (saved_) return;
    saved_ = true;
    if (placed_) {
        QRect normal = normalGeometry();
        if (storedPlace_.isValid()) {
            if (normal.size() == fittedPlace_.size()) normal.setSize(storedPlace_.size());
            if (normal.topLeft() == fittedPlace_.topLeft())
                normal.moveTopLeft(storedPlace_.topLeft());
        }
        MyConfig.WinLeft = normal.x();
        MyConfig.WinTop = normal.y();
        MyConfig.WinWidth = normal.width();
        MyConfig.WinHeight = normal.height();
        MyConfig.WinMaximized = isMaximized();
        MyConfig.ListWidth = splitMain->sizes().value(0);
    }
    if (const Outcome saved = MyConfig.Save(); !saved && !saved.description().empty())
        QtMessageSink(this).showMessage(MessageIcon::Exclamation, saved.description(), "");
    if (!HostCache) return;
    if (const Outcome saved = HostCache->save(paths_.hostsFile); !saved)
        QtMessageSink(this).showMessage(MessageIcon::Exclamation, saved.description(), "");
}

void frmMain::placeWindow() {
    const int list =
        MyConfig.ListWidth > 0 ? MyConfig.ListWidth : pixelsFromTwips(this, kListWidth);
    if (MyConfig.WinWidth > 0 && MyConfig.WinHeight > 0) {
        storedPlace_ =
            QRect(MyConfig.WinLeft, MyConfig.WinTop, MyConfig.WinWidth, MyConfig.WinHeight);
        setGeometry(storedPlace_);
        // Fitted now too: a maximised window comes back to this place later.
        fitOnScreen();
        fittedPlace_ = geometry();
        if (MyConfig.WinMaximized) setWindowState(windowState() | Qt::WindowMaximized);
    } else {
        // The first start: the designed size, grown where the screen has room
        // so that more of the columns show.
        const QSize designed(pixelsFromTwips(this, kClientWidth),
                             pixelsFromTwips(this, kClientHeight) + menuBar()->sizeHint().height());
        const QScreen* where = screen() ? screen() : QGuiApplication::primaryScreen();
        const QSize room = where ? where->availableGeometry().size() * 0.9 : designed;
        resize(std::max(designed.width(), std::min(room.width(), 1280)),
               std::max(designed.height(), std::min(room.height(), 860)));
    }
    splitMain->setSizes({list, std::max(width() - list, 1)});
}

void frmMain::fitOnScreen() {
    QScreen* where = QGuiApplication::screenAt(geometry().center());
    if (!where) where = screen();
    if (!where) return;
    const QRect outer = frameGeometry(), inner = geometry();
    QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                   outer.right() - inner.right(), outer.bottom() - inner.bottom());
    // Until the window manager has framed the window its frame is unknown:
    // allow for a usual title bar and border.
    if (frame.isNull()) {
        const int border = 4;
        frame = QMargins(border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border,
                         border);
    }
    setGeometry(
        fittedToArea(inner.marginsAdded(frame), where->availableGeometry()).marginsRemoved(frame));
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    // A maximum, not a fixed width: a fixed one would push the window wider.
    statusPanel1->setMaximumWidth(std::max(1, frameGeometry().width() - 5));
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (placed_) return;
    placed_ = true;
    // A stored place is kept, only brought back onto the screen.
    if (MyConfig.WinWidth <= 0) CenterWindow(this);
    if (!isMaximized()) fitOnScreen();
    if (storedPlace_.isValid()) fittedPlace_ = normalGeometry();
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    // The list's own drags go out to other programs, not back in.
    if (event->mimeData()->hasUrls() && event->source() != lsvLogList)
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    if (paths.isEmpty() || event->source() == lsvLogList) return;
    event->acceptProposedAction();
    // The program the files come from waits until the drop ends: load after it.
    QTimer::singleShot(0, this, [this, paths] { openPaths(paths); });
}

void frmMain::closeEvent(QCloseEvent* event) {
    saveOnExit();
    QMainWindow::closeEvent(event);
}

}  // namespace brevadin
