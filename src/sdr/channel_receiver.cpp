// Wideband front and channel receiver.
#include "sdr/channel_receiver.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "sdr/fir_kernels.h"

namespace skelmar {

namespace {

using namespace fir;

/// Wideband samples per second the first stage decimates to, at least.
constexpr double kFirstStageRate = 64000.0;
/// First-stage taps per output: rejects what would fold onto the channel by about 65 dB.
constexpr int kFirstStageTapsPerOutput = 6;
constexpr double kFirstStageBeta = 6.2;
/// Time constant of the DC estimate of the wideband stream.
constexpr double kDcSeconds = 0.5;

double ResponseOf(const std::vector<float>& taps, double cyclesPerSample) {
  std::complex<double> sum = 0;
  for (size_t n = 0; n < taps.size(); ++n) {
    sum += static_cast<double>(taps[n]) *
           std::polar(1.0, -2.0 * kPi * cyclesPerSample * static_cast<double>(n));
  }
  return std::abs(sum);
}

}  // namespace

double ChannelOffsetHz(double channelHz, double centerHz, double ppm) {
  // A signal at F lands at F - centre (1 + e) real hertz from the tuner's
  // oscillator and is counted by a sample clock fast by (1 + e).
  const double e = ppm * 1e-6;
  return (channelHz - centerHz * (1.0 + e)) / (1.0 + e);
}

WidebandFront::WidebandFront(double sampleRate) : sampleRate_(sampleRate) {}

void WidebandFront::Reset() {
  dcI_ = dcQ_ = 0;
  primed_ = false;
}

IqBlock WidebandFront::Convert(IqFormat format, const uint8_t* bytes, size_t count) {
  count = std::min(count, kBlock);
  ConvertIq(format, bytes, count, i_, q_);
  if (count == 0) return {i_, q_, 0};
  if (!primed_) {
    // The first block's mean is the first estimate.
    double sumI = 0, sumQ = 0;
    for (size_t n = 0; n < count; ++n) {
      sumI += i_[n];
      sumQ += q_[n];
    }
    dcI_ = sumI / static_cast<double>(count);
    dcQ_ = sumQ / static_cast<double>(count);
    primed_ = true;
  }
  // Take off the estimate so far and measure what is left, in one pass.
  const auto di = static_cast<float>(dcI_);
  const auto dq = static_cast<float>(dcQ_);
  float restI = 0, restQ = 0;
  for (size_t n = 0; n < count; ++n) {
    i_[n] -= di;
    q_[n] -= dq;
    restI += i_[n];
    restQ += q_[n];
  }
  const double a = std::min(1.0, static_cast<double>(count) / (sampleRate_ * kDcSeconds));
  dcI_ += a * restI / static_cast<double>(count);
  dcQ_ += a * restQ / static_cast<double>(count);
  return {i_, q_, count};
}

ChannelReceiver::ChannelReceiver(const ChannelOptions& options)
    : sampleRate_(std::clamp(options.sampleRate, kMinIqRate, kMaxIqRate)),
      omega_(2.0 * kPi * options.offsetHz / sampleRate_),
      decim1_(std::max(1, static_cast<int>(sampleRate_ / kFirstStageRate))) {
  const double rate1 = sampleRate_ / decim1_;
  audioRate_ = static_cast<int>(std::lround(rate1 / kDecim2));

  mixCos_.resize(WidebandFront::kBlock);
  mixSin_.resize(WidebandFront::kBlock);
  for (size_t n = 0; n < WidebandFront::kBlock; ++n) {
    const double a = -omega_ * static_cast<double>(n);
    mixCos_[n] = static_cast<float>(std::cos(a));
    mixSin_[n] = static_cast<float>(std::sin(a));
  }

  const int count1 = decim1_ == 1 ? 1 : kFirstStageTapsPerOutput * decim1_;
  taps1_ = Padded(LowPass(count1, 0.5 / decim1_, kFirstStageBeta));
  const double transition = 2.0 * kPi * kChannelTransitionHz / rate1;
  int count2 =
      static_cast<int>(std::ceil((kChannelAttenuationDb - 8.0) / (2.285 * transition))) + 1;
  count2 |= 1;
  taps2_ =
      Padded(LowPass(count2, kChannelCutoffHz / rate1, 0.1102 * (kChannelAttenuationDb - 8.7)));

  hist1I_.assign(taps1_.size() - 1 + WidebandFront::kBlock, 0.0f);
  hist1Q_.assign(hist1I_.size(), 0.0f);
  hist2I_.assign(taps2_.size() - 1 + WidebandFront::kBlock / decim1_ + 2, 0.0f);
  hist2Q_.assign(hist2I_.size(), 0.0f);
  Reset();
}

void ChannelReceiver::Reset() {
  phase_ = 0;
  std::fill(hist1I_.begin(), hist1I_.end(), 0.0f);
  std::fill(hist1Q_.begin(), hist1Q_.end(), 0.0f);
  std::fill(hist2I_.begin(), hist2I_.end(), 0.0f);
  std::fill(hist2Q_.begin(), hist2Q_.end(), 0.0f);
  next1_ = taps1_.size() - 1;
  next2_ = taps2_.size() - 1;
  fill2_ = 0;
  prevI_ = 1;
  prevQ_ = 0;
}

size_t ChannelReceiver::Process(const IqBlock& block, float* audio) {
  const size_t count = std::min(block.count, WidebandFront::kBlock);
  const size_t keep1 = taps1_.size() - 1;
  const size_t keep2 = taps2_.size() - 1;

  // Shift to 0 Hz: e^{-j(omega n + phase)} as the block's table times the block's start.
  {
    const auto c = static_cast<float>(std::cos(-phase_));
    const auto s = static_cast<float>(std::sin(-phase_));
    float* __restrict outI = hist1I_.data() + keep1;
    float* __restrict outQ = hist1Q_.data() + keep1;
    const float* __restrict xi = block.i;
    const float* __restrict xq = block.q;
    const float* __restrict tc = mixCos_.data();
    const float* __restrict ts = mixSin_.data();
    for (size_t n = 0; n < count; ++n) {
      const float rc = tc[n] * c - ts[n] * s;
      const float rs = tc[n] * s + ts[n] * c;
      outI[n] = xi[n] * rc - xq[n] * rs;
      outQ[n] = xi[n] * rs + xq[n] * rc;
    }
    phase_ = std::fmod(phase_ + omega_ * static_cast<double>(count), 2.0 * kPi);
  }

  // Stage 1: decimate to 64..128 kS/s.
  const size_t end1 = keep1 + count;
  const size_t step1 = static_cast<size_t>(decim1_);
  while (next1_ < end1) {
    const size_t from = next1_ - keep1;
    Dot(taps1_.data(), taps1_.size(), hist1I_.data() + from, hist1Q_.data() + from,
        hist2I_[keep2 + fill2_], hist2Q_[keep2 + fill2_]);
    ++fill2_;
    next1_ += step1;
  }
  std::memmove(hist1I_.data(), hist1I_.data() + count, keep1 * sizeof(float));
  std::memmove(hist1Q_.data(), hist1Q_.data() + count, keep1 * sizeof(float));
  next1_ -= count;

  // Stage 2: the channel filter, decimating by two; then the discriminator.
  size_t written = 0;
  const size_t end2 = keep2 + fill2_;
  const double scale = audioRate_ / (2.0 * kPi) / kAudioFullScaleHz;
  while (next2_ < end2) {
    const size_t from = next2_ - keep2;
    float zi, zq;
    Dot(taps2_.data(), taps2_.size(), hist2I_.data() + from, hist2Q_.data() + from, zi, zq);
    // The angle of z * conj(previous z): the phase step, so the level does
    // not depend on the signal's amplitude.
    const float re = zi * prevI_ + zq * prevQ_;
    const float im = zq * prevI_ - zi * prevQ_;
    audio[written++] = static_cast<float>(FastAtan2(im, re) * scale);
    prevI_ = zi;
    prevQ_ = zq;
    next2_ += kDecim2;
  }
  std::memmove(hist2I_.data(), hist2I_.data() + fill2_, keep2 * sizeof(float));
  std::memmove(hist2Q_.data(), hist2Q_.data() + fill2_, keep2 * sizeof(float));
  next2_ -= fill2_;
  fill2_ = 0;
  return written;
}

double ChannelReceiver::ResponseDb(double hz) const {
  const double rate1 = sampleRate_ / decim1_;
  const double h = ResponseOf(taps1_, hz / sampleRate_) * ResponseOf(taps2_, hz / rate1);
  const double h0 = ResponseOf(taps1_, 0) * ResponseOf(taps2_, 0);
  return 20.0 * std::log10(std::max(h / h0, 1e-12));
}

}  // namespace skelmar
