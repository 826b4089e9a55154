// The bounded filter-command queue and its starter thread.
#include "platform/command_queue.h"

#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/posix_command_launcher.h"

namespace skelmar {

CommandQueue::CommandQueue(int maxRunning)
    : maxRunning_(std::clamp(maxRunning, 1, kSlots)), worker_([this] { Work(); }) {}

CommandQueue::~CommandQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

bool CommandQueue::Launch(const char* program, const char* arguments, char* error,
                          int errorCapacity) {
  if (error != nullptr && errorCapacity > 0) error[0] = 0;
  if (program == nullptr || program[0] == 0) {
    if (error != nullptr && errorCapacity > 0) {
      std::snprintf(error, static_cast<size_t>(errorCapacity), "No program given ()");
    }
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (count_ == kSlots) {
      ++dropped_;
      return true;
    }
    Job& job = jobs_[(head_ + count_) % kSlots];
    std::snprintf(job.program, sizeof job.program, "%s", program);
    std::snprintf(job.arguments, sizeof job.arguments, "%s", arguments != nullptr ? arguments : "");
    ++count_;
  }
  wake_.notify_one();
  return true;
}

void CommandQueue::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    // Reap the commands that ended.
    for (int i = 0; i < runningCount_;) {
      int status = 0;
      const pid_t done = ::waitpid(running_[i], &status, WNOHANG);
      if (done == running_[i] || (done < 0 && errno == ECHILD)) {
        running_[i] = running_[--runningCount_];
      } else {
        ++i;
      }
    }
    if (count_ == 0 && runningCount_ == 0) idle_.notify_all();
    // At the end what is still queued is started at once; running commands
    // go on as sessions of their own.
    if (stopping_ && count_ == 0) return;
    if (count_ > 0 && (runningCount_ < maxRunning_ || stopping_)) {
      Job job = jobs_[head_];
      head_ = (head_ + 1) % kSlots;
      --count_;
      lock.unlock();
      char error[256] = {};
      pid_t child = -1;
      const bool ok =
          PosixCommandLauncher::Start(job.program, job.arguments, error, sizeof error, &child);
      lock.lock();
      if (ok && runningCount_ < kSlots) {
        running_[runningCount_++] = child;
        ++started_;
        failureTold_ = false;
        failure_.clear();
      } else if (!failureTold_) {
        failure_ = error[0] != 0 ? error : job.program;
      }
      continue;
    }
    // Children are looked at every 50 ms; new commands wake the thread at once.
    wake_.wait_for(lock, std::chrono::milliseconds(runningCount_ > 0 ? 50 : 1000));
  }
}

void CommandQueue::SetMaxRunning(int maxRunning) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    maxRunning_ = std::clamp(maxRunning, 1, kSlots);
  }
  wake_.notify_all();
}

bool CommandQueue::TakeMessage(std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!failure_.empty() && !failureTold_) {
    text = "Cannot start the filter command: " + failure_;
    failureTold_ = true;
    failure_.clear();
    return true;
  }
  if (dropped_ > droppedTold_) {
    text = std::to_string(dropped_ - droppedTold_) +
           " filter commands were not started: " + std::to_string(kSlots) +
           " were already waiting for one of the " + std::to_string(maxRunning_) + " running";
    droppedTold_ = dropped_;
    return true;
  }
  return false;
}

uint64_t CommandQueue::started() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return started_;
}

uint64_t CommandQueue::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

bool CommandQueue::WaitIdle(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  wake_.notify_all();
  return idle_.wait_for(lock, std::chrono::milliseconds(ms),
                        [this] { return count_ == 0 && runningCount_ == 0; });
}

}  // namespace skelmar
