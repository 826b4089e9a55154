// One hour of busy FLEX 3200 four-level traffic decoded from slicer edges,
// reported as a multiple of real time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "flex/flex_decoder.h"
#include "flex_encoder.h"
#include "support/rig.h"

namespace {

using siggen::FlexFrame;
using siggen::FlexPage;
using siggen::FlexPhaseBuilder;

constexpr int kFramesPerMinute = 32;  // 1.875 s each
constexpr double kSecondsPerChunk = 60.0;

/// Pages that fill one phase: a few numeric and short pages, then alpha text
/// grown until the phase's 88 words are (nearly) all used.
std::vector<FlexPage> BusyPhase(int phase, int frame) {
  const uint32_t base = static_cast<uint32_t>(10000 + 1000 * phase + 10 * frame);
  std::vector<FlexPage> pages = {
      {base + 1, false, siggen::kFlexStandardNumeric, "5551234567", 0, 3, false, 0x2A},
      {base + 2, false, siggen::kFlexShortMessage, "123", 0, 3, false, 0x2A},
      {3000000 + base, false, siggen::kFlexAlphanumeric, "Long address page on a busy channel", 0,
       3, false, 0x2A},
      {base + 3, false, siggen::kFlexBinary, "0123456789ABCDEF0123", 0, 3, false, 0x2A},
      {base + 4, false, siggen::kFlexAlphanumeric, "", 0, 3, false, 0x2A},
  };
  std::array<uint32_t, siggen::kFlexWordsPerPhase> words{};
  const std::string filler = "The quick brown fox jumps over the lazy dog. ";
  FlexPhaseBuilder builder;
  for (size_t n = 0;; ++n) {
    builder.pages = pages;
    builder.pages.back().content.clear();
    // Each phase and frame starts the text elsewhere, so the phases differ.
    const size_t offset = static_cast<size_t>(7 * phase + 3 * frame);
    for (size_t k = 0; k < n; ++k) {
      builder.pages.back().content += filler[(k + offset) % filler.size()];
    }
    if (!builder.Build(words)) {
      pages.back().content = builder.pages.back().content.substr(0, n == 0 ? 0 : n - 1);
      return pages;
    }
  }
}

/// One minute of frames as edges, and the number of pages it holds.
std::vector<skelmar::PulseSample> OneMinute(int& pagesPerMinute) {
  siggen::ModulatorOptions options;
  options.fourLevel = true;
  options.jitter = 0.03;
  options.clockOffsetPpm = 30;
  siggen::EdgeWriter writer(options.randomStart);
  pagesPerMinute = 0;
  for (int f = 0; f < kFramesPerMinute; ++f) {
    FlexFrame frame = FlexFrame::Mode(siggen::kFlexCode3200x4);
    frame.frame = f;
    for (int p = 0; p < 4; ++p) {
      FlexPhaseBuilder builder;
      builder.pages = BusyPhase(p, f);
      builder.Build(frame.words[static_cast<size_t>(p)]);
      pagesPerMinute += static_cast<int>(builder.pages.size());
    }
    siggen::AppendFlexFrame(writer, frame, options);
  }
  return writer.Finish();
}

void BM_FlexOneHour3200FourLevel(benchmark::State& state) {
  int pagesPerMinute = 0;
  const std::vector<skelmar::PulseSample> minute = OneMinute(pagesPerMinute);
  for (auto _ : state) {
    state.PauseTiming();
    auto rig = std::make_unique<skelmar::test::Rig>();
    rig->settings.fourLevelInterface = 1;
    rig->pages.SetObserver(nullptr);
    rig->monitorPane.SetRowObserver(nullptr);
    auto flex = std::make_unique<skelmar::FlexDecoder>(rig->flexPages, rig->front, rig->bch);
    flex->NamePhases();
    rig->front.Attach(nullptr, flex.get(), nullptr);
    state.ResumeTiming();
    for (int m = 0; m < 60; ++m) rig->Feed(minute);
    state.PauseTiming();
    const int32_t counted = rig->stats.hourly[skelmar::kRowFlex6400][skelmar::kStatAlpha] +
                            rig->stats.hourly[skelmar::kRowFlex6400][skelmar::kStatNumeric];
    // Binary pages are not counted: one per phase and frame.
    const int32_t expected = 60 * (pagesPerMinute - 4 * kFramesPerMinute);
    if (counted != expected) {
      state.SkipWithError("pages were lost");
      break;
    }
    state.ResumeTiming();
  }
  state.counters["x_realtime"] =
      benchmark::Counter(60 * kSecondsPerChunk, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["edges_per_hour"] = static_cast<double>(minute.size()) * 60;
}
BENCHMARK(BM_FlexOneHour3200FourLevel)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
