#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QShowEvent;

namespace brevadin {

class clsConfig;

// The list entries of the two drop-down lists, in list order. A LogType is
// its entry's index; a TimeDiff is its entry's index - kTimeDiffOffset.
QStringList logTypeEntries();
QStringList timeDiffEntries();
inline constexpr int kTimeDiffOffset = 11;

// The entries shown for a configured value: a value no entry stands for
// (only a hand-edited settings file holds one) shows the default entry,
// W3C extended format and +9 hours.
int logTypeIndex(int32_t logType);
int timeDiffIndex(int timeDiff);

// "オプション設定": the log format, the GMT difference and the content types
// kept by the filter. OK writes the choices into the settings object and
// saves it at once; Cancel, the close button and Escape (which closes the
// dialog as Cancel does) leave both the object and its file as they were.
// Enter presses neither button.
class frmConfig : public QDialog {
    Q_OBJECT

public:
    explicit frmConfig(clsConfig& config, QWidget* parent = nullptr);

    QLabel* Label2 = nullptr;
    QComboBox* cmbLogType = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cmbTimeDiff = nullptr;
    QCheckBox* chkIncludeAll = nullptr;
    QGroupBox* fraInclude = nullptr;
    QCheckBox* chkHtml = nullptr;
    QCheckBox* chkScript = nullptr;
    QCheckBox* chkArchive = nullptr;
    QCheckBox* chkMovie = nullptr;
    QCheckBox* chkSound = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Places the controls as designed (in twips), widened where this
    // system's font needs more room.
    void arrange();
    void chkIncludeAll_Click();
    void OKButton_Click();
    void CancelButton_Click();

    clsConfig& MyConfig_;
};

}  // namespace brevadin
