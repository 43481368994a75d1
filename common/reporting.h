#pragma once

#include <cstdint>
#include <string>

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

}  // namespace brevadin
