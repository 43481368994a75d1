#include "tools/terminalprogress.h"

#include <algorithm>

namespace brevadin {

bool TerminalProgress::UpdateStatus(const std::string& message, int64_t step, bool mini) {
    if (mini) {
        countMini_ = std::min(countMini_ + step, maxMini_);
    } else {
        count_ = std::min(count_ + step, max_);
    }
    // Reading the clock on every line would cost more than the line itself.
    if (mini && ++sinceCheck_ < 4096 && countMini_ != maxMini_) return false;
    sinceCheck_ = 0;
    auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100) && countMini_ != maxMini_)
        return false;
    lastDraw_ = now;
    draw(message);
    return false;
}

void TerminalProgress::draw(const std::string& message) {
    constexpr int kWidth = 30;
    int64_t percent = maxMini_ > 0 ? countMini_ * 100 / maxMini_ : 0;
    int filled = static_cast<int>(percent * kWidth / 100);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(kWidth - filled), '.');
    std::fprintf(out_, "\r\033[K[%s] %3lld%%  (%lld/%lld) %s", bar.c_str(),
                 static_cast<long long>(percent), static_cast<long long>(count_),
                 static_cast<long long>(max_), message.c_str());
    std::fflush(out_);
    drawn_ = true;
}

void TerminalProgress::finish() {
    if (!drawn_) return;
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
    drawn_ = false;
}

}  // namespace brevadin
