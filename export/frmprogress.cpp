#include "export/frmprogress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <time.h>

#include "common/qtcommon.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brevadin {

namespace {

const QColor kBarBackground(255, 255, 255);
const QColor kBarForeground(0, 136, 136);

// The dialog's layout as designed, in twips (1/1440 inch).
constexpr int kClientWidth = 4530;
constexpr int kClientHeight = 1800;
struct TwipRect {
    int left, top, width, height;
};
constexpr TwipRect kMessageRect{120, 120, 4335, 255};
constexpr TwipRect kSmallBarRect{120, 360, 4335, 255};
constexpr TwipRect kLargeBarRect{120, 720, 4335, 375};
constexpr TwipRect kCancelRect{1680, 1320, 1215, 375};

int toPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

// Halves a count and its maximum together until `factor` times the count fits
// in 64 bits; only counts far beyond any log's line count lose precision.
void scaleToFit(uint64_t& count, uint64_t& maximum, uint64_t factor) {
    while (count > std::numeric_limits<uint64_t>::max() / factor) {
        count >>= 1;
        maximum >>= 1;
    }
}

}  // namespace

// UpdateStatus reads the clock once per log line. The coarse clock costs a
// few nanoseconds against some 25 for the precise one, and its resolution
// (a few milliseconds) is far finer than the refresh period.
int64_t coarseNowNs() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec ts;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &ts) == 0)
        return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
#endif
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t stepCount(int64_t count, int64_t step, int64_t maximum) {
    if (maximum <= 0) return 0;
    count = std::clamp<int64_t>(count, 0, maximum);
    if (step >= 0) return step > maximum - count ? maximum : count + step;
    return step < -count ? 0 : count + step;
}

int progressPercent(int64_t count, int64_t maximum) {
    if (maximum <= 0) return 0;
    uint64_t c = static_cast<uint64_t>(std::clamp<int64_t>(count, 0, maximum));
    uint64_t m = static_cast<uint64_t>(maximum);
    scaleToFit(c, m, 200);
    if (m == 0) return 100;
    const uint64_t scaled = c * 100;
    uint64_t q = scaled / m;
    const uint64_t twiceRest = (scaled % m) * 2;
    if (twiceRest > m || (twiceRest == m && (q & 1) != 0)) ++q;
    return static_cast<int>(q);
}

int64_t progressFillWidth(int64_t width, int64_t count, int64_t maximum) {
    if (maximum <= 0 || width <= 0) return 0;
    uint64_t c = static_cast<uint64_t>(std::clamp<int64_t>(count, 0, maximum));
    uint64_t m = static_cast<uint64_t>(maximum);
    scaleToFit(c, m, static_cast<uint64_t>(width));
    if (m == 0) return width;
    return static_cast<int64_t>(c * static_cast<uint64_t>(width) / m);
}

// ---------------------------------------------------------------------------

ProgressBarSurface::ProgressBarSurface(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ProgressBarSurface::setMaximum(int64_t maximum) {
    maximum_ = maximum;
    count_ = 0;
    update();
}

QString ProgressBarSurface::percentText() const {
    return QString::number(percent()) + QLatin1Char('%');
}

int ProgressBarSurface::fillWidth() const {
    return static_cast<int>(progressFillWidth(contentsRect().width(), count_, maximum_));
}

void ProgressBarSurface::paintEvent(QPaintEvent* /*event*/) {
    const QRect inner = contentsRect();
    if (image_.size() != inner.size()) image_ = QImage(inner.size(), QImage::Format_RGB32);
    if (!image_.isNull()) {
        image_.fill(kBarBackground);
        QPainter painter(&image_);
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.setPen(kBarForeground);
        const QString text = percentText();
        const QFontMetrics metrics(bold);
        const int x = (inner.width() - metrics.horizontalAdvance(text)) / 2;
        const int y = (inner.height() - metrics.height()) / 2;
        painter.drawText(x, y + metrics.ascent(), text);
        // not (pen xor surface): white turns teal and teal turns white, so the
        // digits stay readable on both sides of the fill's edge.
        painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        painter.fillRect(QRect(0, 0, fillWidth(), inner.height()), kBarForeground);
    }
    QPainter painter(this);
    painter.drawImage(inner.topLeft(), image_);
    drawFrame(&painter);
}

// ---------------------------------------------------------------------------

frmProgress::frmProgress(QWidget* parent)
    : QDialog(parent),
      lblMessage_(new QLabel(this)),
      picBar2_(new ProgressBarSurface(this)),
      picBar_(new ProgressBarSurface(this)),
      cmdCancel_(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this)) {
    setWindowTitle(QStringLiteral("進行状況"));
    const double dx = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    const double dy = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    auto place = [&](QWidget* w, const TwipRect& r) {
        w->setGeometry(toPixels(r.left, dx), toPixels(r.top, dy), toPixels(r.width, dx),
                       toPixels(r.height, dy));
    };
    setFixedSize(toPixels(kClientWidth, dx), toPixels(kClientHeight, dy));

    lblMessage_->setObjectName(QStringLiteral("lblMessage"));
    lblMessage_->setTextFormat(Qt::PlainText);
    place(lblMessage_, kMessageRect);
    picBar2_->setObjectName(QStringLiteral("picBar2"));
    place(picBar2_, kSmallBarRect);
    picBar_->setObjectName(QStringLiteral("picBar"));
    place(picBar_, kLargeBarRect);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel_->setAutoDefault(false);
    place(cmdCancel_, kCancelRect);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

frmProgress::~frmProgress() = default;

int64_t frmProgress::MaxCount() const {
    return picBar_->maximum();
}
void frmProgress::setMaxCount(int64_t max) {
    picBar_->setMaximum(max);
}
int64_t frmProgress::MaxCountMini() const {
    return picBar2_->maximum();
}
void frmProgress::setMaxCountMini(int64_t max) {
    picBar2_->setMaximum(max);
}

bool frmProgress::UpdateStatus(const std::string& message, int64_t step, bool mini) {
    if (bCancel_) return true;
    (mini ? picBar2_ : picBar_)->step(step);
    const int64_t now = coarseNowNs();
    if (now < nextRefreshNs_) return false;
    nextRefreshNs_ =
        now + std::chrono::duration_cast<std::chrono::nanoseconds>(kRefreshInterval).count();
    refresh(message);
    // A click on the cancel button lands during the refresh: report it now
    // rather than one line later.
    return bCancel_;
}

void frmProgress::refresh(const std::string& message) {
    if (message != shownMessage_) {
        shownMessage_ = message;
        lblMessage_->setText(QString::fromStdString(message));
    }
    picBar_->update();
    picBar2_->update();
    ++refreshes_;
}

void frmProgress::done(int result) {
    bCancel_ = true;
    QDialog::done(result);
}

void frmProgress::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;  // restored from the task bar, not opened
    bCancel_ = false;
    nextRefreshNs_ = std::numeric_limits<int64_t>::min();
    centerOnScreen();
}

void frmProgress::closeEvent(QCloseEvent* event) {
    bCancel_ = true;
    QDialog::closeEvent(event);
}

void frmProgress::centerOnScreen() {
    CenterWindow(this);
}

}  // namespace brevadin
