// The channels' counts, last pages and activity marks, taken at each tick.
#include "output/channel_activity.h"

#include <cstdio>

namespace skelmar {
namespace {

int32_t Sum(const int32_t (&counts)[kStatRows][2]) {
  int32_t total = 0;
  for (const auto& row : counts) total += row[kStatNumeric] + row[kStatAlpha];
  return total;
}

bool SameDay(const SystemTime& a, const SystemTime& b) {
  return a.day == b.day && a.month == b.month && a.year == b.year;
}

}  // namespace

void ChannelActivity::Add(std::string name, int64_t frequencyHz, const StatCounters& counts) {
  ChannelActivityRow row;
  row.name = std::move(name);
  char text[32];
  std::snprintf(text, sizeof text, "%.4f MHz", static_cast<double>(frequencyHz) / 1e6);
  row.frequency = text;
  row.counts = &counts;
  row.today = Sum(counts.daily);
  row.hour = Sum(counts.hourly);
  row.seen = row.today;
  rows_.push_back(std::move(row));
}

bool ChannelActivity::Tick() {
  const SystemTime now = clock_.NowLocal();
  // A last page of yesterday is shown with its date from midnight on.
  bool changed = !SameDay(now, now_);
  now_ = now;
  for (ChannelActivityRow& row : rows_) {
    const int32_t today = Sum(row.counts->daily);
    const int32_t hour = Sum(row.counts->hourly);
    // Fewer than at the last tick: the day turned, and what is there now is new.
    const int32_t fresh = today >= row.seen ? today - row.seen : today;
    row.seen = today;
    if (fresh > 0) {
      row.paged = true;
      row.last = now;
      row.activeTicks = kActivityTicks;
      changed = true;
    } else if (row.activeTicks > 0) {
      --row.activeTicks;
      changed = changed || row.activeTicks == 0;
    }
    if (today != row.today || hour != row.hour) changed = true;
    row.today = today;
    row.hour = hour;
  }
  return changed;
}

void ChannelActivity::LastPageText(const ChannelActivityRow& row, char (&out)[96]) const {
  out[0] = 0;
  if (!row.paged) return;
  char date[41] = {};
  char time[41] = {};
  clock_.FormatTime(row.last, time, sizeof time);
  if (SameDay(row.last, now_)) {
    std::snprintf(out, sizeof out, "%s", time);
    return;
  }
  clock_.FormatDate(row.last, date, sizeof date);
  std::snprintf(out, sizeof out, "%s %s", date, time);
}

}  // namespace skelmar
