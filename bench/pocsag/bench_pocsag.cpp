// POCSAG decoding speed: an hour of busy 2400 bit/s traffic from edges to pane lines,
// and the per-codeword and per-bit costs behind it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "support/rig.h"

namespace {

using siggen::PocsagKind;
using siggen::PocsagPage;

constexpr double kRate = 2400;
constexpr double kSeconds = 3600;

// Pages back to back in every frame: short numeric, tone, alpha and long alpha.
std::vector<PocsagPage> BusyPages(double seconds) {
  const size_t bits = static_cast<size_t>(seconds * kRate);
  std::vector<PocsagPage> pages;
  size_t codewords = 0;
  const std::string texts[] = {"Unit 12 respond to the north gate, alarm zone 4", "Call the office",
                               "Shift change moved to 19:00. Bring the keys for the store room "
                               "and the van, and check the fuel card before you leave."};
  uint32_t n = 0;
  while (codewords * 32 < bits) {
    PocsagPage page;
    page.capcode = (1000u + 37u * n) % siggen::kPocsagMaxCapcode;
    page.function = static_cast<int>(n % 4);
    switch (n % 5) {
      case 0:
        page.kind = PocsagKind::kNumeric;
        page.text = std::to_string(5550000 + n);
        break;
      case 1:
        page.kind = PocsagKind::kTone;
        break;
      default:
        page.kind = PocsagKind::kAlpha;
        page.text = texts[n % 3];
        break;
    }
    codewords += 1 + siggen::PocsagMessageChunks(page).size() + 3;  // with frame waits
    pages.push_back(page);
    ++n;
  }
  return pages;
}

struct Traffic {
  std::vector<skelmar::PulseSample> samples;
  double seconds = 0;
  size_t pagesSent = 0;
};

// One continuous transmission of about an hour; its exact length is what counts.
const Traffic& HourOfEdges() {
  static const Traffic traffic = [] {
    Traffic t;
    // The page count is estimated, then scaled once to the frame waits actually met.
    std::vector<PocsagPage> pages = BusyPages(kSeconds);
    std::vector<uint8_t> bits = siggen::EncodePocsag(pages).Bits();
    pages = BusyPages(kSeconds * kSeconds * kRate / static_cast<double>(bits.size()));
    bits = siggen::EncodePocsag(pages).Bits();
    siggen::ModulatorOptions mod;
    mod.jitter = 0.05;
    t.samples = siggen::ModulatePocsag(bits, kRate, mod);
    t.seconds = static_cast<double>(bits.size()) / kRate;
    t.pagesSent = pages.size();
    return t;
  }();
  return traffic;
}

void BM_HourOf2400FromEdges(benchmark::State& state) {
  const Traffic& traffic = HourOfEdges();
  int64_t pages = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto rig = std::make_unique<skelmar::test::Rig>();
    skelmar::PocsagDecoder decoder(rig->settings, rig->pocsagPages, rig->front, rig->bch);
    rig->front.Attach(&decoder, nullptr, nullptr);
    state.ResumeTiming();
    rig->Feed(traffic.samples);
    pages +=
        rig->stats.daily[skelmar::kRowPocsag2400][0] + rig->stats.daily[skelmar::kRowPocsag2400][1];
  }
  state.counters["pages"] =
      benchmark::Counter(static_cast<double>(pages) / static_cast<double>(state.iterations()));
  state.counters["x_realtime"] = benchmark::Counter(
      kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["edges"] = static_cast<double>(traffic.samples.size());
  state.counters["pages_sent"] = static_cast<double>(traffic.pagesSent);
  state.counters["seconds"] = traffic.seconds;
}
BENCHMARK(BM_HourOf2400FromEdges)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_CorrectOneCodeword(benchmark::State& state) {
  skelmar::Bch3121 bch;
  uint32_t word = siggen::PocsagMessageWord(0x5A5A5);
  uint32_t k = 0;
  for (auto _ : state) {
    bch.Load(word ^ (1u << (k++ % 31)));
    benchmark::DoNotOptimize(bch.Correct());
  }
}
BENCHMARK(BM_CorrectOneCodeword);

void BM_PutBitBusyTraffic(benchmark::State& state) {
  const siggen::PocsagTransmission t = siggen::EncodePocsag(BusyPages(60));
  const std::vector<uint8_t> bits = t.Bits();
  skelmar::test::Rig rig;
  skelmar::PocsagDecoder decoder(rig.settings, rig.pocsagPages, rig.front, rig.bch);
  for (auto _ : state) {
    for (uint8_t b : bits) decoder.PutBit(b ? '1' : '0');
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(bits.size()));
}
BENCHMARK(BM_PutBitBusyTraffic)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
