// The monitor as one object: it owns everything the program keeps for its
// whole life (settings aside) and wires each part to the parts it talks to.
#pragma once

#include "flex/flex_decoder.h"
#include "frontend/edge_ring.h"
#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "gsc/gsc_decoder.h"
#include "output/charset.h"
#include "output/clock.h"
#include "output/filters.h"
#include "output/page_composer.h"
#include "output/page_record.h"
#include "output/statistics.h"
#include "output/text_pane.h"
#include "pocsag/bch3121.h"
#include "pocsag/pocsag_decoder.h"
#include "settings/settings.h"

namespace skelmar {

/// Platform services the monitor needs, supplied by the front (console or desktop).
struct MonitorServices {
  Clock& clock;
  MessageSink& messages;
  CommandLauncher& launcher;
  Beeper& beeper;
};

class Monitor {
 public:
  Monitor(Settings& settings, const MonitorServices& services);
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  /// The window-creation steps: panes emptied, phases named, front end reset,
  /// filter log opened if enabled, statistics started.
  void Start();

  /// One 100 ms timer tick: flush tick, minute tick, caption countdown, then
  /// PollEdges on `ring` (skipped when null).
  void TimerTick(const EdgeRing* ring);

  /// The input has ended (end of a file or pipe, or a stop): drains what is
  /// left in `ring` (skipped when null), then lets the decoders see the end
  /// of the signal, so a page still open is written and counted.
  void EndOfSignal(const EdgeRing* ring);

  /// Closes the filter log (shutdown).
  void Stop();
  /// True when a file the user asked for (filter log, statistics report)
  /// could not be written completely.
  bool writeFailed() const { return filterProcessor.writeFailed() || statistics.writeFailed(); }

  Settings& settings;
  FilterTable filters;
  /// National character set of the log, the text filters and %m (US until chosen).
  Charset charset;
  StatCounters stats;
  LineCopy lineCopy;
  TextPane monitorPane;
  TextPane filterPane;
  ModeCaption caption;
  FrontEnd front;
  Bch3121 bch;
  FilterProcessor filterProcessor;
  Statistics statistics;
  PageRecorder pages;
  PageSinks pageSinks;
  /// Each decoder's page events become monitor lines, counts and records here.
  PageComposer pocsagPages;
  PageComposer flexPages;
  PageComposer gscPages;
  PocsagDecoder pocsag;
  FlexDecoder flex;
  GscDecoder gsc;
};

}  // namespace skelmar
