// PollEdges throughput on one hour of a synthetic 1200 bit/s stream, with
// counting stand-ins for the three decoders.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "frontend/edge_ring.h"
#include "frontend/front_end.h"
#include "frontend/mode_caption.h"
#include "modulator.h"
#include "settings/settings.h"

namespace {

using skelmar::PulseSample;

class CountingPocsag : public skelmar::PocsagBitSink {
 public:
  uint64_t calls = 0;
  uint64_t ones = 0;
  void PutBit(char ch) override {
    ++calls;
    ones += ch == '1';
  }
};
class CountingFlex : public skelmar::FlexSymbolSink {
 public:
  uint64_t calls = 0;
  uint64_t levelSum = 0;
  void PutSymbol(int level) override {
    ++calls;
    levelSum += static_cast<uint64_t>(level);
  }
};
class CountingGsc : public skelmar::GscBitSink {
 public:
  uint64_t calls = 0;
  uint64_t ones = 0;
  void PutBit(int bit) override {
    ++calls;
    ones += static_cast<uint64_t>(bit);
  }
};

// One hour at 1200 bit/s: every 10 s a 576-bit alternating preamble (which
// locks the POCSAG rate) followed by random bits, with a little jitter.
std::vector<PulseSample> OneHourStream() {
  constexpr int kBlocks = 360;
  constexpr int kBitsPerBlock = 12000;
  std::mt19937 rng(1200);
  std::vector<uint8_t> levels;
  levels.reserve(static_cast<size_t>(kBlocks) * kBitsPerBlock);
  for (int b = 0; b < kBlocks; ++b) {
    for (int i = 0; i < kBitsPerBlock; ++i) {
      const bool one = i < 576 ? (i % 2 == 0) : (rng() & 1) != 0;
      levels.push_back(one ? 0 : 3);
    }
  }
  siggen::ModulatorOptions options;
  options.symbolRate = 1200.0;
  options.jitter = 0.02;
  options.clockOffsetPpm = 30;
  return siggen::Modulate(levels, options);
}

// The whole hour in one ring, filled once; each run polls it with a fresh front end.
struct Fixture {
  std::vector<PulseSample> stream = OneHourStream();
  std::unique_ptr<skelmar::EdgeRing> ring;
  Fixture() {
    ring = std::make_unique<skelmar::EdgeRing>(static_cast<uint32_t>(stream.size() + 1));
    for (size_t i = 0; i < stream.size(); ++i) {
      ring->durations()[i] = stream[i].duration;
      ring->statuses()[i] = stream[i].status;
    }
    ring->writeIndex().store(static_cast<uint32_t>(stream.size()));
  }
};

const Fixture& Shared() {
  static const Fixture fixture;
  return fixture;
}

void BM_PollEdgesOneHour1200(benchmark::State& state) {
  const Fixture& f = Shared();
  skelmar::Settings settings;
  skelmar::ModeCaption caption(settings);
  CountingPocsag pocsag;
  CountingFlex flex;
  CountingGsc gsc;
  for (auto _ : state) {
    skelmar::FrontEnd front(settings, caption);
    front.Attach(&pocsag, &flex, &gsc);
    front.PollEdges(*f.ring);
    benchmark::DoNotOptimize(front.dataClock.phase);
  }
  benchmark::DoNotOptimize(pocsag.ones + flex.levelSum + gsc.ones);
  const double runs = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.stream.size()));
  state.counters["edges"] = static_cast<double>(f.stream.size());
  state.counters["pocsag_bits"] = static_cast<double>(pocsag.calls) / runs;
  state.counters["flex_symbols"] = static_cast<double>(flex.calls) / runs;
  state.counters["gsc_bits"] = static_cast<double>(gsc.calls) / runs;
}
BENCHMARK(BM_PollEdgesOneHour1200)->Unit(benchmark::kMillisecond);

// The same hour pushed through a 64 Ki ring by the producer helper, drained as it fills.
void BM_ProducerAndPollOneHour1200(benchmark::State& state) {
  const Fixture& f = Shared();
  skelmar::Settings settings;
  skelmar::ModeCaption caption(settings);
  CountingPocsag pocsag;
  CountingFlex flex;
  CountingGsc gsc;
  for (auto _ : state) {
    skelmar::FrontEnd front(settings, caption);
    front.Attach(&pocsag, &flex, &gsc);
    skelmar::EdgeRing ring(1u << 16);
    skelmar::EdgeProducer producer(ring, &front.readIndex());
    for (const PulseSample& s : f.stream) {
      if (producer.Free() == 0) front.PollEdges(ring);
      producer.Put(s.duration, s.status);
    }
    front.PollEdges(ring);
    benchmark::DoNotOptimize(front.dataClock.phase);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(f.stream.size()));
}
BENCHMARK(BM_ProducerAndPollOneHour1200)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
