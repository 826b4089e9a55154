// SoapySDR device input.
#include "platform/soapy_sdr.h"

#include <chrono>
#include <cmath>
#include <exception>
#include <thread>

#ifdef SKELMAR_HAVE_SOAPYSDR
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Logger.hpp>
#endif

namespace skelmar {

namespace {

constexpr int kReadTimeoutUs = 100000;
/// No samples for this long: the device has gone.
constexpr int kSilentReadsLost = 50;
constexpr int kRetrySeconds = 5;

#ifdef SKELMAR_HAVE_SOAPYSDR
std::string Describe(const SoapySDR::Kwargs& args) {
  std::string text;
  for (const auto& [key, value] : args) {
    if (!text.empty()) text += ", ";
    text += key + "=" + value;
  }
  return text;
}

/// SoapySDR's own log lines below warnings would mix with the pages.
void QuietLog() {
  static const bool once = [] {
    SoapySDR::setLogLevel(SOAPY_SDR_WARNING);
    return true;
  }();
  (void)once;
}
#endif

}  // namespace

#ifdef SKELMAR_HAVE_SOAPYSDR

bool SoapySdrAvailable() { return true; }

bool ListSdrDevices(std::FILE* out, std::string& error) {
  QuietLog();
  try {
    const SoapySDR::KwargsList found = SoapySDR::Device::enumerate(std::string());
    if (found.empty()) {
      std::fputs(
          "SoapySDR finds no device (is one plugged in, and its SoapySDR module installed, e.g. "
          "soapysdr-module-rtlsdr?)\n",
          out);
    }
    for (const SoapySDR::Kwargs& device : found) {
      std::fprintf(out, "%s\n", Describe(device).c_str());
    }
  } catch (const std::exception& e) {
    error = std::string("SoapySDR cannot list the devices: ") + e.what();
    return false;
  }
  return true;
}

#else

bool SoapySdrAvailable() { return false; }

bool ListSdrDevices(std::FILE*, std::string& error) {
  error = "this build of skelmar has no SoapySDR support (install libsoapysdr-dev and rebuild)";
  return false;
}

#endif

SoapySdrStream::SoapySdrStream(std::string args, const SdrTuning& tuning, IqNotice notice)
    : args_(std::move(args)), tuning_(tuning), notice_(std::move(notice)) {}

SoapySdrStream::~SoapySdrStream() { Close(); }

void SoapySdrStream::Notice(const char* text) {
  if (notice_) {
    notice_(text);
  } else {
    std::fprintf(stderr, "skelmar: %s\n", text);
  }
}

bool SoapySdrStream::Open() {
  error_.Clear();
  ClearInterrupt();
  if (tuning_.centerHz <= 0) {
    error_.Set("SoapySDR device \"%s\": give the frequency to tune to (--center or --channel)",
               args_.c_str());
    return false;
  }
  return Connect();
}

#ifdef SKELMAR_HAVE_SOAPYSDR

bool SoapySdrStream::Connect() {
  Close();
  QuietLog();
  const char* args = args_.c_str();
  try {
    device_ = SoapySDR::Device::make(args_);
  } catch (const std::exception& e) {
    error_.Set(
        "SoapySDR found no device matching \"%s\" (%s); is it plugged in and its SoapySDR "
        "module installed (e.g. soapysdr-module-rtlsdr)? skelmar --sdr list shows what "
        "SoapySDR finds",
        args, e.what());
    device_ = nullptr;
    return false;
  }
  const char* step = "set the sample rate";
  try {
    device_->setSampleRate(SOAPY_SDR_RX, 0, tuning_.sampleRate);
    rate_ = device_->getSampleRate(SOAPY_SDR_RX, 0);
    if (std::fabs(rate_ - tuning_.sampleRate) > 0.001 * tuning_.sampleRate) {
      error_.Set(
          "SoapySDR device \"%s\" runs at %.0f samples/s, not the %.0f asked for; give a "
          "--rate it supports",
          args, rate_, tuning_.sampleRate);
      Close();
      return false;
    }
    step = "tune";
    ppmApplied_ = 0;
    if (tuning_.ppm != 0 && device_->hasFrequencyCorrection(SOAPY_SDR_RX, 0)) {
      device_->setFrequencyCorrection(SOAPY_SDR_RX, 0, tuning_.ppm);
      ppmApplied_ = tuning_.ppm;
    }
    device_->setFrequency(SOAPY_SDR_RX, 0, tuning_.centerHz);
    const double tuned = device_->getFrequency(SOAPY_SDR_RX, 0);
    if (std::fabs(tuned - tuning_.centerHz) > 1000.0) {
      error_.Set(
          "SoapySDR device \"%s\" tuned to %.6f MHz, not %.6f MHz: is the frequency in its "
          "range?",
          args, tuned / 1e6, tuning_.centerHz / 1e6);
      Close();
      return false;
    }
    step = "set the gain";
    if (tuning_.gainDb) {
      if (device_->hasGainMode(SOAPY_SDR_RX, 0)) device_->setGainMode(SOAPY_SDR_RX, 0, false);
      device_->setGain(SOAPY_SDR_RX, 0, *tuning_.gainDb);
    } else if (device_->hasGainMode(SOAPY_SDR_RX, 0)) {
      device_->setGainMode(SOAPY_SDR_RX, 0, true);
    }
    step = "start the stream";
    stream_ = device_->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
    if (device_->activateStream(stream_) != 0) {
      error_.Set("SoapySDR device \"%s\" does not start its stream", args);
      Close();
      return false;
    }
  } catch (const std::exception& e) {
    error_.Set("SoapySDR device \"%s\": cannot %s: %s", args, step, e.what());
    Close();
    return false;
  }
  return true;
}

void SoapySdrStream::Close() {
  if (device_ == nullptr) return;
  try {
    if (stream_ != nullptr) {
      device_->deactivateStream(stream_);
      device_->closeStream(stream_);
    }
    SoapySDR::Device::unmake(device_);
  } catch (const std::exception&) {
    // A device that has gone away may refuse even this; it is closed all the same.
  }
  stream_ = nullptr;
  device_ = nullptr;
}

long SoapySdrStream::Read(uint8_t* bytes, size_t count) {
  int silent = 0;
  for (;;) {
    if (StopRequested()) return 0;
    if (device_ != nullptr) {
      void* buffers[1] = {bytes};
      int flags = 0;
      long long timeNs = 0;
      const int got = device_->readStream(stream_, buffers, count, flags, timeNs, kReadTimeoutUs);
      if (got > 0) return got;
      if (got == SOAPY_SDR_OVERFLOW || (got == SOAPY_SDR_TIMEOUT && ++silent < kSilentReadsLost) ||
          got == 0) {
        continue;  // samples dropped by the device, or a short wait
      }
      char text[400];
      std::snprintf(text, sizeof text,
                    "SoapySDR device \"%s\" stopped delivering (%s); trying to open it again every "
                    "%d s",
                    args_.c_str(),
                    got == SOAPY_SDR_TIMEOUT ? "no samples" : SoapySDR::errToStr(got),
                    kRetrySeconds);
      Notice(text);
      Close();
    }
    // Gone: try again every few seconds until it is back or the program stops.
    for (;;) {
      for (int i = 0; i < kRetrySeconds * 10; ++i) {
        if (StopRequested()) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      if (Connect()) break;
    }
    silent = 0;
    char text[300];
    std::snprintf(text, sizeof text, "SoapySDR device \"%s\" is back; decoding goes on",
                  args_.c_str());
    Notice(text);
  }
}

#else

bool SoapySdrStream::Connect() {
  error_.Set(
      "cannot open the device \"%s\": this build of skelmar has no SoapySDR support "
      "(install libsoapysdr-dev and rebuild)",
      args_.c_str());
  return false;
}
void SoapySdrStream::Close() {}
long SoapySdrStream::Read(uint8_t*, size_t) { return -1; }

#endif

}  // namespace skelmar
