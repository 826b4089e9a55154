// GSC pages from slicer edges to monitor lines: the transmitter model's bits
// at 600 bit/s through the front end's clock into the decoder and the panes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "gsc/gsc_decoder.h"
#include "gsc/gsc_expect.h"
#include "gsc_encoder.h"
#include "support/rig.h"

namespace skelmar {
namespace {

using siggen::EncodeGscTransmission;
using siggen::GscNumericBlocks;
using siggen::GscPage;
using siggen::GscPageKind;
using test::gsc::ExpectedPage;
using test::gsc::PageOf;
using test::gsc::RowsOf;

// Capcodes that share preamble 3: (T + A mod 10) mod 10 = 3.
const GscPage kTone1{300000, 1, GscPageKind::kTone, ""};
const GscPage kNumeric1{201999, 2, GscPageKind::kNumeric, "911"};
const GscPage kAlpha1{43210, 4, GscPageKind::kAlpha, "Meet at gate 7 at 10:30 [urgent]"};
const GscPage kTone2{657141, 3, GscPageKind::kTone, ""};
const GscPage kNumeric2{43210, 1, GscPageKind::kNumeric, "0123456789U-)("};

std::vector<ExpectedPage> ExpectedBatch() {
  // Tone pages show an empty reading: the capcode and two blanks.
  return {
      ExpectedPage{300000, 1, "", ""},
      PageOf(201999, 2, GscNumericBlocks("911")),
      ExpectedPage{43210, 4, "", "MEET AT GATE 7 AT 10:30 [URGENT]"},
      ExpectedPage{657141, 3, "", ""},
      PageOf(43210, 1, GscNumericBlocks("0123456789U-)(")),
  };
}

class GscEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override { rig.front.Attach(nullptr, nullptr, &gsc); }

  void Transmit(const std::vector<uint8_t>& bits, const siggen::ModulatorOptions& options,
                double idleAfter = 4.0) {
    ASSERT_FALSE(bits.empty());
    writer.Hold(0, 0.3, options);
    siggen::AppendGscBits(writer, bits, options);
    writer.Hold(0, idleAfter, options);
  }
  void Run() { rig.Feed(writer.Finish()); }

  test::Rig rig;
  GscDecoder gsc{rig.gscPages, rig.front};
  siggen::EdgeWriter writer{7};
};

std::vector<uint8_t> Batch() {
  siggen::GscTransmitOptions options;
  options.batch = true;
  return EncodeGscTransmission({kTone1, kNumeric1, kAlpha1, kTone2, kNumeric2}, options);
}

TEST_F(GscEndToEndTest, NumericPageAfterDirectPreamble) {
  const GscPage page{657141, 1, GscPageKind::kNumeric, "5551234"};
  Transmit(EncodeGscTransmission({page}, {}), {});
  Run();
  const ExpectedPage expected = PageOf(657141, 1, GscNumericBlocks("5551234"));
  EXPECT_EQ(expected.numeric, "5551234     ");
  const std::vector<test::Row> rows = test::gsc::PageRows(rig.rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, expected.Line());
  EXPECT_EQ(rows[0].slots, expected.Slots());
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 1);
  EXPECT_EQ(rig.front.shared.gscBusy, 0);
  EXPECT_STREQ(rig.caption.text(), " Skelmar");
}

TEST_F(GscEndToEndTest, AlphaPageWithContinuationBlocks) {
  const GscPage page{999999, 2, GscPageKind::kAlpha,
                     "Call the duty engineer on 555-0199, pump 4 tripped."};
  Transmit(EncodeGscTransmission({page}, {}), {});
  Run();
  const std::string line = "(999999) 2 CALL THE DUTY ENGINEER ON 555-0199, PUMP 4 TRIPPED.";
  const std::vector<test::Row> rows = test::gsc::PageRows(rig.rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].text, line);
  EXPECT_EQ(rows[0].slots, (ExpectedPage{999999, 2, "", line.substr(11)}.Slots()));
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatAlpha], 1);
  ASSERT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_STREQ(rig.pageLog.pages[0].capcode, "999999");
  EXPECT_EQ(rig.pageLog.pages[0].function, 2);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "alpha");
  EXPECT_EQ(std::string(rig.pageLog.pages[0].text), line.substr(11));
}

TEST_F(GscEndToEndTest, APageCutByTheEndOfTheSignalIsWrittenWithWhatArrived) {
  const GscPage page{999999, 2, GscPageKind::kAlpha,
                     "Call the duty engineer on 555-0199, pump 4 tripped."};
  std::vector<uint8_t> bits = EncodeGscTransmission({page}, {});
  bits.resize(bits.size() - 2 * GscDecoder::kSlotLength);  // the last two blocks never come
  Transmit(bits, {}, 0.0);
  Run();
  ASSERT_TRUE(test::gsc::PageRows(rig.rows).empty());  // still waiting for the rest
  rig.front.EndOfSignal();
  const std::string full = "(999999) 2 CALL THE DUTY ENGINEER ON 555-0199, PUMP 4 TRIPPED.";
  const std::vector<test::Row> rows = test::gsc::PageRows(rig.rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_LT(rows[0].text.size(), full.size());
  EXPECT_GT(rows[0].text.size(), 20u);
  EXPECT_EQ(full.rfind(rows[0].text, 0), 0u) << rows[0].text;
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatAlpha], 1);
  EXPECT_EQ(rig.pageLog.pages.size(), 1u);
  EXPECT_EQ(rig.front.shared.gscBusy, 0);
}

TEST_F(GscEndToEndTest, LongAlphaPageWrapsAtEightyColumns) {
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ";  // 63
  const GscPage page{123456, 1, GscPageKind::kAlpha, text + text};
  siggen::GscTransmitOptions options;
  options.preambleIndex = (1 + 23) % 10;
  Transmit(EncodeGscTransmission({page}, options), {});
  Run();
  // Ten blocks of text at most: 80 characters.
  EXPECT_EQ(rig.rows.Texts(), RowsOf("(123456) 1 " + (text + text).substr(0, 80)));
}

TEST_F(GscEndToEndTest, BatchOfMixedPagesAfterComplementedPreamble) {
  Transmit(Batch(), {});
  Run();
  EXPECT_EQ(rig.rows.Texts(), RowsOf(ExpectedBatch()));
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatNumeric], 4);
  EXPECT_EQ(rig.stats.daily[kRowGsc][kStatAlpha], 1);
  EXPECT_EQ(rig.stats.daily[kRowPocsag512][kStatNumeric], 0);
  ASSERT_EQ(rig.pageLog.pages.size(), 5u);
  EXPECT_STREQ(rig.pageLog.pages[0].type, "numeric");
  EXPECT_STREQ(rig.pageLog.pages[2].capcode, "043210");
  EXPECT_EQ(rig.pageLog.pages[3].function, 3);
}

struct Impairment {
  const char* name;
  double ppm;
  double jitter;
  bool invert;
  uint8_t line;
};

class GscImpairmentTest : public GscEndToEndTest,
                          public ::testing::WithParamInterface<Impairment> {};

TEST_P(GscImpairmentTest, BatchDecodesUnchanged) {
  const Impairment& p = GetParam();
  siggen::ModulatorOptions options;
  options.clockOffsetPpm = p.ppm;
  options.jitter = p.jitter;
  options.invert = p.invert;
  options.line = p.line;
  rig.settings.invertData = p.invert ? 1 : 0;
  Transmit(Batch(), options);
  Transmit(EncodeGscTransmission({kNumeric1}, {}), options);
  Run();
  std::vector<ExpectedPage> expected = ExpectedBatch();
  expected.push_back(PageOf(201999, 2, GscNumericBlocks("911")));
  EXPECT_EQ(rig.rows.Texts(), RowsOf(expected));
}

INSTANTIATE_TEST_SUITE_P(Slicer, GscImpairmentTest,
                         ::testing::Values(Impairment{"clean", 0, 0, false, siggen::kLineDcd},
                                           Impairment{"fast", 300, 0.05, false, siggen::kLineDcd},
                                           Impairment{"slow", -300, 0.05, false, siggen::kLineCts},
                                           Impairment{"jitter", 0, 0.2, false, siggen::kLineDsr},
                                           Impairment{"inverted", 100, 0.1, true,
                                                      siggen::kLineDcd}),
                         [](const ::testing::TestParamInfo<Impairment>& param) {
                           return std::string(param.param.name);
                         });

TEST_F(GscEndToEndTest, AddressWordErrorsAreCorrected) {
  const GscPage page{657141, 3, GscPageKind::kNumeric, "42"};
  std::vector<uint8_t> bits = EncodeGscTransmission({page}, {});
  // Both samples of three word bits in each word of the start code and the
  // address (word bits, not pair disagreements), and one stray sample in the
  // last preamble words.
  const size_t preamble = 28;
  const size_t start = preamble + 18 * 46;
  const size_t address = start + 121;
  for (size_t slot : {start, address}) {
    for (size_t wordStart : {slot + 28, slot + 75}) {
      for (int k : {2, 9, 20}) {
        bits[wordStart + 2 * k] ^= 1;
        bits[wordStart + 2 * k + 1] ^= 1;
      }
    }
  }
  for (int r = 14; r < 18; ++r) bits[preamble + 46 * r + 7] ^= 1;
  Transmit(bits, {});
  Run();
  EXPECT_EQ(rig.rows.Texts(), RowsOf({PageOf(657141, 3, GscNumericBlocks("42"))}));
}

TEST_F(GscEndToEndTest, DataBlockErrorsShowAsWrongDigits) {
  const GscPage page{657141, 1, GscPageKind::kNumeric, "000000000000"};
  std::vector<uint8_t> bits = EncodeGscTransmission({page}, {});
  // Sample 8 of the block is bit 1 of word 0: information bit 1, the second
  // bit of the first digit.
  const size_t block = 28 + 18 * 46 + 2 * 121 + 1;
  bits[block + 8] ^= 1;
  Transmit(bits, {});
  Run();
  const std::vector<std::string> texts = rig.rows.Texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].substr(0, 24), "(657141) 1 200000000000 ");
}

TEST_F(GscEndToEndTest, RandomBitErrorsLoseFewPagesAndInventNone) {
  // Forty pages, each its own transmission, with one bit in 500 flipped on
  // the air: the Golay words carry almost every capcode through; text may
  // suffer, capcodes must not.
  constexpr int kPages = 40;
  int flipped = 0;
  for (int i = 0; i < kPages; ++i) {
    const int32_t capcode = 100000 * ((3 + 10 - (i % 10)) % 10) + 1000 * i + 7;  // preamble 3
    std::vector<uint8_t> bits =
        EncodeGscTransmission({{capcode, 1 + i % 4, GscPageKind::kNumeric, "12345"}}, {});
    flipped += siggen::InjectBitErrors(bits, 0.002, static_cast<uint32_t>(100 + i));
    Transmit(bits, {}, 0.5);
  }
  Run();
  ASSERT_GT(flipped, 40);
  int good = 0;
  for (const PageRecord& page : rig.pageLog.pages) {
    const int i = (std::atoi(page.capcode) / 1000) % 100;
    char expected[16];
    std::snprintf(expected, sizeof expected, "%06d",
                  100000 * ((3 + 10 - (i % 10)) % 10) + 1000 * i + 7);
    EXPECT_STREQ(page.capcode, expected);
    EXPECT_EQ(page.function, 1 + i % 4) << page.capcode;
    if (std::strcmp(page.capcode, expected) == 0) ++good;
  }
  EXPECT_GE(good, kPages - 3);
  EXPECT_LE(static_cast<int>(rig.pageLog.pages.size()), kPages);
}

TEST_F(GscEndToEndTest, NoiseAfterAShortBatchInventsNoPages) {
  // A batch of five pages uses 8 of its 16 slots; the decoder reads the rest
  // from receiver noise and must not take any of it for an address.
  constexpr int kBatches = 60;
  std::mt19937 rng(1600);
  const std::vector<uint8_t> batch = Batch();
  for (int i = 0; i < kBatches; ++i) {
    std::vector<uint8_t> bits = batch;
    for (int n = 0; n < 3000; ++n) bits.push_back(static_cast<uint8_t>(rng() & 1));
    Transmit(bits, {}, 0.0);
  }
  Run();
  std::vector<ExpectedPage> expected;
  for (int i = 0; i < kBatches; ++i) {
    for (ExpectedPage& page : ExpectedBatch()) expected.push_back(std::move(page));
  }
  EXPECT_EQ(rig.rows.Texts(), RowsOf(expected));
}

TEST_F(GscEndToEndTest, FilterMatchesGscCapcodeWithFunction) {
  FilterEntry entry;
  entry.type = kFilterGsc;
  std::strcpy(entry.capcode, "04321?");
  entry.function = 4;
  std::strcpy(entry.label, "Gate");
  rig.filters.entries[0] = entry;
  rig.filters.count = 1;
  Transmit(Batch(), {});
  Run();
  ASSERT_EQ(rig.pageLog.pages.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(rig.pageLog.pages[i].filter, i == 2 ? 0 : -1) << i;
  int matched = 0;
  for (int i = 0; i < rig.filterPane.lineCount; ++i) {
    const char* line = rig.filterPane.lines[i];
    if (std::strstr(line, "043210") != nullptr) {
      ++matched;
      EXPECT_NE(std::strstr(line, "Gate"), nullptr) << line;
      EXPECT_NE(std::strstr(line, "MEET AT GATE"), nullptr) << line;
    }
  }
  EXPECT_EQ(matched, 1);
}

}  // namespace
}  // namespace skelmar
