// The channel list's counts, last page and activity mark, tick by tick.
#include "output/channel_activity.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fakes.h"

namespace skelmar::test {
namespace {

std::string Last(const ChannelActivity& activity, int row) {
  char text[96];
  activity.LastPageText(activity.rows()[static_cast<size_t>(row)], text);
  return text;
}

TEST(ChannelActivity, CountsLastPagesAndActiveMarksPerChannel) {
  FakeClock clock;
  clock.Set(2026, 3, 14, 9, 26, 5);
  StatCounters north, fire;
  ChannelActivity activity(clock);
  activity.Add("North", 466075000, north);
  activity.Add("466.2375", 466237500, fire);
  ASSERT_EQ(activity.rows().size(), 2u);
  EXPECT_EQ(activity.rows()[0].name, "North");
  EXPECT_EQ(activity.rows()[0].frequency, "466.0750 MHz");
  EXPECT_EQ(activity.rows()[1].frequency, "466.2375 MHz");

  // Nothing yet: no counts, no last page, nothing active.
  activity.Tick();
  EXPECT_FALSE(activity.Tick());
  for (int r = 0; r < 2; ++r) {
    EXPECT_EQ(activity.rows()[r].today, 0);
    EXPECT_FALSE(activity.rows()[r].active());
    EXPECT_EQ(Last(activity, r), "");
  }

  // Two pages on the second channel (numeric and alpha, two protocols) and
  // none on the first: only the second counts them and lights up.
  fire.CountMessage(kRowPocsag1200, kStatNumeric);
  fire.CountMessage(kRowFlex1600, kStatAlpha);
  clock.Set(2026, 3, 14, 9, 26, 7);
  EXPECT_TRUE(activity.Tick());
  const ChannelActivityRow& a = activity.rows()[0];
  const ChannelActivityRow& b = activity.rows()[1];
  EXPECT_EQ(b.hour, 2);
  EXPECT_EQ(b.today, 2);
  EXPECT_TRUE(b.active());
  EXPECT_EQ(Last(activity, 1), "09:26:07");
  EXPECT_EQ(a.today, 0);
  EXPECT_FALSE(a.active());
  EXPECT_EQ(Last(activity, 0), "");

  // The mark lasts kActivityTicks ticks in all, then goes; only its end is a change.
  for (int t = 1; t < kActivityTicks; ++t) {
    EXPECT_FALSE(activity.Tick()) << t;
    EXPECT_TRUE(b.active()) << t;
  }
  EXPECT_TRUE(activity.Tick());
  EXPECT_FALSE(b.active());

  // A page while marked starts the mark again; its time is the new tick's.
  north.CountMessage(kRowGsc, kStatNumeric);
  activity.Tick();
  for (int t = 0; t < kActivityTicks / 2; ++t) activity.Tick();
  clock.Set(2026, 3, 14, 9, 40, 0);
  north.CountMessage(kRowGsc, kStatNumeric);
  EXPECT_TRUE(activity.Tick());
  for (int t = 1; t < kActivityTicks; ++t) activity.Tick();
  EXPECT_TRUE(a.active());
  EXPECT_EQ(a.today, 2);
  EXPECT_EQ(Last(activity, 0), "09:40:00");
  EXPECT_EQ(Last(activity, 1), "09:26:07");

  // The hour turns: this hour starts again at 0, today keeps its pages, and
  // nothing lights up.
  clock.Set(2026, 3, 14, 10, 0, 0);
  north.ClearHourly();
  fire.ClearHourly();
  activity.Tick();
  EXPECT_EQ(a.hour, 0);
  EXPECT_EQ(a.today, 2);
  EXPECT_EQ(b.hour, 0);
  EXPECT_EQ(b.today, 2);
  EXPECT_FALSE(b.active());

  // The day turns with a page in the same tick: today holds that page alone,
  // it counts as new, and yesterday's last page is shown with its date.
  clock.Set(2026, 3, 15, 0, 0, 1);
  north.ClearHourly();
  north.ClearDaily();
  fire.ClearHourly();
  fire.ClearDaily();
  north.CountMessage(kRowPocsag512, kStatAlpha);
  EXPECT_TRUE(activity.Tick());
  EXPECT_EQ(a.today, 1);
  EXPECT_EQ(a.hour, 1);
  EXPECT_TRUE(a.active());
  EXPECT_EQ(Last(activity, 0), "00:00:01");
  EXPECT_EQ(b.today, 0);
  EXPECT_FALSE(b.active());
  EXPECT_EQ(Last(activity, 1), "03/14/26 09:26:07");
}

}  // namespace
}  // namespace skelmar::test
