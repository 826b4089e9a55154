// Console rendering of pane rows and page records.
#include "shell/console/console_output.h"

#include <cstdint>
#include <cstring>
#include <ctime>

#include "feeds/page_joiner.h"
#include "frontend/edge_ring.h"
#include "output/statistics.h"

namespace skelmar {

namespace {

// Received bytes are not text of any known encoding: control characters and
// bytes with the top bit set become '.', so no escape sequence (ESC, or the
// one-byte CSI 0x9B) ever reaches the terminal.
char Printable(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return (u < 32 || u >= 127) ? '.' : static_cast<char>(u);
}

void AppendColor(std::string& out, ColorRef c) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "\x1b[38;2;%u;%u;%um", RedOf(c), GreenOf(c), BlueOf(c));
  out += buf;
}

bool Maps(const Charset* charset) { return charset != nullptr && charset->national(); }

/// A received code of alphanumeric text as a national set shows it (`cp`),
/// in UTF-8; control codes and bytes that are no 7-bit code become '.'.
void AppendShown(std::string& out, char c, char32_t cp) {
  const auto u = static_cast<unsigned char>(c);
  if (u >= 128 || cp < 32 || cp == 127) {
    out += '.';
    return;
  }
  char bytes[4];
  out.append(bytes, static_cast<size_t>(EncodeUtf8(cp, bytes)));
}

/// `s[0..n)` as a JSON string; with a national `charset`, characters from
/// `mapFrom` on are mapped, and what they map to beyond ASCII is written as UTF-8.
void AppendJsonString(std::string& out, const char* s, size_t n, size_t mapFrom = SIZE_MAX,
                      const Charset* charset = nullptr) {
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
          // Received bytes are 7- or 8-bit codes, not UTF-8: escape them so
          // the line stays valid JSON whatever came over the air.
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
  if (page.protocol == PageProtocol::kGsc && page.alphaText[0] != 0) {
    out += ",\"alphaText\":";
    AppendJsonString(out, page.alphaText, std::strlen(page.alphaText), 0, charset);
  }
  if (page.joined) {
    std::snprintf(buf, sizeof buf, ",\"joined\":true,\"fragments\":%d,\"incomplete\":%s",
                  page.fragments, page.incomplete ? "true" : "false");
    out += buf;
  }
  if (source != nullptr) {
    out += ",\"source\":";
    AppendJsonString(out, source, std::strlen(source));
  }
}

}  // namespace

std::string RenderRow(const char* text, const int32_t* slots, const Settings& settings, bool color,
                      const Charset* charset) {
  std::string out;
  RenderRow(text, slots, settings, color, out, charset);
  return out;
}

void RenderRow(const char* text, const int32_t* slots, const Settings& settings, bool color,
               std::string& out, const Charset* charset) {
  out.clear();
  int current = -1;
  for (size_t i = 0; text[i] != 0; ++i) {
    if (color) {
      const int slot = slots[i];
      // A slot outside 1..12 keeps the colour in force, as painting does.
      if (slot != current && slot >= 1 && slot <= kColorSlots) {
        AppendColor(out, settings.colors[slot]);
        current = slot;
      }
    }
    if (Maps(charset) && Charset::MapsSlot(slots[i])) {
      AppendShown(out, text[i], charset->Shown(text[i], slots[i]));
    } else {
      out += Printable(text[i]);
    }
  }
  if (color && current != -1) out += "\x1b[0m";
}

RowPrinter::RowPrinter(std::FILE* out, const Settings& settings, bool color, const Charset* charset)
    : out_(out), settings_(settings), color_(color), charset_(charset) {
  line_.reserve(kLineReserve);
}

void RowPrinter::RowFinished(const char* text, const int32_t* slots) {
  RenderRow(text, slots, settings_, color_, line_, charset_);
  std::fwrite(line_.data(), 1, line_.size(), out_);
  std::fputc('\n', out_);
  ++rows_;
}

std::string PageToJson(const PageRecord& page, const SystemTime& local, int utcOffsetMinutes,
                       const FilterTable& filters, const char* source, const Charset* charset) {
  std::string out;
  PageToJson(page, local, utcOffsetMinutes, filters, out, source, charset);
  return out;
}

void PageToJson(const PageRecord& page, const SystemTime& t, int offset, const FilterTable& filters,
                std::string& out, const char* source, const Charset* charset) {
  out = "{\"time\":\"";
  char buf[64];
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
  // Every received character, control characters (NUL included) as
  // escapes; only the NULs that pad the last codeword are left off.
  size_t textLength = page.textLength > 0 ? static_cast<size_t>(page.textLength) : 0;
  while (textLength > 0 && page.text[textLength - 1] == 0) --textLength;
  // Only the alphanumeric part is mapped, and the record names the set;
  // with US the record is as it always was.
  AppendJsonString(out, page.text, textLength,
                   page.alphaStart >= 0 ? static_cast<size_t>(page.alphaStart) : SIZE_MAX, charset);
  if (Maps(charset)) {
    out += ",\"charset\":";
    AppendJsonString(out, charset->name(), std::strlen(charset->name()));
  }
  out += page.bitErrors ? ",\"bitErrors\":true" : ",\"bitErrors\":false";
  // Only a transmission found the other way up says so.
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

PagePrinter::PagePrinter(std::FILE* out, Clock& clock, const FilterTable& filters, bool json,
                         const Charset* charset)
    : out_(out), clock_(clock), filters_(filters), json_(json), charset_(charset) {
  if (json_) line_.reserve(kLineReserve);
}

void PagePrinter::PageWritten(const PageRecord& page) {
  if (!page.joined) {
    ++pages_;
    if (page.inverted) ++inverted_[static_cast<int>(page.protocol)];
  }
  const bool feed = feeds_ != nullptr && feeds_->active() && !PageJoiner::IsFragmentPart(page);
  if (!json_ && !feed) return;
  if (!json_ && line_.capacity() < kLineReserve) line_.reserve(kLineReserve);
  // One line for both, so a feed sends exactly what --json prints.
  PageToJson(page, clock_.NowLocal(), clock_.UtcOffsetMinutes(), filters_, line_, source_,
             charset_);
  if (json_) {
    std::fwrite(line_.data(), 1, line_.size(), out_);
    std::fputc('\n', out_);
  }
  if (feed) feeds_->Publish(page, line_, EpochSeconds(clock_.NowUtc()));
}

StreamClock::StreamClock(long long startEpochSeconds) : start_(startEpochSeconds) {}

void StreamClock::Advance(uint64_t ticks) { ticks_ += ticks; }

std::tm StreamClock::Broken(bool local, uint16_t& milliseconds) const {
  const double elapsed = static_cast<double>(ticks_) / kTicksPerSecond;
  const long long whole = static_cast<long long>(elapsed);
  const std::time_t seconds = static_cast<std::time_t>(start_ + whole);
  milliseconds = static_cast<uint16_t>((elapsed - static_cast<double>(whole)) * 1000.0);
  std::tm tm{};
  if (local) {
    localtime_r(&seconds, &tm);
  } else {
    gmtime_r(&seconds, &tm);
  }
  return tm;
}

SystemTime StreamClock::NowUtc() {
  uint16_t ms = 0;
  const std::tm tm = Broken(false, ms);
  return SystemTimeFromTm(tm, ms);
}

SystemTime StreamClock::NowLocal() {
  uint16_t ms = 0;
  const std::tm tm = Broken(true, ms);
  return SystemTimeFromTm(tm, ms);
}

int StreamClock::UtcOffsetMinutes() {
  uint16_t ms = 0;
  return static_cast<int>(Broken(true, ms).tm_gmtoff / 60);
}

void StreamClock::FormatDate(const SystemTime& local, char* out, size_t capacity) {
  SystemClock().FormatDate(local, out, capacity);
}

void StreamClock::FormatTime(const SystemTime& local, char* out, size_t capacity) {
  SystemClock().FormatTime(local, out, capacity);
}

}  // namespace skelmar
