// Turns a stream of symbol levels into slicer edges (PulseSamples) the way a
// receiver's slicer and an edge source would deliver them, with the
// impairments the tests need: clock offset, timing jitter, polarity, line choice.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "frontend/edge_ring.h"

namespace siggen {

using skelmar::PulseSample;

/// Modem-status bytes of the slicer lines.
inline constexpr uint8_t kLineCts = 0x10;
inline constexpr uint8_t kLineDsr = 0x20;
inline constexpr uint8_t kLineDcd = 0x80;

struct ModulatorOptions {
  double symbolRate = 1200.0;   ///< symbols per second
  double clockOffsetPpm = 0.0;  ///< transmitter clock error: positive = faster
  double jitter = 0.0;          ///< edge jitter, uniform, as a fraction of a symbol (peak)
  bool invert = false;          ///< transmit inverted levels (0<->3, 1<->2)
  bool fourLevel = false;   ///< status bytes of a 4-level slicer (levels 0..3 as 0, 1, 2, 3 lines)
  uint8_t line = kLineDcd;  ///< the line a 2-level slicer drives
  uint32_t randomStart = 1;
};

/// Status byte for a level, as a 2- or 4-level slicer would present it.
uint8_t StatusForLevel(int level, const ModulatorOptions& options);

/// Accumulates edges across several calls (a transmission made of parts at
/// different rates, with gaps between them).
class EdgeWriter {
 public:
  explicit EdgeWriter(uint32_t randomStart = 1);

  /// Appends symbols (levels 0..3) at the options' rate.
  void Symbols(const std::vector<uint8_t>& levels, const ModulatorOptions& options);
  /// Holds `level` for `seconds` (carrier off, squelch, gaps).
  void Hold(int level, double seconds, const ModulatorOptions& options);
  /// Ends the last state so it is written out; call once at the end.
  std::vector<PulseSample> Finish();

 private:
  void Emit(uint8_t status, double endTime);
  std::vector<PulseSample> samples_;
  std::mt19937 rng_;
  double now_ = 0;       ///< ideal time in ticks of the end of the last symbol
  double lastEdge_ = 0;  ///< time in ticks of the last written edge
  uint8_t status_ = 0;   ///< status of the state in progress
  bool started_ = false;
};

/// One call for a single-rate stream: symbols to edges.
std::vector<PulseSample> Modulate(const std::vector<uint8_t>& levels,
                                  const ModulatorOptions& options);

/// Flips each bit (0/1 values) with probability `rate`; returns the number flipped.
int InjectBitErrors(std::vector<uint8_t>& bits, double rate, uint32_t randomStart);
/// Flips `length` bits from `start`.
void InjectBurst(std::vector<uint8_t>& bits, size_t start, size_t length);

}  // namespace siggen
