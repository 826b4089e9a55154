// The bounded queue between the decoding thread and one feed's own thread:
// records are copied into a fixed arena, the oldest give way when it is full,
// and the producer never waits for the network.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace skelmar {

inline constexpr size_t kFeedQueueRecords = 10000;
inline constexpr size_t kFeedQueueBytes = size_t{8} << 20;

class RecordQueue {
 public:
  explicit RecordQueue(size_t maxRecords = kFeedQueueRecords, size_t maxBytes = kFeedQueueBytes);

  /// Stores one record of two parts (e.g. topic and payload). When it does not
  /// fit, the oldest records are dropped (and counted) to make room. Holds the
  /// lock only for the copy. Returns the record's sequence number (0 when
  /// it could never be stored).
  uint64_t Push(std::string_view first, std::string_view second);

  /// Waits up to `timeout` for a record (or Wake) and copies the oldest out
  /// without removing it. Returns its sequence number, 0 when there is none.
  uint64_t Peek(std::string& first, std::string& second, std::chrono::milliseconds timeout);
  /// Removes the oldest record if it is still the one `sequence` named (it may
  /// have been dropped meanwhile).
  void Pop(uint64_t sequence);
  /// Removes every record, oldest first, calling take(first, second) for each.
  template <typename Take>
  void TakeAll(Take take) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (; count_ > 0; --count_) {
      const Entry& e = entries_[head_];
      take(std::string_view(arena_.data() + e.offset, e.firstLength),
           std::string_view(arena_.data() + e.offset + e.firstLength, e.secondLength));
      head_ = (head_ + 1) % entries_.size();
    }
  }
  /// Ends a Peek that is waiting.
  void Wake();

  size_t size() const;
  /// Waits until the feed's thread has taken every record, or `limit` has passed.
  void WaitUntilEmpty(std::chrono::milliseconds limit) const;
  /// Records dropped because the queue was full, since the start.
  uint64_t dropped() const;

 private:
  struct Entry {
    uint64_t sequence = 0;
    size_t offset = 0;
    uint32_t firstLength = 0;
    uint32_t secondLength = 0;
    size_t bytes() const { return size_t{firstLength} + secondLength; }
  };
  /// Where `n` bytes can go without touching a stored record, or npos.
  size_t FindRoom(size_t n) const;
  void DropOldestLocked();

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<Entry> entries_;  ///< ring of records, oldest at head_
  std::vector<char> arena_;     ///< their bytes, each record contiguous
  size_t head_ = 0;
  size_t count_ = 0;
  uint64_t nextSequence_ = 1;
  uint64_t dropped_ = 0;
  bool woken_ = false;
};

}  // namespace skelmar
