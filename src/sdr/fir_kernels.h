// The building blocks the channel receiver and the channel bank share: the
// Kaiser low-pass design, the complex dot product and the discriminator's
// arc tangent.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

namespace skelmar::fir {

inline constexpr double kPi = 3.14159265358979323846;

/// The channel filter: flat to 9.5 kHz (12.5 and 25 kHz channels with up to
/// 4.8 kHz deviation, and a few kHz of tuning error), 70 dB down from 15.5 kHz,
/// where a neighbour 25 kHz away starts.
inline constexpr double kChannelCutoffHz = 12500.0;
inline constexpr double kChannelTransitionHz = 6000.0;
inline constexpr double kChannelAttenuationDb = 70.0;

inline double BesselI0(double x) {
  double sum = 1, term = 1;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < 1e-12 * sum) break;
  }
  return sum;
}

/// Kaiser-windowed sinc low-pass with unity gain at 0 Hz; `cutoff` in cycles per sample.
inline std::vector<float> LowPass(int count, double cutoff, double beta) {
  std::vector<float> taps(static_cast<size_t>(count));
  if (count == 1) {
    taps[0] = 1.0f;
    return taps;
  }
  std::vector<double> h(static_cast<size_t>(count));
  const double middle = (count - 1) / 2.0;
  double sum = 0;
  for (int n = 0; n < count; ++n) {
    const double t = n - middle;
    const double x = 2.0 * cutoff * t;
    const double sinc = std::fabs(x) < 1e-12 ? 1.0 : std::sin(kPi * x) / (kPi * x);
    const double r = t / middle;
    const double window = BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - r * r))) / BesselI0(beta);
    h[static_cast<size_t>(n)] = 2.0 * cutoff * sinc * window;
    sum += h[static_cast<size_t>(n)];
  }
  for (int n = 0; n < count; ++n) taps[static_cast<size_t>(n)] = static_cast<float>(h[n] / sum);
  return taps;
}

// Four floats as one value: GCC and Clang map it onto the vector registers of
// every target (SSE on any x86-64, NEON on ARM), which their loop vectoriser
// does not manage for the interleaved sums below.
typedef float Float4 __attribute__((vector_size(16)));
inline constexpr size_t kTapAlign = 8;  ///< filters are padded to a multiple of this many taps

inline Float4 Load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline float Sum4(Float4 v) { return (v[0] + v[1]) + (v[2] + v[3]); }

/// Complex dot product of real taps (a multiple of kTapAlign) with the history.
inline void Dot(const float* taps, size_t count, const float* xi, const float* xq, float& outI,
                float& outQ) {
  Float4 i0 = {}, i1 = {}, q0 = {}, q1 = {};
  for (size_t k = 0; k < count; k += kTapAlign) {
    const Float4 t0 = Load4(taps + k);
    const Float4 t1 = Load4(taps + k + 4);
    i0 += t0 * Load4(xi + k);
    i1 += t1 * Load4(xi + k + 4);
    q0 += t0 * Load4(xq + k);
    q1 += t1 * Load4(xq + k + 4);
  }
  outI = Sum4(i0 + i1);
  outQ = Sum4(q0 + q1);
}

/// atan2 to within 1e-5 rad: the discriminator's phase step, far cheaper than
/// the library's exact one.
inline float FastAtan2(float y, float x) {
  const float ax = std::fabs(x), ay = std::fabs(y);
  const float big = std::max(ax, ay);
  if (big == 0.0f) return 0.0f;
  const float t = std::min(ax, ay) / big;
  const float t2 = t * t;
  float a =
      t *
      (0.99997726f +
       t2 * (-0.33262347f +
             t2 * (0.19354346f + t2 * (-0.11643287f + t2 * (0.05265332f + t2 * -0.01172120f)))));
  if (ay > ax) a = 1.57079633f - a;
  if (x < 0) a = 3.14159265f - a;
  return y < 0 ? -a : a;
}

/// Leading zeros up to a multiple of kTapAlign taps (a delay, nothing else).
inline std::vector<float> Padded(const std::vector<float>& taps) {
  const size_t pad = (kTapAlign - taps.size() % kTapAlign) % kTapAlign;
  std::vector<float> out(pad, 0.0f);
  out.insert(out.end(), taps.begin(), taps.end());
  return out;
}

}  // namespace skelmar::fir
