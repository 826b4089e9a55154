// Edge source for a data slicer wired to the modem-status lines of a serial
// port: a capture thread waits for line changes, timestamps them and writes
// the ended states into the edge ring.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "frontend/edge_ring.h"
#include "frontend/edge_source.h"

namespace skelmar {

/// The modem-status bits of the port as TIOCMGET reports them (TIOCM_CTS,
/// TIOCM_DSR, TIOCM_RNG, TIOCM_CAR) mapped to the status byte: CTS 0x10,
/// DSR 0x20, RI 0x40, DCD 0x80. Other bits are ignored.
uint8_t StatusFromModemBits(int modemBits);

/// Nanoseconds to edge ticks (kTicksPerSecondWhole per second). The fraction
/// of a tick left over by one interval is carried into the next, so the sum
/// of the converted intervals never drifts from the converted sum.
class TickConverter {
 public:
  uint64_t Convert(uint64_t nanoseconds);
  void Reset() { remainder_ = 0; }

 private:
  uint64_t remainder_ = 0;  ///< in units of 1e-9 tick-seconds, below 1e9
};

/// The two system calls the capture thread needs, behind an interface so
/// tests can play scripted line changes.
class ModemLines {
 public:
  enum class Wait { kChanged, kInterrupted, kFailed };
  virtual ~ModemLines() = default;
  /// Blocks until CTS, DSR, RI or DCD changes (kChanged), Interrupt is called
  /// (kInterrupted), or the device fails (kFailed, see errorNumber()).
  virtual Wait WaitForChange() = 0;
  /// The current modem-status bits; false when the device fails.
  virtual bool Read(int& modemBits) = 0;
  /// From another thread: makes a blocked WaitForChange return kInterrupted.
  /// It may miss a caller that is just about to block, so callers repeat it
  /// until the waiting thread has gone.
  virtual void Interrupt() = 0;
  /// errno of the last failure.
  virtual int errorNumber() const = 0;
};

/// Monotonic time in nanoseconds (CLOCK_MONOTONIC in the program).
class MonotonicClock {
 public:
  virtual ~MonotonicClock() = default;
  virtual uint64_t NowNanoseconds() = 0;
};

class SystemMonotonicClock : public MonotonicClock {
 public:
  uint64_t NowNanoseconds() override;
};

/// Result of opening a device: the lines, or an error code with its reason.
struct ModemLinesOpening {
  std::unique_ptr<ModemLines> lines;
  int code = 0;       ///< kEdgeErrorBusy or kEdgeErrorAttach when `lines` is null
  std::string error;  ///< why, for the user
};

/// Opens a serial device for watching its modem-status lines:
/// - open read/write, without becoming its controlling terminal, non-blocking
///   (so a dropped DCD cannot hold the open);
/// - exclusive: a flock and TIOCEXCL keep other programs out; a device
///   already held that way gives kEdgeErrorBusy, as does EBUSY from open;
/// - raw mode with CLOCAL, so DCD changes are data and never hang the line up;
/// - DTR and RTS raised, since slicer circuits commonly draw power from them;
/// - TIOCMGET must work. Any other failure gives kEdgeErrorAttach.
ModemLinesOpening OpenSerialModemLines(const std::string& devicePath);

struct SerialSlicerOptions {
  /// Ring entries: about five seconds of the busiest four-level signal.
  uint32_t ringSize = 16384;
  /// How long Open waits for the first wait on the lines to fail: drivers
  /// that cannot wait for line changes fail it at once.
  std::chrono::milliseconds startupProbe{50};
  /// Ask for SCHED_FIFO for the capture thread.
  bool realtime = true;
  int realtimePriority = 40;
  /// A state longer than this is written as this long: nothing downstream
  /// measures longer runs, and an idle line would otherwise flood the ring
  /// (and the decoders with idle symbols) when it finally changes.
  uint64_t maxStateTicks = kTicksPerSecondWhole;  // one second
};

/// Edge source on a serial port's modem-status lines.
///
/// Each change of CTS, DSR, RI or DCD ends the state before it: its length in
/// ticks (from the CLOCK_MONOTONIC timestamps of the two changes) and its
/// status byte go into the ring through EdgeProducer, which splits states
/// longer than 65535 ticks. The first state starts when Open reads the lines.
/// When a wake-up finds the lines as they were (a change and its reversal
/// both happened before the read), nothing has ended and nothing is written.
/// A wait wakes only for changes after it starts, so the lines are read once
/// more before each wait: a change that came while the previous one was being
/// handled is taken then. A reopened ring starts writing at the reader's
/// position, which survives the reopen.
///
/// Stopping: Close sets a stop flag and calls ModemLines::Interrupt every
/// 10 ms until the capture thread has left; on a real port Interrupt sends
/// the thread a signal whose handler does not restart system calls, so the
/// blocking TIOCMIWAIT returns EINTR. (Closing the descriptor would not do:
/// the blocked call keeps the file open.)
class SerialSlicer : public EdgeSource {
 public:
  struct Services {
    /// Opens the device; the program passes OpenSerialModemLines.
    std::function<ModemLinesOpening(const std::string&)> openLines;
    MonotonicClock* clock = nullptr;
    /// Gives the capture thread real-time priority; false (with the reason)
    /// when that is not allowed.
    std::function<bool(std::thread&, int priority, std::string& why)> makeRealtime;
    /// Told once per slicer when real-time scheduling is refused.
    std::function<void(const std::string&)> notice;
    /// Allocates the ring; null (or an exception) is a memory failure.
    std::function<std::unique_ptr<EdgeRing>(uint32_t)> makeRing;
  };

  /// The real device calls, the system clock, pthread scheduling and an
  /// ordinary ring; `notice` receives the real-time message.
  static Services SystemServices(MonotonicClock& clock,
                                 std::function<void(const std::string&)> notice);

  SerialSlicer(std::string devicePath, Services services, SerialSlicerOptions options = {});
  ~SerialSlicer() override;
  SerialSlicer(const SerialSlicer&) = delete;
  SerialSlicer& operator=(const SerialSlicer&) = delete;

  /// Ring size, or: kEdgeErrorBusy when already open or the device is held by
  /// another program; kEdgeErrorAttach when the device cannot be opened as a
  /// serial port or cannot wait for line changes; kEdgeErrorMemory when the
  /// ring cannot be allocated; -5 when the capture thread cannot start.
  int Open(const std::atomic<uint32_t>* readIndex) override;
  void Close() override;
  void Stop() override;
  const EdgeRing* ring() const override { return ring_.get(); }
  bool IsLive() const override { return true; }
  bool Advance(uint64_t) override { return true; }
  uint64_t overruns() const override;
  const char* lastError() const override;

  const std::string& devicePath() const { return devicePath_; }
  /// Whether the capture thread is still watching the lines (it stops when the
  /// device fails, for example when a USB adapter is pulled).
  bool capturing() const { return capturing_.load(); }
  /// Line changes seen since Open (wake-ups that found a new state).
  uint64_t changes() const { return changes_.load(); }

  static constexpr int kErrorThread = -5;

 private:
  enum class Startup { kPending, kWaiting, kFailed };

  void Capture(uint8_t firstStatus, uint64_t firstTime);
  void SetError(const std::string& text);
  void Finish();

  const std::string devicePath_;
  Services services_;
  const SerialSlicerOptions options_;

  std::unique_ptr<ModemLines> lines_;
  std::unique_ptr<EdgeRing> ring_;
  std::unique_ptr<EdgeProducer> producer_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> capturing_{false};
  std::atomic<uint64_t> changes_{0};
  bool realtimeNoticeGiven_ = false;

  mutable std::mutex mutex_;  ///< guards the fields below
  std::condition_variable stateChanged_;
  Startup startup_ = Startup::kPending;
  bool exited_ = false;
  std::string error_;
  mutable std::string errorCopy_;  ///< what lastError() hands out
};

}  // namespace skelmar
