// Real off-air POCSAG recordings through the audio source, the front end and
// the POCSAG decoder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/audio_source.h"
#include "pocsag/pocsag_decoder.h"
#include "support/rig.h"

namespace skelmar::test {
namespace {

std::string Recording(const char* name) {
  return std::string(SKELMAR_SOURCE_DIR) + "/tests/data/offair/" + name;
}

/// Plays a recording into the rig the way the program runs a stream source:
/// one timer period of audio, then PollEdges, until the stream ends.
void Play(const std::string& path, Rig& rig, std::vector<PulseSample>* edges = nullptr) {
  AudioSource source(AudioSourceKind::kSoundFile, path.c_str(), 0, false);
  ASSERT_GT(source.Open(&rig.front.readIndex()), 0) << source.lastError();
  const EdgeRing& ring = *source.ring();
  uint32_t seen = 0;
  bool more = true;
  while (more) {
    more = source.Advance(kTicksPerTimerTick);
    if (edges) {
      for (const uint32_t w = ring.writeIndex().load(); seen != w;
           seen = (seen + 1) % ring.size()) {
        edges->push_back({ring.durations()[seen], ring.statuses()[seen]});
      }
    }
    rig.front.PollEdges(ring);
  }
  EXPECT_EQ(source.overruns(), 0u);
  source.Close();
}

struct OffAir {
  const char* file;
  double bitRate;
  int statRow;
  const char* capcode;  ///< as the monitor shows it
  const char* text;     ///< part of the message
  friend void PrintTo(const OffAir& r, std::ostream* os) { *os << r.file; }
};

class OffAirRecording : public ::testing::TestWithParam<OffAir> {};

TEST_P(OffAirRecording, DecodesToItsKnownContent) {
  const OffAir& r = GetParam();
  Rig rig;
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(&pocsag, nullptr, nullptr);
  std::vector<PulseSample> edges;
  Play(Recording(r.file), rig, &edges);

  // The preamble's alternating bits dominate the run lengths: the commonest
  // run, to within 3%, is one bit long.
  const double bit = kTicksPerSecond / r.bitRate;
  int oneBit = 0;
  for (const PulseSample& e : edges) {
    if (e.duration > 0.97 * bit && e.duration < 1.03 * bit) ++oneBit;
  }
  EXPECT_GT(oneBit, 400) << "runs of one bit";
  EXPECT_EQ(rig.front.shared.pocsagStatRow, r.statRow);

  // The page's row, free of uncorrectable codewords (no Bit Errors colour).
  bool found = false;
  std::string all;
  for (const Row& row : rig.rows.rows) {
    all += row.text + "\n";
    if (row.text.find(r.capcode) == std::string::npos || row.text.find(r.text) == std::string::npos)
      continue;
    found = true;
    for (int slot : row.slots) EXPECT_NE(slot, kSlotBitErrors) << row.text;
  }
  EXPECT_TRUE(found) << all;
}

INSTANTIATE_TEST_SUITE_P(Recordings, OffAirRecording,
                         ::testing::Values(OffAir{"pocsag-512-offair.flac", 512, kRowPocsag512,
                                                  "{0273040} 4", "512 B SIDE ZZZZZZ"},
                                           OffAir{"pocsag-1200-offair.flac", 1200, kRowPocsag1200,
                                                  "{0273040} 4", "+++TIME=0008300324"},
                                           OffAir{"pocsag-2400-offair.flac", 2400, kRowPocsag2400,
                                                  "{1022869} 2", "+++TIME=0008300324"}),
                         [](const ::testing::TestParamInfo<OffAir>& p) {
                           return std::to_string(static_cast<int>(p.param.bitRate));
                         });

}  // namespace
}  // namespace skelmar::test
