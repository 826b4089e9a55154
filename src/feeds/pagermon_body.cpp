// PagerMon request bodies.
#include "feeds/pagermon_body.h"

#include <cstdio>
#include <cstring>

#include "output/page_json.h"

namespace skelmar {

bool PagerMonBody(const PageRecord& page, const char* source, int64_t epochSeconds, bool tones,
                  std::string& out, const Charset* charset) {
  if (!tones && std::strcmp(page.type, "tone") == 0) return false;
  const size_t digits = std::strlen(page.capcode);
  if (digits == 0) return false;
  for (size_t i = 0; i < digits; ++i) {
    if (page.capcode[i] < '0' || page.capcode[i] > '9') return false;
  }
  out = "{\"address\":\"";
  for (size_t i = digits; i < 7; ++i) out += '0';
  out += page.capcode;
  out += "\",\"message\":";
  AppendPageText(out, page, charset);
  out += ",\"source\":";
  AppendJsonString(out, source, std::strlen(source));
  char buf[64];
  std::snprintf(buf, sizeof buf, ",\"datetime\":%lld,\"timestamp\":%lld}",
                static_cast<long long>(epochSeconds), static_cast<long long>(epochSeconds));
  out += buf;
  return true;
}

}  // namespace skelmar
