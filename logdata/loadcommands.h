#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "logdata/loadcontext.h"
#include "logdata/recordset.h"

namespace brevadin {

// What a loading command gives the grid: the tab's caption and its table.
// table is null when nothing could be shown (a failed, cancelled or empty load).
struct LoadResult {
    std::string caption;
    RecordsetPtr table;
    // True when the command itself found nothing to show and the user is to
    // be told "表示できるログがありません".
    bool nothingToShow = false;
    // The files that held no log line at all (only directives, or nothing).
    std::vector<std::string> withoutLines;
    // The reader's error lines and failures over all files of the load.
    int64_t errorLines = 0;
    std::vector<Failure> failures;
};

// How a load ended, as the window tells the user: a tab, "表示できるログがありません",
// nothing at all (a cancel: not even the rows read before it), or the
// reader's own messages (a failure: result.failures says which). A single
// log that failed still gets its tab, empty, as a gathering does.
enum class LoadOutcome { Loaded, NothingToShow, Cancelled, Failed };
LoadOutcome loadOutcome(const LoadResult& result, bool cancelled);

// The caption of a gathered load: the first name alone, or the two names
// joined by "～" with the smaller (by character code) in front.
std::string fncGatherCaption(const std::string& first, const std::string& last);

// Loads one log into a fresh table, as a double-click on the list does.
// ctx.progress, when set, gets the large bar's maximum (1) and one step.
LoadResult loadSingleLog(const std::string& folder, const std::string& name, int32_t logType,
                         LoadContext& ctx);

// Gathers several logs, in the given order, into one table, as
// "タブの追加(&A)" does: a file that yields no visible rows starts the
// gathering afresh, and the tab is captioned after the first and last names.
LoadResult gatherLogs(const std::string& folder, const std::vector<std::string>& names,
                      int32_t logType, LoadContext& ctx);

// The full path of a listed log: the folder, the separator and the name.
std::string logPath(const std::string& folder, const std::string& name);

}  // namespace brevadin
