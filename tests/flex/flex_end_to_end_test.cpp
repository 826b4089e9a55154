// FLEX end to end: encoded frames as slicer edges in, monitor rows out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "flex_test_support.h"

namespace skelmar::test {
namespace {

using siggen::FlexFrame;
using siggen::FlexPage;
using siggen::FlexPhaseBuilder;

/// The line a page should give, worked out from what was sent; empty when the
/// page shows nothing.
std::string ExpectedLine(const FlexPage& page, char letter) {
  static const char* const kTypeTexts[8] = {"SECURE ", "-INST- ", "SH/TONE", "ST NUM ",
                                            "SF NUM ", " ALPHA ", "BINARY ", "NU NUM "};
  if (page.type == siggen::kFlexInstruction) return "";
  const bool isLong = siggen::FlexAddressFor(page.capcode, page.longAddress).isLong;
  char address[24];
  std::snprintf(address, sizeof address, isLong ? "[%09u]" : "[%07u]", page.capcode);
  std::string line = std::string(address) + " " + letter + " " + kTypeTexts[page.type] + " ";
  switch (page.type) {
    case siggen::kFlexShortMessage:
      if (page.toneSubtype == 0) {
        std::string digits = page.content;
        digits.resize(isLong ? 8 : 3, ' ');
        line += digits;
      }
      break;
    case siggen::kFlexStandardNumeric:
    case siggen::kFlexSfNumeric:
    case siggen::kFlexNumberedNumeric: {
      std::string digits = page.content;
      digits.resize(static_cast<size_t>(FlexPhaseBuilder::NumericDigitCapacity(
                        page.type, FlexPhaseBuilder::NumericWords(page))),
                    ' ');
      line += digits;
      break;
    }
    case siggen::kFlexBinary: {
      const size_t words = (4 * page.content.size() + 20) / 21;
      std::string digits = page.content;
      digits.resize(21 * words / 4, '0');
      line += digits;
      break;
    }
    default:
      line += page.content;
      break;
  }
  return line;
}

/// Expected rows of the pages of phases in order A..D; each line wrapped.
std::vector<std::string> ExpectedRows(const std::vector<std::vector<FlexPage>>& phases,
                                      const std::string& lettersUsed) {
  std::vector<std::string> rows;
  for (size_t p = 0; p < phases.size(); ++p) {
    const char letter = static_cast<char>('A' + p);
    if (lettersUsed.find(letter) == std::string::npos) continue;
    for (const FlexPage& page : phases[p]) {
      const std::string line = ExpectedLine(page, letter);
      if (line.empty()) continue;
      for (const std::string& row : Wrap(line)) rows.push_back(row);
    }
  }
  return rows;
}

FlexFrame Frame(uint16_t code, const std::vector<std::vector<FlexPage>>& phases) {
  FlexFrame f = FlexFrame::Mode(code);
  for (size_t p = 0; p < phases.size(); ++p) {
    if (!phases[p].empty()) f.words[p] = PhaseWords(phases[p]);
  }
  return f;
}

FlexPage Page(uint32_t capcode, int type, const std::string& content, bool forceLong = false) {
  FlexPage p;
  p.capcode = capcode;
  p.type = type;
  p.content = content;
  p.longAddress = forceLong;
  return p;
}

siggen::ModulatorOptions Impaired(bool fourLevel, double ppm, double jitter, uint32_t start) {
  siggen::ModulatorOptions o;
  o.fourLevel = fourLevel;
  o.clockOffsetPpm = ppm;
  o.jitter = jitter;
  o.randomStart = start;
  return o;
}

const std::vector<std::vector<FlexPage>> kEveryType = {{
    Page(1234567, siggen::kFlexAlphanumeric,
         "Meet at the north gate, 14:30. Bring the spare keys."),
    Page(98765432, siggen::kFlexAlphanumeric, "long address text"),
    Page(42, siggen::kFlexSecure, "secret"),
    Page(43, siggen::kFlexInstruction, ""),
    Page(44, siggen::kFlexShortMessage, "911"),
    Page(300000000, siggen::kFlexShortMessage, "12345678"),
    [] {
      FlexPage tone = Page(45, siggen::kFlexShortMessage, "");
      tone.toneSubtype = 2;
      return tone;
    }(),
    Page(46, siggen::kFlexStandardNumeric, "5551234"),
    Page(47, siggen::kFlexSfNumeric, "0123456789*U -)(0123456789"),
    Page(2100000, siggen::kFlexStandardNumeric, "31415926535"),
    Page(48, siggen::kFlexNumberedNumeric, "8675309"),
    Page(49, siggen::kFlexBinary, "DEADBEEF0123"),
    Page(2500000, siggen::kFlexBinary, "CAFE"),
}};

TEST(FlexEndToEnd, TwoLevel1600EveryVectorType) {
  FlexRig r;
  r.Transmit({Frame(siggen::kFlexCode1600x2, kEveryType)}, Impaired(false, 80, 0.05, 3));
  EXPECT_EQ(r.Texts(), ExpectedRows(kEveryType, "A"));
  EXPECT_STREQ(r.rig.caption.text(), " Skelmar - FLEX A 1600 2 Level");
  // Alpha and secure count as alpha; short, tone and numeric as numeric.
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 3);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatNumeric], 7);
  ASSERT_EQ(r.rig.pageLog.pages.size(), 12u);
  const PageRecord& first = r.rig.pageLog.pages[0];
  EXPECT_EQ(first.protocol, PageProtocol::kFlex);
  EXPECT_EQ(first.speed, 1600);
  EXPECT_EQ(first.levels, 2);
  EXPECT_EQ(first.phase, 'A');
  EXPECT_STREQ(first.capcode, "1234567");
  EXPECT_STREQ(first.type, "alpha");
  EXPECT_STREQ(first.text, "Meet at the north gate, 14:30. Bring the spare keys.");
  EXPECT_STREQ(r.rig.pageLog.pages[1].capcode, "098765432");
  const char* types[] = {"alpha",   "alpha",   "secure",  "short",   "short",  "tone",
                         "numeric", "numeric", "numeric", "numeric", "binary", "binary"};
  for (size_t k = 0; k < 12; ++k) EXPECT_STREQ(r.rig.pageLog.pages[k].type, types[k]) << k;
  for (const PageRecord& p : r.rig.pageLog.pages) EXPECT_FALSE(p.bitErrors);
}

TEST(FlexEndToEnd, FourLevel1600PhasesAandB) {
  FlexRig r;
  r.rig.settings.fourLevelInterface = 1;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(100001, siggen::kFlexAlphanumeric, "phase A first"),
       Page(100002, siggen::kFlexStandardNumeric, "0800")},
      {Page(200001, siggen::kFlexAlphanumeric, "phase B"),
       Page(3000000, siggen::kFlexAlphanumeric, "B long")}};
  r.Transmit({Frame(siggen::kFlexCode1600x4, pages)}, Impaired(true, -60, 0.04, 5));
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "AB"));
  EXPECT_STREQ(r.rig.caption.text(), " Skelmar - FLEX AB 1600 4 Level");
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatAlpha], 3);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatNumeric], 1);
  EXPECT_EQ(r.rig.pageLog.pages.back().levels, 4);
}

TEST(FlexEndToEnd, InnerPhaseSurvivesAnIdleOuterPhase) {
  // Phase A goes idle after one short page, so the outer level pair hardly
  // changes and the clock corrects only rarely; with edge ticks and symbol
  // periods on different time bases the sampling point drifted off phase B
  // before the frame ended.
  FlexRig r;
  r.rig.settings.fourLevelInterface = 1;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(887, siggen::kFlexAlphanumeric, "Please call home")},
      {Page(452465, siggen::kFlexAlphanumeric, "Reminder: shift handover at 19:00"),
       Page(600508, siggen::kFlexAlphanumeric, "Meeting moved to 15:30, conference room B"),
       Page(1234, siggen::kFlexAlphanumeric, "A third page near the end of the frame")}};
  r.Transmit({Frame(siggen::kFlexCode1600x4, pages)}, Impaired(true, 0, 0, 9));
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "AB"));
}

TEST(FlexEndToEnd, FourLevel3200AllPhases) {
  FlexRig r;
  r.rig.settings.fourLevelInterface = 1;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(1, siggen::kFlexAlphanumeric, "alpha on A")},
      {Page(2, siggen::kFlexStandardNumeric, "222"), Page(22, siggen::kFlexAlphanumeric, "b")},
      {Page(3, siggen::kFlexAlphanumeric, "charlie on C, with a longer text to run past one row")},
      {Page(2222222, siggen::kFlexBinary, "0123456789ABCDEF")}};
  r.Transmit({Frame(siggen::kFlexCode3200x4, pages)}, Impaired(true, 40, 0.03, 7));
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "ABCD"));
  EXPECT_STREQ(r.rig.caption.text(), " Skelmar - FLEX ABCD 3200 4 Level");
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex6400][kStatAlpha], 3);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex6400][kStatNumeric], 1);
  EXPECT_EQ(r.rig.pageLog.pages.back().speed, 3200);
  EXPECT_DOUBLE_EQ(r.rig.front.dataClock.period, kFlexPeriod1600);
  EXPECT_EQ(r.rig.front.shared.flexBusy, 0);
}

TEST(FlexEndToEnd, UnknownHeaderIsTakenAsTwoLevel3200) {
  FlexRig r;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(5, siggen::kFlexAlphanumeric, "on A")},
      {Page(6, siggen::kFlexAlphanumeric, "B is not sent")},
      {Page(7, siggen::kFlexAlphanumeric, "on C")}};
  r.Transmit({Frame(0x1234, pages)}, Impaired(false, 0, 0.02, 9));
  std::vector<std::string> expected = {"",
                                       "UNKNOWN SYNC HEADER : AAAA12341234A6C6A6C6AAAAAAAAEDCB"};
  for (const std::string& row : ExpectedRows(pages, "AC")) expected.push_back(row);
  EXPECT_EQ(r.Texts(), expected);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 2);
}

TEST(FlexEndToEnd, TwoLevel3200FrameWithAWrongCodeBit) {
  // One wrong bit in the mode code: the frame must still be taken as two
  // levels at 3200 symbols/s, not in the mode of the frame before (1600 here).
  FlexRig r;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(5, siggen::kFlexAlphanumeric, "on A")},
      {},
      {Page(7, siggen::kFlexAlphanumeric, "on C"), Page(8, siggen::kFlexStandardNumeric, "42")}};
  const FlexFrame frame = Frame(siggen::kFlexCode3200x2, pages);
  siggen::FlexFrameLevels levels = siggen::FlexLevels(frame);
  const size_t codeBit = static_cast<size_t>(frame.preambleBits) + 5;
  levels.header[codeBit] ^= 3;
  for (uint8_t l : levels.header) r.flex.PutSymbol(l);
  for (uint8_t l : levels.blocks) r.flex.PutSymbol(l);
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "AC"));  // no unknown-header line either
  EXPECT_STREQ(r.rig.caption.text(), " Skelmar - FLEX AC");
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatAlpha], 2);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatNumeric], 1);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 0);
}

TEST(FlexEndToEnd, AFrameCutByTheEndOfTheSignalStillGivesItsPages) {
  // The input ends three blocks into the frame: the page lies wholly in the
  // first block and must be written; the clock and busy flag are given back.
  FlexRig r;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(4321, siggen::kFlexAlphanumeric, "cut short")}};
  const siggen::FlexFrameLevels levels = siggen::FlexLevels(Frame(siggen::kFlexCode1600x2, pages));
  for (uint8_t l : levels.header) r.flex.PutSymbol(l);
  for (size_t i = 0; i < 3 * static_cast<size_t>(kFlexBlockBits) + 100; ++i) {
    r.flex.PutSymbol(levels.blocks[i]);
  }
  ASSERT_TRUE(r.Texts().empty());
  r.rig.front.EndOfSignal();
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "A"));
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 1);
  EXPECT_EQ(r.rig.front.shared.flexBusy, 0);
  EXPECT_EQ(r.flex.blockCountdown, 0);
  // The next frame is found and decoded as usual.
  r.Direct(Frame(siggen::kFlexCode1600x2, pages));
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 2);
}

TEST(FlexEndToEnd, NoiseLikeADamagedSyncDoesNotHideTheNextFrame) {
  // Noise that looks like a sync whose code took five errors starts a frame
  // in the mode last used; a real frame beginning inside it must still be
  // found. After a 3200/4 frame the noise frame runs at 3200 symbols/s.
  for (const uint16_t last : {siggen::kFlexCode3200x4, siggen::kFlexCode1600x2}) {
    SCOPED_TRACE(last);
    FlexRig r;
    r.rig.settings.fourLevelInterface = 1;
    siggen::ModulatorOptions o;
    o.fourLevel = true;
    o.symbolRate = 1600;
    siggen::EdgeWriter writer(o.randomStart);
    std::vector<uint8_t> symbols;
    for (int i = 0; i < 400; ++i) symbols.push_back(i % 2 ? 3 : 0);
    writer.Symbols(symbols, o);
    const std::vector<std::vector<FlexPage>> first = {{Page(11, siggen::kFlexAlphanumeric, "one")}};
    const std::vector<std::vector<FlexPage>> second = {
        {Page(22, siggen::kFlexAlphanumeric, "two, right behind the noise")}};
    siggen::AppendFlexFrame(writer, Frame(last, first), o);
    symbols.clear();
    for (const auto& [value, bits] : std::vector<std::pair<uint32_t, int>>{
             {0xAAAA, 16}, {0x870C ^ 0x0007, 16}, {0xA6C6AAAA, 32}, {0x78F3 ^ 0x0300, 16}}) {
      for (int b = bits - 1; b >= 0; --b) symbols.push_back(((value >> b) & 1u) ? 0 : 3);
    }
    std::mt19937 noise(5);
    for (int i = 0; i < 300; ++i) symbols.push_back(static_cast<uint8_t>(noise() % 4));
    writer.Symbols(symbols, o);
    siggen::AppendFlexFrame(writer, Frame(siggen::kFlexCode1600x2, second), o);
    writer.Symbols({0, 3, 0, 3, 0, 3, 0, 3}, o);
    r.rig.Feed(writer.Finish());
    std::vector<std::string> expected = ExpectedRows(first, "A");
    for (const std::string& row : ExpectedRows(second, "A")) expected.push_back(row);
    EXPECT_EQ(r.Texts(), expected);
  }
}

TEST(FlexEndToEnd, ReflexFrameGivesOneRawLine) {
  FlexRig r;
  r.rig.settings.fourLevelInterface = 1;
  // Every phase busy, so the slicer output keeps changing for the clock.
  FlexFrame f = FlexFrame::Mode(siggen::kFlexCodeReflex);
  std::string expected;
  for (int k = 0; k < siggen::kFlexWordsPerPhase; ++k) {
    for (int p = 0; p < 4; ++p) {
      uint32_t chars[3];
      for (int c = 0; c < 3; ++c) chars[c] = static_cast<uint32_t>('0' + (k * 4 + p * 3 + c) % 75);
      uint32_t w = chars[0] | chars[1] << 7 | chars[2] << 14;
      if (k == 10 && p == 1) w = 0;  // empty and idle words show nothing
      if (k == 11 && p == 2) w = siggen::kFlexIdleWord;
      f.words[p][k] = w;
      if (w == 0 || w == siggen::kFlexIdleWord) continue;
      for (uint32_t ch : chars) expected += static_cast<char>(ch);
    }
  }
  r.Transmit({f}, Impaired(true, 20, 0.03, 11));
  char hex[16];
  std::snprintf(hex, sizeof hex, "[%06X]", f.words[0][0]);
  EXPECT_EQ(r.Texts(), Wrap(std::string(hex) + expected));
  EXPECT_STREQ(r.rig.caption.text(), " Skelmar - ReFLEX ABCD 3200 4 Level");
  EXPECT_TRUE(r.rig.pageLog.pages.empty());
}

TEST(FlexEndToEnd, BackToBackFramesOfDifferentModes) {
  FlexRig r;
  r.rig.settings.fourLevelInterface = 1;
  const std::vector<std::vector<FlexPage>> fast = {{Page(11, siggen::kFlexAlphanumeric, "fast")},
                                                   {},
                                                   {},
                                                   {Page(14, siggen::kFlexAlphanumeric, "D")}};
  const std::vector<std::vector<FlexPage>> slow = {{Page(21, siggen::kFlexAlphanumeric, "slow")}};
  const std::vector<std::vector<FlexPage>> mid = {{}, {Page(32, siggen::kFlexAlphanumeric, "mid")}};
  FlexFrame a = Frame(siggen::kFlexCode3200x4, fast);
  FlexFrame b = Frame(siggen::kFlexCode1600x2, slow);
  FlexFrame c = Frame(siggen::kFlexCode1600x4, mid);
  b.frame = 1;
  c.frame = 2;
  r.Transmit({a, b, c, a}, Impaired(true, -30, 0.03, 13));
  std::vector<std::string> expected;
  for (const auto* pages : {&fast, &slow, &mid, &fast}) {
    const std::string letters = pages == &slow ? "A" : pages == &mid ? "AB" : "ABCD";
    for (const std::string& row : ExpectedRows(*pages, letters)) expected.push_back(row);
  }
  EXPECT_EQ(r.Texts(), expected);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex6400][kStatAlpha], 4);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 1);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatAlpha], 1);
}

TEST(FlexEndToEnd, UncorrectableWordsShowInTheBitErrorsColour) {
  FlexRig r;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(700, siggen::kFlexAlphanumeric, "ABCDEFGHI"),
       Page(701, siggen::kFlexStandardNumeric, "12345678901234567890"),
       Page(702, siggen::kFlexAlphanumeric, "address lost")}};
  FlexFrame f = Frame(siggen::kFlexCode1600x2, pages);
  // Words: 0 info, 1-3 addresses, 4-6 vectors, 7.. messages: 7 header,
  // 8-11 text of page 700, 12-15 digits of page 701.
  f.errors[0][9] = 0x00070000u;  // three data bits: beyond repair
  f.errors[0][13] = 0x70000000u;
  f.errors[0][3] = 0x0000E000u;
  // Two errors anywhere else are repaired.
  std::mt19937 rng(17);
  for (int k = 16; k < 88; ++k) {
    f.errors[0][k] = (1u << (rng() % 32)) | (1u << (rng() % 32));
  }
  r.Transmit({f}, Impaired(false, 50, 0.03, 15));
  const std::vector<Row>& rows = r.rig.rows.rows;
  std::vector<const Row*> lines;
  for (const Row& row : rows) {
    if (row.text.rfind("---", 0) != 0) lines.push_back(&row);
  }
  ASSERT_EQ(lines.size(), 3u);
  // Page 700: signature, A, B | C, D, E (marked, as received) | F, G, H | I.
  const std::string head = "[0000700] A  ALPHA  ";
  ASSERT_EQ(lines[0]->text.substr(0, head.size() + 2), head + "AB");
  EXPECT_EQ(lines[0]->text.substr(head.size() + 5), "FGHI");
  for (size_t k = head.size(); k < lines[0]->text.size(); ++k) {
    const bool marked = k >= head.size() + 2 && k < head.size() + 5;
    EXPECT_EQ(lines[0]->slots[k], marked ? kSlotBitErrors : kSlotAlphanumeric) << k;
  }
  // Page 701: the second of its words is marked.
  const std::string numericHead = "[0000701] A ST NUM  ";
  ASSERT_EQ(lines[1]->text.substr(0, numericHead.size() + 4), numericHead + "1234");
  bool sawMarked = false;
  for (size_t k = numericHead.size(); k < lines[1]->text.size(); ++k) {
    sawMarked = sawMarked || lines[1]->slots[k] == kSlotBitErrors;
  }
  EXPECT_TRUE(sawMarked);
  EXPECT_EQ(lines[2]->text, "[???????] A  ALPHA  address lost");
  ASSERT_EQ(r.rig.pageLog.pages.size(), 3u);
  EXPECT_TRUE(r.rig.pageLog.pages[0].bitErrors);
  EXPECT_TRUE(r.rig.pageLog.pages[1].bitErrors);
  EXPECT_TRUE(r.rig.pageLog.pages[2].bitErrors);
  EXPECT_STREQ(r.rig.pageLog.pages[2].capcode, "???????");
}

TEST(FlexEndToEnd, InvalidBlockInformationSuppressesOnlyItsPhase) {
  FlexRig r;
  r.rig.settings.fourLevelInterface = 1;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(800, siggen::kFlexAlphanumeric, "A is lost")},
      {Page(801, siggen::kFlexAlphanumeric, "B is kept")}};
  FlexFrame f = Frame(siggen::kFlexCode1600x4, pages);
  f.words[0][0] ^= 0x10;  // the 4-bit sum no longer holds
  r.Transmit({f}, Impaired(true, 0, 0.02, 19));
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "B"));
}

TEST(FlexEndToEnd, CapcodeFiltersPickShortAndLongPages) {
  FlexRig r;
  FilterTable& filters = r.rig.filters;
  filters.entries[0].type = kFilterFlexShort;
  std::strcpy(filters.entries[0].capcode, "00012??");
  std::strcpy(filters.entries[0].label, "Short");
  filters.entries[1].type = kFilterFlexLong;
  std::strcpy(filters.entries[1].capcode, "0030000??");
  std::strcpy(filters.entries[1].label, "Long");
  filters.count = 2;
  const std::vector<std::vector<FlexPage>> pages = {
      {Page(1199, siggen::kFlexAlphanumeric, "no"),
       Page(1234, siggen::kFlexAlphanumeric, "short hit"),
       Page(3000042, siggen::kFlexAlphanumeric, "long hit"),
       Page(1250, siggen::kFlexAlphanumeric, "long form of a short number", true),
       Page(3000142, siggen::kFlexAlphanumeric, "no")}};
  r.Transmit({Frame(siggen::kFlexCode1600x2, pages)}, Impaired(false, 0, 0.02, 21));
  EXPECT_EQ(r.Texts(), ExpectedRows(pages, "A"));
  std::vector<int> matches;
  for (const PageRecord& p : r.rig.pageLog.pages) matches.push_back(p.filter);
  EXPECT_EQ(matches, (std::vector<int>{-1, 0, 1, -1, -1}));
  std::vector<std::string> filtered;
  for (int i = 0; i < r.rig.filterPane.lineCount; ++i) {
    const std::string line = r.rig.filterPane.lines[i];
    if (line.rfind("---", 0) != 0) filtered.push_back(line);
  }
  // The label follows the capcode text, before the blank after it.
  EXPECT_EQ(filtered, (std::vector<std::string>{"[0001234]Short  A  ALPHA  short hit",
                                                "[003000042]Long  A  ALPHA  long hit"}));
}

TEST(FlexEndToEnd, InvertedSlicerDecodesWithOrWithoutTheSetting) {
  // With the data inverted, the sync is found the other way up.
  FlexRig r;
  siggen::ModulatorOptions o = Impaired(false, 0, 0.0, 23);
  o.invert = true;
  r.Transmit({Frame(siggen::kFlexCode1600x2, kEveryType)}, o);
  EXPECT_EQ(r.Texts(), ExpectedRows(kEveryType, "A"));
  // The receiver setting puts it right before the decoder sees it, as always.
  FlexRig fixed;
  fixed.rig.settings.invertData = 1;
  fixed.Transmit({Frame(siggen::kFlexCode1600x2, kEveryType)}, o);
  EXPECT_EQ(fixed.Texts(), ExpectedRows(kEveryType, "A"));
}

}  // namespace
}  // namespace skelmar::test
