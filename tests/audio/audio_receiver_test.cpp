// FLEX through receivers other than the one the slicer was first tuned on:
// frames that begin after open-squelch noise with only the standard bit sync,
// and frames back to back through a sharp low-pass.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "audio/audio_signals.h"
#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "mixed_traffic.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace skelmar::test {
namespace {

struct SentPage {
  uint32_t capcode;
  char phase;
  std::string text;
};

// Appends one 3200/4 frame carrying `texts` (one page each) in the phases
// named by `phases`; the other phases stay idle, as on a lightly used channel.
void AppendFrame(siggen::EdgeWriter& writer, int number, const std::string& phases,
                 const std::vector<std::string>& texts, std::vector<SentPage>& sent,
                 uint16_t mode = siggen::kFlexCode3200x4) {
  siggen::FlexFrame frame = siggen::FlexFrame::Mode(mode);
  frame.frame = number;
  siggen::FlexPhaseBuilder builders[4];
  for (size_t i = 0; i < texts.size(); ++i) {
    const int p = phases[i % phases.size()] - 'A';
    const uint32_t capcode =
        200001 + static_cast<uint32_t>(100 * number) + static_cast<uint32_t>(i);
    builders[p].pages.push_back({capcode, false, siggen::kFlexAlphanumeric, texts[i]});
    sent.push_back({capcode, static_cast<char>('A' + p), texts[i]});
  }
  for (size_t p = 0; p < 4; ++p) EXPECT_TRUE(builders[p].Build(frame.words[p]));
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::AppendFlexFrame(writer, frame, mod);
}

// The monitor's rows for the audio, sliced at its own sample rate.
std::vector<std::string> Monitor(const std::vector<int16_t>& audio, int sampleRate,
                                 bool withPocsag = false) {
  Rig rig;
  rig.settings.fourLevelInterface = 1;
  FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
  flex.NamePhases();
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(withPocsag ? &pocsag : nullptr, &flex, nullptr);
  AudioSlicerOptions slicing;
  slicing.sampleRate = sampleRate;
  slicing.fourLevel = true;
  std::vector<float> scaled(audio.size());
  for (size_t i = 0; i < audio.size(); ++i) scaled[i] = static_cast<float>(audio[i]) / 32768.0f;
  rig.Feed(Slice(scaled, slicing));
  return rig.rows.Texts();
}

void ExpectAll(const std::vector<SentPage>& sent, const std::vector<std::string>& rows) {
  std::string all;
  for (const std::string& r : rows) all += r + "\n";
  for (const SentPage& page : sent) {
    char address[16];
    std::snprintf(address, sizeof address, "[%07u] %c", page.capcode, page.phase);
    bool found = false;
    for (const std::string& r : rows) {
      found = found || (r.find(address) != std::string::npos &&
                        r.find(page.text) != std::string::npos && r.find('?') == std::string::npos);
    }
    EXPECT_TRUE(found) << address << " " << page.text << "\n" << all;
  }
}

// A receiver's audio output at 22,050 samples/s for four-level slicer
// statuses: the given low-pass, and noise at 25 dB Eb/N0 for four-level
// symbols at `symbolRate` (none when the rate is 0).
siggen::AudioOptions Receiver(siggen::ReceiverFilter filter, double cutoffHz, double symbolRate) {
  siggen::AudioOptions audio;
  audio.sampleRate = 22050;
  audio.fourLevelInterface = true;
  audio.amplitude = 0.3;
  audio.filter = filter;
  audio.cutoffHz = cutoffHz;
  audio.noise = symbolRate > 0;
  audio.ebN0Db = 25;
  audio.symbolRate = symbolRate;
  audio.bitsPerSymbol = 2;
  return audio;
}

TEST(AudioReceiver, FrameAfterSquelchNoiseWithOnlyTheStandardBitSync) {
  // Squelch noise, then one frame whose pages sit in phase A alone, carrier
  // dropped after it; twice, each with a different noise burst in front.
  for (uint32_t randomStart : {3u, 4u}) {
    siggen::ModulatorOptions mod;
    siggen::EdgeWriter writer;
    writer.Hold(0, 0.3, mod);
    std::vector<SentPage> sent;
    AppendFrame(writer, 5, "A", {"first frame after the squelch opened", "second page, same phase"},
                sent);
    writer.Hold(0, 0.2, mod);
    siggen::AudioOptions audio = Receiver(siggen::ReceiverFilter::kBessel4, 3200, 3200);
    audio.rngStart = randomStart;
    audio.squelchNoise.push_back({0, 0.3 * kTicksPerSecond});
    SCOPED_TRACE(randomStart);
    ExpectAll(sent, Monitor(siggen::EdgesToAudio(writer.Finish(), audio), audio.sampleRate));
  }
}

TEST(AudioReceiver, BackToBackFramesThroughAButterworthReceiver) {
  // A channel that never stops: frames one after another with nothing but
  // their own bit sync between them, through a 4-pole Butterworth receiver.
  siggen::ModulatorOptions mod;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.3, mod);
  std::vector<SentPage> sent;
  AppendFrame(writer, 0, "ABCD", {"alpha", "bravo", "charlie", "delta"}, sent);
  AppendFrame(writer, 1, "A", {"echo on A only"}, sent);
  AppendFrame(writer, 2, "C", {"foxtrot on C"}, sent);
  AppendFrame(writer, 3, "BD", {"golf on B", "hotel on D"}, sent);
  writer.Hold(0, 0.2, mod);
  siggen::AudioOptions audio = Receiver(siggen::ReceiverFilter::kButterworth4, 6400, 3200);
  audio.squelchNoise.push_back({0, 0.3 * kTicksPerSecond});
  ExpectAll(sent, Monitor(siggen::EdgesToAudio(writer.Finish(), audio), audio.sampleRate));
}

TEST(AudioReceiver, SlowFrameAfterSquelchNoiseThroughANarrowReceiver) {
  // 1600/4 after squelch noise through a 4-pole low-pass at 0.7 times the
  // symbol rate: the levels must be learnt from the bit sync, not from the
  // noise that went before.
  for (uint32_t randomStart = 1; randomStart <= 3; ++randomStart) {
    siggen::ModulatorOptions mod;
    siggen::EdgeWriter writer;
    writer.Hold(0, 0.3, mod);
    std::vector<SentPage> sent;
    AppendFrame(writer, 7, "AB", {"outer bits carry this one", "inner bits carry that one"}, sent,
                siggen::kFlexCode1600x4);
    writer.Hold(0, 0.2, mod);
    siggen::AudioOptions audio = Receiver(siggen::ReceiverFilter::kButterworth4, 1120, 1600);
    audio.squelchNoiseRms = 1.5;
    audio.rngStart = randomStart;
    audio.squelchNoise.push_back({0, 0.3 * kTicksPerSecond});
    SCOPED_TRACE(randomStart);
    ExpectAll(sent, Monitor(siggen::EdgesToAudio(writer.Finish(), audio), audio.sampleRate));
  }
}

TEST(AudioReceiver, FrameRightAfterSlowPocsag) {
  // A 3200/4 frame the moment a 512 bit/s POCSAG transmission ends: the
  // slicer, clocked at 512, must let go in time for the frame's short sync.
  siggen::ModulatorOptions mod;
  mod.fourLevel = true;
  siggen::EdgeWriter writer;
  writer.Hold(0, 0.3, mod);
  siggen::AppendPocsag(
      writer,
      siggen::EncodePocsag({{1234560, 3, siggen::PocsagKind::kAlpha, "slow page first"}}).Bits(),
      512, mod);
  std::vector<SentPage> sent;
  AppendFrame(writer, 9, "AC", {"frame straight after POCSAG", "and a page on C"}, sent);
  writer.Hold(0, 0.2, mod);
  const siggen::AudioOptions audio = Receiver(siggen::ReceiverFilter::kSinglePole, 4000, 3200);
  const std::vector<std::string> rows =
      Monitor(siggen::EdgesToAudio(writer.Finish(), audio), audio.sampleRate, true);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0], "{1234560} 4 slow page first");
  ExpectAll(sent, rows);
}

// Monitor rows joined back into page lines (a row of 80 wraps onto the next).
std::vector<std::string> PageLines(const std::vector<std::string>& rows) {
  std::vector<std::string> pages;
  bool continues = false;
  for (const std::string& row : rows) {
    if (continues) {
      pages.back() += row;
    } else {
      pages.push_back(row);
    }
    continues = row.size() == 80;
  }
  return pages;
}

TEST(AudioReceiver, GeneratedTrafficThroughANarrowReceiver) {
  // FLEX traffic of every speed with squelch noise between transmissions,
  // heard through a receiver whose audio stops at 2,900 Hz: every page the
  // generator sent intact must come out as sent.
  siggen::MixedTrafficOptions options;
  options.rngStart = 4;
  options.seconds = 60;
  options.pocsag = false;
  options.gsc = false;
  const siggen::MixedTraffic traffic = siggen::MakeMixedTraffic(options);
  const siggen::AudioOptions audio = Receiver(siggen::ReceiverFilter::kButterworth4, 2900, 0);
  const std::vector<std::string> lines =
      PageLines(Monitor(siggen::EdgesToAudio(traffic.edges, audio), audio.sampleRate));
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  int checked = 0;
  for (const siggen::MixedTrafficPage& page : traffic.pages) {
    if (page.uncorrectable || page.type == "tone") continue;
    char address[16];
    std::snprintf(address, sizeof address, "[%07u] %c ", page.capcode, page.phase);
    bool found = false;
    for (const std::string& l : lines) {
      found = found || (l.rfind(address, 0) == 0 && l.find(page.text) != std::string::npos);
    }
    EXPECT_TRUE(found) << page.startSeconds << " s " << page.speed << "/" << page.levels << " "
                       << address << page.text << "\n"
                       << all;
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

}  // namespace
}  // namespace skelmar::test
