// Integrate-and-decide over known symbol intervals, and symbol error counts.
#include "ideal_decisions.h"

#include <algorithm>
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

namespace skelmar::sensitivity {

std::vector<PulseSample> WithoutShortStates(const std::vector<PulseSample>& edges,
                                            double minTicks) {
  // Whole states (pieces of one long state joined) first.
  struct State {
    uint8_t status;
    double ticks;
  };
  std::vector<State> states;
  for (const PulseSample& e : edges) {
    if (!states.empty() && states.back().status == e.status) {
      states.back().ticks += e.duration;
    } else if (!states.empty() && e.duration < minTicks && states.size() > 1) {
      // Too short to be a symbol: it belongs to the state before.
      states.back().ticks += e.duration;
    } else {
      states.push_back({e.status, static_cast<double>(e.duration)});
    }
  }
  std::vector<PulseSample> out;
  for (const State& s : states) {
    double left = s.ticks;
    while (left > 65535) {
      out.push_back({65535, s.status});
      left -= 65535;
    }
    if (left > 0) out.push_back({static_cast<uint16_t>(left), s.status});
  }
  return out;
}

int64_t LevelChanges(const std::vector<PulseSample>& edges) {
  int64_t changes = 0;
  for (size_t i = 1; i < edges.size(); ++i) changes += edges[i].status != edges[i - 1].status;
  return changes;
}

}  // namespace skelmar::sensitivity

namespace skelmar::sensitivity {

namespace {

std::vector<double> ChangeTimes(const std::vector<PulseSample>& edges) {
  std::vector<double> out;
  double t = 0;
  for (size_t i = 0; i + 1 < edges.size(); ++i) {
    t += edges[i].duration;
    if (edges[i + 1].status != edges[i].status) out.push_back(t);
  }
  return out;
}

}  // namespace

EdgeTiming MeasureEdgeTiming(const std::vector<PulseSample>& truth,
                             const std::vector<PulseSample>& sliced, double symbolTicks) {
  const std::vector<double> want = ChangeTimes(truth);
  const std::vector<double> got = ChangeTimes(sliced);
  EdgeTiming timing;
  if (want.empty() || got.empty()) return timing;
  // The filter delays every change alike: find that delay first, from the
  // nearest later change of each true one.
  auto errors = [&](double delay) {
    std::vector<double> out;
    size_t j = 0;
    for (double t : want) {
      const double target = t + delay;
      while (j + 1 < got.size() && got[j + 1] <= target) ++j;
      double best = got[j] - target;
      if (j + 1 < got.size() && std::fabs(got[j + 1] - target) < std::fabs(best)) {
        best = got[j + 1] - target;
      }
      if (std::fabs(best) < 0.5 * symbolTicks) out.push_back(best);
    }
    return out;
  };
  std::vector<double> first = errors(0);
  if (first.empty()) return timing;
  std::nth_element(first.begin(), first.begin() + static_cast<long>(first.size() / 2), first.end());
  timing.medianTicks = first[first.size() / 2];
  const std::vector<double> around = errors(timing.medianTicks);
  double sum = 0;
  for (double e : around) sum += e * e;
  timing.rmsTicks = around.empty() ? 0 : std::sqrt(sum / static_cast<double>(around.size()));
  timing.paired = static_cast<double>(around.size()) / static_cast<double>(want.size());
  return timing;
}

}  // namespace skelmar::sensitivity
