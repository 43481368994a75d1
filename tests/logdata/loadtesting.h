#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "logdata/loadcontext.h"
#include "logdata/recordset.h"

namespace brevadin::testing {

// A folder of its own under the system's temporary folder, removed with
// everything in it when the test ends.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brevadin-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (made) path_ = made;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // Writes the bytes as they are: no line-end translation.
    std::string write(const std::string& name, std::string_view bytes) const {
        std::string file = path_ + "/" + name;
        std::ofstream out(file, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return file;
    }

private:
    std::string path_;
};

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
    int64_t calls = 0;
    int64_t miniCalls = 0;
    int64_t steps = 0;
    std::vector<int64_t> maxCountMini;
    std::string lastMessage;
    std::set<std::string> messages;
};

class RecordingMessages : public MessageSink {
public:
    struct Shown {
        MessageIcon icon;
        std::string text;
        std::string title;
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

inline std::vector<std::string> fieldNames(const Recordset& table) {
    std::vector<std::string> names;
    for (const auto& f : table.fields()) names.push_back(f.name);
    return names;
}

inline std::string cell(const Recordset& table, size_t row, std::string_view field) {
    int column = table.fieldIndex(field);
    if (column < 0) return "<no field " + std::string(field) + ">";
    return std::string(table.value(row, static_cast<size_t>(column)));
}

}  // namespace brevadin::testing
