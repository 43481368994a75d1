#pragma once

#include <QDialog>
#include <QString>

#include <string>
#include <vector>

#include "logdata/textdecode.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTcpSocket;
class QTimer;

namespace brevadin {

// The address inside a client-address cell: the text after the first "[" up
// to the first "]"; a cell without the pair gives its whole text trimmed.
QString whoisAddressFromCell(const QString& value);

// Whether a referrer cell may be handed to the desktop: only an absolute http
// or https URL. Anyone can write a log's referrer, so a file path, a file: or
// a javascript: URL is never opened; "-" and blanks mean no referrer.
bool isOpenableReferrer(const QString& value);

// The WHOIS query window: one question to a server on TCP port 43 (or the
// port after "host:"), the answer decoded from ISO-2022-JP as it arrives.
class frmWhois : public QDialog {
    Q_OBJECT
public:
    // Answers are cut here, with a note, so a hostile server cannot fill memory.
    static constexpr qint64 kMaxAnswerBytes = 1 << 20;

    explicit frmWhois(QWidget* parent = nullptr);
    ~frmWhois() override;

    QString Address() const;
    void setAddress(const QString& address);
    const std::vector<std::string>* WhoisServers() const { return servers_; }
    void setWhoisServers(const std::vector<std::string>* servers);

    // Starts a search ("検索").
    void Search();
    void StopSearch();
    // For tests: how long a search may take before "タイムアウトしました".
    void setTimeoutMs(int ms);

    QLabel* Label1;
    QLabel* Label2;
    QComboBox* cmbHosts;
    QLineEdit* txtSearch;
    QPushButton* Command1;
    QPlainTextEdit* txtResponse;
    QPushButton* cmdClose;
    QTimer* timTimeOut;
    QTcpSocket* Winsock1;

Q_SIGNALS:
    // The search has ended, for whatever reason.
    void searchFinished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();
    void onTimeout();
    void appendText(const QString& text);

    const std::vector<std::string>* servers_ = nullptr;
    Iso2022JpDecoder decoder_;
    qint64 received_ = 0;
    bool searching_ = false;
    bool lastWasCr_ = false;
};

}  // namespace brevadin
