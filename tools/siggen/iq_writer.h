// FM transmitters seen through an SDR tuner: modulating audio (any
// protocol's baseband, or a recording) frequency-modulated onto carriers in
// a wideband capture, with the tuner's faults (reference error, DC offset, IQ
// imbalance) and noise, written in the formats SDR tools write.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace siggen {

enum class IqFileFormat {
  kCu8,       ///< unsigned 8-bit, 127.5 is zero
  kCs8,       ///< signed 8-bit
  kCs16,      ///< signed 16-bit little-endian
  kCf32,      ///< 32-bit float little-endian
  kWav16,     ///< two-channel 16-bit WAV
  kWavFloat,  ///< two-channel 32-bit float WAV
  kSigmfCu8,  ///< SigMF pair (PATH.sigmf-meta, PATH.sigmf-data), datatype cu8
  kSigmfCi16,
  kSigmfCf32,
};

struct IqCarrier {
  std::vector<float> audio;  ///< modulating signal
  int audioRate = 48000;
  double audioUnit = 0.5;       ///< the audio value that means `deviationHz`
  double deviationHz = 4500.0;  ///< frequency swing for audio of +audioUnit
  double offsetHz = 0;          ///< true frequency minus the tuner's nominal centre
  double powerDb = 0;           ///< carrier power relative to the first carrier
  double startSeconds = 0;      ///< when the modulation starts (the carrier is on throughout)
};

struct IqOptions {
  double sampleRate = 1024000;  ///< nominal samples per second
  double centerHz = 0;          ///< the frequency the tuner is set to
  double ppm = 0;               ///< the tuner's reference runs fast by this much (LO and clock)
  double amplitude = 0.05;      ///< first carrier's amplitude, of full scale
  double cnrDb = 200;           ///< first carrier to noise in 12.5 kHz; 200 and above: no noise
  double dcI = 0, dcQ = 0;      ///< tuner DC offset, of full scale
  double imbalanceDb = 0;       ///< Q gain relative to I
  double imbalanceDegrees = 0;  ///< Q phase error
  double seconds = 0;           ///< capture length; 0: the longest carrier's audio plus 0.2 s
  uint32_t rngStart = 1;
};

/// Writes the capture; false with `error` set on an I/O failure.
bool WriteIq(const std::string& path, IqFileFormat format, const std::vector<IqCarrier>& carriers,
             const IqOptions& options, std::string* error = nullptr);

/// "cu8", "cs8", "cs16", "cf32", "wav16", "wavf32", "sigmf-cu8", "sigmf-ci16", "sigmf-cf32".
bool IqFileFormatByName(const std::string& name, IqFileFormat& format);

/// Discriminator audio at `rate` (what WriteWav writes) scaled to +-1.
std::vector<float> ToFloat(const std::vector<int16_t>& audio);

}  // namespace siggen
