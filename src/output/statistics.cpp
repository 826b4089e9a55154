// Page counts, the once-a-minute check for a new hour or day, and the hourly report.
#include "output/statistics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "output/filters.h"
#include "settings/settings.h"

namespace skelmar {
namespace {

constexpr const char* kRowFormats[kStatRows] = {
    "FLEX 6400    %9ld  %9ld    %9ld  %9ld\n", "FLEX 3200    %9ld  %9ld    %9ld  %9ld\n",
    "FLEX 1600    %9ld  %9ld    %9ld  %9ld\n", "POCSAG 2400  %9ld  %9ld    %9ld  %9ld\n",
    "POCSAG 1200  %9ld  %9ld    %9ld  %9ld\n", "POCSAG 512   %9ld  %9ld    %9ld  %9ld\n",
    "GOLAY (GSC)  %9ld  %9ld    %9ld  %9ld\n",
};

int32_t Countdown(const SystemTime& t) {
  // Checks fall on whole minutes; a leap second still waits one tick.
  const int32_t ticks = (60 - static_cast<int32_t>(t.second)) * 10;
  return ticks > 0 ? ticks : 1;
}

}  // namespace

void StatCounters::CountMessage(int row, int kind) {
  if (row < 0 || row >= kStatRows || kind < 0 || kind > 1) return;
  ++hourly[row][kind];
  ++daily[row][kind];
}

void StatCounters::ClearHourly() { std::memset(hourly, 0, sizeof hourly); }

void StatCounters::ClearDaily() { std::memset(daily, 0, sizeof daily); }

Statistics::Statistics(const Settings& settings, Clock& clock, StatCounters& counters)
    : settings_(settings), clock_(clock), counters_(counters) {}

void Statistics::Start() {
  counters_.ClearHourly();
  counters_.ClearDaily();
  for (ChannelStats& c : channels_) {
    c.counters->ClearHourly();
    c.counters->ClearDaily();
  }
  statClock = clock_.NowLocal();
  minuteCountdown = Countdown(statClock);
}

void Statistics::ShowPendingFailure() {
  if (failurePending_ && messages_ != nullptr) {
    // Shown here, not inside the check: the message box may run further ticks.
    failurePending_ = false;
    char text[kMessageTextCapacity + 1];
    size_t n = 0;
    for (const char* s :
         {"Cannot write the statistics file: ", static_cast<const char*>(settings_.statFile)}) {
      while (n < kMessageTextCapacity && *s != 0) text[n++] = *s++;
    }
    text[n] = 0;
    messages_->ShowMessage(text);
  }
}

void Statistics::MinuteTick() {
  ShowPendingFailure();
  if (--minuteCountdown > 0) return;
  const SystemTime now = clock_.NowLocal();
  if (now.hour != statClock.hour || now.minute != statClock.minute || now.day != statClock.day) {
    if (now.hour != statClock.hour) {
      // The report holds the hour that just ended, so it goes before the reset.
      if (settings_.statFileEnabled != 0) WriteReport(now);
      counters_.ClearHourly();
      for (ChannelStats& c : channels_) c.counters->ClearHourly();
    }
    if (now.day != statClock.day) {
      counters_.ClearDaily();
      for (ChannelStats& c : channels_) c.counters->ClearDaily();
    }
    statClock = now;
  }
  minuteCountdown = Countdown(now);
}

int FormatStatReport(const StatCounters& c, const char* date, const char* time, char* out,
                     int capacity) {
  if (capacity <= 0) return 0;
  int used = 0;
  auto append = [&](int written) {
    if (written > 0) used = std::min(capacity - 1, used + written);
  };
  append(std::snprintf(out, static_cast<size_t>(capacity), "%s %s\n", date, time));
  append(std::snprintf(out + used, static_cast<size_t>(capacity - used), "%s",
                       "                   HOURLY                   DAILY\n"
                       "               Numeric      Alpha      Numeric      Alpha\n"));
  for (int row = 0; row < kStatRows; ++row) {
    append(std::snprintf(out + used, static_cast<size_t>(capacity - used), kRowFormats[row],
                         static_cast<long>(c.hourly[row][kStatNumeric]),
                         static_cast<long>(c.hourly[row][kStatAlpha]),
                         static_cast<long>(c.daily[row][kStatNumeric]),
                         static_cast<long>(c.daily[row][kStatAlpha])));
  }
  append(std::snprintf(out + used, static_cast<size_t>(capacity - used), "\n"));
  return used;
}

void Statistics::WriteReport(const SystemTime& local) {
  char date[41] = {};
  char time[41] = {};
  clock_.FormatDate(local, date, sizeof date);
  clock_.FormatTime(local, time, sizeof time);
  // All tables in one write, so a reader never sees half a report.
  FormatChannelStatReport(channels_, counters_, date, time, report_);

  std::FILE* file = std::fopen(settings_.statFile, "a");
  bool ok = file != nullptr;
  if (file != nullptr) {
    ok = std::fwrite(report_.data(), 1, report_.size(), file) == report_.size();
    ok = (std::fclose(file) == 0) && ok;
  }
  if (ok) {
    failureReported_ = false;
  } else if (!failureReported_) {
    // The report is skipped; counting goes on.
    writeFailed_ = true;
    failureReported_ = true;
    failurePending_ = true;
  }
}

void FormatChannelStatReport(const std::vector<ChannelStats>& channels, const StatCounters& total,
                             const char* date, const char* time, std::string& out) {
  out.clear();
  char table[1024];
  char head[160];
  for (const ChannelStats& c : channels) {
    std::snprintf(head, sizeof head, "Channel %s (%.6f MHz):\n", c.name.c_str(),
                  static_cast<double>(c.frequencyHz) / 1e6);
    out += head;
    out.append(table, static_cast<size_t>(FormatStatReport(*c.counters, date, time, table,
                                                           static_cast<int>(sizeof table))));
  }
  if (!channels.empty()) out += "All channels:\n";
  out.append(table, static_cast<size_t>(FormatStatReport(total, date, time, table,
                                                         static_cast<int>(sizeof table))));
}

bool ApplyStatFileSettings(bool enabled, const char* path, Settings& settings,
                           MessageSink& messages) {
  if (path == nullptr) path = "";
  if (enabled && path[0] == 0) {
    messages.ShowMessage("You must select a statistics file!");
    return false;
  }
  settings.statFileEnabled = enabled ? 1 : 0;
  std::snprintf(settings.statFile, sizeof settings.statFile, "%.*s", kPathCapacity - 1, path);
  return true;
}

void FormatStatCount(int32_t count, bool daily, char (&out)[16]) {
  const int32_t limit = daily ? 9999999 : 999999;
  if (count > limit) {
    std::snprintf(out, sizeof out, "******");
  } else {
    std::snprintf(out, sizeof out, "%ld", static_cast<long>(count));
  }
}

const char* StatRowDialogName(int row) {
  static constexpr const char* kNames[kStatRows] = {"FLEX 6400",   "FLEX 3200",   "FLEX 1600",
                                                    "POCSAG 2400", "POCSAG 1200", "POCSAG 512",
                                                    "Golay (GSC)"};
  return (row >= 0 && row < kStatRows) ? kNames[row] : "";
}

StatSnapshot TakeStatSnapshot(const StatCounters& counters) {
  StatSnapshot snapshot;
  for (int row = 0; row < kStatRows; ++row) {
    for (int kind = 0; kind < 2; ++kind) {
      FormatStatCount(counters.hourly[row][kind], false, snapshot.hourly[row][kind]);
      FormatStatCount(counters.daily[row][kind], true, snapshot.daily[row][kind]);
    }
  }
  return snapshot;
}

}  // namespace skelmar
