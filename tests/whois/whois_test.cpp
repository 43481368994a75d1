// The WHOIS window against servers the tests start on 127.0.0.1.
#include "netlookup/frmwhois.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "common/qtcommon.h"

namespace brevadin {
namespace {

// A one-shot server: answers the first connection with `chunks`, each
// written separately, then closes unless told to stay silent.
class FakeWhoisServer : public QObject {
public:
    explicit FakeWhoisServer(QList<QByteArray> chunks, bool closeAfter = true)
        : chunks_(std::move(chunks)), closeAfter_(closeAfter) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* s = server_.nextPendingConnection();
            QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] {
                query += s->readAll();
                if (!query.endsWith("\r\n") || answered_) return;
                answered_ = true;
                for (const QByteArray& c : chunks_) {
                    s->write(c);
                    s->flush();
                    s->waitForBytesWritten(1000);
                }
                if (closeAfter_) s->disconnectFromHost();
            });
        });
    }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }
    QByteArray query;

private:
    QTcpServer server_;
    QList<QByteArray> chunks_;
    bool closeAfter_;
    bool answered_ = false;
};

// A server on its own thread, for answers that must keep flowing while the
// window is busy: after the query line it calls `talk` with a function that
// sends bytes and reports whether the client still takes them.
class StreamingWhoisServer {
public:
    using Send = std::function<bool(const char*, size_t)>;
    explicit StreamingWhoisServer(std::function<void(const Send&)> talk) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, talk = std::move(talk)] {
            int s = ::accept(listener_, nullptr, nullptr);
            if (s < 0) return;
            std::string query;
            char c;
            while (query.find("\r\n") == std::string::npos && ::recv(s, &c, 1, 0) == 1) query += c;
            talk([this, s](const char* data, size_t size) {
                while (size > 0) {
                    ssize_t n = ::send(s, data, size, MSG_NOSIGNAL);
                    if (n <= 0) return false;
                    sent += static_cast<size_t>(n);
                    data += n;
                    size -= static_cast<size_t>(n);
                }
                return true;
            });
            ::close(s);
        });
    }
    ~StreamingWhoisServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    std::atomic<size_t> sent{0};

private:
    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
};

class WhoisTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = setMessagePresenter([this](const MessageRequest& r) {
            messages.push_back(r.prompt);
            return kMsgResultOk;
        });
    }
    void TearDown() override { setMessagePresenter(old_); }

    // Runs one search and waits for it to end.
    void search(frmWhois& w, const QString& server, const QString& address) {
        QSignalSpy done(&w, &frmWhois::searchFinished);
        w.cmbHosts->setEditText(server);
        w.setAddress(address);
        w.Search();
        EXPECT_FALSE(w.Command1->isEnabled());
        ASSERT_TRUE(done.wait(5000));
        EXPECT_TRUE(w.Command1->isEnabled());
    }

    std::vector<QString> messages;

private:
    MessagePresenter old_;
};

TEST(WhoisHelpers, AddressFromCellAndReferrerRule) {
    EXPECT_EQ(whoisAddressFromCell("host.example [192.0.2.1]"), "192.0.2.1");
    EXPECT_EQ(whoisAddressFromCell("Unknown [2001:db8::1]"), "2001:db8::1");
    EXPECT_EQ(whoisAddressFromCell("  192.0.2.7 "), "192.0.2.7");
    EXPECT_TRUE(isOpenableReferrer("http://a.example/x?q=1"));
    EXPECT_TRUE(isOpenableReferrer("https://b.example"));
    for (const char* no : {"-", "  ", "", "file:///etc/passwd", "javascript:alert(1)",
                           "/local/path", "ftp://x.example/", "http://", "mailto:a@b"})
        EXPECT_FALSE(isOpenableReferrer(QString::fromUtf8(no))) << no;
}

TEST_F(WhoisTest, ServerListFillsTheBox) {
    std::vector<std::string> list = {"whois.nic.ad.jp", "whois.nic.ad.jp", "whois.apnic.net"};
    frmWhois w;
    w.setWhoisServers(&list);
    EXPECT_EQ(w.cmbHosts->currentText(), "whois.nic.ad.jp");
    ASSERT_EQ(w.cmbHosts->count(), 2);
    EXPECT_EQ(w.cmbHosts->itemText(1), "whois.apnic.net");
    w.setAddress("192.0.2.1");
    EXPECT_EQ(w.Address(), "192.0.2.1");
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Whois検索"));
}

TEST_F(WhoisTest, OneChunkAnswerEndsAtOnceWithoutTimeOut) {
    FakeWhoisServer server({"inetnum: 192.0.2.0 - 192.0.2.255\nnetname: TEST-NET\n"});
    frmWhois w;
    search(w, server.hostPort(), "192.0.2.1");
    EXPECT_EQ(server.query, "192.0.2.1\r\n");
    EXPECT_EQ(w.txtResponse->toPlainText(),
              "inetnum: 192.0.2.0 - 192.0.2.255\nnetname: TEST-NET\n");
    EXPECT_EQ(w.txtResponse->document()->blockCount(), 3);  // LF ends are line breaks
    EXPECT_TRUE(messages.empty());
}

TEST_F(WhoisTest, ManyChunksWithSplitIso2022JpSequencesDecodeWhole) {
    // "こんにちは" in ISO-2022-JP, cut inside the escape sequence and between
    // the two bytes of a character.
    QByteArray jp = "name: \x1b$B$3$s$K$A$O\x1b(B\r\n";
    QList<QByteArray> chunks = {jp.left(7), jp.mid(7, 4), jp.mid(11, 3), jp.mid(14)};
    for (int i = 0; i < 20; ++i) chunks << QByteArray("line ") + QByteArray::number(i) + "\r\n";
    FakeWhoisServer server(chunks);
    frmWhois w;
    search(w, server.hostPort(), "192.0.2.1");
    QString text = w.txtResponse->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("name: こんにちは\n"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith("line 19\n"));
    EXPECT_FALSE(text.contains('\r'));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WhoisTest, SilentServerTimesOut) {
    FakeWhoisServer server({"partial"}, /*closeAfter=*/false);
    frmWhois w;
    w.setTimeoutMs(300);
    search(w, server.hostPort(), "192.0.2.1");
    EXPECT_EQ(w.txtResponse->toPlainText(), "partial");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("タイムアウトしました"));
}

TEST_F(WhoisTest, RefusedConnectionShowsTheSocketErrorAtOnce) {
    quint16 port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }
    frmWhois w;
    search(w, QStringLiteral("127.0.0.1:%1").arg(port), "192.0.2.1");
    EXPECT_FALSE(w.txtResponse->toPlainText().isEmpty());
    EXPECT_TRUE(messages.empty());
}

TEST_F(WhoisTest, HugeAnswerIsCutWithANote) {
    QList<QByteArray> chunks;
    for (int i = 0; i < 20; ++i) chunks << QByteArray(100 * 1024, 'x');
    FakeWhoisServer server(chunks, /*closeAfter=*/false);
    frmWhois w;
    search(w, server.hostPort(), "192.0.2.1");
    QString text = w.txtResponse->toPlainText();
    EXPECT_EQ(text.count('x'), frmWhois::kMaxAnswerBytes);
    EXPECT_TRUE(text.contains(QStringLiteral("打ち切りました")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WhoisTest, MarkupInAnAnswerStaysText) {
    FakeWhoisServer server({"<b>bold</b> &amp;\n"});
    frmWhois w;
    search(w, server.hostPort(), "x");
    EXPECT_EQ(w.txtResponse->toPlainText(), "<b>bold</b> &amp;\n");
}

TEST_F(WhoisTest, HundredMegabyteAnswerStopsReadingAtTheCut) {
    std::atomic<bool> refused{false};
    StreamingWhoisServer server([&](const StreamingWhoisServer::Send& send) {
        const std::string block(64 * 1024, 'y');
        for (size_t done = 0; done < 100u * 1024 * 1024; done += block.size())
            if (!send(block.data(), block.size())) {
                refused = true;
                return;
            }
    });
    frmWhois w;
    search(w, server.hostPort(), "192.0.2.1");
    QString text = w.txtResponse->toPlainText();
    EXPECT_EQ(text.count('y'), frmWhois::kMaxAnswerBytes);
    EXPECT_TRUE(text.contains(QStringLiteral("打ち切りました")));
    EXPECT_TRUE(messages.empty());
    // The window hung up: the rest of the 100 MB was never taken in.
    for (int i = 0; i < 100 && !refused; ++i) QTest::qWait(20);
    EXPECT_TRUE(refused);
    EXPECT_LT(server.sent.load(), 100u * 1024 * 1024);
}

TEST_F(WhoisTest, TrickleOfOneBytePerSecondEndsAtTheTimeOut) {
    std::atomic<bool> stop{false};
    StreamingWhoisServer server([&](const StreamingWhoisServer::Send& send) {
        for (char c = 'a'; c <= 'z' && !stop; ++c) {
            if (!send(&c, 1)) return;
            for (int i = 0; i < 20 && !stop; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    frmWhois w;
    w.setTimeoutMs(2500);
    auto start = std::chrono::steady_clock::now();
    search(w, server.hostPort(), "192.0.2.1");
    stop = true;
    auto waited = std::chrono::steady_clock::now() - start;
    // What arrived so far stays on show, then the time-out says the answer is
    // incomplete; the window does not wait for the whole alphabet.
    QString text = w.txtResponse->toPlainText();
    EXPECT_TRUE(text.startsWith("ab")) << text.toStdString();
    EXPECT_LE(text.size(), 4);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("タイムアウトしました"));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

}  // namespace
}  // namespace brevadin
