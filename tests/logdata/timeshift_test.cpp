#include "logdata/timeshift.h"

#include <gtest/gtest.h>

namespace brevadin {
namespace {

std::string shifted(std::string_view date, std::string_view time, int hours) {
    auto r = fncShiftDateTime(date, time, hours);
    return r ? r->date + " " + r->time : "<none>";
}

TEST(TimeShift, RollsOverDaysMonthsAndYears) {
    EXPECT_EQ(shifted("2003-05-01", "20:30:15", 9), "2003-05-02 05:30:15");
    EXPECT_EQ(shifted("2003-01-01", "03:00:00", -5), "2002-12-31 22:00:00");
    EXPECT_EQ(shifted("2003-12-31", "23:30:00", 1), "2004-01-01 00:30:00");
    EXPECT_EQ(shifted("2003-04-30", "23:59:59", 12), "2003-05-01 11:59:59");
    EXPECT_EQ(shifted("2003-05-01", "10:00:00", -11), "2003-04-30 23:00:00");
    EXPECT_EQ(shifted("2003-05-01", "00:00:00", 24 * 365), "2004-04-30 00:00:00");
    EXPECT_EQ(shifted("2003-05-01", "8:35:37.234", 9), "2003-05-01 17:35:37.234");
    EXPECT_EQ(shifted("2003-12-31", "23:59:59.9999999", 1), "2004-01-01 00:59:59.9999999");
}

TEST(TimeShift, LeapDays) {
    EXPECT_EQ(shifted("2004-03-01", "00:15:00", -1), "2004-02-29 23:15:00");
    EXPECT_EQ(shifted("2003-03-01", "00:15:00", -1), "2003-02-28 23:15:00");
    EXPECT_EQ(shifted("2004-02-28", "23:00:00", 1), "2004-02-29 00:00:00");
    EXPECT_EQ(shifted("1900-02-28", "23:00:00", 1), "1900-03-01 00:00:00");
    EXPECT_EQ(shifted("2000-02-28", "23:00:00", 1), "2000-02-29 00:00:00");
    EXPECT_EQ(shifted("2004-02-29", "12:00:00", 0), "2004-02-29 12:00:00");
}

TEST(TimeShift, ZeroHoursRewritesInTheOutputForms) {
    EXPECT_EQ(shifted("2003-05-01", "7:05:09", 0), "2003-05-01 07:05:09");
    EXPECT_EQ(shifted("2003/5/1", "7:05", 0), "2003-05-01 07:05:00");
}

TEST(TimeShift, UnreadableTextsGiveNoValue) {
    for (auto [date, time] : std::vector<std::pair<const char*, const char*>>{
             {"2003-02-29", "00:00:00"},  // no such day
             {"2003-13-01", "00:00:00"},
             {"2003-00-10", "00:00:00"},
             {"2003-05-01", "24:00:00"},
             {"2003-05-01", "12:60:00"},
             {"2003-05-01", ""},
             {"", "12:00:00"},
             {"03-05-01", "12:00:00"},  // two-digit year
             {"2003-05-01", "12:00:00."},
             {"2003-05-01", "12:00:00.5x"},
             {"2003-05-01", "12:00.5"},
             {"2003-05/01", "12:00:00"},
             {"-", "-"},
             {"2003-05-01x", "12:00:00"},
         }) {
        EXPECT_FALSE(fncShiftDateTime(date, time, 9)) << date << " " << time;
    }
}

TEST(TimeShift, ResultsOutsideTheCalendarRangeGiveNoValue) {
    EXPECT_FALSE(fncShiftDateTime("9999-12-31", "23:00:00", 1));
    EXPECT_FALSE(fncShiftDateTime("0001-01-01", "00:00:00", -1));
    EXPECT_EQ(shifted("9999-12-31", "23:00:00", 0), "9999-12-31 23:00:00");
}

}  // namespace
}  // namespace brevadin
