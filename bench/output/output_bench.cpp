// Cost of writing one page line through the composer and the filter
// processing, with a full pane ring and a full filter table.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "output/filters.h"
#include "output/text_pane.h"
#include "settings/settings.h"

namespace skelmar {
namespace {

class FixedClock : public Clock {
 public:
  SystemTime NowUtc() override { return SystemTime{2026, 12, 2, 8, 12, 0, 0, 0}; }
  SystemTime NowLocal() override { return NowUtc(); }
  int UtcOffsetMinutes() override { return 0; }
  void FormatDate(const SystemTime&, char* out, size_t n) override {
    std::snprintf(out, n, "12/08/26");
  }
  void FormatTime(const SystemTime&, char* out, size_t n) override {
    std::snprintf(out, n, "12:00:00");
  }
};

class NoLaunch : public CommandLauncher {
 public:
  bool Launch(const char*, const char*, char*, int) override { return true; }
};
class NoBeep : public Beeper {
 public:
  void Beep() override {}
};
class NoMessages : public MessageSink {
 public:
  void ShowMessage(const char*) override {}
  int AskQuestion(const char*) override { return 1; }
};

struct Output {
  Settings settings;
  FixedClock clock;
  NoLaunch launcher;
  NoBeep beeper;
  NoMessages messages;
  FilterTable filters;
  LineCopy copy;
  TextPane monitor{settings, clock, &copy};
  TextPane filter{settings, clock, nullptr};
  FilterProcessor processor{settings, filters, filter, launcher, beeper, messages};

  /// 199 Text filters that never match and, last, one that matches `match`.
  explicit Output(const char* match) {
    monitor.SetFinishedLineHook(&processor);
    filter.SetRuleListener(&processor);
    for (int i = 0; i < kMaxFilters; ++i) {
      filters.entries[i].type = kFilterText;
      std::snprintf(filters.entries[i].text, sizeof filters.entries[i].text, "never%03d", i);
    }
    std::snprintf(filters.entries[kMaxFilters - 1].text, sizeof filters.entries[0].text, "%s",
                  match);
    filters.count = kMaxFilters;
  }

  void Page(const char* message) {
    filters.LookupCapcode(kFilterPocsag, "0012345", 1);
    monitor.StampTime();
    monitor.MarkCapcodeStart();
    monitor.SetColor(kSlotCapcode);
    monitor.PutText("{0012345} 1");
    monitor.MarkCapcodeEnd();
    monitor.PutChar(' ');
    monitor.SetColor(kSlotAlphanumeric);
    monitor.MarkMessageStart();
    monitor.PutText(message);
    monitor.EndLine();
  }
};

constexpr const char* kMessage =
    "THIS IS A TEST PAGE OF ABOUT ONE HUNDRED AND TWENTY CHARACTERS, WRAPPED ONCE IN THE PANE, "
    "CALL 555-0100 NOW";

void BM_PageLineNoMatch(benchmark::State& state) {
  Output out("xyzzy-not-there");
  for (auto _ : state) out.Page(kMessage);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PageLineNoMatch);

void BM_PageLineLastFilterMatches(benchmark::State& state) {
  Output out("555-0100");
  for (auto _ : state) out.Page(kMessage);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PageLineLastFilterMatches);

}  // namespace
}  // namespace skelmar

BENCHMARK_MAIN();
