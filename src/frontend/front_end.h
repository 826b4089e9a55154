// Receiver front end: level decoding, POCSAG rate detection, the data and GSC
// symbol clocks, and delivery of symbols to the three decoders.
#pragma once

#include <atomic>
#include <cstdint>

#include "frontend/edge_ring.h"

namespace skelmar {

struct Settings;
class ModeCaption;

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

/// Items the decoders write and the front end reads (plain integers).
struct FrontShared {
  int32_t pocsagHold = 0;  ///< PocsagHold: POCSAG bits left before FLEX mode returns
  int32_t pocsagStatRow = kRowPocsag1200;  ///< PocsagStatRow
  int32_t flexBusy = 0;                    ///< FlexBusy
  int32_t gscBusy = 0;                     ///< GscBusy
  int32_t captionTimeout = 0;              ///< CaptionTimeout, in timer ticks
};

/// Decoder entry points, called once per symbol from PollEdges.
class PocsagBitSink {
 public:
  virtual ~PocsagBitSink() = default;
  virtual void PutBit(char ch) = 0;  ///< '0', '1' or 'X' (end of hold)
};
class FlexSymbolSink {
 public:
  virtual ~FlexSymbolSink() = default;
  virtual void PutSymbol(int level) = 0;  ///< 0..3
  /// The signal has ended for good (end of a file or pipe, or the program
  /// stops): a frame in progress is finished with what arrived.
  virtual void EndOfSignal() {}
};
class GscBitSink {
 public:
  virtual ~GscBitSink() = default;
  virtual void PutBit(int bit) = 0;  ///< 0 or 1
  /// The signal has ended for good: a transmission in progress ends here.
  virtual void EndOfSignal() {}
  /// Another protocol (a FLEX frame, a POCSAG rate lock) has begun while
  /// this decoder held the channel: the transmission ends here, and the
  /// caption is left to the newcomer.
  virtual void ChannelTaken() {}
};

/// Level 0..3 of a modem-status byte, after the 4-level and invert settings.
int DecodeLevel(uint8_t status, bool fourLevelInterface, bool invertData);

class FrontEnd {
 public:
  /// Starts in the reset state, so samples may be polled at once.
  FrontEnd(const Settings& settings, ModeCaption& caption);
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  /// Any sink may be null: its calls are skipped, everything else runs as usual.
  void Attach(PocsagBitSink* pocsag, FlexSymbolSink* flex, GscBitSink* gsc);

  /// Start-up reset: clocks, counters, shared items (not the read index).
  void Reset();

  /// Drains every sample between the read index and the ring's write index.
  /// A read index beyond a (smaller, reopened) ring starts over at 0; a write
  /// index outside the ring is taken as "nothing new".
  void PollEdges(const EdgeRing& ring);

  /// POCSAG decoding was switched off: drops a running hold and gives the data
  /// clock back to FLEX (period and gain), so FLEX can sync again. No 'X' is
  /// sent and the caption stays as it is.
  void CancelPocsagHold();

  /// No edge will come any more (end of a file or pipe, or the program
  /// stops). A running POCSAG hold ends as if it had run out ('X' to the
  /// decoder, plain caption, data clock back to FLEX), and FLEX and GSC end
  /// what they are in the middle of, so every page received so far is written.
  /// Call it after the last sample has been polled.
  void EndOfSignal();

  /// Step 3 of the timer tick: counts CaptionTimeout down, clearing the caption at 0.
  void CaptionTick();

  /// The reader's position, published so producers can tell a full ring.
  const std::atomic<uint32_t>& readIndex() const { return readIndex_; }

  /// The clock FLEX times its symbols on: the data clock, except while a
  /// POCSAG hold has it and FLEX listens on a clock of its own.
  SymbolClock& FlexClock() { return *flexClock_; }

  SymbolClock dataClock;
  SymbolClock gscClock;
  FrontShared shared;
  ModeCaption& caption;

 private:
  void ProcessSample(uint16_t duration, uint8_t status);
  void RunRateDetector(uint16_t duration, int polarity);
  void LockRate(int rate);
  void RunGscClock(int level);
  void RunDataClock(int level);
  void PutFlexSymbol(int level);
  void RunFlexWatch(int level);
  void TakeChannelForFlex();

  const Settings& settings_;
  PocsagBitSink* pocsag_ = nullptr;
  FlexSymbolSink* flex_ = nullptr;
  GscBitSink* gsc_ = nullptr;
  std::atomic<uint32_t> readIndex_{0};
  int previousPolarity_ = 0;
  int32_t runLength_ = 0;         ///< saturates far above every window
  int32_t rateCounters_[3] = {};  ///< 2400, 1200, 512
  int previousBinary_ = 0;
  /// FLEX's clock while a POCSAG hold has the data clock, so a FLEX frame
  /// that follows POCSAG at once is heard before the hold runs out.
  SymbolClock flexWatch_;
  SymbolClock* flexClock_ = &dataClock;
};

}  // namespace skelmar
