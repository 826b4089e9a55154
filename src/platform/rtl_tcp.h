// A client of the rtl_tcp protocol: the 12-byte greeting ("RTL0", tuner type,
// gain count), 5-byte commands (command byte, big-endian value) for the
// centre frequency, sample rate, gain and frequency correction, then a cu8
// stream. A lost connection is reported and retried with growing pauses;
// what arrived before is decoded all the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/iq_input.h"

namespace skelmar {

/// The rtl_tcp commands this client sends.
enum RtlTcpCommand : uint8_t {
  kRtlTcpFrequency = 0x01,
  kRtlTcpSampleRate = 0x02,
  kRtlTcpGainMode = 0x03,             ///< 0 automatic, 1 manual
  kRtlTcpGain = 0x04,                 ///< tenths of a dB
  kRtlTcpFrequencyCorrection = 0x05,  ///< ppm
};

struct RtlTcpTuning {
  double centerHz = 0;
  double sampleRate = 1024000;
  std::optional<double> gainDb;  ///< none: automatic
  double ppm = 0;
};

class RtlTcpStream : public IqStream {
 public:
  static constexpr int kDefaultPort = 1234;

  /// `address` is HOST or HOST:PORT ([v6 address]:PORT too).
  RtlTcpStream(std::string address, const RtlTcpTuning& tuning, IqNotice notice = nullptr);
  ~RtlTcpStream() override;

  bool Open() override;
  void Close() override;
  long Read(uint8_t* bytes, size_t count) override;
  IqFormat format() const override { return IqFormat::kCu8; }
  double sampleRate() const override { return tuning_.sampleRate; }
  std::optional<double> centerHz() const override { return tuning_.centerHz; }
  double ppmApplied() const override { return static_cast<double>(ppmSent_); }
  const char* lastError() const override { return error_.text(); }

  /// What the server said it has, from the greeting.
  uint32_t tunerType() const { return tunerType_; }
  uint32_t gainCount() const { return gainCount_; }
  /// Connections made again after a loss.
  int reconnects() const { return reconnects_; }
  /// Pauses before the attempts to reconnect: the first, doubling up to the last.
  void SetRetryPauses(int firstMs, int maxMs) {
    firstPauseMs_ = firstMs;
    maxPauseMs_ = maxMs;
  }

 private:
  bool Connect();
  bool SendCommand(uint8_t command, uint32_t value);
  bool WaitReadable(int timeoutMs);
  void Notice(const char* format, ...) __attribute__((format(printf, 2, 3)));

  std::string address_;
  std::string host_;
  std::string port_;
  RtlTcpTuning tuning_;
  IqNotice notice_;
  int fd_ = -1;
  int ppmSent_ = 0;
  uint32_t tunerType_ = 0;
  uint32_t gainCount_ = 0;
  int reconnects_ = 0;
  int firstPauseMs_ = 1000;
  int maxPauseMs_ = 16000;
  bool odd_ = false;  ///< half a sample (its I byte) waits for its Q byte
  uint8_t oddByte_ = 0;
  AudioErrorText error_;
};

}  // namespace skelmar
