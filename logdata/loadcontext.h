#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brevadin {

// What the log reader and the loading commands report progress through. The
// viewer's progress dialog implements it; the command-line exporter draws a
// bar on a terminal; tests count calls.
//
// UpdateStatus is called once per line read, so an implementation must be
// cheap: it decides itself how often to repaint.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setMaxCount(int64_t max) = 0;      // the large bar: files of a load
    virtual void setMaxCountMini(int64_t max) = 0;  // the small bar: lines of a file
    // Returns true once the user has cancelled; the caller then stops.
    virtual bool UpdateStatus(const std::string& message, int64_t step, bool mini) = 0;
};

enum class MessageIcon { None, Critical, Exclamation, Information };

// Message boxes of the core (the reader's error report, its error-line count).
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(MessageIcon icon, const std::string& text,
                             const std::string& title) = 0;
};

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
};

}  // namespace brevadin
