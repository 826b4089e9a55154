// An edge source that plays an edge recording into a ring: as fast as the
// caller advances stream time, or paced in real time by a thread of its own.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "frontend/edge_recording.h"
#include "frontend/edge_ring.h"
#include "frontend/edge_source.h"

namespace skelmar {

/// The time base of a real-time replay, in stream ticks since Start.
class ReplayPacer {
 public:
  virtual ~ReplayPacer() = default;
  /// Stream time 0 is now; clears an earlier Interrupt.
  virtual void Start() = 0;
  virtual uint64_t NowTicks() = 0;
  /// Blocks until stream time `ticks`; false if Interrupt was called.
  virtual bool WaitUntil(uint64_t ticks) = 0;
  /// Makes the current and every later WaitUntil return false at once.
  virtual void Interrupt() = 0;
};

/// The wall-clock pacer (steady clock).
class SteadyPacer : public ReplayPacer {
 public:
  void Start() override;
  uint64_t NowTicks() override;
  bool WaitUntil(uint64_t ticks) override;
  void Interrupt() override;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool interrupted_ = false;
  std::chrono::steady_clock::time_point start_;
};

enum class ReplayPacing {
  kDrain,     ///< Advance writes stream time on the caller's thread
  kRealTime,  ///< a thread writes each edge when its time has come
};

inline constexpr uint32_t kDefaultReplayRingSize = 1u << 16;
/// The real-time thread wakes at most this often (10 ms of stream time).
inline constexpr uint64_t kReplayPaceStepTicks = 11932;

class ReplaySource : public EdgeSource {
 public:
  /// `pacer` (real-time only) defaults to a SteadyPacer; it must outlive the source.
  ReplaySource(std::string path, ReplayPacing pacing, uint32_t ringSize = kDefaultReplayRingSize,
               ReplayPacer* pacer = nullptr);
  ~ReplaySource() override;
  ReplaySource(const ReplaySource&) = delete;
  ReplaySource& operator=(const ReplaySource&) = delete;

  /// Opens the recording (kEdgeErrorAttach if it cannot be read) and makes a
  /// ring whose write index starts where the reader stands, so nothing stale is read.
  int Open(const std::atomic<uint32_t>* readIndex) override;
  void Close() override;
  /// Real-time pacing: the playing thread stops (a recording has no state in
  /// progress to write: its last sample is its last state).
  void Stop() override;
  const EdgeRing* ring() const override { return ring_.get(); }
  bool IsLive() const override { return pacing_ == ReplayPacing::kRealTime; }

  /// Drain pacing: moves the stream-time target on by `ticks` and writes every
  /// sample that ends by then, as far as the ring has room; what does not fit
  /// waits for the next call (nothing is dropped). Real-time pacing: writes
  /// nothing. Both return false once every sample has been written (or the
  /// recording proved faulty: see lastError).
  bool Advance(uint64_t ticks) override;

  uint64_t overruns() const override;
  const char* lastError() const override;

  /// The reader's warning (a shortened state), empty when there is none.
  const std::string& warning() const { return reader_.warning(); }

  /// Stream time of the end of the last sample written (drain pacing).
  uint64_t writtenTicks() const { return writtenTicks_; }

 private:
  /// Writes the samples that end by `target`; with `dropWhenFull` a full ring
  /// loses samples (counted), else writing stops there. False at the end.
  bool WriteUntil(uint64_t target, bool dropWhenFull);
  void RunPaced();

  const std::string path_;
  const ReplayPacing pacing_;
  const uint32_t ringSize_;
  SteadyPacer steadyPacer_;
  ReplayPacer* pacer_;

  EdgeRecordingReader reader_;
  std::unique_ptr<EdgeRing> ring_;
  std::unique_ptr<EdgeProducer> producer_;
  PulseSample pending_{0, 0};
  bool havePending_ = false;
  bool ended_ = false;
  uint64_t targetTicks_ = 0;
  uint64_t writtenTicks_ = 0;
  uint64_t closedOverruns_ = 0;
  std::string error_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
};

}  // namespace skelmar
