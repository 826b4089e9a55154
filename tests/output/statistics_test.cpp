// Page counts, the minute check at hour and day turns, and the report file.
#include "output/statistics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "settings/settings.h"
#include "support/fakes.h"

namespace skelmar::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

size_t Count(const std::string& haystack, const std::string& needle) {
  size_t n = 0;
  for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
    ++n;
  return n;
}

struct StatFixture : ::testing::Test {
  Settings settings;
  FakeClock clock;
  StatCounters counters;
  Statistics stats{settings, clock, counters};
  RecordingMessages messages;
  std::string path;

  StatFixture() {
    path = ::testing::TempDir() + "skelmar_stats_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
           std::to_string(::getpid());
    std::remove(path.c_str());
    settings.statFileEnabled = 1;
    std::snprintf(settings.statFile, sizeof settings.statFile, "%s", path.c_str());
  }

  /// Advances the clock by one second (days run on within the month).
  void NextSecond() {
    SystemTime& t = clock.utc;
    if (++t.second < 60) return;
    t.second = 0;
    if (++t.minute < 60) return;
    t.minute = 0;
    if (++t.hour < 24) return;
    t.hour = 0;
    ++t.day;
  }
  /// Runs the 100 ms timer for `seconds` seconds of wall time.
  void Run(int seconds) {
    for (int s = 0; s < seconds; ++s) {
      for (int tick = 0; tick < 10; ++tick) stats.MinuteTick();
      NextSecond();
    }
  }
};

TEST_F(StatFixture, StartedAt105930FirstReportAtElevenWithTheLastThirtySeconds) {
  clock.Set(2026, 12, 8, 10, 59, 30);
  counters.CountMessage(kRowPocsag1200, kStatNumeric);  // before Start: wiped
  stats.Start();
  EXPECT_EQ(stats.minuteCountdown, 300);
  counters.CountMessage(kRowPocsag1200, kStatNumeric);
  counters.CountMessage(kRowPocsag1200, kStatNumeric);
  counters.CountMessage(kRowGsc, kStatAlpha);
  for (int i = 0; i < 1234567; ++i) counters.CountMessage(kRowFlex1600, kStatAlpha);
  Run(29);
  for (int tick = 0; tick < 9; ++tick) stats.MinuteTick();
  EXPECT_EQ(ReadFile(path), "");  // 10:59:59.9: not yet
  NextSecond();
  stats.MinuteTick();  // 11:00:00
  EXPECT_EQ(ReadFile(path),
            "12/08/26 11:00:00\n"
            "                   HOURLY                   DAILY\n"
            "               Numeric      Alpha      Numeric      Alpha\n"
            "FLEX 6400            0          0            0          0\n"
            "FLEX 3200            0          0            0          0\n"
            "FLEX 1600            0    1234567            0    1234567\n"
            "POCSAG 2400          0          0            0          0\n"
            "POCSAG 1200          2          0            2          0\n"
            "POCSAG 512           0          0            0          0\n"
            "GOLAY (GSC)          0          1            0          1\n"
            "\n");
  EXPECT_EQ(counters.hourly[kRowPocsag1200][kStatNumeric], 0);
  EXPECT_EQ(counters.daily[kRowPocsag1200][kStatNumeric], 2);
  EXPECT_EQ(stats.minuteCountdown, 600);
}

TEST_F(StatFixture, WholeDayGivesOneReportPerHourAndMidnightClearsBoth) {
  clock.Set(2026, 12, 8, 0, 0, 30);
  stats.Start();
  for (int hour = 0; hour < 24; ++hour) {
    counters.CountMessage(kRowFlex3200, kStatNumeric);
    Run(3600);
    EXPECT_EQ(counters.hourly[kRowFlex3200][kStatNumeric], 0) << hour;
  }
  const std::string report = ReadFile(path);
  EXPECT_EQ(Count(report, "HOURLY"), 24u);
  // The midnight report holds the last hour and the whole day.
  EXPECT_NE(report.find("12/09/26 00:00:00\n"), std::string::npos);
  EXPECT_NE(report.find("FLEX 3200            1          0           24          0\n"),
            std::string::npos);
  EXPECT_NE(report.find("FLEX 3200            1          0           23          0\n"),
            std::string::npos);
  EXPECT_EQ(counters.daily[kRowFlex3200][kStatNumeric], 0);
  EXPECT_EQ(Count(report, "12/08/26 "), 23u);
}

TEST_F(StatFixture, CountsResetWithoutAReportFile) {
  settings.statFileEnabled = 0;
  clock.Set(2026, 12, 8, 23, 59, 0);
  stats.Start();
  counters.CountMessage(kRowPocsag512, kStatAlpha);
  Run(61);
  EXPECT_EQ(counters.hourly[kRowPocsag512][kStatAlpha], 0);
  EXPECT_EQ(counters.daily[kRowPocsag512][kStatAlpha], 0);
  EXPECT_EQ(ReadFile(path), "");
}

TEST_F(StatFixture, MinuteOnlyClockChangeResetsNothingHourChangeReportsAtNextCheck) {
  clock.Set(2026, 12, 8, 10, 15, 0);
  stats.Start();
  counters.CountMessage(kRowPocsag2400, kStatNumeric);
  clock.Set(2026, 12, 8, 10, 40, 0);  // clock moved within the hour
  Run(120);
  EXPECT_EQ(counters.hourly[kRowPocsag2400][kStatNumeric], 1);
  EXPECT_EQ(stats.statClock.minute, 41);
  EXPECT_EQ(stats.statClock.hour, 10);
  clock.Set(2026, 12, 8, 14, 42, 30);  // clock moved to another hour
  const int32_t left = stats.minuteCountdown;
  for (int tick = 1; tick < left; ++tick) stats.MinuteTick();
  EXPECT_EQ(ReadFile(path), "");
  stats.MinuteTick();  // the next whole-minute check
  EXPECT_EQ(Count(ReadFile(path), "POCSAG 2400          1"), 1u);
  EXPECT_EQ(counters.hourly[kRowPocsag2400][kStatNumeric], 0);
  EXPECT_EQ(counters.daily[kRowPocsag2400][kStatNumeric], 1);
  EXPECT_EQ(stats.minuteCountdown, 300);  // re-armed from 14:42:30
}

TEST_F(StatFixture, UnwritableReportIsSkippedAndToldOnce) {
  stats.SetMessageSink(&messages);
  std::snprintf(settings.statFile, sizeof settings.statFile, "/nonexistent-skelmar-dir/stats.txt");
  clock.Set(2026, 12, 8, 10, 59, 0);
  stats.Start();
  counters.CountMessage(kRowGsc, kStatNumeric);
  Run(2 * 3600);
  EXPECT_EQ(counters.hourly[kRowGsc][kStatNumeric], 0);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0],
            "Cannot write the statistics file: /nonexistent-skelmar-dir/stats.txt");
}

TEST_F(StatFixture, FailureIsShownAtTheTickAfterTheCheckNotInsideIt) {
  class TickingMessages : public MessageSink {
   public:
    Statistics* stats = nullptr;
    StatCounters* counters = nullptr;
    int shown = 0;
    int countAtShow = -1;
    void ShowMessage(const char*) override {
      ++shown;
      countAtShow = counters->hourly[kRowGsc][kStatNumeric];
      for (int i = 0; i < 5; ++i) stats->MinuteTick();  // the timer runs on under the box
    }
    int AskQuestion(const char*) override { return 1; }
  } modal;
  modal.stats = &stats;
  modal.counters = &counters;
  stats.SetMessageSink(&modal);
  std::snprintf(settings.statFile, sizeof settings.statFile, "/nonexistent-skelmar-dir/stats.txt");
  clock.Set(2026, 12, 8, 10, 59, 59);
  stats.Start();
  counters.CountMessage(kRowGsc, kStatNumeric);
  for (int i = 0; i < 9; ++i) stats.MinuteTick();
  EXPECT_FALSE(stats.writeFailed());
  NextSecond();
  stats.MinuteTick();  // the check at 11:00: report skipped, counts reset
  EXPECT_EQ(modal.shown, 0);
  EXPECT_TRUE(stats.writeFailed());  // the program's exit status will say so
  counters.CountMessage(kRowGsc, kStatNumeric);
  stats.MinuteTick();
  EXPECT_EQ(modal.shown, 1);
  EXPECT_EQ(modal.countAtShow, 1);  // the check had finished: the new hour's count stands
  EXPECT_EQ(stats.statClock.hour, 11);
}

TEST(StatCounters, CountMessageAddsToHourAndDayAndIgnoresBadRows) {
  StatCounters c;
  c.CountMessage(kRowFlex6400, kStatAlpha);
  c.CountMessage(kRowFlex6400, kStatAlpha);
  c.CountMessage(7, kStatAlpha);
  c.CountMessage(-1, kStatNumeric);
  c.CountMessage(kRowGsc, 2);
  EXPECT_EQ(c.hourly[kRowFlex6400][kStatAlpha], 2);
  EXPECT_EQ(c.daily[kRowFlex6400][kStatAlpha], 2);
  int total = 0;
  for (int r = 0; r < kStatRows; ++r)
    total += c.hourly[r][0] + c.hourly[r][1] + c.daily[r][0] + c.daily[r][1];
  EXPECT_EQ(total, 4);
}

TEST(StatCount, DialogShowsStarsAboveTheLimits) {
  char out[16];
  FormatStatCount(999999, false, out);
  EXPECT_STREQ(out, "999999");
  FormatStatCount(1000000, false, out);
  EXPECT_STREQ(out, "******");
  FormatStatCount(1234567, false, out);
  EXPECT_STREQ(out, "******");
  FormatStatCount(1234567, true, out);
  EXPECT_STREQ(out, "1234567");
  FormatStatCount(9999999, true, out);
  EXPECT_STREQ(out, "9999999");
  FormatStatCount(10000000, true, out);
  EXPECT_STREQ(out, "******");
  FormatStatCount(0, true, out);
  EXPECT_STREQ(out, "0");
}

}  // namespace
}  // namespace skelmar::test

namespace skelmar::test {
namespace {

TEST(StatDialog, OkNeedsAPathOnlyWhenTheBoxIsChecked) {
  Settings settings;
  RecordingMessages messages;
  EXPECT_FALSE(ApplyStatFileSettings(true, "", settings, messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0], "You must select a statistics file!");
  EXPECT_EQ(settings.statFileEnabled, 0);
  EXPECT_TRUE(ApplyStatFileSettings(true, "/var/log/pages.txt", settings, messages));
  EXPECT_EQ(settings.statFileEnabled, 1);
  EXPECT_STREQ(settings.statFile, "/var/log/pages.txt");
  EXPECT_TRUE(ApplyStatFileSettings(false, "", settings, messages));
  EXPECT_EQ(settings.statFileEnabled, 0);
  EXPECT_STREQ(settings.statFile, "");
  const std::string longPath(400, 'p');
  EXPECT_TRUE(ApplyStatFileSettings(true, longPath.c_str(), settings, messages));
  EXPECT_EQ(std::string(settings.statFile), std::string(255, 'p'));
  EXPECT_EQ(messages.shown.size(), 1u);
}

}  // namespace
}  // namespace skelmar::test
