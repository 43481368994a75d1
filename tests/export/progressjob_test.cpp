// Long work on a worker thread behind the progress dialog.
#include "export/progressjob.h"

#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <limits>

#include "export/frmprogress.h"

namespace brevadin {
namespace {

// The cancel button answers while the worker runs (the GUI thread is free),
// the worker stops at its next update, and the report says so; the dialog's
// counts reach it through queued calls, and the messages come back in order
// instead of being shown from the worker.
TEST(ProgressJob, CancelStopsTheWorkAndMessagesComeBackInOrder) {
    for (bool cancel : {true, false}) {
        frmProgress dialog;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        if (cancel) QTimer::singleShot(50, dialog.cmdCancel(), &QPushButton::click);
        int64_t calls = 0;
        bool onGuiThread = true;
        const auto start = std::chrono::steady_clock::now();
        JobReport report = runWithProgress(dialog, [&](ProgressSink& p, MessageSink& m) {
            onGuiThread = QThread::currentThread() == dialog.thread();
            m.showMessage(MessageIcon::Exclamation, "first", "");
            p.setMaxCount(1);
            p.setMaxCountMini(cancel ? std::numeric_limits<int64_t>::max() : 1000);
            const int64_t limit = cancel ? std::numeric_limits<int64_t>::max() : 1000;
            while (calls < limit && !p.UpdateStatus("reading", 1, true)) ++calls;
            m.showMessage(MessageIcon::Critical, "second", "");
        });
        EXPECT_FALSE(onGuiThread);
        EXPECT_EQ(report.cancelled, cancel);
        ASSERT_EQ(report.messages.size(), 2u);
        EXPECT_EQ(report.messages[0].text, "first");
        EXPECT_EQ(report.messages[1].icon, MessageIcon::Critical);
        if (cancel) {
            EXPECT_FALSE(dialog.isVisible());
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        } else {
            QTest::qWait(10);  // the last counts are queued for the dialog
            EXPECT_EQ(dialog.picBar2()->count(), 1000);
            EXPECT_EQ(dialog.MaxCount(), 1);
        }
    }
}

}  // namespace
}  // namespace brevadin
