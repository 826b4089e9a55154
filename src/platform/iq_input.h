// Wideband IQ in, discriminator audio out: the raw sample streams (files and
// pipes; rtl_tcp and SoapySDR live in their own files) and the FM receiver
// that makes an audio input of any of them, for the audio edge source.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_input.h"
#include "sdr/channel_receiver.h"
#include "sdr/iq_format.h"

namespace skelmar {

/// Lines for the user from a source's own thread (a lost connection, a retry).
using IqNotice = std::function<void(const char* text)>;

/// Raw complex samples in blocks.
class IqStream {
 public:
  virtual ~IqStream() = default;
  /// Attaches; false with lastError() set. Afterwards format(), sampleRate()
  /// and (when the stream knows it) centerHz() hold.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  /// Reads up to `count` complex samples of format() into `bytes`; returns
  /// how many (> 0), 0 at the end or when stopped, -1 on failure.
  virtual long Read(uint8_t* bytes, size_t count) = 0;
  virtual IqFormat format() const = 0;
  virtual double sampleRate() const = 0;
  /// The frequency the stream is centred on, when it says (SigMF, a tuner).
  virtual std::optional<double> centerHz() const { return std::nullopt; }
  /// The part of the tuner's error the tuner corrects itself (the receiver
  /// corrects the rest).
  virtual double ppmApplied() const { return 0; }
  virtual const char* lastError() const = 0;
  /// Asks a blocked Read to return soon (from another thread).
  virtual void Interrupt() { interrupted_.store(true, std::memory_order_release); }
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }

 protected:
  bool StopRequested() const {
    return interrupted_.load(std::memory_order_acquire) ||
           (stop_ != nullptr && stop_->load(std::memory_order_acquire));
  }
  void ClearInterrupt() { interrupted_.store(false, std::memory_order_release); }

 private:
  const std::atomic<bool>* stop_ = nullptr;
  std::atomic<bool> interrupted_{false};
};

/// The formats a headerless capture can be told to be, for messages.
inline constexpr const char* kIqFormatList = "cu8, cs8, cs16, cf32, wav or sigmf";

/// A capture file or pipe ("-" is standard input): raw cu8/cs8/cs16/cf32, a
/// two-channel WAV (8 or 16-bit PCM, 32-bit float) or SigMF (the
/// .sigmf-meta and .sigmf-data pair, either name given).
class IqFileStream : public IqStream {
 public:
  /// `formatName` empty: from the extension or the file's header. `sampleRate`
  /// 0: from the header. A header's rate wins over the one given.
  IqFileStream(std::string path, std::string formatName, double sampleRate);
  ~IqFileStream() override;

  bool Open() override;
  void Close() override;
  long Read(uint8_t* bytes, size_t count) override;
  IqFormat format() const override { return format_; }
  double sampleRate() const override { return sampleRate_; }
  std::optional<double> centerHz() const override { return center_; }
  const char* lastError() const override { return error_.text(); }

 private:
  bool OpenSigmf(const std::string& base);
  bool ReadWavHeader();
  long RawRead(uint8_t* to, size_t bytes);

  std::string path_;
  std::string formatName_;
  double givenRate_;
  int fd_ = -1;
  bool ownFd_ = false;
  IqFormat format_ = IqFormat::kUnknown;
  double sampleRate_ = 0;
  std::optional<double> center_;
  uint64_t remaining_ = UINT64_MAX;  ///< bytes of sample data left (a WAV data chunk)
  std::vector<uint8_t> pushback_;    ///< bytes read while looking at the header
  size_t pushbackAt_ = 0;
  size_t carry_ = 0;  ///< bytes of a sample split between two reads
  uint8_t partial_[8] = {};
  AudioErrorText error_;
};

/// Tuning of the receiver: which channel of the stream it decodes.
struct IqTuning {
  std::optional<double> channelHz;  ///< the channel's frequency; else the centre
  std::optional<double> centerHz;   ///< the stream's centre; else the stream's own, else 0
  double ppm = 0;                   ///< the tuner's error (fast by this many parts per million)
};

/// The FM receiver as an audio input: reads the stream, shifts the channel
/// to 0 Hz, filters, decimates and discriminates. Fixed buffers after Open.
class IqReceiverInput : public AudioInput {
 public:
  IqReceiverInput(std::unique_ptr<IqStream> stream, const IqTuning& tuning);
  ~IqReceiverInput() override;

  bool Open() override;
  void Close() override;
  long Read(float* out, size_t count) override;
  /// The audio rate of the discriminator output; valid after Open.
  int sampleRate() const override { return receiver_ ? receiver_->audioRate() : 0; }
  const char* lastError() const override { return error_.text(); }
  void SetStopFlag(const std::atomic<bool>* stop) override;
  void Interrupt() override { stream_->Interrupt(); }

  IqStream& stream() { return *stream_; }
  /// The channel's frequency where the capture's centre is known (given, or
  /// from its header); without one the channel is only an offset from it.
  std::optional<double> tunedHz() const override { return tunedHz_; }
  /// Wideband samples read so far.
  uint64_t samplesRead() const { return samples_; }

 private:
  std::unique_ptr<IqStream> stream_;
  IqTuning tuning_;
  std::optional<WidebandFront> front_;
  std::optional<ChannelReceiver> receiver_;
  std::vector<uint8_t> raw_;
  std::vector<float> audio_;
  size_t audioAt_ = 0, audioHeld_ = 0;
  uint64_t samples_ = 0;
  std::optional<double> tunedHz_;
  AudioErrorText error_;
};

}  // namespace skelmar
