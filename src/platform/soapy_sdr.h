// A live receiver through SoapySDR: any device with a SoapySDR module
// (soapysdr-module-rtlsdr, -airspy, -hackrf, ...), tuned, set to a rate and
// a gain, read as complex float. A device that goes away is reported and
// opened again every few seconds, as the serial device is.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "platform/iq_input.h"

namespace SoapySDR {
class Device;
class Stream;
}  // namespace SoapySDR

namespace skelmar {

struct SdrTuning {
  double centerHz = 0;
  double sampleRate = 1024000;
  std::optional<double> gainDb;  ///< none: automatic
  double ppm = 0;
};

/// False when this build has no SoapySDR.
bool SoapySdrAvailable();

/// Prints the devices SoapySDR finds, one line each ("driver=rtlsdr, label=...").
/// Returns false with `error` set when it cannot look.
bool ListSdrDevices(std::FILE* out, std::string& error);

class SoapySdrStream : public IqStream {
 public:
  /// `args` as SoapySDR takes them: "driver=rtlsdr", "driver=airspy,serial=...", "" for any.
  SoapySdrStream(std::string args, const SdrTuning& tuning, IqNotice notice = nullptr);
  ~SoapySdrStream() override;

  bool Open() override;
  void Close() override;
  long Read(uint8_t* bytes, size_t count) override;
  IqFormat format() const override { return IqFormat::kCf32; }
  double sampleRate() const override { return rate_; }
  std::optional<double> centerHz() const override { return tuning_.centerHz; }
  double ppmApplied() const override { return ppmApplied_; }
  const char* lastError() const override { return error_.text(); }

 private:
  bool Connect();
  void Notice(const char* text);

  std::string args_;
  SdrTuning tuning_;
  IqNotice notice_;
  SoapySDR::Device* device_ = nullptr;
  SoapySDR::Stream* stream_ = nullptr;
  double rate_ = 0;
  double ppmApplied_ = 0;
  AudioErrorText error_;
};

}  // namespace skelmar
