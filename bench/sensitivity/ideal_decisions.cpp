// Integrate-and-decide over known symbol intervals, and symbol error counts.
#include "ideal_decisions.h"

#include <cmath>

namespace skelmar::sensitivity {

namespace {

// Slicer level (0..3) a status byte stands for: the count of asserted lines.
int LevelOfStatus(uint8_t status) {
  return ((status >> 4) & 1) + ((status >> 5) & 1) + ((status >> 7) & 1);
}

}  // namespace

std::vector<uint8_t> IdealLevels(const std::vector<int16_t>& audio, int sampleRate,
                                 const std::vector<Segment>& segments, bool fourLevel,
                                 double fullScale) {
  // Running sums make each symbol's integral two look-ups.
  std::vector<double> sum(audio.size() + 1, 0.0);
  for (size_t n = 0; n < audio.size(); ++n) sum[n + 1] = sum[n] + audio[n];
  const double samplesPerTick = sampleRate / kTicksPerSecond;
  const double last = static_cast<double>(audio.size());
  // Integral of the (piecewise constant) audio from 0 to t, t in samples.
  auto integral = [&](double t) {
    t = std::fmin(std::fmax(t, 0.0), last);
    const auto n = static_cast<size_t>(t);
    const double frac = t - static_cast<double>(n);
    return sum[n] + (n < audio.size() ? frac * audio[n] : 0.0);
  };

  std::vector<uint8_t> levels(segments.size(), 0);
  const double inner = fullScale * 2.0 / 3.0;
  for (size_t i = 0; i < segments.size(); ++i) {
    const double a = segments[i].start * samplesPerTick;
    const double b = segments[i].end * samplesPerTick;
    if (b <= a || a >= last) continue;
    const double mean = (integral(b) - integral(a)) / (std::fmin(b, last) - a);
    if (!fourLevel) {
      levels[i] = mean >= 0 ? 3 : 0;
    } else {
      levels[i] = mean >= inner ? 3 : mean >= 0 ? 2 : mean >= -inner ? 1 : 0;
    }
  }
  return levels;
}

std::vector<uint8_t> LevelsAtCentres(const std::vector<PulseSample>& edges,
                                     const std::vector<Segment>& segments, double delayTicks) {
  std::vector<uint8_t> levels(segments.size(), 0);
  size_t e = 0;
  double edgeEnd = edges.empty() ? 0 : edges[0].duration;
  for (size_t i = 0; i < segments.size(); ++i) {
    const double centre = 0.5 * (segments[i].start + segments[i].end) + delayTicks;
    while (e + 1 < edges.size() && edgeEnd <= centre) edgeEnd += edges[++e].duration;
    if (!edges.empty()) levels[i] = static_cast<uint8_t>(LevelOfStatus(edges[e].status));
  }
  return levels;
}

int64_t SymbolErrors(const std::vector<Segment>& segments, const std::vector<uint8_t>& levels,
                     bool fourLevel, int64_t* symbols) {
  int64_t errors = 0;
  int64_t compared = 0;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (!segments[i].data) continue;
    ++compared;
    // Two-level decisions only tell the sign.
    const int want = fourLevel ? segments[i].level : (segments[i].level >= 2 ? 3 : 0);
    const int got = fourLevel ? levels[i] : (levels[i] >= 2 ? 3 : 0);
    if (want != got) ++errors;
  }
  if (symbols) *symbols = compared;
  return errors;
}

}  // namespace skelmar::sensitivity
