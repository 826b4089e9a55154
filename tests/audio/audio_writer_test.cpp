// Generator audio: edges to discriminator audio, checked on its own and
// through the slicer, the front end and the POCSAG decoder.
#include "audio_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "audio/audio_signals.h"
#include "frontend/front_end.h"
#include "modulator.h"
#include "platform/audio_source.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace skelmar::test {
namespace {

using siggen::AudioOptions;
using siggen::EdgesToAudio;
using siggen::ReceiverFilter;

TEST(AudioWriter, LevelsBecomeTheirDeviations) {
  // Four-level symbols held 10 ms each: mid-symbol samples sit at -1, -1/3,
  // +1/3 and +1 of the amplitude, plus the DC offset.
  siggen::ModulatorOptions mod;
  mod.symbolRate = 100;
  mod.fourLevel = true;
  const std::vector<uint8_t> symbols = {0, 1, 2, 3, 2, 0, 3, 1};
  const std::vector<PulseSample> edges = siggen::Modulate(symbols, mod);
  AudioOptions options;
  options.sampleRate = 8000;
  options.fourLevelInterface = true;
  options.filter = ReceiverFilter::kNone;
  options.amplitude = 0.6;
  options.dcOffset = 0.25;
  const std::vector<int16_t> audio = EdgesToAudio(edges, options);
  const double expected[4] = {-1.0, -1.0 / 3, 1.0 / 3, 1.0};
  for (size_t i = 0; i < symbols.size(); ++i) {
    const size_t centre = i * 80 + 40;
    ASSERT_LT(centre, audio.size());
    EXPECT_NEAR(audio[centre] / 32767.0, 0.6 * (expected[symbols[i]] + 0.25), 1e-4)
        << "symbol " << i;
  }
  // The 4-level interface off reads any asserted line as the top level.
  options.fourLevelInterface = false;
  const std::vector<int16_t> twoLevel = EdgesToAudio(edges, options);
  EXPECT_NEAR(twoLevel[1 * 80 + 40] / 32767.0, 0.6 * 1.25, 1e-4);
  // Negated, inverted data gives the original audio back.
  options.fourLevelInterface = true;
  options.negate = true;
  options.invertData = true;
  options.dcOffset = 0;
  const std::vector<int16_t> flipped = EdgesToAudio(edges, options);
  for (size_t i = 0; i < symbols.size(); ++i) {
    EXPECT_NEAR(flipped[i * 80 + 40] / 32767.0, 0.6 * expected[symbols[i]], 1e-4);
  }
}

TEST(AudioWriter, NoiseMatchesTheRequestedEbN0) {
  // One steady level; the sample variance is the noise. Eb = A^2 / bit rate
  // and N0 / 2 = variance / rate, so at 10 dB, 1200 bit/s and 48 kHz the
  // deviation is sqrt(48000 / (2 * 10 * 1200)) = sqrt(2) times the amplitude.
  const std::vector<PulseSample> edges = {{60000, 0xB0}, {60000, 0xB0}, {10, 0x00}};
  AudioOptions options;
  options.sampleRate = 48000;
  options.filter = ReceiverFilter::kNone;
  options.amplitude = 0.05;
  options.noise = true;
  options.ebN0Db = 10;
  options.symbolRate = 1200;
  const std::vector<int16_t> audio = EdgesToAudio(edges, options);
  double sum = 0, sum2 = 0;
  const size_t n = audio.size() - 10;
  for (size_t i = 0; i < n; ++i) {
    const double x = audio[i] / 32767.0 / 0.05;
    sum += x;
    sum2 += x * x;
  }
  const double mean = sum / static_cast<double>(n);
  EXPECT_NEAR(mean, 1.0, 0.05);
  EXPECT_NEAR(std::sqrt(sum2 / static_cast<double>(n) - mean * mean), std::sqrt(2.0), 0.04);
}

TEST(AudioWriter, SoundCardClockOffsetStretchesTheEdges) {
  // A card that samples 1000 ppm fast delivers 1000 ppm more samples; sliced at
  // the nominal rate, every run looks 1000 ppm longer.
  siggen::ModulatorOptions mod;
  mod.symbolRate = 1200;
  std::vector<uint8_t> levels(12000);
  for (size_t i = 0; i < levels.size(); ++i) levels[i] = (i & 1) ? 0 : 3;
  const std::vector<PulseSample> edges = siggen::Modulate(levels, mod);
  AudioOptions options;
  options.sampleRate = 22050;
  options.clockOffsetPpm = 1000;
  options.filter = ReceiverFilter::kGaussian;
  options.cutoffHz = 1500;
  const std::vector<int16_t> audio = EdgesToAudio(edges, options);
  EXPECT_NEAR(static_cast<double>(audio.size()), 10.0 * 22050 * 1.001, 2.0);

  AudioSlicerOptions slicing;
  slicing.sampleRate = 22050;
  AudioSlicer slicer(slicing);
  EdgeCollector sink;
  slicer.Process(audio.data(), audio.size(), sink);
  const std::vector<uint64_t> changes = sink.Changes();
  ASSERT_GT(changes.size(), 11000u);
  const double runs = static_cast<double>(changes.size() - 1001);
  const double mean = static_cast<double>(changes[changes.size() - 1] - changes[1000]) / runs;
  EXPECT_NEAR(mean / (kTicksPerSecond / 1200), 1.001, 0.0001);
}

std::string TempPath(const char* name) {
  return std::string(SKELMAR_BINARY_DIR) + "/audio_writer_test_" + std::to_string(::getpid()) +
         "_" + name;
}

struct Impairment {
  int sampleRate;
  bool negate;
  friend void PrintTo(const Impairment& i, std::ostream* os) {
    *os << i.sampleRate << " Hz" << (i.negate ? " negated" : "");
  }
};

class GeneratedPocsagAudio : public ::testing::TestWithParam<Impairment> {};

TEST_P(GeneratedPocsagAudio, DecodesThroughAWavFile) {
  const Impairment& imp = GetParam();
  const std::vector<siggen::PocsagPage> pages = {
      {1234, 0, siggen::PocsagKind::kNumeric, "0123456789"},
      {6220, 3, siggen::PocsagKind::kAlpha, "Meet at the north gate, 10:30"},
      {8 * 401 + 1, 1, siggen::PocsagKind::kAlpha, "Second batch text that runs on for a while"},
  };
  siggen::PocsagEncodeOptions encode;
  encode.alphaFill = ' ';
  const std::vector<uint8_t> bits = siggen::EncodePocsag(pages, encode).Bits();

  for (double bitRate : {512.0, 1200.0, 2400.0}) {
    SCOPED_TRACE(testing::Message() << imp.sampleRate << " Hz, " << bitRate << " bit/s"
                                    << (imp.negate ? ", negated" : ""));
    siggen::ModulatorOptions mod;
    mod.clockOffsetPpm = 80;
    siggen::EdgeWriter writer;
    writer.Hold(0, 0.2, mod);
    siggen::AppendPocsag(writer, bits, bitRate, mod);
    writer.Hold(0, 0.5, mod);
    const std::vector<PulseSample> edges = writer.Finish();

    AudioOptions options;
    options.sampleRate = imp.sampleRate;
    options.dcOffset = 0.25;
    options.negate = imp.negate;
    options.noise = true;
    options.ebN0Db = 12;
    options.symbolRate = bitRate;
    options.filter = ReceiverFilter::kGaussian;
    options.cutoffHz = 0.8 * bitRate;
    options.clockOffsetPpm = -60;
    options.amplitude = 0.3;
    options.rngStart = static_cast<uint32_t>(bitRate);
    const std::string path = TempPath("pocsag.wav");
    ASSERT_TRUE(siggen::WriteWav(path, EdgesToAudio(edges, options), imp.sampleRate));

    Rig rig;
    rig.settings.invertData = imp.negate ? 1 : 0;  // the receiver's sense, set by the user
    PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
    rig.front.Attach(&pocsag, nullptr, nullptr);
    AudioSource source(AudioSourceKind::kSoundFile, path.c_str(), 0, false);
    ASSERT_GT(source.Open(&rig.front.readIndex()), 0) << source.lastError();
    while (source.Advance(kTicksPerTimerTick)) rig.front.PollEdges(*source.ring());
    rig.front.PollEdges(*source.ring());
    source.Close();
    std::remove(path.c_str());

    const std::vector<std::string> rows = rig.rows.Texts();
    std::string all;
    for (const std::string& r : rows) all += r + "\n";
    for (const siggen::PocsagPage& p : pages) {
      char capcode[32];
      std::snprintf(capcode, sizeof capcode, "{%07u} %d", p.capcode, p.function + 1);
      bool found = false;
      for (const std::string& r : rows) {
        if (r.find(capcode) != std::string::npos && r.find(p.text) != std::string::npos)
          found = true;
      }
      EXPECT_TRUE(found) << capcode << " " << p.text << "\n" << all;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, GeneratedPocsagAudio,
                         ::testing::Values(Impairment{22050, false}, Impairment{22050, true},
                                           Impairment{48000, false}, Impairment{48000, true}),
                         [](const ::testing::TestParamInfo<Impairment>& p) {
                           return std::to_string(p.param.sampleRate) +
                                  (p.param.negate ? "Negated" : "");
                         });

}  // namespace
}  // namespace skelmar::test
