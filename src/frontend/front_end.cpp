// Receiver front end: turns slicer edge timings into symbols for the three decoders.
#include "frontend/front_end.h"

#include <algorithm>
#include <limits>

#include "frontend/audio_slicer.h"
#include "frontend/mode_caption.h"
#include "settings/settings.h"

namespace skelmar {

namespace {

// Level by modem-status nibble (CTS, DSR, RI, DCD): the number of asserted
// lines among CTS, DSR and DCD. RI never counts.
constexpr int8_t kLevelByLines[16] = {0, 1, 1, 2, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3};

// POCSAG rates in the order the detector tries them: 2400, 1200, 512.
struct PocsagRate {
  int32_t runAbove;  // exclusive window bounds, in ticks
  int32_t runBelow;
  int captionFlags;
  int32_t statRow;
  double period;
};
constexpr PocsagRate kPocsagRates[3] = {
    {421, 571, kModePocsag | kModePhaseB, kRowPocsag2400, kPocsagPeriod2400},
    {842, 1142, kModePocsag | kModePhaseC, kRowPocsag1200, kPocsagPeriod1200},
    {1976, 2674, kModePocsag | kModePhaseD, kRowPocsag512, kPocsagPeriod512},
};
constexpr int32_t kLockAbove = 180;
constexpr int32_t kDecayAbove = 5;
constexpr int32_t kDecay = 3;

// A run never grows past this, so very long runs stay outside every window
// instead of wrapping around into one.
constexpr int32_t kRunLengthCap = std::numeric_limits<int32_t>::max() - 65535;

}  // namespace

int DecodeLevel(uint8_t status, bool fourLevelInterface, bool invertData) {
  int level = kLevelByLines[status >> 4];
  // A two-level slicer may drive any one line: any asserted line is the top level.
  if (!fourLevelInterface && level > 0) level = 3;
  if (invertData) level ^= 3;
  return level;
}

void SymbolClock::RecenterPhase() {
  double sum = 0;
  for (double e : errorLog) sum += e;
  phase += 0.5 * (sum / kPhaseErrorLogLength);
}

void SymbolClock::LogError() {
  // Masking keeps a slot index that a decoder may have disturbed inside the log.
  errorLog[logIndex & (kPhaseErrorLogLength - 1)] = lastError;
  logIndex = (logIndex + 1) & (kPhaseErrorLogLength - 1);
}
static_assert((kPhaseErrorLogLength & (kPhaseErrorLogLength - 1)) == 0,
              "the error log index wraps by masking");

FrontEnd::FrontEnd(const Settings& settings, ModeCaption& captionRef)
    : ChannelArbiter(settings, captionRef) {
  Reset();
}

void FrontEnd::Reset() {
  ResetChannel();
  previousPolarity_ = 0;
  runLength_ = 0;
  std::fill(std::begin(rateCounters_), std::end(rateCounters_), 0);
  previousBinary_ = 0;
}

void FrontEnd::PollEdges(const EdgeRing& ring) { PollEdgesUntil(ring, UINT64_MAX); }

bool FrontEnd::PollEdgesUntil(const EdgeRing& ring, uint64_t untilTicks) {
  const uint32_t size = ring.size();
  const uint16_t* durations = ring.durations();
  const uint8_t* statuses = ring.statuses();
  uint32_t r = readIndex_.load(std::memory_order_relaxed);
  if (r >= size) {
    // The ring came back smaller than before: start over at its first entry.
    r = 0;
    readIndex_.store(r, std::memory_order_release);
    streamTick_ = 0;
  }
  ring_ = &ring;
  bool stopped = false;
  for (;;) {
    // Acquire: the entry is complete once the index that covers it is seen.
    const uint32_t w = ring.writeIndex().load(std::memory_order_acquire);
    if (r == w || w >= size) break;
    if (ticksRead_ + durations[r] > untilTicks) {
      stopped = true;
      break;
    }
    ticksRead_ += durations[r];
    ProcessSample(durations[r], statuses[r]);
    r = r + 1 == size ? 0 : r + 1;
    // Release: the entry has been read before the producer may reuse it.
    readIndex_.store(r, std::memory_order_release);
  }
  // Every symbol still to come is taken after this time: a source that
  // writes decisions finds room.
  ReleaseDecisionsBefore(static_cast<double>(streamTick_));
  ring_ = nullptr;
  return stopped;
}

void FrontEnd::ReleaseDecisionsBefore(double tick) {
  constexpr uint32_t n = EdgeRing::kDecisions;
  const SymbolDecision* decisions = ring_->decisions();
  std::atomic<uint32_t>& readAt = ring_->decisionReadIndex();
  const uint32_t from = readAt.load(std::memory_order_relaxed) % n;
  // Acquire: a decision is complete once the index that covers it is seen.
  const uint32_t w = ring_->decisionWriteIndex().load(std::memory_order_acquire) % n;
  uint32_t r = from;
  while (r != w && static_cast<double>(decisions[r].start + decisions[r].length) <= tick) {
    r = (r + 1) % n;
  }
  if (r != from) readAt.store(r, std::memory_order_release);
  decisionFrom_ = r;
  decisionTo_ = w;
}

FrontEnd::BitReliability FrontEnd::ReliabilityAt(double tick, int level) const {
  BitReliability out;
  if (ring_ == nullptr) return out;
  // Both clocks look here, each in its own time order, so the search does
  // not move the window; the sample's start moves it.
  constexpr uint32_t n = EdgeRing::kDecisions;
  const SymbolDecision* decisions = ring_->decisions();
  uint32_t r = decisionFrom_;
  while (r != decisionTo_ &&
         static_cast<double>(decisions[r].start + decisions[r].length) <= tick) {
    r = (r + 1) % n;
  }
  if (r == decisionTo_ || static_cast<double>(decisions[r].start) > tick) return out;
  const SymbolDecision& d = decisions[r];
  // The level the slicer decided, as this front end reads it; a bit on
  // which the two disagree is as unsure as a bit can be.
  const int decided = DecodeLevel(kAudioLevelStatus[d.level & 3], settings_.fourLevelInterface != 0,
                                  settings_.invertData != 0);
  out.outer = ((decided ^ level) & 2) == 0 ? d.outer : 1;
  const int innerOf[4] = {1, 0, 0, 1};
  out.inner = innerOf[decided & 3] == innerOf[level & 3] ? d.inner : 1;
  return out;
}

void FrontEnd::ProcessSample(uint16_t duration, uint8_t status) {
  // The decisions that ended before this sample began have served.
  ReleaseDecisionsBefore(static_cast<double>(streamTick_));
  streamTick_ += duration;
  dataClock.elapsed += duration;
  gscClock.elapsed += duration;
  flexWatch_.elapsed += duration;
  const int level =
      DecodeLevel(status, settings_.fourLevelInterface != 0, settings_.invertData != 0);
  const int polarity = level >> 1;
  const int binary = polarity ^ 1;

  if (polarity != previousPolarity_ && RateDetectorListens()) {
    RunRateDetector(duration, polarity);
  } else {
    runLength_ = runLength_ < kRunLengthCap ? runLength_ + duration : kRunLengthCap;
  }

  RunGscClock(level);
  RunDataClock(level);

  // Transition: only a change between the {0,1} and {2,3} halves moves the clocks.
  dataClock.lastError = dataClock.elapsed - dataClock.phase;
  flexWatch_.lastError = flexWatch_.elapsed - flexWatch_.phase;
  if (binary != previousBinary_) {
    dataClock.phase += dataClock.gain * dataClock.lastError;
    gscClock.phase += kGscGain * gscClock.lastError;
    flexWatch_.phase += flexWatch_.gain * flexWatch_.lastError;
  }
  previousBinary_ = binary;
}

void FrontEnd::RunRateDetector(uint16_t duration, int polarity) {
  for (int i = 0; i < 3; ++i) {
    const PocsagRate& rate = kPocsagRates[i];
    if (runLength_ > rate.runAbove && runLength_ < rate.runBelow) {
      ++rateCounters_[i];
    } else if (rateCounters_[i] > kDecayAbove) {
      rateCounters_[i] -= kDecay;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (rateCounters_[i] > kLockAbove) {
      LockRate(i);
      break;
    }
  }
  // The current sample starts the next run.
  runLength_ = duration;
  previousPolarity_ = polarity;
}

void FrontEnd::LockRate(int index) {
  const PocsagRate& rate = kPocsagRates[index];
  rateCounters_[index] = 0;
  PocsagLocked(rate.captionFlags, rate.statRow, rate.period);
}

void FrontEnd::RunGscClock(int level) {
  // Fixed for the whole sample: a recentre by the decoder applies from the next one.
  const double threshold = gscClock.phase + kGscHalfPeriod;
  const int bit = level >= 2 ? 1 : 0;
  while (gscClock.elapsed >= threshold) {
    const double tick = SampleTick(gscClock);
    gscClock.elapsed -= kGscPeriod;
    if (GscBitsPass()) {
      if (gsc_ != nullptr) gsc_->PutReliableBit(bit, ReliabilityAt(tick, level).outer);
      gscClock.LogError();
    }
  }
  gscClock.lastError = gscClock.elapsed - gscClock.phase;
}

void FrontEnd::RunDataClock(int level) {
  // Re-evaluated after every symbol: decoders and the end of a hold change period and phase.
  while (dataClock.elapsed >= dataClock.phase + 0.5 * dataClock.period) {
    // A clock without a positive period could never catch up; take no symbols from it.
    if (!(dataClock.period > 0)) break;
    const double tick = SampleTick(dataClock);
    dataClock.elapsed -= dataClock.period;
    if (!PocsagHolds()) {
      if (FlexSymbolsPass()) PutFlexSymbol(level, tick);
    } else if (PocsagBitsPass()) {
      if (pocsag_ != nullptr) {
        pocsag_->PutReliableBit(level >= 2 ? '0' : '1', ReliabilityAt(tick, level).outer);
      }
      PocsagBitTaken();
    }
  }
  if (FlexWatches()) RunFlexWatch(level);
}

void FrontEnd::PutFlexSymbol(int level, double tick) {
  if (flex_ != nullptr) {
    const BitReliability r = tick >= 0 ? ReliabilityAt(tick, level) : BitReliability{};
    flex_->PutReliableSymbol(level, r.outer, r.inner);
  }
  FlexClock().LogError();
  FlexSymbolTaken();
}

void FrontEnd::RunFlexWatch(int level) {
  while (flexWatch_.period > 0 &&
         flexWatch_.elapsed >= flexWatch_.phase + 0.5 * flexWatch_.period) {
    flexWatch_.elapsed -= flexWatch_.period;
    flexClock_ = &flexWatch_;
    // Only for the sync: the decisions are those of the protocol holding the channel.
    PutFlexSymbol(level, -1);
    flexClock_ = &dataClock;
    if (FlexTookChannel()) return;
  }
}

}  // namespace skelmar
