#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "common/reporting.h"

namespace brevadin {

// The host-name lookup the reader uses for the "c-ip" field, implemented by
// the host-name cache. The reader asks once per distinct address of a load.
class HostLookup {
public:
    virtual ~HostLookup() = default;
    // Returns true and sets name when the address is known without waiting.
    // Otherwise returns false and starts resolving it in the background.
    virtual bool findOrStart(std::string_view address, std::string& name) = 0;

    struct Resolved {
        std::string address;
        std::string name;  // "Unknown" for a failed lookup
    };
    // Waits for every lookup started since the last call and returns their
    // names. progress(done, total) is called now and then while waiting;
    // when it returns true the wait stops: lookups not finished are dropped
    // (neither returned nor remembered). Also called with cancelNow = true
    // right away when the load was already cancelled.
    virtual std::vector<Resolved> finishLookups(
        const std::function<bool(size_t done, size_t total)>& progress, bool cancelNow) = 0;
};

// name + " [" + address + "]", the form in which client addresses are shown.
inline std::string hostDisplayText(std::string_view name, std::string_view address) {
    std::string text;
    text.reserve(name.size() + address.size() + 3);
    text.append(name).append(" [").append(address).append("]");
    return text;
}

// The content-type switches of the settings (all true on a first run).
struct ContentTypes {
    bool IncludeAll = true;
    bool IncludeHTML = true;
    bool IncludeScript = true;
    bool IncludeArchive = true;
    bool IncludeMovie = true;
    bool IncludeSound = true;
};

// The settings values a load reads, taken once at its start.
struct ReaderSettings {
    int TimeDiff = 9;  // hours added to each record's date and time
    ContentTypes types;
};

// Everything a load reports to or asks of its surroundings. Any pointer may be
// null: no progress, no messages, or client addresses left as they are.
struct LoadContext {
    ReaderSettings settings;
    ProgressSink* progress = nullptr;
    MessageSink* messages = nullptr;
    HostLookup* hosts = nullptr;
    // Where the user picks the log format: a load that fails on a file of
    // another format asks to check it.
    std::string formatSetting = "オプション設定の「ログのフォーマット」";

    // What the reader met, added up over the files of one load, for the
    // load's outcome: the lines it could not read and each failure that
    // ended a file early (already reported through messages as well).
    int64_t errorLines = 0;
    std::vector<Failure> failures;
};

}  // namespace brevadin
