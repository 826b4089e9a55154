// Scripted modem lines and clock for the serial slicer tests: line changes at
// given monotonic times, failures on demand, and a way to wait until the
// capture thread has taken every scripted change.
#pragma once

#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "frontend/edge_ring.h"
#include "platform/serial_slicer.h"

namespace skelmar::test {

/// What the fake port does; shared between the test and the fake it hands out.
struct LineScript {
  struct Change {
    uint64_t atNanoseconds;
    int bits;
    /// Happened while the capture thread handled the change before it (after
    /// that change's first read) and before its next wait began: it wakes no
    /// wait, and only a second read after the wake-up sees it.
    bool beforeWait = false;
  };

  std::mutex mutex;
  std::condition_variable cv;
  std::deque<Change> changes;
  uint64_t now = 1000000000;  ///< what the clock says; a change sets it to its time
  int bits = 0;               ///< the lines as Read reports them
  bool interrupted = false;
  bool blocked = false;        ///< a WaitForChange is waiting on an empty script
  int failWaitErrno = 0;       ///< nonzero: every wait fails with this errno
  int failWhenEmptyErrno = 0;  ///< nonzero: a wait on an empty script fails (device lost)
  bool failRead = false;
  int interrupts = 0;

  void Add(uint64_t at, int newBits, bool beforeWait = false) {
    std::lock_guard<std::mutex> lock(mutex);
    changes.push_back({at, newBits, beforeWait});
    cv.notify_all();
  }

  /// Adds several changes at once, so the capture thread sees them all together.
  void AddAll(const std::vector<Change>& all) {
    std::lock_guard<std::mutex> lock(mutex);
    changes.insert(changes.end(), all.begin(), all.end());
    cv.notify_all();
  }

  /// Makes the front change current (the clock moves to its time).
  void TakeFront() {
    now = changes.front().atNanoseconds;
    bits = changes.front().bits;
    changes.pop_front();
  }

  /// Waits until every scripted change has been taken and the capture thread
  /// waits again (or has stopped). The deadline only guards against a hang.
  bool WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(10),
                       [this] { return changes.empty() && blocked; });
  }
};

class ScriptedLines : public ModemLines {
 public:
  explicit ScriptedLines(std::shared_ptr<LineScript> script) : s_(std::move(script)) {}

  Wait WaitForChange() override {
    std::unique_lock<std::mutex> lock(s_->mutex);
    if (s_->failWaitErrno != 0) {
      error_ = s_->failWaitErrno;
      return Wait::kFailed;
    }
    for (;;) {
      if (s_->interrupted) {
        s_->interrupted = false;
        s_->blocked = false;
        return Wait::kInterrupted;
      }
      // Changes from before the wait began do not wake it; the lines move all the same.
      while (!s_->changes.empty() && s_->changes.front().beforeWait) s_->TakeFront();
      if (!s_->changes.empty()) {
        s_->TakeFront();
        s_->blocked = false;
        readsSinceWake_ = 0;
        return Wait::kChanged;
      }
      if (s_->failWhenEmptyErrno != 0) {
        error_ = s_->failWhenEmptyErrno;
        s_->blocked = true;
        s_->cv.notify_all();
        return Wait::kFailed;
      }
      s_->blocked = true;
      s_->cv.notify_all();
      s_->cv.wait(lock);
    }
  }

  bool Read(int& modemBits) override {
    std::lock_guard<std::mutex> lock(s_->mutex);
    if (s_->failRead) {
      error_ = EIO;
      return false;
    }
    if (readsSinceWake_ > 0 && !s_->changes.empty() && s_->changes.front().beforeWait) {
      s_->TakeFront();
    }
    ++readsSinceWake_;
    modemBits = s_->bits;
    return true;
  }

  void Interrupt() override {
    std::lock_guard<std::mutex> lock(s_->mutex);
    s_->interrupted = true;
    ++s_->interrupts;
    s_->cv.notify_all();
  }

  int errorNumber() const override { return error_; }

 private:
  std::shared_ptr<LineScript> s_;
  int error_ = 0;
  int readsSinceWake_ = 1;
};

class ScriptedClock : public MonotonicClock {
 public:
  explicit ScriptedClock(std::shared_ptr<LineScript> script) : s_(std::move(script)) {}
  uint64_t NowNanoseconds() override {
    std::lock_guard<std::mutex> lock(s_->mutex);
    return s_->now;
  }

 private:
  std::shared_ptr<LineScript> s_;
};

/// A slicer on scripted lines, with the outcome of each service recorded.
struct ScriptedSlicerRig {
  std::shared_ptr<LineScript> script = std::make_shared<LineScript>();
  ScriptedClock clock{script};
  int openCode = 0;  ///< nonzero: the device open fails with this code
  int opens = 0;
  bool realtimeAllowed = true;
  int realtimeRequests = 0;
  std::vector<std::string> notices;
  bool ringFails = false;
  bool ringThrows = false;

  SerialSlicer::Services Services() {
    SerialSlicer::Services s;
    s.openLines = [this](const std::string& path) {
      ++opens;
      ModemLinesOpening o;
      if (openCode != 0) {
        o.code = openCode;
        o.error = path + ": refused";
        return o;
      }
      o.lines = std::make_unique<ScriptedLines>(script);
      return o;
    };
    s.clock = &clock;
    s.makeRealtime = [this](std::thread&, int, std::string& why) {
      ++realtimeRequests;
      if (!realtimeAllowed) why = "Operation not permitted";
      return realtimeAllowed;
    };
    s.notice = [this](const std::string& text) { notices.push_back(text); };
    s.makeRing = [this](uint32_t size) -> std::unique_ptr<EdgeRing> {
      if (ringThrows) throw std::bad_alloc();
      if (ringFails) return nullptr;
      return std::make_unique<EdgeRing>(size);
    };
    return s;
  }
};

struct Sample {
  uint32_t duration;
  int status;
  bool operator==(const Sample& o) const { return duration == o.duration && status == o.status; }
};
inline void PrintTo(const Sample& s, std::ostream* os) {
  *os << "{" << s.duration << ", 0x" << std::hex << s.status << std::dec << "}";
}

/// Polls `done` until it holds; the deadline only guards against a hang.
template <typename Pred>
bool WaitUntil(Pred done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

/// Every sample written to the ring so far, from entry `from` to the write index.
inline std::vector<Sample> RingSamples(const EdgeRing& ring, uint32_t from = 0) {
  std::vector<Sample> out;
  const uint32_t w = ring.writeIndex().load(std::memory_order_acquire);
  for (uint32_t i = from; i != w; i = (i + 1) % ring.size()) {
    out.push_back({ring.durations()[i], ring.statuses()[i]});
  }
  return out;
}

}  // namespace skelmar::test
