#include "app/frmmain.h"

#include "app/frmsummary.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
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

constexpr int kListWidth = 2625, kListHeight = 7215, kGridLeft = 2640, kGridWidth = 7455,
              kClientWidth = 10125, kClientHeight = 7710;

}  // namespace

// ---------------------------------------------------------------------------
// LogListView

LogListView::LogListView(QWidget* parent) : QTreeWidget(parent) {
    setObjectName(QStringLiteral("lsvLogList"));
    setColumnCount(2);
    setHeaderLabels({QStringLiteral("ファイル名"), QStringLiteral("サイズ")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    header()->setStretchLastSection(false);
    header()->resizeSection(0, pixelsFromTwips(this, 2540));
    header()->resizeSection(1, pixelsFromTwips(this, 1411));
}

QStringList LogListView::selectedNames() const {
    QStringList names;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected()) names << topLevelItem(i)->text(0);
    return names;
}

std::vector<std::string> LogListView::selectedFileNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (topLevelItem(i)->isSelected())
            names.push_back(topLevelItem(i)->data(0, Qt::UserRole).toByteArray().toStdString());
    return names;
}

void LogListView::addFile(const std::string& name, const QString& size) {
    auto* row = new QTreeWidgetItem(this);
    row->setText(0, visibleName(name));
    row->setData(0, Qt::UserRole, QByteArray::fromStdString(name));
    row->setText(1, size);
    row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
}

QString LogListView::visibleName(std::string_view bytes) {
    QString out;
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80             ? 1
                        : (lead & 0xE0) == 0xC0 ? 2
                        : (lead & 0xF0) == 0xE0 ? 3
                        : (lead & 0xF8) == 0xF0 ? 4
                                                : 0;
        bool valid = length > 0 && i + length <= bytes.size();
        for (size_t k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
        if (valid && length > 1) {
            // Overlong forms and surrogates do not survive the round trip.
            const QString one = QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(length));
            valid = one.toUtf8() == QByteArray(bytes.data() + i, static_cast<qsizetype>(length));
            if (valid) out += one;
        } else if (valid) {
            out += QLatin1Char(static_cast<char>(lead));
        }
        if (valid) {
            i += length;
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(lead, 16).rightJustified(2, QLatin1Char('0')).toUpper();
            ++i;
        }
    }
    return out;
}

QStringList LogListView::mimeTypes() const {
    return {QStringLiteral("text/uri-list")};
}

QMimeData* LogListView::mimeData(const QList<QTreeWidgetItem*>&) const {
    // Full paths of every selected item, in list order, percent-encoded from
    // their bytes so that a name that is not UTF-8 arrives as it is.
    QList<QUrl> urls;
    for (const std::string& name : selectedFileNames())
        urls << QUrl::fromEncoded(
            "file://" +
            QByteArray::fromStdString(logPath(folder_.toStdString(), name)).toPercentEncoding("/"));
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
}

void LogListView::startDrag(Qt::DropActions) {
    if (selectedNames().isEmpty()) return;
    auto* drag = new QDrag(this);
    drag->setMimeData(mimeData({}));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

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
    auto* central = new QWidget(this);
    setCentralWidget(central);
    lsvLogList = new LogListView(central);
    DataGridTab1 = new DataGridTab(central);
    DataGridTab1->setObjectName(QStringLiteral("DataGridTab1"));
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

    lsvLogList->setGeometry(0, 0, pixelsFromTwips(this, kListWidth),
                            pixelsFromTwips(this, kListHeight));
    DataGridTab1->setGeometry(pixelsFromTwips(this, kGridLeft), 0,
                              pixelsFromTwips(this, kGridWidth),
                              pixelsFromTwips(this, kListHeight));
    resize(pixelsFromTwips(this, kClientWidth),
           pixelsFromTwips(this, kClientHeight) + menuBar()->sizeHint().height());

    connect(lsvLogList, &QTreeWidget::itemDoubleClicked, this, [this] { loadFirstSelected(); });

    // Start-up, in its order.
    setWindowTitle(caption());
    MyConfig.setDBGrid(DataGridTab1->DBGrig());
    MyConfig.Load();
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
    item(mitmFile, mitmExit, "mitmExit", QStringLiteral("アプリケーションの終了（&X）"));
    mitmTab = bar->addMenu(QStringLiteral("ログ(&L)"));
    mitmTab->setObjectName(QStringLiteral("mitmTab"));
    item(mitmTab, mitmAddTab, "mitmAddTab", QStringLiteral("タブの追加(&A)"));
    item(mitmTab, mitmDelete, "mitmDelete", QStringLiteral("タブの削除(&D)"));
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
    connect(mitmDelete, &QAction::triggered, this, [this] { DataGridTab1->RemoveTab(); });
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
void frmMain::runLoad(Command command) {
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
    switch (loadOutcome(r, report.cancelled)) {
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
}

void frmMain::loadFirstSelected() {
    std::vector<std::string> names = lsvLogList->selectedFileNames();
    std::string folder = lsvLogList->folder().toStdString();
    int32_t type = MyConfig.LogType;
    if (names.empty()) return;
    runLoad([&](LoadContext& ctx) {
        LoadResult r = loadSingleLog(folder, names.front(), type, ctx);
        if (!r.table && !r.nothingToShow) r.caption.clear();  // failed: no tab
        return r;
    });
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
    if (picked.isEmpty() || picked == old) return;
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
    QString name = chosen ? *chosen
                          : QFileDialog::getSaveFileName(
                                this, QString(), QString(),
                                QStringLiteral("XMLファイル(*.xml);;CSVファイル(*.csv)"));
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
    if (const Outcome saved = MyConfig.Save(); !saved && !saved.description().empty())
        QtMessageSink(this).showMessage(MessageIcon::Exclamation, saved.description(), "");
    if (!HostCache) return;
    if (const Outcome saved = HostCache->save(paths_.hostsFile); !saved)
        QtMessageSink(this).showMessage(MessageIcon::Exclamation, saved.description(), "");
}

void frmMain::layoutForOuterSize(int width, int height) {
    int gridWidth = width - DataGridTab1->x() - 8;
    if (gridWidth > 0) DataGridTab1->resize(gridWidth, DataGridTab1->height());
    int contentHeight = height - StatusBar1->height() - DataGridTab1->y() - 45;
    if (contentHeight > 0) {
        DataGridTab1->resize(DataGridTab1->width(), contentHeight);
        lsvLogList->resize(lsvLogList->width(), contentHeight);
    }
    // A maximum, not a fixed width: a fixed one would push the window wider.
    statusPanel1->setMaximumWidth(std::max(1, width - 5));
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    QRect outer = frameGeometry();
    layoutForOuterSize(outer.width(), outer.height());
}

void frmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!centred_) {
        centred_ = true;
        CenterWindow(this);
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    saveOnExit();
    QMainWindow::closeEvent(event);
}

}  // namespace brevadin
