// Slicer edges to discriminator audio, and PCM/WAV writers.
#include "audio_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace siggen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTicks = skelmar::kTicksPerSecond;

// Deviation of levels 0..3 relative to the outer deviation.
constexpr double kDeviation[4] = {-1.0, -1.0 / 3.0, 1.0 / 3.0, 1.0};

void PutLe(std::FILE* f, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((value >> (8 * i)) & 0xFF), f);
}

bool WriteSamples(std::FILE* f, const std::vector<int16_t>& samples) {
  for (int16_t s : samples) PutLe(f, static_cast<uint16_t>(s), 2);
  return !std::ferror(f);
}

}  // namespace

int LevelOfStatus(uint8_t status, bool fourLevelInterface, bool invertData) {
  int level = ((status >> 4) & 1) + ((status >> 5) & 1) + ((status >> 7) & 1);
  if (!fourLevelInterface && level > 0) level = 3;
  if (invertData) level ^= 3;
  return level;
}

std::vector<int16_t> EdgesToAudio(const std::vector<PulseSample>& edges,
                                  const AudioOptions& options) {
  std::vector<int16_t> out;
  if (edges.empty() || options.sampleRate <= 0) return out;

  double total = 0;
  for (const PulseSample& e : edges) total += e.duration;
  // True-time length of one sample of a card whose clock runs off nominal.
  const double fs = options.sampleRate;
  const double tickPerSample = kTicks / (fs * (1.0 + options.clockOffsetPpm * 1e-6));
  const auto count = static_cast<size_t>(total / tickPerSample);

  // Box-average the ideal deviation over each sample interval.
  std::vector<double> x(count, 0.0);
  size_t e = 0;
  double segStart = 0;
  double segEnd = edges[0].duration;
  auto value = [&](size_t i) {
    return kDeviation[LevelOfStatus(edges[i].status, options.fourLevelInterface,
                                    options.invertData)];
  };
  for (size_t n = 0; n < count; ++n) {
    const double a = static_cast<double>(n) * tickPerSample;
    const double b = a + tickPerSample;
    double t = a;
    double acc = 0;
    while (t < b) {
      while (segEnd <= t && e + 1 < edges.size()) {
        ++e;
        segStart = segEnd;
        segEnd = segStart + edges[e].duration;
      }
      const double end = (segEnd <= t) ? b : std::min(b, segEnd);
      acc += value(e) * (end - t);
      t = end;
    }
    x[n] = acc / tickPerSample;
  }

  if (options.noise) {
    // Eb/N0 against white noise of two-sided density N0/2 per sample at fs.
    const double power = options.bitsPerSymbol >= 2 ? 5.0 / 9.0 : 1.0;
    const double eb = power / options.symbolRate / std::max(1, options.bitsPerSymbol);
    const double ebN0 = std::pow(10.0, options.ebN0Db / 10.0);
    const double sigma = std::sqrt(eb * fs / (2.0 * ebN0));
    std::mt19937 rng(options.rngStart);
    std::normal_distribution<double> gauss(0.0, sigma);
    for (double& v : x) v += gauss(rng);
  }

  if (options.filter == ReceiverFilter::kSinglePole && options.cutoffHz > 0) {
    const double alpha = 1.0 - std::exp(-2.0 * kPi * options.cutoffHz / fs);
    double y = x.empty() ? 0.0 : x[0];
    for (double& v : x) {
      y += alpha * (v - y);
      v = y;
    }
  } else if (options.filter == ReceiverFilter::kGaussian && options.cutoffHz > 0) {
    const double sigma = std::sqrt(std::log(2.0)) / (2.0 * kPi * options.cutoffHz) * fs;
    const int half = std::max(1, static_cast<int>(std::ceil(4.0 * sigma)));
    std::vector<double> taps(static_cast<size_t>(2 * half + 1));
    double sum = 0;
    for (int i = -half; i <= half; ++i) {
      const double w = std::exp(-0.5 * (i / sigma) * (i / sigma));
      taps[static_cast<size_t>(i + half)] = w;
      sum += w;
    }
    for (double& w : taps) w /= sum;
    std::vector<double> y(count, 0.0);
    for (size_t n = 0; n < count; ++n) {
      double acc = 0;
      for (int i = -half; i <= half; ++i) {
        // Hold the first and last values beyond the ends.
        const auto k = static_cast<size_t>(
            std::clamp<long>(static_cast<long>(n) + i, 0, static_cast<long>(count) - 1));
        acc += taps[static_cast<size_t>(i + half)] * x[k];
      }
      y[n] = acc;
    }
    x.swap(y);
  }

  out.resize(count);
  const double sign = options.negate ? -1.0 : 1.0;
  for (size_t n = 0; n < count; ++n) {
    const double v = (sign * x[n] + options.dcOffset) * options.amplitude * 32767.0;
    out[n] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
  }
  return out;
}

bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, int sampleRate) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
  std::fputs("RIFF", f);
  PutLe(f, 36 + dataBytes, 4);
  std::fputs("WAVEfmt ", f);
  PutLe(f, 16, 4);  // format chunk size
  PutLe(f, 1, 2);   // PCM
  PutLe(f, 1, 2);   // mono
  PutLe(f, static_cast<uint32_t>(sampleRate), 4);
  PutLe(f, static_cast<uint32_t>(sampleRate) * 2, 4);  // bytes per second
  PutLe(f, 2, 2);                                      // block align
  PutLe(f, 16, 2);                                     // bits per sample
  std::fputs("data", f);
  PutLe(f, dataBytes, 4);
  const bool ok = WriteSamples(f, samples);
  return std::fclose(f) == 0 && ok;
}

bool WriteRawPcm(const std::string& path, const std::vector<int16_t>& samples) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = WriteSamples(f, samples);
  return std::fclose(f) == 0 && ok;
}

}  // namespace siggen
