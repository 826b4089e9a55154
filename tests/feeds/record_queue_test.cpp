// The bounded feed queue and duplicate suppression.
#include "feeds/record_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "feeds/feed.h"
#include "output/filters.h"

namespace skelmar {
namespace {

TEST(RecordQueue, KeepsOrderAndDropsTheOldestWhenFull) {
  RecordQueue queue(3, 64);
  std::string a, b;
  for (int i = 1; i <= 5; ++i) queue.Push("t" + std::to_string(i), "payload-" + std::to_string(i));
  EXPECT_EQ(queue.size(), 3u);
  EXPECT_EQ(queue.dropped(), 2u);
  uint64_t seq = queue.Peek(a, b, std::chrono::milliseconds(0));
  EXPECT_EQ(a, "t3");
  EXPECT_EQ(b, "payload-3");

  // The record being sent is dropped meanwhile: its Pop must not take the next one.
  queue.Push("t6", "payload-6");
  queue.Pop(seq);
  EXPECT_EQ(queue.size(), 3u);
  seq = queue.Peek(a, b, std::chrono::milliseconds(0));
  EXPECT_EQ(a, "t4");
  queue.Pop(seq);

  // Bytes bound too: a long record pushes out as many as it needs.
  queue.Push("big", std::string(50, 'x'));
  EXPECT_EQ(queue.dropped(), 4u);  // t5 made room; t6 stays
  seq = queue.Peek(a, b, std::chrono::milliseconds(0));
  EXPECT_EQ(a, "t6");
  queue.Pop(seq);
  seq = queue.Peek(a, b, std::chrono::milliseconds(0));
  EXPECT_EQ(a, "big");
  EXPECT_EQ(b, std::string(50, 'x'));
  queue.Pop(seq);
  EXPECT_EQ(queue.Peek(a, b, std::chrono::milliseconds(0)), 0u);

  // Many rounds through the arena's wrap keep every record intact and in order.
  for (int i = 0; i < 100; ++i) {
    const std::string payload(static_cast<size_t>(i % 17), static_cast<char>('a' + i % 26));
    queue.Push("k" + std::to_string(i), payload);
    ASSERT_NE(seq = queue.Peek(a, b, std::chrono::milliseconds(0)), 0u);
    EXPECT_EQ(a, "k" + std::to_string(i));
    EXPECT_EQ(b, payload);
    queue.Pop(seq);
  }
}

TEST(Deduper, SendsARepeatOnlyOncePerWindow) {
  PageRecord page;
  page.protocol = PageProtocol::kPocsag;
  std::snprintf(page.capcode, sizeof page.capcode, "0273040");
  page.function = 4;
  std::snprintf(page.text, sizeof page.text, "Fire alarm");
  page.textLength = 10;

  Deduper dedupe(60);
  EXPECT_TRUE(dedupe.Admit(page, 1000));
  EXPECT_FALSE(dedupe.Admit(page, 1059));
  PageRecord other = page;
  other.function = 3;
  EXPECT_TRUE(dedupe.Admit(other, 1059));
  other = page;
  other.text[0] = 'f';
  EXPECT_TRUE(dedupe.Admit(other, 1059));
  other = page;
  other.protocol = PageProtocol::kFlex;
  EXPECT_TRUE(dedupe.Admit(other, 1059));
  EXPECT_TRUE(dedupe.Admit(page, 1060));  // the window has passed
  EXPECT_EQ(dedupe.suppressed(), 1u);

  Deduper off(0);
  EXPECT_TRUE(off.Admit(page, 5));
  EXPECT_TRUE(off.Admit(page, 5));
}

}  // namespace
}  // namespace skelmar

namespace skelmar {
namespace {

class FakeFeed : public Feed {
 public:
  const char* name() const override { return "Fake"; }
  void Publish(const PageRecord& page, std::string_view json, int64_t) override {
    pages.emplace_back(page.capcode);
    lines.emplace_back(json);
  }
  void SetStats(std::string_view stats, bool hourTurn) override {
    if (hourTurn) hourStats.emplace_back(stats);
  }
  FeedCounters counters() const override {
    FeedCounters c;
    c.dropped = dropped;
    return c;
  }
  bool TakeMessage(std::string&) override { return false; }
  void Stop(int) override {}
  uint64_t dropped = 0;
  std::vector<std::string> pages, lines, hourStats;
};

class Messages : public MessageSink {
 public:
  void ShowMessage(const char* text) override { shown.emplace_back(text); }
  int AskQuestion(const char*) override { return 1; }
  std::vector<std::string> shown;
};

TEST(FeedHub, RepeatsSuppressedDropsReportedOnceAMinuteStatsAtTheHourTurn) {
  Messages messages;
  FeedHub hub(60, messages);
  auto owned = std::make_unique<FakeFeed>();
  FakeFeed& feed = *owned;
  hub.Add(std::move(owned));
  PageRecord page;
  std::snprintf(page.capcode, sizeof page.capcode, "0001234");
  hub.Publish(page, "{first}", 100);
  hub.Publish(page, "{again}", 130);
  EXPECT_EQ(feed.lines, std::vector<std::string>{"{first}"});
  EXPECT_EQ(hub.suppressed(), 1u);

  StatCounters counts;
  counts.hourly[kRowGsc][kStatNumeric] = 7;
  SystemTime t;
  t.year = 2026;
  t.month = 12;
  t.day = 8;
  t.hour = 10;
  t.minute = 59;
  hub.Tick(0, t, 0, counts);
  feed.dropped = 3;
  hub.Tick(1000, t, 0, counts);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("Fake: 3 records dropped"), std::string::npos)
      << messages.shown[0];
  feed.dropped = 5;
  hub.Tick(60999, t, 0, counts);  // within the minute: quiet
  EXPECT_EQ(messages.shown.size(), 1u);
  hub.Tick(61000, t, 0, counts);
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_NE(messages.shown[1].find("Fake: 2 records dropped"), std::string::npos)
      << messages.shown[1];

  EXPECT_TRUE(feed.hourStats.empty());
  t.hour = 11;
  t.minute = 0;
  hub.Tick(62000, t, 0, counts);
  ASSERT_EQ(feed.hourStats.size(), 1u);
  EXPECT_NE(feed.hourStats[0].find("\"GSC\":{\"numeric\":7,\"alpha\":0}"), std::string::npos)
      << feed.hourStats[0];
}

}  // namespace
}  // namespace skelmar
