// Command-line parsing of the console monitor.
#include "session/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "output/charset.h"
#include "sdr/channel_bank.h"
#include "sdr/channel_receiver.h"
#include "sdr/iq_format.h"
#include "settings/settings.h"

namespace skelmar {

namespace {

bool TakeValue(int argc, const char* const* argv, int& i, const char* name, std::string& value,
               std::string& error) {
  const char* arg = argv[i];
  const size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) == 0 && arg[n] == '=') {
    value = arg + n + 1;
    return true;
  }
  if (i + 1 >= argc) {
    error = std::string(name) + " needs a value";
    return false;
  }
  value = argv[++i];
  return true;
}

bool Matches(const char* arg, const char* name) {
  const size_t n = std::strlen(name);
  return std::strncmp(arg, name, n) == 0 && (arg[n] == 0 || arg[n] == '=');
}

bool SetInput(ConsoleOptions& o, InputKind kind, const std::string& path, std::string& error) {
  if (o.input != InputKind::kNone) {
    error =
        "give only one input (--replay, --pcm, --audio, --audio-device, --serial, --iq, --rtl-tcp "
        "or --sdr)";
    return false;
  }
  if (path.empty()) {
    error = "the input needs a file or device name";
    return false;
  }
  o.input = kind;
  o.inputPath = path;
  return true;
}

bool IqInput(InputKind kind) {
  return kind == InputKind::kIq || kind == InputKind::kRtlTcp || kind == InputKind::kSdr;
}

bool TakeFrequency(int argc, const char* const* argv, int& i, const char* name, double& hz,
                   std::string& error) {
  std::string v;
  if (!TakeValue(argc, argv, i, name, v, error)) return false;
  if (!ParseFrequency(v.c_str(), hz)) {
    error = std::string(name) +
            " takes a frequency in Hz with an optional k or M (e.g. 169.65M), not '" + v + "'";
    return false;
  }
  return true;
}

}  // namespace

bool IsLiveInput(InputKind kind, bool realtime) {
  return kind == InputKind::kAudioDevice || kind == InputKind::kSerial ||
         kind == InputKind::kNone || kind == InputKind::kRtlTcp || kind == InputKind::kSdr ||
         (kind == InputKind::kReplay && realtime);
}

bool ParseConsoleOptions(int argc, const char* const* argv, ConsoleOptions& o, std::string& error) {
  // --rate is checked once the input is known: audio and IQ rates differ.
  std::string rateText;
  bool rateGiven = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    std::string v;
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
      o.help = true;
    } else if (!std::strcmp(a, "--version")) {
      o.version = true;
    } else if (!std::strcmp(a, "--console")) {
      o.console = true;
    } else if (!std::strcmp(a, "--json")) {
      o.json = true;
    } else if (!std::strcmp(a, "--stats")) {
      o.stats = true;
    } else if (!std::strcmp(a, "--realtime")) {
      o.realtime = true;
    } else if (!std::strcmp(a, "--quiet") || !std::strcmp(a, "-q")) {
      o.quiet = true;
    } else if (!std::strcmp(a, "--four-level")) {
      o.fourLevel = 1;
    } else if (!std::strcmp(a, "--two-level")) {
      o.fourLevel = 0;
    } else if (!std::strcmp(a, "--invert")) {
      o.invert = 1;
    } else if (!std::strcmp(a, "--no-invert")) {
      o.invert = 0;
    } else if (Matches(a, "--replay")) {
      if (!TakeValue(argc, argv, i, "--replay", v, error) ||
          !SetInput(o, InputKind::kReplay, v, error))
        return false;
    } else if (Matches(a, "--pcm")) {
      if (!TakeValue(argc, argv, i, "--pcm", v, error) || !SetInput(o, InputKind::kPcm, v, error))
        return false;
    } else if (Matches(a, "--audio-device")) {
      if (!TakeValue(argc, argv, i, "--audio-device", v, error) ||
          !SetInput(o, InputKind::kAudioDevice, v, error))
        return false;
    } else if (Matches(a, "--audio")) {
      if (!TakeValue(argc, argv, i, "--audio", v, error) ||
          !SetInput(o, InputKind::kAudioFile, v, error))
        return false;
    } else if (Matches(a, "--serial")) {
      if (!TakeValue(argc, argv, i, "--serial", v, error) ||
          !SetInput(o, InputKind::kSerial, v, error))
        return false;
    } else if (Matches(a, "--iq-format")) {
      if (!TakeValue(argc, argv, i, "--iq-format", o.iqFormat, error)) return false;
      if (o.iqFormat != "wav" && o.iqFormat != "sigmf" &&
          IqFormatByName(o.iqFormat.c_str()) == IqFormat::kUnknown) {
        error = "--iq-format takes cu8, cs8, cs16, cf32, wav or sigmf, not '" + o.iqFormat + "'";
        return false;
      }
    } else if (Matches(a, "--iq")) {
      if (!TakeValue(argc, argv, i, "--iq", v, error) || !SetInput(o, InputKind::kIq, v, error))
        return false;
    } else if (Matches(a, "--rtl-tcp")) {
      if (!TakeValue(argc, argv, i, "--rtl-tcp", v, error) ||
          !SetInput(o, InputKind::kRtlTcp, v, error))
        return false;
    } else if (Matches(a, "--sdr")) {
      if (!TakeValue(argc, argv, i, "--sdr", v, error)) return false;
      // "--sdr ''" is any device; the input still needs a non-empty name.
      if (!SetInput(o, InputKind::kSdr, v.empty() ? std::string(" ") : v, error)) return false;
      if (v.empty()) o.inputPath.clear();
    } else if (Matches(a, "--center")) {
      double hz = 0;
      if (!TakeFrequency(argc, argv, i, "--center", hz, error)) return false;
      o.center = hz;
    } else if (Matches(a, "--channel")) {
      if (!TakeValue(argc, argv, i, "--channel", v, error)) return false;
      ChannelEntry entry;
      if (!ParseChannelEntry(v, entry)) {
        error =
            "--channel takes FREQ or FREQ=LABEL in Hz (k and M suffixes: 169.65M), not '" + v + "'";
        return false;
      }
      if (!o.channel) o.channel = entry.hz;
      o.channels.push_back(entry);
    } else if (Matches(a, "--ppm")) {
      if (!TakeValue(argc, argv, i, "--ppm", v, error)) return false;
      char* end = nullptr;
      const double ppm = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || *end != 0 || ppm < -1000 || ppm > 1000) {
        error =
            "--ppm takes the tuner's error from -1000 to 1000 parts per million, not '" + v + "'";
        return false;
      }
      o.ppm = ppm;
    } else if (Matches(a, "--gain")) {
      if (!TakeValue(argc, argv, i, "--gain", v, error)) return false;
      if (v == "auto") {
        o.gain.reset();
      } else {
        char* end = nullptr;
        const double db = std::strtod(v.c_str(), &end);
        if (end == v.c_str() || *end != 0 || db < -20 || db > 100) {
          error = "--gain takes the tuner gain in dB or auto, not '" + v + "'";
          return false;
        }
        o.gain = db;
      }
    } else if (Matches(a, "--rate")) {
      if (!TakeValue(argc, argv, i, "--rate", rateText, error)) return false;
      rateGiven = true;
    } else if (Matches(a, "--config")) {
      if (!TakeValue(argc, argv, i, "--config", o.configPath, error)) return false;
    } else if (Matches(a, "--record")) {
      if (!TakeValue(argc, argv, i, "--record", o.recordPath, error)) return false;
    } else if (Matches(a, "--start-time")) {
      if (!TakeValue(argc, argv, i, "--start-time", o.startTime, error)) return false;
      long long ignored = 0;
      if (!ParseIsoTime(o.startTime, ignored)) {
        error = "--start-time takes a time like 2026-12-08T10:59:30Z, not '" + o.startTime + "'";
        return false;
      }
    } else if (Matches(a, "--charset")) {
      if (!TakeValue(argc, argv, i, "--charset", o.charset, error)) return false;
      if (!Charset::IsValidName(o.charset.c_str())) {
        error =
            "--charset takes US, DE, DK, NO, SE, FI, FR, SI or FILE:path, not '" + o.charset + "'";
        return false;
      }
    } else if (Matches(a, "--pocsag-type")) {
      if (!TakeValue(argc, argv, i, "--pocsag-type", o.pocsagType, error)) return false;
      PocsagTypeChoice ignored;
      if (!ParsePocsagType(o.pocsagType.c_str(), ignored)) {
        error = "--pocsag-type takes auto, function, alpha or numeric, not '" + o.pocsagType + "'";
        return false;
      }
    } else if (Matches(a, "--color") || Matches(a, "--colour")) {
      // The option's own spelling, so "--colour=never" takes its value from after the '='.
      if (!TakeValue(argc, argv, i, a[6] == 'u' ? "--colour" : "--color", v, error)) return false;
      if (v == "auto") {
        o.color = ColorMode::kAuto;
      } else if (v == "always") {
        o.color = ColorMode::kAlways;
      } else if (v == "never") {
        o.color = ColorMode::kNever;
      } else {
        error = "--color takes auto, always or never, not '" + v + "'";
        return false;
      }
    } else if (Matches(a, "--label")) {
      if (!TakeValue(argc, argv, i, "--label", o.label, error)) return false;
      o.labelSet = true;
    } else if (Matches(a, "--dedupe")) {
      if (!TakeValue(argc, argv, i, "--dedupe", v, error)) return false;
      char* end = nullptr;
      const long seconds = std::strtol(v.c_str(), &end, 10);
      if (v.empty() || *end != 0 || seconds < 0 || seconds > 86400) {
        error = "--dedupe takes seconds from 0 (off) to 86400, not '" + v + "'";
        return false;
      }
      o.dedupe = static_cast<int>(seconds);
    } else if (Matches(a, "--mqtt")) {
      if (!TakeValue(argc, argv, i, "--mqtt", o.mqtt, error)) return false;
    } else if (Matches(a, "--pagermon")) {
      std::string url;
      if (!TakeValue(argc, argv, i, "--pagermon", url, error)) return false;
      o.pagermon.push_back(url);
    } else {
      error = std::string("unknown option '") + a + "' (see --help)";
      return false;
    }
  }
  if (rateGiven) {
    if (IqInput(o.input)) {
      double rate = 0;
      if (!ParseFrequency(rateText.c_str(), rate) || !ChannelReceiver::RateSupported(rate)) {
        error = "--rate takes an IQ sample rate from 200k to 20M samples/s, not '" + rateText + "'";
        return false;
      }
      o.iqRate = rate;
    } else {
      char* end = nullptr;
      const long rate = std::strtol(rateText.c_str(), &end, 10);
      if (end == rateText.c_str() || *end != 0 || rate < 8000 || rate > 192000) {
        error = "--rate takes a sample rate from 8000 to 192000 Hz, not '" + rateText + "'";
        return false;
      }
      o.rate = static_cast<int>(rate);
    }
  }
  if (!IqInput(o.input) && (!o.iqFormat.empty() || o.center || o.channel || o.ppm != 0 || o.gain)) {
    error = "--iq-format, --center, --channel, --ppm and --gain go with --iq, --rtl-tcp or --sdr";
    return false;
  }
  if (o.input == InputKind::kIq && o.inputPath == "-" && o.iqFormat.empty()) {
    o.iqFormat = "cu8";  // what rtl_sdr writes to a pipe
  }
  return CheckChannelPlan(o.channels, error);
}

bool ParseChannelEntry(const std::string& text, ChannelEntry& entry) {
  const size_t eq = text.find('=');
  const std::string freq = text.substr(0, eq);
  entry.label = eq == std::string::npos ? std::string() : text.substr(eq + 1);
  if (eq != std::string::npos && entry.label.empty()) return false;
  return ParseFrequency(freq.c_str(), entry.hz);
}

bool CheckChannelPlan(const std::vector<ChannelEntry>& channels, std::string& error) {
  if (channels.size() > kMaxBankChannels) {
    error = "at most " + std::to_string(kMaxBankChannels) + " channels can be decoded at once";
    return false;
  }
  for (size_t a = 0; a < channels.size(); ++a) {
    for (size_t b = a + 1; b < channels.size(); ++b) {
      const double apart = std::fabs(channels[a].hz - channels[b].hz);
      // A hertz of slack: frequencies given as decimals of MHz round.
      if (apart >= kChannelSpacingHz - 1.0) continue;
      char text[200];
      std::snprintf(text, sizeof text,
                    "the channels %.4f MHz and %.4f MHz are %.1f kHz apart; channels must be at "
                    "least %.0f kHz apart",
                    channels[a].hz / 1e6, channels[b].hz / 1e6, apart / 1e3,
                    kChannelSpacingHz / 1e3);
      error = text;
      return false;
    }
  }
  return true;
}

std::string ChannelName(const ChannelEntry& entry) {
  if (!entry.label.empty()) return entry.label;
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", entry.hz / 1e6);
  // 929.6125 stays, 169.6500 becomes 169.65.
  std::string name = text;
  while (name.size() > 1 && name.back() == '0' && name[name.size() - 2] != '.') name.pop_back();
  return name;
}

namespace {

/// Reads exactly `width` decimal digits at `at`.
bool Digits(const std::string& text, size_t at, size_t width, int& value) {
  if (at + width > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool ParseIsoTime(const std::string& text, long long& epochSeconds) {
  // Exactly YYYY-MM-DDTHH:MM:SS, then nothing, "Z" or +HH:MM / -HH:MM.
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!Digits(text, 0, 4, y) || text.size() < 19 || text[4] != '-' || !Digits(text, 5, 2, mo) ||
      text[7] != '-' || !Digits(text, 8, 2, d) || text[10] != 'T' || !Digits(text, 11, 2, h) ||
      text[13] != ':' || !Digits(text, 14, 2, mi) || text[16] != ':' || !Digits(text, 17, 2, s)) {
    return false;
  }
  if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h > 23 || mi > 59 ||
      s > 59) {
    return false;
  }
  long long offset = 0;
  const size_t rest = 19;
  if (text.size() == rest + 1 && text[rest] == 'Z') {
    // UTC
  } else if (text.size() == rest + 6 && (text[rest] == '+' || text[rest] == '-')) {
    int oh = 0, om = 0;
    if (!Digits(text, rest + 1, 2, oh) || text[rest + 3] != ':' || !Digits(text, rest + 4, 2, om) ||
        oh > 23 || om > 59) {
      return false;
    }
    offset = (oh * 60LL + om) * 60LL * (text[rest] == '-' ? -1 : 1);
  } else if (text.size() != rest) {
    return false;
  }
  // Days from the civil date (proleptic Gregorian), independent of the time zone.
  const int yy = y - (mo <= 2 ? 1 : 0);
  const int era = yy / 400;
  const int yoe = yy - era * 400;
  const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = era * 146097LL + doe - 719468LL;
  epochSeconds = days * 86400LL + h * 3600LL + mi * 60LL + s - offset;
  return true;
}

const char* ConsoleHelpText(bool desktopBuild) {
  if (desktopBuild) {
    // The same options; the window is the default front, the console on request.
    static const std::string text = [] {
      std::string t = ConsoleHelpText(false);
      auto swap = [&t](const char* from, const char* to) {
        const size_t at = t.find(from);
        if (at != std::string::npos) t.replace(at, std::strlen(from), to);
      };
      swap("coloured line. This build runs the console monitor (no window needed).",
           "coloured line in a window. With --console, or when there is no display, it\n"
           "prints the lines on standard output instead.");
      swap("run the console monitor (the default in this build)",
           "run the console monitor instead of the window");
      swap("Usage: skelmar [--console] INPUT [options]",
           "Usage: skelmar [--console] [INPUT] [options]");
      swap("one JSON object per page instead of the lines",
           "one JSON object per page instead of the lines (the\n"
           "                        window writes them to standard output)");
      swap("print the hourly and daily page counts at exit",
           "print the hourly and daily page counts at exit\n"
           "                        (console only: the window has Statistics)");
      return t;
    }();
    return text.c_str();
  }
  return R"(Usage: skelmar [--console] INPUT [options]

Skelmar decodes POCSAG (512/1200/2400 bit/s), FLEX (1600/3200 symbols/s, 2 and 4
levels; ReFLEX shown raw) and GSC (600 bit/s) pages and prints every page as a
coloured line. This build runs the console monitor (no window needed).

Input (give one; without one, the serial port of the settings file is used):
  --replay FILE         an edge recording (binary or text form)
  --pcm FILE|-          raw signed 16-bit mono PCM of discriminator audio;
                        "-" reads standard input, e.g.
                        rtl_fm -f 929.6M -s 22050 - | skelmar --pcm -
  --rate HZ             sample rate of --pcm and --audio-device, 8000 to
                        192000 (default 22050); of --iq, --rtl-tcp and --sdr,
                        200k to 20M (devices: default 1024k)
  --audio FILE          an audio file (WAV, FLAC, anything libsndfile reads)
  --audio-device NAME   live capture from an ALSA device (e.g. default, hw:1)
  --serial DEVICE       a slicer on a serial port's modem-status lines
                        (e.g. /dev/ttyS0, /dev/ttyUSB0)

From an SDR (the built-in FM receiver decodes channels of the IQ samples):
  --iq FILE|-           a wideband IQ capture: cu8 (rtl_sdr), cs8, cs16, cf32,
                        two-channel WAV or SigMF (.sigmf-meta); "-" reads cu8
                        from standard input, e.g. rtl_sdr -f 169.6M -s 1024k -
                        | skelmar --iq - --rate 1024k --center 169.6M
                        --channel 169.65M
  --iq-format NAME      cu8, cs8, cs16, cf32, wav or sigmf, when the file name
                        does not tell
  --rtl-tcp HOST[:PORT] an rtl_tcp server (port 1234 by default); a lost
                        connection is made again
  --sdr ARGS            a device through SoapySDR, e.g. driver=rtlsdr;
                        --sdr list shows the devices SoapySDR finds
  --center HZ           the frequency the capture is centred on, or the one
                        the device tunes to (k and M suffixes: 169.6M)
  --channel HZ[=LABEL]  a channel to decode (default: the centre; a device
                        given only the channel tunes a quarter of the rate
                        above it, clear of the tuner's DC spike); give it
                        again for more channels of the same capture, at
                        least 25 kHz apart: each line then starts with the
                        channel's label, else its frequency in MHz
  --ppm N               the tuner's frequency error, parts per million
  --gain DB|auto        tuner gain of --rtl-tcp and --sdr (default auto)

Output:
  --color=auto|always|never   colour the lines with the colour settings
                        (auto: only when standard output is a terminal)
  --json                one JSON object per page instead of the lines
  --stats               print the hourly and daily page counts at exit
  --record FILE         save the received edge stream (for bug reports)
  -q, --quiet           no progress line (shown on standard error when that
                        is a terminal and the pages go to a file or pipe)
  --charset NAME        national letters of alphanumeric text: US (default),
                        DE, DK, NO, SE, FI, FR, SI, or FILE:path for a table
                        of lines like "0x5B U+00C4"; lines, JSON and the
                        filter log are then UTF-8
  --pocsag-type TYPE    how a POCSAG page is told numeric or alphanumeric:
                        auto (by its contents, the default), function (bits
                        11 alpha, 00 numeric, else by contents), alpha, numeric

Feeds (each page also goes to other tools; see README "Feeding other tools"):
  --mqtt URL            mqtt://host[:port] or mqtts://host[:port], options
                        after '?' joined by '&': base=TOPIC (default
                        skelmar/<host name>), qos=1|0 (default 1; 0 may lose
                        pages while the broker goes away), retain=0|1 (latest
                        page per capcode), ca=FILE, cert=FILE, key=FILE (TLS),
                        clientid=ID, ha=1 (Home Assistant discovery),
                        user=NAME, passfile=FILE; the password comes from
                        SKELMAR_MQTT_PASSWORD or the passfile, never from
                        the command line
  --pagermon URL        a PagerMon server (http[s]://host[:port]), once per
                        server; the API key comes from SKELMAR_PAGERMON_KEY
                        or keyfile=FILE; tones=1 sends tone-only pages too,
                        address=capcode+function appends the POCSAG function
                        digit to the address
  --label TEXT          the "source" of every record (default: host name)
  --dedupe SECONDS      send a page repeated within SECONDS only once to the
                        feeds (default 0: off); --stats shows the repeats

Settings:
  --config PATH         settings file (default: Skelmar.INI beside the program
                        when that folder is writable, else
                        $XDG_CONFIG_HOME/skelmar/Skelmar.INI)
  --four-level, --two-level   override the 4-level interface setting
  --invert, --no-invert       override the invert-data setting

Files and pipes:
  --realtime            play a recording at its own speed instead of at once
  --start-time ISO      stream time of the first edge, e.g. 2026-12-08T10:59:30Z
                        (default: now); time stamps and statistics follow
                        the stream's own time

  --console             run the console monitor (the default in this build)
  -h, --help            this text
  --version             the program's version

Filters, the filter log, the filter command and the hourly statistics report
work as set in the settings file; so do the feeds (section [Feeds]: Label,
MQTT, PagerMon, Dedupe) and the SDR receiver (section [Receiver]), which the
options above override. Stop with Ctrl-C;
the filter log is flushed and closed, and the feeds get up to 10 s to deliver
what they hold (Ctrl-C again ends the wait); what they could not deliver is
spooled and sent first at the next start. Exit status: 0 on a clean end
(Ctrl-C included), 1 when the input, the settings file, the character set
file, the --record file or a feed cannot be used or when a feed dropped pages
or left them undelivered, 2 on bad options or when no input is given.
)";
}

}  // namespace skelmar
