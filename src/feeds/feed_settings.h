// Feed settings: the [Feeds] section of the settings file, the command-line
// overrides, and the feed URLs with their options.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace skelmar {

/// The [Feeds] section: Label, MQTT, PagerMon (several servers: URLs
/// separated by blanks), Dedupe.
struct FeedSettings {
  std::string label;  ///< "source" of every record; empty = the host name
  std::string mqtt;   ///< mqtt[s]://host[:port][?options]; empty = off
  /// http[s]://server[:port][/path][?options], one per server; none = off
  std::vector<std::string> pagermon;
  int dedupeSeconds = 0;
};

/// Reads the [Feeds] section over `settings` (keys that are absent keep their value).
void ReadFeedSettings(const std::filesystem::path& file, FeedSettings& settings);

struct MqttOptions {
  bool tls = false;
  std::string host;
  int port = 1883;
  std::string base;  ///< topic base, default "skelmar/<host name>"
  /// 1: every page is kept until the broker has it. 0 may lose pages while
  /// the broker goes away.
  int qos = 1;
  bool retain = false;         ///< the per-capcode topics
  std::string ca;              ///< CA file for TLS
  std::string cert;            ///< client certificate for TLS (with key)
  std::string key;             ///< its private key
  std::string clientId;        ///< empty: the library makes one up
  bool homeAssistant = false;  ///< publish Home Assistant discovery
  std::string user;
  std::string passfile;  ///< file with the password (else SKELMAR_MQTT_PASSWORD)
};

/// Parses "mqtt://host[:port]" or "mqtts://..." (an IPv6 address in
/// brackets) with options after '?' joined by '&': base=, qos=, retain=, ca=,
/// cert=, key=, clientid=, ha=, user=, passfile=. A password is refused; the
/// TLS files need mqtts://.
bool ParseMqttUrl(const std::string& url, const std::string& hostName, MqttOptions& out,
                  std::string& error);

struct PagerMonOptions {
  std::string endpoint;  ///< <URL>/api/messages
  bool tones = false;    ///< send tone-only pages too
  /// The POCSAG function digit (0..3, as sent) after the capcode, as alias
  /// tables built from other clients have it.
  bool addressWithFunction = false;
  std::string keyfile;  ///< file with the API key (else SKELMAR_PAGERMON_KEY)
};

bool ParsePagerMonUrl(const std::string& url, PagerMonOptions& out, std::string& error);

/// The first line of `path` (a password or key file), without its line end.
bool ReadSecretFile(const std::string& path, const char* what, std::string& secret,
                    std::string& error);

}  // namespace skelmar
