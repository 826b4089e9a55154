// What a monitor should show for encoded POCSAG pages, worked out from the pages
// and the protocol's bit packing (not from the decoder), plus feeding helpers.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace skelmar::test {

/// One logical monitor line: characters and their colour slots.
struct Line {
  std::string text;
  std::vector<int> slots;

  void Add(const std::string& s, int slot) {
    text += s;
    slots.insert(slots.end(), s.size(), slot);
  }
};

/// The 7-bit characters and 4-bit digits a receiver assembles from message
/// codewords: bits in order of transmission, each group least significant bit first.
struct Assembled {
  std::string chars;
  std::string digits;
};

inline Assembled Assemble(const std::vector<uint32_t>& chunks) {
  static const char kDigitShapes[] = "0123456789*U -)(";
  Assembled out;
  int c = 0, cbits = 0, d = 0, dbits = 0;
  for (uint32_t chunk : chunks) {
    for (int b = 19; b >= 0; --b) {
      const int bit = static_cast<int>((chunk >> b) & 1u);
      c |= bit << cbits;
      d |= bit << dbits;
      if (++cbits == 7) {
        out.chars.push_back(static_cast<char>(c));
        c = cbits = 0;
      }
      if (++dbits == 4) {
        out.digits.push_back(kDigitShapes[d]);
        d = dbits = 0;
      }
    }
  }
  return out;
}

/// The monitor's choice between text and digits for a short message: printable
/// characters count for text, the digits U ( ) count heavily against numbers.
inline bool LooksAlphanumeric(const Assembled& a) {
  int alpha = 0;
  for (char ch : a.chars) {
    const int v = static_cast<unsigned char>(ch);
    alpha += v >= 32 ? 1 : (v == 10 || v == 23) ? 0 : -1;
  }
  int numeric = 0;
  for (char d : a.digits) numeric += (d == 'U' || d == '(' || d == ')') ? -19 : 1;
  return 4 * numeric < 7 * alpha;
}

inline std::string CapcodeText(uint32_t capcode, int function) {
  char text[32];
  std::snprintf(text, sizeof text, "{%07u} %d ", capcode, function + 1);
  return text;
}

enum class Shown { kAlpha, kNumeric, kTone };

/// How the monitor should classify a page (the type the pages are written as).
inline Shown ShownAs(const siggen::PocsagPage& page, const siggen::PocsagEncodeOptions& options) {
  const std::vector<uint32_t> chunks = siggen::PocsagMessageChunks(page, options);
  if (chunks.empty()) return Shown::kTone;
  if (chunks.size() >= 7) return Shown::kAlpha;
  return LooksAlphanumeric(Assemble(chunks)) ? Shown::kAlpha : Shown::kNumeric;
}

/// The line for a page that ends properly (followed by an address, or by an idle
/// codeword when it carries a message). Capcode digits as shown.
inline Line ExpectedLine(const siggen::PocsagPage& page,
                         const siggen::PocsagEncodeOptions& options = {},
                         const std::string& capcodeShown = "") {
  Line line;
  line.Add(capcodeShown.empty() ? CapcodeText(page.capcode, page.function) : capcodeShown,
           kSlotCapcode);
  const std::vector<uint32_t> chunks = siggen::PocsagMessageChunks(page, options);
  const Assembled a = Assemble(chunks);
  switch (ShownAs(page, options)) {
    case Shown::kTone:
      line.Add("TONE ONLY", kSlotNumeric);
      break;
    case Shown::kNumeric:
      line.Add(a.digits, kSlotNumeric);
      break;
    case Shown::kAlpha:
      line.Add(a.chars, kSlotAlphanumeric);
      break;
  }
  return line;
}

/// Pane rows of a logical line: wrapped at 80 columns.
inline std::vector<Row> RowsOf(const Line& line) {
  std::vector<Row> rows;
  // A line of exactly 80 characters wraps, and the final EndLine adds an empty row.
  for (size_t start = 0;; start += 80) {
    const size_t n = std::min<size_t>(80, line.text.size() - start);
    Row r;
    r.text = line.text.substr(start, n);
    r.slots.assign(line.slots.begin() + static_cast<long>(start),
                   line.slots.begin() + static_cast<long>(start + n));
    // A pane row is a zero-terminated string: a NUL character hides the rest.
    const size_t nul = r.text.find('\0');
    if (nul != std::string::npos) {
      r.text.resize(nul);
      r.slots.resize(nul);
    }
    rows.push_back(r);
    if (start + 80 > line.text.size()) break;
  }
  return rows;
}

inline std::vector<Row> RowsOf(const std::vector<Line>& lines) {
  std::vector<Row> rows;
  for (const Line& l : lines) {
    for (Row& r : RowsOf(l)) rows.push_back(std::move(r));
  }
  return rows;
}

/// The monitor rows without the time-stamp rules.
inline std::vector<Row> PageRows(const RowCollector& c) {
  std::vector<Row> out;
  for (const Row& r : c.rows) {
    if (r.text.rfind("---------------", 0) == 0) continue;
    out.push_back(r);
  }
  return out;
}

/// Drives the decoder directly with 0/1 values.
inline void PutBits(PocsagBitSink& decoder, const std::vector<uint8_t>& bits) {
  for (uint8_t b : bits) decoder.PutBit(b ? '1' : '0');
}

}  // namespace skelmar::test
