#include "netlookup/frmwhois.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include "common/appinfo.h"
#include "common/qtcommon.h"

namespace brevadin {
namespace {

QString socketErrorText(QAbstractSocket::SocketError error, const QString& qtText) {
    // Qt's own texts for these are terse or (without its translation) English;
    // the rest are rare enough for Qt's wording.
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("接続が拒否されました。");
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral(
                "ホストが見つかりません。サーバ名とネットワークの接続を確認してください。");
        case QAbstractSocket::SocketTimeoutError:
            return QStringLiteral("接続がタイムアウトしました。");
        case QAbstractSocket::NetworkError:
            return QStringLiteral("ネットワークに接続できません。");
        case QAbstractSocket::SocketAccessError:
            return QStringLiteral("接続する権限がありません。");
        case QAbstractSocket::SocketResourceError:
            return QStringLiteral("接続に必要なリソースが不足しています。");
        default:
            return qtText;
    }
}

}  // namespace

QString whoisAddressFromCell(const QString& value) {
    int open = value.indexOf('[');
    int close = open < 0 ? -1 : value.indexOf(']', open + 1);
    if (open < 0 || close < 0) return value.trimmed();
    return value.mid(open + 1, close - open - 1);
}

bool isOpenableReferrer(const QString& value) {
    QString trimmed = value.trimmed();
    if (trimmed.isEmpty() || trimmed == "-") return false;
    QUrl url(value, QUrl::StrictMode);
    QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

frmWhois::frmWhois(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmWhois"));
    setWindowTitle(QStringLiteral("Whois検索"));
    setModal(true);
    Label2 = new QLabel(QStringLiteral("サーバ"), this);
    cmbHosts = new QComboBox(this);
    cmbHosts->setEditable(true);
    cmbHosts->setObjectName(QStringLiteral("cmbHosts"));
    Label1 = new QLabel(QStringLiteral("アドレス"), this);
    txtSearch = new QLineEdit(this);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    Command1 = new QPushButton(QStringLiteral("検索"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    txtResponse = new QPlainTextEdit(this);
    txtResponse->setObjectName(QStringLiteral("txtResponse"));
    txtResponse->setReadOnly(true);
    // An answer is plain text; it is never read as markup.
    txtResponse->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono = txtResponse->font();
    mono.setStyleHint(QFont::Monospace);
    mono.setFamily(QStringLiteral("Monospace"));
    txtResponse->setFont(mono);
    cmdClose = new QPushButton(QStringLiteral("閉じる"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    timTimeOut = new QTimer(this);
    timTimeOut->setSingleShot(true);
    timTimeOut->setInterval(10000);
    Winsock1 = new QTcpSocket(this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(cmbHosts, 0, 1);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(txtSearch, 1, 1);
    grid->addWidget(Command1, 1, 2);
    grid->addWidget(txtResponse, 2, 0, 1, 3);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(cmdClose);
    grid->addLayout(bottom, 3, 0, 1, 3);
    resize(560, 420);

    connect(Command1, &QPushButton::clicked, this, &frmWhois::Search);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    connect(timTimeOut, &QTimer::timeout, this, &frmWhois::onTimeout);
    connect(Winsock1, &QTcpSocket::connected, this, &frmWhois::onConnected);
    connect(Winsock1, &QTcpSocket::readyRead, this, &frmWhois::onReadyRead);
    connect(Winsock1, &QTcpSocket::disconnected, this, &frmWhois::onDisconnected);
    connect(Winsock1, &QTcpSocket::errorOccurred, this, &frmWhois::onError);
}

frmWhois::~frmWhois() {
    StopSearch();
}

QString frmWhois::Address() const {
    return txtSearch->text();
}
void frmWhois::setAddress(const QString& address) {
    txtSearch->setText(address);
}

void frmWhois::setWhoisServers(const std::vector<std::string>* servers) {
    servers_ = servers;
    cmbHosts->clear();
    if (!servers) return;
    for (size_t i = 0; i < servers->size(); ++i) {
        QString host = QString::fromStdString((*servers)[i]);
        if (i == 0)
            cmbHosts->setEditText(host);
        else
            cmbHosts->addItem(host);
    }
    if (!servers->empty()) cmbHosts->setEditText(QString::fromStdString(servers->front()));
}

void frmWhois::setTimeoutMs(int ms) {
    timTimeOut->setInterval(ms);
}

void frmWhois::Search() {
    Command1->setEnabled(false);
    txtResponse->clear();
    Winsock1->abort();
    decoder_.reset();
    received_ = 0;
    lastWasCr_ = false;
    searching_ = true;
    timTimeOut->start();
    // "host" or "host:port"; a bare IPv6 address has more than one colon.
    QString server = cmbHosts->currentText().trimmed();
    quint16 port = 43;
    int colon = server.lastIndexOf(':');
    if (colon > 0 && server.count(':') == 1) {
        bool ok = false;
        uint p = server.mid(colon + 1).toUInt(&ok);
        if (ok && p > 0 && p < 65536) {
            port = static_cast<quint16>(p);
            server = server.left(colon);
        }
    }
    Winsock1->connectToHost(server, port);
}

void frmWhois::StopSearch() {
    timTimeOut->stop();
    Command1->setEnabled(true);
    bool was = searching_;
    searching_ = false;
    if (Winsock1->state() != QAbstractSocket::UnconnectedState) Winsock1->abort();
    if (was) Q_EMIT searchFinished();
}

void frmWhois::onConnected() {
    Winsock1->write(txtSearch->text().toUtf8() + "\r\n");
}

void frmWhois::appendText(const QString& text) {
    // One line break per CR LF, LF or lone CR, whichever the server sends.
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == '\r') {
            out += '\n';
            lastWasCr_ = true;
            continue;
        }
        if (c == '\n' && lastWasCr_) {
            lastWasCr_ = false;
            continue;
        }
        lastWasCr_ = false;
        out += c;
    }
    QTextCursor cursor(txtResponse->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(out);
}

void frmWhois::onReadyRead() {
    if (!searching_) return;
    QByteArray bytes = Winsock1->readAll();
    bool cut = false;
    if (received_ + bytes.size() > kMaxAnswerBytes) {
        bytes.truncate(static_cast<int>(kMaxAnswerBytes - received_));
        cut = true;
    }
    received_ += bytes.size();
    // One decoder for the whole answer keeps escape sequences and characters
    // split between chunks intact.
    std::string text;
    decoder_.decode(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), text);
    if (cut) decoder_.finish(text);
    appendText(QString::fromStdString(text));
    if (cut) {
        appendText(QStringLiteral("\n（応答が 1 MB を超えたため、ここで打ち切りました）\n"));
        StopSearch();
    }
}

void frmWhois::onDisconnected() {
    if (!searching_) return;
    // The server closes the connection when its answer is complete.
    if (Winsock1->bytesAvailable() > 0) onReadyRead();
    if (!searching_) return;
    std::string rest;
    decoder_.finish(rest);
    if (!rest.empty()) appendText(QString::fromStdString(rest));
    StopSearch();
}

void frmWhois::onError() {
    if (!searching_) return;
    if (Winsock1->error() == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    appendText(socketErrorText(Winsock1->error(), Winsock1->errorString()));
    StopSearch();
}

void frmWhois::onTimeout() {
    if (!searching_) return;
    StopSearch();
    fncCallMessage(QStringLiteral("タイムアウトしました"), kMsgOkOnly, QString(kAppTitle), this);
}

void frmWhois::closeEvent(QCloseEvent* event) {
    StopSearch();
    QDialog::closeEvent(event);
}

}  // namespace brevadin
