#pragma once

#include <QDialog>
#include <QFrame>
#include <QImage>
#include <QString>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "logdata/loadcontext.h"

class QLabel;
class QPushButton;

namespace brevadin {

// The monotonic clock in nanoseconds at the scheduler's resolution: cheap
// enough to read once per log line, fine enough for refreshes 33 ms apart.
int64_t coarseNowNs();

// The arithmetic of a progress bar. A count runs from 0 to its maximum; a
// maximum of 0 or less holds no progress at all.
//
// The count after a step, kept within 0..maximum.
int64_t stepCount(int64_t count, int64_t step, int64_t maximum);
// count / maximum as a whole percentage, halves rounded to the even neighbour
// (1 of 8 is 12 %, 3 of 8 is 38 %).
int progressPercent(int64_t count, int64_t maximum);
// How many of `width` pixels the filled part takes (the remainder dropped).
int64_t progressFillWidth(int64_t width, int64_t count, int64_t maximum);

// One bar of the progress dialog: white, filled from the left in teal, with
// the percentage centred in bold. The fill is laid over the text with a
// not-xor raster operation, so the text reads teal on white beside the fill
// and white on teal inside it.
class ProgressBarSurface : public QFrame {
    Q_OBJECT

public:
    explicit ProgressBarSurface(QWidget* parent = nullptr);

    // Setting the maximum starts the count again from 0.
    void setMaximum(int64_t maximum);
    int64_t maximum() const { return maximum_; }
    void step(int64_t by) { count_ = stepCount(count_, by, maximum_); }
    int64_t count() const { return count_; }

    int percent() const { return progressPercent(count_, maximum_); }
    QString percentText() const;
    // Pixels of the inner width the fill covers now.
    int fillWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int64_t maximum_ = 0;
    int64_t count_ = 0;
    QImage image_;  // the bar is drawn here first: raster operations need an image
};

// The dialog "進行状況" that stays on screen while logs load: a message, a
// small bar for the lines of the current file, a large bar for the files of
// the load, and a cancel button.
//
// The reader reports every line, so UpdateStatus counts and returns at once;
// only about 30 times a second does it show the message, repaint and let the
// event loop run. That is often enough for the window to stay live and for
// the cancel button to answer within a frame or two, and rare enough to cost
// nothing against reading a line.
//
// Closing the dialog by any means (the cancel button, the window's close
// button, a caller's close()) makes every later UpdateStatus return true
// until the dialog is shown again.
class frmProgress : public QDialog, public ProgressSink {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kRefreshInterval{33};

    explicit frmProgress(QWidget* parent = nullptr);
    ~frmProgress() override;

    int64_t MaxCount() const;
    void setMaxCount(int64_t max) override;
    int64_t MaxCountMini() const;
    void setMaxCountMini(int64_t max) override;

    // Adds `step` to the small bar (mini) or the large one. Returns true once
    // the dialog has been closed: the caller is to stop.
    bool UpdateStatus(const std::string& message, int64_t step, bool mini) override;

    bool cancelled() const { return bCancel_; }
    // How many times UpdateStatus has repainted and let the event loop run.
    uint64_t refreshCount() const { return refreshes_; }

    ProgressBarSurface* picBar() const { return picBar_; }
    ProgressBarSurface* picBar2() const { return picBar2_; }
    QLabel* lblMessage() const { return lblMessage_; }
    QPushButton* cmdCancel() const { return cmdCancel_; }

public Q_SLOTS:
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh(const std::string& message);
    void centerOnScreen();

    QLabel* lblMessage_;
    ProgressBarSurface* picBar2_;
    ProgressBarSurface* picBar_;
    QPushButton* cmdCancel_;
    bool bCancel_ = false;
    std::string shownMessage_;
    int64_t nextRefreshNs_ = std::numeric_limits<int64_t>::min();  // monotonic clock
    uint64_t refreshes_ = 0;
};

}  // namespace brevadin
