// The main window driven as a user would, offscreen. Client addresses are
// resolved by a fake resolver: nothing leaves the machine.
#include "app/frmmain.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/frmsummary.h"
#include "common/atomicfile.h"
#include "common/qtcommon.h"
#include "export/frmprogress.h"
#include "export/xmlconv.h"
#include "gridview/datagridtab.h"
#include "gridview/qtgridview.h"
#include "netlookup/frmwhois.h"
#include "tests/support/capturedmessages.h"
#include "tests/support/fakeresolver.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

std::string w3c(const std::string& lines) {
    return "#Software: test\r\n#Date: 2003-05-01 00:00:00\r\n"
           "#Fields: date time c-ip cs-uri-stem\r\n" +
           lines;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(logs);
        writeFile(logs + "/a.log", w3c("2003-05-01 20:30:15 192.0.2.1 /index.html\r\n"
                                       "2003-05-01 10:00:00 127.0.0.1 /\r\n"));
        writeFile(logs + "/b.log", w3c("2003-05-01 11:00:00 192.0.2.9 /b.html\r\n"));
        writeFile(logs + "/img.log", w3c("2003-05-01 11:00:00 192.0.2.9 /b.gif\r\n"));
        writeFile(logs + "/notes.txt", "x");
        paths = {dir.file("brevadin.ini"), dir.file("hosts.xml"), dir.file("whoissv.xml"),
                 dir.file("index.html")};
        resolver->answer("192.0.2.1", "one.example.jp");
    }

    std::unique_ptr<frmMain> open(const std::string& folder) {
        auto w = std::make_unique<frmMain>(paths, QString::fromStdString(folder), resolver);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    void select(frmMain& w, const QStringList& names) {
        for (int i = 0; i < w.lsvLogList->topLevelItemCount(); ++i) {
            auto* item = w.lsvLogList->topLevelItem(i);
            item->setSelected(names.contains(item->text(0)));
        }
    }
    QStringList tabCaptions(frmMain& w) {
        QStringList captions;
        for (int i = 0; i < w.DataGridTab1->TabCount(); ++i)
            captions << w.DataGridTab1->tabLogViews()->tabText(i);
        return captions;
    }

    TempFolder dir;
    std::string logs = dir.file("logs");
    MainWindowPaths paths;
    std::shared_ptr<testing::FakeResolver> resolver = std::make_shared<testing::FakeResolver>();
    testing::CapturedMessages captured;
    std::vector<QString>& messages = captured.prompts;
};

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(MainWindowTest, ListsTheFolderAndShowsTheChosenLogsAndCells) {
    auto w = open(logs);
    ASSERT_EQ(w->lsvLogList->topLevelItemCount(), 3);  // logs only
    EXPECT_EQ(w->statusPanel1->text(), QString::fromStdString(logs));
    // Dragged out, the selected logs go as files, in list order.
    select(*w, {"b.log", "a.log"});
    std::unique_ptr<QMimeData> data(
        w->lsvLogList->model()->mimeData(w->lsvLogList->selectionModel()->selectedIndexes()));
    EXPECT_EQ(data->urls(),
              (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(logs + "/a.log")),
                           QUrl::fromLocalFile(QString::fromStdString(logs + "/b.log"))}));

    const QRect rect = w->lsvLogList->visualItemRect(w->lsvLogList->topLevelItem(0));
    QTest::mouseClick(w->lsvLogList->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(w->lsvLogList->viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_EQ(w->DataGridTab1->TabCount(), 1);
    EXPECT_EQ(tabCaptions(*w), QStringList{"a.log"});
    // Shifted by +9 hours, resolved once through the cache, shown newest first.
    w->mitmSelAll->trigger();
    w->mitmCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("date\ttime\tc-ip\tcs-uri-stem\r\n"
                             "2003-05-02\t05:30:15\tone.example.jp [192.0.2.1]\t/index.html\r\n"
                             "2003-05-01\t19:00:00\tLocal Host [127.0.0.1]\t/"));
    EXPECT_EQ(resolver->totalCalls(), 1);

    select(*w, {"b.log", "a.log"});
    w->addTabOfSelected();
    EXPECT_EQ(tabCaptions(*w), (QStringList{"a.log", "a.log～b.log"}));
    EXPECT_EQ(w->DataGridTab1->Recordset()->rowCount(), 3u);
    w->MyConfig.IncludeAll = false;
    w->MyConfig.IncludeHTML = true;
    for (const QStringList& names : {QStringList(), QStringList{"img.log"}}) {
        select(*w, names);
        messages.clear();
        names.isEmpty() ? w->addTabOfSelected() : w->loadFirstSelected();
        EXPECT_EQ(messages, std::vector{QStringLiteral("表示できるログがありません")});
    }
    EXPECT_EQ(w->DataGridTab1->TabCount(), 2);

    // Double-clicked cells open WHOIS on the client or an openable referrer.
    QString address = QStringLiteral("unset");
    w->showWhois = [&](frmWhois& dlg) { address = dlg.Address(); };
    w->onItemClick("c-ip", "one.example.jp [192.0.2.1]");
    EXPECT_EQ(address, "192.0.2.1");
    w->mitmWhois->trigger();  // from the menu, with no address
    EXPECT_EQ(address, "");

    UrlCatcher catcher;
    const QStringList schemes = {"http", "https", "file"};
    for (const QString& s : schemes) QDesktopServices::setUrlHandler(s, &catcher, "open");
    w->onItemClick("cs(Referer)", "https://www.example.co.jp/search?q=%93%FA");
    w->onItemClick("cs(Referer)", "file:///etc/passwd");
    w->onItemClick("cs-uri-stem", "http://not.a.referrer/");
    for (const QString& s : schemes) QDesktopServices::unsetUrlHandler(s);
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].host(), "www.example.co.jp");
}

// The summary follows its tab: a double-click on a client brings the tab
// forward filtered to that client, and the sums follow the filter.
TEST_F(MainWindowTest, SummaryOfATabLeadsBackToItsRows) {
    auto w = open(logs);
    select(*w, {"a.log"});
    w->loadFirstSelected();
    select(*w, {"a.log", "b.log"});
    w->addTabOfSelected();
    frmSummary* s = w->openSummary();
    ASSERT_TRUE(s);
    QSignalSpy updated(s, &frmSummary::updated);
    ASSERT_TRUE(updated.wait());
    EXPECT_EQ(s->lblRequests()->text(), "3");
    EXPECT_TRUE(s->saveChart(QString::fromStdString(dir.file("c.png"))));
    EXPECT_EQ(readFile(dir.file("c.png")).substr(1, 3), "PNG");
    s->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(s));
    s->list(SummaryList::Clients)->setFocus();
    QTest::keyClick(s->list(SummaryList::Clients), Qt::Key_C, Qt::ControlModifier);
    // The whole list under the list's own header, ties by text: "L" before "U" before "o".
    QStringList header;
    for (int c = 0; c < 3; ++c)
        header << s->list(SummaryList::Clients)->horizontalHeaderItem(c)->text();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              header.join('\t') +
                  "\nLocal Host [127.0.0.1]\t1\t0\n"
                  "Unknown [192.0.2.9]\t1\t0\none.example.jp [192.0.2.1]\t1\t0\n");

    w->DataGridTab1->setTabIndex(1);
    Q_EMIT s->list(SummaryList::Clients)->cellDoubleClicked(2, 0);
    EXPECT_EQ(w->DataGridTab1->TabIndex(), 2);
    EXPECT_EQ(w->DataGridTab1->txtFilter()->text().toStdString(),
              "[c-ip] = 'one.example.jp [192.0.2.1]'");
    EXPECT_EQ(w->DataGridTab1->ShownRows(), 1u);
    ASSERT_TRUE(updated.wait());
    EXPECT_EQ(s->lblRequests()->text(), "1");
}

TEST_F(MainWindowTest, CancelDuringALoadAddsNoTabAndFreesTheWindow) {
    std::string big = "#Fields: date time c-ip cs-uri-stem\n";
    for (int i = 0; i < 400000; ++i) big += "2003-05-01 10:00:00 127.0.0.1 /index.html\n";
    writeFile(logs + "/big.log", big);
    auto w = open(logs);
    bool sawBusy = false, clicked = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* progress = qobject_cast<frmProgress*>(top);
            if (!progress || !progress->isVisible() || clicked) continue;
            sawBusy = !w->isEnabled();
            clicked = true;
            QTest::mouseClick(progress->cmdCancel(), Qt::LeftButton);
        }
    });
    poll.start(5);
    // A double-click and "タブの追加" alike: no tab with part of the rows.
    for (const bool addTab : {false, true}) {
        clicked = sawBusy = false;
        select(*w, {"big.log"});
        addTab ? w->addTabOfSelected() : w->loadFirstSelected();
        EXPECT_TRUE(clicked && sawBusy);  // the main window was disabled during the load
        EXPECT_EQ(w->DataGridTab1->TabCount(), 0);
        EXPECT_TRUE(w->isEnabled());
        EXPECT_TRUE(messages.empty());
    }
    poll.stop();
}

TEST_F(MainWindowTest, ExportFollowsTheExtensionRuleAndReportsFailures) {
    auto w = open(logs);
    const auto exportTo = [&](const char* name) {
        QString path = QString::fromStdString(dir.file(name));
        messages.clear();
        w->exportActiveTab(&path);
        EXPECT_TRUE(w->isEnabled());
        return std::filesystem::is_regular_file(dir.file(name));
    };
    EXPECT_FALSE(exportTo("x.xml"));
    EXPECT_EQ(messages, std::vector{QStringLiteral("アクティブなログがありません。")});
    select(*w, {"a.log"});
    w->loadFirstSelected();
    EXPECT_TRUE(exportTo("logxml"));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(fncGetRecordsetFromXml(dir.file("logxml"))->rowCount(), 2u);
    EXPECT_FALSE(exportTo("no/such/dir/t.csv"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QString::fromStdString(dir.file("no/such/dir/t.csv"))));

    // Through the dialog: it opens in the log folder, then in the last
    // export's, proposing the tab's caption; a bare name takes the chosen
    // type's extension; Cancel is silent.
    const struct {
        const char *type, *typed, *written, *message;
    } saves[] = {{"CSVファイル(*.csv)", "bare", "bare.csv", nullptr},
                 {"XMLファイル(*.xml)", "bare", "bare.xml", nullptr},
                 {"XMLファイル(*.xml)", "page.htm", nullptr, "拡張子を特定できませんでした。"},
                 {"CSVファイル(*.csv)", nullptr, nullptr, nullptr}};
    QString opened = QString::fromStdString(logs), proposed;
    for (const auto& save : saves) {
        w->runSaveDialog = [&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.directory().absolutePath(), opened);
            proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
            dialog.setDirectory(opened = QString::fromStdString(dir.path()));
            dialog.selectNameFilter(save.type);
            Q_EMIT dialog.filterSelected(save.type);  // as a choice in the type box does
            dialog.selectFile(save.typed);
            return save.typed ? QDialog::Accepted : QDialog::Rejected;
        };
        messages.clear();
        w->mitmExport->trigger();
        EXPECT_EQ(proposed, "a.log.xml");
        EXPECT_EQ(messages, save.message ? std::vector{QString(save.message)} : messages);
        EXPECT_TRUE(!save.written || std::filesystem::is_regular_file(dir.file(save.written)));
    }
    EXPECT_TRUE(messages.empty());  // after Cancel
}

// A file on the command line, a dropped file or folder and Enter on the list
// open as a double-click does, each file in a tab of its own; F5 lists anew.
TEST_F(MainWindowTest, FilesOpenEveryWayAndF5ListsTheFolderAnew) {
    auto w = open(dir.path());
    const auto drop = [&](const std::string& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w.get(), &enter);
        QApplication::sendEvent(w.get(), &event);
        QCoreApplication::processEvents();  // the drop ends before the load
    };
    const std::pair<std::function<void()>, QStringList> ways[] = {
        {[&] {
             w->openPaths({QString::fromStdString(logs + "/b.log"),
                           QString::fromStdString(logs + "/a.log")});
         },
         {"b.log", "a.log"}},
        {[&] { drop(dir.path()), drop(logs + "/img.log"); }, {"img.log"}},
        {[&] { drop(dir.path()), drop(logs); }, {}},
        {[&] {
             select(*w, {"a.log", "b.log"}), QTest::keyClick(w->lsvLogList, Qt::Key_Return);
         },
         {"a.log", "b.log"}}};
    for (const auto& [act, tabs] : ways) {
        const int before = w->DataGridTab1->TabCount();
        act();
        EXPECT_EQ(w->statusPanel1->text(), QString::fromStdString(logs));
        EXPECT_EQ(tabCaptions(*w).mid(before), tabs);
    }
    writeFile(logs + "/c.log", w3c(""));
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTest::keyClick(w.get(), Qt::Key_F5);
    EXPECT_EQ(w->lsvLogList->topLevelItemCount(), 4);
    EXPECT_EQ(w->lsvLogList->selectedNames(), QStringList({"a.log", "b.log"}));
}

// A window stored beyond its screen, as at scale factor 2 on a small
// screen, comes back wholly on it.
TEST_F(MainWindowTest, TheWindowIsAlwaysWhollyOnItsScreen) {
    writeFile(paths.settingsFile,
              "[" + executableBaseName() +
                  "]\nWinLeft=-500\nWinTop=-16\nWinWidth=1350\nWinHeight=1074\n");
    auto w = open(logs);
    EXPECT_TRUE(w->screen()->availableGeometry().contains(w->frameGeometry()));
    // Untouched by the user, the place the screen forced is not stored.
    w->close();
    EXPECT_NE(readFile(paths.settingsFile).find("WinWidth=1350\nWinHeight=1074"),
              std::string::npos);
}

// A folder that cannot be listed is shown as missing but never stored.
TEST_F(MainWindowTest, ClosingSavesSettingsTheWindowAndNewHostsNewestFirst) {
    {
        auto w = open(logs);
        w->MyConfig.TimeDiff = -5;
        select(*w, {"a.log", "b.log"});
        w->addTabOfSelected();
        QString missing = QString::fromStdString(dir.file("nope"));
        w->chooseFolder(&missing);
        EXPECT_EQ(w->statusPanel1->text(), QStringLiteral("フォルダが見つかりません。"));
        EXPECT_EQ(w->lsvLogList->topLevelItemCount(), 3);  // the list keeps its items
        w->setGeometry(70, 90, 520, 310);
        w->splitMain->setSizes({120, 400});
        w->close();
    }
    std::string ini = readFile(paths.settingsFile);
    EXPECT_NE(ini.find("TimeDiff=-5"), std::string::npos);
    EXPECT_NE(ini.find("ReadPath=" + logs + "\n"), std::string::npos);
    auto hosts = fncGetRecordsetFromXml(paths.hostsFile);
    ASSERT_TRUE(hosts);
    EXPECT_EQ(hosts->rowCount(), 3u);
    const auto updated = static_cast<size_t>(hosts->fieldIndex("UPDATED"));
    for (size_t r = 1; r < hosts->rowCount(); ++r)
        EXPECT_GE(hosts->value(r - 1, updated), hosts->value(r, updated));
    // A second start reads them back: no new query.
    const int calls = resolver->totalCalls();
    auto w = open("");
    EXPECT_EQ(w->statusPanel1->text(), QString::fromStdString(logs));
    EXPECT_EQ(w->geometry(), QRect(70, 90, 520, 310));  // and the window as it was
    EXPECT_EQ(w->splitMain->sizes().value(0), 120);
    select(*w, {"b.log"});
    w->loadFirstSelected();
    EXPECT_EQ(resolver->totalCalls(), calls);
}

// A name in another encoding (Shift_JIS copied from Windows) shows
// its stray bytes as \xNN, and the file still opens and drags out as itself.
TEST_F(MainWindowTest, FileNamesThatAreNotUtf8ShowTheirBytesAndStillOpen) {
    const std::pair<std::string, QString> names[] = {
        {"sjis-\x93\xFA\x96\x7B.log", QStringLiteral("sjis-\\x93\\xFA\\x96{.log")},
        {"cut-\xE6\x97.log", QStringLiteral("cut-\\xE6\\x97.log")},
        {"\xE6\x97\xA5\xE6\x9C\xAC.log", QStringLiteral("日本.log")},
    };
    for (const auto& [bytes, shown] : names) {
        SCOPED_TRACE(shown.toStdString());
        std::filesystem::remove_all(logs);
        std::filesystem::create_directory(logs);
        writeFile(logs + "/" + bytes, w3c("2003-05-01 10:00:00 127.0.0.1 /\r\n"));
        auto w = open(logs);
        ASSERT_EQ(w->lsvLogList->topLevelItemCount(), 1);
        EXPECT_EQ(w->lsvLogList->topLevelItem(0)->text(0), shown);
        // Dragged out, a log goes as its file to copy, never to move.
        QAbstractItemModel* model = w->lsvLogList->model();
        std::unique_ptr<QMimeData> data(
            model->mimeData(w->lsvLogList->selectionModel()->selectedIndexes()));
        EXPECT_EQ(model->supportedDragActions() & Qt::MoveAction, 0);
        ASSERT_EQ(data->urls().size(), 1);
        EXPECT_EQ(QByteArray::fromPercentEncoding(data->urls()[0].toEncoded()).toStdString(),
                  "file://" + logs + "/" + bytes);
        w->loadFirstSelected();
        ASSERT_EQ(w->DataGridTab1->TabCount(), 1);
        EXPECT_EQ(tabCaptions(*w), QStringList{shown});
        ASSERT_TRUE(w->DataGridTab1->Recordset());
        EXPECT_EQ(w->DataGridTab1->Recordset()->rowCount(), 1u);
    }
}

}  // namespace
}  // namespace brevadin

#include "frmmain_test.moc"
