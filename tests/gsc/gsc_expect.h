// What a GSC page line should read, worked out from the block bits and the
// display rules, for the decoder tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/rig.h"

namespace skelmar::test::gsc {

// The 4-bit reading of a block: 12 digits.
inline std::string DigitReading(uint64_t info) {
  static const char kDigits[] = "0123456789 U -)(";
  std::string out;
  for (int m = 0; m < 12; ++m) out += kDigits[(info >> (4 * m)) & 0xF];
  return out;
}

// The 6-bit reading of a block: up to 8 characters, cut at value 63.
inline std::string CharReading(uint64_t info) {
  std::string out;
  for (int m = 0; m < 8; ++m) {
    const int v = static_cast<int>((info >> (6 * m)) & 0x3F);
    if (v == 63) break;
    char c = ' ';
    if (v < 32) c = static_cast<char>(0x20 + v);
    if (v >= 33 && v <= 58) c = static_cast<char>('A' + v - 33);
    if (v == 59) c = '[';
    if (v == 61) c = ']';
    out += c;
  }
  return out;
}

struct ExpectedPage {
  int capcode = 0;
  int function = 1;
  std::string numeric;
  std::string alpha;

  bool IsAlpha() const { return alpha.size() >= 25; }
  std::string Address() const {
    char text[32];
    std::snprintf(text, sizeof text, "(%06d) %d", capcode, function);
    return text;
  }
  std::string Message() const { return IsAlpha() ? alpha : numeric + " " + alpha; }
  std::string Line() const { return Address() + " " + Message(); }
  // Colour slot of every character of the line.
  std::vector<int> Slots() const {
    std::vector<int> slots(Address().size() + 1, 2);
    if (IsAlpha()) {
      slots.insert(slots.end(), alpha.size(), 7);
    } else {
      slots.insert(slots.end(), numeric.size() + 1, 6);
      slots.insert(slots.end(), alpha.size(), 7);
    }
    return slots;
  }
};

// A page made of the given blocks: two blocks of digits at most, characters
// while the text holds 72 or fewer, eleven blocks at most.
inline ExpectedPage PageOf(int capcode, int function, const std::vector<uint64_t>& blocks) {
  ExpectedPage page{capcode, function, "", ""};
  for (size_t i = 0; i < blocks.size() && i < 11; ++i) {
    if (page.numeric.size() <= 12) page.numeric += DigitReading(blocks[i]);
    if (page.alpha.size() <= 72) page.alpha += CharReading(blocks[i]);
  }
  return page;
}

// The pane rows one logical line fills: 80 columns each, and the row the
// decoder's own EndLine finishes (empty when the text filled the last row).
inline std::vector<std::string> RowsOf(const std::string& line) {
  std::vector<std::string> rows;
  size_t i = 0;
  for (; i + 80 <= line.size(); i += 80) rows.push_back(line.substr(i, 80));
  rows.push_back(line.substr(i));
  return rows;
}

inline std::vector<std::string> RowsOf(const std::vector<ExpectedPage>& pages) {
  std::vector<std::string> rows;
  for (const ExpectedPage& p : pages) {
    for (std::string& r : RowsOf(p.Line())) rows.push_back(std::move(r));
  }
  return rows;
}

// Finished rows of the monitor pane with their slots, rule lines left out.
inline std::vector<Row> PageRows(const RowCollector& rows) {
  std::vector<Row> out;
  for (const Row& r : rows.rows) {
    if (r.text.rfind("---------------", 0) == 0) continue;
    out.push_back(r);
  }
  return out;
}

}  // namespace skelmar::test::gsc
