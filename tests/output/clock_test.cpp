// The machine clock: UTC against local time under a fixed zone, and the C locale's formats.
#include "output/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace skelmar {
namespace {

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* zone) {
    const char* old = std::getenv("TZ");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (hadOld_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadOld_ = false;
  std::string old_;
};

TEST(SystemClock, LocalTimeIsUtcPlusTheZoneOffset) {
  ZoneGuard zone("XYZ-2");  // two hours east of UTC, no daylight saving
  SystemClock clock;
  EXPECT_EQ(clock.UtcOffsetMinutes(), 120);
  SystemTime utc = clock.NowUtc();
  SystemTime local = clock.NowLocal();
  if (local.minute != utc.minute) {  // read across a minute turn: read again
    utc = clock.NowUtc();
    local = clock.NowLocal();
  }
  EXPECT_EQ(local.hour, (utc.hour + 2) % 24);
  EXPECT_EQ(local.minute, utc.minute);
  EXPECT_GE(utc.year, 2024);
  EXPECT_LT(utc.milliseconds, 1000);
}

TEST(SystemClock, FormatsDateAndTimeInTheCLocale) {
  SystemClock clock;
  SystemTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 8;
  t.hour = 7;
  t.minute = 5;
  t.second = 9;
  char date[41];
  char time[41];
  clock.FormatDate(t, date, sizeof date);
  clock.FormatTime(t, time, sizeof time);
  EXPECT_STREQ(date, "12/08/26");
  EXPECT_STREQ(time, "07:05:09");
  char tiny[4];
  clock.FormatDate(t, tiny, sizeof tiny);  // does not fit: empty, not cut
  EXPECT_STREQ(tiny, "");
}

}  // namespace
}  // namespace skelmar
