// Receiver front end: level decoding, POCSAG rate detection, the data and GSC
// symbol clocks, and delivery of symbols to the three decoders.
#pragma once

#include <atomic>
#include <cstdint>

#include "frontend/channel_arbiter.h"
#include "frontend/edge_ring.h"
#include "frontend/front_end_types.h"

namespace skelmar {

/// Level 0..3 of a modem-status byte, after the 4-level and invert settings.
int DecodeLevel(uint8_t status, bool fourLevelInterface, bool invertData);

/// The decoders reach it as their ChannelControl; whose turn it is on the
/// channel is the arbiter's to say (channel_arbiter.h).
class FrontEnd : public ChannelArbiter {
 public:
  /// Starts in the reset state, so samples may be polled at once.
  FrontEnd(const Settings& settings, ModeCaption& caption);
  FrontEnd(const FrontEnd&) = delete;
  FrontEnd& operator=(const FrontEnd&) = delete;

  /// Start-up reset: clocks, counters, shared items (not the read index).
  void Reset();

  /// Drains every sample between the read index and the ring's write index.
  /// A read index beyond a (smaller, reopened) ring starts over at 0; a write
  /// index outside the ring is taken as "nothing new".
  void PollEdges(const EdgeRing& ring);
  /// The same, but stops before the edge that would take the stream time
  /// read so far past `untilTicks`; true when it stopped there with edges
  /// still waiting. Several channels read in turn this way come out in the
  /// order their signals ended on air.
  bool PollEdgesUntil(const EdgeRing& ring, uint64_t untilTicks);
  /// Stream time of the edges read so far, in ticks (never reset: a
  /// reopened source goes on from here).
  uint64_t ticksRead() const { return ticksRead_; }

  /// The reader's position, published so producers can tell a full ring.
  const std::atomic<uint32_t>& readIndex() const { return readIndex_; }

 private:
  void ProcessSample(uint16_t duration, uint8_t status);
  void RunRateDetector(uint16_t duration, int polarity);
  void LockRate(int rate);
  void RunGscClock(int level);
  void RunDataClock(int level);
  /// `tick` < 0: the symbol has no reliability.
  void PutFlexSymbol(int level, double tick);
  /// The slicer's decision for the symbol the front end takes at `tick` of
  /// stream time, with the reliability of each bit; none known when the
  /// source gives no decisions or the slicer saw that time otherwise.
  struct BitReliability {
    uint8_t outer = 0;
    uint8_t inner = 0;
  };
  BitReliability ReliabilityAt(double tick, int level) const;
  /// Reads past the decisions that ended by `tick`, so the source may reuse
  /// their room, and sets the window ReliabilityAt looks in.
  void ReleaseDecisionsBefore(double tick);
  /// Stream time at which a clock reached its sampling point in this sample.
  double SampleTick(const SymbolClock& clock) const {
    return static_cast<double>(streamTick_) - (clock.elapsed - clock.phase - 0.5 * clock.period);
  }
  void RunFlexWatch(int level);

  std::atomic<uint32_t> readIndex_{0};
  uint64_t ticksRead_ = 0;
  int previousPolarity_ = 0;
  int32_t runLength_ = 0;         ///< saturates far above every window
  int32_t rateCounters_[3] = {};  ///< 2400, 1200, 512
  int previousBinary_ = 0;
  const EdgeRing* ring_ = nullptr;  ///< while PollEdges drains it
  uint64_t streamTick_ = 0;         ///< end of the sample in progress, ticks since the ring began
  uint32_t decisionFrom_ = 0;       ///< decisions not yet ended when the sample began
  uint32_t decisionTo_ = 0;         ///< the decisions' write index then
};

}  // namespace skelmar
