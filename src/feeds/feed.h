// What every feed (MQTT, PagerMon, ...) offers the monitor, and the hub that
// hands each page to them: duplicate suppression, stats at the hour turn, and
// the console's reports of what a feed dropped or was refused.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/clock.h"
#include "output/page_record.h"
#include "output/statistics.h"

namespace skelmar {

class MessageSink;
class FeedSpool;

/// Counts a feed keeps; read from the monitor's thread.
struct FeedCounters {
  uint64_t sent = 0;
  uint64_t dropped = 0;       ///< lost to a full queue, refused by the far end, or given up
  uint64_t queued = 0;        ///< waiting now; after Stop, what was not delivered
  uint64_t restored = 0;      ///< pages of the last run's spool, put ahead of the new ones
  uint64_t restoredSent = 0;  ///< of those, delivered
};

/// One record a feed could not deliver, as its queue holds it.
struct SpoolRecord {
  std::string feed;  ///< the feed's spool key: which far end it was meant for
  std::string first;
  std::string second;
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

  /// Names the far end (kind, address, topic base), so a spooled record goes
  /// back to the feed it was meant for; empty: the feed keeps no spool.
  virtual std::string spoolKey() const { return {}; }
  /// Before the first page: a record the last run could not deliver, queued
  /// ahead of the new pages.
  virtual void Restore(std::string_view first, std::string_view second) {
    (void)first;
    (void)second;
  }
  /// After Stop: hands over the pages still queued, oldest first, and empties the queue.
  virtual void TakeUndelivered(std::vector<SpoolRecord>& out) { (void)out; }
  /// Why waiting for the far end is pointless now (a refused key or
  /// certificate): the end-of-run grace period then stops early. Empty when
  /// the far end may still take the pages.
  virtual std::string stalled() const { return {}; }
  /// Whether the far end is connected now; a feed without a lasting
  /// connection (one request a page) says true.
  virtual bool connected() const { return true; }
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

/// The hourly and daily counts as one JSON object; where several channels
/// run, each one's counts follow in "channels".
void StatsToJson(const StatCounters& counters, const SystemTime& local, int utcOffsetMinutes,
                 std::string& out, const std::vector<ChannelStats>& channels = {});

/// The name of a statistics row as the stats JSON has it ("FLEX 6400" ...).
const char* StatRowName(int row);

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
  /// most once a minute a line per feed that dropped pages. `channels`:
  /// each channel's counts where several run (`counters` is their total).
  void Tick(int64_t monotonicMs, const SystemTime& local, int utcOffsetMinutes,
            const StatCounters& counters, const std::vector<ChannelStats>& channels = {});
  /// Puts the last run's records back into the feeds they were meant for;
  /// the others stay in `records` (for a feed not in this run). Says how many
  /// were restored.
  void Restore(std::vector<SpoolRecord>& records);

  /// At the start: the spool's records for this run's feeds go first; those
  /// of other feeds are kept for a later run. A damaged spool is said.
  void RestoreSpool(const FeedSpool& spool);
  /// At the end: says how much is still queued, gives the feeds up to
  /// `waitMs` (see Stop), writes what is left to `spool` (with the records
  /// kept for other feeds; null: no spool) and reports the counts. True when
  /// every page was delivered: nothing dropped, nothing left.
  bool Finish(int waitMs, const std::function<bool()>& abandon, const FeedSpool* spool);

  /// Records still queued in all feeds.
  uint64_t queued() const;
  /// Gives the feeds together up to `waitMs` to deliver what they hold (less
  /// when `abandon` says so, e.g. a second Ctrl-C, or when every feed that
  /// still holds records is stalled), then stops them. Undelivered pages are
  /// handed to `undelivered` (for the spool) when it is given.
  void Stop(int waitMs, const std::function<bool()>& abandon = {},
            std::vector<SpoolRecord>* undelivered = nullptr);
  /// After Stop: one line per feed with its counts; true when every page was
  /// delivered (nothing dropped, nothing left). `spoolNote` follows the count
  /// of pages left, e.g. " (spooled to /path for the next run)".
  bool Report(const std::string& spoolNote);

  uint64_t suppressed() const { return dedupe_.suppressed(); }
  int dedupeSeconds() const { return dedupe_.window(); }
  const std::vector<std::unique_ptr<Feed>>& feeds() const { return feeds_; }

 private:
  void ReportDrops();
  void ShowMessages();
  std::vector<std::unique_ptr<Feed>> feeds_;
  std::vector<uint64_t> reportedDrops_;
  std::vector<bool> restoredReported_;
  Deduper dedupe_;
  MessageSink& messages_;
  int lastHour_ = -1;
  int ticksToStats_ = 0;
  int64_t lastReportMs_ = 0;
  bool reportedOnce_ = false;
  std::string stats_;
  std::string message_;
  std::vector<SpoolRecord> kept_;  ///< spooled for feeds not in this run
};

}  // namespace skelmar
