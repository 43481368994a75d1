#include "logdata/timeshift.h"

#include <cstdint>

namespace brevadin {
namespace {

// Reads one to `maxDigits` decimal digits from the front of `text`.
bool readNumber(std::string_view& text, size_t maxDigits, int& value) {
    size_t n = 0;
    value = 0;
    while (n < text.size() && n < maxDigits && text[n] >= '0' && text[n] <= '9') {
        value = value * 10 + (text[n] - '0');
        ++n;
    }
    if (n == 0) return false;
    text.remove_prefix(n);
    return true;
}

bool isLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int64_t y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeapYear(y) ? 29 : kDays[m - 1];
}

bool parseDate(std::string_view text, int& y, int& m, int& d) {
    size_t before = text.size();
    // A two-digit year would need a century guess; such dates stay unread.
    if (!readNumber(text, 4, y) || before - text.size() != 4 || y < 1) return false;
    if (text.empty() || (text[0] != '-' && text[0] != '/')) return false;
    char separator = text[0];
    text.remove_prefix(1);
    if (!readNumber(text, 2, m) || text.empty() || text[0] != separator) return false;
    text.remove_prefix(1);
    if (!readNumber(text, 2, d) || !text.empty()) return false;
    return m >= 1 && m <= 12 && d >= 1 && d <= daysInMonth(y, m);
}

// A fraction of a second ("37.234", as IIS Advanced Logging writes) is kept
// as written: only the hour moves, so its digits need no arithmetic.
bool parseTime(std::string_view text, int& h, int& mi, int& s, std::string_view& fraction) {
    s = 0;
    fraction = {};
    if (!readNumber(text, 2, h) || text.empty() || text[0] != ':') return false;
    text.remove_prefix(1);
    if (!readNumber(text, 2, mi)) return false;
    if (!text.empty()) {
        if (text[0] != ':') return false;
        text.remove_prefix(1);
        if (!readNumber(text, 2, s)) return false;
        if (!text.empty()) {
            if (text[0] != '.' || text.size() == 1) return false;
            fraction = text;
            for (char c : text.substr(1))
                if (c < '0' || c > '9') return false;
            text = {};
        }
    }
    return h <= 23 && mi <= 59 && s <= 59;
}

void putDigits(char* out, int64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

}  // namespace

// H. Hinnant's algorithms: exact for every year the readable forms allow.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

std::optional<ShiftedDateTime> fncShiftDateTime(std::string_view date, std::string_view time,
                                                int hours) {
    int y = 0, m = 0, d = 0, h = 0, mi = 0, s = 0;
    std::string_view fraction;
    if (!parseDate(date, y, m, d) || !parseTime(time, h, mi, s, fraction)) return std::nullopt;

    // Whole hours only, so minutes and seconds ride along unchanged.
    int64_t totalHours = daysFromCivil(y, m, d) * 24 + h + static_cast<int64_t>(hours);
    int64_t days = totalHours >= 0 ? totalHours / 24 : -((-totalHours + 23) / 24);
    int64_t hourOfDay = totalHours - days * 24;
    int64_t year = 0;
    int month = 0, day = 0;
    civilFromDays(days, year, month, day);
    if (year < 1 || year > 9999) return std::nullopt;

    ShiftedDateTime out;
    out.date = "0000-00-00";
    putDigits(&out.date[0], year, 4);
    putDigits(&out.date[5], month, 2);
    putDigits(&out.date[8], day, 2);
    out.time = "00:00:00";
    putDigits(&out.time[0], hourOfDay, 2);
    putDigits(&out.time[3], mi, 2);
    putDigits(&out.time[6], s, 2);
    out.time += fraction;
    return out;
}

}  // namespace brevadin
