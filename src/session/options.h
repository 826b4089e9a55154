// Command-line options of the console monitor.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace skelmar {

enum class ColorMode { kAuto, kAlways, kNever };

enum class InputKind {
  kNone,
  kReplay,
  kPcm,
  kAudioFile,
  kAudioDevice,
  kSerial,
  kIq,      ///< a wideband IQ capture or pipe through the built-in FM receiver
  kRtlTcp,  ///< an rtl_tcp server
  kSdr,     ///< a SoapySDR device
};

/// Inputs whose samples arrive in real time (the tick runs on the wall clock).
bool IsLiveInput(InputKind kind, bool realtime);

/// One channel of a wideband input: its nominal frequency and, when given,
/// the name its lines and records carry.
struct ChannelEntry {
  double hz = 0;
  std::string label;
};

/// Channels closer than this are refused: the channel filter passes 25 kHz.
inline constexpr double kChannelSpacingHz = 25000.0;

struct ConsoleOptions {
  bool help = false;
  bool version = false;
  bool console = false;  ///< --console (the only front this build has)
  InputKind input = InputKind::kNone;
  std::string inputPath;  ///< recording, PCM file ("-" = standard input), audio file, ALSA device
                          ///< or serial device
  int rate = 22050;       ///< PCM sample rate
  // The built-in FM receiver (--iq, --rtl-tcp, --sdr).
  double iqRate = 0;                   ///< --rate for IQ inputs, samples/s (0 = from the file)
  std::string iqFormat;                ///< --iq-format ("" = from the name or the header)
  std::optional<double> center;        ///< --center HZ
  std::optional<double> channel;       ///< the first --channel HZ (default: the centre)
  std::vector<ChannelEntry> channels;  ///< every --channel FREQ[=LABEL], in order
  double ppm = 0;                      ///< --ppm: the tuner's error
  std::optional<double> gain;          ///< --gain DB (none: automatic)
  bool realtime = false;               ///< pace a recording at its own speed
  std::string configPath;
  ColorMode color = ColorMode::kAuto;
  bool json = false;
  bool stats = false;
  std::string recordPath;
  std::string startTime;   ///< ISO 8601 start of stream time for files and pipes ("" = now)
  int fourLevel = -1;      ///< -1 keep the setting, 0/1 override 4LevelInterface
  int invert = -1;         ///< -1 keep the setting, 0/1 override InvertData
  bool quiet = false;      ///< no progress line
  std::string charset;     ///< --charset: national character set ("" = the setting)
  std::string pocsagType;  ///< --pocsag-type: auto, function, alpha, numeric ("" = the setting)

  // Feeds to other tools.
  bool labelSet = false;
  std::string label;                  ///< --label: "source" of every record
  int dedupe = -1;                    ///< --dedupe SECONDS; -1 keeps the settings file's
  std::string mqtt;                   ///< --mqtt URL
  std::vector<std::string> pagermon;  ///< --pagermon URL, once per server
};

/// Parses argv. Returns false with a one-line message in `error` on bad options.
bool ParseConsoleOptions(int argc, const char* const* argv, ConsoleOptions& options,
                         std::string& error);

/// "FREQ" or "FREQ=LABEL" (k and M suffixes). False when malformed.
bool ParseChannelEntry(const std::string& text, ChannelEntry& entry);

/// Refuses two channels closer than kChannelSpacingHz, or more channels than
/// one bank splits, with the message in `error`.
bool CheckChannelPlan(const std::vector<ChannelEntry>& channels, std::string& error);

/// The name a channel's lines carry: its label, else its frequency in MHz.
std::string ChannelName(const ChannelEntry& entry);

/// The full --help text; `desktopBuild` for the program that opens a window
/// unless told --console.
const char* ConsoleHelpText(bool desktopBuild = false);

/// Parses "YYYY-MM-DDTHH:MM:SS" with an optional "Z" or "+HH:MM"/"-HH:MM" into
/// seconds since the epoch. Returns false when malformed.
bool ParseIsoTime(const std::string& text, long long& epochSeconds);

}  // namespace skelmar
