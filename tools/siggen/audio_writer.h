// Turns slicer edges back into the FM-discriminator audio a receiver would
// deliver: deviation levels, receiver low-pass, noise, DC offset and a
// sample clock of its own; written as 16-bit PCM or a WAV file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frontend/edge_ring.h"

namespace siggen {

using skelmar::PulseSample;

enum class ReceiverFilter {
  kNone,
  kSinglePole,    ///< RC low-pass, -3 dB at the cut-off
  kGaussian,      ///< Gaussian impulse response, -3 dB at the cut-off
  kBessel4,       ///< 4-pole Bessel (flat delay), -3 dB at the cut-off
  kButterworth2,  ///< 2-pole Butterworth, -3 dB at the cut-off
  kButterworth4,  ///< 4-pole Butterworth (ringing steps), -3 dB at the cut-off
  kRaisedCosine,  ///< linear-phase FIR, raised-cosine roll-off 0.5, -6 dB at the cut-off
};

/// A stretch of open-squelch noise (no carrier) replacing the signal.
struct NoiseBurst {
  double startTicks = 0;
  double endTicks = 0;
};

struct AudioOptions {
  int sampleRate = 22050;
  /// How the edges' status bytes read as levels 0..3 (the front end's table).
  bool fourLevelInterface = false;
  bool invertData = false;
  /// Audio of the outer deviation (levels 0 and 3), as a fraction of full scale;
  /// levels 1 and 2 sit at `innerLevel` of it.
  double amplitude = 0.5;
  double innerLevel = 1.0 / 3.0;
  /// Constant offset as a fraction of the outer deviation (a mistuned receiver).
  double dcOffset = 0.0;
  /// Slow sinusoidal wander of the offset (a drifting oscillator): peak, as a
  /// fraction of the outer deviation, and period.
  double dcDrift = 0.0;
  double dcDriftSeconds = 20.0;
  /// De-emphasis time constant of the audio output, 0 for a discriminator tap
  /// (75 for the usual 75 us single-pole de-emphasis).
  double deEmphasisMicroseconds = 0.0;
  /// Open-squelch noise in these stretches instead of the signal: Gaussian,
  /// with this rms (as a fraction of the outer deviation) after the receiver filter.
  std::vector<NoiseBurst> squelchNoise;
  double squelchNoiseRms = 0.7;
  /// Negate the audio (a receiver whose discriminator has the other sense).
  bool negate = false;
  /// White noise at this Eb/N0 in dB; noise is off when `noise` is false.
  bool noise = false;
  double ebN0Db = 20.0;
  double symbolRate = 1200.0;  ///< for Eb: symbols per second of the signal
  int bitsPerSymbol = 1;       ///< for Eb: 1 for two levels, 2 for four
  ReceiverFilter filter = ReceiverFilter::kSinglePole;
  double cutoffHz = 4000.0;
  /// Sound-card clock error: positive = the card samples faster than nominal.
  double clockOffsetPpm = 0.0;
  uint32_t rngStart = 1;
};

/// The level 0..3 a status byte stands for, as the front end decodes it.
int LevelOfStatus(uint8_t status, bool fourLevelInterface, bool invertData);

/// Renders the edge stream (ticks of 1,192,179 per second) as audio. Each
/// sample is the average of the ideal signal over its sample interval, so edge
/// timing survives sampling; the receiver filter and noise follow.
std::vector<int16_t> EdgesToAudio(const std::vector<PulseSample>& edges,
                                  const AudioOptions& options);

/// Writes 16-bit mono PCM as a RIFF/WAVE file; false on an I/O failure.
bool WriteWav(const std::string& path, const std::vector<int16_t>& samples, int sampleRate);
/// Writes raw 16-bit little-endian PCM; false on an I/O failure.
bool WriteRawPcm(const std::string& path, const std::vector<int16_t>& samples);

}  // namespace siggen
