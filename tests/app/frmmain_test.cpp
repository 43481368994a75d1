// The main window driven as a user would, offscreen. Client addresses are
// resolved by a fake resolver: nothing leaves the machine.
#include "app/frmmain.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <atomic>

#include "common/qtcommon.h"
#include "export/frmprogress.h"
#include "export/xmlconv.h"
#include "gridview/datagridtab.h"
#include "gridview/qtgridview.h"
#include "netlookup/frmwhois.h"
#include "tests/support/testfiles.h"

namespace brevadin {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

class FakeResolver : public Resolver {
public:
    std::string reverseLookup(const std::string& address) override {
        ++calls;
        return address == "192.0.2.1" ? "one.example.jp" : "";
    }
    std::atomic<int> calls{0};
};

std::string w3c(const std::string& lines) {
    return "#Software: test\r\n#Date: 2003-05-01 00:00:00\r\n"
           "#Fields: date time c-ip cs-uri-stem\r\n" +
           lines;
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = setMessagePresenter([this](const MessageRequest& r) {
            messages.push_back(r.prompt);
            return kMsgResultOk;
        });
        logs = dir.file("logs");
        std::filesystem::create_directory(logs);
        writeFile(logs + "/a.log", w3c("2003-05-01 20:30:15 192.0.2.1 /index.html\r\n"
                                       "2003-05-01 10:00:00 127.0.0.1 /\r\n"));
        writeFile(logs + "/b.log", w3c("2003-05-01 11:00:00 192.0.2.9 /b.html\r\n"));
        writeFile(logs + "/img.log", w3c("2003-05-01 11:00:00 192.0.2.9 /b.gif\r\n"));
        writeFile(logs + "/notes.txt", "x");
        paths.settingsFile = dir.file("brevadin.ini");
        paths.hostsFile = dir.file("hosts.xml");
        paths.whoisFile = dir.file("whoissv.xml");
        paths.helpFile = dir.file("index.html");
    }
    void TearDown() override { setMessagePresenter(old_); }

    std::unique_ptr<frmMain> open(const QString& folder = QString()) {
        auto w = std::make_unique<frmMain>(paths, folder, resolver);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }

    void select(frmMain& w, const QStringList& names) {
        w.lsvLogList->clearSelection();
        for (int i = 0; i < w.lsvLogList->topLevelItemCount(); ++i) {
            auto* item = w.lsvLogList->topLevelItem(i);
            item->setSelected(names.contains(item->text(0)));
        }
    }

    QString tabCaption(frmMain& w) {
        auto* bar = w.DataGridTab1->tabLogViews();
        return bar->tabText(bar->currentIndex());
    }

    TempFolder dir;
    std::string logs;
    MainWindowPaths paths;
    std::shared_ptr<FakeResolver> resolver = std::make_shared<FakeResolver>();
    std::vector<QString> messages;

private:
    MessagePresenter old_;
};

TEST_F(MainWindowTest, FirstStartWritesTheFilesAndShowsTheMissingFolder) {
    auto w = open();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Brevadin  Version 1.1"));
    EXPECT_TRUE(std::filesystem::exists(paths.hostsFile));
    auto servers = fncGetRecordsetFromXml(paths.whoisFile);
    ASSERT_TRUE(servers);
    EXPECT_EQ(servers->rowCount(), 8u);
    EXPECT_EQ(w->WhoisServerList.size(), 8u);
    EXPECT_EQ(w->statusPanel1->text(), QStringLiteral("フォルダが見つかりません。"));
    EXPECT_EQ(w->DataGridTab1->TabCount(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, ListsTheFolderAndLoadsADoubleClickedLog) {
    auto w = open(QString::fromStdString(logs));
    ASSERT_EQ(w->lsvLogList->topLevelItemCount(), 3);
    EXPECT_EQ(w->lsvLogList->topLevelItem(0)->text(0), QStringLiteral("a.log"));
    EXPECT_TRUE(w->lsvLogList->topLevelItem(0)->text(1).endsWith("KB"));
    EXPECT_TRUE(w->lsvLogList->topLevelItem(0)->isSelected());
    EXPECT_EQ(w->statusPanel1->text(), QString::fromStdString(logs));

    auto* item = w->lsvLogList->topLevelItem(0);
    QRect rect = w->lsvLogList->visualItemRect(item);
    QTest::mouseClick(w->lsvLogList->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(w->lsvLogList->viewport(), Qt::LeftButton, {}, rect.center());
    ASSERT_EQ(w->DataGridTab1->TabCount(), 1);
    EXPECT_EQ(tabCaption(*w), QStringLiteral("a.log"));
    auto table = w->DataGridTab1->Recordset();
    ASSERT_TRUE(table);
    ASSERT_EQ(table->rowCount(), 2u);
    // Shifted by +9 hours, resolved through the cache, shown newest first.
    GridView* grid = w->DataGridTab1->DBGrig();
    grid->setRow(1);
    grid->setCol(1);
    EXPECT_EQ(grid->Text(), QStringLiteral("2003-05-02"));
    grid->setCol(3);
    EXPECT_EQ(grid->Text(), QStringLiteral("one.example.jp [192.0.2.1]"));
    grid->setRow(2);
    EXPECT_EQ(grid->Text(), QStringLiteral("Local Host [127.0.0.1]"));
    EXPECT_TRUE(w->isEnabled());
    EXPECT_EQ(resolver->calls.load(), 1);
}

// A name in another encoding (Latin-1, Shift_JIS copied from Windows) shows
// its stray bytes as \xNN, and the file still opens and drags out as itself.
TEST_F(MainWindowTest, FileNamesThatAreNotUtf8ShowTheirBytesAndStillOpen) {
    const std::pair<std::string, QString> names[] = {
        {"latin1-\xE9.log", QStringLiteral("latin1-\\xE9.log")},
        {"sjis-\x93\xFA\x96\x7B.log", QStringLiteral("sjis-\\x93\\xFA\\x96{.log")},
        {"cut-\xE6\x97.log", QStringLiteral("cut-\\xE6\\x97.log")},
        {"\xE6\x97\xA5\xE6\x9C\xAC.log", QStringLiteral("日本.log")},
    };
    for (const auto& [bytes, shown] : names) {
        SCOPED_TRACE(shown.toStdString());
        std::filesystem::remove_all(logs);
        std::filesystem::create_directory(logs);
        writeFile(logs + "/" + bytes, w3c("2003-05-01 10:00:00 127.0.0.1 /\r\n"));
        auto w = open(QString::fromStdString(logs));
        ASSERT_EQ(w->lsvLogList->topLevelItemCount(), 1);
        EXPECT_EQ(w->lsvLogList->topLevelItem(0)->text(0), shown);
        std::unique_ptr<QMimeData> data(
            w->lsvLogList->model()->mimeData(w->lsvLogList->selectionModel()->selectedIndexes()));
        ASSERT_EQ(data->urls().size(), 1);
        EXPECT_EQ(QByteArray::fromPercentEncoding(data->urls()[0].toEncoded()).toStdString(),
                  "file://" + logs + "/" + bytes);
        w->loadFirstSelected();
        ASSERT_EQ(w->DataGridTab1->TabCount(), 1);
        EXPECT_EQ(tabCaption(*w), shown);
        ASSERT_TRUE(w->DataGridTab1->Recordset());
        EXPECT_EQ(w->DataGridTab1->Recordset()->rowCount(), 1u);
    }
}

TEST_F(MainWindowTest, AddTabGathersTheSelectedLogs) {
    auto w = open(QString::fromStdString(logs));
    select(*w, {"b.log", "a.log"});
    w->addTabOfSelected();
    ASSERT_EQ(w->DataGridTab1->TabCount(), 1);
    EXPECT_EQ(tabCaption(*w), QStringLiteral("a.log～b.log"));
    EXPECT_EQ(w->DataGridTab1->Recordset()->rowCount(), 3u);

    select(*w, {"a.log"});
    w->addTabOfSelected();
    EXPECT_EQ(tabCaption(*w), QStringLiteral("a.log"));

    select(*w, {});
    w->addTabOfSelected();
    EXPECT_EQ(w->DataGridTab1->TabCount(), 2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("表示できるログがありません"));
}

TEST_F(MainWindowTest, ALogWithEveryRowHiddenAddsNoTab) {
    auto w = open(QString::fromStdString(logs));
    w->MyConfig.IncludeAll = false;
    w->MyConfig.IncludeHTML = true;
    select(*w, {"img.log"});
    w->loadFirstSelected();
    EXPECT_EQ(w->DataGridTab1->TabCount(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("表示できるログがありません"));
}

TEST_F(MainWindowTest, CancelDuringALoadAddsNoTabAndFreesTheWindow) {
    std::string big = "#Fields: date time c-ip cs-uri-stem\n";
    for (int i = 0; i < 400000; ++i) big += "2003-05-01 10:00:00 127.0.0.1 /index.html\n";
    writeFile(logs + "/big.log", big);
    auto w = open(QString::fromStdString(logs));
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
    select(*w, {"big.log"});
    w->loadFirstSelected();
    poll.stop();
    EXPECT_TRUE(clicked);
    EXPECT_TRUE(sawBusy);  // the main window was disabled during the load
    EXPECT_EQ(w->DataGridTab1->TabCount(), 0);
    EXPECT_TRUE(w->isEnabled());
    EXPECT_TRUE(messages.empty());
}

TEST_F(MainWindowTest, ExportFollowsTheExtensionRule) {
    auto w = open(QString::fromStdString(logs));
    QString any = QString::fromStdString(dir.file("x.xml"));
    w->exportActiveTab(&any);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("アクティブなログがありません。"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.xml")));

    select(*w, {"a.log"});
    w->loadFirstSelected();
    for (const char* bad : {"out.htm", "noextension", ""}) {
        QString name = QString::fromStdString(dir.file(bad));
        w->exportActiveTab(&name);
        EXPECT_EQ(messages.back(), QStringLiteral("拡張子を特定できませんでした。")) << bad;
    }
    messages.clear();
    for (const char* good : {"logxml", "UP.XML", "t.csv"}) {
        QString name = QString::fromStdString(dir.file(good));
        w->exportActiveTab(&name);
        EXPECT_TRUE(std::filesystem::exists(dir.file(good))) << good;
    }
    EXPECT_TRUE(messages.empty());
    auto back = fncGetRecordsetFromXml(dir.file("logxml"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->rowCount(), 2u);
    EXPECT_EQ(readFile(dir.file("t.csv"))
                  .rfind("\xEF\xBB\xBF"
                         "date,time,c-ip",
                         0),
              0u);

    QString unwritable = QString::fromStdString(dir.file("no/such/dir/t.csv"));
    w->exportActiveTab(&unwritable);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(unwritable)) << messages[0].toStdString();
    EXPECT_TRUE(w->isEnabled());
}

TEST_F(MainWindowTest, EditMenuSelectsAllAndCopiesTheGrid) {
    auto w = open(QString::fromStdString(logs));
    select(*w, {"b.log"});
    w->loadFirstSelected();
    w->mitmSelAll->trigger();
    w->mitmCopy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("date\ttime\tc-ip\tcs-uri-stem\r\n"
                             "2003-05-01\t20:00:00\tUnknown [192.0.2.9]\t/b.html"));
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

TEST_F(MainWindowTest, CellDoubleClicksOpenWhoisOrTheReferrer) {
    auto w = open(QString::fromStdString(logs));
    QString address, server;
    int drop = -1;
    w->showWhois = [&](frmWhois& dlg) {
        address = dlg.Address();
        server = dlg.cmbHosts->currentText();
        drop = dlg.cmbHosts->count();
    };
    w->onItemClick("c-ip", "one.example.jp [192.0.2.1]");
    EXPECT_EQ(address, "192.0.2.1");
    EXPECT_EQ(server, QString::fromStdString(w->WhoisServerList.front()));
    EXPECT_EQ(drop, static_cast<int>(w->WhoisServerList.size()) - 1);
    address = "unset";
    w->mitmWhois->trigger();
    EXPECT_EQ(address, "");

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    w->onItemClick("cs(Referer)", "https://www.example.co.jp/search?q=%93%FA");
    w->onItemClick("cs(Referer)", "-");
    w->onItemClick("cs(Referer)", "file:///etc/passwd");
    w->onItemClick("cs-uri-stem", "http://not.a.referrer/");
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0].host(), "www.example.co.jp");
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSize) {
    auto w = open(QString::fromStdString(logs));
    int listWidth = w->lsvLogList->width();
    w->layoutForOuterSize(900, 600);
    int gridW = w->DataGridTab1->width(), gridH = w->DataGridTab1->height();
    EXPECT_EQ(gridH, w->lsvLogList->height());
    w->layoutForOuterSize(1000, 700);
    EXPECT_EQ(w->DataGridTab1->width(), gridW + 100);
    EXPECT_EQ(w->DataGridTab1->height(), gridH + 100);
    EXPECT_EQ(w->lsvLogList->height(), gridH + 100);
    EXPECT_EQ(w->lsvLogList->width(), listWidth);
    w->layoutForOuterSize(5, 5);  // too small: sizes stay
    EXPECT_EQ(w->DataGridTab1->width(), gridW + 100);
}

TEST_F(MainWindowTest, ClosingSavesSettingsAndNewHostsNewestFirst) {
    {
        auto w = open(QString::fromStdString(logs));
        w->MyConfig.TimeDiff = -5;
        select(*w, {"a.log", "b.log"});
        w->addTabOfSelected();
        w->close();
    }
    std::string ini = readFile(paths.settingsFile);
    EXPECT_NE(ini.find("TimeDiff=-5"), std::string::npos);
    EXPECT_NE(ini.find("ReadPath=" + logs), std::string::npos);  // the listed start folder
    auto hosts = fncGetRecordsetFromXml(paths.hostsFile);
    ASSERT_TRUE(hosts);
    EXPECT_EQ(hosts->rowCount(), 3u);
    int updated = hosts->fieldIndex("UPDATED");
    for (size_t r = 1; r < hosts->rowCount(); ++r)  // newest first
        EXPECT_GE(hosts->value(r - 1, static_cast<size_t>(updated)),
                  hosts->value(r, static_cast<size_t>(updated)));
    // A second start reads them back: no new query.
    resolver->calls = 0;
    auto w = open();
    EXPECT_EQ(w->statusPanel1->text(), QString::fromStdString(logs));
    select(*w, {"b.log"});
    w->loadFirstSelected();
    EXPECT_EQ(resolver->calls.load(), 0);
}

TEST_F(MainWindowTest, ChoosingAFolderOnlyStoresOneThatCouldBeListed) {
    auto w = open(QString::fromStdString(logs));
    QString missing = QString::fromStdString(dir.file("nope"));
    w->chooseFolder(&missing);
    EXPECT_EQ(w->MyConfig.ReadPath, logs);
    EXPECT_EQ(w->statusPanel1->text(), QStringLiteral("フォルダが見つかりません。"));
    EXPECT_EQ(w->lsvLogList->topLevelItemCount(), 3);  // the list keeps its items
    QString other = QString::fromStdString(dir.path().string());
    w->chooseFolder(&other);
    EXPECT_EQ(w->MyConfig.ReadPath, dir.path().string());
    EXPECT_EQ(w->lsvLogList->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, DragOutOffersTheSelectedFilesAsUrls) {
    auto w = open(QString::fromStdString(logs));
    select(*w, {"a.log", "b.log"});
    std::unique_ptr<QMimeData> data(
        w->lsvLogList->model()->mimeData(w->lsvLogList->selectionModel()->selectedIndexes()));
    ASSERT_TRUE(data);
    ASSERT_EQ(data->urls().size(), 2);
    EXPECT_EQ(data->urls()[0].toLocalFile(), QString::fromStdString(logs + "/a.log"));
    EXPECT_EQ(data->urls()[1].toLocalFile(), QString::fromStdString(logs + "/b.log"));
    EXPECT_EQ(w->lsvLogList->model()->supportedDragActions() & Qt::MoveAction, 0);
}

}  // namespace
}  // namespace brevadin

#include "frmmain_test.moc"
