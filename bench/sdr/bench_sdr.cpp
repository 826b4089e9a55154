// The built-in FM receiver as a multiple of real time on one core: cu8
// conversion, DC removal, channel receiver and the audio slicer behind it,
// for the usual rtl-sdr rates. Also the channel filter's response at the
// points that matter (printed once).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "frontend/audio_slicer.h"
#include "iq_writer.h"
#include "modulator.h"
#include "pocsag_encoder.h"
#include "sdr/channel_receiver.h"

namespace {

using namespace skelmar;

constexpr double kSeconds = 4.0;

// Four seconds of POCSAG 1200 on a channel 200 kHz off centre with a
// neighbour 25 kHz away, noise at 25 dB CNR, as the cu8 bytes of rtl_sdr.
const std::vector<uint8_t>& Capture(double rate) {
  static std::vector<std::pair<double, std::vector<uint8_t>>> made;
  for (const auto& [r, bytes] : made) {
    if (r == rate) return bytes;
  }
  std::vector<siggen::PocsagPage> pages;
  for (uint32_t i = 0; i < 8; ++i) {
    pages.push_back({1000 + 77 * i, static_cast<int>(i % 4), siggen::PocsagKind::kAlpha,
                     "Benchmark page text with a little length to it"});
  }
  const std::vector<uint8_t> bits = siggen::EncodePocsag(pages).Bits();
  siggen::EdgeWriter writer;
  siggen::ModulatorOptions mod;
  for (double t = 0; t < kSeconds; t += static_cast<double>(bits.size()) / 1200 + 0.2) {
    siggen::AppendPocsag(writer, bits, 1200, mod);
    writer.Hold(0, 0.2, mod);
  }
  siggen::AudioOptions audio;
  audio.sampleRate = 48000;
  audio.filter = siggen::ReceiverFilter::kBessel4;
  audio.cutoffHz = 1500;
  siggen::IqCarrier wanted;
  wanted.audio = siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), audio));
  wanted.offsetHz = 200e3;
  siggen::IqCarrier neighbour = wanted;
  neighbour.offsetHz = 225e3;
  neighbour.powerDb = 10;
  siggen::IqOptions options;
  options.sampleRate = rate;
  options.amplitude = 0.1;
  options.cnrDb = 25;
  options.seconds = kSeconds;
  const std::string path = "/tmp/bench_sdr_" + std::to_string(getpid()) + ".cu8";
  siggen::WriteIq(path, siggen::IqFileFormat::kCu8, {wanted, neighbour}, options);
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  std::remove(path.c_str());
  made.emplace_back(rate, std::move(bytes));
  return made.back().second;
}

class CountingSink : public SliceSink {
 public:
  uint64_t edges = 0;
  void PutEdge(uint16_t, uint8_t) override { ++edges; }
};

void Receiver(benchmark::State& state, bool withSlicer) {
  const double rate = static_cast<double>(state.range(0));
  const std::vector<uint8_t>& bytes = Capture(rate);
  const size_t samples = bytes.size() / 2;
  WidebandFront front(rate);
  ChannelOptions options;
  options.sampleRate = rate;
  options.offsetHz = 200e3;
  ChannelReceiver receiver(options);
  AudioSlicerOptions slicing;
  slicing.sampleRate = receiver.audioRate();
  AudioSlicer slicer(slicing);
  std::vector<float> audio(receiver.MaxAudio(WidebandFront::kBlock));
  CountingSink sink;
  for (auto _ : state) {
    for (size_t at = 0; at < samples; at += WidebandFront::kBlock) {
      const size_t n = std::min(WidebandFront::kBlock, samples - at);
      const IqBlock block = front.Convert(IqFormat::kCu8, bytes.data() + 2 * at, n);
      const size_t got = receiver.Process(block, audio.data());
      if (withSlicer) slicer.Process(audio.data(), got, sink);
    }
    benchmark::DoNotOptimize(sink.edges);
  }
  state.counters["xRealTime"] = benchmark::Counter(
      static_cast<double>(samples) / rate * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
  state.counters["audioRate"] = receiver.audioRate();
  if (withSlicer) state.counters["edges"] = static_cast<double>(sink.edges / state.iterations());
}

void BM_ReceiverAndSlicer(benchmark::State& state) { Receiver(state, true); }
void BM_ReceiverAlone(benchmark::State& state) { Receiver(state, false); }

BENCHMARK(BM_ReceiverAndSlicer)->Arg(1024000)->Arg(2400000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReceiverAlone)->Arg(1024000)->Arg(2400000)->Unit(benchmark::kMillisecond);

void BM_FilterResponse(benchmark::State& state) {
  ChannelOptions options;
  options.sampleRate = static_cast<double>(state.range(0));
  const ChannelReceiver receiver(options);
  for (auto _ : state) benchmark::DoNotOptimize(receiver.ResponseDb(1000));
  // Flat across the signal, the neighbour one channel away far down.
  for (double hz : {3200.0, 6400.0, 8000.0, 9500.0, 18600.0, 25000.0}) {
    state.counters["dB@" + std::to_string(static_cast<int>(hz))] = receiver.ResponseDb(hz);
  }
}
BENCHMARK(BM_FilterResponse)->Arg(1024000)->Arg(2400000)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
