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

// Analog low-pass prototypes with -3 dB at 1 rad/s, as quadratic factors
// s^2 + a1 s + a0. The Bessel factors are those of the unit-delay prototype
// scaled by its -3 dB frequency, 2.1139176680 rad/s.
struct Quadratic {
  double a1;
  double a0;
};
constexpr double kBesselCorner = 2.1139176680;
constexpr Quadratic kBessel4[2] = {
    {5.7924217899 / kBesselCorner, 9.1401308902 / (kBesselCorner * kBesselCorner)},
    {4.2075782101 / kBesselCorner, 11.4878004769 / (kBesselCorner * kBesselCorner)}};
constexpr Quadratic kButterworth2[1] = {{1.4142135624, 1.0}};
constexpr Quadratic kButterworth4[2] = {{0.7653668647, 1.0}, {1.8477590650, 1.0}};

// Runs the cascade of the prototype's sections, bilinear-transformed with the
// corner pre-warped to `cutoffHz`, over x in place; starts settled on x[0].
void RunSections(std::vector<double>& x, const Quadratic* factors, int count, double cutoffHz,
                 double fs) {
  const double warped = 2.0 * fs * std::tan(kPi * std::min(cutoffHz, 0.45 * fs) / fs);
  const double k = 2.0 * fs;
  for (int i = 0; i < count; ++i) {
    const double a1 = factors[i].a1 * warped;
    const double a0 = factors[i].a0 * warped * warped;
    const double d0 = k * k + a1 * k + a0;
    const double b0 = a0 / d0;
    const double b1 = 2.0 * b0;
    const double b2 = b0;
    const double c1 = (2.0 * a0 - 2.0 * k * k) / d0;
    const double c2 = (k * k - a1 * k + a0) / d0;
    // Direct form II transposed, state for a constant input of x[0].
    const double start = x.empty() ? 0.0 : x[0];
    double s1 = start - b0 * start;
    double s2 = b2 * start - c2 * start;
    for (double& v : x) {
      const double y = b0 * v + s1;
      s1 = b1 * v - c1 * y + s2;
      s2 = b2 * v - c2 * y;
      v = y;
    }
  }
}

// Convolves x with symmetric taps (odd count), holding the end values beyond the ends.
void RunFir(std::vector<double>& x, const std::vector<double>& taps) {
  const auto count = static_cast<long>(x.size());
  const long half = static_cast<long>(taps.size() / 2);
  std::vector<double> y(x.size(), 0.0);
  for (long n = 0; n < count; ++n) {
    double acc = 0;
    for (long i = -half; i <= half; ++i) {
      const long k = std::clamp<long>(n + i, 0, count - 1);
      acc += taps[static_cast<size_t>(i + half)] * x[static_cast<size_t>(k)];
    }
    y[static_cast<size_t>(n)] = acc;
  }
  x.swap(y);
}

void ReceiverLowPass(std::vector<double>& x, ReceiverFilter filter, double cutoffHz, double fs) {
  if (cutoffHz <= 0 || x.empty()) return;
  switch (filter) {
    case ReceiverFilter::kNone:
      break;
    case ReceiverFilter::kSinglePole: {
      const double alpha = 1.0 - std::exp(-2.0 * kPi * cutoffHz / fs);
      double y = x[0];
      for (double& v : x) {
        y += alpha * (v - y);
        v = y;
      }
      break;
    }
    case ReceiverFilter::kGaussian: {
      const double sigma = std::sqrt(std::log(2.0)) / (2.0 * kPi * cutoffHz) * fs;
      const int half = std::max(1, static_cast<int>(std::ceil(4.0 * sigma)));
      std::vector<double> taps(static_cast<size_t>(2 * half + 1));
      double sum = 0;
      for (int i = -half; i <= half; ++i) {
        const double w = std::exp(-0.5 * (i / sigma) * (i / sigma));
        taps[static_cast<size_t>(i + half)] = w;
        sum += w;
      }
      for (double& w : taps) w /= sum;
      RunFir(x, taps);
      break;
    }
    case ReceiverFilter::kBessel4:
      RunSections(x, kBessel4, 2, cutoffHz, fs);
      break;
    case ReceiverFilter::kButterworth2:
      RunSections(x, kButterworth2, 1, cutoffHz, fs);
      break;
    case ReceiverFilter::kButterworth4:
      RunSections(x, kButterworth4, 2, cutoffHz, fs);
      break;
    case ReceiverFilter::kRaisedCosine: {
      // Raised-cosine spectrum, flat to (1 - b) fc and gone at (1 + b) fc,
      // its impulse response windowed to four zero crossings each side.
      constexpr double kRollOff = 0.5;
      const double f = std::min(cutoffHz, 0.45 * fs) / fs;  // cycles per sample
      const int half = std::max(2, static_cast<int>(std::ceil(4.0 / (2.0 * f))));
      std::vector<double> taps(static_cast<size_t>(2 * half + 1));
      double sum = 0;
      for (int i = -half; i <= half; ++i) {
        const double t = 2.0 * f * i;  // in zero crossings
        const double sinc = i == 0 ? 1.0 : std::sin(kPi * t) / (kPi * t);
        const double d = 2.0 * kRollOff * t;
        const double shape = std::fabs(std::fabs(d) - 1.0) < 1e-9
                                 ? kPi / 4.0
                                 : std::cos(kPi * kRollOff * t) / (1.0 - d * d);
        const double window = 0.5 + 0.5 * std::cos(kPi * i / (half + 1));
        const double w = sinc * shape * window;
        taps[static_cast<size_t>(i + half)] = w;
        sum += w;
      }
      for (double& w : taps) w /= sum;
      RunFir(x, taps);
      break;
    }
  }
}

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
  const double deviation[4] = {-1.0, -options.innerLevel, options.innerLevel, 1.0};
  auto value = [&](size_t i) {
    return deviation[LevelOfStatus(edges[i].status, options.fourLevelInterface,
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

  // Open-squelch stretches: no carrier, only the discriminator's own noise,
  // given before the filter with the rms it has after a filter of this cut-off.
  std::mt19937 squelchRng(options.rngStart ^ 0x5A5A5A5Au);
  const double band = options.filter != ReceiverFilter::kNone && options.cutoffHz > 0
                          ? std::min(1.0, 2.0 * options.cutoffHz / fs)
                          : 1.0;
  std::normal_distribution<double> squelch(0.0, options.squelchNoiseRms / std::sqrt(band));
  for (const NoiseBurst& burst : options.squelchNoise) {
    const auto from = static_cast<size_t>(std::max(0.0, burst.startTicks / tickPerSample));
    const auto to =
        std::min(count, static_cast<size_t>(std::max(0.0, burst.endTicks / tickPerSample)));
    for (size_t n = from; n < to; ++n) x[n] = squelch(squelchRng);
  }

  if (options.noise) {
    // Eb/N0 against white noise of two-sided density N0/2 per sample at fs.
    const double r = options.innerLevel;
    const double power = options.bitsPerSymbol >= 2 ? 0.5 * (1.0 + r * r) : 1.0;
    const double eb = power / options.symbolRate / std::max(1, options.bitsPerSymbol);
    const double ebN0 = std::pow(10.0, options.ebN0Db / 10.0);
    const double sigma = std::sqrt(eb * fs / (2.0 * ebN0));
    std::mt19937 rng(options.rngStart);
    std::normal_distribution<double> gauss(0.0, sigma);
    for (double& v : x) v += gauss(rng);
  }

  ReceiverLowPass(x, options.filter, options.cutoffHz, fs);

  if (options.deEmphasisMicroseconds > 0) {
    const double alpha = 1.0 - std::exp(-1.0 / (fs * options.deEmphasisMicroseconds * 1e-6));
    double y = x.empty() ? 0.0 : x[0];
    for (double& v : x) {
      y += alpha * (v - y);
      v = y;
    }
  }

  out.resize(count);
  const double sign = options.negate ? -1.0 : 1.0;
  const double drift = options.dcDriftSeconds > 0 ? 2.0 * kPi / (fs * options.dcDriftSeconds) : 0;
  for (size_t n = 0; n < count; ++n) {
    const double dc = options.dcOffset + options.dcDrift * std::sin(drift * static_cast<double>(n));
    const double v = (sign * x[n] + dc) * options.amplitude * 32767.0;
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
