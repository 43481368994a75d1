#include "export/progressjob.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <thread>

#include "export/frmprogress.h"

namespace brevadin {
namespace {

// Hands the worker's progress to the dialog on the GUI thread. Steps add up
// here between refreshes; a new maximum first passes on the steps before it,
// so the dialog sees every call in the order the worker made it.
class RelayedProgress : public ProgressSink {
public:
    RelayedProgress(frmProgress* dialog, const std::atomic<bool>& cancelled)
        : dialog_(dialog), cancelled_(cancelled) {}

    void setMaxCount(int64_t max) override {
        flush();
        post([max](frmProgress& d) { d.setMaxCount(max); });
    }
    void setMaxCountMini(int64_t max) override {
        flush();
        post([max](frmProgress& d) { d.setMaxCountMini(max); });
    }
    // Called once per line: counting is all it does, unless a refresh is due
    // (the message is copied only then, and a coarse clock is read).
    bool UpdateStatus(const std::string& message, int64_t step, bool mini) override {
        if (cancelled_.load(std::memory_order_relaxed)) return true;
        (mini ? pendingMini_ : pendingLarge_) += step;
        const int64_t now = coarseNowNs();
        if (now >= nextPostNs_) {
            nextPostNs_ = now + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    frmProgress::kRefreshInterval)
                                    .count();
            if (message != message_) {
                message_ = message;
                messageChanged_ = true;
            }
            flush();
        }
        return cancelled_.load(std::memory_order_relaxed);
    }
    void flush() {
        if (pendingMini_ == 0 && pendingLarge_ == 0 && !messageChanged_) return;
        post([mini = pendingMini_, large = pendingLarge_, message = message_](frmProgress& d) {
            if (large) d.UpdateStatus(message, large, false);
            if (mini || !large) d.UpdateStatus(message, mini, true);
        });
        pendingMini_ = pendingLarge_ = 0;
        messageChanged_ = false;
    }

private:
    template <class F>
    void post(F f) {
        QPointer<frmProgress> target(dialog_);
        QMetaObject::invokeMethod(
            dialog_,
            [target, f = std::move(f)] {
                if (target) f(*target);
            },
            Qt::QueuedConnection);
    }

    frmProgress* dialog_;
    const std::atomic<bool>& cancelled_;
    int64_t pendingMini_ = 0;
    int64_t pendingLarge_ = 0;
    std::string message_;  // as of the last refresh
    bool messageChanged_ = false;
    int64_t nextPostNs_ = std::numeric_limits<int64_t>::min();
};

class RecordedMessages : public MessageSink {
public:
    void showMessage(MessageIcon icon, const std::string& text, const std::string& title) override {
        std::lock_guard<std::mutex> lock(mutex_);
        messages.push_back({icon, text, title});
    }
    std::vector<ReportedMessage> messages;

private:
    std::mutex mutex_;
};

}  // namespace

JobReport runWithProgress(frmProgress& dialog,
                          const std::function<void(ProgressSink&, MessageSink&)>& work) {
    std::atomic<bool> cancelled{false};
    // Any way of closing the dialog counts as a cancel.
    const auto connection =
        QObject::connect(&dialog, &QDialog::finished, &dialog, [&cancelled] { cancelled = true; });
    RelayedProgress progress(&dialog, cancelled);
    RecordedMessages messages;
    QEventLoop loop;
    std::thread worker([&] {
        work(progress, messages);
        progress.flush();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    QObject::disconnect(connection);
    return JobReport{cancelled.load(), std::move(messages.messages)};
}

}  // namespace brevadin
