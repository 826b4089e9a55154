// Four-level FLEX through generated audio: the slicer's level statuses must
// keep the 4-level interface and inversion settings meaningful end to end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_signals.h"
#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "support/rig.h"

namespace skelmar::test {
namespace {

struct FlexAudioCase {
  uint16_t mode;
  int sampleRate;
  bool negate;
  double ebN0Db;  ///< receiver noise, Eb/N0 in dB
  friend void PrintTo(const FlexAudioCase& c, std::ostream* os) {
    *os << std::hex << c.mode << std::dec << " at " << c.sampleRate << (c.negate ? " negated" : "");
  }
};

class FlexAudio : public ::testing::TestWithParam<FlexAudioCase> {};

TEST_P(FlexAudio, PagesComeThroughTheSlicer) {
  const FlexAudioCase& c = GetParam();
  siggen::FlexFrame frame = siggen::FlexFrame::Mode(c.mode);
  const bool fourLevel = frame.levels == 4;
  const char* texts[4] = {"alpha on phase A", "bravo on B", "charlie, C", "delta D"};
  // Phases carried: A at 1600 two-level, A and B at 1600 four-level, all four at 3200 four-level.
  const int phases = !fourLevel ? 1 : frame.symbolRate == 3200 ? 4 : 2;
  for (int p = 0; p < phases; ++p) {
    siggen::FlexPhaseBuilder builder;
    builder.pages.push_back(
        {static_cast<uint32_t>(100001 + p), false, siggen::kFlexAlphanumeric, texts[p]});
    ASSERT_TRUE(builder.Build(frame.words[static_cast<size_t>(p)]));
  }
  // Bit sync first so the clock settles, then the frame, then a short tail.
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  mod.symbolRate = 1600;
  mod.clockOffsetPpm = 40;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.05, mod);
  std::vector<uint8_t> lead;
  for (int i = 0; i < 400; ++i) lead.push_back(i % 2 ? 3 : 0);
  writer.Symbols(lead, mod);
  siggen::AppendFlexFrame(writer, frame, mod);
  mod.symbolRate = 1600;
  writer.Symbols({0, 3, 0, 3, 0, 3, 0, 3}, mod);
  writer.Hold(0, 0.05, mod);

  siggen::AudioOptions options;
  options.sampleRate = c.sampleRate;
  options.fourLevelInterface = true;
  options.negate = c.negate;
  options.dcOffset = 0.1;
  options.noise = true;
  options.ebN0Db = c.ebN0Db;
  options.symbolRate = frame.symbolRate;
  options.bitsPerSymbol = fourLevel ? 2 : 1;
  options.filter = siggen::ReceiverFilter::kGaussian;
  options.cutoffHz = 0.9 * frame.symbolRate;
  options.amplitude = 0.4;
  const std::vector<int16_t> audio = siggen::EdgesToAudio(writer.Finish(), options);

  Rig rig;
  rig.settings.fourLevelInterface = fourLevel ? 1 : 0;
  rig.settings.invertData = c.negate ? 1 : 0;
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  flex.NamePhases();
  rig.front.Attach(nullptr, &flex, nullptr);
  AudioSlicerOptions slicing;
  slicing.sampleRate = c.sampleRate;
  slicing.fourLevel = fourLevel;
  std::vector<float> scaled(audio.size());
  for (size_t i = 0; i < audio.size(); ++i) scaled[i] = static_cast<float>(audio[i]) / 32768.0f;
  rig.Feed(Slice(scaled, slicing));

  std::string all;
  for (const std::string& r : rig.rows.Texts()) all += r + "\n";
  for (int p = 0; p < phases; ++p) {
    char address[16];
    std::snprintf(address, sizeof address, "[%07d] %c", 100001 + p, "ABCD"[p]);
    bool found = false;
    for (const std::string& r : rig.rows.Texts()) {
      if (r.find(address) != std::string::npos && r.find(texts[p]) != std::string::npos)
        found = true;
    }
    EXPECT_TRUE(found) << address << " " << texts[p] << "\n" << all;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FlexAudio,
    ::testing::Values(FlexAudioCase{siggen::kFlexCode1600x2, 22050, false, 12},
                      FlexAudioCase{siggen::kFlexCode1600x4, 22050, true, 18},
                      FlexAudioCase{siggen::kFlexCode3200x4, 48000, false, 18},
                      FlexAudioCase{siggen::kFlexCode3200x4, 22050, true, 18},
                      // 2.5 samples a symbol, at noise that cost free-running edges pages.
                      FlexAudioCase{siggen::kFlexCode3200x4, 8000, false, 11}));

}  // namespace
}  // namespace skelmar::test
