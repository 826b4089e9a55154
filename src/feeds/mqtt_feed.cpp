// MQTT feed over libmosquitto (see mqtt_feed.h).
#include "feeds/mqtt_feed.h"

#include <mosquitto.h>

#include <cctype>
#include <chrono>
#include <cstring>

namespace skelmar {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kResendAfterSeconds = 20;
constexpr char kPageEntry = 'P';
constexpr char kStatsEntry = 'S';

const char* ProtocolTopic(PageProtocol p) {
  switch (p) {
    case PageProtocol::kPocsag:
      return "pocsag";
    case PageProtocol::kFlex:
      return "flex";
    case PageProtocol::kGsc:
      return "gsc";
  }
  return "other";
}

/// libmosquitto is set up once per process; the count keeps init and cleanup paired.
std::mutex& LibraryMutex() {
  static std::mutex m;
  return m;
}
int& LibraryUsers() {
  static int users = 0;
  return users;
}

}  // namespace

MqttFeed::MqttFeed(const MqttOptions& options, std::string password)
    : options_(options), password_(std::move(password)) {
  pageTopic_ = options_.base + "/pages";
  statsTopic_ = options_.base + "/stats";
  statusTopic_ = options_.base + "/status";
  entryTopic_.reserve(options_.base.size() + 64);
  stats_.reserve(1024);
}

MqttFeed::~MqttFeed() {
  Stop(0);
  if (client_ != nullptr) mosquitto_destroy(client_);
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (--LibraryUsers() == 0) mosquitto_lib_cleanup();
}

void MqttFeed::AppendCapcodeTopic(std::string& out, const std::string& base,
                                  const PageRecord& page) {
  out += base;
  out += "/capcode/";
  out += ProtocolTopic(page.protocol);
  out += '/';
  for (const char* p = page.capcode; *p; ++p) {
    // Topic levels must not hold wildcards; an unreadable capcode's '?' become '_'.
    out += std::isdigit(static_cast<unsigned char>(*p)) ? *p : '_';
  }
}

bool MqttFeed::Start(std::string& error) {
  {
    std::lock_guard<std::mutex> lock(LibraryMutex());
    if (LibraryUsers()++ == 0) mosquitto_lib_init();
  }
  client_ = mosquitto_new(nullptr, true, this);
  if (client_ == nullptr) {
    error = "MQTT: cannot create the client";
    return false;
  }
  mosquitto_connect_callback_set(client_, &MqttFeed::OnConnect);
  mosquitto_disconnect_callback_set(client_, &MqttFeed::OnDisconnect);
  mosquitto_publish_callback_set(client_, &MqttFeed::OnPublish);
  mosquitto_reconnect_delay_set(client_, 1, 60, true);
  if (mosquitto_will_set(client_, statusTopic_.c_str(), 7, "offline", 1, true) !=
      MOSQ_ERR_SUCCESS) {
    error = "MQTT: cannot set the last will on '" + statusTopic_ + "'";
    return false;
  }
  if (!options_.user.empty() &&
      mosquitto_username_pw_set(client_, options_.user.c_str(),
                                password_.empty() ? nullptr : password_.c_str()) !=
          MOSQ_ERR_SUCCESS) {
    error = "MQTT: cannot set the user name";
    return false;
  }
  if (options_.tls) {
    const char* ca = options_.ca.empty() ? nullptr : options_.ca.c_str();
    const int rc = mosquitto_tls_set(client_, ca, ca == nullptr ? "/etc/ssl/certs" : nullptr,
                                     nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      error = std::string("MQTT: TLS set-up failed: ") + mosquitto_strerror(rc);
      return false;
    }
  }
  // The first connection (name look-up included) is made on the feed's own
  // thread, so a slow name server never holds up the start of decoding.
  worker_ = std::thread([this] {
    Connect();
    Run();
  });
  return true;
}

void MqttFeed::Connect() {
  const int rc =
      mosquitto_connect_async(client_, options_.host.c_str(), options_.port, kKeepAliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS) {
    // Not fatal: the network thread keeps trying, and the queue holds the pages.
    Say("MQTT: cannot reach " + options_.host + ":" + std::to_string(options_.port) + " (" +
        (rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc)) +
        "); pages wait in the queue while it retries");
  }
  if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) {
    Say("MQTT: cannot start the network thread; nothing will be sent");
    return;
  }
  loopStarted_ = true;
}

void MqttFeed::Say(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.size() < 32) messages_.push_back(std::move(text));
}

bool MqttFeed::TakeMessage(std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) return false;
  text = messages_.front();
  messages_.pop_front();
  return true;
}

void MqttFeed::OnConnect(mosquitto* m, void* obj, int rc) {
  auto* self = static_cast<MqttFeed*>(obj);
  if (rc != 0) {
    bool say = false;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      say = rc != self->lastRefusal_;
      self->lastRefusal_ = rc;
    }
    if (say) {
      self->Say(std::string("MQTT: the broker refused the connection: ") +
                mosquitto_connack_string(rc));
    }
    return;
  }
  std::string stats;
  bool back = false;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->connected_ = true;
    ++self->connection_;
    self->lastRefusal_ = -1;
    back = self->lossReported_;
    self->lossReported_ = false;
    stats = self->stats_;
  }
  mosquitto_publish(m, nullptr, self->statusTopic_.c_str(), 6, "online", 1, true);
  if (!stats.empty()) {
    mosquitto_publish(m, nullptr, self->statsTopic_.c_str(), static_cast<int>(stats.size()),
                      stats.data(), self->options_.qos, true);
  }
  if (back) self->Say("MQTT: connected again; sending the queued pages");
  self->changed_.notify_all();
}

void MqttFeed::OnDisconnect(mosquitto*, void* obj, int rc) {
  auto* self = static_cast<MqttFeed*>(obj);
  bool say = false;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->connected_ = false;
    if (rc != 0 && !self->lossReported_ && !self->stopping_) {
      self->lossReported_ = true;
      say = true;
    }
  }
  self->changed_.notify_all();
  if (say) {
    self->Say("MQTT: connection to " + self->options_.host + ":" +
              std::to_string(self->options_.port) +
              " lost; pages wait in the queue while it reconnects");
  }
}

void MqttFeed::OnPublish(mosquitto*, void* obj, int mid) {
  auto* self = static_cast<MqttFeed*>(obj);
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->acked_[self->ackedNext_++ % kAckedKept] = mid;
  }
  self->changed_.notify_all();
}

bool MqttFeed::Acked(int mid) const {
  for (int a : acked_) {
    if (a == mid) return true;
  }
  return false;
}

void MqttFeed::Publish(const PageRecord& page, std::string_view json, int64_t) {
  entryTopic_.assign(1, kPageEntry);
  if (options_.retain) AppendCapcodeTopic(entryTopic_, options_.base, page);
  queue_.Push(entryTopic_, json);
}

void MqttFeed::SetStats(std::string_view statsJson, bool hourTurn) {
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    first = stats_.empty();
    stats_.assign(statsJson.data(), statsJson.size());
  }
  // The first counts also go out at once: a connection made before them had none to send.
  if (hourTurn || first) queue_.Push(std::string_view(&kStatsEntry, 1), statsJson);
}

bool MqttFeed::Send(const std::string& topic, const std::string& payload, bool retain) {
  int mid = 0;
  uint64_t connection = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connection = connection_;
  }
  const int rc = mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), options_.qos, retain);
  if (options_.qos == 0) return rc == MOSQ_ERR_SUCCESS;
  // At qos 1 libmosquitto keeps the message even when it answers "no
  // connection" (the link went down under it) and sends it after reconnecting.
  if ((rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) || mid == 0) return false;
  // At qos 1 the record stays at the head of the queue until the broker has
  // it. libmosquitto keeps a message it has taken and sends it again after a
  // reconnection, so a lost connection is waited out rather than answered with
  // a second copy; only when a new connection brings no acknowledgement in
  // time is the record published again.
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(
        lock, [&] { return Acked(mid) || connection_ != connection || (stopping_ && !draining_); });
    if (Acked(mid)) return true;
    if (stopping_ && !draining_) return false;
    connection = connection_;
    if (changed_.wait_for(lock, std::chrono::seconds(kResendAfterSeconds), [&] {
          return Acked(mid) || connection_ != connection || (stopping_ && !draining_);
        })) {
      if (Acked(mid)) return true;
      if (stopping_ && !draining_) return false;
      continue;  // yet another connection: wait on it
    }
    return false;  // connected, but never acknowledged: publish it again
  }
}

void MqttFeed::Run() {
  std::string first;
  std::string payload;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(200),
                        [this] { return connected_ || stopping_; });
      if (stopping_ && (!draining_ || !connected_)) return;
      if (!connected_) continue;
    }
    const uint64_t sequence = queue_.Peek(first, payload, std::chrono::milliseconds(200));
    if (sequence == 0) {
      if (stopping_) return;
      continue;
    }
    bool ok;
    if (first[0] == kStatsEntry) {
      ok = Send(statsTopic_, payload, true);
    } else {
      ok = Send(pageTopic_, payload, false);
      if (ok && first.size() > 1) ok = Send(first.substr(1), payload, true);
    }
    if (ok) {
      queue_.Pop(sequence);
      if (first[0] == kPageEntry) ++sent_;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

FeedCounters MqttFeed::counters() const {
  FeedCounters c;
  c.sent = sent_;
  c.dropped = queue_.dropped() + failed_;
  c.queued = queue_.size();
  return c;
}

void MqttFeed::Stop(int waitMs) {
  if (client_ == nullptr || !worker_.joinable()) return;

  // Give the queue time to drain while the broker is there.
  draining_ = true;
  queue_.WaitUntilEmpty(std::chrono::milliseconds(waitMs));
  {
    // Under the lock, so a wait that has just checked its condition cannot miss it.
    std::lock_guard<std::mutex> lock(mutex_);
    draining_ = false;
    stopping_ = true;
  }
  queue_.Wake();
  changed_.notify_all();
  worker_.join();
  const size_t left = queue_.size();
  failed_ += left;  // reported by the hub
  bool connected = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    connected = connected_;
  }
  if (connected) {
    // A clean end is an end too: say so before leaving (the will covers the rest).
    int mid = 0;
    if (mosquitto_publish(client_, &mid, statusTopic_.c_str(), 7, "offline", 1, true) ==
        MOSQ_ERR_SUCCESS) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait_for(lock, std::chrono::seconds(2), [&] { return Acked(mid) || !connected_; });
    }
    mosquitto_disconnect(client_);
  }
  if (loopStarted_) mosquitto_loop_stop(client_, !connected);
}

}  // namespace skelmar
