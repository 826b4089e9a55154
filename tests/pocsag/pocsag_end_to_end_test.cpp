// POCSAG from the air to the pane: encoded pages become slicer edges, run through
// the front end's rate detector and data clock into the decoder, and come out as rows.
#include <gtest/gtest.h>

#include <cstring>

#include "pocsag/pocsag_decoder.h"
#include "pocsag_test_model.h"

namespace skelmar::test {
namespace {

using siggen::EncodePocsag;
using siggen::ModulatorOptions;
using siggen::PocsagKind;
using siggen::PocsagPage;
using siggen::PocsagRole;
using siggen::PocsagTransmission;

// A receiver's view of one or more transmissions: quiet carrier, bursts, gaps.
class Air {
 public:
  explicit Air(ModulatorOptions mod = {}) : mod_(mod), writer_(mod.randomStart) {
    writer_.Hold(3, 0.05, mod_);
  }
  Air& Send(const std::vector<uint8_t>& bits, double rate) {
    siggen::AppendPocsag(writer_, bits, rate, mod_);
    return *this;
  }
  Air& Gap(double seconds) {
    writer_.Hold(0, seconds, mod_);
    return *this;
  }
  /// Ends with half a second of steady carrier: long enough for any hold to run out.
  std::vector<PulseSample> Finish() {
    Gap(0.5);
    return writer_.Finish();
  }

 private:
  ModulatorOptions mod_;
  siggen::EdgeWriter writer_;
};

int RowOfRate(double rate) {
  return rate == 2400 ? kRowPocsag2400 : rate == 1200 ? kRowPocsag1200 : kRowPocsag512;
}

void ExpectRows(const std::vector<Row>& actual, const std::vector<Row>& expected) {
  ASSERT_EQ(actual.size(), expected.size())
      << "first row: " << (actual.empty() ? "(none)" : actual[0].text);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(actual[i].text, expected[i].text) << "row " << i;
    EXPECT_EQ(actual[i].slots, expected[i].slots) << "row " << i << ": " << expected[i].text;
  }
}

class PocsagOnAir : public ::testing::TestWithParam<double> {
 protected:
  PocsagOnAir() {
    options.alphaFill = ' ';
    rig.front.Attach(&decoder, nullptr, nullptr);
  }

  static std::vector<PocsagPage> MixedPages() {
    std::string longText;
    for (int i = 0; i < 150; ++i) longText.push_back(static_cast<char>('A' + i % 26));
    return {
        {1234, 0, PocsagKind::kNumeric, "0123456789"},                   // frame 2
        {4003, 1, PocsagKind::kTone, ""},                                // frame 3
        {6220, 3, PocsagKind::kAlpha, "Meet at the north gate, 10:30"},  // frame 4
        {8 * 400 + 4, 2, PocsagKind::kAlpha, longText},                  // 53 codewords
        {8 * 401 + 1, 0, PocsagKind::kNumeric, "555-0199"},
        {8 * 402 + 1, 1, PocsagKind::kTone, ""},
        {8 * 403 + 1, 2, PocsagKind::kAlpha, "Last"},
    };
  }

  std::vector<Line> Expected(const std::vector<PocsagPage>& pages) const {
    std::vector<Line> lines;
    for (const PocsagPage& p : pages) lines.push_back(ExpectedLine(p, options));
    return lines;
  }

  Rig rig;
  PocsagDecoder decoder{rig.settings, rig.pocsagPages, rig.front, rig.bch};
  siggen::PocsagEncodeOptions options;
};

TEST_P(PocsagOnAir, MixedPagesComeOutAsTheirLines) {
  const double rate = GetParam();
  const std::vector<PocsagPage> pages = MixedPages();
  const PocsagTransmission t = EncodePocsag(pages, options);
  // Tone pages are followed right away by the next address, so both are shown.
  ASSERT_EQ(t.Find(PocsagRole::kAddress, 2), t.Find(PocsagRole::kAddress, 1) + 1);
  ASSERT_EQ(t.Find(PocsagRole::kAddress, 6), t.Find(PocsagRole::kAddress, 5) + 1);
  rig.Feed(Air().Send(t.Bits(), rate).Finish());

  ExpectRows(PageRows(rig.rows), RowsOf(Expected(pages)));
  const int row = RowOfRate(rate);
  EXPECT_EQ(rig.stats.hourly[row][kStatNumeric], 4);
  EXPECT_EQ(rig.stats.hourly[row][kStatAlpha], 3);
  ASSERT_EQ(rig.pageLog.pages.size(), pages.size());
  for (const PageRecord& r : rig.pageLog.pages) EXPECT_EQ(r.speed, static_cast<int>(rate));
  // The carrier went quiet: the hold ran out and the data clock is back on FLEX.
  EXPECT_EQ(rig.front.shared.pocsagHold, 0);
  EXPECT_DOUBLE_EQ(rig.front.dataClock.period, kFlexPeriod1600);
}

TEST_P(PocsagOnAir, CorrectableErrorsLeaveEveryPageUnchanged) {
  const double rate = GetParam();
  const std::vector<PocsagPage> pages = MixedPages();
  std::mt19937 rng(static_cast<uint32_t>(rate));
  PocsagTransmission oneEach = EncodePocsag(pages, options);
  for (size_t i = 0; i < oneEach.codewords.size(); ++i) oneEach.FlipRandomBits(i, 1, rng);
  // Two errors (which do not reload the hold) in every fourth codeword, sync ones
  // included.
  PocsagTransmission twoScattered = EncodePocsag(pages, options);
  for (size_t i = 0; i < twoScattered.codewords.size(); i += 4) {
    twoScattered.FlipRandomBits(i, 2, rng);
  }
  rig.Feed(Air().Send(oneEach.Bits(), rate).Gap(0.5).Send(twoScattered.Bits(), rate).Finish());

  std::vector<Line> lines = Expected(pages);
  const std::vector<Line> once = lines;
  lines.insert(lines.end(), once.begin(), once.end());
  ExpectRows(PageRows(rig.rows), RowsOf(lines));
}

TEST_P(PocsagOnAir, ImpairedSlicerTimingAndPolarityDecodeTheSame) {
  const double rate = GetParam();
  const std::vector<PocsagPage> pages = MixedPages();
  const PocsagTransmission t = EncodePocsag(pages, options);

  ModulatorOptions fast;
  fast.clockOffsetPpm = 150;
  fast.jitter = 0.08;
  fast.randomStart = 5;
  ModulatorOptions slowCts;
  slowCts.clockOffsetPpm = -150;
  slowCts.jitter = 0.08;
  slowCts.line = siggen::kLineCts;
  slowCts.randomStart = 6;
  rig.Feed(Air(fast).Send(t.Bits(), rate).Finish());
  rig.Feed(Air(slowCts).Send(t.Bits(), rate).Finish());

  Rig inverted;
  PocsagDecoder invertedDecoder(inverted.settings, inverted.pocsagPages, inverted.front,
                                inverted.bch);
  inverted.front.Attach(&invertedDecoder, nullptr, nullptr);
  inverted.settings.invertData = 1;
  inverted.settings.fourLevelInterface = 1;
  ModulatorOptions flipped;
  flipped.invert = true;
  flipped.fourLevel = true;
  flipped.jitter = 0.05;
  inverted.Feed(Air(flipped).Send(t.Bits(), rate).Finish());

  std::vector<Line> lines = Expected(pages);
  ExpectRows(PageRows(inverted.rows), RowsOf(lines));
  const std::vector<Line> once = lines;
  lines.insert(lines.end(), once.begin(), once.end());
  ExpectRows(PageRows(rig.rows), RowsOf(lines));
}

TEST_P(PocsagOnAir, SignalLostMidMessageEndsTheStreamedLineWhenTheHoldRunsOut) {
  const double rate = GetParam();
  const std::string text(60, 'p');
  const std::vector<PocsagPage> pages = {{8 * 20 + 3, 0, PocsagKind::kAlpha, text}};
  const PocsagTransmission t = EncodePocsag(pages, options);
  // The carrier goes at the end of the first batch: the message has had nine
  // codewords (slots 7 to 15), 180 bits, 25 whole characters. A steady line
  // brings no sync codeword, so no reload: the hold runs out and ends the line.
  ASSERT_EQ(t.codewords[16].role, PocsagRole::kMessage);
  ASSERT_EQ(t.codewords[8].role, PocsagRole::kMessage);
  std::vector<uint8_t> bits = t.Bits();
  bits.resize(static_cast<size_t>(t.preambleBits) + 32 * 17);
  rig.Feed(Air().Send(bits, rate).Finish());

  Line line;
  line.Add(CapcodeText(8 * 20 + 3, 0), kSlotCapcode);
  line.Add(std::string(25, 'p'), kSlotAlphanumeric);
  ExpectRows(PageRows(rig.rows), RowsOf(line));
  EXPECT_EQ(rig.stats.hourly[RowOfRate(rate)][kStatAlpha], 1);
  EXPECT_EQ(rig.front.shared.pocsagHold, 0);
}

INSTANTIATE_TEST_SUITE_P(Rates, PocsagOnAir, ::testing::Values(512.0, 1200.0, 2400.0),
                         [](const ::testing::TestParamInfo<double>& rate) {
                           return "At" + std::to_string(static_cast<int>(rate.param));
                         });

class PocsagOnAirAt1200 : public ::testing::Test {
 protected:
  PocsagOnAirAt1200() {
    options.alphaFill = ' ';
    rig.front.Attach(&decoder, nullptr, nullptr);
  }
  Rig rig;
  PocsagDecoder decoder{rig.settings, rig.pocsagPages, rig.front, rig.bch};
  siggen::PocsagEncodeOptions options;
};

TEST_F(PocsagOnAirAt1200, RunOfTwoErrorCodewordsLetsTheHoldRunOut) {
  const std::vector<PocsagPage> pages = {{8 * 7 + 1, 0, PocsagKind::kAlpha, std::string(40, 'p')},
                                         {8 * 9 + 6, 0, PocsagKind::kNumeric, "12345"}};
  PocsagTransmission t = EncodePocsag(pages, options);
  std::mt19937 rng(21);
  // Every message codeword from the third on has two errors: each is still
  // repaired, but none reloads the hold.
  const size_t third = t.Find(PocsagRole::kMessage, 0, 2);
  for (size_t i = third; i < t.codewords.size(); ++i) {
    if (t.codewords[i].role != PocsagRole::kSync) t.FlipRandomBits(i, 2, rng);
  }
  rig.Feed(Air().Send(t.Bits(), 1200).Finish());

  // The last reload comes with the second message codeword; 169 more bits are
  // delivered before the hold ends: five whole codewords, which complete the
  // seventh and the 20 buffered characters. The second page is never heard.
  Line line;
  line.Add(CapcodeText(8 * 7 + 1, 0), kSlotCapcode);
  line.Add(std::string(20, 'p'), kSlotAlphanumeric);
  ExpectRows(PageRows(rig.rows), RowsOf(line));
  EXPECT_EQ(rig.stats.hourly[kRowPocsag1200][kStatAlpha], 1);
  EXPECT_EQ(rig.stats.hourly[kRowPocsag1200][kStatNumeric], 0);

  // The same transmission with one error per codeword keeps the hold alive.
  Rig clean;
  PocsagDecoder cleanDecoder(clean.settings, clean.pocsagPages, clean.front, clean.bch);
  clean.front.Attach(&cleanDecoder, nullptr, nullptr);
  PocsagTransmission one = EncodePocsag(pages, options);
  for (size_t i = 0; i < one.codewords.size(); ++i) one.FlipRandomBits(i, 1, rng);
  clean.Feed(Air().Send(one.Bits(), 1200).Finish());
  ExpectRows(PageRows(clean.rows),
             RowsOf({ExpectedLine(pages[0], options), ExpectedLine(pages[1], options)}));
}

TEST_F(PocsagOnAirAt1200, BurstOnASyncCodewordLosesItsBatchAndEndsThePage) {
  const std::vector<PocsagPage> pages = {
      {8 * 60 + 1, 0, PocsagKind::kAlpha, std::string(100, 'p')}};
  const PocsagTransmission t = EncodePocsag(pages, options);
  ASSERT_EQ(t.codewords[17].role, PocsagRole::kSync);
  std::vector<uint8_t> bits = t.Bits();
  // Twelve bits of the second sync codeword are wiped out.
  siggen::InjectBurst(bits, static_cast<size_t>(t.preambleBits) + 17 * 32 + 10, 12);
  rig.Feed(Air().Send(bits, 1200).Finish());

  // The first batch carried thirteen message codewords (slots 3 to 15), 260 bits,
  // 37 whole characters. Without the second sync nothing reloads the hold, which
  // runs out within that batch: the rest of the transmission is not heard.
  Line line;
  line.Add(CapcodeText(8 * 60 + 1, 0), kSlotCapcode);
  line.Add(std::string(37, 'p'), kSlotAlphanumeric);
  ExpectRows(PageRows(rig.rows), RowsOf(line));
  EXPECT_EQ(rig.stats.hourly[kRowPocsag1200][kStatAlpha], 1);
}

TEST_F(PocsagOnAirAt1200, UncorrectableAddressIsShownAsQuestionMarks) {
  const std::vector<PocsagPage> pages = {{8 * 30 + 5, 2, PocsagKind::kAlpha, "Unknown sender"}};
  PocsagTransmission t = EncodePocsag(pages, options);
  const size_t a = t.Find(PocsagRole::kAddress);
  // Three errors in the check bits: beyond the code's reach, and the corrector
  // refuses the word rather than changing it.
  t.FlipBits(a, {22, 25, 30});
  Bch3121 probe;
  probe.Load(t.codewords[a].word);
  ASSERT_EQ(probe.Correct(), 3);
  ASSERT_EQ(probe.Word(), t.codewords[a].word);
  rig.Feed(Air().Send(t.Bits(), 1200).Finish());
  ExpectRows(PageRows(rig.rows), RowsOf(ExpectedLine(pages[0], options, "{???????} ")));
}

TEST_F(PocsagOnAirAt1200, RateDetectorRelocksForEachTransmission) {
  const PocsagPage fast{8 * 50 + 2, 0, PocsagKind::kAlpha, "Fast pager network"};
  const PocsagPage slow{8 * 51 + 3, 1, PocsagKind::kNumeric, "512"};
  const PocsagPage middle{8 * 52 + 4, 3, PocsagKind::kAlpha, "Middle speed"};
  ASSERT_EQ(ShownAs(fast, options), Shown::kAlpha);
  ASSERT_EQ(ShownAs(middle, options), Shown::kAlpha);
  Air air;
  air.Send(EncodePocsag({fast}, options).Bits(), 2400)
      .Gap(0.4)
      .Send(EncodePocsag({slow}, options).Bits(), 512)
      // Straight on, without a gap: the 1200 preamble relocks during the 512 hold.
      .Send(EncodePocsag({middle}, options).Bits(), 1200);
  rig.Feed(air.Finish());

  ExpectRows(PageRows(rig.rows), RowsOf({ExpectedLine(fast, options), ExpectedLine(slow, options),
                                         ExpectedLine(middle, options)}));
  EXPECT_EQ(rig.stats.hourly[kRowPocsag2400][kStatAlpha], 1);
  EXPECT_EQ(rig.stats.hourly[kRowPocsag512][kStatNumeric], 1);
  EXPECT_EQ(rig.stats.hourly[kRowPocsag1200][kStatAlpha], 1);
  ASSERT_EQ(rig.pageLog.pages.size(), 3u);
  EXPECT_EQ(rig.pageLog.pages[0].speed, 2400);
  EXPECT_EQ(rig.pageLog.pages[1].speed, 512);
  EXPECT_EQ(rig.pageLog.pages[2].speed, 1200);
}

TEST_F(PocsagOnAirAt1200, FilteredPagesReachTheFilterPane) {
  FilterEntry entry;
  entry.type = kFilterPocsag;
  std::strcpy(entry.capcode, "01?????");
  entry.function = 4;
  std::strcpy(entry.label, "Pager");
  rig.filters.entries[rig.filters.count++] = entry;
  RowCollector filtered;
  rig.filterPane.SetRowObserver(&filtered);

  const std::vector<PocsagPage> pages = {
      {123456, 3, PocsagKind::kAlpha, "Wanted"},      // frame 0, function digit 4
      {123457, 2, PocsagKind::kAlpha, "Not wanted"},  // function digit 3
      {23458, 3, PocsagKind::kAlpha, "Other block"},
  };
  rig.Feed(Air().Send(EncodePocsag(pages, options).Bits(), 1200).Finish());

  std::vector<Line> lines;
  for (const PocsagPage& p : pages) lines.push_back(ExpectedLine(p, options));
  ExpectRows(PageRows(rig.rows), RowsOf(lines));
  const std::vector<Row> copied = PageRows(filtered);
  ASSERT_EQ(copied.size(), 1u);
  EXPECT_NE(copied[0].text.find("{0123456} 4"), std::string::npos);
  EXPECT_NE(copied[0].text.find("Pager"), std::string::npos);
  EXPECT_NE(copied[0].text.find("Wanted"), std::string::npos);
  EXPECT_EQ(rig.stats.hourly[kRowPocsag1200][kStatAlpha], 3);
  EXPECT_EQ(rig.stats.daily[kRowPocsag1200][kStatAlpha], 3);
  ASSERT_EQ(rig.pageLog.pages.size(), 3u);
  EXPECT_EQ(rig.pageLog.pages[0].filter, 0);
  EXPECT_EQ(rig.pageLog.pages[1].filter, -1);
}

}  // namespace
}  // namespace skelmar::test
