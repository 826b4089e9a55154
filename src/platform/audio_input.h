// Mono audio inputs for the audio edge source: raw 16-bit PCM from a file
// descriptor, sound files through libsndfile, and ALSA capture.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;
typedef struct _snd_pcm snd_pcm_t;

namespace skelmar {

/// One ALSA capture device: the name to open and its description.
struct CaptureDevice {
  std::string name;  ///< e.g. "default", "hw:CARD=Device,DEV=0"
  std::string description;
};

/// The capture devices ALSA knows (its name hints), "default" first.
std::vector<CaptureDevice> ListCaptureDevices();

/// One channel of audio, read in blocks. Full scale is +-1.0.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  /// Attaches to the input; false with lastError() set on failure.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  /// Reads up to `count` samples; returns how many (> 0), 0 at the end of
  /// the stream, or -1 on failure (see lastError()).
  virtual long Read(float* out, size_t count) = 0;
  /// Samples per second; valid after Open.
  virtual int sampleRate() const = 0;
  virtual const char* lastError() const = 0;
  /// Times the device dropped samples because they were not read in time
  /// (read from any thread).
  virtual uint64_t deviceOverruns() const { return 0; }
  /// The radio frequency this input receives, in Hz, where it knows it
  /// (valid after Open).
  virtual std::optional<double> tunedHz() const { return std::nullopt; }
  /// A read interrupted by a signal is retried unless this flag (when given)
  /// is set; then the input ends there, so a stop request is never held up
  /// by a silent pipe.
  virtual void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
  /// Asks a Read blocked in another thread to return soon (a live input
  /// being stopped); inputs whose reads always return quickly ignore it.
  virtual void Interrupt() {}

 protected:
  bool StopRequested() const { return stop_ != nullptr && stop_->load(std::memory_order_acquire); }

 private:
  const std::atomic<bool>* stop_ = nullptr;
};

/// Fixed-capacity message text shared by the inputs.
class AudioErrorText {
 public:
  const char* text() const { return text_; }
  void Set(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void Clear() { text_[0] = 0; }

 private:
  char text_[256] = {};
};

/// Signed 16-bit little-endian mono samples without a header, from a path
/// ("-" for standard input) or a descriptor the caller opened.
class PcmInput : public AudioInput {
 public:
  PcmInput(const char* path, int sampleRate);
  /// Reads an open descriptor; closes it on Close when `owned`.
  PcmInput(int fd, int sampleRate, bool owned);
  ~PcmInput() override;

  bool Open() override;
  void Close() override;
  long Read(float* out, size_t count) override;
  int sampleRate() const override { return sampleRate_; }
  const char* lastError() const override { return error_.text(); }

  static constexpr size_t kBlock = 4096;

 private:
  char path_[256] = {};
  int fd_ = -1;
  int givenFd_ = -1;
  bool owned_ = true;
  int sampleRate_;
  size_t carry_ = 0;  ///< a byte of a sample split between two reads
  uint8_t bytes_[2 * kBlock + 1] = {};
  AudioErrorText error_;
};

/// WAV, FLAC and whatever else libsndfile reads; the first channel of a
/// multi-channel file.
class SoundFileInput : public AudioInput {
 public:
  explicit SoundFileInput(const char* path);
  ~SoundFileInput() override;

  bool Open() override;
  void Close() override;
  long Read(float* out, size_t count) override;
  int sampleRate() const override { return sampleRate_; }
  int channels() const { return channels_; }
  const char* lastError() const override { return error_.text(); }

  static constexpr size_t kBlock = 4096;

 private:
  char path_[256] = {};
  SNDFILE* file_ = nullptr;
  int sampleRate_ = 0;
  int channels_ = 0;
  long long expectedFrames_ = -1;  ///< what the header promised; -1 unknown
  long long framesRead_ = 0;
  std::vector<float> frames_;  ///< one block of interleaved frames, sized at Open
  AudioErrorText error_;
};

/// Live capture from an ALSA device name ("default", "hw:1,0", ...): 16-bit
/// mono at the requested rate. Read blocks until a block has arrived.
class AlsaInput : public AudioInput {
 public:
  AlsaInput(const char* device, int sampleRate);
  ~AlsaInput() override;

  bool Open() override;
  void Close() override;
  long Read(float* out, size_t count) override;
  int sampleRate() const override { return sampleRate_; }
  const char* lastError() const override { return error_.text(); }
  /// Times the device overflowed because capture fell behind (recovered).
  uint64_t deviceOverruns() const override { return xruns_.load(std::memory_order_relaxed); }

  static constexpr size_t kBlock = 1024;

 private:
  char device_[128] = {};
  snd_pcm_t* pcm_ = nullptr;
  int sampleRate_;
  std::atomic<uint64_t> xruns_{0};
  int16_t samples_[kBlock] = {};
  AudioErrorText error_;
};

}  // namespace skelmar
