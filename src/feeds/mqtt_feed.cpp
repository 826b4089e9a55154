// MQTT feed over libmosquitto (see mqtt_feed.h).
#include "feeds/mqtt_feed.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace skelmar {

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kResendAfterSeconds = 20;
constexpr int64_t kFirstPauseMs = 1000;
constexpr int64_t kLongestPauseMs = 60000;
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

void AppendJson(std::string& out, const std::string& s) {
  out += '"';
  for (const char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 32) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

/// A discovery id: lower-case letters, digits and '_' only (entity ids allow no more).
std::string IdOf(const std::string& s) {
  std::string id;
  for (const char c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    id += std::isalnum(u) ? static_cast<char>(std::tolower(u)) : '_';
  }
  return id;
}

std::string HostPort(const MqttOptions& o) {
  return (o.host.find(':') != std::string::npos ? "[" + o.host + "]" : o.host) + ":" +
         std::to_string(o.port);
}

/// Whether a TCP connection to host:port opens within `timeoutMs`; the
/// reason when not. libmosquitto's TLS connect in the background does not
/// tell a refused port from a silent one, so a TLS attempt is preceded by this.
bool ProbeTcp(const std::string& host, int port, int timeoutMs, std::string& error) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int gai = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (gai != 0) {
    error = "cannot look up the name " + host + " (" + gai_strerror(gai) + ")";
    return false;
  }
  error = "no address";
  bool ok = false;
  for (addrinfo* a = found; a != nullptr && !ok; a = a->ai_next) {
    const int s = socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) continue;
    int rc = connect(s, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{s, POLLOUT, 0};
      rc = poll(&p, 1, timeoutMs);
      if (rc == 0) {
        error = "no answer from the broker after " + std::to_string(timeoutMs / 1000) + " s";
        rc = -1;
      } else if (rc > 0) {
        int so = 0;
        socklen_t n = sizeof so;
        getsockopt(s, SOL_SOCKET, SO_ERROR, &so, &n);
        rc = so == 0 ? 0 : -1;
        if (so != 0) error = std::strerror(so);
      } else {
        error = std::strerror(errno);
      }
    } else if (rc != 0) {
      error = std::strerror(errno);
    }
    ok = rc == 0;
    close(s);
  }
  freeaddrinfo(found);
  return ok;
}

}  // namespace

MqttFeed::MqttFeed(const MqttOptions& options, std::string password, std::string label)
    : options_(options), password_(std::move(password)), label_(std::move(label)) {
  pageTopic_ = options_.base + "/pages";
  statsTopic_ = options_.base + "/stats";
  statusTopic_ = options_.base + "/status";
  entryTopic_.reserve(options_.base.size() + 64);
  stats_.reserve(1024);
  std::lock_guard<std::mutex> lock(LibraryMutex());
  if (LibraryUsers()++ == 0) mosquitto_lib_init();
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

std::vector<std::pair<std::string, std::string>> MqttFeed::Discovery(const MqttOptions& o,
                                                                     const std::string& label) {
  const std::string node = "skelmar_" + IdOf(o.base);
  std::string device = ",\"availability_topic\":";
  AppendJson(device, o.base + "/status");
  device += ",\"payload_available\":\"online\",\"payload_not_available\":\"offline\"";
  device += ",\"device\":{\"identifiers\":[";
  AppendJson(device, node);
  device += ']';
  device += ",\"name\":";
  AppendJson(device, "Skelmar " + (label.empty() ? o.base : label));
  device += ",\"manufacturer\":\"Skelmar\",\"model\":\"Pager monitor\",\"sw_version\":\"0.1.0\"}";

  std::vector<std::pair<std::string, std::string>> out;
  // The pages: an event entity whose event type is the protocol and whose
  // attributes are the record's fields.
  // The object id makes the entity id: event.skelmar_<label>_pages.
  const std::string entity = "skelmar_" + IdOf(label.empty() ? o.base : label);
  std::string event = "{\"name\":\"Pages\",\"unique_id\":";
  AppendJson(event, node + "_pages");
  event += ",\"object_id\":";
  AppendJson(event, entity + "_pages");
  event += ",\"state_topic\":";
  AppendJson(event, o.base + "/pages");
  event +=
      ",\"event_types\":[\"POCSAG\",\"FLEX\",\"GSC\"],\"value_template\":\"{{ dict(value_json, "
      "event_type=value_json.protocol) | tojson }}\",\"icon\":\"mdi:message-text\"";
  event += device + "}";
  out.emplace_back("homeassistant/event/" + node + "/pages/config", event);

  // A sensor per count of the stats topic.
  for (const char* table : {"hourly", "daily"}) {
    for (int row = 0; row < kStatRows; ++row) {
      for (const char* kind : {"numeric", "alpha"}) {
        const std::string rowName = StatRowName(row);
        const std::string object = IdOf(rowName) + "_" + kind + "_" + table;
        std::string sensor = "{\"name\":";
        AppendJson(sensor, rowName + " " + kind + (table[0] == 'h' ? " this hour" : " today"));
        sensor += ",\"unique_id\":";
        AppendJson(sensor, node + "_" + object);
        sensor += ",\"state_topic\":";
        AppendJson(sensor, o.base + "/stats");
        sensor += ",\"value_template\":";
        AppendJson(sensor,
                   "{{ value_json." + std::string(table) + "['" + rowName + "']." + kind + " }}");
        sensor += ",\"unit_of_measurement\":\"pages\",\"state_class\":\"measurement\"";
        sensor += device + "}";
        out.emplace_back("homeassistant/sensor/" + node + "/" + object + "/config", sensor);
      }
    }
  }
  return out;
}

bool MqttFeed::Start(std::string& error) {
  // Files are checked here, so a wrong path is named rather than answered
  // with the library's "Invalid function arguments provided".
  for (const auto& [file, what] :
       {std::pair{&options_.ca, "CA file"}, std::pair{&options_.cert, "client certificate"},
        std::pair{&options_.key, "client key"}}) {
    if (file->empty()) continue;
    std::ifstream probe(*file);
    if (!probe) {
      error = "MQTT: cannot read the " + std::string(what) + " '" + *file +
              "': " + std::strerror(errno);
      return false;
    }
  }
  client_ =
      mosquitto_new(options_.clientId.empty() ? nullptr : options_.clientId.c_str(), true, this);
  if (client_ == nullptr) {
    error = "MQTT: cannot create the client";
    return false;
  }
  mosquitto_threaded_set(client_, true);
  mosquitto_connect_callback_set(client_, &MqttFeed::OnConnect);
  mosquitto_disconnect_callback_set(client_, &MqttFeed::OnDisconnect);
  mosquitto_publish_callback_set(client_, &MqttFeed::OnPublish);
  mosquitto_log_callback_set(client_, &MqttFeed::OnLog);
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
    const int rc =
        mosquitto_tls_set(client_, ca, ca == nullptr ? "/etc/ssl/certs" : nullptr,
                          options_.cert.empty() ? nullptr : options_.cert.c_str(),
                          options_.key.empty() ? nullptr : options_.key.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      error = std::string("MQTT: TLS set-up failed: ") + mosquitto_strerror(rc) +
              (ca != nullptr ? " (CA file '" + options_.ca + "')" : "");
      return false;
    }
  }
  if (options_.homeAssistant) discovery_ = Discovery(options_, label_);
  // Connecting (name look-up included) happens on the network thread, so a
  // slow name server never holds up the start of decoding.
  network_ = std::thread([this] { Network(); });
  worker_ = std::thread([this] { Run(); });
  return true;
}

void MqttFeed::OnLog(mosquitto*, void* obj, int level, const char* text) {
  if ((level & MOSQ_LOG_ERR) == 0 || text == nullptr) return;
  auto* self = static_cast<MqttFeed*>(obj);
  // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
  const std::string line = text;
  if (line.find("SSL") == std::string::npos && line.find("TLS") == std::string::npos) return;
  const size_t colon = line.rfind(':');
  std::lock_guard<std::mutex> lock(self->mutex_);
  if (self->tlsDetail_.empty())
    self->tlsDetail_ = colon == std::string::npos ? line : line.substr(colon + 1);
}

std::string MqttFeed::Describe(int rc) {
  if (rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_PROTOCOL) {
    std::string detail;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      detail = tlsDetail_;
    }
    if (rc == MOSQ_ERR_PROTOCOL && detail.empty()) return mosquitto_strerror(rc);
    std::string text = "TLS handshake failed: " + (detail.empty() ? "no detail" : detail);
    if (detail.find("certificate") != std::string::npos) {
      text += options_.ca.empty()
                  ? " (the broker's certificate is not trusted by the system's CAs)"
                  : " (the broker's certificate is not signed by the CA in '" + options_.ca + "')";
      std::lock_guard<std::mutex> lock(mutex_);
      stalled_ = text;
    }
    return text;
  }
  if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
  if (rc == MOSQ_ERR_EAI) return "cannot look up the name " + options_.host;
  std::string text = mosquitto_strerror(rc);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

bool MqttFeed::NetworkPause(int64_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return networkStop_; });
  return !networkStop_;
}

void MqttFeed::Network() {
  int64_t pause = kFirstPauseMs;
  bool first = true;
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (networkStop_) return;
      tlsDetail_.clear();
    }
    std::string probe;
    if (options_.tls && !ProbeTcp(options_.host, options_.port, kAnswerSeconds * 1000, probe)) {
      Problem("MQTT: cannot connect to " + HostPort(options_) + ": " + probe +
              "; pages wait in the queue while it retries");
      if (!NetworkPause(pause)) return;
      pause = std::min(pause * 2, kLongestPauseMs);
      continue;
    }
    int rc = first ? mosquitto_connect_async(client_, options_.host.c_str(), options_.port,
                                             kKeepAliveSeconds)
                   : mosquitto_reconnect_async(client_);
    // Once the host and port are stored, reconnecting keeps libmosquitto's
    // queue of unacknowledged messages for the next connection.
    if (rc != MOSQ_ERR_INVAL) first = false;
    bool answered = false;
    bool silent = false;
    if (rc == MOSQ_ERR_SUCCESS) {
      const auto began = std::chrono::steady_clock::now();
      for (;;) {
        rc = mosquitto_loop(client_, 100, 1);
        const int savedErrno = errno;
        std::lock_guard<std::mutex> lock(mutex_);
        if (networkStop_) return;
        if (connected_) {
          answered = true;
          pause = kFirstPauseMs;
        }
        errno = savedErrno;
        if (rc != MOSQ_ERR_SUCCESS) break;
        if (!answered &&
            std::chrono::steady_clock::now() - began >= std::chrono::seconds(kAnswerSeconds)) {
          silent = true;
          break;
        }
      }
    }
    if (silent) {
      Problem("MQTT: no answer from the broker at " + HostPort(options_) + " after " +
              std::to_string(kAnswerSeconds) + " s; pages wait in the queue while it retries");
    } else if (!answered && rc != MOSQ_ERR_CONN_REFUSED) {
      // A refusal was said by OnConnect; anything else went wrong on the way.
      Problem("MQTT: cannot connect to " + HostPort(options_) + ": " + Describe(rc) +
              "; pages wait in the queue while it retries");
    }
    if (!NetworkPause(pause)) return;
    pause = std::min(pause * 2, kLongestPauseMs);
  }
}

void MqttFeed::Say(std::string text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.size() < 32) messages_.push_back(std::move(text));
}

void MqttFeed::Problem(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (text == lastProblem_) return;
  lastProblem_ = text;
  if (messages_.size() < 32) messages_.push_back(text);
}

bool MqttFeed::TakeMessage(std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (messages_.empty()) return false;
  text = messages_.front();
  messages_.pop_front();
  return true;
}

std::string MqttFeed::stalled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stalled_;
}

bool MqttFeed::connected() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connected_;
}

void MqttFeed::OnConnect(mosquitto* m, void* obj, int rc) {
  auto* self = static_cast<MqttFeed*>(obj);
  if (rc != 0) {
    const std::string text =
        std::string("MQTT: the broker refused the connection: ") + mosquitto_connack_string(rc);
    {
      // A wrong name, password or client id stays wrong for this run.
      std::lock_guard<std::mutex> lock(self->mutex_);
      if (rc == 2 || rc == 4 || rc == 5) self->stalled_ = text;
    }
    self->Problem(text);
    return;
  }
  std::string stats;
  bool back = false;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->connected_ = true;
    ++self->connection_;
    back = self->lossReported_ || !self->lastProblem_.empty();
    self->lossReported_ = false;
    self->lastProblem_.clear();
    self->stalled_.clear();
    self->everConnected_ = true;
    stats = self->stats_;
  }
  mosquitto_publish(m, nullptr, self->statusTopic_.c_str(), 6, "online", 1, true);
  for (const auto& [topic, payload] : self->discovery_) {
    mosquitto_publish(m, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                      1, true);
  }
  if (!stats.empty()) {
    mosquitto_publish(m, nullptr, self->statsTopic_.c_str(), static_cast<int>(stats.size()),
                      stats.data(), self->options_.qos, true);
  }
  if (back) {
    self->Say("MQTT: connected to " + HostPort(self->options_) + "; sending the queued pages");
  }
  self->changed_.notify_all();
}

void MqttFeed::OnDisconnect(mosquitto*, void* obj, int rc) {
  auto* self = static_cast<MqttFeed*>(obj);
  bool say = false;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    say = rc != 0 && self->connected_ && !self->lossReported_ && !self->stopping_;
    self->connected_ = false;
    if (say) self->lossReported_ = true;
  }
  self->changed_.notify_all();
  if (say) {
    self->Say("MQTT: connection to " + HostPort(self->options_) +
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

std::string MqttFeed::spoolKey() const {
  return "mqtt " + HostPort(options_) + " " + options_.base;
}

void MqttFeed::Restore(std::string_view first, std::string_view second) {
  if (first.empty() || first[0] != kPageEntry) return;
  const uint64_t sequence = queue_.Push(first, second);
  std::lock_guard<std::mutex> lock(mutex_);
  if (sequence != 0) restored_ = sequence;
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
      if (first[0] == kPageEntry) {
        ++sent_;
        std::lock_guard<std::mutex> lock(mutex_);
        if (sequence <= restored_) ++restoredSent_;
      }
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

FeedCounters MqttFeed::counters() const {
  FeedCounters c;
  c.sent = sent_;
  c.dropped = queue_.dropped();
  std::lock_guard<std::mutex> lock(mutex_);
  c.queued = stopped_ ? left_ : queue_.size();
  c.restored = restored_;
  c.restoredSent = restoredSent_;
  return c;
}

void MqttFeed::TakeUndelivered(std::vector<SpoolRecord>& out) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (SpoolRecord& r : undelivered_) out.push_back(std::move(r));
  undelivered_.clear();
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
  // What is left goes to the spool (the stats do not: the next run has its own).
  const std::string key = spoolKey();
  std::vector<SpoolRecord> left;
  queue_.TakeAll([&](std::string_view first, std::string_view second) {
    if (!first.empty() && first[0] == kPageEntry)
      left.push_back(SpoolRecord{key, std::string(first), std::string(second)});
  });
  bool connected = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    left_ = left.size();
    undelivered_ = std::move(left);
    stopped_ = true;
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
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(2), [&] { return !connected_; });
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    networkStop_ = true;
  }
  changed_.notify_all();
  if (network_.joinable()) network_.join();
}

}  // namespace skelmar
