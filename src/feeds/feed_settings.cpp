// Reading the [Feeds] section and the feed URLs.
#include "feeds/feed_settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "settings/profile_file.h"

namespace skelmar {

namespace {

constexpr const char* kSection = "Feeds";

bool ParseInt(const std::string& text, int low, int high, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (*end != 0 || v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

/// Splits "a=b&c=d" and calls take(key, value) for each; stops at its first false.
template <typename Take>
bool ForEachOption(const std::string& query, Take take) {
  size_t at = 0;
  while (at < query.size()) {
    size_t end = query.find('&', at);
    if (end == std::string::npos) end = query.size();
    const std::string item = query.substr(at, end - at);
    const size_t eq = item.find('=');
    if (!item.empty() &&
        !take(item.substr(0, eq), eq == std::string::npos ? std::string() : item.substr(eq + 1)))
      return false;
    at = end + 1;
  }
  return true;
}

}  // namespace

bool ReadSecretFile(const std::string& path, const char* what, std::string& secret,
                    std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = std::string(what) + ": cannot read '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::getline(in, secret);
  if (!secret.empty() && secret.back() == '\r') secret.pop_back();
  return true;
}

void ReadFeedSettings(const std::filesystem::path& file, FeedSettings& s) {
  ProfileFile profile;
  if (!profile.Load(file)) return;
  if (auto v = profile.Find(kSection, "Label")) s.label = std::string(*v);
  if (auto v = profile.Find(kSection, "MQTT")) s.mqtt = std::string(*v);
  if (auto v = profile.Find(kSection, "PagerMon")) {
    s.pagermon.clear();
    const std::string urls(*v);
    size_t at = 0;
    while ((at = urls.find_first_not_of(" \t", at)) != std::string::npos) {
      const size_t end = urls.find_first_of(" \t", at);
      s.pagermon.push_back(urls.substr(at, end == std::string::npos ? end : end - at));
      at = end;
    }
  }
  s.dedupeSeconds = profile.GetInt(kSection, "Dedupe", s.dedupeSeconds);
  if (s.dedupeSeconds < 0) s.dedupeSeconds = 0;
}

bool ParseMqttUrl(const std::string& url, const std::string& hostName, MqttOptions& o,
                  std::string& error) {
  o = MqttOptions{};
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    rest = url.substr(8);
    o.tls = true;
    o.port = 8883;
  } else {
    error = "--mqtt takes mqtt://host[:port] or mqtts://host[:port], not '" + url + "'";
    return false;
  }
  std::string query;
  if (const size_t q = rest.find('?'); q != std::string::npos) {
    query = rest.substr(q + 1);
    rest.resize(q);
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.find('@') != std::string::npos) {
    error =
        "--mqtt: give the user as user= and the password in SKELMAR_MQTT_PASSWORD or a "
        "passfile=, never in the URL";
    return false;
  }
  if (!rest.empty() && rest[0] == '[') {
    // An IPv6 address: [addr] or [addr]:port.
    const size_t close = rest.find(']');
    if (close == std::string::npos || close == 1 ||
        (close + 1 < rest.size() && rest[close + 1] != ':')) {
      error = "--mqtt: an IPv6 address goes in brackets, e.g. mqtt://[::1]:1883, not '" + url + "'";
      return false;
    }
    if (close + 1 < rest.size() && !ParseInt(rest.substr(close + 2), 1, 65535, o.port)) {
      error = "--mqtt: bad port in '" + url + "'";
      return false;
    }
    rest = rest.substr(1, close - 1);
  } else if (rest.find_first_of("[]") != std::string::npos) {
    error = "--mqtt: bad host in '" + url + "'";
    return false;
  } else if (const size_t colon = rest.rfind(':'); colon != std::string::npos) {
    if (!ParseInt(rest.substr(colon + 1), 1, 65535, o.port)) {
      error = "--mqtt: bad port in '" + url + "'";
      return false;
    }
    rest.resize(colon);
  }
  if (rest.empty()) {
    error = "--mqtt: no host in '" + url + "'";
    return false;
  }
  o.host = rest;
  o.base = "skelmar/" + hostName;
  const bool ok = ForEachOption(query, [&](const std::string& key, const std::string& value) {
    if (key == "base") {
      o.base = value;
      while (!o.base.empty() && o.base.back() == '/') o.base.pop_back();
      if (o.base.empty() || o.base.find_first_of("+#") != std::string::npos) {
        error = "--mqtt: base= needs a topic without + or #";
        return false;
      }
    } else if (key == "qos") {
      if (!ParseInt(value, 0, 1, o.qos)) {
        error = "--mqtt: qos= takes 0 or 1";
        return false;
      }
    } else if (key == "retain") {
      int r = 0;
      if (!ParseInt(value, 0, 1, r)) {
        error = "--mqtt: retain= takes 0 or 1";
        return false;
      }
      o.retain = r == 1;
    } else if (key == "ca" || key == "cert" || key == "key") {
      if (!o.tls) {
        error = "--mqtt: " + key + "= is for TLS: use mqtts://";
        return false;
      }
      if (value.empty()) {
        error = "--mqtt: " + key + "= needs a file";
        return false;
      }
      (key == "ca" ? o.ca : key == "cert" ? o.cert : o.key) = value;
    } else if (key == "clientid") {
      if (value.empty() || value.size() > 256 || value.find_first_of("+#/") != std::string::npos) {
        error = "--mqtt: clientid= needs a name (without + # /, at most 256 characters)";
        return false;
      }
      o.clientId = value;
    } else if (key == "ha") {
      int h = 0;
      if (!ParseInt(value, 0, 1, h)) {
        error = "--mqtt: ha= takes 0 or 1";
        return false;
      }
      o.homeAssistant = h == 1;
    } else if (key == "user") {
      o.user = value;
    } else if (key == "passfile") {
      o.passfile = value;
    } else if (key == "password" || key == "pass") {
      error =
          "--mqtt: the password goes in SKELMAR_MQTT_PASSWORD or a passfile=, never on the "
          "command line";
      return false;
    } else {
      error = "--mqtt: unknown option '" + key +
              "' (base, qos, retain, ca, cert, key, clientid, ha, user, passfile)";
      return false;
    }
    return true;
  });
  if (ok && o.cert.empty() != o.key.empty()) {
    error = "--mqtt: cert= and key= go together";
    return false;
  }
  return ok;
}

bool ParsePagerMonUrl(const std::string& url, PagerMonOptions& o, std::string& error) {
  o = PagerMonOptions{};
  if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) {
    error = "--pagermon takes the server's http:// or https:// address, not '" + url + "'";
    return false;
  }
  std::string base = url;
  std::string query;
  if (const size_t q = base.find('?'); q != std::string::npos) {
    query = base.substr(q + 1);
    base.resize(q);
  }
  while (!base.empty() && base.back() == '/') base.pop_back();
  const bool ok = ForEachOption(query, [&](const std::string& key, const std::string& value) {
    if (key == "tones") {
      int t = 0;
      if (!ParseInt(value, 0, 1, t)) {
        error = "--pagermon: tones= takes 0 or 1";
        return false;
      }
      o.tones = t == 1;
      return true;
    }
    if (key == "address") {
      if (value != "capcode" && value != "capcode+function") {
        error = "--pagermon: address= takes capcode or capcode+function";
        return false;
      }
      o.addressWithFunction = value == "capcode+function";
      return true;
    }
    if (key == "keyfile") {
      if (value.empty()) {
        error = "--pagermon: keyfile= needs a file";
        return false;
      }
      o.keyfile = value;
      return true;
    }
    error = "--pagermon: unknown option '" + key + "' (tones, address, keyfile)";
    return false;
  });
  o.endpoint = base + "/api/messages";
  return ok;
}

}  // namespace skelmar
