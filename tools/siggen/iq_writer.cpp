// FM carriers in a wideband capture, written as IQ files.
#include "iq_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

namespace siggen {

namespace {

constexpr double kPi = 3.14159265358979323846;

void PutLe(std::FILE* f, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), f);
}

void WavHeader(std::FILE* f, uint32_t sampleRate, bool isFloat, uint64_t frames) {
  const uint32_t bytesPerFrame = isFloat ? 8 : 4;
  const auto data = static_cast<uint32_t>(frames * bytesPerFrame);
  std::fputs("RIFF", f);
  PutLe(f, 36 + data, 4);
  std::fputs("WAVEfmt ", f);
  PutLe(f, 16, 4);
  PutLe(f, isFloat ? 3 : 1, 2);
  PutLe(f, 2, 2);
  PutLe(f, sampleRate, 4);
  PutLe(f, sampleRate * bytesPerFrame, 4);
  PutLe(f, bytesPerFrame, 2);
  PutLe(f, isFloat ? 32 : 16, 2);
  std::fputs("data", f);
  PutLe(f, data, 4);
}

enum class Sample { kU8, kS8, kS16, kF32 };

void Append(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>((value >> (8 * i)) & 0xFF));
}

void Put(std::vector<uint8_t>& out, Sample kind, double x) {
  switch (kind) {
    case Sample::kU8:
      out.push_back(static_cast<uint8_t>(std::clamp(std::lround(127.5 + 127.5 * x), 0L, 255L)));
      break;
    case Sample::kS8:
      out.push_back(static_cast<uint8_t>(
          static_cast<int8_t>(std::clamp(std::lround(128.0 * x), -128L, 127L))));
      break;
    case Sample::kS16:
      Append(out,
             static_cast<uint16_t>(
                 static_cast<int16_t>(std::clamp(std::lround(32768.0 * x), -32768L, 32767L))),
             2);
      break;
    case Sample::kF32: {
      const auto v = static_cast<float>(x);
      uint32_t bits;
      static_assert(sizeof bits == sizeof v);
      std::memcpy(&bits, &v, 4);
      Append(out, bits, 4);
      break;
    }
  }
}

}  // namespace

std::vector<float> ToFloat(const std::vector<int16_t>& audio) {
  std::vector<float> out(audio.size());
  for (size_t i = 0; i < audio.size(); ++i) out[i] = static_cast<float>(audio[i]) / 32768.0f;
  return out;
}

bool IqFileFormatByName(const std::string& name, IqFileFormat& format) {
  static const std::pair<const char*, IqFileFormat> kNames[] = {
      {"cu8", IqFileFormat::kCu8},
      {"cs8", IqFileFormat::kCs8},
      {"cs16", IqFileFormat::kCs16},
      {"cf32", IqFileFormat::kCf32},
      {"wav16", IqFileFormat::kWav16},
      {"wavf32", IqFileFormat::kWavFloat},
      {"sigmf-cu8", IqFileFormat::kSigmfCu8},
      {"sigmf-ci16", IqFileFormat::kSigmfCi16},
      {"sigmf-cf32", IqFileFormat::kSigmfCf32}};
  for (const auto& [n, f] : kNames) {
    if (name == n) {
      format = f;
      return true;
    }
  }
  return false;
}

bool WriteIq(const std::string& path, IqFileFormat format, const std::vector<IqCarrier>& carriers,
             const IqOptions& o, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what + " \"" + path + "\"";
    return false;
  };
  double seconds = o.seconds;
  if (seconds <= 0) {
    for (const IqCarrier& c : carriers) {
      seconds =
          std::max(seconds, c.startSeconds + static_cast<double>(c.audio.size()) / c.audioRate);
    }
    seconds += 0.2;
  }
  const auto frames = static_cast<uint64_t>(seconds * o.sampleRate);

  Sample kind = Sample::kU8;
  std::string dataPath = path;
  bool wav = false;
  const char* sigmfType = nullptr;
  switch (format) {
    case IqFileFormat::kCu8:
      break;
    case IqFileFormat::kCs8:
      kind = Sample::kS8;
      break;
    case IqFileFormat::kCs16:
      kind = Sample::kS16;
      break;
    case IqFileFormat::kCf32:
      kind = Sample::kF32;
      break;
    case IqFileFormat::kWav16:
      kind = Sample::kS16;
      wav = true;
      break;
    case IqFileFormat::kWavFloat:
      kind = Sample::kF32;
      wav = true;
      break;
    case IqFileFormat::kSigmfCu8:
      sigmfType = "cu8";
      break;
    case IqFileFormat::kSigmfCi16:
      kind = Sample::kS16;
      sigmfType = "ci16_le";
      break;
    case IqFileFormat::kSigmfCf32:
      kind = Sample::kF32;
      sigmfType = "cf32_le";
      break;
  }
  if (sigmfType != nullptr) {
    dataPath = path + ".sigmf-data";
    std::FILE* meta = std::fopen((path + ".sigmf-meta").c_str(), "w");
    if (meta == nullptr) return fail("cannot write");
    std::fprintf(meta,
                 "{\n  \"global\": {\n    \"core:datatype\": \"%s\",\n    \"core:sample_rate\": "
                 "%.1f,\n    \"core:version\": \"1.0.0\",\n    \"core:description\": \"skelgen "
                 "test capture\"\n  },\n  \"captures\": [\n    {\n      \"core:sample_start\": "
                 "0,\n      \"core:frequency\": %.1f\n    }\n  ],\n  \"annotations\": []\n}\n",
                 sigmfType, o.sampleRate, o.centerHz);
    if (std::fclose(meta) != 0) return fail("cannot write");
  }
  std::FILE* f = std::fopen(dataPath.c_str(), "wb");
  if (f == nullptr) return fail("cannot write");
  if (wav) WavHeader(f, static_cast<uint32_t>(o.sampleRate), kind == Sample::kF32, frames);

  // The tuner: its oscillator sits at centre (1 + e) and its sample clock
  // ticks at rate (1 + e); every carrier turns with its own phase.
  const double e = o.ppm * 1e-6;
  const double dt = 1.0 / (o.sampleRate * (1.0 + e));
  const double lo = o.centerHz * (1.0 + e);
  std::vector<double> phase(carriers.size(), 0.0);
  std::vector<double> amp(carriers.size());
  for (size_t c = 0; c < carriers.size(); ++c) {
    amp[c] = o.amplitude * std::pow(10.0, carriers[c].powerDb / 20.0);
  }
  const bool noisy = o.cnrDb < 200;
  const double sigma = std::sqrt(o.amplitude * o.amplitude * o.sampleRate / 12500.0 /
                                 std::pow(10.0, o.cnrDb / 10.0) / 2.0);
  std::mt19937 rng(o.rngStart);
  std::normal_distribution<double> gauss(0.0, 1.0);
  const double qGain = std::pow(10.0, o.imbalanceDb / 20.0);
  const double qSkew = o.imbalanceDegrees * kPi / 180.0;

  std::vector<uint8_t> out;
  out.reserve(1 << 17);
  for (uint64_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) * dt;
    double i = 0, q = 0;
    for (size_t c = 0; c < carriers.size(); ++c) {
      const IqCarrier& k = carriers[c];
      // The modulating audio at t, linearly interpolated.
      double a = 0;
      const double at = (t - k.startSeconds) * k.audioRate;
      if (at >= 0) {
        const auto j = static_cast<size_t>(at);
        if (j + 1 < k.audio.size()) {
          const double frac = at - static_cast<double>(j);
          a = k.audio[j] + frac * (k.audio[j + 1] - k.audio[j]);
        }
      }
      const double hz = o.centerHz + k.offsetHz - lo + k.deviationHz * a / k.audioUnit;
      i += amp[c] * std::cos(phase[c]);
      q += amp[c] * std::sin(phase[c]);
      phase[c] = std::fmod(phase[c] + 2.0 * kPi * hz * dt, 2.0 * kPi);
    }
    if (noisy) {
      i += sigma * gauss(rng);
      q += sigma * gauss(rng);
    }
    // A tuner whose Q arm has its own gain and is not quite 90 degrees from I.
    const double qi = qGain * (q * std::cos(qSkew) + i * std::sin(qSkew));
    Put(out, kind, i + o.dcI);
    Put(out, kind, qi + o.dcQ);
    if (out.size() >= (1 << 16) || n + 1 == frames) {
      if (std::fwrite(out.data(), 1, out.size(), f) != out.size()) {
        std::fclose(f);
        return fail("cannot write");
      }
      out.clear();
    }
  }
  if (std::fclose(f) != 0) return fail("cannot write");
  return true;
}

}  // namespace siggen
