// GSC decoder fed bit by bit: hunting, slot budget, addresses, blocks and page lines.
#include "gsc/gsc_decoder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "gsc/gsc_expect.h"
#include "gsc_encoder.h"
#include "support/rig.h"

namespace skelmar {
namespace {

using siggen::GscAlphaBlocks;
using siggen::GscGolayCodeword;
using siggen::GscNumericBlocks;
using test::gsc::ExpectedPage;
using test::gsc::PageOf;
using test::gsc::PageRows;
using test::gsc::RowsOf;

constexpr uint32_t kEntry7 = 0x2D16D3;
constexpr uint32_t kEntry20 = 0x5A08ED;
constexpr uint32_t kComplement = 0x7FFFFF;

class GscDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override { rig.front.Attach(nullptr, nullptr, &gsc); }

  void Send() {
    for (uint8_t b : w.bits()) gsc.PutBit(b);
    w.bits().clear();
  }
  void Zeros(int n) {
    for (int i = 0; i < n; ++i) gsc.PutBit(0);
  }
  void Header(int preamble, bool complemented, int repetitions = 3) {
    w.Comma(28);
    w.Preamble(preamble, complemented, repetitions);
    w.StartCode();
  }
  void Address(uint32_t first, uint32_t secondInfo) {
    w.AddressSlot(siggen::GscAddress{first, GscGolayCodeword(secondInfo), 0});
  }
  void Blocks(const std::vector<uint64_t>& blocks) {
    for (uint64_t b : blocks) w.BlockSlot(b);
  }
  std::vector<std::string> Texts() const { return rig.rows.Texts(); }

  test::Rig rig;
  GscDecoder gsc{rig.gscPages, rig.front};
  siggen::GscBitWriter w;
};

TEST_F(GscDecoderTest, WorkedCapcodeExample) {
  // Preamble 3, entry 7, information 0x123: v 291, q 5, r 41 -> A 57, B 1,
  // C 41, T (3 - 7) mod 10 = 6.
  const std::vector<uint64_t> block = GscNumericBlocks("987654321012");
  Header(3, false);
  Send();
  EXPECT_EQ(gsc.decoding, 1);
  EXPECT_EQ(rig.front.shared.gscBusy, 1);
  EXPECT_STREQ(rig.caption.text(), " Skelmar - Golay (GSC)");
  Address(kEntry7, 0x123);
  Blocks(block);
  Send();

  const ExpectedPage page{657141, 1, "987654321012", test::gsc::CharReading(block[0])};
  const std::vector<test::Row> rows = PageRows(rig.rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, page.Line());
  EXPECT_EQ(rows[0].text.substr(0, 24), "(657141) 1 987654321012 ");
  EXPECT_EQ(rows[0].slots, page.Slots());
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 1);
  EXPECT_EQ(rig.stats.hourly[kRowGsc][kStatNumeric], 1);
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatAlpha], 0);
  // A direct preamble allows one page: the transmission is over.
  EXPECT_EQ(gsc.decoding, 0);
  EXPECT_EQ(rig.front.shared.gscBusy, 0);
  EXPECT_STREQ(rig.caption.text(), " Skelmar");

  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  const PageRecord& rec = rig.pageLog.pages[0];
  EXPECT_EQ(rec.protocol, PageProtocol::kGsc);
  EXPECT_EQ(rec.speed, 600);
  EXPECT_EQ(rec.levels, 2);
  EXPECT_STREQ(rec.capcode, "657141");
  EXPECT_EQ(rec.function, 1);
  EXPECT_STREQ(rec.type, "numeric");
  // The record has the page as its type reads (the digits); the characters beside it.
  EXPECT_EQ(std::string(rec.text), "987654321012");
  EXPECT_EQ(std::string(rec.alphaText), test::gsc::CharReading(block[0]));
  EXPECT_EQ(rec.filter, -1);
}

TEST_F(GscDecoderTest, ShowNumericOffStillShowsAndRecordsANumericPage) {
  // The setting hides POCSAG and FLEX numeric pages only: a GSC page carries
  // no type, so its digits may be a message.
  rig.settings.showNumeric = 0;
  const std::vector<uint64_t> block = GscNumericBlocks("987654321012");
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(block);
  Send();
  EXPECT_EQ(Texts(), RowsOf({PageOf(657141, 1, block)}));
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 1);
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "numeric");
}

TEST_F(GscDecoderTest, ComplementsGiveTheFunction) {
  // Function = 1 + (second word inverted) + 2 * (first word inverted); the
  // capcode stays the same. A complemented preamble lets four pages through.
  const std::vector<uint64_t> block = GscNumericBlocks("1");
  Header(3, true);
  Address(kEntry7, 0x123);
  Blocks(block);
  Address(kEntry7, 0x123 ^ 0xFFF);
  Blocks(block);
  Address(kEntry7 ^ kComplement, 0x123);
  Blocks(block);
  Address(kEntry7 ^ kComplement, 0x123 ^ 0xFFF);
  Blocks(block);
  Send();
  std::vector<ExpectedPage> pages;
  for (int f = 1; f <= 4; ++f) pages.push_back(PageOf(657141, f, block));
  EXPECT_EQ(Texts(), RowsOf(pages));
  ASSERT_EQ(rig.pageLog.pages.size(), 4u);
  EXPECT_EQ(rig.pageLog.pages[3].function, 4);
}

TEST_F(GscDecoderTest, CapcodeDigitsFromEveryPart) {
  // Entry 20, preamble 9, v = 1234 (q 24, r 34): A 20, B 6, C 34, T 9.
  // Entry 20, preamble 0, v = 50 * 7 + 5 (q 7): A 70, B 1, C 55, T 0.
  const std::vector<uint64_t> block = GscNumericBlocks("42");
  Header(9, false);
  Address(kEntry20, 1234);
  Blocks(block);
  Header(0, false);
  Address(kEntry20, 355);
  Blocks(block);
  // Entry 49, preamble 9, v = 2047 (q 40, r 47): B is 10 and carries into the
  // thousands: 49000 + 1000 + 47, T (9 - 9) mod 10 = 0.
  Header(9, false);
  Address(0x28B0A0, 2047);
  Blocks(block);
  Send();
  EXPECT_EQ(Texts(),
            RowsOf({PageOf(920634, 1, block), PageOf(70155, 1, block), PageOf(50047, 1, block)}));
  EXPECT_EQ(Texts()[1].substr(0, 10), "(070155) 1");
}

TEST_F(GscDecoderTest, StartCodeNeedsThreePreambleMatches) {
  Header(3, false, 2);
  Address(kEntry7, 0x123);
  Blocks(GscNumericBlocks("5"));
  Send();
  EXPECT_EQ(gsc.decoding, 0);
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 0);
}

TEST_F(GscDecoderTest, FourBlocksOfEightCharactersAreAlphaOnly) {
  const std::string text = "THE QUICK BROWN FOX JUMPS OVER L";  // 32 characters
  const std::vector<uint64_t> blocks = GscAlphaBlocks(text);
  ASSERT_EQ(blocks.size(), 4u);
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(blocks);
  Send();
  const std::vector<test::Row> rows = PageRows(rig.rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, "(657141) 1 " + text);
  EXPECT_EQ(rows[0].slots, PageOf(657141, 1, blocks).Slots());
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatAlpha], 1);
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 0);
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "alpha");
  EXPECT_EQ(std::string(rig.pageLog.pages[0].text), text);
}

TEST_F(GscDecoderTest, TwentyFourCharactersStayNumeric) {
  const std::vector<uint64_t> blocks = GscAlphaBlocks("ABCDEFGHIJKLMNOPQRSTUVWX");
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(blocks);
  Send();
  const ExpectedPage page = PageOf(657141, 1, blocks);
  ASSERT_FALSE(page.IsAlpha());
  EXPECT_EQ(Texts(), RowsOf({page}));
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 1);
}

TEST_F(GscDecoderTest, TwelfthBlockEndsThePageAndIsNotAppended) {
  // Five characters and the end marker per block: eleven blocks fit the text
  // (55 characters), so a missing twelfth block is the limit at work.
  std::vector<uint64_t> blocks;
  for (int i = 0; i < 13; ++i) {
    const std::string letters(5, static_cast<char>('A' + i));
    uint64_t b = GscAlphaBlocks(letters)[0];
    b |= uint64_t{1} << 48;
    blocks.push_back(b);
  }
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(blocks);
  Send();
  std::string expected;
  for (int i = 0; i < 11; ++i) expected += std::string(5, static_cast<char>('A' + i));
  EXPECT_EQ(Texts(), RowsOf("(657141) 1 " + expected));
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatAlpha], 1);
  // The twelfth block used the direct preamble's only slot.
  EXPECT_EQ(gsc.decoding, 0);
}

TEST_F(GscDecoderTest, TextLimitsOfTwentyFourDigitsAndEightyCharacters) {
  const std::string text(100, 'Z');
  const std::vector<uint64_t> blocks = GscAlphaBlocks(text);  // 13 blocks
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(blocks);
  Send();
  EXPECT_EQ(Texts(), RowsOf("(657141) 1 " + std::string(80, 'Z')));
  EXPECT_EQ(gsc.alphaText, std::string(80, 'Z'));
  EXPECT_EQ(std::strlen(gsc.numericText), 24u);
}

TEST_F(GscDecoderTest, TwoAddressesInARowWriteATonePage) {
  const std::vector<uint64_t> block = GscNumericBlocks("123");
  Header(3, true);
  Address(kEntry7, 0x123);
  Address(kEntry7, 0x124);
  Blocks(block);
  Send();
  const std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], "(657141) 1  ");
  EXPECT_EQ(texts[1], PageOf(657142, 1, block).Line());
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 2);
  ASSERT_EQ(rig.pageLog.pages.size(), 2u);
  EXPECT_EQ(std::string(rig.pageLog.pages[0].text), "");
}

TEST_F(GscDecoderTest, EndMarkerEndsOnlyItsBlock) {
  // "ABC" then the end marker; the next blocks' characters continue the text.
  std::vector<uint64_t> blocks = GscAlphaBlocks("ABC");
  blocks[0] |= uint64_t{1} << 48;
  for (uint64_t b : GscAlphaBlocks("DEFGHIJKLMNOPQRSTUVWXYZ[]")) blocks.push_back(b);
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(blocks);
  Send();
  EXPECT_EQ(Texts(), RowsOf("(657141) 1 ABCDEFGHIJKLMNOPQRSTUVWXYZ[]"));
}

TEST_F(GscDecoderTest, DirectPreambleEndsAfterTheFirstFinishedPage) {
  const std::vector<uint64_t> block = GscNumericBlocks("77");
  Header(3, false);
  Address(kEntry7, 0x123);
  Blocks(block);
  Address(kEntry7, 0x124);
  Blocks(block);
  Send();
  EXPECT_EQ(Texts(), RowsOf({PageOf(657141, 1, block)}));
}

TEST_F(GscDecoderTest, RepeatedStartCodeGrantsSixteenSlots) {
  const std::vector<uint64_t> block = GscNumericBlocks("77");
  Header(3, false);
  w.StartCode();
  Address(kEntry7, 0x123);
  Blocks(block);
  Address(kEntry7, 0x124);
  Blocks(block);
  Send();
  EXPECT_EQ(Texts(), RowsOf({PageOf(657141, 1, block), PageOf(657142, 1, block)}));
}

TEST_F(GscDecoderTest, BatchEndsWhenItsSlotsAreUsed) {
  // Sixteen tone-only addresses use the whole batch; the last page is written
  // when the transmission ends.
  Header(3, true);
  for (uint32_t i = 0; i < 16; ++i) Address(kEntry7, 0x100 + i);
  Send();
  EXPECT_EQ(gsc.decoding, 0);
  const std::vector<std::string> texts = Texts();
  ASSERT_EQ(texts.size(), 16u);
  EXPECT_EQ(texts[0], "(657106) 1  ");   // v 256: q 5, r 6
  EXPECT_EQ(texts[15], "(657121) 1  ");  // v 271: q 5, r 21
  EXPECT_STREQ(rig.caption.text(), " Skelmar");
}

TEST_F(GscDecoderTest, PairErrorsRejectADamagedFirstWordEitherWay) {
  // Single samples changed in the first word: the word still reads the same,
  // but its sample pairs disagree. Three are tolerated, four are not, for a
  // direct and for a complemented word alike.
  for (const bool complemented : {false, true}) {
    for (const int damaged : {3, 4}) {
      SCOPED_TRACE(testing::Message() << complemented << " " << damaged);
      test::Rig local;
      GscDecoder decoder(local.gscPages, local.front);
      siggen::GscBitWriter bits;
      bits.Comma(28);
      bits.Preamble(3, true, 3);
      bits.StartCode();
      const size_t slot = bits.bits().size();
      bits.AddressSlot({kEntry7 ^ (complemented ? kComplement : 0), GscGolayCodeword(0x123), 0});
      for (int k = 0; k < damaged; ++k) bits.bits()[slot + 28 + 2 * (5 * k)] ^= 1;
      bits.BlockSlot(GscNumericBlocks("9")[0]);
      bits.Constant(0, 121 * 16);
      for (uint8_t b : bits.bits()) decoder.PutBit(b);
      const std::vector<std::string> texts = local.rows.Texts();
      if (damaged == 3) {
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].substr(0, 10), complemented ? "(657141) 3" : "(657141) 1");
      } else {
        EXPECT_TRUE(texts.empty());
      }
    }
  }
}

TEST_F(GscDecoderTest, GolayCorrectsAddressWords) {
  // Three word bits wrong in each address word (both samples of a pair, so
  // no pair errors) and three pair errors: still the same page.
  const std::vector<uint64_t> block = GscNumericBlocks("31");
  Header(3, false);
  Send();
  const uint32_t first = kEntry7 ^ 0x000111;
  const uint32_t second = GscGolayCodeword(0x123) ^ 0x400801;
  w.AddressSlot({first, second, 0});
  for (int k : {1, 2, 3}) w.bits()[28 + 2 * k] ^= 1;
  Blocks(block);
  Send();
  EXPECT_EQ(Texts(), RowsOf({PageOf(657141, 1, block)}));
}

TEST_F(GscDecoderTest, ComplementedPreambleMatchesAreStrict) {
  // Two samples wrong in a complemented preamble word are one too many; the
  // same damage in a direct word is tolerated.
  for (const bool complemented : {false, true}) {
    SCOPED_TRACE(complemented);
    test::Rig local;
    GscDecoder decoder(local.gscPages, local.front);
    siggen::GscBitWriter bits;
    bits.Comma(28);
    bits.Preamble(5, complemented, 1);
    bits.bits()[28 + 3] ^= 1;
    bits.bits()[28 + 20] ^= 1;
    for (uint8_t b : bits.bits()) decoder.PutBit(b);
    EXPECT_EQ(decoder.preambleCount, complemented ? 0 : 1);
    if (!complemented) {
      EXPECT_EQ(decoder.preambleIndex, 5);
    }
  }
}

TEST_F(GscDecoderTest, HuntGivesUpAfter949BitsFromTheFirstMatch) {
  rig.caption.ShowModeTitle(kModePocsag | kModePhaseC);
  w.Preamble(4, false, 2);  // matches at its 46th and 92nd bit
  Send();
  ASSERT_EQ(gsc.preambleCount, 2);
  // 45 unmatched bits lay between the two matches.
  Zeros(949 - 45 - 1);
  EXPECT_EQ(gsc.preambleCount, 2);
  EXPECT_STREQ(rig.caption.text(), " Skelmar - POCSAG 1200");
  Zeros(1);
  EXPECT_EQ(gsc.preambleCount, 0);
  EXPECT_EQ(rig.front.shared.gscBusy, 0);
  EXPECT_STREQ(rig.caption.text(), " Skelmar");
  // Counting starts afresh: two more matches are not enough for a start code.
  w.Preamble(4, false, 2);
  w.StartCode();
  Address(kEntry7, 0x123);
  Blocks(GscNumericBlocks("1"));
  Send();
  EXPECT_TRUE(Texts().empty());
}

TEST_F(GscDecoderTest, APocsagLockEndsTheBatchAndTheCaptionStaysPocsags) {
  // A complemented preamble leaves the batch room for more pages: only the
  // newcomer can end it here.
  const std::vector<uint64_t> block = GscNumericBlocks("42");
  Header(3, true);
  Address(kEntry7, 0x123);
  Blocks(block);
  Send();
  ASSERT_EQ(gsc.decoding, 1);
  ASSERT_EQ(Texts(), RowsOf({PageOf(657141, 1, block)}));

  // A POCSAG 1200 preamble through the front end, with no GSC bits meanwhile,
  // ending before a second lock could set the caption again.
  rig.settings.decodeGolay = 0;
  std::vector<PulseSample> preamble;
  for (int i = 0; i < 200; ++i) preamble.push_back({994, static_cast<uint8_t>(i % 2 ? 0x80 : 0)});
  rig.Feed(preamble);

  EXPECT_GT(rig.front.shared.pocsagHold, 0);
  EXPECT_EQ(gsc.decoding, 0);
  EXPECT_EQ(rig.front.shared.gscBusy, 0);
  EXPECT_EQ(Texts(), RowsOf({PageOf(657141, 1, block)}));
  EXPECT_STREQ(rig.caption.text(), " Skelmar - POCSAG 1200");
}

TEST_F(GscDecoderTest, BlockWithoutContinuationEndsTheChainEvenWithNoPagePending) {
  // Thirteen blocks all announcing a continuation but the last: the twelfth
  // writes the page, the thirteenth ends the chain, and the next address is
  // read as an address again.
  std::vector<uint64_t> blocks;
  for (int i = 0; i < 13; ++i) blocks.push_back(GscAlphaBlocks("ABC")[0] | (uint64_t{1} << 48));
  blocks.back() &= ~(uint64_t{1} << 48);
  const std::vector<uint64_t> last = GscNumericBlocks("2");
  Header(3, true);
  Address(kEntry7, 0x123);
  Blocks(blocks);
  Address(kEntry7, 0x124);
  Blocks(last);
  Send();
  std::string text;
  for (int i = 0; i < 11; ++i) text += "ABC";
  EXPECT_EQ(Texts(),
            RowsOf({PageOf(657141, 1, std::vector<uint64_t>(blocks.begin(), blocks.begin() + 11)),
                    PageOf(657142, 1, last)}));
  EXPECT_EQ(Texts()[0], "(657141) 1 " + text);
}

TEST_F(GscDecoderTest, StrayContinuedBlockDoesNotHideLaterAddresses) {
  // A block announcing a continuation after the page was written, then one
  // without: the chain is over and the next address is a page again.
  const std::vector<uint64_t> first = GscNumericBlocks("1");
  const std::vector<uint64_t> second = GscNumericBlocks("2");
  Header(3, true);
  Address(kEntry7, 0x123);
  Blocks(first);
  Blocks(GscNumericBlocks(std::string(13, '5')));  // two blocks, the first continued
  Address(kEntry7, 0x124);
  Blocks(second);
  Send();
  EXPECT_EQ(Texts(), RowsOf({PageOf(657141, 1, first), PageOf(657142, 1, second)}));
}

TEST_F(GscDecoderTest, FilterOnGscCapcodeAndFunction) {
  FilterEntry any;
  any.type = kFilterGsc;
  std::strcpy(any.capcode, "6571??");
  any.function = 2;
  std::strcpy(any.label, "Two");
  FilterEntry pocsag;
  pocsag.type = kFilterPocsag;
  std::strcpy(pocsag.capcode, "0657141");
  FilterEntry exact;
  exact.type = kFilterGsc;
  std::strcpy(exact.capcode, "657141");
  std::strcpy(exact.label, "Exact");
  rig.filters.entries[0] = any;
  rig.filters.entries[1] = pocsag;
  rig.filters.entries[2] = exact;
  rig.filters.count = 3;
  const std::vector<uint64_t> block = GscNumericBlocks("1");
  Header(3, true);
  Address(kEntry7, 0x123);  // function 1: only the exact entry
  Blocks(block);
  Address(kEntry7, 0x123 ^ 0xFFF);  // function 2: the wildcard entry first
  Blocks(block);
  Address(kEntry7, 0x124);  // 657142: no entry
  Blocks(block);
  Send();
  ASSERT_EQ(rig.pageLog.pages.size(), 3u);
  EXPECT_EQ(rig.pageLog.pages[0].filter, 2);
  EXPECT_EQ(rig.pageLog.pages[1].filter, 0);
  EXPECT_EQ(rig.pageLog.pages[2].filter, -1);
  EXPECT_EQ(rig.filters.matchedFilter, -1);
  // Matched lines went to the filter pane as well.
  int filterRows = 0;
  for (int i = 0; i < rig.filterPane.lineCount; ++i) {
    if (std::strstr(rig.filterPane.lines[i], "657141") != nullptr) ++filterRows;
  }
  EXPECT_EQ(filterRows, 2);
}

}  // namespace
}  // namespace skelmar
