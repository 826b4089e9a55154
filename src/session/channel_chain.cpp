// Wiring of a further decoding channel.
#include "session/channel_chain.h"

#include <cstring>

namespace skelmar {

void RowMerger::RowFinished(const char* text, const int32_t* slots) {
  // A channel's minute rule: the merged pane writes its own before the row.
  if (slots[0] == kSlotTimestamp && std::strncmp(text, "---------------", 15) == 0) return;
  into_.StampTime();
  int n = 0;
  for (; n < kPaneColumns && text[n] != 0; ++n) {
    into_.SetColor(slots[n]);
    into_.PutChar(text[n]);
  }
  // A full row has wrapped, which ends it already.
  if (n < kPaneColumns) into_.EndLine();
}

ChannelChain::ChannelChain(Monitor& shared, Clock& clock, std::string name, int64_t frequencyHz,
                           const std::string& label)
    : name_(std::move(name)),
      label_(label),
      frequencyHz_(frequencyHz),
      pane(shared.settings, clock, &lineCopy),
      caption(shared.settings),
      front(shared.settings, caption),
      pageSinks{shared.settings,        pane,         shared.filters, stats, pages,
                shared.filterProcessor, name_.c_str()},
      pocsagPages(pageSinks),
      flexPages(pageSinks),
      gscPages(pageSinks),
      pocsag(shared.settings, pocsagPages, front, bch),
      flex(flexPages, front, bch),
      gsc(gscPages, front) {
  pane.SetFinishedLineHook(&shared.filterProcessor);
  front.Attach(&pocsag, &flex, &gsc);
  pages.SetChannel(frequencyHz, label.c_str());
}

void ChannelChain::Start() {
  pane.Reset();
  flex.NamePhases();
  front.Reset();
}

void ChannelChain::TimerTick() { front.CaptionTick(); }

void AddStats(StatCounters& to, const StatCounters& from) {
  for (int row = 0; row < kStatRows; ++row) {
    for (int kind = 0; kind < 2; ++kind) {
      to.hourly[row][kind] += from.hourly[row][kind];
      to.daily[row][kind] += from.daily[row][kind];
    }
  }
}

}  // namespace skelmar
