// The polyphase channel bank.
#include "sdr/channel_bank.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>

#include "sdr/fir_kernels.h"

namespace skelmar {

namespace {

using namespace fir;

/// The bins are at least this far apart: a bin then holds any channel
/// between its centre and the next bin's, with room for the prototype
/// filter's transition.
constexpr double kMinBinSpacingHz = 50000.0;
/// The audio rate is at least this.
constexpr double kMinAudioRate = 32000.0;

double ResponseOf(const std::vector<float>& taps, double cyclesPerSample) {
  std::complex<double> sum = 0;
  for (size_t n = 0; n < taps.size(); ++n) {
    sum += static_cast<double>(taps[n]) *
           std::polar(1.0, -2.0 * kPi * cyclesPerSample * static_cast<double>(n));
  }
  return std::abs(sum);
}

int KaiserCount(double attenuationDb, double transitionHz, double rate) {
  const double transition = 2.0 * kPi * transitionHz / rate;
  return static_cast<int>(std::ceil((attenuationDb - 8.0) / (2.285 * transition))) + 1;
}

}  // namespace

ChannelBank::ChannelBank(double sampleRate, const std::vector<double>& offsetsHz)
    : sampleRate_(std::clamp(sampleRate, kMinIqRate, kMaxIqRate)) {
  if (offsetsHz.size() == 1) {
    ChannelOptions options;
    options.sampleRate = sampleRate_;
    options.offsetHz = offsetsHz.front();
    single_.emplace(options);
    return;
  }
  bins_ = 4;  // the branch sums run four at a time
  while (sampleRate_ / (bins_ * 2) >= kMinBinSpacingHz) bins_ *= 2;
  hop_ = bins_ / 2;
  const double spacing = sampleRate_ / bins_;
  const double binRate = 2.0 * spacing;
  decim_ = std::max(1, static_cast<int>(binRate / kMinAudioRate));
  audioRate_ = static_cast<int>(std::lround(binRate / decim_));

  // The prototype passes a channel anywhere within half a bin of its centre
  // and keeps out everything that would fold onto it at the bin rate.
  const double pass = spacing / 2 + kChannelCutoffHz;
  const double stop = 1.5 * spacing - kChannelCutoffHz;
  const int wanted = KaiserCount(kChannelAttenuationDb, stop - pass, sampleRate_);
  const int perBranch = (wanted + bins_ - 1) / bins_;
  const std::vector<float> prototype =
      LowPass(perBranch * bins_, spacing / sampleRate_, 0.1102 * (kChannelAttenuationDb - 8.7));
  reversed_.resize(prototype.size());
  for (int p = 0; p < perBranch; ++p) {
    for (int i = 0; i < bins_; ++i) {
      reversed_[static_cast<size_t>(p * bins_ + i)] =
          prototype[static_cast<size_t>(p * bins_ + bins_ - 1 - i)];
    }
  }
  keep_ = prototype.size() - 1;
  histI_.assign(keep_ + WidebandFront::kBlock, 0.0f);
  histQ_.assign(histI_.size(), 0.0f);
  sumI_.assign(static_cast<size_t>(bins_), 0.0f);
  sumQ_.assign(sumI_.size(), 0.0f);
  fftI_.assign(sumI_.size(), 0.0f);
  fftQ_.assign(sumI_.size(), 0.0f);
  for (int k = 0; k < bins_ / 2; ++k) {
    twI_.push_back(static_cast<float>(std::cos(2.0 * kPi * k / bins_)));
    twQ_.push_back(static_cast<float>(std::sin(2.0 * kPi * k / bins_)));
  }
  int bits = 0;
  while ((1 << bits) < bins_) ++bits;
  for (int q = 0; q < bins_; ++q) {
    int r = 0;
    for (int b = 0; b < bits; ++b) r |= ((q >> b) & 1) << (bits - 1 - b);
    bitReverse_.push_back(r);
  }

  int count2 = KaiserCount(kChannelAttenuationDb, kChannelTransitionHz, binRate) | 1;
  taps2_ =
      Padded(LowPass(count2, kChannelCutoffHz / binRate, 0.1102 * (kChannelAttenuationDb - 8.7)));
  for (const double offset : offsetsHz) {
    Channel c;
    const long nearest = std::lround(offset / spacing);
    c.bin = static_cast<int>(((nearest % bins_) + bins_) % bins_);
    const double rest = offset - static_cast<double>(nearest) * spacing;
    c.stepI = std::cos(-2.0 * kPi * rest / binRate);
    c.stepQ = std::sin(-2.0 * kPi * rest / binRate);
    c.histI.assign(taps2_.size() - 1 + WidebandFront::kBlock / static_cast<size_t>(hop_) + 2, 0.0f);
    c.histQ.assign(c.histI.size(), 0.0f);
    channels_.push_back(std::move(c));
  }
  Reset();
}

size_t ChannelBank::MaxAudio(size_t count) const {
  if (single_) return single_->MaxAudio(count);
  return count / static_cast<size_t>(hop_ * decim_) + 2;
}

void ChannelBank::Reset() {
  if (single_) {
    single_->Reset();
    return;
  }
  std::fill(histI_.begin(), histI_.end(), 0.0f);
  std::fill(histQ_.begin(), histQ_.end(), 0.0f);
  next_ = keep_;
  odd_ = false;
  for (Channel& c : channels_) {
    std::fill(c.histI.begin(), c.histI.end(), 0.0f);
    std::fill(c.histQ.begin(), c.histQ.end(), 0.0f);
    c.rotI = 1;
    c.rotQ = 0;
    c.fill = 0;
    c.next = taps2_.size() - 1;
    c.prevI = 1;
    c.prevQ = 0;
  }
}

void ChannelBank::Hop(const float* xi, const float* xq) {
  // The branch sums: run p of the reversed prototype against the history
  // ending at the newest sample, all M branches at once.
  const size_t m = static_cast<size_t>(bins_);
  float* __restrict si = sumI_.data();
  float* __restrict sq = sumQ_.data();
  const size_t runs = reversed_.size() / m;
  for (size_t i = 0; i < m; i += 4) {
    Float4 accI = {}, accQ = {};
    for (size_t p = 0; p < runs; ++p) {
      const Float4 t = Load4(reversed_.data() + p * m + i);
      const size_t at = p * m + (m - 1) - i;
      accI += t * Load4(xi - at);
      accQ += t * Load4(xq - at);
    }
    std::memcpy(si + i, &accI, sizeof accI);
    std::memcpy(sq + i, &accQ, sizeof accQ);
  }
  // Branch q is sum[M - 1 - q]; then the transform with a positive exponent
  // takes bin k to 0 Hz.
  float* fi = fftI_.data();
  float* fq = fftQ_.data();
  for (size_t q = 0; q < m; ++q) {
    const size_t to = static_cast<size_t>(bitReverse_[q]);
    fi[to] = si[m - 1 - q];
    fq[to] = sq[m - 1 - q];
  }
  // The first two stages turn by 1 and j only.
  for (size_t a = 0; a < m; a += 4) {
    const float r0 = fi[a] + fi[a + 1], j0 = fq[a] + fq[a + 1];
    const float r1 = fi[a] - fi[a + 1], j1 = fq[a] - fq[a + 1];
    const float r2 = fi[a + 2] + fi[a + 3], j2 = fq[a + 2] + fq[a + 3];
    const float r3 = fi[a + 2] - fi[a + 3], j3 = fq[a + 2] - fq[a + 3];
    fi[a] = r0 + r2;
    fq[a] = j0 + j2;
    fi[a + 2] = r0 - r2;
    fq[a + 2] = j0 - j2;
    // (r3 + j j3) times j is -j3 + j r3.
    fi[a + 1] = r1 - j3;
    fq[a + 1] = j1 + r3;
    fi[a + 3] = r1 + j3;
    fq[a + 3] = j1 - r3;
  }
  for (size_t len = 8; len <= m; len *= 2) {
    const size_t half = len / 2;
    const size_t stride = m / len;
    for (size_t start = 0; start < m; start += len) {
      for (size_t j = 0; j < half; ++j) {
        const float wi = twI_[j * stride], wq = twQ_[j * stride];
        const size_t a = start + j, b = a + half;
        const float bi = fi[b] * wi - fq[b] * wq;
        const float bq = fi[b] * wq + fq[b] * wi;
        fi[b] = fi[a] - bi;
        fq[b] = fq[a] - bq;
        fi[a] += bi;
        fq[a] += bq;
      }
    }
  }
  // Each channel: its bin, the bin's turn of (-1)^k per hop undone, and the
  // fine shift the rest of the way.
  const size_t keep2 = taps2_.size() - 1;
  for (Channel& c : channels_) {
    float zi = fi[c.bin], zq = fq[c.bin];
    if (odd_ && (c.bin & 1) != 0) {
      zi = -zi;
      zq = -zq;
    }
    const auto ri = static_cast<float>(c.rotI), rq = static_cast<float>(c.rotQ);
    c.histI[keep2 + c.fill] = zi * ri - zq * rq;
    c.histQ[keep2 + c.fill] = zi * rq + zq * ri;
    ++c.fill;
    const double ni = c.rotI * c.stepI - c.rotQ * c.stepQ;
    c.rotQ = c.rotI * c.stepQ + c.rotQ * c.stepI;
    c.rotI = ni;
  }
  odd_ = !odd_;
}

void ChannelBank::Process(const IqBlock& block, float* const* audio, size_t* written) {
  if (single_) {
    written[0] = single_->Process(block, audio[0]);
    return;
  }
  const size_t count = std::min(block.count, WidebandFront::kBlock);
  std::memcpy(histI_.data() + keep_, block.i, count * sizeof(float));
  std::memcpy(histQ_.data() + keep_, block.q, count * sizeof(float));
  const size_t end = keep_ + count;
  while (next_ < end) {
    Hop(histI_.data() + next_, histQ_.data() + next_);
    next_ += static_cast<size_t>(hop_);
  }
  std::memmove(histI_.data(), histI_.data() + count, keep_ * sizeof(float));
  std::memmove(histQ_.data(), histQ_.data() + count, keep_ * sizeof(float));
  next_ -= count;

  const size_t keep2 = taps2_.size() - 1;
  const double scale = audioRate_ / (2.0 * kPi) / kAudioFullScaleHz;
  const size_t step = static_cast<size_t>(decim_);
  for (size_t k = 0; k < channels_.size(); ++k) {
    Channel& c = channels_[k];
    // The fine shift's phasor keeps its length.
    const double length = std::sqrt(c.rotI * c.rotI + c.rotQ * c.rotQ);
    c.rotI /= length;
    c.rotQ /= length;
    size_t n = 0;
    const size_t end2 = keep2 + c.fill;
    while (c.next < end2) {
      const size_t from = c.next - keep2;
      float zi, zq;
      Dot(taps2_.data(), taps2_.size(), c.histI.data() + from, c.histQ.data() + from, zi, zq);
      const float re = zi * c.prevI + zq * c.prevQ;
      const float im = zq * c.prevI - zi * c.prevQ;
      audio[k][n++] = static_cast<float>(FastAtan2(im, re) * scale);
      c.prevI = zi;
      c.prevQ = zq;
      c.next += step;
    }
    std::memmove(c.histI.data(), c.histI.data() + c.fill, keep2 * sizeof(float));
    std::memmove(c.histQ.data(), c.histQ.data() + c.fill, keep2 * sizeof(float));
    c.next -= c.fill;
    c.fill = 0;
    written[k] = n;
  }
}

double ChannelBank::ResponseDb(double hz) const {
  if (single_) return single_->ResponseDb(hz);
  std::vector<float> prototype(reversed_.size());
  const size_t m = static_cast<size_t>(bins_);
  for (size_t p = 0; p < reversed_.size() / m; ++p) {
    for (size_t i = 0; i < m; ++i) prototype[p * m + i] = reversed_[p * m + m - 1 - i];
  }
  const double binRate = 2.0 * sampleRate_ / bins_;
  const double h = ResponseOf(prototype, hz / sampleRate_) * ResponseOf(taps2_, hz / binRate);
  const double h0 = ResponseOf(prototype, 0) * ResponseOf(taps2_, 0);
  return 20.0 * std::log10(std::max(h / h0, 1e-12));
}

}  // namespace skelmar
