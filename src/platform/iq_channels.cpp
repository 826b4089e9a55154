// One IQ stream split into several channels' audio inputs.
#include "platform/iq_channels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace skelmar {

/// One channel's side of the splitter.
class IqChannelInput : public AudioInput {
 public:
  IqChannelInput(std::shared_ptr<IqChannelSplitter> splitter, size_t index)
      : splitter_(std::move(splitter)), index_(index) {}
  ~IqChannelInput() override { Close(); }

  bool Open() override {
    if (open_) return true;
    std::string error;
    if (!splitter_->Open(error)) {
      error_.Set("%s", error.c_str());
      return false;
    }
    open_ = true;
    return true;
  }
  void Close() override {
    if (!open_) return;
    open_ = false;
    splitter_->Close();
  }
  long Read(float* out, size_t count) override {
    std::string error;
    const long got = splitter_->Read(index_, out, count, error);
    if (got < 0) error_.Set("%s", error.c_str());
    return got;
  }
  int sampleRate() const override { return splitter_->audioRate(); }
  const char* lastError() const override { return error_.text(); }
  uint64_t deviceOverruns() const override { return splitter_->dropped(index_); }
  void SetStopFlag(const std::atomic<bool>* stop) override {
    AudioInput::SetStopFlag(stop);
    splitter_->stream().SetStopFlag(stop);
  }
  void Interrupt() override { splitter_->stream().Interrupt(); }

 private:
  std::shared_ptr<IqChannelSplitter> splitter_;
  size_t index_;
  bool open_ = false;
  AudioErrorText error_;
};

IqChannelSplitter::IqChannelSplitter(std::unique_ptr<IqStream> stream,
                                     std::vector<double> channelsHz, std::optional<double> centerHz,
                                     double ppm)
    : stream_(std::move(stream)),
      channelsHz_(std::move(channelsHz)),
      centerHz_(centerHz),
      ppm_(ppm),
      held_(channelsHz_.size()) {}

std::unique_ptr<AudioInput> MakeIqChannelInput(std::shared_ptr<IqChannelSplitter> splitter,
                                               size_t index) {
  return std::make_unique<IqChannelInput>(std::move(splitter), index);
}

bool IqChannelSplitter::Open(std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (opened_ > 0) {
    ++opened_;
    return true;
  }
  if (!stream_->Open()) {
    error = stream_->lastError();
    return false;
  }
  const double rate = stream_->sampleRate();
  if (!ChannelReceiver::RateSupported(rate)) {
    char text[160];
    std::snprintf(text, sizeof text, "unsupported IQ sample rate %.0f S/s (%.0f to %.0f)", rate,
                  kMinIqRate, kMaxIqRate);
    error = text;
    stream_->Close();
    return false;
  }
  const double center = centerHz_.value_or(stream_->centerHz().value_or(0.0));
  const double ppm = ppm_ - stream_->ppmApplied();
  const double reach = 0.5 * rate - 12500.0;
  std::vector<double> offsets;
  for (const double hz : channelsHz_) {
    const double offset = ChannelOffsetHz(hz, center, ppm);
    if (std::fabs(offset) > reach) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "the channel %.6f MHz lies outside the capture (%.6f MHz +- %.3f MHz)",
                    hz / 1e6, center / 1e6, reach / 1e6);
      error = text;
      stream_->Close();
      return false;
    }
    offsets.push_back(offset);
  }
  front_.emplace(rate);
  bank_.emplace(rate, offsets);
  raw_.assign(WidebandFront::kBlock * IqSampleBytes(stream_->format()), 0);
  scratch_.assign(bank_->MaxAudio(WidebandFront::kBlock) * channelsHz_.size(), 0.0f);
  for (Held& h : held_) {
    h.audio.assign(kHeld, 0.0f);
    h.start = h.count = 0;
    h.dropped = 0;
    h.stalled = false;
  }
  ended_ = failed_ = false;
  failure_.clear();
  opened_ = 1;
  return true;
}

void IqChannelSplitter::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (opened_ == 0 || --opened_ > 0) return;
  changed_.notify_all();
  stream_->Close();
}

uint64_t IqChannelSplitter::dropped(size_t index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return held_[index].dropped;
}

bool IqChannelSplitter::RoomForABlock() const {
  const size_t block = bank_->MaxAudio(WidebandFront::kBlock);
  for (const Held& h : held_) {
    if (!h.stalled && h.count + block > kHeld) return false;
  }
  return true;
}

long IqChannelSplitter::Read(size_t index, float* out, size_t count, std::string& error) {
  std::unique_lock<std::mutex> lock(mutex_);
  Held& mine = held_[index];
  while (mine.count == 0) {
    if (failed_) {
      error = failure_;
      return -1;
    }
    if (ended_ || opened_ == 0) return 0;
    // One channel's source reads the stream for all; the others wait for its block.
    if (reading_) {
      changed_.wait(lock, [this] { return !reading_; });
      continue;
    }
    // A stream read faster than a channel's source (a file, a server's
    // backlog, a starved thread) waits for that source rather than take its
    // audio away.
    if (!RoomForABlock() &&
        !changed_.wait_for(lock, kLagWait, [this] { return RoomForABlock() || opened_ == 0; })) {
      const size_t block = bank_->MaxAudio(WidebandFront::kBlock);
      for (Held& h : held_) {
        if (h.count + block > kHeld) h.stalled = true;
      }
    }
    if (mine.count > 0 || reading_ || ended_ || opened_ == 0 || failed_) continue;
    // The stream is read and demodulated without the lock, so the other
    // channels' sources go on taking what they hold while it blocks.
    reading_ = true;
    lock.unlock();
    const long got = stream_->Read(raw_.data(), WidebandFront::kBlock);
    const size_t room = bank_->MaxAudio(WidebandFront::kBlock);
    float* outs[kMaxBankChannels];
    size_t written[kMaxBankChannels] = {};
    if (got > 0) {
      const IqBlock block =
          front_->Convert(stream_->format(), raw_.data(), static_cast<size_t>(got));
      for (size_t k = 0; k < held_.size(); ++k) outs[k] = scratch_.data() + k * room;
      bank_->Process(block, outs, written);
    }
    lock.lock();
    reading_ = false;
    changed_.notify_all();
    if (got < 0) {
      failed_ = true;
      failure_ = stream_->lastError();
      continue;
    }
    if (got == 0) {
      ended_ = true;
      continue;
    }
    for (size_t k = 0; k < held_.size(); ++k) {
      Held& h = held_[k];
      for (size_t n = 0; n < written[k]; ++n) {
        if (h.count == kHeld) {
          // Its reader is a whole buffer behind: the oldest sample goes.
          h.start = (h.start + 1) % kHeld;
          --h.count;
          ++h.dropped;
        }
        h.audio[(h.start + h.count) % kHeld] = outs[k][n];
        ++h.count;
      }
    }
  }
  const size_t n = std::min(count, mine.count);
  for (size_t i = 0; i < n; ++i) out[i] = mine.audio[(mine.start + i) % kHeld];
  mine.start = (mine.start + n) % kHeld;
  mine.count -= n;
  // Waited for again once it has caught up, not at every read: a source
  // that keeps falling behind loses its own audio, not every channel's.
  if (mine.count <= kHeld / 2) mine.stalled = false;
  changed_.notify_all();
  return static_cast<long>(n);
}

}  // namespace skelmar
