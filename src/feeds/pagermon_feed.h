// The PagerMon feed (libcurl): each page POSTed as JSON to <server>/api/messages
// from the feed's own thread, in order; a failed POST is retried after 1, 2,
// 4 ... seconds, ten times, then dropped and counted.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "feeds/record_queue.h"
#include "output/charset.h"

namespace skelmar {

class PagerMonFeed : public Feed {
 public:
  static constexpr int kRetries = 10;

  /// `key` from SKELMAR_PAGERMON_KEY; `source` names this receiver; `charset`
  /// (kept by the caller) maps the text as in the other outputs.
  PagerMonFeed(const PagerMonOptions& options, std::string key, std::string source,
               const Charset* charset = nullptr);
  ~PagerMonFeed() override;

  bool Start(std::string& error);

  const char* name() const override { return "PagerMon"; }
  void Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds) override;
  FeedCounters counters() const override;
  bool TakeMessage(std::string& text) override;
  void Stop(int waitMs) override;

  /// Pause before retry `n` (1-based): 1, 2, 4 ... seconds; `unitMs` is the
  /// first pause.
  static int64_t RetryPauseMs(int n, int64_t unitMs);
  /// Tests shorten the pauses.
  void SetRetryUnitMs(int64_t unitMs) { retryUnitMs_ = unitMs; }

 private:
  void Run();
  /// One POST; true on a 2xx answer.
  bool Post(const std::string& body);
  void Say(std::string text);
  /// Bytes of an answer fit to show: printable, cut short, the key blanked.
  std::string Clean(std::string text) const;
  /// Waits `ms` unless a hard stop comes first; false on a hard stop.
  bool Pause(int64_t ms);

  PagerMonOptions options_;
  std::string key_;
  std::string source_;
  const Charset* charset_;
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
  bool errorShown_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> draining_{false};
  std::atomic<bool> hardStop_{false};
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> failed_{0};
};

}  // namespace skelmar
