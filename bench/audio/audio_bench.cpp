// Audio slicer throughput as a multiple of real time, alone and with the
// front end and the POCSAG decoder behind it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "audio_writer.h"
#include "frontend/audio_slicer.h"
#include "frontend/edge_ring.h"
#include "frontend/front_end.h"
#include "modulator.h"
#include "platform/audio_input.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace {

using namespace skelmar;

// Ten seconds of 1200 bit/s POCSAG audio at 22050 Hz, with noise and a DC offset.
const std::vector<int16_t>& TestAudio() {
  static const std::vector<int16_t> audio = [] {
    std::vector<siggen::PocsagPage> pages;
    for (uint32_t i = 0; i < 12; ++i) {
      pages.push_back({1000 + 77 * i, static_cast<int>(i % 4), siggen::PocsagKind::kAlpha,
                       "Benchmark page text with a little length to it"});
    }
    const std::vector<uint8_t> bits = siggen::EncodePocsag(pages).Bits();
    siggen::EdgeWriter writer;
    siggen::ModulatorOptions mod;
    const double burst = static_cast<double>(bits.size()) / 1200 + 0.2;
    for (double t = 0; t < 10.0; t += burst) {
      siggen::AppendPocsag(writer, bits, 1200, mod);
      writer.Hold(0, 0.2, mod);
    }
    siggen::AudioOptions options;
    options.sampleRate = 22050;
    options.noise = true;
    options.ebN0Db = 14;
    options.dcOffset = 0.2;
    options.filter = siggen::ReceiverFilter::kGaussian;
    options.cutoffHz = 1000;
    return siggen::EdgesToAudio(writer.Finish(), options);
  }();
  return audio;
}

class CountingSink : public SliceSink {
 public:
  uint64_t edges = 0;
  void PutEdge(uint16_t, uint8_t) override { ++edges; }
};

void ReportRealTime(benchmark::State& state, size_t samples) {
  const double seconds =
      static_cast<double>(samples) / 22050.0 * static_cast<double>(state.iterations());
  state.counters["xRealTime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
  state.SetItemsProcessed(static_cast<int64_t>(samples) * state.iterations());
}

void BM_SlicerAlone(benchmark::State& state) {
  const std::vector<int16_t>& audio = TestAudio();
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  options.fourLevel = state.range(0) != 0;
  AudioSlicer slicer(options);
  CountingSink sink;
  for (auto _ : state) {
    slicer.Process(audio.data(), audio.size(), sink);
    benchmark::DoNotOptimize(sink.edges);
  }
  ReportRealTime(state, audio.size());
}
BENCHMARK(BM_SlicerAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Slicer into the ring, the front end draining it every 100 ms of audio and
// the POCSAG decoder writing the pages: the whole audio path of the monitor.
// Counts the pages of every POCSAG row.
template <typename Sample>
void RunAudioPath(benchmark::State& state, const std::vector<Sample>& audio) {
  skelmar::test::Rig rig;
  PocsagDecoder pocsag(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  rig.front.Attach(&pocsag, nullptr, nullptr);
  EdgeRing ring(1u << 14);
  EdgeProducer producer(ring, &rig.front.readIndex());
  struct RingSink : SliceSink {
    EdgeProducer& producer;
    explicit RingSink(EdgeProducer& p) : producer(p) {}
    void PutEdge(uint16_t d, uint8_t s) override { producer.Put(d, s); }
  } sink(producer);
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  AudioSlicer slicer(options);
  const size_t tick = 2205;  // 100 ms of audio
  for (auto _ : state) {
    for (size_t at = 0; at < audio.size(); at += tick) {
      slicer.Process(audio.data() + at, std::min(tick, audio.size() - at), sink);
      rig.front.PollEdges(ring);
    }
    rig.rows.rows.clear();
    rig.pageLog.pages.clear();
  }
  int32_t pages = 0;
  for (const int row : {kRowPocsag512, kRowPocsag1200, kRowPocsag2400}) {
    pages += rig.stats.hourly[row][kStatNumeric] + rig.stats.hourly[row][kStatAlpha];
  }
  state.counters["pages"] = static_cast<double>(pages);
  ReportRealTime(state, audio.size());
}

void BM_SlicerFrontEndPocsag(benchmark::State& state) { RunAudioPath(state, TestAudio()); }
BENCHMARK(BM_SlicerFrontEndPocsag)->Unit(benchmark::kMillisecond);

// The off-air recordings (22050 Hz, real receivers and transmitters) one
// after the other, as the sound-file input reads them.
const std::vector<float>& RealAudio() {
  static const std::vector<float> audio = [] {
    std::vector<float> all;
    for (const char* name :
         {"pocsag-512-offair.flac", "pocsag-1200-offair.flac", "pocsag-2400-offair.flac"}) {
      const std::string path = std::string(SKELMAR_SOURCE_DIR) + "/tests/data/offair/" + name;
      SoundFileInput input(path.c_str());
      if (!input.Open() || input.sampleRate() != 22050) return std::vector<float>{};
      float block[4096];
      for (long got; (got = input.Read(block, 4096)) > 0;)
        all.insert(all.end(), block, block + got);
      input.Close();
    }
    return all;
  }();
  return audio;
}

void BM_RealAudioSlicerAlone(benchmark::State& state) {
  const std::vector<float>& audio = RealAudio();
  if (audio.empty()) {
    state.SkipWithError("cannot read the off-air recordings");
    return;
  }
  AudioSlicerOptions options;
  options.sampleRate = 22050;
  AudioSlicer slicer(options);
  CountingSink sink;
  for (auto _ : state) {
    slicer.Process(audio.data(), audio.size(), sink);
    benchmark::DoNotOptimize(sink.edges);
  }
  ReportRealTime(state, audio.size());
}
BENCHMARK(BM_RealAudioSlicerAlone)->Unit(benchmark::kMillisecond);

// The whole audio path of the monitor on real audio.
void BM_RealAudioPath(benchmark::State& state) {
  const std::vector<float>& audio = RealAudio();
  if (audio.empty()) {
    state.SkipWithError("cannot read the off-air recordings");
    return;
  }
  RunAudioPath(state, audio);
}
BENCHMARK(BM_RealAudioPath)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
