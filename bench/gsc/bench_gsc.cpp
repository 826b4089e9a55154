// Speed of GSC decoding: one hour of traffic from edges to lines, and the
// Golay corrector on its own.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "gsc/golay2312.h"
#include "gsc/gsc_decoder.h"
#include "gsc_encoder.h"
#include "support/rig.h"

namespace {

using siggen::GscPage;
using siggen::GscPageKind;

constexpr double kHourSeconds = 3600.0;

// Pages that share preamble 3, so they can go out in one batch.
const std::vector<GscPage>& BatchPages() {
  static const std::vector<GscPage> pages = {
      {300000, 1, GscPageKind::kTone, ""},
      {201999, 2, GscPageKind::kNumeric, "5551234"},
      {43210, 4, GscPageKind::kAlpha, "Meet at gate 7 at 10:30, bring the keys to the pump house"},
      {657141, 3, GscPageKind::kTone, ""},
      {43210, 1, GscPageKind::kNumeric, "0123456789012345"},
  };
  return pages;
}

struct Traffic {
  std::vector<skelmar::PulseSample> samples;
  int transmissions = 0;
  size_t pages = 0;  ///< pages sent, each one line
};

// One hour: transmissions (a batch or a single page) separated by a few
// seconds of receiver noise, which keeps the decoder hunting.
Traffic MakeHour() {
  Traffic traffic;
  std::mt19937 rng(600);
  siggen::ModulatorOptions options;
  options.jitter = 0.05;
  options.clockOffsetPpm = 50;
  siggen::EdgeWriter writer(3);
  siggen::GscTransmitOptions batch;
  batch.batch = true;
  const std::vector<uint8_t> batchBits = siggen::EncodeGscTransmission(BatchPages(), batch);
  const std::vector<uint8_t> singleBits =
      siggen::EncodeGscTransmission({{657141, 1, GscPageKind::kNumeric, "911"}}, {});
  double seconds = 0;
  std::uniform_real_distribution<double> gap(2.0, 8.0);
  while (seconds < kHourSeconds) {
    const double noise = gap(rng);
    std::vector<uint8_t> bits(static_cast<size_t>(noise * siggen::kGscBitRate));
    for (uint8_t& b : bits) b = static_cast<uint8_t>(rng() & 1);
    const bool isBatch = traffic.transmissions % 2 == 0;
    const std::vector<uint8_t>& tx = isBatch ? batchBits : singleBits;
    traffic.pages += isBatch ? BatchPages().size() : 1;
    bits.insert(bits.end(), tx.begin(), tx.end());
    siggen::AppendGscBits(writer, bits, options);
    seconds += static_cast<double>(bits.size()) / siggen::kGscBitRate;
    ++traffic.transmissions;
  }
  traffic.samples = writer.Finish();
  return traffic;
}

void BM_GscHourFromEdges(benchmark::State& state) {
  static const Traffic traffic = MakeHour();
  size_t lines = 0;
  for (auto _ : state) {
    auto rig = std::make_unique<skelmar::test::Rig>();
    skelmar::GscDecoder gsc(rig->gscPages, rig->front);
    rig->front.Attach(nullptr, nullptr, &gsc);
    rig->Feed(traffic.samples);
    lines = rig->rows.Texts().size();
    benchmark::DoNotOptimize(lines);
  }
  if (lines != traffic.pages) state.SkipWithError("decoded lines differ from the pages sent");
  state.counters["realtime_x"] = benchmark::Counter(
      kHourSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["transmissions"] = traffic.transmissions;
}
BENCHMARK(BM_GscHourFromEdges)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GolayCorrectRandom(benchmark::State& state) {
  std::mt19937 rng(23);
  std::vector<uint32_t> words(4096);
  for (uint32_t& w : words) w = static_cast<uint32_t>(rng()) & 0x7FFFFF;
  size_t i = 0;
  uint32_t errors = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(skelmar::Golay2312::Correct(words[i++ & 4095], &errors));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GolayCorrectRandom);

}  // namespace

BENCHMARK_MAIN();
