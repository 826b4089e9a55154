// Whichever way up the receiver delivers a transmission, the whole monitor
// decodes it: each decoder finds its sync either way up, reads that
// transmission accordingly and says so in the page record; InvertData still
// turns every level first.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "flex_encoder.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"
#include "session/monitor.h"
#include "support/fakes.h"
#include "support/rig.h"

namespace skelmar {
namespace {

/// One transmission appended to the stream with the given modulator options.
using Transmit = std::function<void(siggen::EdgeWriter&, const siggen::ModulatorOptions&)>;

Transmit Pocsag(double rate, std::vector<siggen::PocsagPage> pages) {
  return [=](siggen::EdgeWriter& w, const siggen::ModulatorOptions& o) {
    siggen::AppendPocsag(w, siggen::EncodePocsag(pages).Bits(), rate, o);
  };
}

/// A frame with one alphanumeric page in each phase the mode carries.
Transmit Flex(uint16_t code, std::vector<std::string> texts) {
  return [=](siggen::EdgeWriter& w, const siggen::ModulatorOptions& o) {
    siggen::FlexFrame frame = siggen::FlexFrame::Mode(code);
    for (size_t p = 0; p < texts.size(); ++p) {
      if (texts[p].empty()) continue;  // a phase the mode does not carry
      siggen::FlexPhaseBuilder phase;
      phase.pages = {
          {static_cast<uint32_t>(100001 + p), false, siggen::kFlexAlphanumeric, texts[p]}};
      ASSERT_TRUE(phase.Build(frame.words[p]));
    }
    siggen::AppendFlexFrame(w, frame, o);
  };
}

Transmit Gsc(std::vector<siggen::GscPage> pages, bool batch) {
  return [=](siggen::EdgeWriter& w, const siggen::ModulatorOptions& o) {
    siggen::GscTransmitOptions transmit;
    transmit.batch = batch;
    const std::vector<uint8_t> bits = siggen::EncodeGscTransmission(pages, transmit);
    ASSERT_FALSE(bits.empty());
    siggen::AppendGscBits(w, bits, o);
  };
}

/// What a monitor made of one stream.
struct Heard {
  std::vector<std::string> rows;
  std::vector<test::Row> coloured;
  std::vector<PageRecord> pages;
};

struct Part {
  Transmit transmit;
  bool inverted = false;  ///< sent the other way up
};

/// Runs the parts, with gaps of carrier between them, through a whole
/// monitor the way the program does: a ring, one timer tick per chunk.
Heard Listen(const std::vector<Part>& parts, bool fourLevel, bool invertData) {
  Settings settings;
  settings.fourLevelInterface = fourLevel ? 1 : 0;
  settings.invertData = invertData ? 1 : 0;
  test::FakeClock clock;
  clock.Set(2026, 12, 9, 22, 0, 0);
  test::RecordingMessages messages;
  test::RecordingLauncher launcher;
  test::CountingBeeper beeper;
  Monitor monitor(settings, MonitorServices{clock, messages, launcher, beeper});
  test::RowCollector rows;
  test::PageCollector pages;
  monitor.monitorPane.SetRowObserver(&rows);
  monitor.pages.SetObserver(&pages);
  monitor.Start();

  siggen::EdgeWriter writer(11);
  siggen::ModulatorOptions options;
  options.fourLevel = fourLevel;
  options.clockOffsetPpm = 30;
  options.jitter = 0.03;
  writer.Hold(0, 0.5, options);
  for (const Part& part : parts) {
    siggen::ModulatorOptions o = options;
    o.invert = part.inverted;
    part.transmit(writer, o);
    writer.Hold(0, 1.0, options);
  }
  const std::vector<PulseSample> samples = writer.Finish();
  EdgeRing ring(4096);
  uint32_t w = 0;
  for (size_t i = 0; i < samples.size();) {
    for (int n = 0; n < 300 && i < samples.size(); ++n, ++i) {
      ring.durations()[w] = samples[i].duration;
      ring.statuses()[w] = samples[i].status;
      w = (w + 1) % ring.size();
      ring.writeIndex().store(w, std::memory_order_release);
    }
    monitor.TimerTick(&ring);
  }
  monitor.EndOfSignal(&ring);
  return {rows.Texts(), rows.rows, pages.pages};
}

std::vector<bool> InvertedFlags(const Heard& heard) {
  std::vector<bool> flags;
  for (const PageRecord& p : heard.pages) flags.push_back(p.inverted);
  return flags;
}

struct Mode {
  const char* name;
  Transmit transmit;
  bool fourLevel;
  /// The rows the pages make, as the sent pages give them; a row need only
  /// begin so (GSC shows what follows a short page's digits too).
  std::vector<std::string> rows;
};

void PrintTo(const Mode& m, std::ostream* os) { *os << m.name; }

class EveryMode : public ::testing::TestWithParam<Mode> {};

TEST_P(EveryMode, DecodesTheSameWhicheverWayUpItArrives) {
  const Mode& mode = GetParam();
  const Heard upright = Listen({{mode.transmit, false}}, mode.fourLevel, false);
  ASSERT_EQ(upright.rows.size(), mode.rows.size()) << ::testing::PrintToString(upright.rows);
  for (size_t i = 0; i < mode.rows.size(); ++i) {
    EXPECT_EQ(upright.rows[i].rfind(mode.rows[i], 0), 0u) << upright.rows[i];
  }
  ASSERT_EQ(upright.pages.size(), mode.rows.size());
  EXPECT_EQ(InvertedFlags(upright), std::vector<bool>(mode.rows.size(), false));

  // Sent the other way up, with InvertData on, or both: the same lines and
  // colours; the record says whether the search found it the other way up
  // from what the setting gives.
  for (const auto& [sentInverted, invertData] :
       {std::pair{true, false}, std::pair{false, true}, std::pair{true, true}}) {
    SCOPED_TRACE(std::string(sentInverted ? "sent inverted" : "sent upright") +
                 (invertData ? ", InvertData on" : ""));
    const Heard heard = Listen({{mode.transmit, sentInverted}}, mode.fourLevel, invertData);
    ASSERT_EQ(heard.coloured.size(), upright.coloured.size())
        << ::testing::PrintToString(heard.rows);
    for (size_t i = 0; i < heard.coloured.size(); ++i) {
      EXPECT_EQ(heard.coloured[i].text, upright.coloured[i].text);
      EXPECT_EQ(heard.coloured[i].slots, upright.coloured[i].slots) << heard.coloured[i].text;
    }
    EXPECT_EQ(InvertedFlags(heard),
              std::vector<bool>(mode.rows.size(), sentInverted != invertData));
  }
}

const siggen::PocsagPage kPocsagAlpha{1234560, 3, siggen::PocsagKind::kAlpha,
                                      "Smoke alarm at the depot"};
const siggen::PocsagPage kPocsagNumeric{8, 0, siggen::PocsagKind::kNumeric, "911"};
const siggen::GscPage kGscNumeric{657141, 1, siggen::GscPageKind::kNumeric, "5551234"};
const siggen::GscPage kGscAlpha{657142, 3, siggen::GscPageKind::kAlpha,
                                "MEET AT THE NORTH GATE AT NINE"};

INSTANTIATE_TEST_SUITE_P(
    Polarity, EveryMode,
    ::testing::Values(
        // Numeric POCSAG messages are padded with spaces to whole codewords.
        Mode{"Pocsag512",
             Pocsag(512, {kPocsagAlpha, kPocsagNumeric}),
             false,
             {"{1234560} 4 Smoke alarm at the depot", "{0000008} 1 911  "}},
        Mode{"Pocsag1200",
             Pocsag(1200, {kPocsagAlpha, kPocsagNumeric}),
             false,
             {"{1234560} 4 Smoke alarm at the depot", "{0000008} 1 911  "}},
        Mode{"Pocsag2400",
             Pocsag(2400, {kPocsagAlpha, kPocsagNumeric}),
             false,
             {"{1234560} 4 Smoke alarm at the depot", "{0000008} 1 911  "}},
        Mode{"Flex1600x2",
             Flex(siggen::kFlexCode1600x2, {"TWO LEVELS"}),
             false,
             {"[0100001] A  ALPHA  TWO LEVELS"}},
        Mode{"Flex1600x4",
             Flex(siggen::kFlexCode1600x4, {"PHASE A", "PHASE B"}),
             true,
             {"[0100001] A  ALPHA  PHASE A", "[0100002] B  ALPHA  PHASE B"}},
        Mode{"Flex3200x2",
             Flex(siggen::kFlexCode3200x2, {"PHASE A", "", "PHASE C"}),
             false,
             {"[0100001] A  ALPHA  PHASE A", "[0100003] C  ALPHA  PHASE C"}},
        Mode{"Flex3200x4",
             Flex(siggen::kFlexCode3200x4, {"PHASE A", "PHASE B", "PHASE C", "PHASE D"}),
             true,
             {"[0100001] A  ALPHA  PHASE A", "[0100002] B  ALPHA  PHASE B",
              "[0100003] C  ALPHA  PHASE C", "[0100004] D  ALPHA  PHASE D"}},
        // A direct preamble, and a batch after a complemented one: turned
        // over, each looks like the other until the start code.
        Mode{"GscSingle", Gsc({kGscNumeric}, false), false, {"(657141) 1 5551234"}},
        Mode{"GscBatch",
             Gsc({kGscNumeric, kGscAlpha}, true),
             false,
             {"(657141) 1 5551234", "(657142) 3 MEET AT THE NORTH GATE AT NINE"}}),
    [](const ::testing::TestParamInfo<Mode>& m) { return std::string(m.param.name); });

TEST(MixedPolarity, EachTransmitterIsReadTheWayUpItCame) {
  // Transmitters on one channel, some the other way up (another site's
  // exciter, say): each transmission is found afresh.
  const Heard heard = Listen(
      {
          {Pocsag(1200, {kPocsagAlpha}), true},
          {Pocsag(1200, {kPocsagNumeric}), false},
          {Flex(siggen::kFlexCode1600x4, {"FLEX INVERTED", "PHASE B"}), true},
          {Gsc({kGscNumeric}, false), false},
          {Flex(siggen::kFlexCode1600x2, {"FLEX UPRIGHT"}), false},
          {Gsc({kGscNumeric, kGscAlpha}, true), true},
          {Pocsag(512, {kPocsagNumeric}), true},
          {Flex(siggen::kFlexCode3200x4, {"A", "B", "C", "FAST INVERTED"}), true},
          {Pocsag(2400, {kPocsagAlpha}), false},
      },
      true, false);
  const std::vector<std::string> expected = {
      "{1234560} 4 Smoke alarm at the depot",
      "{0000008} 1 911  ",
      "[0100001] A  ALPHA  FLEX INVERTED",
      "[0100002] B  ALPHA  PHASE B",
      "(657141) 1 5551234",
      "[0100001] A  ALPHA  FLEX UPRIGHT",
      "(657141) 1 5551234",
      "(657142) 3 MEET AT THE NORTH GATE AT NINE",
      "{0000008} 1 911  ",
      "[0100001] A  ALPHA  A",
      "[0100002] B  ALPHA  B",
      "[0100003] C  ALPHA  C",
      "[0100004] D  ALPHA  FAST INVERTED",
      "{1234560} 4 Smoke alarm at the depot",
  };
  ASSERT_EQ(heard.rows.size(), expected.size()) << ::testing::PrintToString(heard.rows);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(heard.rows[i].rfind(expected[i], 0), 0u) << heard.rows[i];
  }
  EXPECT_EQ(InvertedFlags(heard), (std::vector<bool>{true, false, true, true, false, false, true,
                                                     true, true, true, true, true, true, false}));
}

TEST(MixedPolarity, ABatchEndingLikeTheComplementedSyncKeepsItsSense) {
  // Page A fills the first batch and goes on into the second; page B follows
  // it there. The last codeword of the first batch is made such that, with
  // the first bit of the next sync, it reads as the complemented sync one bit
  // early: taking it would turn the second batch over and lose page B.
  const std::string textA(60, 'a');
  const siggen::PocsagPage pageA{8, 3, siggen::PocsagKind::kAlpha, textA};
  const siggen::PocsagPage pageB{8 * 5 + 7, 3, siggen::PocsagKind::kAlpha, "Page after the batch"};
  const Transmit transmit = [&](siggen::EdgeWriter& w, const siggen::ModulatorOptions& o) {
    siggen::PocsagTransmission t = siggen::EncodePocsag({pageA, pageB});
    // codewords[0] is the first batch's sync, [16] its last codeword.
    ASSERT_EQ(t.codewords[16].slot, 15);
    ASSERT_EQ(t.codewords[17].role, siggen::PocsagRole::kSync);
    t.codewords[16].word = 0x80000000u | (~0x7CD215D8u >> 1);
    siggen::AppendPocsag(w, t.Bits(), 1200, o);
  };
  const Heard heard = Listen({{transmit, false}}, false, false);
  ASSERT_EQ(heard.rows.size(), 2u) << ::testing::PrintToString(heard.rows);
  EXPECT_EQ(heard.rows[0].rfind("{0000008} 4 aaaa", 0), 0u) << heard.rows[0];
  EXPECT_EQ(heard.rows[1], "{0000047} 4 Page after the batch");
  EXPECT_EQ(InvertedFlags(heard), (std::vector<bool>{false, false}));
}

}  // namespace
}  // namespace skelmar
