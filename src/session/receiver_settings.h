// The [Receiver] section of the settings file: an SDR input and its tuning,
// so the monitor can run from an SDR without a command line. Options given
// on the command line win over it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "session/options.h"

namespace skelmar {

/// Keys: IQ (a capture file), RtlTcp (HOST[:PORT]), SDR (SoapySDR device
/// arguments), IqFormat, Rate, Center, Channel, PPM, Gain (dB or auto); and
/// the window's choice: Input (serial, audio, rtl_tcp, sdr or iq: which of
/// them runs; absent, the first of IQ, RtlTcp, SDR given) and AudioDevice
/// (the ALSA capture device of the audio choice).
struct ReceiverSettings {
  std::string input;
  std::string audioDevice;
  std::string iq;
  std::string rtlTcp;
  std::optional<std::string> sdr;
  std::string iqFormat;
  std::string rate, center, channel, ppm, gain;
  /// The [Channels] section: Channel1, Channel2, ... each FREQ or FREQ=LABEL.
  std::vector<std::string> channels;
};

/// Reads the [Receiver] section over `settings` (absent keys keep their value).
void ReadReceiverSettings(const std::filesystem::path& file, ReceiverSettings& settings);

/// Fills what the command line left open: the input when none is given, and
/// for an SDR input its rate, centre, channel, ppm and gain, and the
/// [Channels] when no --channel was given. False with
/// `error` set when a value of the section is malformed.
bool ApplyReceiverSettings(const ReceiverSettings& settings, ConsoleOptions& options,
                           std::string& error);

/// Writes the window's choice into the section of `file`: Input, AudioDevice,
/// RtlTcp, SDR, Rate, Center, Channel and Gain (an empty one is removed); the
/// file's other lines stay as they are.
bool SaveReceiverChoice(const std::filesystem::path& file, const ReceiverSettings& settings,
                        std::string& error);

/// Both: reads the section of `file` and fills in `options`.
bool ApplyReceiverSection(const std::filesystem::path& file, ConsoleOptions& options,
                          std::string& error);

}  // namespace skelmar
