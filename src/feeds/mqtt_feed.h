// The MQTT feed (libmosquitto): pages, per-capcode latest records, stats and
// an online/offline status under one topic base, sent from the feed's own
// thread out of a bounded queue, in order, across reconnections.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "feeds/record_queue.h"

struct mosquitto;

namespace skelmar {

class MqttFeed : public Feed {
 public:
  /// Seconds a connected broker gets to answer the connect request.
  static constexpr int kAnswerSeconds = 10;

  /// `password` from SKELMAR_MQTT_PASSWORD or the passfile (empty: none);
  /// `label` names the receiver in Home Assistant's discovery.
  MqttFeed(const MqttOptions& options, std::string password, std::string label = {});
  ~MqttFeed() override;

  /// Starts connecting (in the background: from the first attempt on, a
  /// broker that is away or a name that does not resolve yet is tried again
  /// after 1, 2, 4 ... seconds, at most a minute apart, for as long as the
  /// program runs). False with `error` when the client cannot be set up at
  /// all (e.g. a CA file that cannot be read).
  bool Start(std::string& error);

  const char* name() const override { return "MQTT"; }
  void Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds) override;
  void SetStats(std::string_view statsJson, bool hourTurn) override;
  FeedCounters counters() const override;
  bool TakeMessage(std::string& text) override;
  void Stop(int waitMs) override;
  std::string spoolKey() const override;
  void Restore(std::string_view first, std::string_view second) override;
  void TakeUndelivered(std::vector<SpoolRecord>& out) override;
  std::string stalled() const override;
  bool connected() const override;

  /// Appends the topic of the per-capcode record, e.g. "<base>/capcode/pocsag/0123456".
  static void AppendCapcodeTopic(std::string& out, const std::string& base, const PageRecord& page);
  /// Home Assistant discovery: (topic, retained payload) pairs announcing the
  /// receiver as a device with a page event entity and a sensor per count.
  static std::vector<std::pair<std::string, std::string>> Discovery(const MqttOptions& options,
                                                                    const std::string& label);

 private:
  static void OnConnect(mosquitto* m, void* self, int rc);
  static void OnDisconnect(mosquitto* m, void* self, int rc);
  static void OnPublish(mosquitto* m, void* self, int mid);
  static void OnLog(mosquitto* m, void* self, int level, const char* text);
  /// The network thread: connects, runs the client and reconnects with backoff.
  void Network();
  void Run();
  /// Publishes and, at qos 1, waits for the broker's acknowledgement.
  bool Send(const std::string& topic, const std::string& payload, bool retain);
  void Say(std::string text);
  /// Says `text` unless it was the last problem said (a broker that stays
  /// away is reported once, not at every retry).
  void Problem(const std::string& text);
  /// What went wrong with result `rc`, with libmosquitto's own TLS detail.
  std::string Describe(int rc);
  /// Under mutex_: whether `mid` was acknowledged.
  bool Acked(int mid) const;
  /// Waits `ms` on the network thread unless the feed is shutting down.
  bool NetworkPause(int64_t ms);

  MqttOptions options_;
  std::string password_;
  std::string label_;
  mosquitto* client_ = nullptr;
  RecordQueue queue_;
  std::thread worker_;
  std::thread network_;

  mutable std::mutex mutex_;  ///< guards what follows
  std::condition_variable changed_;
  bool connected_ = false;
  uint64_t connection_ = 0;  ///< counts connections, so a lost one is noticed
  /// Message ids the broker acknowledged lately: the status and stats sent at
  /// each connection are acknowledged in between, so one slot would not do.
  static constexpr size_t kAckedKept = 64;
  int acked_[kAckedKept] = {};
  size_t ackedNext_ = 0;
  std::string stats_;  ///< latest counts, for each new connection
  std::deque<std::string> messages_;
  std::string lastProblem_;
  std::string tlsDetail_;  ///< libmosquitto's last TLS error line
  std::string stalled_;
  bool lossReported_ = false;
  bool everConnected_ = false;
  bool networkStop_ = false;
  uint64_t restored_ = 0;  ///< records 1..restored_ of the queue came from the spool
  std::vector<SpoolRecord> undelivered_;
  size_t left_ = 0;
  bool stopped_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> draining_{false};
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> restoredSent_{0};
  std::string pageTopic_;
  std::string statsTopic_;
  std::string statusTopic_;
  std::string entryTopic_;  ///< reused by Publish on the decoding thread
  std::vector<std::pair<std::string, std::string>> discovery_;
};

}  // namespace skelmar
