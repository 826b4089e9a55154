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

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "feeds/record_queue.h"

struct mosquitto;

namespace skelmar {

class MqttFeed : public Feed {
 public:
  /// `password` from SKELMAR_MQTT_PASSWORD or the passfile (empty: none).
  MqttFeed(const MqttOptions& options, std::string password);
  ~MqttFeed() override;

  /// Starts connecting (in the background: a broker that is away is retried
  /// with a growing pause up to a minute). False with `error` when the
  /// client cannot be set up at all.
  bool Start(std::string& error);

  const char* name() const override { return "MQTT"; }
  void Publish(const PageRecord& page, std::string_view json, int64_t epochSeconds) override;
  void SetStats(std::string_view statsJson, bool hourTurn) override;
  FeedCounters counters() const override;
  bool TakeMessage(std::string& text) override;
  void Stop(int waitMs) override;

  /// Appends the topic of the per-capcode record, e.g. "<base>/capcode/pocsag/0123456".
  static void AppendCapcodeTopic(std::string& out, const std::string& base, const PageRecord& page);

 private:
  static void OnConnect(mosquitto* m, void* self, int rc);
  static void OnDisconnect(mosquitto* m, void* self, int rc);
  static void OnPublish(mosquitto* m, void* self, int mid);
  void Connect();
  void Run();
  /// Publishes and, at qos 1, waits for the broker's acknowledgement.
  bool Send(const std::string& topic, const std::string& payload, bool retain);
  void Say(std::string text);
  /// Under mutex_: whether `mid` was acknowledged.
  bool Acked(int mid) const;

  MqttOptions options_;
  std::string password_;
  mosquitto* client_ = nullptr;
  RecordQueue queue_;
  std::thread worker_;
  bool loopStarted_ = false;  ///< written by the worker before it runs; read after join

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
  int lastRefusal_ = -1;
  bool lossReported_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<bool> draining_{false};
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> failed_{0};
  std::string pageTopic_;
  std::string statsTopic_;
  std::string statusTopic_;
  std::string entryTopic_;  ///< reused by Publish on the decoding thread
};

}  // namespace skelmar
