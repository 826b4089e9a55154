// What the front end, its channel arbiter and the decoders share: symbol
// timings, statistics rows, the symbol clock and the decoders' entry points.
#pragma once

#include <cstdint>

namespace skelmar {

inline constexpr double kFlexPeriod1600 = 745.1120648545541;
inline constexpr double kFlexPeriod3200 = 372.55603242727705;
inline constexpr double kPocsagPeriod512 = 2327.4;
inline constexpr double kPocsagPeriod1200 = 993.0;
inline constexpr double kPocsagPeriod2400 = 496.4;
inline constexpr double kGscPeriod = 1986.9655062788108;
inline constexpr double kGscHalfPeriod = 993.4827531394054;
inline constexpr double kFlexAcquireGain = 0.065;
inline constexpr double kFlexTrackGain = 0.015;
inline constexpr double kPocsagGain = 0.025;
inline constexpr double kGscGain = 0.05;
inline constexpr int32_t kPocsagHoldOnLock = 600;
inline constexpr int32_t kPocsagHoldOnCodeword = 170;
inline constexpr int kPhaseErrorLogLength = 64;

/// Statistics rows (also used by PocsagStatRow and FlexStatRow).
enum StatRow : int {
  kRowFlex6400 = 0,
  kRowFlex3200 = 1,
  kRowFlex1600 = 2,
  kRowPocsag2400 = 3,
  kRowPocsag1200 = 4,
  kRowPocsag512 = 5,
  kRowGsc = 6,
};
inline constexpr int kStatRows = 7;

/// A first-order software phase-locked loop, in interval-timer ticks.
struct SymbolClock {
  double period = 0;
  double elapsed = 0;
  double phase = 0;
  double gain = 0;
  double lastError = 0;
  double errorLog[kPhaseErrorLogLength] = {};  ///< the PhaseErrorLog
  int logIndex = 0;

  /// Adds half the mean of all 64 logged errors to the phase.
  void RecenterPhase();
  /// Writes lastError into the log at logIndex and advances it.
  void LogError();
};

/// Decoder entry points, called once per symbol from PollEdges.
class PocsagBitSink {
 public:
  virtual ~PocsagBitSink() = default;
  virtual void PutBit(char ch) = 0;  ///< '0', '1' or 'X' (end of hold)
  /// The same with the bit's reliability (edge_ring.h), 0 when not known.
  virtual void PutReliableBit(char ch, uint8_t) { PutBit(ch); }
};
class FlexSymbolSink {
 public:
  virtual ~FlexSymbolSink() = default;
  virtual void PutSymbol(int level) = 0;  ///< 0..3
  /// The same with the reliabilities of its polarity and inner bits, 0 when not known.
  virtual void PutReliableSymbol(int level, uint8_t, uint8_t) { PutSymbol(level); }
  /// The signal has ended for good (end of a file or pipe, or the program
  /// stops): a frame in progress is finished with what arrived.
  virtual void EndOfSignal() {}
};
class GscBitSink {
 public:
  virtual ~GscBitSink() = default;
  virtual void PutBit(int bit) = 0;  ///< 0 or 1
  /// The same with the bit's reliability (edge_ring.h), 0 when not known.
  virtual void PutReliableBit(int bit, uint8_t) { PutBit(bit); }
  /// The signal has ended for good: a transmission in progress ends here.
  virtual void EndOfSignal() {}
  /// Another protocol (a FLEX frame, a POCSAG rate lock) has begun while
  /// this decoder held the channel: the transmission ends here, and the
  /// caption is left to the newcomer.
  virtual void ChannelTaken() {}
};

}  // namespace skelmar
