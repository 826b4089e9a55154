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
  void PutFlexSymbol(int level);
  void RunFlexWatch(int level);

  std::atomic<uint32_t> readIndex_{0};
  uint64_t ticksRead_ = 0;
  int previousPolarity_ = 0;
  int32_t runLength_ = 0;         ///< saturates far above every window
  int32_t rateCounters_[3] = {};  ///< 2400, 1200, 512
  int previousBinary_ = 0;
};

}  // namespace skelmar
