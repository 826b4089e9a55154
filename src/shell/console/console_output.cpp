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

}  // namespace skelmar
