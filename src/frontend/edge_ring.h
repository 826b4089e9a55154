// The ring of slicer edges shared between an edge source (producer thread)
// and the front end (the timer tick, the only reader).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace skelmar {

/// Ticks per second: the unit of every duration on the edge path. It is the
/// rate the clocks' symbol periods are built on (FLEX 1600 symbols/s is
/// 745.112 ticks, GSC 600 bit/s 1986.97 ticks); timing edges with the PC
/// timer's nominal 1,193,182 instead would make every FLEX and GSC transmitter
/// look 840 ppm slow, and four-level FLEX, whose clock corrects only on
/// crossings between the lower and upper level pairs, drifts off its inner
/// phases within one frame.
inline constexpr uint32_t kTicksPerSecondWhole = 1192179;
inline constexpr double kTicksPerSecond = kTicksPerSecondWhole;

/// One edge: how long the slicer held `status` (modem-status bits 4..7:
/// CTS, DSR, RI, DCD), written when that state ends.
struct PulseSample {
  uint16_t duration;
  uint8_t status;
  friend bool operator==(const PulseSample&, const PulseSample&) = default;
};

/// Reliability of a decision at its level's mean; a decision on its
/// threshold has none.
inline constexpr int kReliabilityUnit = 64;

/// One clocked decision of an audio slicer beside the edges: the symbol's
/// span in stream ticks (the sum of the edge durations before it), its level
/// 0..3 and how sure the slicer was of each of its two bits (the polarity
/// bit, and the inner bit of four-level data), in kReliabilityUnit per clean
/// symbol, 1 to 255.
struct SymbolDecision {
  uint64_t start = 0;
  uint32_t length = 0;
  uint8_t level = 0;
  uint8_t outer = 0;
  uint8_t inner = 0;
};

/// Two parallel arrays, a write index and a size. The producer fills an
/// entry completely, then advances the write index with release order; the
/// reader loads it with acquire order before each sample it takes.
class EdgeRing {
 public:
  /// A zero-filled ring; a size below 1 is taken as 1.
  explicit EdgeRing(uint32_t size);
  EdgeRing(const EdgeRing&) = delete;
  EdgeRing& operator=(const EdgeRing&) = delete;

  uint32_t size() const { return size_; }
  uint16_t* durations() { return durations_.get(); }
  uint8_t* statuses() { return statuses_.get(); }
  const uint16_t* durations() const { return durations_.get(); }
  const uint8_t* statuses() const { return statuses_.get(); }
  std::atomic<uint32_t>& writeIndex() { return writeIndex_; }
  const std::atomic<uint32_t>& writeIndex() const { return writeIndex_; }

  /// The decisions beside the edges, in time order, a ring of their own with
  /// the same protocol: the producer stores an entry, then advances the
  /// write index with release order; the reader publishes how far it has
  /// read, and a full ring drops the decision (the symbol then has no
  /// reliability). Only audio slicers write it.
  static constexpr uint32_t kDecisions = 4096;
  SymbolDecision* decisions() { return decisions_.get(); }
  const SymbolDecision* decisions() const { return decisions_.get(); }
  std::atomic<uint32_t>& decisionWriteIndex() { return decisionWrite_; }
  const std::atomic<uint32_t>& decisionWriteIndex() const { return decisionWrite_; }
  /// Written by the one reader, which is handed the ring as const.
  std::atomic<uint32_t>& decisionReadIndex() const { return decisionRead_; }

 private:
  uint32_t size_;
  std::unique_ptr<uint16_t[]> durations_;
  std::unique_ptr<uint8_t[]> statuses_;
  std::atomic<uint32_t> writeIndex_{0};
  std::unique_ptr<SymbolDecision[]> decisions_;
  std::atomic<uint32_t> decisionWrite_{0};
  mutable std::atomic<uint32_t> decisionRead_{0};
};

/// The one way edge sources write a ring. What a producer must guarantee:
/// - it is the only writer of the ring, and calls Put from one thread at a time;
/// - each call describes a state that has ended: its length in ticks and its status;
/// - it stores both halves of an entry before it advances the write index (Put
///   does this, with release order on the index);
/// - it never writes an entry the reader has not yet passed: Put refuses (and
///   counts an overrun) when the ring is full rather than lapping the reader.
/// States longer than 65535 ticks are split into several samples of the same
/// status; when the ring fills part way through such a state, the samples that
/// fit are written and the rest are counted as overruns.
class EdgeProducer {
 public:
  /// `readIndex` is the reader's published position, used to detect a full ring;
  /// pass nullptr to let the producer lap the reader (the driver's behaviour).
  EdgeProducer(EdgeRing& ring, const std::atomic<uint32_t>* readIndex);

  /// Writes one ended state; returns false if some or all of it was dropped
  /// because the ring was full.
  bool Put(uint64_t durationTicks, uint8_t status);

  /// Writes one decision beside the edges; dropped when the reader is a
  /// whole decision ring behind.
  void PutDecision(const SymbolDecision& decision);

  /// Samples still free before the ring is full (ring size - 1 when empty).
  uint32_t Free() const;
  /// Samples refused because the ring was full (readable from any thread).
  uint64_t overruns() const { return overruns_.load(std::memory_order_relaxed); }

  /// Longest duration one sample can carry.
  static constexpr uint64_t kMaxSampleTicks = 65535;

 private:
  void Store(uint32_t index, uint16_t duration, uint8_t status);

  EdgeRing& ring_;
  const std::atomic<uint32_t>* readIndex_;
  std::atomic<uint64_t> overruns_{0};
};

}  // namespace skelmar
