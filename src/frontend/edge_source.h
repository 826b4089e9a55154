// The contract every edge source keeps: serial modem-status watcher, audio
// slicer, recording replay.
#pragma once

#include <cstdint>

#include "frontend/edge_ring.h"

namespace skelmar {

/// Ticks of stream time in one 100 ms timer period.
inline constexpr uint64_t kTicksPerTimerTick = kTicksPerSecondWhole / 10;

/// Error codes of Open, as the slicer link reports them.
enum EdgeSourceError : int {
  kEdgeErrorBusy = -1,          ///< the source was not closed before ("not previously unloaded")
  kEdgeErrorAttach = -2,        ///< the port or device could not be attached
  kEdgeErrorMemory = -3,        ///< no memory for the ring
  kEdgeErrorMemoryLocked = -4,  ///< no memory for the ring (second form)
};

class EdgeSource {
 public:
  virtual ~EdgeSource() = default;

  /// Attaches to the input and yields a ring: returns the ring size (> 0) or
  /// one of the codes -1..-4. `readIndex` is the reader's published position,
  /// so a producer can refuse to lap it.
  virtual int Open(const std::atomic<uint32_t>* readIndex) = 0;

  /// Detaches from the input and releases the ring.
  virtual void Close() = 0;

  /// A live source stops capturing and writes the state in progress (its
  /// length up to now) as its last sample, since no edge will end it; the
  /// ring stays readable until Close. Stream sources write their last state
  /// when the stream ends and have nothing to do here.
  virtual void Stop() {}

  /// The ring while open, else nullptr.
  virtual const EdgeRing* ring() const = 0;

  /// Live sources (a capture thread fills the ring in real time) return true;
  /// the caller then runs the timer tick on the wall clock.
  virtual bool IsLive() const = 0;

  /// Stream sources (files, pipes): write into the ring the edges of the next
  /// `ticks` of stream time, as far as the ring has room, on the caller's
  /// thread. Returns false once the stream has ended and nothing more will come.
  /// Live sources return true and do nothing.
  virtual bool Advance(uint64_t ticks) = 0;

  /// Samples dropped because the ring was full, since Open.
  virtual uint64_t overruns() const = 0;

  /// Text of the last failure, for the user; empty when none.
  virtual const char* lastError() const = 0;
};

}  // namespace skelmar
