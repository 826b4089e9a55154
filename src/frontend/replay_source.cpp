// Replay of an edge recording into an edge ring.
#include "frontend/replay_source.h"

#include <algorithm>
#include <new>

namespace skelmar {

// ---------------------------------------------------------------- pacer

void SteadyPacer::Start() {
  std::lock_guard<std::mutex> lock(mutex_);
  interrupted_ = false;
  start_ = std::chrono::steady_clock::now();
}

uint64_t SteadyPacer::NowTicks() {
  const auto since = std::chrono::steady_clock::now() - start_;
  const double seconds = std::chrono::duration<double>(since).count();
  return seconds <= 0 ? 0 : static_cast<uint64_t>(seconds * kTicksPerSecond);
}

bool SteadyPacer::WaitUntil(uint64_t ticks) {
  const auto when =
      start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                   std::chrono::duration<double>(static_cast<double>(ticks) / kTicksPerSecond));
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.wait_until(lock, when, [this] { return interrupted_; });
  return !interrupted_;
}

void SteadyPacer::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupted_ = true;
  }
  wake_.notify_all();
}

// ---------------------------------------------------------------- source

ReplaySource::ReplaySource(std::string path, ReplayPacing pacing, uint32_t ringSize,
                           ReplayPacer* pacer)
    : path_(std::move(path)),
      pacing_(pacing),
      // A ring of one entry is always full; two is the least that can carry anything.
      ringSize_(std::max<uint32_t>(ringSize, 2)),
      pacer_(pacer != nullptr ? pacer : &steadyPacer_) {}

ReplaySource::~ReplaySource() { Close(); }

int ReplaySource::Open(const std::atomic<uint32_t>* readIndex) {
  if (ring_ != nullptr) {
    error_ = "the replay is already open";
    return kEdgeErrorBusy;
  }
  error_.clear();
  if (!reader_.Open(path_, &error_)) return kEdgeErrorAttach;
  try {
    ring_ = std::make_unique<EdgeRing>(ringSize_);
    producer_ = std::make_unique<EdgeProducer>(*ring_, readIndex);
  } catch (const std::bad_alloc&) {
    ring_.reset();
    reader_.Close();
    error_ = "no memory for the edge ring";
    return kEdgeErrorMemory;
  }
  // The reader keeps its position across a reopen; start writing right there.
  uint32_t start = readIndex != nullptr ? readIndex->load(std::memory_order_acquire) : 0;
  if (start >= ringSize_) start = 0;
  ring_->writeIndex().store(start, std::memory_order_release);
  havePending_ = false;
  ended_ = false;
  targetTicks_ = 0;
  writtenTicks_ = 0;
  finished_.store(false, std::memory_order_release);
  if (pacing_ == ReplayPacing::kRealTime) {
    pacer_->Start();
    thread_ = std::thread([this] { RunPaced(); });
  }
  return static_cast<int>(std::min<uint32_t>(ringSize_, 0x7FFFFFFF));
}

void ReplaySource::Stop() {
  if (thread_.joinable()) {
    pacer_->Interrupt();
    thread_.join();
  }
}

void ReplaySource::Close() {
  Stop();
  if (producer_ != nullptr) closedOverruns_ = producer_->overruns();
  producer_.reset();
  ring_.reset();
  reader_.Close();
}

uint64_t ReplaySource::overruns() const {
  return producer_ != nullptr ? producer_->overruns() : closedOverruns_;
}

const char* ReplaySource::lastError() const {
  // The paced thread owns error_ until it has finished.
  if (thread_.joinable() && !finished_.load(std::memory_order_acquire)) return "";
  return error_.c_str();
}

bool ReplaySource::Advance(uint64_t ticks) {
  if (ring_ == nullptr) return false;
  if (pacing_ == ReplayPacing::kRealTime) return !finished_.load(std::memory_order_acquire);
  // Saturate: "everything" twice must not wrap round to "almost nothing".
  targetTicks_ = ticks > ~uint64_t{0} - targetTicks_ ? ~uint64_t{0} : targetTicks_ + ticks;
  return WriteUntil(targetTicks_, false);
}

bool ReplaySource::WriteUntil(uint64_t target, bool dropWhenFull) {
  for (;;) {
    if (!havePending_) {
      if (ended_ || !reader_.Next(pending_)) {
        if (!ended_ && reader_.failed()) error_ = reader_.error();
        ended_ = true;
        return false;
      }
      havePending_ = true;
    }
    // A sample is written when its state ends, never earlier.
    const uint64_t end = writtenTicks_ + pending_.duration;
    if (end > target) return true;
    if (!dropWhenFull && producer_->Free() == 0) return true;
    producer_->Put(pending_.duration, pending_.status);
    writtenTicks_ = end;
    havePending_ = false;
  }
}

void ReplaySource::RunPaced() {
  for (;;) {
    const uint64_t now = pacer_->NowTicks();
    // A live source cannot wait for the reader: a full ring loses edges (counted).
    if (!WriteUntil(now, true)) break;
    const uint64_t nextEdge = writtenTicks_ + pending_.duration;
    if (!pacer_->WaitUntil(std::max(nextEdge, now + kReplayPaceStepTicks))) break;
  }
  finished_.store(true, std::memory_order_release);
}

}  // namespace skelmar
