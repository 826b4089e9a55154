// Feed set-up (see feed_start.h).
#include "session/feed_start.h"

#include <memory>

#include "feeds/mqtt_feed.h"
#include "feeds/pagermon_feed.h"
#include "platform/host_name.h"

namespace skelmar {

bool StartFeeds(const FeedSettings& settings, const FeedSecrets& secrets, const Charset* charset,
                FeedHub& hub, std::string& error) {
  if (!settings.mqtt.empty()) {
    MqttOptions mqtt;
    if (!ParseMqttUrl(settings.mqtt, HostName(), mqtt, error)) return false;
    std::string password;
    if (secrets.mqttPassword != nullptr && secrets.mqttPassword[0] != 0) {
      password = secrets.mqttPassword;
    } else if (!mqtt.passfile.empty() &&
               !ReadSecretFile(mqtt.passfile, "MQTT: the passfile", password, error)) {
      return false;
    }
    auto feed = std::make_unique<MqttFeed>(mqtt, std::move(password), settings.label);
    if (!feed->Start(error)) return false;
    hub.Add(std::move(feed));
  }
  for (size_t i = 0; i < settings.pagermon.size(); ++i) {
    PagerMonOptions pagermon;
    if (!ParsePagerMonUrl(settings.pagermon[i], pagermon, error)) return false;
    std::string key;
    // A key file names this server's key; the environment's is the default.
    if (!pagermon.keyfile.empty()) {
      if (!ReadSecretFile(pagermon.keyfile, "PagerMon: the keyfile", key, error)) return false;
    } else if (secrets.pagermonKey != nullptr) {
      key = secrets.pagermonKey;
    }
    if (key.empty()) {
      error = "--pagermon needs the server's API key in SKELMAR_PAGERMON_KEY or a keyfile=";
      return false;
    }
    const std::string name = i == 0 ? "PagerMon" : "PagerMon " + std::to_string(i + 1);
    auto feed = std::make_unique<PagerMonFeed>(pagermon, key, settings.label, name, charset);
    if (!feed->Start(error)) return false;
    hub.Add(std::move(feed));
  }
  return true;
}

}  // namespace skelmar
