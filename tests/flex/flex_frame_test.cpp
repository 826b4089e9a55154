// FLEX frame decoding from phase words: block information, addresses and
// capcodes, vectors of every type, message bodies, colours, filters, counts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "flex_test_support.h"

namespace skelmar::test {
namespace {

using siggen::FlexWithChecksum;

constexpr int32_t kMark = 0x400000;

/// A vector or block information word with a valid 4-bit sum.
int32_t Checked(uint32_t v) { return static_cast<int32_t>(FlexWithChecksum(v)); }
int32_t Info(int addrStart, int vecStart) {
  return Checked(static_cast<uint32_t>((addrStart - 1) << 8 | vecStart << 10));
}
int32_t Vector(int type, int start, int length) {
  return Checked(static_cast<uint32_t>(type << 4 | start << 7 | length << 14));
}
/// Three 7-bit characters in one word, first in the low bits.
int32_t Chars(char a, char b, char c) {
  return static_cast<int32_t>(uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 7 |
                              uint32_t(uint8_t(c)) << 14);
}

/// One segment of a row: text shown in one colour slot.
struct Seg {
  std::string text;
  int slot;
};
Row Expect(const std::vector<Seg>& segs) {
  Row row;
  for (const Seg& s : segs) {
    row.text += s.text;
    row.slots.insert(row.slots.end(), s.text.size(), s.slot);
  }
  return row;
}

struct FlexFrameTest : ::testing::Test {
  FlexRig r;
  FlexDecoder& d = r.flex;
  FlexPhase& a = r.flex.phases[0];

  void SetUp() override {
    for (int32_t& w : a.words) w = 0x1FFFFF;
  }
  /// Monitor rows without the time-stamp rules.
  std::vector<Row> Lines() const {
    std::vector<Row> out;
    for (const Row& row : r.rig.rows.rows) {
      if (row.text.rfind("---------------", 0) == 0) continue;
      out.push_back(row);
    }
    return out;
  }
  std::vector<std::string> Texts() const { return r.rig.rows.Texts(); }
  /// One short or long address with an alphanumeric vector and no text.
  std::string AddressText(int32_t w1, int32_t w2 = -1) {
    FlexRig fresh;
    FlexPhase& p = fresh.flex.phases[0];
    for (int32_t& w : p.words) w = 0x1FFFFF;
    p.words[1] = w1;
    const bool isLong = w2 >= 0;
    if (isLong) p.words[2] = w2;
    const int vec = isLong ? 3 : 2;
    p.words[0] = Info(1, vec);
    p.words[vec] = Vector(5, 10, 1);
    p.words[vec + 1] = 0;
    fresh.flex.DecodeFrame(p);
    const std::vector<std::string> texts = fresh.Texts();
    return texts.empty() ? "<none>" : texts.front();
  }
};

TEST_F(FlexFrameTest, ShortCapcodesAndTheirLimits) {
  EXPECT_EQ(AddressText(0x8001), "[0000001] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x1E0000), "[1933312] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x1F0001), "[1998849] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x1F7FFE), "[2031614] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x8001 | kMark), "[???????] A  ALPHA  ");
}

TEST_F(FlexFrameTest, LongCapcodesWithWrapAround) {
  EXPECT_EQ(AddressText(0x000001, 0x1FFFFF), "[002068481] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x008000, 0x1FFFFE), "[002134016] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x000001, 0x1F0000), "[?????????] A  ALPHA  ");
  // 0x1E0001..0x1F0000 and 0x1F7FFF and up also begin long addresses.
  EXPECT_EQ(AddressText(0x1E0001, 0x1FFFFF), "[004034561] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x1F7FFF, 0x1FFFFF), "[004132863] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x000000, 0x1FFFFF ^ 30000), "[985108480] A  ALPHA  ");
  // Past nine digits the text grows; past 2^31 - 1 the sum wraps negative.
  EXPECT_EQ(AddressText(0x000000, 0x1FFFFF ^ 40000), "[1312788480] A  ALPHA  ");
  EXPECT_EQ(AddressText(0x000000, 0x1FFFFF ^ 65535), "[?????????] A  ALPHA  ");
}

TEST_F(FlexFrameTest, LongAddressAtTheEndOfTheFieldBorrowsTheFirstVectorWord) {
  // Word 1 begins a long address but the vector field starts at word 2: the
  // vector word is also the second address word. Its bit 16 is clear, so the
  // capcode is negative.
  a.words[0] = Info(1, 2);
  a.words[1] = 1;
  a.words[2] = Vector(5, 10, 3);
  a.words[3] = 0;  // second vector word: header
  a.words[10] = Chars('O', 'K', 3);
  a.words[11] = Chars('!', 3, 3);
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[?????????] A  ALPHA  OK!"}));
}

TEST_F(FlexFrameTest, MarkedLongWordsShowQuestionMarksAndMatchNoFilter) {
  r.rig.filters.entries[0].type = kFilterFlexLong;
  std::strcpy(r.rig.filters.entries[0].capcode, "?????????");
  r.rig.filters.count = 1;
  a.words[0] = Info(1, 5);
  a.words[1] = 1;  // long, first word good
  a.words[2] = 0x1FFFFF | kMark;
  a.words[3] = 1 | kMark;  // long, first word marked
  a.words[4] = 0x1FFFFF;
  a.words[5] = Vector(5, 9, 1);
  a.words[6] = 0;
  a.words[7] = Vector(5, 9, 1);
  a.words[8] = 0;
  d.DecodeFrame(a);
  ASSERT_EQ(r.rig.pageLog.pages.size(), 2u);
  for (const PageRecord& p : r.rig.pageLog.pages) {
    EXPECT_STREQ(p.capcode, "?????????");
    EXPECT_EQ(p.filter, -1);
    EXPECT_TRUE(p.bitErrors);
  }
  EXPECT_EQ(r.rig.filters.matchedFilter, -1);
  EXPECT_EQ(Texts(),
            (std::vector<std::string>{"[?????????] A  ALPHA  ", "[?????????] A  ALPHA  "}));
}

TEST_F(FlexFrameTest, ShortFilterMatchesOnlyShortAddressesInItsRange) {
  r.rig.filters.entries[0].type = kFilterFlexLong;
  std::strcpy(r.rig.filters.entries[0].capcode, "000001250");
  r.rig.filters.entries[1].type = kFilterFlexShort;
  std::strcpy(r.rig.filters.entries[1].capcode, "00012??");
  r.rig.filters.entries[2].type = kFilterFlexLong;
  std::strcpy(r.rig.filters.entries[2].capcode, "002068481");
  r.rig.filters.count = 3;
  // Short 1199, 1200, 1250, 1299, 1300, then long 2068481.
  const int32_t shorts[] = {1199, 1200, 1250, 1299, 1300};
  a.words[0] = Info(1, 8);
  for (int k = 0; k < 5; ++k) a.words[1 + k] = shorts[k] + 32768;
  a.words[6] = 1;
  a.words[7] = 0x1FFFFF;
  for (int k = 0; k < 7; ++k) a.words[8 + k] = Vector(5, 20, 1);
  a.words[20] = 0;
  d.DecodeFrame(a);
  std::vector<int> filters;
  for (const PageRecord& p : r.rig.pageLog.pages) filters.push_back(p.filter);
  EXPECT_EQ(filters, (std::vector<int>{-1, 1, 1, 1, -1, 2}));
  // The matched lines reach the filter pane.
  std::vector<std::string> filtered;
  for (int i = 0; i < r.rig.filterPane.lineCount; ++i)
    filtered.emplace_back(r.rig.filterPane.lines[i]);
  int copies = 0;
  for (const std::string& line : filtered) copies += line.rfind("[", 0) == 0 ? 1 : 0;
  EXPECT_EQ(copies, 4);
}

TEST_F(FlexFrameTest, AlphanumericLineLayoutAndColours) {
  a.words[0] = Info(1, 2);
  a.words[1] = 123456 + 32768;
  a.words[2] = Vector(5, 3, 3);
  a.words[3] = 0;  // header, fragment 0
  a.words[4] = Chars('H', 'E', 'L');
  a.words[5] = Chars('L', 'O', 3);
  d.DecodeFrame(a);
  const std::vector<Row> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  const Row want = Expect({{"[0123456] ", 2}, {"A ", 3}, {" ALPHA  ", 4}, {"HELLO", 7}});
  EXPECT_EQ(lines[0].text, want.text);
  EXPECT_EQ(lines[0].slots, want.slots);
  ASSERT_EQ(r.rig.pageLog.pages.size(), 1u);
  const PageRecord& p = r.rig.pageLog.pages[0];
  EXPECT_EQ(p.protocol, PageProtocol::kFlex);
  EXPECT_STREQ(p.capcode, "0123456");
  EXPECT_EQ(p.phase, 'A');
  EXPECT_STREQ(p.type, "alpha");
  EXPECT_STREQ(p.text, "HELLO");
  EXPECT_FALSE(p.bitErrors);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 1);
  EXPECT_EQ(r.rig.stats.daily[kRowFlex1600][kStatAlpha], 1);
}

TEST_F(FlexFrameTest, AlphanumericDropsFillAndTheFirstFragmentSignature) {
  a.words[0] = Info(1, 2);
  a.words[1] = 77 + 32768;
  a.words[2] = Vector(0, 3, 4);  // secure: decoded the same way
  a.words[3] = 3 << 11;          // fragment 3
  a.words[4] = Chars('#', 'O', 3);
  a.words[5] = Chars('K', 3, '!') | kMark;
  a.words[6] = Chars('#', 'x', 'y');  // signature only in the first text word
  d.DecodeFrame(a);
  const std::vector<Row> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  const Row want =
      Expect({{"[0000077] ", 2}, {"A ", 3}, {"SECURE  ", 4}, {"O", 7}, {"K!", 10}, {"#xy", 7}});
  EXPECT_EQ(lines[0].text, want.text);
  EXPECT_EQ(lines[0].slots, want.slots);
  EXPECT_STREQ(r.rig.pageLog.pages[0].type, "secure");
  EXPECT_TRUE(r.rig.pageLog.pages[0].bitErrors);
}

TEST_F(FlexFrameTest, LongAddressTakesItsHeaderFromTheSecondVectorWord) {
  a.words[0] = Info(1, 3);
  a.words[1] = 1;
  a.words[2] = 0x1FFFFF;
  a.words[3] = Vector(5, 10, 2);
  a.words[4] = 3 << 11;  // header in the second vector word
  a.words[10] = Chars('@', 'H', 'I');
  a.words[11] = Chars('N', 'O', 'T');
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[002068481] A  ALPHA  HI"}));
}

TEST_F(FlexFrameTest, NumericSkipsTwoBitsAndColoursEachWord) {
  a.words[0] = Info(1, 2);
  a.words[1] = 5 + 32768;
  a.words[2] = Checked(3 << 4 | 3 << 7 | 1 << 14 | 0xA << 17);  // bits 17-20 do not count
  // Bits 2 and 4 set, 3 and 5 clear: first digit 5. Then 1, 2, ... digit 5
  // (bits 18-21) straddles into the second word, which is marked.
  const uint32_t stream[] = {5, 1, 2, 3, 0xF};  // digits at bits 2, 6, 10, 14, 18
  uint64_t bits = 0;
  for (int k = 0; k < 5; ++k) bits |= uint64_t{stream[k]} << (2 + 4 * k);
  bits |= uint64_t{0xCCCCCCCC} << 22;  // fill digits in the second word
  a.words[3] = static_cast<int32_t>(bits & 0x1FFFFF);
  a.words[4] = static_cast<int32_t>((bits >> 21) & 0x1FFFFF) | kMark;
  d.DecodeFrame(a);
  const std::vector<Row> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  // 42 bits: digits at 2, 6, ..., 38: ten digits; the one at 18..21 ends in word 2.
  const Row want =
      Expect({{"[0000005] ", 2}, {"A ", 3}, {"ST NUM  ", 4}, {"5123", 6}, {"(     ", 10}});
  EXPECT_EQ(lines[0].text, want.text);
  EXPECT_EQ(lines[0].slots, want.slots);
  EXPECT_STREQ(r.rig.pageLog.pages[0].type, "numeric");
  EXPECT_TRUE(r.rig.pageLog.pages[0].bitErrors);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatNumeric], 1);
}

TEST_F(FlexFrameTest, NumberedNumericSkipsTenBits) {
  a.words[0] = Info(1, 2);
  a.words[1] = 5 + 32768;
  a.words[2] = Vector(7, 3, 0);
  a.words[3] = 0x3FF | 9 << 10 | 8 << 14;  // digits at bits 10 and 14; bits 18-20 dropped
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[0000005] A NU NUM  98"}));
}

TEST_F(FlexFrameTest, LongNumericStartsInTheSecondVectorWord) {
  r.rig.settings.showNumeric = 1;
  a.words[0] = Info(1, 3);
  a.words[1] = 1;
  a.words[2] = 0x1FFFFF;
  a.words[3] = Vector(4, 20, 1);  // second vector word, then word 20
  a.words[4] = 1 << 2 | 2 << 6 | 3 << 10 | 4 << 14 | 5 << 18;
  a.words[20] = 0x6 << 1 | 0x7 << 5 | 0xC << 9 | 0xC << 13 | 0xC << 17;
  d.DecodeFrame(a);
  // Digit 5 takes bits 18-20 of the second vector word and bit 0 of word 20.
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[002068481] A SF NUM  1234567   "}));
}

TEST_F(FlexFrameTest, ShortMessagesAndToneOnly) {
  a.words[0] = Info(1, 5);
  a.words[1] = 10 + 32768;
  a.words[2] = 11 + 32768;
  a.words[3] = 1;  // long 2068481
  a.words[4] = 0x1FFFFF;
  a.words[5] = Checked(2 << 4 | 0 << 7 | 4 << 9 | 0 << 13 | 2 << 17);
  a.words[6] = Checked(2 << 4 | 1 << 7 | 4 << 9);  // sub-type 1: tone only
  a.words[7] = Checked(2 << 4 | 0 << 7 | 1 << 9 | 2 << 13 | 3 << 17);
  a.words[8] = 4 | 5 << 4 | 6 << 8 | 7 << 12 | 8 << 16;
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[0000010] A SH/TONE 402", "[0000011] A SH/TONE ",
                                               "[002068481] A SH/TONE 12345678"}));
  ASSERT_EQ(r.rig.pageLog.pages.size(), 3u);
  EXPECT_STREQ(r.rig.pageLog.pages[0].type, "short");
  EXPECT_STREQ(r.rig.pageLog.pages[0].text, "402");
  EXPECT_STREQ(r.rig.pageLog.pages[1].type, "tone");
  EXPECT_STREQ(r.rig.pageLog.pages[1].text, "");
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatNumeric], 3);
  const Row want = Expect({{"[0000010] ", 2}, {"A ", 3}, {"SH/TONE ", 4}, {"402", 6}});
  EXPECT_EQ(Lines()[0].slots, want.slots);
}

TEST_F(FlexFrameTest, BinaryHeadersAndDroppedTailBits) {
  a.words[0] = Info(1, 4);
  a.words[1] = 20 + 32768;
  a.words[2] = 21 + 32768;
  a.words[3] = 22 + 32768;
  a.words[4] = Vector(6, 10, 3);  // header and 2 data words: 42 bits, 10 digits
  a.words[5] = Vector(6, 20, 3);  // header with bits 13-14 set, extra header, 1 data word
  a.words[6] = Vector(6, 30, 2);  // header and 1 data word
  a.words[10] = 0;
  a.words[11] = 0x54321;  // nibbles 1..5; bit 20 is the low bit of nibble 6
  a.words[12] = 0x3 | 0xD << 3 | 0xC << 7 | 0xB << 11 | 0xA << 15 | 3 << 19;  // last 2 bits dropped
  a.words[20] = 3 << 13;
  a.words[21] = 0x1FFFFF;
  a.words[22] = 0x0000A | kMark;
  a.words[30] = 0;
  a.words[31] = 0xABCDE;
  d.DecodeFrame(a);
  const std::vector<Row> lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  const Row first = Expect({{"[0000020] ", 2}, {"A ", 3}, {"BINARY  ", 4}, {"123456DCBA", 8}});
  EXPECT_EQ(lines[0].text, first.text);
  EXPECT_EQ(lines[0].slots, first.slots);
  // A marked word gets no colour of its own.
  const Row second = Expect({{"[0000021] ", 2}, {"A ", 3}, {"BINARY  ", 4}, {"A0000", 8}});
  EXPECT_EQ(lines[1].text, second.text);
  EXPECT_EQ(lines[1].slots, second.slots);
  EXPECT_EQ(lines[2].text, "[0000022] A BINARY  EDCBA");
  ASSERT_EQ(r.rig.pageLog.pages.size(), 3u);
  EXPECT_STREQ(r.rig.pageLog.pages[0].type, "binary");
  EXPECT_FALSE(r.rig.pageLog.pages[0].bitErrors);
  EXPECT_TRUE(r.rig.pageLog.pages[1].bitErrors);
  // Binary pages are never counted.
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatNumeric], 0);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 0);
}

TEST_F(FlexFrameTest, LongBinaryDropsTheLastWordOfItsLength) {
  a.words[0] = Info(1, 3);
  a.words[1] = 1;
  a.words[2] = 0x1FFFFF;
  a.words[3] = Vector(6, 10, 3);  // first = 10 + 1 (extra header), last = 10 + 3 - 2
  a.words[4] = 3 << 13;
  a.words[10] = 0x12345;
  a.words[11] = 0x0FEDC;
  a.words[12] = 0x11111;
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[002068481] A BINARY  CDEF0"}));
}

TEST_F(FlexFrameTest, DisplaySettingsHidePagesThatAreStillCounted) {
  r.rig.settings.showNumeric = 0;
  r.rig.settings.showMisc = 0;
  d.flexStatRow = kRowFlex3200;
  a.words[0] = Info(1, 6);
  for (int k = 0; k < 5; ++k) a.words[1 + k] = 100 + k + 32768;
  a.words[6] = Vector(3, 20, 0);
  a.words[7] = Checked(2 << 4 | 1 << 9);
  a.words[8] = Vector(6, 20, 2);
  a.words[9] = Vector(5, 20, 1);
  a.words[10] = Vector(7, 20, 0);
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[0000103] A  ALPHA  "}));
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatNumeric], 3);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex3200][kStatAlpha], 1);
  EXPECT_EQ(r.rig.stats.daily[kRowFlex3200][kStatNumeric], 3);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatNumeric], 0);
}

TEST_F(FlexFrameTest, InstructionsAndInvalidVectorsWriteAndCountNothing) {
  a.words[0] = Info(1, 5);
  for (int k = 0; k < 4; ++k) a.words[1 + k] = 200 + k + 32768;
  a.words[5] = Vector(1, 0, 0);           // instruction
  a.words[6] = Vector(5, 20, 1) ^ 1;      // bad sum
  a.words[7] = Vector(5, 20, 1) | kMark;  // marked
  a.words[8] = Vector(5, 20, 1);          // the loop goes on to this one
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[0000203] A  ALPHA  "}));
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 1);
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatNumeric], 0);
}

TEST_F(FlexFrameTest, BadBlockInformationSuppressesThePhase) {
  a.words[1] = 300 + 32768;
  a.words[2] = Vector(5, 20, 1);
  a.words[0] = Info(1, 2) ^ 0x10;  // sum off by one
  d.DecodeFrame(a);
  a.words[0] = Info(1, 2) | kMark;
  d.DecodeFrame(a);
  a.words[0] = 0x1FFFFF;  // idle: sum 12
  d.DecodeFrame(a);
  a.words[0] = Info(2, 2);  // vector field not after the address field
  d.DecodeFrame(a);
  EXPECT_TRUE(r.rig.rows.rows.empty());
  EXPECT_EQ(r.rig.stats.hourly[kRowFlex1600][kStatAlpha], 0);
  a.words[0] = Info(1, 2);
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[0000300] A  ALPHA  "}));
}

TEST_F(FlexFrameTest, MoreBlockInformationWordsMoveTheAddressField) {
  a.words[0] = Info(3, 4);
  a.words[1] = 400 + 32768;  // block information, not an address
  a.words[2] = 401 + 32768;
  a.words[3] = 402 + 32768;
  a.words[4] = Vector(5, 20, 1);
  d.DecodeFrame(a);
  EXPECT_EQ(Texts(), (std::vector<std::string>{"[0000402] A  ALPHA  "}));
}

TEST_F(FlexFrameTest, MessageWordsPastTheStoreReadAsEmpty) {
  // Fill what lies behind phase A's words with ones: any read past its 200
  // words would show up as digits other than 0.
  FlexPhase& b = d.phases[1];
  std::memset(b.bits, 0x7F, sizeof b.bits);
  for (int32_t& w : b.words) w = 0x1FFFFF;
  for (int k = 88; k < kFlexPhaseWords; ++k) a.words[k] = 0;
  a.words[199] = 0x1FFFFF;
  a.words[0] = Info(1, 2);
  a.words[1] = 500 + 32768;
  a.words[2] = Vector(6, 127, 127);  // words 128..253
  a.words[127] = 0;
  d.DecodeFrame(a);
  ASSERT_EQ(r.rig.pageLog.pages.size(), 1u);
  const std::string text = r.rig.pageLog.pages[0].text;
  // 126 words of 21 bits: 661 digits; word 199 is the 72nd word.
  ASSERT_EQ(text.size(), 661u);
  const size_t start = 71 * 21;  // first bit of word 199
  for (size_t bit = 0; bit < text.size() * 4; ++bit) {
    const int digit = text[bit / 4] <= '9' ? text[bit / 4] - '0' : text[bit / 4] - 'A' + 10;
    const bool one = (digit >> (bit % 4)) & 1;
    ASSERT_EQ(one, bit >= start && bit < start + 21) << bit;
  }
}

}  // namespace
}  // namespace skelmar::test
