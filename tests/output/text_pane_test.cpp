// The pane model: wrapping, the line copy, the 200-line ring, the scroll
// bookkeeping seen by the view, and the time rules.
#include "output/text_pane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pane_harness.h"

namespace skelmar::test {
namespace {

class CopyRecorder : public FinishedLineHook {
 public:
  std::vector<std::string> lines;
  std::vector<std::vector<int>> slots;
  void ProcessLine(LineCopy& copy) override {
    lines.emplace_back(copy.characters);
    slots.emplace_back(copy.slots, copy.slots + copy.length);
    EXPECT_EQ(copy.characters[copy.length], 0);
  }
};

class RuleRecorder : public RuleListener {
 public:
  std::vector<std::string> rules;
  void RuleWritten(const char* rule) override { rules.emplace_back(rule); }
};

struct PaneFixture : ::testing::Test {
  Settings settings;
  FakeClock clock;
  LineCopy copy;
  TextPane pane{settings, clock, &copy};
  CopyRecorder hook;
  PaneRows rows;
  RecordingView view;

  PaneFixture() {
    clock.Set(2026, 12, 8, 12, 0, 0);
    pane.SetFinishedLineHook(&hook);
    pane.SetRowObserver(&rows);
  }

  void Line(const std::string& text) {
    pane.PutText(text.c_str());
    pane.EndLine();
  }
  /// A view 10 lines high (line height 12), 800 pixels wide, character width 10.
  void AttachView() {
    pane.SetView(&view);
    pane.SetLineHeight(12);
    pane.Resize(800, 125, 10, 780);
    view.calls.clear();
  }
};

TEST_F(PaneFixture, EightiethCharacterWrapsButTheLineCopyStaysOneLogicalLine) {
  std::string text;
  for (int i = 0; i < 85; ++i) text.push_back(static_cast<char>('A' + i % 26));
  pane.SetColor(kSlotNumeric);
  pane.PutText(text.substr(0, 80).c_str());
  ASSERT_EQ(rows.rows.size(), 1u);  // the wrap finished a pane row ...
  EXPECT_EQ(rows.rows[0].text, text.substr(0, 80));
  EXPECT_EQ(rows.rows[0].slots, std::vector<int>(80, kSlotNumeric));
  EXPECT_TRUE(hook.lines.empty());  // ... but no filter processing yet
  EXPECT_EQ(pane.column, 0);
  EXPECT_EQ(pane.lineCount, 1);
  EXPECT_FALSE(copy.paused);  // restored after the wrap

  pane.SetColor(kSlotAlphanumeric);
  pane.PutText(text.substr(80).c_str());
  pane.EndLine();
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[1].text, text.substr(80));
  ASSERT_EQ(hook.lines.size(), 1u);
  EXPECT_EQ(hook.lines[0], text);
  EXPECT_EQ(hook.slots[0][79], kSlotNumeric);
  EXPECT_EQ(hook.slots[0][80], kSlotAlphanumeric);
  EXPECT_EQ(copy.length, 0);  // a new copy starts
}

TEST_F(PaneFixture, WrapInsidePausedStretchKeepsThePause) {
  copy.paused = true;
  pane.PutText(std::string(81, 'x').c_str());
  EXPECT_TRUE(copy.paused);
  EXPECT_EQ(copy.length, 0);
}

TEST_F(PaneFixture, PutTextWritesAtMost256Characters) {
  std::string text(300, 'q');
  text[255] = 'L';  // the last one written
  text[256] = 'N';  // the first one dropped
  pane.PutText(text.c_str());
  EXPECT_EQ(pane.lineCount, 3);  // 240 characters in three full rows
  EXPECT_EQ(pane.column, 16);
  EXPECT_EQ(pane.lines[3][15], 'L');
  EXPECT_EQ(copy.length, 256);
  EXPECT_EQ(copy.characters[255], 'L');
}

TEST_F(PaneFixture, LineCopyDropsCharactersBeyondItsCapacity) {
  for (int i = 0; i < 5; ++i) pane.PutText(std::string(220, static_cast<char>('a' + i)).c_str());
  EXPECT_EQ(copy.length, kLineCopyCapacity);
  pane.EndLine();
  ASSERT_EQ(hook.lines.size(), 1u);
  EXPECT_EQ(hook.lines[0].size(), 1024u);
  EXPECT_EQ(hook.lines[0].substr(880, 144), std::string(144, 'e'));
  // The pane itself shows all 1100 characters: 13 full rows and 60 more.
  EXPECT_EQ(rows.rows.size(), 14u);
  EXPECT_EQ(rows.rows.back().text, std::string(60, 'e'));
}

TEST_F(PaneFixture, MarksRecordCopyPositions) {
  pane.PutText("ab");
  pane.MarkCapcodeStart();
  pane.PutText("{123}");
  pane.MarkCapcodeEnd();
  pane.PutChar(' ');
  pane.MarkMessageStart();
  EXPECT_EQ(copy.capcodeStart, 2);
  EXPECT_EQ(copy.capcodeEnd, 7);
  EXPECT_EQ(copy.messageStart, 8);
  pane.EndLine();
  EXPECT_EQ(copy.capcodeEnd, 7);  // marks survive the end of the line
}

TEST_F(PaneFixture, TwoHundredthLineDiscardsTheOldestAndAScrolledBackViewKeepsItsText) {
  AttachView();
  for (int i = 0; i < 150; ++i) Line("line " + std::to_string(i));
  EXPECT_EQ(pane.topLine, 140);  // followed the end
  pane.ScrollVertical(-90);
  ASSERT_EQ(pane.topLine, 50);
  const std::string shown = pane.lines[pane.topLine];
  EXPECT_EQ(shown, "line 50");
  view.calls.clear();
  for (int i = 150; i < 210; ++i) Line("line " + std::to_string(i));
  EXPECT_EQ(pane.lineCount, 199);
  EXPECT_EQ(pane.topLine, 39);  // 11 lines discarded
  EXPECT_EQ(std::string(pane.lines[pane.topLine]), shown);
  EXPECT_EQ(std::string(pane.lines[0]), "line 11");
  EXPECT_EQ(std::string(pane.lines[198]), "line 209");
  EXPECT_EQ(pane.lines[199][0], 0);
  for (const std::string& call : view.calls)
    EXPECT_EQ(call.rfind("scroll", 0), std::string::npos) << call;
  EXPECT_EQ(view.calls[view.calls.size() - 2], "pos 39");  // the thumb stays on the text
}

TEST_F(PaneFixture, DiscardWithTheViewOnTheFirstLineHoldsItAtZeroAndRepaintsAll) {
  AttachView();
  for (int i = 0; i < 150; ++i) Line("line " + std::to_string(i));
  pane.ScrollVertical(-1000);
  ASSERT_EQ(pane.topLine, 0);
  for (int i = 150; i < 199; ++i) Line("line " + std::to_string(i));
  view.calls.clear();
  Line("line 199");  // the 200th line
  EXPECT_EQ(pane.lineCount, 199);
  EXPECT_EQ(pane.topLine, 0);
  EXPECT_EQ(pane.maxTopLine, 189);
  EXPECT_EQ(std::string(pane.lines[0]), "line 1");
  const std::vector<std::string> expected = {"invalidate 0,0,800,125", "range 189", "pos 0",
                                             "update"};
  EXPECT_EQ(view.calls, expected);
}

TEST_F(PaneFixture, DiscardWithEverythingVisibleKeepsTopLineZero) {
  pane.SetView(&view);
  pane.SetLineHeight(2);
  pane.Resize(800, 600, 10, 780);  // 300 lines fit
  for (int i = 0; i < 230; ++i) Line("line " + std::to_string(i));
  EXPECT_EQ(pane.topLine, 0);
  EXPECT_EQ(pane.maxTopLine, 0);
  EXPECT_EQ(std::string(pane.lines[198]), "line 229");
  EXPECT_EQ(view.calls[view.calls.size() - 4], "invalidate 0,0,800,600");
}

TEST_F(PaneFixture, ViewAtTheEndFollowsOneLineAtATime) {
  AttachView();
  for (int i = 0; i < 10; ++i) Line("x");
  // Ten lines fill the view; each repainted only its own strip.
  EXPECT_EQ(view.calls[0], "invalidate 0,0,800,12");
  EXPECT_EQ(view.calls[1], "update");
  EXPECT_EQ(view.calls[18], "invalidate 0,108,800,120");
  EXPECT_EQ(pane.topLine, 0);
  view.calls.clear();
  Line("eleventh");
  const std::vector<std::string> expected = {"scroll -1", "invalidate 0,108,800,125", "range 1",
                                             "pos 1", "update"};
  EXPECT_EQ(view.calls, expected);
  EXPECT_EQ(pane.topLine, 1);
  EXPECT_EQ(pane.maxTopLine, 1);
}

TEST_F(PaneFixture, ScrolledBackViewOnlyInvalidatesAndLeavesTheScrollBar) {
  AttachView();
  for (int i = 0; i < 20; ++i) Line("x");
  pane.ScrollVertical(-3);
  view.calls.clear();
  Line("y");
  const std::vector<std::string> expected = {"invalidate 0,240,800,252", "update"};
  EXPECT_EQ(view.calls, expected);
  EXPECT_EQ(pane.topLine, 7);
  EXPECT_EQ(pane.maxTopLine, 11);
}

TEST_F(PaneFixture, NullViewIsAllowed) {
  for (int i = 0; i < 250; ++i) Line("z");
  pane.Resize(100, 100, 10, 780);
  pane.ScrollVertical(5);
  EXPECT_EQ(pane.lineCount, 199);
}

TEST_F(PaneFixture, VerticalScrollRequestsAreClampedToTheRange) {
  AttachView();
  for (int i = 0; i < 30; ++i) Line("x");
  ASSERT_EQ(pane.topLine, 20);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kPageBack, 0), -10);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kThumbTrack, 3), 0);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kThumbPosition, 3), -17);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kTop, 0), -20);
  view.calls.clear();
  pane.ScrollVertical(pane.VerticalDelta(ScrollRequest::kLineForward, 0));  // already at the end
  EXPECT_TRUE(view.calls.empty());
  pane.ScrollVertical(-100);
  const std::vector<std::string> expected = {"scroll 20", "range 20", "pos 0", "update"};
  EXPECT_EQ(view.calls, expected);
  EXPECT_EQ(pane.topLine, 0);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kBottom, 0), 20);
}

TEST_F(PaneFixture, PageRequestMovesAtLeastOneLine) {
  pane.SetLineHeight(12);
  pane.Resize(800, 5, 10, 780);  // no whole line fits
  EXPECT_EQ(pane.visibleLines, 0);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kPageBack, 0), -1);
  EXPECT_EQ(pane.VerticalDelta(ScrollRequest::kPageForward, 0), 1);
}

TEST_F(PaneFixture, HorizontalRangeCoversColumnsThatDoNotFit) {
  pane.SetView(&view);
  pane.SetLineHeight(12);
  struct Case {
    int width;
    int range;
  };
  // Text width is 78 characters of 10 pixels.
  for (const Case c :
       {Case{800, 0}, Case{900, 0}, Case{790, 1}, Case{785, 2}, Case{780, 2}, Case{500, 30}}) {
    pane.Resize(c.width, 120, 10, 780);
    EXPECT_EQ(pane.maxLeftColumn, c.range) << c.width;
  }
  pane.ScrollHorizontal(pane.HorizontalDelta(ScrollRequest::kPageForward, 0));
  EXPECT_EQ(pane.leftColumn, 8);
  pane.Resize(790, 120, 10, 780);
  EXPECT_EQ(pane.leftColumn, 1);  // clamped to the new range
  view.calls.clear();
  pane.ScrollHorizontal(-5);
  const std::vector<std::string> expected = {"hscroll 1", "hpos 0"};
  EXPECT_EQ(view.calls, expected);
}

TEST_F(PaneFixture, GrowingTheViewClampsTopLine) {
  AttachView();
  for (int i = 0; i < 30; ++i) Line("x");
  view.calls.clear();
  pane.Resize(800, 300, 10, 780);  // 25 lines
  EXPECT_EQ(pane.maxTopLine, 5);
  EXPECT_EQ(pane.topLine, 5);
  const std::vector<std::string> expected = {
      "range 5", "pos 5", "hrange 0", "hpos 0", "invalidate 0,0,800,300", "update"};
  EXPECT_EQ(view.calls, expected);
}

struct StampFixture : PaneFixture {
  RuleRecorder rulesSeen;
  StampFixture() { pane.SetRuleListener(&rulesSeen); }
  int Rules() const {
    int n = 0;
    for (const PaneRow& r : rows.rows) n += r.text.rfind("---------------", 0) == 0 ? 1 : 0;
    return n;
  }
};

TEST_F(StampFixture, FirstStampAlwaysWritesARuleWithDateThenTime) {
  clock.Set(0, 0, 0, 0, 0, 0);  // equal to the reset record in every field but the minute
  pane.SetColor(kSlotNumeric);
  pane.StampTime();
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].text, "--------------- 00/00/00 00:00:00 ---------------");
  EXPECT_EQ(rows.rows[0].slots, std::vector<int>(49, kSlotTimestamp));
  EXPECT_EQ(pane.colorSlot, kSlotNumeric);
  ASSERT_EQ(rulesSeen.rules.size(), 1u);
  EXPECT_EQ(rulesSeen.rules[0], rows.rows[0].text);
  EXPECT_TRUE(hook.lines.empty());  // a rule never reaches the filters
  EXPECT_FALSE(copy.paused);
}

TEST_F(StampFixture, RuleOnlyWhenMinuteHourOrDayChanged) {
  pane.StampTime();
  clock.Set(2026, 12, 8, 12, 0, 59);
  pane.StampTime();
  EXPECT_EQ(Rules(), 1);
  clock.Set(2026, 12, 8, 12, 1, 0);
  pane.StampTime();
  EXPECT_EQ(Rules(), 2);
  clock.Set(2026, 12, 8, 13, 1, 0);  // same minute number, next hour
  pane.StampTime();
  EXPECT_EQ(Rules(), 3);
  clock.Set(2026, 12, 9, 13, 1, 0);  // same hour and minute, next day
  pane.StampTime();
  EXPECT_EQ(Rules(), 4);
  clock.Set(2027, 1, 9, 13, 1, 30);  // only month and year differ: not tested
  pane.StampTime();
  EXPECT_EQ(Rules(), 4);
}

TEST_F(StampFixture, TimestampOffWritesNothingAndLeavesTheCopyOpen) {
  settings.timestamp = 0;
  pane.StampTime();
  pane.PutText("abc");
  pane.EndLine();
  EXPECT_EQ(Rules(), 0);
  EXPECT_TRUE(rulesSeen.rules.empty());
  ASSERT_EQ(hook.lines.size(), 1u);
  EXPECT_EQ(hook.lines[0], "abc");
}

/// Local time one hour ahead of UTC, so the two clocks can be told apart.
class ShiftedClock : public FakeClock {
 public:
  SystemTime NowLocal() override {
    SystemTime t = utc;
    t.hour = static_cast<uint16_t>((t.hour + 1) % 24);
    return t;
  }
};

TEST(StampClock, ChangeTestUsesUtcWhileTheRuleShowsLocalTime) {
  Settings settings;
  ShiftedClock clock;
  TextPane pane{settings, clock, nullptr};
  PaneRows rows;
  pane.SetRowObserver(&rows);
  clock.Set(2026, 12, 8, 9, 30, 0);
  pane.StampTime();
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].text, "--------------- 12/08/26 10:30:00 ---------------");
  EXPECT_EQ(pane.lastStamp.hour, 9);
}

TEST_F(StampFixture, LongDateAndTimeWrapTheRule) {
  class WideClock : public FakeClock {
   public:
    void FormatDate(const SystemTime&, char* out, size_t n) override {
      std::snprintf(out, n, "%s", std::string(60, 'D').c_str());  // cut to 40
    }
  } wide;
  TextPane other{settings, wide, nullptr};
  PaneRows otherRows;
  other.SetRowObserver(&otherRows);
  other.StampTime();
  ASSERT_EQ(otherRows.rows.size(), 2u);
  const std::string rule = otherRows.rows[0].text + otherRows.rows[1].text;
  EXPECT_EQ(rule, "--------------- " + std::string(40, 'D') + " 00:00:00 ---------------");
}

}  // namespace
}  // namespace skelmar::test

namespace skelmar::test {
namespace {

TEST(PaintRuns, EqualSlotsMakeOneRunAndUnknownSlotsKeepTheColourBefore) {
  const char text[] = "AB  CD";
  const int32_t slots[] = {7, 7, 0, 0, 6, 13, 0};
  PaintRun runs[kPaneColumns];
  int32_t color = 0;
  ASSERT_EQ(PaintRuns(text, slots, color, runs), 4);
  EXPECT_EQ(runs[0].start, 0);
  EXPECT_EQ(runs[0].length, 2);
  EXPECT_EQ(runs[0].colorSlot, 7);
  EXPECT_EQ(runs[1].start, 2);
  EXPECT_EQ(runs[1].length, 2);
  EXPECT_EQ(runs[1].colorSlot, 7);  // slot 0 after a run in slot 7
  EXPECT_EQ(runs[2].colorSlot, 6);
  EXPECT_EQ(runs[3].colorSlot, 6);  // slot 13 is outside the table
  EXPECT_EQ(color, 6);

  const char next[] = "x";
  const int32_t nextSlots[] = {0, 0};
  ASSERT_EQ(PaintRuns(next, nextSlots, color, runs), 1);
  EXPECT_EQ(runs[0].colorSlot, 6);  // the colour carries into the next row
  int32_t fresh = 0;
  PaintRuns(next, nextSlots, fresh, runs);
  EXPECT_EQ(runs[0].colorSlot, 0);
  const char empty[] = "";
  EXPECT_EQ(PaintRuns(empty, nextSlots, fresh, runs), 0);
}

}  // namespace
}  // namespace skelmar::test
