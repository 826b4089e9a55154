// Page counts per protocol, speed and kind; the minute check and the hourly report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/front_end.h"
#include "output/clock.h"

namespace skelmar {

struct Settings;
class MessageSink;

enum StatKind : int { kStatNumeric = 0, kStatAlpha = 1 };

struct StatCounters {
  int32_t hourly[kStatRows][2] = {};
  int32_t daily[kStatRows][2] = {};
  void CountMessage(int row, int kind);
  void ClearHourly();
  void ClearDaily();
};

/// One decoding channel's counts where a wideband input carries several.
struct ChannelStats {
  std::string name;   ///< as its lines start: the label, else the frequency in MHz
  std::string label;  ///< empty when none was given
  int64_t frequencyHz = 0;
  StatCounters* counters = nullptr;
};

/// The statistics clock: start, the 100 ms minute tick, the report.
class Statistics {
 public:
  Statistics(const Settings& settings, Clock& clock, StatCounters& counters);
  /// At window creation: counts to 0, StatClock set, countdown armed.
  void Start();
  /// Run on every 100 ms tick.
  void MinuteTick();
  /// Where several channels run: the report holds each one's table before
  /// the total, and their counts are cleared with the total's.
  void SetChannels(std::vector<ChannelStats> channels) { channels_ = std::move(channels); }
  /// Optional: told once when the report file cannot be written (until it can again).
  void SetMessageSink(MessageSink* messages) { messages_ = messages; }

  /// Shows a failure still waiting for the next tick (at shutdown).
  void ShowPendingFailure();
  /// True once a report could not be written; the program's exit status says so.
  bool writeFailed() const { return writeFailed_; }

  SystemTime statClock;         ///< StatClock
  int32_t minuteCountdown = 0;  ///< StatMinuteCountdown

 private:
  void WriteReport(const SystemTime& local);
  const Settings& settings_;
  Clock& clock_;
  StatCounters& counters_;
  std::vector<ChannelStats> channels_;
  std::string report_;
  MessageSink* messages_ = nullptr;
  bool failureReported_ = false;
  bool failurePending_ = false;  ///< shown at the next tick, outside the check
  bool writeFailed_ = false;
};

/// The hourly report as it is appended to the file.
int FormatStatReport(const StatCounters& counters, const char* date, const char* time, char* out,
                     int capacity);

/// The report of several channels: each channel's report headed by
/// "Channel NAME (F MHz):", then "All channels:" and the report of `total`.
/// No channels: the report of `total` alone, as FormatStatReport writes it.
void FormatChannelStatReport(const std::vector<ChannelStats>& channels, const StatCounters& total,
                             const char* date, const char* time, std::string& out);

/// The Statistics dialog's OK: refuses a checked box without a path (message
/// shown, returns false), else stores "StatFileEnabled" and "StatFile".
bool ApplyStatFileSettings(bool enabled, const char* path, Settings& settings,
                           MessageSink& messages);

/// A count as the dialog shows it: "%ld", or "******" above the limit
/// (999999 hourly, 9999999 daily).
void FormatStatCount(int32_t count, bool daily, char (&out)[16]);

/// Row names of the Statistics dialog: "FLEX 6400" ... "Golay (GSC)".
const char* StatRowDialogName(int row);

/// The counts as the Statistics dialog shows them, taken once when it opens
/// (the dialog does not refresh), each formatted by FormatStatCount.
struct StatSnapshot {
  char hourly[kStatRows][2][16] = {};
  char daily[kStatRows][2][16] = {};
};
StatSnapshot TakeStatSnapshot(const StatCounters& counters);

}  // namespace skelmar
