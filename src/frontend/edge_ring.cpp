// The edge ring's storage and the producer helper every edge source writes through.
#include "frontend/edge_ring.h"

#include <algorithm>

namespace skelmar {

EdgeRing::EdgeRing(uint32_t size)
    : size_(std::max<uint32_t>(size, 1)),
      durations_(new uint16_t[size_]()),
      statuses_(new uint8_t[size_]()),
      decisions_(new SymbolDecision[kDecisions]()) {}

EdgeProducer::EdgeProducer(EdgeRing& ring, const std::atomic<uint32_t>* readIndex)
    : ring_(ring), readIndex_(readIndex) {}

uint32_t EdgeProducer::Free() const {
  const uint32_t size = ring_.size();
  if (readIndex_ == nullptr) return size - 1;
  const uint32_t w = ring_.writeIndex().load(std::memory_order_relaxed);
  uint32_t r = readIndex_->load(std::memory_order_acquire);
  // A reader that has not yet caught up with a smaller ring starts over at 0.
  if (r >= size) r = 0;
  if (w >= size) return 0;
  return (r + size - w - 1) % size;
}

void EdgeProducer::Store(uint32_t index, uint16_t duration, uint8_t status) {
  ring_.durations()[index] = duration;
  ring_.statuses()[index] = status;
  const uint32_t next = index + 1 == ring_.size() ? 0 : index + 1;
  // Release: the entry must be visible before the index that covers it.
  ring_.writeIndex().store(next, std::memory_order_release);
}

void EdgeProducer::PutDecision(const SymbolDecision& decision) {
  constexpr uint32_t n = EdgeRing::kDecisions;
  const uint32_t w = ring_.decisionWriteIndex().load(std::memory_order_relaxed) % n;
  const uint32_t r = ring_.decisionReadIndex().load(std::memory_order_acquire) % n;
  if ((w + 1) % n == r) return;
  ring_.decisions()[w] = decision;
  ring_.decisionWriteIndex().store((w + 1) % n, std::memory_order_release);
}

bool EdgeProducer::Put(uint64_t durationTicks, uint8_t status) {
  // Number of samples the state needs: a zero-length state still takes one.
  uint64_t pieces =
      durationTicks == 0 ? 1 : (durationTicks + kMaxSampleTicks - 1) / kMaxSampleTicks;
  uint64_t remaining = durationTicks;
  const uint32_t size = ring_.size();
  while (pieces > 0) {
    uint32_t w = ring_.writeIndex().load(std::memory_order_relaxed);
    if (w >= size) w = 0;  // never index outside the arrays
    if (readIndex_ != nullptr && Free() == 0) {
      overruns_.fetch_add(pieces, std::memory_order_relaxed);
      return false;
    }
    const uint64_t piece = std::min(remaining, kMaxSampleTicks);
    Store(w, static_cast<uint16_t>(piece), status);
    remaining -= piece;
    --pieces;
  }
  return true;
}

}  // namespace skelmar
