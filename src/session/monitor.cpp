// Wiring of the monitor's parts and the timer tick.
#include "session/monitor.h"

namespace skelmar {

Monitor::Monitor(Settings& s, const MonitorServices& services)
    : settings(s),
      monitorPane(s, services.clock, &lineCopy),
      filterPane(s, services.clock, nullptr),
      caption(s),
      front(s, caption),
      filterProcessor(s, filters, filterPane, services.launcher, services.beeper,
                      services.messages),
      statistics(s, services.clock, stats),
      pageSinks{s, monitorPane, filters, stats, pages, filterProcessor},
      pocsagPages(pageSinks),
      flexPages(pageSinks),
      gscPages(pageSinks),
      pocsag(s, pocsagPages, front, bch),
      flex(flexPages, front, bch),
      gsc(gscPages, front) {
  monitorPane.SetFinishedLineHook(&filterProcessor);
  filterPane.SetRuleListener(&filterProcessor);
  filterProcessor.SetCharset(&charset);
  front.Attach(&pocsag, &flex, &gsc);
}

void Monitor::Start() {
  monitorPane.Reset();
  filterPane.Reset();
  flex.NamePhases();
  front.Reset();
  if (settings.filterFileEnabled) filterProcessor.OpenLog();
  filterProcessor.flushCountdown = 0;
  statistics.Start();
}

void Monitor::TimerTick(const EdgeRing* ring) {
  filterProcessor.FlushTick();
  statistics.MinuteTick();
  front.CaptionTick();
  if (ring != nullptr) front.PollEdges(*ring);
}

void Monitor::EndOfSignal(const EdgeRing* ring) {
  if (ring != nullptr) front.PollEdges(*ring);
  front.EndOfSignal();
}

void Monitor::Stop() {
  filterProcessor.CloseLog();
  filterProcessor.ShowPendingMessage();
  statistics.ShowPendingFailure();
}

}  // namespace skelmar
