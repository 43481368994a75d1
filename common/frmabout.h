#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace brevadin {

// The version box: title, version "バージョン " + major + "." + revision, the
// icon, a rights notice and the disclaimer.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

// "バージョン " + major + "." + revision.
QString versionText(int major, int revision);

// The application's icon, drawn rather than loaded so that it needs no file.
class QIcon applicationIcon();

}  // namespace brevadin
