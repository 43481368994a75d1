#include "export/frmprogress.h"

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <thread>

namespace brevadin {
namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();

// Percent rounds halves to the even neighbour, steps and fills stay within
// the bar whatever the counts, and nothing overflows far beyond 32 bits.
TEST(ProgressArithmetic, StaysWithinTheBarAndRoundsHalvesToEven) {
    for (int64_t max = 1; max <= 64; ++max)
        for (int64_t count = 0; count <= max; ++count)
            ASSERT_EQ(progressPercent(count, max),
                      static_cast<int>(std::nearbyint(count * 100.0 / max)))
                << count << "/" << max;
    const struct {
        int64_t count, max;
        int percent;
    } percents[] = {{1, 200, 0},       {9, 8, 100},
                    {-3, 8, 0},        {5, 0, 0},
                    {5, -4, 0},        {kMax / 2, kMax, 50},
                    {kMax, kMax, 100}, {3'000'000'000LL, 8'000'000'000LL, 38}};
    for (auto c : percents)
        EXPECT_EQ(progressPercent(c.count, c.max), c.percent) << c.count << "/" << c.max;
    const struct {
        int64_t count, step, max, expected;
    } steps[] = {{0, 1, 8, 1},
                 {8, 1, 8, 8},
                 {3, kMax, 8, 8},
                 {kMax - 1, kMax, kMax, kMax},
                 {3, -2, 8, 1},
                 {3, -5, 8, 0},
                 {3, std::numeric_limits<int64_t>::min(), 8, 0},
                 {0, 1, 0, 0},
                 {0, 1, -1, 0}};
    for (auto c : steps) EXPECT_EQ(stepCount(c.count, c.step, c.max), c.expected) << c.count;
    const struct {
        int width;
        int64_t count, max;
        int expected;
    } fills[] = {{289, 3, 8, 108},
                 {289, 9, 8, 289},
                 {289, 1, 0, 0},
                 {0, 1, 1, 0},
                 {290, 7'500'000, 10'000'000, 217},
                 {290, kMax / 2, kMax, 144}};
    for (auto c : fills)
        EXPECT_EQ(progressFillWidth(c.width, c.count, c.max), c.expected) << c.count;
}

class ProgressDialog : public ::testing::Test {
protected:
    frmProgress dialog;
};

TEST_F(ProgressDialog, EachBarCountsItsOwnStepsAndStopsAtItsMaximum) {
    dialog.setMaxCount(1);
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(dialog.UpdateStatus("done", 1, false));
    EXPECT_EQ(dialog.picBar()->count(), 1);
    EXPECT_EQ(dialog.picBar()->fillWidth(), dialog.picBar()->contentsRect().width());
    EXPECT_EQ(dialog.picBar()->percentText(), QStringLiteral("100%"));
    dialog.setMaxCountMini(8);
    for (int i = 0; i < 3; ++i) dialog.UpdateStatus("line", 1, true);
    EXPECT_EQ(dialog.picBar2()->percent(), 38);
    EXPECT_EQ(dialog.picBar()->count(), 1);  // the large bar took none of them
    dialog.setMaxCountMini(10);              // a new maximum restarts only its own bar
    EXPECT_EQ(dialog.picBar2()->count(), 0);
    EXPECT_EQ(dialog.picBar()->count(), 1);
}

// "50%" straddles the fill's edge: white strokes on teal left of it, teal
// strokes on white right of it.
TEST_F(ProgressDialog, ThePercentageReadsInvertedInsideTheFill) {
    dialog.setMaxCountMini(2);
    dialog.UpdateStatus("half", 1, true);
    ProgressBarSurface* bar = dialog.picBar2();
    const QImage image = bar->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect in = bar->contentsRect();
    const int edge = in.left() + bar->fillWidth();
    ASSERT_TRUE(bar->fillWidth() > 0 && edge < in.right());
    // Teal and white pixels between two columns.
    const auto colours = [&](int x0, int x1) {
        std::array<int, 2> n{};
        for (int y = in.top(); y <= in.bottom(); ++y)
            for (int x = x0; x < x1; ++x) {
                n[0] += image.pixel(x, y) == qRgb(0, 136, 136);
                n[1] += image.pixel(x, y) == qRgb(255, 255, 255);
            }
        return n;
    };
    const auto inFill = colours(in.left(), edge), beyond = colours(edge, in.right() + 1);
    EXPECT_GT(inFill[1], 0);
    EXPECT_GT(inFill[0], inFill[1]);
    EXPECT_GT(beyond[0], 0);
    EXPECT_GT(beyond[1], beyond[0]);
}

TEST_F(ProgressDialog, AnyWayOfClosingCancelsEveryLaterUpdateUntilShownAgain) {
    const std::function<void(frmProgress&)> ways[] = {
        [](frmProgress& d) { QTest::mouseClick(d.cmdCancel(), Qt::LeftButton); },
        [](frmProgress& d) { d.close(); },
        [](frmProgress& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](frmProgress& d) { d.accept(); }};
    dialog.setMaxCountMini(100);
    for (const auto& close : ways) {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        EXPECT_FALSE(dialog.UpdateStatus("reading", 1, true));
        close(dialog);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_TRUE(dialog.cancelled());
        const int64_t before = dialog.picBar2()->count();
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(dialog.UpdateStatus("reading", 1, true));
        EXPECT_EQ(dialog.picBar2()->count(), before);  // nothing is counted or shown
        EXPECT_FALSE(dialog.isVisible());
    }
}

// A burst of updates within one interval refreshes the window once, showing
// the message of the moment. The rate over a million-line load is a figure
// of the grid benchmark.
TEST_F(ProgressDialog, ABurstRefreshesOnceAndShowsItsMessage) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.setMaxCountMini(1000);
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(frmProgress::kRefreshInterval + std::chrono::milliseconds(10));
        const uint64_t before = dialog.refreshCount();
        for (int k = 0; k < 100; ++k) dialog.UpdateStatus("line " + std::to_string(i), 1, true);
        EXPECT_EQ(dialog.refreshCount() - before, 1u);
        EXPECT_EQ(dialog.lblMessage()->text(), QStringLiteral("line %1").arg(i));
    }
}

}  // namespace
}  // namespace brevadin
