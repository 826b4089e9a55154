// Bounded record queue over a fixed arena (see record_queue.h).
#include "feeds/record_queue.h"

#include <cstring>
#include <thread>

namespace skelmar {

RecordQueue::RecordQueue(size_t maxRecords, size_t maxBytes)
    : entries_(maxRecords > 0 ? maxRecords : 1), arena_(maxBytes > 0 ? maxBytes : 1) {}

size_t RecordQueue::FindRoom(size_t n) const {
  const size_t size = arena_.size();
  if (count_ == 0) return n <= size ? 0 : std::string::npos;
  const Entry& oldest = entries_[head_];
  const Entry& newest = entries_[(head_ + count_ - 1) % entries_.size()];
  const size_t tail = newest.offset + newest.bytes();
  if (newest.offset >= oldest.offset) {
    // Records lie in [oldest, tail): room after them, or before the oldest.
    if (size - tail >= n) return tail;
    if (oldest.offset >= n) return 0;
    return std::string::npos;
  }
  // Wrapped: records lie in [oldest, end) and [0, tail).
  if (oldest.offset - tail >= n) return tail;
  return std::string::npos;
}

void RecordQueue::DropOldestLocked() {
  head_ = (head_ + 1) % entries_.size();
  --count_;
  ++dropped_;
}

uint64_t RecordQueue::Push(std::string_view first, std::string_view second) {
  const size_t n = first.size() + second.size();
  uint64_t sequence = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (n > arena_.size()) {
      ++dropped_;  // could never be stored
      return 0;
    }
    if (count_ == entries_.size()) DropOldestLocked();
    size_t at = FindRoom(n);
    while (at == std::string::npos) {
      DropOldestLocked();
      at = FindRoom(n);
    }
    if (!first.empty()) std::memcpy(arena_.data() + at, first.data(), first.size());
    if (!second.empty())
      std::memcpy(arena_.data() + at + first.size(), second.data(), second.size());
    Entry& e = entries_[(head_ + count_) % entries_.size()];
    e.sequence = sequence = nextSequence_++;
    e.offset = at;
    e.firstLength = static_cast<uint32_t>(first.size());
    e.secondLength = static_cast<uint32_t>(second.size());
    ++count_;
  }
  ready_.notify_one();
  return sequence;
}

uint64_t RecordQueue::Peek(std::string& first, std::string& second,
                           std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  ready_.wait_for(lock, timeout, [this] { return count_ > 0 || woken_; });
  woken_ = false;
  if (count_ == 0) return 0;
  const Entry& e = entries_[head_];
  first.assign(arena_.data() + e.offset, e.firstLength);
  second.assign(arena_.data() + e.offset + e.firstLength, e.secondLength);
  return e.sequence;
}

void RecordQueue::Pop(uint64_t sequence) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (count_ > 0 && entries_[head_].sequence == sequence) {
    head_ = (head_ + 1) % entries_.size();
    --count_;
  }
}

void RecordQueue::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  ready_.notify_all();
}

size_t RecordQueue::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return count_;
}

void RecordQueue::WaitUntilEmpty(std::chrono::milliseconds limit) const {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (size() > 0 && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

uint64_t RecordQueue::dropped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

}  // namespace skelmar
