#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "logdata/recordset.h"

// What a tab's rows add up to: how much traffic, when, from whom, for what
// and with what answer. The viewer's summary window and the exporter's
// --summary print the same figures from here.
namespace brevadin {

// The lists of a summary, in the order the exporter prints them.
enum class SummaryList { Clients, Paths, Referrers, Agents, NotFound, Statuses };
inline constexpr size_t kSummaryListCount = 6;

struct SummaryEntry {
    std::string key;
    uint64_t requests = 0;
    uint64_t bytes = 0;
};

struct Summary {
    uint64_t requests = 0;
    uint64_t bytes = 0;  // sent; "-" and unreadable values count as 0
    uint64_t clients = 0;
    // The table names a moment of each row (W3C date and time, NCSA Date, IIS
    // 日付 and 時刻); without one there is no time chart.
    bool hasMomentField = false;
    // Moments are seconds since 1970-01-01 00:00 of the zone the table shows
    // (NCSA dates moved into the zone of the time difference). Set when at
    // least one row's moment could be read.
    std::optional<int64_t> first, last;
    // Requests and bytes of each hour from first's hour to last's, hours
    // without requests included. Left empty when the span is absurdly long
    // (a misread year), which only a broken log gives.
    int64_t firstHour = 0;            // hours since 1970
    std::vector<SummaryEntry> hours;  // keys stay empty
    // Most requests first, ties by key ascending, at most topN each; status
    // codes are all there, in ascending order.
    std::array<std::vector<SummaryEntry>, kSummaryListCount> lists;

    const std::vector<SummaryEntry>& list(SummaryList l) const {
        return lists[static_cast<size_t>(l)];
    }
};

// Sums `rows` (storage rows of `table`, e.g. the rows a tab shows). NCSA
// dates are moved into the zone `timeDiffHours` ahead of UTC. `cancelled`
// (may be empty) is asked now and then; a yes gives no summary.
std::optional<Summary> summarize(const Recordset& table, const std::vector<uint32_t>& rows,
                                 int timeDiffHours, size_t topN,
                                 const std::function<bool()>& cancelled = {});

// "YYYY-MM-DD HH:MM:SS" of a moment, "YYYY-MM-DD HH" of an hour number.
std::string summaryMomentText(int64_t seconds);
std::string summaryHourText(int64_t hour);

// The filter (in the record table's language) that keeps the rows an entry
// of `list` counts, e.g. "c-ip = '192.0.2.1'"; empty when the table has no
// field for the list.
std::string summaryClause(const Recordset& table, SummaryList list, std::string_view key);

// The exporter's form: sections "# name", a header line, rows, an empty line;
// tab-separated. One list alone (without its "# " line) is what the viewer
// copies.
std::string summaryTsv(const Summary& s);
std::string summaryListTsv(const Summary& s, SummaryList list);

}  // namespace brevadin
