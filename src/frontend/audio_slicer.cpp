// FM-discriminator audio to slicer edges.
#include "frontend/audio_slicer.h"

#include <algorithm>
#include <cmath>

#include "frontend/edge_ring.h"

namespace skelmar {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Inputs beyond this (full scale 1.0) are clipped so garbage cannot blow up the filter.
constexpr double kClip = 4.0;
// Below this envelope spread (about 6 LSB of 16-bit audio) there is no signal to slice.
constexpr double kMinSpread = 2e-4;
// Hysteresis as a fraction of the spread between the tracked outer levels.
constexpr double kHysteresis2 = 0.08;
constexpr double kHysteresis4 = 0.04;
// Envelope time constants: the attack follows the signal's peaks within a few
// symbols; the relaxation lets the levels follow fades, retuning and the end
// of a burst of noise. Once the signal has stayed on one side of the mid-point
// for a while (unmodulated carrier, long runs, silence) the relaxation slows
// right down, so the far level is still remembered when the bits resume.
constexpr double kAttackSeconds = 0.001;
constexpr double kDecaySeconds = 0.25;
constexpr double kIdleDecaySeconds = 4.0;
constexpr double kIdleAfterSeconds = 0.05;
// Low-pass cut-off that keeps 3200-symbol/s eyes open, and its limit relative
// to the sample rate.
constexpr double kDefaultCutoff = 2600.0;
constexpr double kMaxCutoffFraction = 0.3;
// A state is written in pieces once it is this long, so long silences reach
// the front end without waiting for the next edge; the margin leaves room for
// an edge decided late by the hysteresis.
constexpr uint64_t kLongState = 2 * 65535;

// Fourth-order Bessel low-pass as two quadratic factors s^2 + a1 s + a0 of
// the prototype with unit delay, and its -3 dB frequency in rad/s.
constexpr double kBessel[2][2] = {{5.7924217899, 9.1401308902}, {4.2075782101, 11.4878004769}};
constexpr double kBesselCorner = 2.1139176680;

}  // namespace

AudioSlicer::AudioSlicer(const AudioSlicerOptions& options)
    : sampleRate_(std::clamp(options.sampleRate, kMinAudioRate, kMaxAudioRate)),
      fourLevel_(options.fourLevel) {
  const double fs = sampleRate_;
  double fc = options.cutoffHz > 0 ? options.cutoffHz : kDefaultCutoff;
  cutoffHz_ = std::min(fc, kMaxCutoffFraction * fs);
  ticksPerSample_ = kTicksPerSecond / fs;
  attack_ = 1.0 - std::exp(-1.0 / (fs * kAttackSeconds));
  decay_ = 1.0 - std::exp(-1.0 / (fs * kDecaySeconds));
  idleDecay_ = 1.0 - std::exp(-1.0 / (fs * kIdleDecaySeconds));
  idleAfter_ = static_cast<uint64_t>(fs * kIdleAfterSeconds);

  // Bilinear transform with the corner pre-warped to the cut-off.
  const double warped = 2.0 * fs * std::tan(kPi * cutoffHz_ / fs);
  const double scale = warped / kBesselCorner;
  const double k = 2.0 * fs;
  for (int i = 0; i < 2; ++i) {
    const double a1 = kBessel[i][0] * scale;
    const double a0 = kBessel[i][1] * scale * scale;
    const double d0 = k * k + a1 * k + a0;
    Biquad& s = sections_[i];
    s.b0 = a0 / d0;
    s.b1 = 2.0 * s.b0;
    s.b2 = s.b0;
    s.a1 = (2.0 * a0 - 2.0 * k * k) / d0;
    s.a2 = (k * k - a1 * k + a0) / d0;
  }
  Reset();
}

void AudioSlicer::Reset() {
  for (Biquad& s : sections_) s.s1 = s.s2 = 0;
  sample_ = 0;
  hi_ = lo_ = 0;
  level_ = 0;
  primed_ = false;
  for (int i = 0; i < 3; ++i) prevDiff_[i] = upCross_[i] = downCross_[i] = 0;
  stateStart_ = 0;
  lastMidCross_ = 0;
}

void AudioSlicer::Process(const float* samples, size_t count, SliceSink& sink) {
  for (size_t i = 0; i < count; ++i) Step(static_cast<double>(samples[i]), sink);
}

void AudioSlicer::Process(const int16_t* samples, size_t count, SliceSink& sink) {
  constexpr double kScale = 1.0 / 32768.0;
  for (size_t i = 0; i < count; ++i) Step(samples[i] * kScale, sink);
}

void AudioSlicer::Step(double x, SliceSink& sink) {
  if (std::isnan(x)) x = 0;
  x = std::clamp(x, -kClip, kClip);
  const double y = sections_[1].Run(sections_[0].Run(x));

  // Outer levels: quick to follow a peak, slow to shrink toward each other.
  const uint64_t n = sample_++;
  const double decay = n - lastMidCross_ < idleAfter_ ? decay_ : idleDecay_;
  if (y > hi_) {
    hi_ += attack_ * (y - hi_);
  } else {
    hi_ -= decay * (hi_ - lo_);
  }
  if (y < lo_) {
    lo_ += attack_ * (y - lo_);
  } else {
    lo_ += decay * (hi_ - lo_);
  }
  const double spread = hi_ - lo_;

  // Thresholds halfway between adjacent levels; note where the signal crossed
  // each, to sub-sample precision, so the edge lands there and not where the
  // hysteresis finally lets the decision change.
  const int count = fourLevel_ ? 3 : 1;
  double threshold[3];
  if (fourLevel_) {
    for (int i = 0; i < 3; ++i) threshold[i] = lo_ + spread * (2 * i + 1) / 6.0;
  } else {
    threshold[0] = lo_ + 0.5 * spread;
  }
  for (int i = 0; i < count; ++i) {
    const double d = y - threshold[i];
    const double p = prevDiff_[i];
    if (primed_) {
      if (p < 0 && d >= 0) {
        upCross_[i] = static_cast<double>(n - 1) + p / (p - d);
        if (i == count / 2) lastMidCross_ = n;
      } else if (p >= 0 && d < 0) {
        downCross_[i] = static_cast<double>(n - 1) + p / (p - d);
        if (i == count / 2) lastMidCross_ = n;
      }
    }
    prevDiff_[i] = d;
  }
  primed_ = true;

  if (spread >= kMinSpread) {
    if (fourLevel_) {
      const double h = kHysteresis4 * spread;
      while (level_ < 3 && y > threshold[level_] + h) Edge(upCross_[level_], n, level_ + 1, sink);
      while (level_ > 0 && y < threshold[level_ - 1] - h)
        Edge(downCross_[level_ - 1], n, level_ - 1, sink);
    } else {
      const double h = kHysteresis2 * spread;
      if (level_ == 0 && y > threshold[0] + h) {
        Edge(upCross_[0], n, 3, sink);
      } else if (level_ == 3 && y < threshold[0] - h) {
        Edge(downCross_[0], n, 0, sink);
      }
    }
  }

  const auto now = static_cast<uint64_t>(static_cast<double>(n + 1) * ticksPerSample_);
  if (now > stateStart_ + kLongState) Emit(stateStart_ + 65535, sink);
}

void AudioSlicer::Finish(SliceSink& sink) {
  Emit(static_cast<uint64_t>(std::llround(streamTicks())), sink);
}

void AudioSlicer::Edge(double position, uint64_t sample, int newLevel, SliceSink& sink) {
  double t = position * ticksPerSample_;
  // A crossing noted before the last written edge is stale (the signal was
  // already past the threshold when tracking began): the edge is now.
  if (t <= static_cast<double>(stateStart_)) t = static_cast<double>(sample) * ticksPerSample_;
  uint64_t tick = static_cast<uint64_t>(std::llround(t));
  if (tick < stateStart_) tick = stateStart_;
  Emit(tick, sink);
  level_ = newLevel;
}

void AudioSlicer::Emit(uint64_t untilTick, SliceSink& sink) {
  const uint8_t status = kAudioLevelStatus[level_];
  while (untilTick > stateStart_) {
    const uint64_t length = std::min<uint64_t>(untilTick - stateStart_, 65535);
    sink.PutEdge(static_cast<uint16_t>(length), status);
    stateStart_ += length;
  }
}

}  // namespace skelmar
