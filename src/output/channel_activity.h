// The channels of a wideband input as the window lists them: each one's
// pages this hour and today, when its last page came, and whether one came
// just now. Read from the channels' counts at each timer tick, so the
// decoding never waits for the view and nothing is made per page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output/clock.h"
#include "output/statistics.h"

namespace skelmar {

/// Timer ticks (100 ms each) a channel stays marked active after a page.
inline constexpr int32_t kActivityTicks = 30;

struct ChannelActivityRow {
  std::string name;       ///< as the channel's lines start
  std::string frequency;  ///< "929.5625 MHz"
  int32_t hour = 0;       ///< pages this hour, as the Statistics dialog counts them
  int32_t today = 0;      ///< pages today
  bool paged = false;     ///< a page has come since the start
  SystemTime last;        ///< local time of the tick its last page was seen at
  int32_t activeTicks = 0;
  bool active() const { return activeTicks > 0; }

  const StatCounters* counts = nullptr;
  int32_t seen = 0;  ///< today's count at the last tick
};

class ChannelActivity {
 public:
  explicit ChannelActivity(Clock& clock) : clock_(clock) {}

  /// A channel, in the order the view lists them; its counts must outlive this.
  void Add(std::string name, int64_t frequencyHz, const StatCounters& counts);

  /// One timer tick: takes the counts, marks the channels whose count rose
  /// as active, and lets older marks run down. True when anything the view
  /// shows has changed.
  bool Tick();

  const std::vector<ChannelActivityRow>& rows() const { return rows_; }

  /// When the row's last page came: the time when it was today, else the
  /// date and the time, in the clock's formats; empty before the first page.
  void LastPageText(const ChannelActivityRow& row, char (&out)[96]) const;

 private:
  Clock& clock_;
  std::vector<ChannelActivityRow> rows_;
  SystemTime now_;
};

}  // namespace skelmar
