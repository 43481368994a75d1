#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/reporting.h"

namespace brevadin {

class frmProgress;

// A message the work asked to show, kept to be shown once the work has ended.
struct ReportedMessage {
    MessageIcon icon;
    std::string text;
    std::string title;
};

// What a piece of long work left behind for the window to show.
struct JobReport {
    bool cancelled = false;                 // the user closed the progress dialog
    std::vector<ReportedMessage> messages;  // in the order the work reported them
};

// Runs `work` on a worker thread while `dialog` (already shown) follows its
// progress, and returns once the work has ended. The GUI thread keeps running
// its event loop meanwhile, so windows repaint and the cancel button answers
// at once; the work learns of a cancel from the next UpdateStatus it calls.
//
// The progress sink the work gets may be called from the worker as often as
// once per line: it passes counts on to the dialog through queued calls about
// 30 times a second. The message sink records instead of showing, because a
// message box belongs to the GUI thread: the caller shows the messages from
// the report, in their order.
JobReport runWithProgress(frmProgress& dialog,
                          const std::function<void(ProgressSink&, MessageSink&)>& work);

}  // namespace brevadin
