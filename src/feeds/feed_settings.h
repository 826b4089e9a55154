// Feed settings: the [Feeds] section of the settings file, the command-line
// overrides, and the feed URLs with their options.
#pragma once

#include <filesystem>
#include <string>

namespace skelmar {

/// The [Feeds] section: Label, MQTT, PagerMon, Dedupe.
struct FeedSettings {
  std::string label;     ///< "source" of every record; empty = the host name
  std::string mqtt;      ///< mqtt[s]://host[:port][?options]; empty = off
  std::string pagermon;  ///< http[s]://server[:port][/path][?tones=1]; empty = off
  int dedupeSeconds = 0;
};

/// Reads the [Feeds] section over `settings` (keys that are absent keep their value).
void ReadFeedSettings(const std::filesystem::path& file, FeedSettings& settings);

struct MqttOptions {
  bool tls = false;
  std::string host;
  int port = 1883;
  std::string base;     ///< topic base, default "skelmar/<host name>"
  int qos = 0;          ///< 0 or 1
  bool retain = false;  ///< the per-capcode topics
  std::string ca;       ///< CA file for TLS
  std::string user;
  std::string passfile;  ///< file with the password (else SKELMAR_MQTT_PASSWORD)
};

/// Parses "mqtt://host[:port]" or "mqtts://..." with options after '?' joined
/// by '&': base=, qos=, retain=, ca=, user=, passfile=. A password is refused.
bool ParseMqttUrl(const std::string& url, const std::string& hostName, MqttOptions& out,
                  std::string& error);

struct PagerMonOptions {
  std::string endpoint;  ///< <URL>/api/messages
  bool tones = false;    ///< send tone-only pages too
};

bool ParsePagerMonUrl(const std::string& url, PagerMonOptions& out, std::string& error);

}  // namespace skelmar
