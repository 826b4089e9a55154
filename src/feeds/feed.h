// What every feed (MQTT, PagerMon, ...) offers the monitor, and the hub that
// hands each page to them: duplicate suppression, stats at the hour turn, and
// the console's reports of what a feed dropped or was refused.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/clock.h"
#include "output/page_record.h"
#include "output/statistics.h"

namespace skelmar {

class MessageSink;

/// Counts a feed keeps; read from the monitor's thread.
struct FeedCounters {
  uint64_t sent = 0;
  uint64_t dropped = 0;  ///< lost to a full queue or given up after retries
  uint64_t queued = 0;   ///< waiting now
};

class Feed {
 public:
  virtual ~Feed() = default;
  virtual const char* name() const = 0;
  /// Queues one page (never waits for the network). `json` is the page's JSON
  /// line as --json prints it; `epochSeconds` its time.
  virtual void Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds) = 0;
  /// The hourly and daily counts as JSON: kept for the next connection, and
  /// sent at once when `hourTurn`.
  virtual void SetStats(std::string_view statsJson, bool hourTurn) {
    (void)statsJson;
    (void)hourTurn;
  }
  virtual FeedCounters counters() const = 0;
  /// Takes one line the feed wants shown (an error from the far end); false when none.
  virtual bool TakeMessage(std::string& text) = 0;
  /// Gives the queue up to `waitMs` to drain, then stops the feed's thread.
  virtual void Stop(int waitMs) = 0;
};

/// Same page again: (protocol, capcode, function, text) within a window of seconds.
class Deduper {
 public:
  explicit Deduper(int windowSeconds) : window_(windowSeconds) {}
  /// True when the page should go out; false when it repeats one sent within the window.
  bool Admit(const PageRecord& page, int64_t epochSeconds);
  uint64_t suppressed() const { return suppressed_; }
  int window() const { return window_; }

 private:
  static constexpr size_t kSlots = 4096;
  struct Slot {
    uint64_t key = 0;
    int64_t sentAt = 0;
    bool used = false;
  };
  int window_;
  uint64_t suppressed_ = 0;
  Slot slots_[kSlots];
};

/// The hourly and daily counts as one JSON object.
void StatsToJson(const StatCounters& counters, const SystemTime& local, int utcOffsetMinutes,
                 std::string& out);

/// Seconds since 1970 of a UTC calendar time.
int64_t EpochSeconds(const SystemTime& utc);

class FeedHub {
 public:
  FeedHub(int dedupeSeconds, MessageSink& messages);
  void Add(std::unique_ptr<Feed> feed);
  /// The duplicate window, once the settings are read.
  void SetDedupe(int seconds) { dedupe_ = Deduper(seconds); }
  bool active() const { return !feeds_.empty(); }

  /// A page for the feeds (pieces of fragmented messages are left to the joined record).
  void Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds);
  /// Every monitor tick, before the statistics: stats at the hour turn, and at
  /// most once a minute a line per feed that dropped pages.
  void Tick(int64_t monotonicMs, const SystemTime& local, int utcOffsetMinutes,
            const StatCounters& counters);
  /// Drains and stops every feed; reports what was not delivered.
  void Stop(int waitMs);

  uint64_t suppressed() const { return dedupe_.suppressed(); }
  int dedupeSeconds() const { return dedupe_.window(); }
  const std::vector<std::unique_ptr<Feed>>& feeds() const { return feeds_; }

 private:
  void ReportDrops(bool final);
  std::vector<std::unique_ptr<Feed>> feeds_;
  std::vector<uint64_t> reportedDrops_;
  Deduper dedupe_;
  MessageSink& messages_;
  int lastHour_ = -1;
  int ticksToStats_ = 0;
  int64_t lastReportMs_ = 0;
  bool reportedOnce_ = false;
  std::string stats_;
  std::string message_;
};

}  // namespace skelmar
