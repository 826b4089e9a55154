// PagerMon request bodies.
#include "feeds/pagermon_body.h"

#include <cstdio>
#include <cstring>

namespace skelmar {

void AppendJsonText(std::string& out, const char* s, size_t n) {
  out += '"';
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 32 || c >= 127) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += '"';
}

bool PagerMonBody(const PageRecord& page, const char* source, int64_t epochSeconds, bool tones,
                  std::string& out) {
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
  AppendJsonText(out, page.text, page.textLength > 0 ? static_cast<size_t>(page.textLength) : 0);
  out += ",\"source\":";
  AppendJsonText(out, source, std::strlen(source));
  char buf[64];
  std::snprintf(buf, sizeof buf, ",\"datetime\":%lld,\"timestamp\":%lld}",
                static_cast<long long>(epochSeconds), static_cast<long long>(epochSeconds));
  out += buf;
  return true;
}

}  // namespace skelmar
