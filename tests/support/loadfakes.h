#pragma once

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/columnwidths.h"
#include "logdata/loadcontext.h"

namespace brevadin::testing {

class RecordingProgress : public ProgressSink {
public:
    void setMaxCount(int64_t) override {}
    void setMaxCountMini(int64_t max) override { maxCountMini.push_back(max); }
    bool UpdateStatus(const std::string& message, int64_t step, bool mini) override {
        ++calls;
        steps += step;
        if (mini) ++miniCalls;
        lastMessage = message;
        messages.insert(message);
        if (cancelAfter >= 0 && calls >= cancelAfter) cancelled = true;
        return cancelled;
    }

    int64_t cancelAfter = -1;  // cancel on this call (counting from 1) and every later one
    bool cancelled = false;
    int64_t calls = 0, miniCalls = 0, steps = 0;
    std::vector<int64_t> maxCountMini;
    std::string lastMessage;
    std::set<std::string> messages;
};

class RecordingMessages : public MessageSink {
public:
    struct Shown {
        MessageIcon icon;
        std::string text, title;
    };
    void showMessage(MessageIcon icon, const std::string& text, const std::string& title) override {
        shown.push_back(Shown{icon, text, title});
    }
    std::vector<Shown> shown;
};

// Knows some names at once; resolves some others when the lookups finish;
// leaves the rest unresolved.
class FakeHosts : public HostLookup {
public:
    bool findOrStart(std::string_view address, std::string& name) override {
        std::string key(address);
        ++asked[key];
        if (auto it = known.find(key); it != known.end()) {
            name = it->second;
            return true;
        }
        started.push_back(key);
        return false;
    }
    std::vector<Resolved> finishLookups(const std::function<bool(size_t, size_t)>& progress,
                                        bool cancelNow) override {
        ++finishCalls;
        lastCancelNow = cancelNow;
        std::vector<Resolved> out;
        if (cancelNow) return out;
        for (size_t i = 0; i < started.size(); ++i) {
            if (progress && progress(i, started.size())) return out;
            if (auto it = later.find(started[i]); it != later.end())
                out.push_back(Resolved{started[i], it->second});
        }
        started.clear();
        return out;
    }

    std::map<std::string, std::string> known;  // answered by findOrStart
    std::map<std::string, std::string> later;  // answered by finishLookups
    std::map<std::string, int> asked;
    std::vector<std::string> started;
    int finishCalls = 0;
    bool lastCancelNow = false;
};

// A context with every sink recording and the time shift off, so that
// values read back as the log wrote them.
struct TestContext {
    TestContext() {
        ctx.settings.TimeDiff = 0;
        ctx.progress = &progress;
        ctx.messages = &messages;
    }
    RecordingProgress progress;
    RecordingMessages messages;
    LoadContext ctx;
};

// A grid of n columns, every one `width` twips wide until set.
class FakeWidths : public ColumnWidths {
public:
    explicit FakeWidths(int64_t n, int64_t width = 1200) : w(static_cast<size_t>(n), width) {}
    int64_t Cols() const override { return static_cast<int64_t>(w.size()); }
    int64_t ColWidth(int64_t c) const override { return w[static_cast<size_t>(c)]; }
    void setColWidth(int64_t c, int64_t twips) override {
        if (c < 0)
            std::fill(w.begin(), w.end(), twips);
        else
            w[static_cast<size_t>(c)] = twips;
    }
    std::vector<int64_t> w;
};

}  // namespace brevadin::testing
