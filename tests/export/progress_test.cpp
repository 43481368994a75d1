#include "export/frmprogress.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <thread>

namespace brevadin {
namespace {

constexpr int64_t kInt64Max = std::numeric_limits<int64_t>::max();

// Percent rounds halves to the even neighbour, steps and fills stay within
// the bar whatever the counts, and nothing overflows far beyond 32 bits.
TEST(ProgressArithmetic, StaysWithinTheBarAndRoundsHalvesToEven) {
    struct {
        int64_t count, max;
        int percent;
    } percents[] = {{1, 8, 12},
                    {3, 8, 38},
                    {1, 200, 0},
                    {3, 200, 2},
                    {9, 8, 100},
                    {-3, 8, 0},
                    {5, 0, 0},
                    {5, -4, 0},
                    {kInt64Max / 2, kInt64Max, 50},
                    {kInt64Max, kInt64Max, 100},
                    {3'000'000'000LL, 8'000'000'000LL, 38}};
    for (auto c : percents)
        EXPECT_EQ(progressPercent(c.count, c.max), c.percent) << c.count << "/" << c.max;
    for (int64_t max = 1; max <= 64; ++max)
        for (int64_t count = 0; count <= max; ++count)
            ASSERT_EQ(progressPercent(count, max),
                      static_cast<int>(std::nearbyint(static_cast<double>(count) * 100.0 /
                                                      static_cast<double>(max))))
                << count << "/" << max;

    struct {
        int64_t count, step, max, expected;
    } steps[] = {{0, 1, 8, 1},
                 {8, 1, 8, 8},
                 {3, kInt64Max, 8, 8},
                 {kInt64Max - 1, kInt64Max, kInt64Max, kInt64Max},
                 {3, -2, 8, 1},
                 {3, -5, 8, 0},
                 {3, std::numeric_limits<int64_t>::min(), 8, 0},
                 {0, 1, 0, 0},
                 {0, 1, -1, 0}};
    for (auto c : steps) EXPECT_EQ(stepCount(c.count, c.step, c.max), c.expected) << c.count;

    struct {
        int width;
        int64_t count, max;
        int expected;
    } fills[] = {{289, 3, 8, 108},
                 {289, 9, 8, 289},
                 {289, 1, 0, 0},
                 {0, 1, 1, 0},
                 {290, 7'500'000, 10'000'000, 217},
                 {290, kInt64Max / 2, kInt64Max, 144}};
    for (auto c : fills)
        EXPECT_EQ(progressFillWidth(c.width, c.count, c.max), c.expected) << c.count;
}

class ProgressDialog : public ::testing::Test {
protected:
    frmProgress dialog;
};

TEST_F(ProgressDialog, BarsCountStepsAndStopAtTheirMaximum) {
    dialog.setMaxCount(1);
    EXPECT_FALSE(dialog.UpdateStatus("done", 1, false));
    EXPECT_EQ(dialog.picBar()->percent(), 100);
    EXPECT_EQ(dialog.picBar()->fillWidth(), dialog.picBar()->contentsRect().width());
    dialog.UpdateStatus("done", 1, false);
    EXPECT_EQ(dialog.picBar()->count(), 1);
    EXPECT_EQ(dialog.picBar()->percentText(), QStringLiteral("100%"));

    dialog.setMaxCountMini(8);
    const int expected[] = {12, 25, 38};
    for (int p : expected) {
        dialog.UpdateStatus("line", 1, true);
        EXPECT_EQ(dialog.picBar2()->percent(), p);
    }
    EXPECT_EQ(dialog.picBar()->count(), 1);  // the large bar took none of them
    dialog.setMaxCountMini(10);              // a new maximum restarts only its own bar
    EXPECT_EQ(dialog.picBar2()->count(), 0);
    EXPECT_EQ(dialog.picBar()->count(), 1);
}

// Counts pixels of a bar's picture that are the foreground teal and white.
struct Colours {
    int teal = 0, white = 0, other = 0;
};
Colours coloursIn(const QImage& image, int x0, int x1, int y0, int y1) {
    Colours c;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const QRgb p = image.pixel(x, y);
            if (p == qRgb(0, 136, 136)) {
                ++c.teal;
            } else if (p == qRgb(255, 255, 255)) {
                ++c.white;
            } else {
                ++c.other;
            }
        }
    }
    return c;
}

TEST_F(ProgressDialog, ThePercentageReadsInvertedInsideTheFill) {
    dialog.setMaxCountMini(2);
    dialog.UpdateStatus("half", 1, true);
    ProgressBarSurface* bar = dialog.picBar2();
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect inner = bar->contentsRect();
    const int edge = inner.left() + bar->fillWidth();
    ASSERT_GT(bar->fillWidth(), 0);
    ASSERT_LT(edge, inner.right());

    // Away from the centred text: pure teal in the fill, pure white beyond.
    const Colours leftEnd =
        coloursIn(image, inner.left(), inner.left() + 4, inner.top(), inner.bottom() + 1);
    EXPECT_GT(leftEnd.teal, 0);
    EXPECT_EQ(leftEnd.white + leftEnd.other, 0);
    const Colours rightEnd =
        coloursIn(image, inner.right() - 3, inner.right() + 1, inner.top(), inner.bottom() + 1);
    EXPECT_GT(rightEnd.white, 0);
    EXPECT_EQ(rightEnd.teal + rightEnd.other, 0);

    // "50%" straddles the edge: white strokes on teal left of it, teal
    // strokes on white right of it.
    const int textLeft = inner.left() + inner.width() / 4;
    const int textRight = inner.left() + inner.width() * 3 / 4;
    const Colours inFill = coloursIn(image, textLeft, edge, inner.top(), inner.bottom() + 1);
    const Colours beyond = coloursIn(image, edge, textRight, inner.top(), inner.bottom() + 1);
    EXPECT_GT(inFill.white, 0);
    EXPECT_GT(inFill.teal, inFill.white);
    EXPECT_GT(beyond.teal, 0);
    EXPECT_GT(beyond.white, beyond.teal);
}

TEST_F(ProgressDialog, CancelMakesEveryLaterUpdateStopUntilShownAgain) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.setMaxCountMini(100);
    EXPECT_FALSE(dialog.UpdateStatus("reading", 1, true));
    QTest::mouseClick(dialog.cmdCancel(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.cancelled());
    const int64_t before = dialog.picBar2()->count();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(dialog.UpdateStatus("reading", 1, true));
    EXPECT_EQ(dialog.picBar2()->count(), before);  // nothing is counted or shown
    EXPECT_FALSE(dialog.isVisible());

    dialog.show();
    EXPECT_FALSE(dialog.UpdateStatus("reading", 1, true));
}

TEST_F(ProgressDialog, AnyWayOfClosingCountsAsCancel) {
    dialog.show();
    dialog.close();
    EXPECT_TRUE(dialog.UpdateStatus("x", 1, true));
    dialog.show();
    EXPECT_FALSE(dialog.UpdateStatus("x", 1, true));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.UpdateStatus("x", 1, true));
    dialog.show();
    dialog.accept();
    EXPECT_TRUE(dialog.UpdateStatus("x", 1, true));
}

TEST_F(ProgressDialog, AMillionUpdatesRefreshAtMostAboutThirtyTimesASecond) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const int64_t lines = 1'000'000;
    dialog.setMaxCount(1);
    dialog.setMaxCountMini(lines);
    const std::string message = "ex030501.log を読み込んでいます";
    const auto start = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < lines; ++i) ASSERT_FALSE(dialog.UpdateStatus(message, 1, true));
    const auto elapsed = std::chrono::steady_clock::now() - start;

    // The dialog's clock ticks every few milliseconds: allow for one tick.
    const auto allowed =
        (elapsed + std::chrono::milliseconds(5)) / frmProgress::kRefreshInterval + 1;
    EXPECT_GE(dialog.refreshCount(), 1u);
    EXPECT_LE(dialog.refreshCount(), static_cast<uint64_t>(allowed));
    EXPECT_EQ(dialog.picBar2()->percent(), 100);
    EXPECT_EQ(dialog.lblMessage()->text(), QString::fromStdString(message));
}

TEST_F(ProgressDialog, SlowLinesRefreshOncePerLineAndShowTheLatestMessage) {
    dialog.show();
    dialog.setMaxCountMini(10);
    const uint64_t before = dialog.refreshCount();
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(frmProgress::kRefreshInterval + std::chrono::milliseconds(10));
        dialog.UpdateStatus("line " + std::to_string(i), 1, true);
    }
    EXPECT_EQ(dialog.refreshCount() - before, 3u);
    EXPECT_EQ(dialog.lblMessage()->text(), QStringLiteral("line 2"));
}

}  // namespace
}  // namespace brevadin
