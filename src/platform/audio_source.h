// Edge source that slices FM-discriminator audio: from raw PCM or sound files
// paced by the caller, or live from an ALSA capture thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <thread>

#include "frontend/audio_slicer.h"
#include "frontend/edge_source.h"
#include "platform/audio_input.h"

namespace skelmar {

enum class AudioSourceKind {
  kRawPcm,     ///< signed 16-bit little-endian mono, path or "-" for standard input
  kSoundFile,  ///< anything libsndfile reads; the rate comes from the file
  kAlsa,       ///< live capture from an ALSA device name
};

class AudioSource : public EdgeSource {
 public:
  static constexpr uint32_t kDefaultRingSize = 1u << 16;

  /// `sampleRate` applies to raw PCM and ALSA capture; a sound file brings its own.
  AudioSource(AudioSourceKind kind, const char* name, int sampleRate, bool fourLevel,
              uint32_t ringSize = kDefaultRingSize);
  /// Any input: a live one is read by a capture thread, the others by Advance.
  AudioSource(std::unique_ptr<AudioInput> input, bool live, bool fourLevel,
              uint32_t ringSize = kDefaultRingSize);
  ~AudioSource() override;
  AudioSource(const AudioSource&) = delete;
  AudioSource& operator=(const AudioSource&) = delete;

  int Open(const std::atomic<uint32_t>* readIndex) override;
  void Close() override;
  void Stop() override;
  const EdgeRing* ring() const override { return open_ ? ring_.get() : nullptr; }
  bool IsLive() const override { return live_; }
  bool Advance(uint64_t ticks) override;
  uint64_t overruns() const override { return overruns_.load(std::memory_order_relaxed); }
  const char* lastError() const override;

  /// A live input has stopped delivering (its end, or a failure in lastError()).
  /// See AudioInput::SetStopFlag.
  void SetStopFlag(const std::atomic<bool>* stop) { input_->SetStopFlag(stop); }
  bool captureEnded() const { return captureEnded_.load(std::memory_order_acquire); }
  /// Times the sound card dropped samples (they never reached the slicer).
  uint64_t deviceOverruns() const { return input_ ? input_->deviceOverruns() : 0; }
  std::optional<double> tunedHz() const { return input_ ? input_->tunedHz() : std::nullopt; }
  /// The slicer while open (sample rate, stream position); for stream sources,
  /// since a live capture thread is using it.
  const AudioSlicer* slicer() const { return slicer_ ? &*slicer_ : nullptr; }

 private:
  // Writes the slicer's edges to the ring, counting those the full ring refuses.
  class RingSink : public SliceSink {
   public:
    explicit RingSink(AudioSource& owner) : owner_(owner) {}
    void PutEdge(uint16_t durationTicks, uint8_t status) override;
    void PutDecision(const SymbolDecision& decision) override;

   private:
    AudioSource& owner_;
  };

  void CaptureLoop();

  static constexpr size_t kBlock = 1024;
  // One sample can end at most three states (four-level jumps) plus one long-state piece.
  static constexpr uint32_t kMaxEdgesPerSample = 4;

  std::unique_ptr<AudioInput> input_;
  bool live_;
  bool fourLevel_;
  uint32_t ringSize_;

  bool open_ = false;
  std::unique_ptr<EdgeRing> ring_;
  std::optional<EdgeProducer> producer_;
  std::optional<AudioSlicer> slicer_;
  RingSink sink_{*this};
  float block_[kBlock] = {};

  uint64_t targetTicks_ = 0;  ///< stream time the caller asked for so far
  bool inputEnded_ = false;   ///< the stream's last sample has been sliced
  bool finished_ = false;     ///< ... and its last state written
  std::atomic<uint64_t> overruns_{0};

  std::thread capture_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> captureEnded_{false};
  std::atomic<bool> captureFailed_{false};
  AudioErrorText captureError_;  ///< written by the capture thread before captureFailed_
  AudioErrorText error_;
};

}  // namespace skelmar
