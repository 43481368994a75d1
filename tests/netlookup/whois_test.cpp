// The WHOIS window against servers the tests start on 127.0.0.1.
#include "netlookup/frmwhois.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "common/qtcommon.h"
#include "tests/support/capturedmessages.h"

namespace brevadin {
namespace {

using namespace std::chrono_literals;

// Sends all of `data`; false once the client no longer takes bytes.
bool sendAll(int socket, std::string_view data) {
    for (ssize_t n = 0; !data.empty(); data.remove_prefix(static_cast<size_t>(n)))
        if ((n = ::send(socket, data.data(), data.size(), MSG_NOSIGNAL)) <= 0) return false;
    return true;
}

// A one-shot server on its own thread, so that answers keep flowing while the
// window is busy. After the query line it lets `talk` answer on the socket;
// `talk` is to return once `done` is set, which the destructor does.
class WhoisServer {
public:
    explicit WhoisServer(std::function<void(int socket, const std::atomic<bool>& done)> talk) {
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof addr;
        EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), len), 0);
        EXPECT_EQ(::listen(listener_, 1), 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this, talk = std::move(talk)] {
            const int s = ::accept(listener_, nullptr, nullptr);
            std::string line;
            char c;
            while (s >= 0 && !line.ends_with("\r\n") && ::recv(s, &c, 1, 0) == 1) line += c;
            query_.set_value(line);
            if (s < 0) return;
            talk(s, done_);
            ::close(s);
        });
    }
    ~WhoisServer() {
        done_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    QString hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port_); }
    std::string query() { return query_.get_future().get(); }

private:
    int listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    quint16 port_ = 0;
    std::promise<std::string> query_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class WhoisTest : public ::testing::Test {
protected:
    // Runs one search and waits for it to end; gives what the window shows.
    QString search(const QString& server, int timeoutMs = 5000) {
        QSignalSpy done(&w, &frmWhois::searchFinished);
        w.setTimeoutMs(timeoutMs);
        w.cmbHosts->setEditText(server);
        w.setAddress(QStringLiteral("192.0.2.1"));
        w.Search();
        EXPECT_FALSE(w.Command1->isEnabled());
        EXPECT_TRUE(done.wait(10000));
        EXPECT_TRUE(w.Command1->isEnabled());
        return w.txtResponse->toPlainText();
    }

    frmWhois w;
    testing::CapturedMessages captured_;
    std::vector<QString>& messages = captured_.prompts;
    const QString timedOut = QStringLiteral("タイムアウトしました");
};

TEST(WhoisHelpers, AddressFromCellAndReferrerRule) {
    EXPECT_EQ(whoisAddressFromCell("host.example [192.0.2.1]"), "192.0.2.1");
    EXPECT_EQ(whoisAddressFromCell("Unknown [2001:db8::1]"), "2001:db8::1");
    EXPECT_EQ(whoisAddressFromCell("  192.0.2.7 "), "192.0.2.7");
    EXPECT_TRUE(isOpenableReferrer("http://a.example/x?q=1") && isOpenableReferrer("https://b"));
    for (const char* no : {"-", "  ", "", "file:///etc/passwd", "javascript:alert(1)",
                           "/local/path", "ftp://x.example/", "http://", "mailto:a@b"})
        EXPECT_FALSE(isOpenableReferrer(QString::fromUtf8(no))) << no;
}

TEST_F(WhoisTest, TheServerListFillsTheBoxOnceEach) {
    std::vector<std::string> list = {"whois.nic.ad.jp", "whois.nic.ad.jp", "whois.apnic.net"};
    w.setWhoisServers(&list);
    EXPECT_EQ(w.cmbHosts->currentText(), "whois.nic.ad.jp");
    ASSERT_EQ(w.cmbHosts->count(), 2);
    EXPECT_EQ(w.cmbHosts->itemText(1), "whois.apnic.net");
}

// Chunks arrive apart; line ends become the box's own, ISO-2022-JP cut inside
// an escape sequence and between the bytes of a character decodes whole, and
// markup stays text. A server that never closes ends at the time-out, and so
// does a trickle of a byte a second: what arrived so far stays on show.
TEST_F(WhoisTest, AnswersAreShownAsPlainTextWhateverTheirChunks) {
    const std::string jp = "name: \x1b$B$3$s$K$A$O\x1b(B\r\n";
    const struct {
        std::vector<std::string> chunks;
        int gapMs, timeoutMs;
        bool timesOut;
        const char* shown;
    } cases[] = {
        {{"netname: TEST\n", "status: x\n"}, 20, 1000, false, "netname: TEST\nstatus: x\n"},
        {{jp.substr(0, 7), jp.substr(7, 4), jp.substr(11, 3), jp.substr(14)},
         20,
         1000,
         false,
         "name: こんにちは\n"},
        {{"<b>bold</b> &amp;\n"}, 20, 1000, false, "<b>bold</b> &amp;\n"},
        {{"partial"}, 20, 1000, true, "partial"},
        {{"a", "b", "c", "d", "e", "f"}, 1000, 2500, true, "abc"},
    };
    for (const auto& c : cases) {
        WhoisServer server([&](int s, const std::atomic<bool>& done) {
            for (const std::string& chunk : c.chunks) {
                sendAll(s, chunk);
                for (int t = 0; t < c.gapMs && !done; t += 10) std::this_thread::sleep_for(10ms);
            }
            while (c.timesOut && !done) std::this_thread::sleep_for(10ms);
        });
        messages.clear();
        EXPECT_EQ(search(server.hostPort(), c.timeoutMs), QString::fromUtf8(c.shown));
        EXPECT_EQ(server.query(), "192.0.2.1\r\n");
        EXPECT_EQ(messages, c.timesOut ? std::vector{timedOut} : std::vector<QString>{});
    }
}

TEST_F(WhoisTest, RefusedConnectionShowsTheSocketErrorAtOnce) {
    QString closed;
    {
        WhoisServer gone([](int, const std::atomic<bool>&) {});
        closed = gone.hostPort();
    }
    EXPECT_EQ(search(closed), QStringLiteral("接続が拒否されました。"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(WhoisTest, AHundredMegabyteAnswerIsCutAndNoLongerRead) {
    std::atomic<bool> refused{false};
    std::atomic<size_t> sent{0};
    WhoisServer server([&](int s, const std::atomic<bool>&) {
        const std::string block(64 * 1024, 'y');
        for (; sent < 100u << 20 && !refused; sent += block.size()) refused = !sendAll(s, block);
    });
    const QString text = search(server.hostPort());
    EXPECT_EQ(text.count('y'), frmWhois::kMaxAnswerBytes);
    EXPECT_TRUE(text.contains(QStringLiteral("打ち切りました")));  // says it is cut
    EXPECT_TRUE(messages.empty());
    for (int i = 0; i < 100 && !refused; ++i) QTest::qWait(20);
    EXPECT_TRUE(refused);  // the window hung up
    EXPECT_LT(sent.load(), 100u << 20);
}

}  // namespace
}  // namespace brevadin
