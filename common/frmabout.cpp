#include "common/frmabout.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/appinfo.h"
#include "common/qtcommon.h"

namespace brevadin {

QString versionText(int major, int revision) {
    return QStringLiteral("バージョン ") + QString::number(major) + "." + QString::number(revision);
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size / 64.0;
        // A sheet of log lines under a teal magnifier.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255));
        p.drawRoundedRect(QRectF(8 * s, 4 * s, 40 * s, 52 * s), 4 * s, 4 * s);
        p.setPen(QPen(QColor(120, 120, 120), 1.5 * s));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(8 * s, 4 * s, 40 * s, 52 * s), 4 * s, 4 * s);
        p.setPen(QPen(QColor(90, 90, 90), 3 * s));
        for (int i = 0; i < 5; ++i)
            p.drawLine(QPointF(14 * s, (14 + 8 * i) * s),
                       QPointF((i % 2 ? 34 : 42) * s, (14 + 8 * i) * s));
        p.setPen(QPen(QColor(0, 136, 136), 6 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(QPointF(42 * s, 40 * s), 11 * s, 11 * s);
        p.drawLine(QPointF(50 * s, 48 * s), QPointF(59 * s, 58 * s));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(applicationIcon().pixmap(48, 48));
    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblCopyright = new QLabel(QStringLiteral("Copyright © 2026 Brevadin の開発者"), this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    lblDisclaimer = new QLabel(
        QStringLiteral(
            "警告: このソフトウェアはフリーソフトウェアです。自由にお使いいただけますが、"
            "このソフトウェアの使用によって生じたいかなる直接的または間接的な損害についても、"
            "作者は一切の責任を負いません。"),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    // The title is the program's file name, which whoever installed it chose.
    for (QLabel* label : {lblTitle, lblVersion, lblCopyright, lblDisclaimer})
        label->setTextFormat(Qt::PlainText);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* line1 = new QFrame(this);
    line1->setFrameShape(QFrame::HLine);
    auto* line2 = new QFrame(this);
    line2->setFrameShape(QFrame::HLine);

    auto* head = new QHBoxLayout;
    head->addWidget(picIcon, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(lblTitle);
    texts->addWidget(lblVersion);
    texts->addWidget(lblCopyright);
    head->addLayout(texts, 1);
    auto* main = new QVBoxLayout(this);
    main->addLayout(head);
    main->addWidget(line1);
    main->addWidget(lblDisclaimer);
    main->addWidget(line2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    main->addLayout(buttons);
    setMinimumWidth(380);

    setWindowTitle(QString(kAppTitle) + QStringLiteral("のバージョン情報"));
    lblVersion->setText(versionText(kVersionMajor, kVersionRevision));
    lblTitle->setText(QString(kAppTitle));
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CenterWindow(this);
}

}  // namespace brevadin
