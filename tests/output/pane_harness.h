// Panes, filters and fake services wired as the monitor wires them, for the output tests.
#pragma once

#include <string>
#include <vector>

#include "output/filters.h"
#include "output/text_pane.h"
#include "settings/settings.h"
#include "support/fakes.h"

namespace skelmar::test {

/// Every call the pane model makes on its view, in order, as text.
class RecordingView : public PaneView {
 public:
  std::vector<std::string> calls;
  void ScrollLines(int lines) override { calls.push_back("scroll " + std::to_string(lines)); }
  void Invalidate(int l, int t, int r, int b) override {
    calls.push_back("invalidate " + std::to_string(l) + "," + std::to_string(t) + "," +
                    std::to_string(r) + "," + std::to_string(b));
  }
  void SetVerticalRange(int max) override { calls.push_back("range " + std::to_string(max)); }
  void SetVerticalPos(int pos) override { calls.push_back("pos " + std::to_string(pos)); }
  void UpdateNow() override { calls.push_back("update"); }
  void ScrollColumns(int columns) override {
    calls.push_back("hscroll " + std::to_string(columns));
  }
  void SetHorizontalRange(int max) override { calls.push_back("hrange " + std::to_string(max)); }
  void SetHorizontalPos(int pos) override { calls.push_back("hpos " + std::to_string(pos)); }
};

struct PaneRow {
  std::string text;
  std::vector<int> slots;
};

class PaneRows : public RowObserver {
 public:
  std::vector<PaneRow> rows;
  void RowFinished(const char* text, const int32_t* slots) override {
    PaneRow row{text, {}};
    row.slots.assign(slots, slots + row.text.size());
    rows.push_back(std::move(row));
  }
};

/// The two panes, the line copy and the filter processing with fake services.
struct OutputHarness {
  Settings settings;
  FakeClock clock;
  RecordingMessages messages;
  RecordingLauncher launcher;
  CountingBeeper beeper;
  FilterTable filters;
  LineCopy copy;
  TextPane monitor{settings, clock, &copy};
  TextPane filter{settings, clock, nullptr};
  FilterProcessor processor{settings, filters, filter, launcher, beeper, messages};
  PaneRows monitorRows;
  PaneRows filterRows;

  OutputHarness() {
    clock.Set(2026, 12, 8, 12, 0, 0);
    monitor.SetFinishedLineHook(&processor);
    filter.SetRuleListener(&processor);
    monitor.SetRowObserver(&monitorRows);
    filter.SetRowObserver(&filterRows);
  }

  /// Writes one page the way the decoders do: rule, capcode, blank, type, message.
  void Page(int type, const char* digits, int function, const char* message) {
    char capcode[32];
    std::snprintf(capcode, sizeof capcode, "{%s} %d", digits, function);
    filters.LookupCapcode(type, digits, function);
    monitor.StampTime();
    monitor.MarkCapcodeStart();
    monitor.SetColor(kSlotCapcode);
    monitor.PutText(capcode);
    monitor.MarkCapcodeEnd();
    monitor.PutChar(' ');
    monitor.SetColor(kSlotAlphanumeric);
    monitor.MarkMessageStart();
    monitor.PutText(message);
    monitor.EndLine();
  }

  FilterEntry& AddFilter(int type, const char* capcode, int function, const char* label,
                         const char* text, int runCommand = 0) {
    FilterEntry& e = filters.entries[filters.count++];
    e = FilterEntry{};
    e.type = type;
    std::snprintf(e.capcode, sizeof e.capcode, "%s", capcode);
    e.function = static_cast<int8_t>(function);
    std::snprintf(e.label, sizeof e.label, "%s", label);
    std::snprintf(e.text, sizeof e.text, "%s", text);
    e.runCommand = runCommand;
    return e;
  }

  /// Filter pane rows without the time rules.
  std::vector<std::string> FilterTexts() const {
    std::vector<std::string> out;
    for (const PaneRow& r : filterRows.rows) {
      if (r.text.rfind("---------------", 0) != 0) out.push_back(r.text);
    }
    return out;
  }
};

}  // namespace skelmar::test
