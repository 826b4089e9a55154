// Synthetic discriminator audio with exactly known transitions, and helpers to
// collect and inspect the edges a slicer makes of it.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "frontend/audio_slicer.h"
#include "frontend/edge_ring.h"

namespace skelmar::test {

/// A piecewise-constant deviation: `values[i]` holds from `times[i]` (seconds)
/// until the next time; before times[0] the signal is 0.
struct Steps {
  std::vector<double> times;
  std::vector<double> values;
  double end = 0;  ///< seconds of audio to render

  /// Symbols of `period` seconds from `start`, each value from the table.
  static Steps Symbols(const std::vector<int>& symbols, const double* table, double start,
                       double period) {
    Steps s;
    for (size_t i = 0; i < symbols.size(); ++i) {
      s.times.push_back(start + static_cast<double>(i) * period);
      s.values.push_back(table[symbols[i]]);
    }
    s.end = start + static_cast<double>(symbols.size()) * period + 0.01;
    return s;
  }

  /// Times of the changes of value (equal neighbours merged), from `from` seconds on.
  std::vector<double> Transitions(double from) const {
    std::vector<double> out;
    for (size_t i = 1; i < times.size(); ++i) {
      if (values[i] != values[i - 1] && times[i] >= from) out.push_back(times[i]);
    }
    return out;
  }
};

/// Each sample is the mean of the signal over its interval [n, n+1) / rate, so
/// a transition's position inside a sample is carried by the sample's value.
inline std::vector<float> Render(const Steps& steps, int rate, double amplitude, double dc = 0,
                                 double noise = 0, uint32_t rngStart = 7) {
  const auto count = static_cast<size_t>(steps.end * rate);
  std::vector<float> out(count);
  std::mt19937 rng(rngStart);
  std::normal_distribution<double> gauss(0.0, noise > 0 ? noise : 1.0);
  size_t k = 0;  // index of the first step starting after the sample's start
  for (size_t n = 0; n < count; ++n) {
    const double a = static_cast<double>(n) / rate;
    const double b = static_cast<double>(n + 1) / rate;
    while (k < steps.times.size() && steps.times[k] <= a) ++k;
    double value = k > 0 ? steps.values[k - 1] : 0.0;
    double t = a;
    double acc = 0;
    size_t j = k;
    while (j < steps.times.size() && steps.times[j] < b) {
      acc += value * (steps.times[j] - t);
      t = steps.times[j];
      value = steps.values[j];
      ++j;
    }
    acc += value * (b - t);
    double x = amplitude * acc * rate + dc;
    if (noise > 0) x += gauss(rng);
    out[n] = static_cast<float>(x);
  }
  return out;
}

class EdgeCollector : public SliceSink {
 public:
  std::vector<PulseSample> edges;
  void PutEdge(uint16_t durationTicks, uint8_t status) override {
    edges.push_back({durationTicks, status});
  }

  /// Stream time in ticks at the end of each edge.
  std::vector<uint64_t> EndTimes() const {
    std::vector<uint64_t> out;
    uint64_t t = 0;
    for (const PulseSample& e : edges) out.push_back(t += e.duration);
    return out;
  }
  uint64_t Total() const {
    uint64_t t = 0;
    for (const PulseSample& e : edges) t += e.duration;
    return t;
  }
  /// Edge times (in ticks) where the status changes; pieces of one long state are joined.
  std::vector<uint64_t> Changes() const {
    std::vector<uint64_t> out;
    uint64_t t = 0;
    for (size_t i = 0; i < edges.size(); ++i) {
      t += edges[i].duration;
      if (i + 1 < edges.size() && edges[i + 1].status != edges[i].status) out.push_back(t);
    }
    return out;
  }
  /// Status in force at `tick`.
  uint8_t StatusAt(uint64_t tick) const {
    uint64_t t = 0;
    for (const PulseSample& e : edges) {
      t += e.duration;
      if (tick < t) return e.status;
    }
    return edges.empty() ? 0 : edges.back().status;
  }
};

inline std::vector<PulseSample> Slice(const std::vector<float>& audio,
                                      const AudioSlicerOptions& options, bool finish = true) {
  AudioSlicer slicer(options);
  EdgeCollector sink;
  slicer.Process(audio.data(), audio.size(), sink);
  if (finish) slicer.Finish(sink);
  return sink.edges;
}

inline std::vector<int> RandomSymbols(size_t count, int levels, uint32_t rngStart) {
  std::mt19937 rng(rngStart);
  std::uniform_int_distribution<int> pick(0, levels - 1);
  std::vector<int> out(count);
  for (int& s : out) s = pick(rng);
  return out;
}

inline std::vector<int> Alternating(size_t count) {
  std::vector<int> out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<int>((i + 1) & 1);
  return out;
}

}  // namespace skelmar::test
