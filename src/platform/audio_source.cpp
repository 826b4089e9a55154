// Audio edge source: input, slicer and ring, paced by the caller or by a capture thread.
#include "platform/audio_source.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace skelmar {

namespace {

std::unique_ptr<AudioInput> MakeInput(AudioSourceKind kind, const char* name, int sampleRate) {
  switch (kind) {
    case AudioSourceKind::kRawPcm:
      return std::make_unique<PcmInput>(name, sampleRate);
    case AudioSourceKind::kSoundFile:
      return std::make_unique<SoundFileInput>(name);
    case AudioSourceKind::kAlsa:
      return std::make_unique<AlsaInput>(name, sampleRate);
  }
  return nullptr;
}

}  // namespace

AudioSource::AudioSource(AudioSourceKind kind, const char* name, int sampleRate, bool fourLevel,
                         uint32_t ringSize)
    : AudioSource(MakeInput(kind, name, sampleRate), kind == AudioSourceKind::kAlsa, fourLevel,
                  ringSize) {}

AudioSource::AudioSource(std::unique_ptr<AudioInput> input, bool live, bool fourLevel,
                         uint32_t ringSize)
    : input_(std::move(input)),
      live_(live),
      fourLevel_(fourLevel),
      ringSize_(std::max(ringSize, 2u)) {}

AudioSource::~AudioSource() { Close(); }

void AudioSource::RingSink::PutEdge(uint16_t durationTicks, uint8_t status) {
  if (!owner_.producer_->Put(durationTicks, status)) {
    owner_.overruns_.fetch_add(1, std::memory_order_relaxed);
  }
}

void AudioSource::RingSink::PutDecision(const SymbolDecision& decision) {
  owner_.producer_->PutDecision(decision);
}

int AudioSource::Open(const std::atomic<uint32_t>* readIndex) {
  if (open_) {
    error_.Set("the audio input is already open");
    return kEdgeErrorBusy;
  }
  error_.Clear();
  captureFailed_.store(false);
  captureEnded_.store(false);
  overruns_.store(0);
  targetTicks_ = 0;
  inputEnded_ = finished_ = false;

  if (!input_->Open()) {
    error_.Set("%s", input_->lastError());
    return kEdgeErrorAttach;
  }
  const int rate = input_->sampleRate();
  if (!AudioSlicer::RateSupported(rate)) {
    error_.Set("unsupported sample rate %d Hz (8000 to 192000 Hz)", rate);
    input_->Close();
    return kEdgeErrorAttach;
  }
  ring_.reset(new (std::nothrow) EdgeRing(ringSize_));
  if (!ring_) {
    error_.Set("no memory for the edge ring");
    input_->Close();
    return kEdgeErrorMemory;
  }
  // The reader keeps its position across a reopen: start writing there, so it
  // finds no stale entries between its index and ours.
  if (readIndex != nullptr) {
    const uint32_t r = readIndex->load(std::memory_order_acquire);
    if (r < ring_->size()) ring_->writeIndex().store(r, std::memory_order_release);
  }
  producer_.emplace(*ring_, readIndex);
  AudioSlicerOptions options;
  options.sampleRate = rate;
  options.fourLevel = fourLevel_;
  slicer_.emplace(options);
  open_ = true;

  if (live_) {
    stop_.store(false);
    capture_ = std::thread(&AudioSource::CaptureLoop, this);
  }
  return static_cast<int>(ring_->size());
}

void AudioSource::Stop() {
  stop_.store(true);
  if (capture_.joinable()) input_->Interrupt();
  if (capture_.joinable()) capture_.join();
}

void AudioSource::Close() {
  if (!open_) return;
  Stop();
  input_->Close();
  open_ = false;
  producer_.reset();
  ring_.reset();
}

const char* AudioSource::lastError() const {
  if (captureFailed_.load(std::memory_order_acquire)) return captureError_.text();
  return error_.text();
}

bool AudioSource::Advance(uint64_t ticks) {
  if (!open_) return false;
  if (live_) return true;
  if (finished_) return false;
  targetTicks_ += ticks;
  const int rate = slicer_->sampleRate();
  // Samples whose time lies before the target: sample k sits at k / rate seconds.
  const auto wanted =
      static_cast<uint64_t>(std::ceil(static_cast<double>(targetTicks_) * rate / kTicksPerSecond));

  while (!inputEnded_ && slicer_->samplesConsumed() < wanted) {
    // Read only what the ring surely has room for, so nothing of a stream is lost;
    // the rest waits for the next call, after the reader has drained the ring.
    const uint32_t room = producer_->Free() / kMaxEdgesPerSample;
    if (room == 0) return true;
    const size_t count = static_cast<size_t>(
        std::min<uint64_t>({wanted - slicer_->samplesConsumed(), kBlock, room}));
    const long got = input_->Read(block_, count);
    if (got < 0) {
      error_.Set("%s", input_->lastError());
      inputEnded_ = true;
      break;
    }
    if (got == 0) {
      inputEnded_ = true;
      break;
    }
    slicer_->Process(block_, static_cast<size_t>(got), sink_);
  }
  if (!inputEnded_) return true;
  // The state in progress at the end of the stream still needs writing (at most
  // three pieces of 65535 ticks).
  if (producer_->Free() < 3) return true;
  slicer_->Finish(sink_);
  finished_ = true;
  return false;
}

void AudioSource::CaptureLoop() {
  while (!stop_.load(std::memory_order_relaxed)) {
    const long got = input_->Read(block_, kBlock);
    if (got < 0) {
      captureError_.Set("%s", input_->lastError());
      captureFailed_.store(true, std::memory_order_release);
      break;
    }
    if (got == 0) break;
    slicer_->Process(block_, static_cast<size_t>(got), sink_);
  }
  // At the end of the input, at a failure or when stopped: the state in
  // progress has ended all the same.
  slicer_->Finish(sink_);
  captureEnded_.store(true, std::memory_order_release);
}

}  // namespace skelmar
