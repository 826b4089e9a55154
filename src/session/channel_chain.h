// One more decoding channel where a wideband input carries several: its own
// pane, front end with its clocks, the three decoders, counts and records,
// sharing the monitor's settings, filters, filter log and command, and
// character set. Its finished rows go on into the monitor's pane.
#pragma once

#include <cstdint>
#include <string>

#include "flex/flex_decoder.h"
#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "gsc/gsc_decoder.h"
#include "output/page_composer.h"
#include "output/page_record.h"
#include "output/statistics.h"
#include "output/text_pane.h"
#include "pocsag/bch3121.h"
#include "pocsag/pocsag_decoder.h"
#include "session/monitor.h"

namespace skelmar {

/// Copies finished rows of the channels' panes into the one pane the fronts
/// show, each with its own time rule: the rules the channels' panes write
/// would repeat once per channel.
class RowMerger : public RowObserver {
 public:
  explicit RowMerger(TextPane& into) : into_(into) {}
  void RowFinished(const char* text, const int32_t* slots) override;

 private:
  TextPane& into_;
};

class ChannelChain {
 public:
  /// `name` starts each line; `frequencyHz` and `label` go into every record.
  ChannelChain(Monitor& shared, Clock& clock, std::string name, int64_t frequencyHz,
               const std::string& label);
  ChannelChain(const ChannelChain&) = delete;
  ChannelChain& operator=(const ChannelChain&) = delete;

  /// As Monitor::Start for the channel's own parts.
  void Start();
  /// The timer tick's caption countdown (the edges are polled by the
  /// caller, all channels in turn; the monitor's statistics clear the
  /// channel's counts with its own and write its table in the report).
  void TimerTick();

  const std::string& name() const { return name_; }
  const std::string& label() const { return label_; }
  int64_t frequencyHz() const { return frequencyHz_; }

 private:
  std::string name_;
  std::string label_;
  int64_t frequencyHz_;

 public:
  LineCopy lineCopy;
  TextPane pane;
  ModeCaption caption;
  FrontEnd front;
  Bch3121 bch;
  StatCounters stats;
  PageRecorder pages;
  PageSinks pageSinks;
  PageComposer pocsagPages;
  PageComposer flexPages;
  PageComposer gscPages;
  PocsagDecoder pocsag;
  FlexDecoder flex;
  GscDecoder gsc;
};

/// Adds the counts of `from` to `to`.
void AddStats(StatCounters& to, const StatCounters& from);

}  // namespace skelmar
