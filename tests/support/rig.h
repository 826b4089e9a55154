// A monitor rig for decoder tests: settings, panes, filters, statistics and
// the front end wired as the program wires them, with fake services, plus
// helpers to feed edges and read the finished monitor lines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "frontend/edge_ring.h"
#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "output/filters.h"
#include "output/page_composer.h"
#include "output/page_record.h"
#include "output/statistics.h"
#include "output/text_pane.h"
#include "pocsag/bch3121.h"
#include "settings/settings.h"
#include "support/fakes.h"

namespace skelmar::test {

/// One finished monitor row: its text and the colour slot of each character.
struct Row {
  std::string text;
  std::vector<int> slots;
};

class RowCollector : public RowObserver {
 public:
  std::vector<Row> rows;
  void RowFinished(const char* text, const int32_t* slots) override {
    Row row;
    row.text = text;
    row.slots.assign(slots, slots + row.text.size());
    rows.push_back(std::move(row));
  }
  /// Rows without the time-stamp rule lines.
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Row& r : rows) {
      if (r.text.rfind("---------------", 0) == 0) continue;
      out.push_back(r.text);
    }
    return out;
  }
};

class PageCollector : public PageObserver {
 public:
  std::vector<PageRecord> pages;
  void PageWritten(const PageRecord& page) override { pages.push_back(page); }
};

struct Rig {
  Settings settings;
  FakeClock clock;
  RecordingMessages messages;
  RecordingLauncher launcher;
  CountingBeeper beeper;
  FilterTable filters;
  StatCounters stats;
  LineCopy lineCopy;
  TextPane monitorPane{settings, clock, &lineCopy};
  TextPane filterPane{settings, clock, nullptr};
  ModeCaption caption{settings};
  FrontEnd front{settings, caption};
  Bch3121 bch;
  FilterProcessor filterProcessor{settings, filters, filterPane, launcher, beeper, messages};
  PageRecorder pages;
  PageSinks pageSinks{settings, monitorPane, filters, stats, pages, filterProcessor};
  PageComposer pocsagPages{pageSinks};
  PageComposer flexPages{pageSinks};
  PageComposer gscPages{pageSinks};
  RowCollector rows;
  PageCollector pageLog;
  EdgeRing ring{1u << 16};

  Rig() {
    clock.Set(2026, 12, 8, 12, 0, 0);
    monitorPane.SetFinishedLineHook(&filterProcessor);
    filterPane.SetRuleListener(&filterProcessor);
    monitorPane.SetRowObserver(&rows);
    pages.SetObserver(&pageLog);
    monitorPane.Reset();
    filterPane.Reset();
    front.Reset();
  }

  /// Pushes edges through the ring and PollEdges, a ring's worth at a time.
  void Feed(const std::vector<PulseSample>& samples) {
    uint32_t w = ring.writeIndex().load();
    size_t i = 0;
    while (i < samples.size()) {
      size_t batch = 0;
      while (i < samples.size() && batch < ring.size() - 1) {
        ring.durations()[w] = samples[i].duration;
        ring.statuses()[w] = samples[i].status;
        w = (w + 1) % ring.size();
        ring.writeIndex().store(w, std::memory_order_release);
        ++i;
        ++batch;
      }
      front.PollEdges(ring);
    }
  }
};

}  // namespace skelmar::test
