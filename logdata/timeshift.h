#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brevadin {

struct ShiftedDateTime {
    std::string date;  // "yyyy-mm-dd"
    std::string time;  // "hh:mm:ss", 24-hour clock, with the input's fraction of a second
};

// Moves a date and time of day by whole hours, rolling days, months and years
// over as the calendar does. Readable forms: the date as year-month-day with
// a four-digit year and "-" or "/" between the parts, the time as
// hours:minutes[:seconds[.fraction]] on a 24-hour clock; one- or two-digit
// parts.
// Anything else, an impossible date such as 2003-02-29, or a result outside
// the years 1 to 9999 gives no value.
// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, int m, int d);
void civilFromDays(int64_t days, int64_t& y, int& m, int& d);

std::optional<ShiftedDateTime> fncShiftDateTime(std::string_view date, std::string_view time,
                                                int hours);

}  // namespace brevadin
