#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "logdata/loadcontext.h"

namespace brevadin {

// A progress bar on a terminal for the exporter: one line on standard error,
// redrawn at most ten times a second however often the reader reports.
class TerminalProgress : public ProgressSink {
public:
    explicit TerminalProgress(std::FILE* out) : out_(out) {}
    ~TerminalProgress() override { finish(); }

    void setMaxCount(int64_t max) override {
        max_ = max;
        count_ = 0;
    }
    void setMaxCountMini(int64_t max) override {
        maxMini_ = max;
        countMini_ = 0;
    }
    bool UpdateStatus(const std::string& message, int64_t step, bool mini) override;
    // Clears the bar's line.
    void finish();

private:
    void draw(const std::string& message);

    std::FILE* out_;
    int64_t max_ = 0, count_ = 0, maxMini_ = 0, countMini_ = 0;
    uint32_t sinceCheck_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool drawn_ = false;
};

}  // namespace brevadin
