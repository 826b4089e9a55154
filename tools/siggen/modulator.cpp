// Symbol levels to slicer edges.
#include "modulator.h"

#include <algorithm>
#include <cmath>

namespace siggen {

namespace {
constexpr double kTicks = skelmar::kTicksPerSecond;
}

uint8_t StatusForLevel(int level, const ModulatorOptions& options) {
  if (options.invert) level ^= 3;
  if (options.fourLevel) {
    static constexpr uint8_t kFour[4] = {0x00, kLineCts, kLineCts | kLineDsr,
                                         kLineCts | kLineDsr | kLineDcd};
    return kFour[level & 3];
  }
  return level >= 2 ? options.line : 0;
}

EdgeWriter::EdgeWriter(uint32_t randomStart) : rng_(randomStart) {}

void EdgeWriter::Emit(uint8_t status, double edgeTime) {
  if (!started_) {
    started_ = true;
    status_ = status;
    lastEdge_ = 0;
    return;
  }
  if (status == status_) return;
  // The state in progress ends at edgeTime; keep edges in order.
  edgeTime = std::max(edgeTime, lastEdge_);
  double length = std::round(edgeTime) - std::round(lastEdge_);
  while (length > 65535) {
    samples_.push_back({65535, status_});
    length -= 65535;
  }
  samples_.push_back({static_cast<uint16_t>(length), status_});
  lastEdge_ = edgeTime;
  status_ = status;
}

void EdgeWriter::Symbols(const std::vector<uint8_t>& levels, const ModulatorOptions& options) {
  const double period = kTicks / (options.symbolRate * (1.0 + options.clockOffsetPpm * 1e-6));
  std::uniform_real_distribution<double> jitter(-options.jitter * period, options.jitter * period);
  for (uint8_t level : levels) {
    const uint8_t status = StatusForLevel(level, options);
    if (!started_ || status != status_) {
      double edge = now_ + (options.jitter > 0 ? jitter(rng_) : 0.0);
      Emit(status, edge);
    }
    now_ += period;
  }
}

void EdgeWriter::Hold(int level, double seconds, const ModulatorOptions& options) {
  const uint8_t status = StatusForLevel(level, options);
  Emit(status, now_);
  now_ += seconds * kTicks;
}

std::vector<PulseSample> EdgeWriter::Finish() {
  if (started_) {
    // Close the last state with a change to its opposite so it is written.
    const uint8_t closing = status_ == 0 ? kLineDcd : 0;
    Emit(closing, now_);
    started_ = false;
  }
  return std::move(samples_);
}

std::vector<PulseSample> Modulate(const std::vector<uint8_t>& levels,
                                  const ModulatorOptions& options) {
  EdgeWriter writer(options.randomStart);
  writer.Symbols(levels, options);
  return writer.Finish();
}

int InjectBitErrors(std::vector<uint8_t>& bits, double rate, uint32_t randomStart) {
  std::mt19937 rng(randomStart);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  int flipped = 0;
  for (uint8_t& b : bits) {
    if (u(rng) < rate) {
      b ^= 1;
      ++flipped;
    }
  }
  return flipped;
}

void InjectBurst(std::vector<uint8_t>& bits, size_t start, size_t length) {
  for (size_t i = start; i < start + length && i < bits.size(); ++i) bits[i] ^= 1;
}

}  // namespace siggen
