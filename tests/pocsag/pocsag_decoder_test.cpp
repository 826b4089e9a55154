// POCSAG decoder driven bit by bit with encoded transmissions: page lines, colours,
// counts, page records, error tolerance, hold reloads and the end-of-hold marker.
#include "pocsag/pocsag_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "pocsag_test_model.h"

namespace skelmar::test {
namespace {

using siggen::EncodePocsag;
using siggen::PocsagKind;
using siggen::PocsagPage;
using siggen::PocsagRole;
using siggen::PocsagTransmission;

void ExpectRows(const std::vector<Row>& actual, const std::vector<Row>& expected) {
  ASSERT_EQ(actual.size(), expected.size())
      << "first row: " << (actual.empty() ? "" : actual[0].text);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].text, expected[i].text) << "row " << i;
    EXPECT_EQ(actual[i].slots, expected[i].slots) << "row " << i << ": " << expected[i].text;
  }
}

// Bits of a transmission from its first sync codeword up to the end of codeword `last`.
std::vector<uint8_t> BitsThrough(const PocsagTransmission& t, size_t last) {
  std::vector<uint8_t> bits = t.Bits();
  bits.resize(static_cast<size_t>(t.preambleBits) + 32 * (last + 1));
  return bits;
}

// Three BCH-bit positions whose inversion the corrector refuses outright (no
// pattern of one or two errors has that syndrome), leaving the buffer as received.
std::vector<int> RefusedTriple(uint32_t word, int from, int to) {
  Bch3121 probe;
  for (int a = from; a <= to; ++a) {
    for (int b = a + 1; b <= to; ++b) {
      for (int c = b + 1; c <= to; ++c) {
        const uint32_t received = word ^ (1u << (31 - a)) ^ (1u << (31 - b)) ^ (1u << (31 - c));
        probe.Load(received);
        if (probe.Correct() == 3 && probe.Word() == received) return {a, b, c};
      }
    }
  }
  return {};
}

class PocsagDecoderTest : public ::testing::Test {
 protected:
  PocsagDecoderTest() {
    options.alphaFill = ' ';
    rig.front.Attach(&decoder, nullptr, nullptr);
  }

  void Send(const PocsagTransmission& t) { PutBits(decoder, t.Bits()); }
  PocsagTransmission Encode(const std::vector<PocsagPage>& pages) {
    return EncodePocsag(pages, options);
  }
  std::vector<Row> Rows() const { return PageRows(rig.rows); }
  int32_t Count(int row, int kind) const { return rig.stats.hourly[row][kind]; }

  Rig rig;
  PocsagDecoder decoder{rig.settings, rig.pocsagPages, rig.front, rig.bch};
  siggen::PocsagEncodeOptions options;
};

TEST_F(PocsagDecoderTest, ConstructionSelectsThe1200Row) {
  rig.front.shared.pocsagStatRow = 3;
  PocsagDecoder other(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  EXPECT_EQ(rig.front.shared.pocsagStatRow, 4);
}

TEST_F(PocsagDecoderTest, NumericToneAndAlphanumericPagesBecomeLines) {
  const std::vector<PocsagPage> pages = {
      {1234, 0, PocsagKind::kNumeric, "0123456789"},   // frame 2
      {4003, 1, PocsagKind::kTone, ""},                // frame 3, ended by the next address
      {6220, 3, PocsagKind::kAlpha, "Hello, world!"},  // frame 4
      {103, 2, PocsagKind::kNumeric, "911 U-(2)"},     // frame 7
  };
  EXPECT_EQ(ShownAs(pages[0], options), Shown::kNumeric);
  EXPECT_EQ(ShownAs(pages[2], options), Shown::kAlpha);
  // U, ( and ) weigh so heavily against digits that this one reads as text.
  EXPECT_EQ(ShownAs(pages[3], options), Shown::kAlpha);
  Send(Encode(pages));

  Line tone;
  tone.Add("{0004003} 2 ", kSlotCapcode);
  tone.Add("TONE ONLY", kSlotNumeric);
  Line numeric;
  numeric.Add("{0001234} 1 ", kSlotCapcode);
  numeric.Add("0123456789", kSlotNumeric);
  Line alpha;
  alpha.Add("{0006220} 4 ", kSlotCapcode);
  alpha.Add("Hello, world!", kSlotAlphanumeric);
  // 13 characters fill five codewords (100 bits = 14 characters): one fill blank.
  alpha.Add(" ", kSlotAlphanumeric);
  ExpectRows(Rows(), RowsOf({numeric, tone, alpha, ExpectedLine(pages[3], options)}));

  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 2);
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 2);

  ASSERT_EQ(rig.pageLog.pages.size(), 4u);
  const PageRecord& first = rig.pageLog.pages[0];
  EXPECT_EQ(first.protocol, PageProtocol::kPocsag);
  EXPECT_EQ(first.speed, 1200);
  EXPECT_EQ(first.levels, 2);
  EXPECT_STREQ(first.capcode, "0001234");
  EXPECT_EQ(first.function, 1);
  EXPECT_STREQ(first.type, "numeric");
  EXPECT_STREQ(first.text, "0123456789");
  EXPECT_FALSE(first.bitErrors);
  EXPECT_EQ(first.filter, -1);
  EXPECT_STREQ(rig.pageLog.pages[1].type, "tone");
  EXPECT_STREQ(rig.pageLog.pages[1].text, "");
  EXPECT_EQ(rig.pageLog.pages[1].function, 2);
  EXPECT_STREQ(rig.pageLog.pages[2].type, "alpha");
  EXPECT_STREQ(rig.pageLog.pages[2].text, "Hello, world! ");
  EXPECT_EQ(rig.pageLog.pages[2].function, 4);
}

TEST_F(PocsagDecoderTest, AddressFollowedByIdleIsAToneOnlyPage) {
  // Transmitters end a tone-only page with idle fill: the page must not be lost.
  const std::vector<PocsagPage> pages = {{4003, 1, PocsagKind::kTone, ""}};
  Send(Encode(pages));
  ExpectRows(Rows(), RowsOf(ExpectedLine(pages[0], options)));
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 1);
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 0);
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "tone");
  EXPECT_STREQ(rig.pageLog.pages[0].capcode, "0004003");
}

TEST_F(PocsagDecoderTest, AddressFollowedByIdleIsCountedButHiddenWithoutShowNumeric) {
  rig.settings.showNumeric = 0;
  Send(Encode({{4003, 1, PocsagKind::kTone, ""}}));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 1);
}

TEST_F(PocsagDecoderTest, NumericPagesAreCountedButHiddenWithoutShowNumeric) {
  rig.settings.showNumeric = 0;
  const std::vector<PocsagPage> pages = {
      {16, 0, PocsagKind::kNumeric, "12345"},    // frame 0
      {17, 0, PocsagKind::kTone, ""},            // frame 1, ended by the next address
      {25, 1, PocsagKind::kAlpha, "Call home"},  // frame 1 as well: right after it
  };
  Send(Encode(pages));
  ExpectRows(Rows(), RowsOf(ExpectedLine(pages[2], options)));
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 2);
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
  EXPECT_EQ(rig.pageLog.pages.size(), 1u);
}

TEST_F(PocsagDecoderTest, FramesAndFunctionBitsMakeTheCapcodeAndFunctionDigit) {
  std::vector<PocsagPage> pages;
  for (uint32_t frame = 0; frame < 8; ++frame) {
    pages.push_back({(262143u << 3) * (frame % 2) + 8 * (1000 + frame) * (1 - frame % 2) + frame,
                     static_cast<int>(frame % 4), PocsagKind::kNumeric, "5"});
  }
  Send(Encode(pages));
  std::vector<Line> lines;
  for (const PocsagPage& p : pages) lines.push_back(ExpectedLine(p, options));
  ExpectRows(Rows(), RowsOf(lines));
  // Highest address bits and frame 7 give the largest capcode.
  EXPECT_EQ(Rows()[7].text.substr(0, 12), "{2097151} 4 ");
  EXPECT_EQ(Rows()[0].text.substr(0, 12), "{0008000} 1 ");
}

TEST_F(PocsagDecoderTest, SyncIsFoundWithFourErrorsButNotFive) {
  const std::vector<PocsagPage> pages = {{1234, 0, PocsagKind::kNumeric, "42"}};
  PocsagTransmission t = Encode(pages);
  t.FlipBits(0, {0, 9, 17, 30});
  Send(t);
  ExpectRows(Rows(), RowsOf(ExpectedLine(pages[0], options)));

  Rig other;
  PocsagDecoder missed(other.settings, other.pocsagPages, other.front, other.bch);
  t = Encode(pages);
  t.FlipBits(0, {0, 9, 17, 30, 31});
  PutBits(missed, t.Bits());
  EXPECT_TRUE(PageRows(other.rows).empty());
  EXPECT_EQ(other.stats.hourly[kRowPocsag1200][kStatNumeric], 0);
}

TEST_F(PocsagDecoderTest, IdleWithTwoErrorsStillEndsThePageButThreeMakeItACodeword) {
  // Tone page in frame 1 (slot 2), idle in slot 3, numeric page in frame 2 (slot 4).
  const std::vector<PocsagPage> pages = {{9, 0, PocsagKind::kTone, ""},
                                         {18, 0, PocsagKind::kNumeric, "777"}};
  PocsagTransmission t = Encode(pages);
  const size_t idle = 4;
  ASSERT_EQ(t.codewords[idle].role, PocsagRole::kIdle);
  ASSERT_EQ(t.codewords[idle].slot, 3);
  t.FlipBits(idle, {3, 20});
  Send(t);
  // The tone page was ended by the idle codeword.
  ExpectRows(Rows(), RowsOf({ExpectedLine(pages[0], options), ExpectedLine(pages[1], options)}));

  Rig other;
  PocsagDecoder decoder3(other.settings, other.pocsagPages, other.front, other.bch);
  t = Encode(pages);
  t.FlipBits(idle, {5, 17, 29});
  Bch3121 probe;
  probe.Load(t.codewords[idle].word);
  probe.Correct();
  ASSERT_EQ(probe.codewordBuffer[0], '0') << "the damaged idle must read as an address";
  PutBits(decoder3, t.Bits());
  // Now the damaged idle is an address: it ends the tone page, and is itself
  // ended as a tone page by the next address.
  const std::vector<Row> rows = PageRows(other.rows);
  ASSERT_EQ(rows.size(), 3u);
  ExpectRows({rows[0]}, RowsOf(ExpectedLine(pages[0], options)));
  EXPECT_NE(rows[1].text.find("TONE ONLY"), std::string::npos);
  ExpectRows({rows[2]}, RowsOf(ExpectedLine(pages[1], options)));
}

TEST_F(PocsagDecoderTest, UncorrectableAddressShowsQuestionMarksAndMatchesNoFilter) {
  FilterEntry any;
  any.type = kFilterPocsag;
  std::strcpy(any.capcode, "???????");
  rig.filters.entries[rig.filters.count++] = any;
  RowCollector filtered;
  rig.filterPane.SetRowObserver(&filtered);

  const std::vector<PocsagPage> pages = {{777, 1, PocsagKind::kAlpha, "Broken address"}};
  PocsagTransmission t = Encode(pages);
  const size_t a = t.Find(PocsagRole::kAddress);
  const std::vector<int> triple = RefusedTriple(t.codewords[a].word, 1, 30);
  ASSERT_EQ(triple.size(), 3u);
  t.FlipBits(a, {triple[0], triple[1], triple[2]});
  Send(t);

  Line line = ExpectedLine(pages[0], options, "{???????} ");
  ExpectRows(Rows(), RowsOf(line));
  EXPECT_TRUE(PageRows(filtered).empty());
  EXPECT_EQ(rig.filters.matchedFilter, -1);
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_STREQ(rig.pageLog.pages[0].capcode, "???????");
  EXPECT_TRUE(rig.pageLog.pages[0].bitErrors);
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
}

TEST_F(PocsagDecoderTest, OnlyCodewordsWithAtMostOneErrorReloadTheHold) {
  PocsagTransmission t = Encode({{1234, 0, PocsagKind::kAlpha, "ABCDEFGHIJKLMNOP"}});
  const size_t m = t.Find(PocsagRole::kMessage);
  t.FlipBits(m, {4});          // one error: reloads
  t.FlipBits(m + 1, {4, 9});   // two errors: corrected, but no reload
  t.FlipBits(m + 2, {2, 31});  // one data error and parity: two, no reload
  t.FlipBits(m + 3, {31});     // parity alone: one, reloads
  const std::vector<uint8_t> bits = t.Bits();
  const auto feed = [&](size_t codeword) {
    rig.front.shared.pocsagHold = 0;
    const size_t begin = static_cast<size_t>(t.preambleBits) + 32 * codeword;
    for (size_t i = begin; i < begin + 32; ++i) decoder.PutBit(bits[i] ? '1' : '0');
    return rig.front.shared.pocsagHold;
  };
  PutBits(decoder, std::vector<uint8_t>(bits.begin(), bits.begin() + t.preambleBits));
  EXPECT_EQ(feed(0), 0);  // the sync codeword itself reloads nothing
  for (size_t i = 1; i < m; ++i) EXPECT_EQ(feed(i), 170) << i;  // idle and address
  EXPECT_EQ(feed(m), 170);
  EXPECT_EQ(feed(m + 1), 0);
  EXPECT_EQ(feed(m + 2), 0);
  EXPECT_EQ(feed(m + 3), 170);
}

TEST_F(PocsagDecoderTest, SevenCodewordMessageIsWrittenAtOnceAndEndedByTheNextAddress) {
  // 20 characters are exactly 140 bits: seven message codewords.
  const std::vector<PocsagPage> pages = {{8 * 5, 0, PocsagKind::kAlpha, "ABCDEFGHIJKLMNOPQRST"},
                                         {8 * 6 + 4, 1, PocsagKind::kNumeric, "24"}};
  const PocsagTransmission t = Encode(pages);
  ASSERT_EQ(t.Count(PocsagRole::kMessage, 0), 7u);
  const std::vector<uint8_t> bits = t.Bits();
  const size_t cut = BitsThrough(t, t.Find(PocsagRole::kMessage, 0, 6)).size();

  PutBits(decoder, std::vector<uint8_t>(bits.begin(), bits.begin() + static_cast<long>(cut) - 32));
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 0);
  PutBits(decoder, std::vector<uint8_t>(bits.begin() + static_cast<long>(cut) - 32,
                                        bits.begin() + static_cast<long>(cut)));
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
  EXPECT_TRUE(Rows().empty());  // the line stays open for more codewords
  EXPECT_EQ(decoder.lineOpen, 1);

  PutBits(decoder, std::vector<uint8_t>(bits.begin() + static_cast<long>(cut), bits.end()));
  ExpectRows(Rows(), RowsOf({ExpectedLine(pages[0], options), ExpectedLine(pages[1], options)}));
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 1);
  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  EXPECT_STREQ(rig.pageLog.pages[0].text, "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(PocsagDecoderTest, LongMessagesStreamAcrossBatchesWithoutLosingCharacterPhase) {
  std::string text;
  for (int i = 0; i < 100; ++i) text.push_back(static_cast<char>('!' + (i * 7) % 90));
  // 700 bits: 35 message codewords from frame 6, through two batch boundaries.
  const std::vector<PocsagPage> pages = {{8 * 40 + 6, 2, PocsagKind::kAlpha, text},
                                         {8 * 41 + 1, 0, PocsagKind::kNumeric, "8"}};
  const PocsagTransmission t = Encode(pages);
  ASSERT_EQ(t.Count(PocsagRole::kMessage, 0), 35u);
  ASSERT_EQ(t.Count(PocsagRole::kSync), 4u);
  Send(t);
  const Line line = ExpectedLine(pages[0], options);
  EXPECT_EQ(line.text.size(), 12u + 100);
  ExpectRows(Rows(), RowsOf({line, ExpectedLine(pages[1], options)}));
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  EXPECT_EQ(std::string(rig.pageLog.pages[0].text), text);
}

TEST_F(PocsagDecoderTest, NumericMessageOfSevenCodewordsIsShownAsCharacters) {
  const std::vector<PocsagPage> pages = {
      {8 * 3, 0, PocsagKind::kNumeric, "0123456789012345678901234567890123456"}};
  ASSERT_EQ(siggen::PocsagMessageChunks(pages[0], options).size(), 8u);
  Send(Encode(pages));
  const Line line = ExpectedLine(pages[0], options);
  ASSERT_EQ(line.slots.back(), kSlotAlphanumeric);
  ExpectRows(Rows(), RowsOf(line));
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 0);
}

TEST_F(PocsagDecoderTest, StreamedUncorrectableCodewordShowsInTheBitErrorsColour) {
  const std::string text(40, 'M');  // 280 bits: 14 message codewords
  const std::vector<PocsagPage> pages = {{8 * 2, 0, PocsagKind::kAlpha, text}};
  PocsagTransmission t = Encode(pages);
  const size_t ninth = t.Find(PocsagRole::kMessage, 0, 8);
  const std::vector<int> triple = RefusedTriple(t.codewords[ninth].word, 1, 20);
  ASSERT_EQ(triple.size(), 3u);
  t.FlipBits(ninth, {triple[0], triple[1], triple[2]});
  Send(t);

  // The ninth codeword carries message bits 160..179: characters 22, 23 and 24
  // complete in it and are shown as received, in the Bit Errors colour.
  std::vector<uint32_t> chunks = siggen::PocsagMessageChunks(pages[0], options);
  for (int p : triple) chunks[8] ^= 1u << (20 - p);
  Line line;
  line.Add(CapcodeText(16, 0), kSlotCapcode);
  const std::string received = Assemble(chunks).chars;
  for (size_t i = 0; i < received.size(); ++i) {
    line.Add(std::string(1, received[i]),
             (i >= 22 && i <= 24) ? kSlotBitErrors : kSlotAlphanumeric);
  }
  ExpectRows(Rows(), RowsOf(line));
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_TRUE(rig.pageLog.pages[0].bitErrors);
}

TEST_F(PocsagDecoderTest, EndOfHoldEndsAStreamedLineAndDropsABufferedOne) {
  const std::string text(40, 'z');
  const std::vector<PocsagPage> pages = {{8 * 2, 0, PocsagKind::kAlpha, text}};
  const PocsagTransmission t = Encode(pages);
  // Ten message codewords (200 bits) make 28 whole characters; then the hold ends.
  PutBits(decoder, BitsThrough(t, t.Find(PocsagRole::kMessage, 0, 9)));
  decoder.PutBit('X');
  Line line;
  line.Add(CapcodeText(16, 0), kSlotCapcode);
  line.Add(std::string(28, 'z'), kSlotAlphanumeric);
  ExpectRows(Rows(), RowsOf(line));
  EXPECT_EQ(decoder.lineOpen, 0);
  EXPECT_EQ(rig.pageLog.pages.size(), 1u);

  // Three codewords into another message: nothing is shown or counted.
  Rig other;
  PocsagDecoder second(other.settings, other.pocsagPages, other.front, other.bch);
  PutBits(second, BitsThrough(t, t.Find(PocsagRole::kMessage, 0, 2)));
  second.PutBit('X');
  EXPECT_TRUE(PageRows(other.rows).empty());
  EXPECT_EQ(other.stats.hourly[kRowPocsag1200][kStatAlpha], 0);
  EXPECT_EQ(other.stats.hourly[kRowPocsag1200][kStatNumeric], 0);
  EXPECT_TRUE(other.pageLog.pages.empty());

  // The marker also loses sync: the rest of that batch is never decoded...
  const std::vector<uint8_t> bits = t.Bits();
  PutBits(second, std::vector<uint8_t>(bits.begin() + static_cast<long>(BitsThrough(t, 4).size()),
                                       bits.end()));
  EXPECT_TRUE(PageRows(other.rows).empty());
  // ...while a new transmission is decoded in full.
  PutBits(second, Encode({{8 * 9 + 1, 1, PocsagKind::kNumeric, "123"}}).Bits());
  ExpectRows(PageRows(other.rows),
             RowsOf(ExpectedLine({8 * 9 + 1, 1, PocsagKind::kNumeric, "123"}, options)));
}

TEST_F(PocsagDecoderTest, AnAddressCutOffByTheEndOfHoldLeavesNoPageBehind) {
  // The signal is lost right after an address; the next transmission opens
  // with idle codewords. Nothing was received for that address, so nothing
  // may appear for it.
  const PocsagTransmission t = Encode({{8 * 3, 2, PocsagKind::kNumeric, "4711"}});
  PutBits(decoder, BitsThrough(t, t.Find(PocsagRole::kAddress, 0)));
  decoder.PutBit('X');
  Send(Encode({}));
  EXPECT_TRUE(Rows().empty());
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 0);
  EXPECT_TRUE(rig.pageLog.pages.empty());
}

TEST_F(PocsagDecoderTest, MessageWithoutAddressIsShownUnderTheLastAddress) {
  const PocsagPage numeric{0, 0, PocsagKind::kNumeric, "12345"};
  PocsagTransmission t;
  t.preambleBits = 32;
  t.codewords.push_back({siggen::kPocsagSyncWord, PocsagRole::kSync, -1, -1});
  for (uint32_t chunk : siggen::PocsagMessageChunks(numeric)) {
    t.codewords.push_back({siggen::PocsagMessageWord(chunk), PocsagRole::kMessage, 0, 0});
  }
  for (int i = 1; i < 16; ++i) {
    t.codewords.push_back({siggen::kPocsagIdleWord, PocsagRole::kIdle, -1, i});
  }
  Send(t);
  // After start-up that is capcode 0 with function bits 00.
  ExpectRows(Rows(), RowsOf(ExpectedLine(numeric, options)));
  EXPECT_EQ(Rows()[0].text.substr(0, 12), "{0000000} 1 ");
}

TEST_F(PocsagDecoderTest, CapcodeFiltersPickPagesByWildcardAndFunction) {
  FilterEntry block;
  block.type = kFilterPocsag;
  std::strcpy(block.capcode, "00123??");
  std::strcpy(block.label, "Block");
  FilterEntry second;
  second.type = kFilterPocsag;
  std::strcpy(second.capcode, "0077700");
  second.function = 2;
  rig.filters.entries[rig.filters.count++] = block;
  rig.filters.entries[rig.filters.count++] = second;
  RowCollector filtered;
  rig.filterPane.SetRowObserver(&filtered);

  const std::vector<PocsagPage> pages = {
      {12345, 0, PocsagKind::kNumeric, "1"},  // block, any function
      {12400, 0, PocsagKind::kNumeric, "2"},  // outside the block
      {77700, 0, PocsagKind::kNumeric, "3"},  // function digit 1: no
      {77700, 1, PocsagKind::kNumeric, "4"},  // function digit 2: yes
  };
  for (const PocsagPage& p : pages) Send(Encode({p}));

  ASSERT_EQ(rig.pageLog.pages.size(), 4u);
  EXPECT_EQ(rig.pageLog.pages[0].filter, 0);
  EXPECT_EQ(rig.pageLog.pages[1].filter, -1);
  EXPECT_EQ(rig.pageLog.pages[2].filter, -1);
  EXPECT_EQ(rig.pageLog.pages[3].filter, 1);
  std::vector<std::string> copied;
  for (const Row& r : PageRows(filtered)) copied.push_back(r.text);
  ASSERT_EQ(copied.size(), 2u);
  EXPECT_NE(copied[0].find("{0012345} 1"), std::string::npos);
  EXPECT_NE(copied[0].find("Block"), std::string::npos);
  EXPECT_NE(copied[1].find("{0077700} 2"), std::string::npos);
}

TEST_F(PocsagDecoderTest, ACapcodeFiltersTextIsLookedForInTheMessageOnly) {
  FilterEntry entry;
  entry.type = kFilterPocsag;
  std::strcpy(entry.capcode, "0012345");
  std::strcpy(entry.text, "2345");
  rig.filters.entries[rig.filters.count++] = entry;
  // The text stands in the capcode of both lines, in the message of the second only.
  Send(Encode({{12345, 0, PocsagKind::kNumeric, "678"}}));
  Send(Encode({{12345, 0, PocsagKind::kNumeric, "12345"}}));
  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  EXPECT_EQ(rig.pageLog.pages[0].filter, -1);
  EXPECT_EQ(rig.pageLog.pages[1].filter, 0);
}

TEST_F(PocsagDecoderTest, NumericPagesNextToTheTextThresholdStayNumeric) {
  // Digit strings chosen to sit at the edge of the weighing: the first scores
  // 0 as digits (one bracket among twenty) and 0 as text, the second 20 as
  // digits and 11 as text. Sent as numbers, they must be shown as numbers.
  const std::vector<PocsagPage> pages = {
      {8 * 5, 0, PocsagKind::kNumeric, "86747722988-(3712380"},
      {8 * 6 + 1, 1, PocsagKind::kNumeric, "157280-13-58753517"},
  };
  Send(Encode(pages));
  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "numeric");
  EXPECT_STREQ(rig.pageLog.pages[0].text, pages[0].text.c_str());
  EXPECT_STREQ(rig.pageLog.pages[1].type, "numeric");
  EXPECT_STREQ(rig.pageLog.pages[1].text, (pages[1].text + "  ").c_str());
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 2);
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 0);
}

TEST_F(PocsagDecoderTest, AnyOfUOrBracketsInOneCodewordMakesItText) {
  const std::vector<PocsagPage> pages = {
      {8 * 1, 0, PocsagKind::kNumeric, "1U345"},      // frame 0
      {8 * 2 + 1, 0, PocsagKind::kNumeric, "12(45"},  // frame 1
      {8 * 3 + 2, 0, PocsagKind::kNumeric, "123)5"},  // frame 2
      {8 * 4 + 3, 0, PocsagKind::kNumeric, "12-45"},  // frame 3: still digits
  };
  Send(Encode(pages));
  const std::vector<Row> rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].slots.size() > 12 ? rows[i].slots[12] : 0, kSlotAlphanumeric) << i;
    ExpectRows({rows[i]}, RowsOf(ExpectedLine(pages[i], options)));
  }
  ExpectRows({rows[3]}, RowsOf(ExpectedLine(pages[3], options)));
  EXPECT_EQ(rows[3].text, "{0000035} 1 12-45");
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 3);
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 1);
}

TEST_F(PocsagDecoderTest, LongNumericMessagesShowEverySpecialDigit) {
  // Enough plain digits (and NUL characters) outweigh a pair of brackets.
  const PocsagPage page{8 * 2, 0, PocsagKind::kNumeric, "0000000000000000000000(0)- 9"};
  ASSERT_EQ(ShownAs(page, options), Shown::kNumeric);
  Send(Encode({page}));
  Line line;
  line.Add("{0000016} 1 ", kSlotCapcode);
  line.Add("0000000000000000000000(0)- 9  ", kSlotNumeric);
  ExpectRows(Rows(), RowsOf(line));
}

TEST_F(PocsagDecoderTest, LineFeedAndEndOfBlockAreNeutralInTheTextScore) {
  // Five line feeds, an end-of-block, a NUL and an STX: the two other control
  // characters weigh less than the one ')' among the fifteen digits.
  options.alphaFill = 0;
  const std::string text("\n\0\n\n\n\x02\n\x17", 8);
  const PocsagPage page{8 * 6, 0, PocsagKind::kAlpha, text};
  const Assembled a = Assemble(siggen::PocsagMessageChunks(page, options));
  ASSERT_EQ(a.digits, "*008241*0182)20");
  Send(Encode({page}));
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha), 1);
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 0);
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "alpha");
  EXPECT_EQ(rig.pageLog.pages[0].textLength, 8);
}

TEST_F(PocsagDecoderTest, UncorrectableBufferedCharactersCountAsPrintable) {
  // Fourteen zeros and a U: as received, eight NUL characters make digits of it;
  // when every codeword was uncorrectable its characters count as printable.
  const PocsagPage page{8 * 3, 0, PocsagKind::kNumeric, "00000000000000U"};
  ASSERT_EQ(ShownAs(page, options), Shown::kNumeric);
  PocsagTransmission clean = Encode({page});
  Send(clean);
  EXPECT_EQ(Count(kRowPocsag1200, kStatNumeric), 1);
  ExpectRows(Rows(), RowsOf(ExpectedLine(page, options)));

  Rig other;
  PocsagDecoder damaged(other.settings, other.pocsagPages, other.front, other.bch);
  PocsagTransmission t = Encode({page});
  ASSERT_EQ(t.Count(PocsagRole::kMessage), 3u);
  for (int n = 0; n < 3; ++n) {
    const size_t m = t.Find(PocsagRole::kMessage, 0, n);
    const std::vector<int> triple = RefusedTriple(t.codewords[m].word, 21, 30);
    ASSERT_EQ(triple.size(), 3u);
    t.FlipBits(m, {triple[0], triple[1], triple[2]});
  }
  PutBits(damaged, t.Bits());
  EXPECT_EQ(other.stats.hourly[kRowPocsag1200][kStatAlpha], 1);
  EXPECT_EQ(other.stats.hourly[kRowPocsag1200][kStatNumeric], 0);
  ASSERT_EQ(other.pageLog.pages.size(), 1u);
  EXPECT_STREQ(other.pageLog.pages[0].type, "alpha");
  EXPECT_TRUE(other.pageLog.pages[0].bitErrors);
  EXPECT_STREQ(other.pageLog.pages[0].capcode, "0000024");
}

TEST_F(PocsagDecoderTest, PagesAreCountedAndRecordedUnderTheRateLastLocked) {
  const PocsagPage alpha{8 * 3, 0, PocsagKind::kAlpha, "Rate test"};
  const PocsagPage numeric{8 * 4, 0, PocsagKind::kNumeric, "1200"};
  rig.front.shared.pocsagStatRow = kRowPocsag2400;
  Send(Encode({alpha}));
  rig.front.shared.pocsagStatRow = kRowPocsag512;
  Send(Encode({numeric}));
  EXPECT_EQ(Count(kRowPocsag2400, kStatAlpha), 1);
  EXPECT_EQ(Count(kRowPocsag512, kStatNumeric), 1);
  EXPECT_EQ(Count(kRowPocsag1200, kStatAlpha) + Count(kRowPocsag1200, kStatNumeric), 0);
  EXPECT_EQ(rig.stats.daily[kRowPocsag2400][kStatAlpha], 1);
  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  EXPECT_EQ(rig.pageLog.pages[0].speed, 2400);
  EXPECT_EQ(rig.pageLog.pages[1].speed, 512);
}

}  // namespace
}  // namespace skelmar::test
