// The page record's JSON encoder.
#include "output/page_json.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace skelmar {

namespace {

bool Maps(const Charset* charset) { return charset != nullptr && charset->national(); }

/// `s[0..n)` as a JSON string; with a national `charset`, characters from
/// `mapFrom` on are mapped, and what they map to beyond ASCII is written as UTF-8.
void AppendMapped(std::string& out, const char* s, size_t n, size_t mapFrom,
                  const Charset* charset) {
  out += '"';
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (i >= mapFrom && Maps(charset) && c < 128) {
      const char32_t cp = charset->Map(c);
      if (cp >= 128) {
        char bytes[4];
        out.append(bytes, static_cast<size_t>(EncodeUtf8(cp, bytes)));
        continue;
      }
      c = static_cast<unsigned char>(cp);
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 32 || c >= 127) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

bool IsGscNumeric(const PageRecord& page) {
  return page.protocol == PageProtocol::kGsc && std::strcmp(page.type, "numeric") == 0;
}

/// The received text without its padding: every received character stays
/// (control characters, NUL included, come out as escapes) except the NULs
/// that pad the last codeword and the blanks that pad a numeric one.
size_t TextLength(const PageRecord& page) {
  size_t n = page.textLength > 0 ? static_cast<size_t>(page.textLength) : 0;
  while (n > 0 && page.text[n - 1] == 0) --n;
  if (page.alphaStart < 0 && std::strcmp(page.type, "numeric") == 0) {
    while (n > 0 && page.text[n - 1] == ' ') --n;
  }
  return n;
}

/// What a numeric page holds: digits, blanks, dashes and parentheses that
/// pair up, as a telephone number does. The digit reading of a character
/// page has the urgency sign U and runs of unpaired parentheses (the
/// characters' end marker reads as "((").
bool PlausibleDigits(const char* s, size_t n) {
  bool open = false;
  for (size_t i = 0; i < n; ++i) {
    const char c = s[i];
    if ((c >= '0' && c <= '9') || c == ' ' || c == '-') continue;
    if (c == '(' && !open) {
      open = true;
    } else if (c == ')' && open) {
      open = false;
    } else {
      return false;
    }
  }
  return !open;
}

/// A GSC page typed numeric (a short page carries no type) reads as its
/// characters when its digits are not plausible and its characters are all
/// printable.
bool GscReadsAsText(const PageRecord& page) {
  if (PlausibleDigits(page.text, TextLength(page))) return false;
  const size_t n = std::strlen(page.alphaText);
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<unsigned char>(page.alphaText[i]);
    if (c < 32 || c >= 127) return false;
  }
  return n > 0;
}

const char* ProtocolName(PageProtocol p) {
  switch (p) {
    case PageProtocol::kPocsag:
      return "POCSAG";
    case PageProtocol::kFlex:
      return "FLEX";
    case PageProtocol::kGsc:
      return "GSC";
  }
  return "?";
}

// Where a page sits in the air time, how a fragmented message was put
// together, and which receiver heard it.
void AppendFeedFields(const PageRecord& page, const char* source, const Charset* charset,
                      std::string& out) {
  char buf[96];
  if (page.protocol == PageProtocol::kFlex) {
    out += page.longAddress ? ",\"longAddress\":true" : ",\"longAddress\":false";
    if (page.cycle >= 0 && page.frame >= 0) {
      std::snprintf(buf, sizeof buf, ",\"cycle\":%d,\"frame\":%d", page.cycle, page.frame);
      out += buf;
    } else {
      out += ",\"cycle\":null,\"frame\":null";
    }
    if (page.fragment >= 0 && !page.joined) {
      std::snprintf(buf, sizeof buf, ",\"fragment\":%d,\"continued\":%s", page.fragment,
                    page.continued ? "true" : "false");
      out += buf;
    }
  }
  if (IsGscNumeric(page)) {
    // Both readings, whichever "text" holds.
    out += ",\"numericText\":";
    AppendMapped(out, page.text, TextLength(page), SIZE_MAX, nullptr);
    out += ",\"alphaText\":";
    AppendMapped(out, page.alphaText, std::strlen(page.alphaText), 0, charset);
  }
  if (page.joined) {
    std::snprintf(buf, sizeof buf, ",\"joined\":true,\"fragments\":%d,\"incomplete\":%s",
                  page.fragments, page.incomplete ? "true" : "false");
    out += buf;
  }
  if (page.hasFrequency) {
    std::snprintf(buf, sizeof buf, ",\"frequency\":%lld", static_cast<long long>(page.frequency));
    out += buf;
  }
  if (page.channel[0] != 0) {
    out += ",\"channel\":";
    AppendJsonString(out, page.channel, std::strlen(page.channel));
  }
  if (source != nullptr) {
    out += ",\"source\":";
    AppendJsonString(out, source, std::strlen(source));
  }
}

}  // namespace

void AppendJsonString(std::string& out, const char* s, size_t n) {
  AppendMapped(out, s, n, SIZE_MAX, nullptr);
}

void AppendPageText(std::string& out, const PageRecord& page, const Charset* charset) {
  if (IsGscNumeric(page) && GscReadsAsText(page)) {
    AppendMapped(out, page.alphaText, std::strlen(page.alphaText), 0, charset);
    return;
  }
  // Only the alphanumeric part is mapped.
  AppendMapped(out, page.text, TextLength(page),
               page.alphaStart >= 0 ? static_cast<size_t>(page.alphaStart) : SIZE_MAX, charset);
}

std::string PageToJson(const PageRecord& page, const SystemTime& local, int utcOffsetMinutes,
                       const FilterTable& filters, const char* source, const Charset* charset) {
  std::string out;
  PageToJson(page, local, utcOffsetMinutes, filters, out, source, charset);
  return out;
}

void PageToJson(const PageRecord& page, const SystemTime& t, int offset, const FilterTable& filters,
                std::string& out, const char* source, const Charset* charset) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "{\"schema\":%d,\"time\":\"", kPageRecordSchema);
  out = buf;
  const int absOffset = offset < 0 ? -offset : offset;
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d", unsigned{t.year},
                unsigned{t.month}, unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute},
                unsigned{t.second}, offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  out += buf;
  out += "\",\"protocol\":\"";
  out += ProtocolName(page.protocol);
  std::snprintf(buf, sizeof buf, "\",\"speed\":%d,\"levels\":%d,\"capcode\":", page.speed,
                page.levels);
  out += buf;
  AppendJsonString(out, page.capcode, std::strlen(page.capcode));
  if (page.protocol == PageProtocol::kFlex) {
    out += ",\"phase\":";
    AppendJsonString(out, &page.phase, page.phase != 0 ? 1 : 0);
  } else {
    std::snprintf(buf, sizeof buf, ",\"function\":%d", page.function);
    out += buf;
    if (page.functionBits >= 0) {
      std::snprintf(buf, sizeof buf, ",\"functionBits\":%d", page.functionBits);
      out += buf;
    }
  }
  out += ",\"type\":";
  AppendJsonString(out, page.type, std::strlen(page.type));
  out += ",\"text\":";
  AppendPageText(out, page, charset);
  // With US the record is as it always was; a national set is named.
  if (Maps(charset)) {
    out += ",\"charset\":";
    AppendJsonString(out, charset->name(), std::strlen(charset->name()));
  }
  out += page.bitErrors ? ",\"bitErrors\":true" : ",\"bitErrors\":false";
  if (page.inverted) out += ",\"inverted\":true";
  out += ",\"filter\":";
  if (page.filter >= 0 && page.filter < filters.count) {
    const char* label = filters.entries[page.filter].label;
    AppendJsonString(out, label, std::strlen(label));
  } else {
    out += "null";
  }
  AppendFeedFields(page, source, charset, out);
  out += '}';
}

}  // namespace skelmar
