// Filter commands started off the decoding thread, a bounded number at once.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "output/filters.h"
#include "settings/settings.h"

namespace skelmar {

/// Takes each command in a bounded queue and returns at once; one thread of
/// its own starts them, at most `maxRunning` at a time, and waits for each to
/// end. A burst of matching pages therefore neither stalls decoding nor
/// fills the process table: what does not fit in the queue is dropped and
/// counted.
class CommandQueue : public CommandLauncher {
 public:
  static constexpr int kDefaultRunning = kDefaultFilterCmdMax;
  static constexpr int kSlots = 64;

  explicit CommandQueue(int maxRunning = kDefaultRunning);
  ~CommandQueue() override;
  CommandQueue(const CommandQueue&) = delete;
  CommandQueue& operator=(const CommandQueue&) = delete;

  /// Queues the command; false only for no program at all. A program that
  /// cannot start is told later, through TakeMessage.
  bool Launch(const char* program, const char* arguments, char* error, int errorCapacity) override;

  /// A line to show (a start failure, once until a start succeeds; commands
  /// dropped since the last line); false when there is none. Decoding thread.
  bool TakeMessage(std::string& text);

  /// Changes how many run at once (clamped to 1..kSlots); the ones running
  /// go on.
  void SetMaxRunning(int maxRunning);

  uint64_t started() const;
  uint64_t dropped() const;
  /// Waits up to `ms` milliseconds for the queue to empty and the running
  /// commands to end (tests, and the end of a run).
  bool WaitIdle(int ms);

 private:
  struct Job {
    char program[300];
    char arguments[1200];
  };
  void Work();

  int maxRunning_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  Job jobs_[kSlots] = {};
  int head_ = 0;
  int count_ = 0;
  pid_t running_[kSlots] = {};
  int runningCount_ = 0;
  uint64_t started_ = 0;
  uint64_t dropped_ = 0;
  uint64_t droppedTold_ = 0;
  std::string failure_;  ///< the latest start failure not yet told
  bool failureTold_ = false;
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace skelmar
