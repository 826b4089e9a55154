// Capcode lookup and the filter processing of finished lines: matching,
// highlight and label in the filter pane, the log file, flushing, beep and
// the filter command.
#include "output/filters.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pane_harness.h"
#include "platform/command_line.h"

namespace skelmar::test {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string TempPath(const char* name) {
  // The process id keeps concurrent runs of the same test apart.
  std::string path = ::testing::TempDir() + "skelmar_" + name + "_" +
                     ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                     std::to_string(::getpid());
  std::remove(path.c_str());
  return path;
}

TEST(WildcardMatch, ComparesExactlyNCharactersWithQuestionMarks) {
  EXPECT_TRUE(WildcardMatch("0012345", "00123??", 7));
  EXPECT_FALSE(WildcardMatch("0012445", "00123??", 7));
  EXPECT_TRUE(WildcardMatch("abX", "abY", 2));
  EXPECT_FALSE(WildcardMatch("abX", "abY", 3));
  EXPECT_TRUE(WildcardMatch("ab", "ab?", 3));  // the terminator is just another character
}

TEST(CapcodeLookup, WildcardsFunctionAndType) {
  OutputHarness h;
  h.AddFilter(kFilterPocsag, "00123??", 2, "", "");
  h.AddFilter(kFilterPocsag, "00123??", 0, "", "");
  h.AddFilter(kFilterFlexShort, "0099999", 3, "", "");
  h.AddFilter(kFilterFlexLong, "00000??34", 0, "", "");
  h.AddFilter(kFilterGsc, "12345?", 4, "", "");
  FilterTable& t = h.filters;
  EXPECT_EQ(t.LookupCapcode(kFilterPocsag, "0012300", 2), 0);
  EXPECT_EQ(t.LookupCapcode(kFilterPocsag, "0012399", 1), 1);  // "Any" takes every function
  EXPECT_EQ(t.LookupCapcode(kFilterPocsag, "0012400", 2), -1);
  EXPECT_EQ(t.matchedFilter, -1);
  EXPECT_EQ(t.LookupCapcode(kFilterFlexShort, "0012300", 2), -1);  // POCSAG entries only for POCSAG
  EXPECT_EQ(t.LookupCapcode(kFilterFlexShort, "0099999", 0), 2);   // FLEX ignores the function
  EXPECT_EQ(t.LookupCapcode(kFilterFlexLong, "000001234", 0), 3);
  EXPECT_EQ(t.LookupCapcode(kFilterFlexLong, "00000123", 0),
            -1);  // short text: no match, no overread
  EXPECT_EQ(t.LookupCapcode(kFilterGsc, "123450", 4), 4);
  EXPECT_EQ(t.LookupCapcode(kFilterGsc, "123450", 3), -1);
  EXPECT_EQ(t.LookupCapcode(kFilterText, "0012300", 2), -1);
  t.matchedFilter = 3;
  t.ClearMatch();
  EXPECT_EQ(t.matchedFilter, -1);
}

TEST(FilterProcessing, CapcodeMatchCopiesTheLineWithHighlightAndLabel) {
  OutputHarness h;
  h.AddFilter(kFilterPocsag, "0012345", 0, "Fire", "");
  h.Page(kFilterPocsag, "0012345", 1, "HELLO");
  EXPECT_EQ(h.processor.lastMatch, 0);
  ASSERT_EQ(h.filterRows.rows.size(), 2u);
  EXPECT_EQ(h.filterRows.rows[0].text, "--------------- 12/08/26 12:00:00 ---------------");
  const PaneRow& row = h.filterRows.rows[1];
  EXPECT_EQ(row.text, "{0012345} 1Fire  HELLO");
  std::vector<int> slots(11, kSlotFilterMatch);
  slots.insert(slots.end(), 5, kSlotFilterLabel);
  slots.push_back(kSlotCapcode);  // the decoder's blank keeps its slot
  slots.insert(slots.end(), 5, kSlotAlphanumeric);
  EXPECT_EQ(row.slots, slots);
  // The monitor row itself is unchanged.
  EXPECT_EQ(h.monitorRows.rows.back().text, "{0012345} 1 HELLO");
  EXPECT_EQ(h.monitorRows.rows.back().slots[0], kSlotCapcode);
}

TEST(FilterProcessing, CapcodeWithTextNeedsTheTextAndThenTriesNoTextFilter) {
  OutputHarness h;
  h.AddFilter(kFilterPocsag, "0012345", 0, "", "fire");
  h.AddFilter(kFilterText, "", 0, "", "HELLO");
  h.Page(kFilterPocsag, "0012345", 1, "Big FIRE here");
  EXPECT_EQ(h.processor.lastMatch, 0);
  ASSERT_EQ(h.FilterTexts().size(), 1u);
  const PaneRow& row = h.filterRows.rows.back();
  for (int i = 0; i < 11; ++i) EXPECT_EQ(row.slots[i], kSlotFilterMatch) << i;
  for (int i = 16; i < 20; ++i) EXPECT_EQ(row.slots[i], kSlotFilterMatch) << i;
  EXPECT_EQ(row.slots[15], kSlotAlphanumeric);
  EXPECT_EQ(row.slots[20], kSlotAlphanumeric);

  h.Page(kFilterPocsag, "0012345", 1, "hello world");  // capcode matched, text absent
  EXPECT_EQ(h.processor.lastMatch, -1);
  EXPECT_EQ(h.FilterTexts().size(), 1u);

  h.Page(kFilterPocsag, "0054321", 1, "hello world");
  EXPECT_EQ(h.processor.lastMatch, 1);
  EXPECT_EQ(h.FilterTexts().back(), "{0054321} 1 hello world");
}

TEST(FilterProcessing, TextSearchStartsAtTheMessage) {
  OutputHarness h;
  h.AddFilter(kFilterText, "", 0, "", "0012345");
  h.AddFilter(kFilterText, "", 0, "", "} 1");
  h.Page(kFilterPocsag, "0012345", 1, "nothing here");
  EXPECT_EQ(h.processor.lastMatch, -1);
  EXPECT_TRUE(h.filterRows.rows.empty());  // not even a rule
  h.Page(kFilterPocsag, "0000001", 1, "call 0012345");
  EXPECT_EQ(h.processor.lastMatch, 0);
}

TEST(FilterProcessing, EarlierTextEntryWinsAndOnlyItsTextIsHighlighted) {
  OutputHarness h;
  h.AddFilter(kFilterText, "", 0, "A", "alpha");
  h.AddFilter(kFilterText, "", 0, "B", "beta");
  h.Page(kFilterPocsag, "0000001", 1, "beta then ALPHA");
  EXPECT_EQ(h.processor.lastMatch, 0);
  const PaneRow& row = h.filterRows.rows.back();
  EXPECT_EQ(row.text, "{0000001} 1A  beta then ALPHA");
  std::vector<int> expected(11, kSlotCapcode);  // a text match leaves the capcode alone
  expected.insert(expected.end(), 2, kSlotFilterLabel);
  expected.push_back(kSlotCapcode);
  expected.insert(expected.end(), 10, kSlotAlphanumeric);
  expected.insert(expected.end(), 5, kSlotFilterMatch);
  EXPECT_EQ(row.slots, expected);
}

TEST(FilterProcessing, NulEndsTheLine) {
  OutputHarness h;
  h.AddFilter(kFilterText, "", 0, "", "CD");
  h.AddFilter(kFilterText, "", 0, "", "AB");
  h.monitor.MarkCapcodeStart();
  h.monitor.PutText("{0000001} 1");
  h.monitor.MarkCapcodeEnd();
  h.monitor.PutChar(' ');
  h.monitor.MarkMessageStart();
  h.monitor.PutText("AB");
  h.monitor.PutChar('\0');
  h.monitor.PutText("CD");
  h.monitor.EndLine();
  EXPECT_EQ(h.processor.lastMatch, 1);
  EXPECT_EQ(h.FilterTexts().back(), "{0000001} 1 AB");
}

TEST(FilterProcessing, FilterPaneGetsItsOwnRulePerMinute) {
  OutputHarness h;
  h.AddFilter(kFilterText, "", 0, "", "x");
  h.Page(kFilterPocsag, "0000001", 1, "x1");
  h.Page(kFilterPocsag, "0000001", 1, "no");
  h.Page(kFilterPocsag, "0000001", 1, "x2");
  h.clock.Set(2026, 12, 8, 12, 1, 0);
  h.Page(kFilterPocsag, "0000001", 1, "x3");
  std::vector<std::string> texts;
  for (const PaneRow& r : h.filterRows.rows) texts.push_back(r.text);
  const std::vector<std::string> expected = {
      "--------------- 12/08/26 12:00:00 ---------------", "{0000001} 1 x1", "{0000001} 1 x2",
      "--------------- 12/08/26 12:01:00 ---------------", "{0000001} 1 x3"};
  EXPECT_EQ(texts, expected);
}

struct LogFixture : ::testing::Test {
  OutputHarness h;
  std::string path;
  void OpenLog() {
    path = TempPath("filter_log");
    h.settings.filterFileEnabled = 1;
    std::snprintf(h.settings.filterFile, sizeof h.settings.filterFile, "%s", path.c_str());
    h.processor.OpenLog();
    ASSERT_TRUE(h.processor.logOpen());
  }
};

TEST_F(LogFixture, LogHoldsRulesAndLabelledLinesWithSafeCharacters) {
  OpenLog();
  h.AddFilter(kFilterPocsag, "0012345", 0, "Fire", "");
  h.Page(kFilterPocsag, "0012345", 1, "HI\x01\xC1\x7F");
  h.Page(kFilterPocsag, "0099999", 1, "unmatched");
  h.Page(kFilterPocsag, "0012345", 1, "again");
  h.processor.CloseLog();
  EXPECT_EQ(ReadFile(path),
            "--------------- 12/08/26 12:00:00 ---------------\n"
            "{0012345} 1Fire  HI.A\x7F\n"
            "{0012345} 1Fire  again\n");
}

TEST_F(LogFixture, EightyCharacterLineIsFollowedByAnEmptyLine) {
  h.settings.timestamp = 0;
  OpenLog();
  h.AddFilter(kFilterPocsag, "0012345", 0, "", "");
  h.AddFilter(kFilterPocsag, "0054321", 0, "AB", "");
  const std::string msg68(68, 'm');
  h.Page(kFilterPocsag, "0012345", 1, msg68.c_str());  // 12 + 68 = 80 characters
  const std::string msg66 = std::string(65, 'n') + "z";
  h.Page(kFilterPocsag, "0054321", 1, msg66.c_str());  // 78 characters plus "AB "
  h.processor.CloseLog();
  EXPECT_EQ(ReadFile(path),
            "{0012345} 1 " + msg68 + "\n\n" + "{0054321} 1AB  " + std::string(65, 'n') + "\nz\n");
  // The filter pane wraps the same line at 80 on its own.
  const std::vector<std::string> texts = h.FilterTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1], "");
  EXPECT_EQ(texts[3], "z");
}

TEST_F(LogFixture, TimestampOffKeepsRulesOutOfTheLog) {
  h.settings.timestamp = 0;
  OpenLog();
  h.AddFilter(kFilterText, "", 0, "", "x");
  h.Page(kFilterPocsag, "0000001", 1, "x");
  h.processor.CloseLog();
  EXPECT_EQ(ReadFile(path), "{0000001} 1 x\n");
}

TEST_F(LogFixture, FlushTenSecondsAfterTheFirstUnflushedLine) {
  h.settings.timestamp = 0;
  h.settings.filterFileFlush = 1;
  h.settings.filterFlushTime = 3;
  OpenLog();
  h.AddFilter(kFilterText, "", 0, "", "x");
  int tick = 0;
  auto runTo = [&](int until) {
    for (; tick < until; ++tick) h.processor.FlushTick();
  };
  h.Page(kFilterPocsag, "0000001", 1, "x at 0 s");
  runTo(40);
  h.Page(kFilterPocsag, "0000001", 1, "x at 4 s");
  runTo(90);
  h.Page(kFilterPocsag, "0000001", 1, "x at 9 s");
  runTo(99);
  EXPECT_EQ(ReadFile(path), "");  // still buffered
  runTo(100);
  const std::string three = "{0000001} 1 x at 0 s\n{0000001} 1 x at 4 s\n{0000001} 1 x at 9 s\n";
  EXPECT_EQ(ReadFile(path), three);
  EXPECT_EQ(h.processor.flushCountdown, 0);
  h.Page(kFilterPocsag, "0000001", 1, "x later");
  EXPECT_EQ(h.processor.flushCountdown, 100);  // a new countdown for the next line
  runTo(199);
  EXPECT_EQ(ReadFile(path), three);
  runTo(200);
  EXPECT_EQ(ReadFile(path), three + "{0000001} 1 x later\n");
}

TEST_F(LogFixture, FlushChoicesSetTheirCountdownsOrFlushAtOnce) {
  h.settings.timestamp = 0;
  h.settings.filterFileFlush = 1;
  OpenLog();
  h.AddFilter(kFilterText, "", 0, "", "x");
  const int expected[] = {600, 0, 50, 100, 300, 600};
  for (int time = 0; time <= 5; ++time) {
    h.processor.flushCountdown = 0;
    h.settings.filterFlushTime = time;
    h.Page(kFilterPocsag, "0000001", 1, "x");
    EXPECT_EQ(h.processor.flushCountdown, expected[time]) << time;
  }
  h.settings.filterFlushTime = 1;
  h.Page(kFilterPocsag, "0000001", 1, "x now");
  EXPECT_NE(ReadFile(path).find("x now\n"), std::string::npos);
  h.settings.filterFileFlush = 0;  // without flushing no countdown runs
  h.processor.flushCountdown = 5;
  h.processor.FlushTick();
  EXPECT_EQ(h.processor.flushCountdown, 5);
}

TEST(FilterFailures, UnopenableLogIsReportedOnceAndFilteringGoesOn) {
  OutputHarness h;
  h.settings.filterFileEnabled = 1;
  const std::string path = "/nonexistent-skelmar-dir/" + std::string(200, 'p') + ".log";
  std::snprintf(h.settings.filterFile, sizeof h.settings.filterFile, "%s", path.c_str());
  h.processor.OpenLog();
  h.processor.OpenLog();
  EXPECT_FALSE(h.processor.logOpen());
  ASSERT_EQ(h.messages.shown.size(), 1u);
  EXPECT_EQ(h.messages.shown[0], "Cannot open the filter file: " + path);  // whole, not cut
  h.AddFilter(kFilterText, "", 0, "", "x");
  h.Page(kFilterPocsag, "0000001", 1, "x");
  EXPECT_EQ(h.FilterTexts().size(), 1u);
}

TEST(FilterFailures, DisabledLogIsNotOpened) {
  OutputHarness h;
  h.processor.OpenLog();
  EXPECT_FALSE(h.processor.logOpen());
  EXPECT_TRUE(h.messages.shown.empty());
}

struct CommandFixture : ::testing::Test {
  OutputHarness h;
  CommandFixture() {
    h.settings.filterCmdFileEnabled = 1;
    std::snprintf(h.settings.filterCmdFile, sizeof h.settings.filterCmdFile, "/opt/notify");
    h.AddFilter(kFilterPocsag, "0012345", 0, "Fire", "", 1);
  }
  /// The arguments the command receives, as the launcher splits the string.
  std::vector<std::string> ArgsFor(const char* templ, const char* message = "HELLO") {
    std::snprintf(h.settings.filterCmdArgs, sizeof h.settings.filterCmdArgs, "%s", templ);
    h.launcher.calls.clear();
    h.Page(kFilterPocsag, "0012345", 1, message);
    EXPECT_EQ(h.launcher.calls.size(), 1u);
    return h.launcher.calls.empty() ? std::vector<std::string>{"(no call)"}
                                    : SplitCommandLine(h.launcher.calls[0].arguments.c_str());
  }
  using Args = std::vector<std::string>;
};

TEST_F(CommandFixture, TemplateExpansion) {
  EXPECT_EQ(ArgsFor("%c %m"), (Args{"{0012345} 1", "HELLO"}));
  EXPECT_EQ(h.launcher.calls[0].program, "/opt/notify");
  EXPECT_EQ(ArgsFor("100% "), (Args{"100%"}));
  EXPECT_EQ(ArgsFor("%L:%l %C|%M %x %%m %"),
            (Args{"Fire:Fire", "{0012345} 1|HELLO", "%x", "%HELLO", "%"}));
  EXPECT_EQ(ArgsFor("\"%m\"", "say \"hi\"; $(x)"), (Args{"say \"hi\"; $(x)"}));
}

TEST_F(CommandFixture, ReceivedTextNeverAddsSplitsOrRemovesAnArgument) {
  // Blanks, quotes and backslashes from the air stay inside the one argument
  // the template gave them; an empty expansion still holds its place.
  const char* hostile = "Fire \"at --output=/etc/passwd \"dock 7 \\\" end\\";
  EXPECT_EQ(ArgsFor("%m", hostile), (Args{hostile}));
  EXPECT_EQ(ArgsFor("-t \"[%l] %m\" %c", hostile),
            (Args{"-t", std::string("[Fire] ") + hostile, "{0012345} 1"}));
  h.filters.entries[0].label[0] = 0;
  EXPECT_EQ(ArgsFor("%l x\\\"y"), (Args{"", "x\"y"}));
}

TEST_F(CommandFixture, CommandNeedsTheSettingAPathAndTheEntrysFlag) {
  std::snprintf(h.settings.filterCmdArgs, sizeof h.settings.filterCmdArgs, "%%m");
  h.settings.filterCmdFileEnabled = 0;
  h.Page(kFilterPocsag, "0012345", 1, "a");
  h.settings.filterCmdFileEnabled = 1;
  h.settings.filterCmdFile[0] = 0;
  h.Page(kFilterPocsag, "0012345", 1, "b");
  std::snprintf(h.settings.filterCmdFile, sizeof h.settings.filterCmdFile, "/opt/notify");
  h.filters.entries[0].runCommand = 0;
  h.Page(kFilterPocsag, "0012345", 1, "c");
  EXPECT_TRUE(h.launcher.calls.empty());
  EXPECT_EQ(h.FilterTexts().size(), 3u);  // the matches themselves went on
}

TEST_F(CommandFixture, EachArgumentIsCutTo119Characters) {
  const std::string message(300, 'm');
  EXPECT_EQ(ArgsFor("%m %m", message.c_str()),
            (Args{std::string(119, 'm'), std::string(119, 'm')}));
  EXPECT_EQ(ArgsFor("ab%m", message.c_str()), (Args{"ab" + std::string(117, 'm')}));
  const std::string path150 = "/" + std::string(149, 'p');
  std::snprintf(h.settings.filterCmdFile, sizeof h.settings.filterCmdFile, "%s", path150.c_str());
  EXPECT_EQ(ArgsFor("%m", "short"), (Args{"short"}));
  EXPECT_EQ(h.launcher.calls[0].program, path150);  // the path is never cut
}

TEST_F(CommandFixture, MarksOfAnEarlierLineDoNotPullInOldCharacters) {
  std::snprintf(h.settings.filterCmdArgs, sizeof h.settings.filterCmdArgs, "%%c|%%m");
  h.Page(kFilterPocsag, "0012345", 1, "HELLO");
  h.launcher.calls.clear();
  h.monitor.PutText("more");  // a second line of the same page: the match holds
  h.monitor.EndLine();
  ASSERT_EQ(h.launcher.calls.size(), 1u);
  EXPECT_EQ(SplitCommandLine(h.launcher.calls[0].arguments.c_str()), (Args{"more|"}));
}

TEST_F(CommandFixture, LaunchFailureIsToldOnceAtTheNextTickAndFilteringGoesOn) {
  h.launcher.succeed = false;
  std::snprintf(h.settings.filterCmdArgs, sizeof h.settings.filterCmdArgs, "%%m");
  for (int i = 0; i < 3; ++i) h.Page(kFilterPocsag, "0012345", 1, "x");
  EXPECT_EQ(h.launcher.calls.size(), 3u);
  EXPECT_TRUE(h.messages.shown.empty());  // never from inside the line's processing
  EXPECT_EQ(h.FilterTexts().size(), 3u);
  h.processor.FlushTick();
  h.processor.FlushTick();
  ASSERT_EQ(h.messages.shown.size(), 1u);
  EXPECT_EQ(h.messages.shown[0], "Cannot start the filter command: cannot start /opt/notify");
  h.launcher.succeed = true;  // after a good start a new failure is told again
  h.Page(kFilterPocsag, "0012345", 1, "x");
  h.launcher.succeed = false;
  h.Page(kFilterPocsag, "0012345", 1, "x");
  h.processor.FlushTick();
  EXPECT_EQ(h.messages.shown.size(), 2u);
}

/// A modal message box: the timer keeps ticking while it is open.
class ModalMessages : public MessageSink {
 public:
  FilterProcessor* processor = nullptr;
  std::vector<std::string> shown;
  int depth = 0;
  int maxDepth = 0;
  void ShowMessage(const char* text) override {
    shown.emplace_back(text);
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    for (int i = 0; i < 3; ++i) processor->FlushTick();
    --depth;
  }
  int AskQuestion(const char*) override { return 1; }
};

TEST(FilterFailures, MessageShownWhileTheTimerRunsIsShownOnce) {
  OutputHarness h;
  ModalMessages modal;
  FilterProcessor processor{h.settings, h.filters, h.filter, h.launcher, h.beeper, modal};
  modal.processor = &processor;
  h.monitor.SetFinishedLineHook(&processor);
  h.launcher.succeed = false;
  h.settings.filterCmdFileEnabled = 1;
  std::snprintf(h.settings.filterCmdFile, sizeof h.settings.filterCmdFile, "/opt/notify");
  h.AddFilter(kFilterText, "", 0, "", "x", 1);
  h.Page(kFilterPocsag, "0000001", 1, "x");
  processor.FlushTick();
  EXPECT_EQ(modal.shown.size(), 1u);
  EXPECT_EQ(modal.maxDepth, 1);
}

TEST(FilterBeep, OneBeepPerMatchedLineWhenEnabled) {
  OutputHarness h;
  h.AddFilter(kFilterText, "", 0, "", "x");
  h.Page(kFilterPocsag, "0000001", 1, "x");
  EXPECT_EQ(h.beeper.beeps, 0);
  h.settings.filterBeep = 1;
  h.Page(kFilterPocsag, "0000001", 1, "x");
  h.Page(kFilterPocsag, "0000001", 1, "y");
  EXPECT_EQ(h.beeper.beeps, 1);
}

TEST(FilterProcessing, LastMatchFollowsEveryLine) {
  OutputHarness h;
  h.AddFilter(kFilterText, "", 0, "", "x");
  h.Page(kFilterPocsag, "0000001", 1, "x");
  EXPECT_EQ(h.processor.lastMatch, 0);
  h.Page(kFilterPocsag, "0000001", 1, "y");
  EXPECT_EQ(h.processor.lastMatch, -1);
}

TEST(FilterProcessing, MatchOfAnEntryNoLongerInTheTableIsIgnored) {
  OutputHarness h;
  h.AddFilter(kFilterPocsag, "0000001", 0, "", "");
  h.filters.LookupCapcode(kFilterPocsag, "0000001", 1);
  h.filters.count = 0;
  h.monitor.PutText("line");
  h.monitor.EndLine();
  EXPECT_EQ(h.processor.lastMatch, -1);
}

}  // namespace
}  // namespace skelmar::test
