// Setting up the feeds a run asks for: the URLs parsed, the secrets read, the
// clients started and handed to the hub.
#pragma once

#include <string>

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "output/charset.h"

namespace skelmar {

/// The environment's secrets (null when unset), read by the caller.
struct FeedSecrets {
  const char* mqttPassword = nullptr;  ///< SKELMAR_MQTT_PASSWORD
  const char* pagermonKey = nullptr;   ///< SKELMAR_PAGERMON_KEY
};

/// Starts every feed of `settings` and adds it to `hub`. False with the
/// reason in `error` when one cannot be used (a bad URL, no key, a file that
/// cannot be read).
/// `charset` (kept by the caller) maps PagerMon's text as in the other outputs.
bool StartFeeds(const FeedSettings& settings, const FeedSecrets& secrets, const Charset* charset,
                FeedHub& hub, std::string& error);

}  // namespace skelmar
