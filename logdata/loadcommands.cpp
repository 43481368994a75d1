#include "logdata/loadcommands.h"

#include "common/atomicfile.h"
#include "logdata/logreader.h"

namespace brevadin {

LoadOutcome loadOutcome(const LoadResult& result, bool cancelled) {
    if (cancelled) return LoadOutcome::Cancelled;
    if (result.nothingToShow) return LoadOutcome::NothingToShow;
    // A gathering whose logs all failed still gets its (empty) tab.
    return result.table || !result.caption.empty() ? LoadOutcome::Loaded : LoadOutcome::Failed;
}

std::string fncGatherCaption(const std::string& first, const std::string& last) {
    if (last.empty() || last == first) return first;
    // std::string compares bytes; on UTF-8 that is the order of character codes.
    return first > last ? last + "～" + first : first + "～" + last;
}

std::string logPath(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : joinPath(folder, name);
}

LoadResult loadSingleLog(const std::string& folder, const std::string& name, int32_t logType,
                         LoadContext& ctx) {
    if (ctx.progress) ctx.progress->setMaxCount(1);
    RecordsetPtr table;
    RecordsetPtr result = fncGetRecordsetFromLog(logPath(folder, name), table, logType, ctx);
    if (ctx.progress) ctx.progress->UpdateStatus(name + " を読み込みました", 1, false);
    LoadResult out;
    out.caption = name;
    if (!result || result->storedRowCount() == 0) out.withoutLines.push_back(name);
    if (result && result->rowCount() == 0) {
        out.nothingToShow = true;
        result.reset();
    }
    out.table = std::move(result);
    out.errorLines = ctx.errorLines;
    out.failures = ctx.failures;
    return out;
}

LoadResult gatherLogs(const std::string& folder, const std::vector<std::string>& names,
                      int32_t logType, LoadContext& ctx) {
    LoadResult out;
    if (ctx.progress) ctx.progress->setMaxCount(static_cast<int64_t>(names.size()));
    std::string first, last;
    RecordsetPtr accumulated;
    for (const auto& name : names) {
        last = name;
        const size_t before = accumulated ? accumulated->storedRowCount() : 0;
        RecordsetPtr result =
            fncGetRecordsetFromLog(logPath(folder, name), accumulated, logType, ctx);
        if (!result || result->storedRowCount() <= before) out.withoutLines.push_back(name);
        if (result) accumulated = result;
        if (accumulated && (!accumulated->isOpen() || accumulated->rowCount() == 0))
            accumulated.reset();
        if (first.empty()) first = name;
        if (ctx.progress) ctx.progress->UpdateStatus(name + " を読み込みました", 1, false);
    }
    if (first.empty()) {
        out.nothingToShow = true;
        return out;
    }
    out.caption = fncGatherCaption(first, last);
    out.table = std::move(accumulated);
    out.errorLines = ctx.errorLines;
    out.failures = ctx.failures;
    return out;
}

}  // namespace brevadin
