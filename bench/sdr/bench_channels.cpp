// Many channels of one 2.4 MS/s cu8 capture as a multiple of real time on
// one core: conversion and DC removal once, the channel bank, and an audio
// slicer per channel, for 1, 5 and 20 channels 25 to 100 kHz apart.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "audio_writer.h"
#include "frontend/audio_slicer.h"
#include "iq_writer.h"
#include "modulator.h"
#include "pocsag_encoder.h"
#include "sdr/channel_bank.h"

namespace {

using namespace skelmar;

constexpr double kRate = 2400000;
constexpr double kSeconds = 4.0;

/// Where channel k of a plan of `count` sits, off the centre.
double Offset(size_t k) { return -950e3 + 75e3 * static_cast<double>(k) + (k % 2 ? 25e3 : 0); }

// POCSAG 1200 on every fourth channel of a 20-channel plan, noise at 25 dB CNR.
const std::vector<uint8_t>& Capture() {
  static std::vector<uint8_t> bytes;
  if (!bytes.empty()) return bytes;
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
  std::vector<siggen::IqCarrier> carriers;
  siggen::IqCarrier carrier;
  carrier.audio = siggen::ToFloat(siggen::EdgesToAudio(writer.Finish(), audio));
  for (size_t k = 0; k < 20; k += 4) {
    carrier.offsetHz = Offset(k);
    carriers.push_back(carrier);
  }
  siggen::IqOptions options;
  options.sampleRate = kRate;
  options.amplitude = 0.05;
  options.cnrDb = 25;
  options.seconds = kSeconds;
  const std::string path = "/tmp/bench_channels_" + std::to_string(getpid()) + ".cu8";
  siggen::WriteIq(path, siggen::IqFileFormat::kCu8, carriers, options);
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  std::remove(path.c_str());
  return bytes;
}

class CountingSink : public SliceSink {
 public:
  uint64_t edges = 0;
  void PutEdge(uint16_t, uint8_t) override { ++edges; }
};

void BM_Channels(benchmark::State& state) {
  const size_t count = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t>& bytes = Capture();
  const size_t samples = bytes.size() / 2;
  std::vector<double> offsets;
  for (size_t k = 0; k < count; ++k) offsets.push_back(Offset(k));
  WidebandFront front(kRate);
  ChannelBank bank(kRate, offsets);
  AudioSlicerOptions slicing;
  slicing.sampleRate = bank.audioRate();
  std::vector<std::unique_ptr<AudioSlicer>> slicers;
  for (size_t k = 0; k < count; ++k) slicers.push_back(std::make_unique<AudioSlicer>(slicing));
  const size_t room = bank.MaxAudio(WidebandFront::kBlock);
  std::vector<float> audio(room * count);
  std::vector<float*> outs(count);
  std::vector<size_t> written(count);
  for (size_t k = 0; k < count; ++k) outs[k] = audio.data() + k * room;
  CountingSink sink;
  for (auto _ : state) {
    for (size_t at = 0; at < samples; at += WidebandFront::kBlock) {
      const size_t n = std::min(WidebandFront::kBlock, samples - at);
      const IqBlock block = front.Convert(IqFormat::kCu8, bytes.data() + 2 * at, n);
      bank.Process(block, outs.data(), written.data());
      for (size_t k = 0; k < count; ++k) slicers[k]->Process(outs[k], written[k], sink);
    }
    benchmark::DoNotOptimize(sink.edges);
  }
  state.counters["xRealTime"] = benchmark::Counter(
      kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["audioRate"] = bank.audioRate();
}
BENCHMARK(BM_Channels)->Arg(1)->Arg(5)->Arg(20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
