// The PagerMon feed (libcurl): each page POSTed as JSON to <server>/api/messages
// from the feed's own thread, in order. The server's answer decides what
// happens to a page: 2xx sent; another 4xx (but 401/403/408/429) refused for
// good, said and dropped; 401/403 a wrong key, said, the pages stay queued;
// 5xx, 408 and 429 tried again after 1, 2, 4 ... 16 seconds, ten times or
// three minutes at most, then dropped and counted; no connection or no answer: the
// pages wait in the queue while it retries (at most a minute apart).
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "feeds/record_queue.h"
#include "output/charset.h"

namespace skelmar {

class PagerMonFeed : public Feed {
 public:
  static constexpr int kRetries = 10;
  /// A page the server keeps failing is given up after this long.
  static constexpr int64_t kGiveUpMs = 180000;
  /// What a tone-only page (with tones=1) says: the server refuses an empty message.
  static constexpr const char* kToneText = "(tone only)";

  /// `key` from SKELMAR_PAGERMON_KEY or the keyfile; `source` names this
  /// receiver; `name` this feed in messages ("PagerMon", "PagerMon 2");
  /// `charset` (kept by the caller) maps the text as in the other outputs.
  PagerMonFeed(const PagerMonOptions& options, std::string key, std::string source,
               std::string name = "PagerMon", const Charset* charset = nullptr);
  ~PagerMonFeed() override;

  bool Start(std::string& error);

  const char* name() const override { return name_.c_str(); }
  void Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds) override;
  FeedCounters counters() const override;
  bool TakeMessage(std::string& text) override;
  void Stop(int waitMs) override;
  std::string spoolKey() const override { return "pagermon " + options_.endpoint; }
  void Restore(std::string_view first, std::string_view second) override;
  void TakeUndelivered(std::vector<SpoolRecord>& out) override;
  std::string stalled() const override;

  /// Pause before retry `n` (1-based): 1, 2, 4 ... times `unitMs`, at most 60 times.
  static int64_t RetryPauseMs(int n, int64_t unitMs);
  /// Tests shorten the pauses.
  void SetRetryUnitMs(int64_t unitMs) { retryUnitMs_ = unitMs; }

 private:
  enum class Outcome { kSent, kRefused, kWrongKey, kServerError, kUnreachable };
  void Run();
  /// One POST and what its answer means.
  Outcome Post(const std::string& body);
  void Say(std::string text);
  /// Bytes of an answer fit to show: printable, cut short, the key blanked.
  std::string Clean(std::string text) const;
  /// Waits `ms` unless a hard stop comes first; false on a hard stop.
  bool Pause(int64_t ms);

  PagerMonOptions options_;
  std::string key_;
  std::string source_;
  const Charset* charset_;
  std::string name_;
  RecordQueue queue_;
  std::thread worker_;
  void* curl_ = nullptr;
  void* headers_ = nullptr;
  std::string answer_;
  std::string body_;  ///< reused by Publish on the decoding thread
  int64_t retryUnitMs_ = 1000;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> messages_;
  bool serverErrorShown_ = false;
  bool giveUpShown_ = false;
  int refusalsShown_ = 0;
  bool trouble_ = false;  ///< a wrong key or no connection was said; its end is said too
  std::string stalled_;
  uint64_t restored_ = 0;
  std::vector<SpoolRecord> undelivered_;
  size_t left_ = 0;
  bool stopped_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> draining_{false};
  std::atomic<bool> hardStop_{false};
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> restoredSent_{0};
  std::atomic<uint64_t> failed_{0};
  std::atomic<uint64_t> empty_{0};  ///< pages with no text, never sent
};

}  // namespace skelmar
