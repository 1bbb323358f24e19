#include "weekwell/week.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// A local wall-clock reading and the zone's offset from UTC at that moment.
struct Wall {
  int year;
  unsigned month, day;
  int hour, minute, second;
  int utc_offset_minutes;
};

std::time_t MomentOf(const Wall& wall) {
  using namespace std::chrono;
  sys_seconds utc = sys_days{year{wall.year} / month{wall.month} / day{wall.day}} +
                    hours{wall.hour} + minutes{wall.minute - wall.utc_offset_minutes} +
                    seconds{wall.second};
  return system_clock::to_time_t(utc);
}

struct Case {
  const char* zone;
  Wall wall;
  const char* line;
};

std::string Describe(const Case& c) {
  const Wall& w = c.wall;
  return std::string(c.zone) + " " + std::to_string(w.year) + "-" + std::to_string(w.month) + "-" +
         std::to_string(w.day) + " " + std::to_string(w.hour) + ":" + std::to_string(w.minute) +
         ":" + std::to_string(w.second) + " UTC" + std::to_string(w.utc_offset_minutes) + "min";
}

// Selects a time zone per case and puts the test's own zone back afterwards.
class WeekLineAtTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* previous = std::getenv("TZ");
    had_zone_ = previous != nullptr;
    if (had_zone_) previous_zone_ = previous;
  }
  void TearDown() override {
    if (had_zone_) {
      setenv("TZ", previous_zone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  template <size_t N>
  void ExpectLines(const Case (&cases)[N]) {
    for (const Case& c : cases) {
      setenv("TZ", c.zone, 1);
      std::string line;
      int err = 0;
      EXPECT_TRUE(WeekLineAt(MomentOf(c.wall), &line, &err)) << Describe(c);
      EXPECT_EQ(line, c.line) << Describe(c);
    }
  }

 private:
  bool had_zone_ = false;
  std::string previous_zone_;
};

TEST(CountSundays, CountsSundaysUpToTheDay) {
  struct {
    int yday, wday, count;
  } cases[] = {
      {0, 0, 1},    {0, 1, 0},    {0, 6, 0},    {1, 0, 1},    {5, 6, 0},
      {6, 0, 1},    {6, 6, 1},    {7, 0, 2},    {13, 6, 2},   {363, 0, 52},
      {364, 0, 53}, {364, 6, 52}, {365, 0, 53}, {365, 1, 53}, {365, 6, 52},
  };
  for (const auto& c : cases) {
    std::tm local{};
    local.tm_yday = c.yday;
    local.tm_wday = c.wday;
    EXPECT_EQ(CountSundays(local), c.count) << "yday " << c.yday << " wday " << c.wday;
  }
}

TEST(FormatDate, PadsTheDayAndNamesTheMonth) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 7;
  EXPECT_EQ(FormatDate(local), "07 December 2026");
  local.tm_year = 10000 - 1900;
  local.tm_mon = 8;
  local.tm_mday = 30;
  EXPECT_EQ(FormatDate(local), "30 September 10000");
}

TEST_F(WeekLineAtTest, CountsTheSundaysOfTheYearSoFar) {
  const Case cases[] = {
      // 1 January on a Sunday counts from its first second; otherwise the first days are week 0.
      {"UTC", {2023, 1, 1, 0, 0, 0, 0}, "Today is '01 January 2023' Week # 1\n"},
      {"UTC", {2023, 1, 1, 23, 59, 59, 0}, "Today is '01 January 2023' Week # 1\n"},
      {"UTC", {2026, 1, 1, 0, 0, 0, 0}, "Today is '01 January 2026' Week # 0\n"},
      {"UTC", {2026, 1, 3, 23, 59, 59, 0}, "Today is '03 January 2026' Week # 0\n"},
      {"UTC", {2026, 1, 4, 0, 0, 0, 0}, "Today is '04 January 2026' Week # 1\n"},
      {"Australia/Sydney", {2024, 1, 1, 0, 0, 0, 660}, "Today is '01 January 2024' Week # 0\n"},
      // The end of years beginning on a Sunday or a Saturday, common and leap.
      {"UTC", {2017, 12, 31, 0, 0, 0, 0}, "Today is '31 December 2017' Week # 53\n"},
      {"UTC", {2023, 12, 31, 12, 0, 0, 0}, "Today is '31 December 2023' Week # 53\n"},
      {"UTC", {2012, 12, 30, 0, 0, 0, 0}, "Today is '30 December 2012' Week # 53\n"},
      {"UTC", {2012, 12, 31, 23, 59, 59, 0}, "Today is '31 December 2012' Week # 53\n"},
      {"UTC", {2000, 12, 31, 23, 59, 59, 0}, "Today is '31 December 2000' Week # 53\n"},
      {"UTC", {2022, 12, 31, 23, 59, 59, 0}, "Today is '31 December 2022' Week # 52\n"},
      {"UTC", {2026, 12, 7, 12, 0, 0, 0}, "Today is '07 December 2026' Week # 49\n"},
      {"Asia/Kolkata", {2024, 12, 28, 23, 59, 59, 330}, "Today is '28 December 2024' Week # 51\n"},
      {"Asia/Kolkata", {2024, 12, 29, 0, 0, 0, 330}, "Today is '29 December 2024' Week # 52\n"},
  };
  ExpectLines(cases);
}

TEST_F(WeekLineAtTest, CountsEachDayFromItsFirstLocalMomentAcrossClockChanges) {
  const Case cases[] = {
      // Northern zones: the Sundays the clock goes forward and back count from 00:00.
      {"America/New_York", {2024, 3, 9, 23, 59, 59, -300}, "Today is '09 March 2024' Week # 9\n"},
      {"America/New_York", {2024, 3, 10, 0, 0, 0, -300}, "Today is '10 March 2024' Week # 10\n"},
      {"America/New_York", {2024, 3, 10, 0, 30, 0, -300}, "Today is '10 March 2024' Week # 10\n"},
      {"America/New_York",
       {2024, 11, 3, 0, 30, 0, -240},
       "Today is '03 November 2024' Week # 44\n"},
      {"America/New_York",
       {2024, 11, 3, 1, 30, 0, -300},
       "Today is '03 November 2024' Week # 44\n"},
      {"Europe/London", {2024, 3, 31, 0, 0, 0, 0}, "Today is '31 March 2024' Week # 13\n"},
      {"Europe/London", {2024, 3, 31, 0, 30, 0, 0}, "Today is '31 March 2024' Week # 13\n"},
      {"Europe/London", {2024, 10, 27, 0, 30, 0, 60}, "Today is '27 October 2024' Week # 43\n"},
      {"Europe/London", {2024, 10, 27, 1, 30, 0, 0}, "Today is '27 October 2024' Week # 43\n"},
      // Southern zones: 1 January lies in summer time; the Sunday the clock goes back counts
      // once, and the Saturdays after it do not yet count the next Sunday.
      {"Australia/Sydney", {2024, 4, 7, 0, 30, 0, 660}, "Today is '07 April 2024' Week # 14\n"},
      {"Australia/Sydney", {2024, 4, 13, 23, 30, 0, 600}, "Today is '13 April 2024' Week # 14\n"},
      {"Australia/Sydney", {2024, 4, 14, 0, 30, 0, 600}, "Today is '14 April 2024' Week # 15\n"},
      {"Australia/Sydney", {2024, 10, 6, 0, 30, 0, 600}, "Today is '06 October 2024' Week # 40\n"},
      // The hour before Sunday repeats, once in summer time and once in standard time.
      {"America/Santiago", {2024, 4, 6, 23, 30, 0, -180}, "Today is '06 April 2024' Week # 13\n"},
      {"America/Santiago", {2024, 4, 6, 23, 30, 0, -240}, "Today is '06 April 2024' Week # 13\n"},
      {"America/Santiago", {2024, 4, 7, 0, 0, 0, -240}, "Today is '07 April 2024' Week # 14\n"},
      {"America/Santiago", {2024, 4, 7, 0, 30, 0, -240}, "Today is '07 April 2024' Week # 14\n"},
      // Midnight is skipped: Sunday begins at 01:00.
      {"America/Santiago",
       {2024, 9, 7, 23, 59, 59, -240},
       "Today is '07 September 2024' Week # 35\n"},
      {"America/Santiago", {2024, 9, 8, 1, 0, 0, -180}, "Today is '08 September 2024' Week # 36\n"},
  };
  ExpectLines(cases);
}

TEST_F(WeekLineAtTest, RefusesAMomentBeyondTheCalendar) {
  setenv("TZ", "UTC", 1);
  std::string line = "untouched";
  int err = 0;
  EXPECT_FALSE(WeekLineAt(std::numeric_limits<std::time_t>::max(), &line, &err));
  EXPECT_EQ(err, EOVERFLOW);
  EXPECT_EQ(line, "untouched");
}

}  // namespace
