// Symbol decisions of an ideal receiver: the noisy audio integrated over each
// symbol's true interval, the nearest nominal level taken.
#pragma once

#include <cstdint>
#include <vector>

#include "traffic.h"

namespace skelmar::sensitivity {

/// Levels decided for each segment of the timeline. `fullScale` is the audio
/// value of the outer deviation; levels 1 and 2 sit at a third of it.
/// `sampleRate` is the audio's, sample n covering [n, n + 1) / sampleRate seconds.
std::vector<uint8_t> IdealLevels(const std::vector<int16_t>& audio, int sampleRate,
                                 const std::vector<Segment>& segments, bool fourLevel,
                                 double fullScale);

/// Level in force at each data segment's centre, read from edges (delayed by
/// `delayTicks`), for symbol error counts of a slicer's output.
std::vector<uint8_t> LevelsAtCentres(const std::vector<PulseSample>& edges,
                                     const std::vector<Segment>& segments, double delayTicks);

/// Data symbols whose level differs; `symbols` receives the number compared.
int64_t SymbolErrors(const std::vector<Segment>& segments, const std::vector<uint8_t>& levels,
                     bool fourLevel, int64_t* symbols);

}  // namespace skelmar::sensitivity

namespace skelmar::sensitivity {

/// The edges with every state shorter than `minTicks` given to the state
/// before it: what a glitch filter after the slicer would deliver.
std::vector<PulseSample> WithoutShortStates(const std::vector<PulseSample>& edges, double minTicks);

/// Number of level changes in an edge stream.
int64_t LevelChanges(const std::vector<PulseSample>& edges);

}  // namespace skelmar::sensitivity

namespace skelmar::sensitivity {

/// Timing of a slicer's level changes against the true ones: each true change
/// paired with the nearest slicer change within half a symbol.
struct EdgeTiming {
  double medianTicks = 0;  ///< typical delay (the slicer's filter)
  double rmsTicks = 0;     ///< spread around the median
  double paired = 0;       ///< share of true changes that found a partner
};
EdgeTiming MeasureEdgeTiming(const std::vector<PulseSample>& truth,
                             const std::vector<PulseSample>& sliced, double symbolTicks);

}  // namespace skelmar::sensitivity
