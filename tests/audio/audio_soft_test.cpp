// Audio through the slicer with its decisions and their reliabilities beside
// the edges, as an audio source writes them: soft decoding end to end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "flex/flex_decoder.h"
#include "frontend/audio_slicer.h"
#include "gsc/gsc_decoder.h"
#include "gsc_encoder.h"
#include "modulator.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace skelmar::test {
namespace {

// Slices into the rig's ring a timer period at a time, decisions included
// unless `hard`.
struct RingSink : SliceSink {
  EdgeProducer producer;
  bool hard;
  uint64_t decisions = 0;
  RingSink(Rig& rig, bool hardOnly) : producer(rig.ring, &rig.front.readIndex()), hard(hardOnly) {}
  void PutEdge(uint16_t d, uint8_t s) override { producer.Put(d, s); }
  void PutDecision(const SymbolDecision& decision) override {
    ++decisions;
    if (!hard) producer.PutDecision(decision);
  }
};

uint64_t Play(const std::vector<int16_t>& audio, Rig& rig, bool fourLevel, bool hard) {
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  options.fourLevel = fourLevel;
  AudioSlicer slicer(options);
  RingSink sink(rig, hard);
  for (size_t at = 0; at < audio.size(); at += 2205) {
    slicer.Process(audio.data() + at, std::min<size_t>(2205, audio.size() - at), sink);
    rig.front.PollEdges(rig.ring);
  }
  slicer.Finish(sink);
  rig.front.PollEdges(rig.ring);
  return sink.decisions;
}

// The text without what pads the last codeword.
std::string Trimmed(std::string text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

TEST(SoftAudio, NoisyPocsagLosesFewerPagesAndGainsNoWrongOnes) {
  std::vector<siggen::PocsagPage> pages;
  for (uint32_t i = 0; i < 40; ++i) {
    pages.push_back({200000 + 37 * i, static_cast<int>(i % 4), siggen::PocsagKind::kAlpha,
                     "Soft page " + std::to_string(i) + " with some text"});
  }
  siggen::EdgeWriter writer;
  siggen::ModulatorOptions mod;
  writer.Hold(0, 0.3, mod);
  for (const siggen::PocsagPage& page : pages) {
    siggen::AppendPocsag(writer, siggen::EncodePocsag({page}).Bits(), 1200, mod);
    writer.Hold(0, 0.3, mod);
  }
  siggen::AudioOptions options;
  options.sampleRate = 22050;
  options.noise = true;
  options.ebN0Db = 3.5;
  options.filter = siggen::ReceiverFilter::kGaussian;
  options.cutoffHz = 1000;
  const std::vector<int16_t> audio = siggen::EdgesToAudio(writer.Finish(), options);

  auto decodeExactly = [&](bool hard, int& wrong) {
    Rig rig;
    PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
    rig.front.Attach(&pocsag, nullptr, nullptr);
    Play(audio, rig, false, hard);
    int exact = 0;
    wrong = 0;
    for (const PageRecord& r : rig.pageLog.pages) {
      bool sent = false;
      for (const siggen::PocsagPage& p : pages) {
        if (std::strtoul(r.capcode, nullptr, 10) != p.capcode) continue;
        sent = true;
        if (Trimmed(std::string(r.text, static_cast<size_t>(r.textLength))) == p.text) ++exact;
      }
      // A capcode never sent, shown as if read right.
      if (!sent && r.capcode[0] != '?') ++wrong;
    }
    return exact;
  };
  int wrongHard = 0, wrongSoft = 0;
  const int hard = decodeExactly(true, wrongHard);
  const int soft = decodeExactly(false, wrongSoft);
  // At this noise hard decisions lose a good share of the pages; the
  // reliabilities bring back several of them and add no page never sent.
  EXPECT_LT(hard, 36);
  EXPECT_GE(soft, hard + 3);
  EXPECT_LE(wrongSoft, wrongHard);
}

TEST(SoftAudio, NoisyGscBlocksAreCorrectedWithTheReliabilities) {
  // Long alphanumeric pages, one transmission each: without correction a
  // page needs every one of its 300 or more data bits right.
  std::vector<siggen::GscPage> pages;
  siggen::EdgeWriter writer;
  siggen::ModulatorOptions mod;
  writer.Hold(0, 0.3, mod);
  for (int i = 0; i < 16; ++i) {
    const siggen::GscPage page{
        100000 + 4321 * i, 1 + i % 4, siggen::GscPageKind::kAlpha,
        "GSC PAGE " + std::to_string(i) + " WITH TEXT ENOUGH FOR SIX BLOCKS"};
    siggen::AppendGscBits(writer, siggen::EncodeGscTransmission({page}, {}), mod);
    writer.Hold(0, 1.0, mod);
    pages.push_back(page);
  }
  siggen::AudioOptions options;
  options.sampleRate = 22050;
  options.noise = true;
  options.ebN0Db = 4.5;
  options.symbolRate = siggen::kGscBitRate;
  const std::vector<int16_t> audio = siggen::EdgesToAudio(writer.Finish(), options);

  auto decode = [&](bool hard, int& exact, int& wrongUnmarked) {
    Rig rig;
    GscDecoder gsc(rig.gscPages, rig.front);
    rig.front.Attach(nullptr, nullptr, &gsc);
    Play(audio, rig, false, hard);
    exact = wrongUnmarked = 0;
    for (const PageRecord& r : rig.pageLog.pages) {
      for (const siggen::GscPage& p : pages) {
        if (std::strtoul(r.capcode, nullptr, 10) != static_cast<unsigned long>(p.capcode)) continue;
        const bool right =
            Trimmed(std::string(r.text, static_cast<size_t>(r.textLength))) == p.text;
        exact += right ? 1 : 0;
        wrongUnmarked += !right && !r.bitErrors ? 1 : 0;
      }
    }
  };
  int hardExact = 0, hardWrong = 0, softExact = 0, softWrong = 0;
  decode(true, hardExact, hardWrong);
  decode(false, softExact, softWrong);
  EXPECT_LT(hardExact, 8);
  EXPECT_GE(softExact, 14);
  EXPECT_LE(softWrong, hardWrong);
}

TEST(SoftAudio, NoiseAloneGivesNoPage) {
  // Receiver noise with no carrier, at a level that keeps the slicer busy:
  // whatever clock it finds and whatever its decisions say, no decoder may
  // make a page of it.
  std::vector<int16_t> audio(22050 * 60);
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 3000);
  for (int16_t& x : audio) x = static_cast<int16_t>(std::clamp(noise(rng), -32000.0, 32000.0));
  for (const bool four : {false, true}) {
    Rig rig;
    rig.settings.fourLevelInterface = four ? 1 : 0;
    PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
    FlexDecoder flex(rig.flexPages, rig.front, rig.bch);
    flex.NamePhases();
    GscDecoder gsc(rig.gscPages, rig.front);
    rig.front.Attach(&pocsag, &flex, &gsc);
    Play(audio, rig, four, false);
    EXPECT_TRUE(rig.pageLog.pages.empty()) << (four ? "four-level" : "two-level");
  }
}

}  // namespace
}  // namespace skelmar::test
