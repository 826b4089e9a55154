// Reading the [Receiver] section.
#include "session/receiver_settings.h"

#include <cstdlib>

#include "sdr/channel_receiver.h"
#include "sdr/iq_format.h"
#include "settings/profile_file.h"

namespace skelmar {

namespace {

constexpr const char* kSection = "Receiver";

bool Frequency(const std::string& text, const char* key, double& hz, std::string& error) {
  if (!ParseFrequency(text.c_str(), hz)) {
    error = std::string("[Receiver] ") + key + " '" + text +
            "' is not a frequency in Hz (k and M suffixes: 169.65M)";
    return false;
  }
  return true;
}

}  // namespace

void ReadReceiverSettings(const std::filesystem::path& file, ReceiverSettings& s) {
  ProfileFile profile;
  if (!profile.Load(file)) return;
  auto take = [&profile](const char* key, std::string& value) {
    if (auto v = profile.Find(kSection, key)) value = std::string(*v);
  };
  take("Input", s.input);
  take("AudioDevice", s.audioDevice);
  take("IQ", s.iq);
  take("RtlTcp", s.rtlTcp);
  if (auto v = profile.Find(kSection, "SDR")) s.sdr = std::string(*v);
  take("IqFormat", s.iqFormat);
  take("Rate", s.rate);
  take("Center", s.center);
  take("Channel", s.channel);
  take("PPM", s.ppm);
  take("Gain", s.gain);
  // Numbered from 1 with no gaps, as many as a capture could hold.
  for (int n = 1; n <= 256; ++n) {
    const std::string key = "Channel" + std::to_string(n);
    const auto v = profile.Find("Channels", key.c_str());
    if (!v) break;
    s.channels.emplace_back(*v);
  }
}

bool ApplyReceiverSettings(const ReceiverSettings& s, ConsoleOptions& o, std::string& error) {
  if (o.input == InputKind::kNone && !s.input.empty()) {
    // The window's choice; the serial slicer is the [Skelmar] section's port.
    if (ProfileNameEquals(s.input, "audio")) {
      o.input = InputKind::kAudioDevice;
      o.inputPath = s.audioDevice.empty() ? "default" : s.audioDevice;
    } else if (ProfileNameEquals(s.input, "rtl_tcp") && !s.rtlTcp.empty()) {
      o.input = InputKind::kRtlTcp;
      o.inputPath = s.rtlTcp;
    } else if (ProfileNameEquals(s.input, "sdr") && s.sdr) {
      o.input = InputKind::kSdr;
      o.inputPath = *s.sdr;
    } else if (ProfileNameEquals(s.input, "iq") && !s.iq.empty()) {
      o.input = InputKind::kIq;
      o.inputPath = s.iq;
    } else if (!ProfileNameEquals(s.input, "serial")) {
      error = "[Receiver] Input '" + s.input + "' is not serial, audio, rtl_tcp, sdr or iq";
      return false;
    }
  } else if (o.input == InputKind::kNone) {
    if (!s.iq.empty()) {
      o.input = InputKind::kIq;
      o.inputPath = s.iq;
    } else if (!s.rtlTcp.empty()) {
      o.input = InputKind::kRtlTcp;
      o.inputPath = s.rtlTcp;
    } else if (s.sdr) {
      o.input = InputKind::kSdr;
      o.inputPath = *s.sdr;
    }
  }
  if (o.input != InputKind::kIq && o.input != InputKind::kRtlTcp && o.input != InputKind::kSdr) {
    return true;
  }
  if (o.iqFormat.empty() && o.input == InputKind::kIq) {
    o.iqFormat = s.iqFormat;
    if (!o.iqFormat.empty() && o.iqFormat != "wav" && o.iqFormat != "sigmf" &&
        IqFormatByName(o.iqFormat.c_str()) == IqFormat::kUnknown) {
      error = "[Receiver] IqFormat '" + o.iqFormat + "' is not cu8, cs8, cs16, cf32, wav or sigmf";
      return false;
    }
  }
  double hz = 0;
  if (o.iqRate == 0 && !s.rate.empty()) {
    if (!Frequency(s.rate, "Rate", hz, error)) return false;
    if (!ChannelReceiver::RateSupported(hz)) {
      error = "[Receiver] Rate '" + s.rate + "' is not from 200k to 20M samples/s";
      return false;
    }
    o.iqRate = hz;
  }
  if (!o.center && !s.center.empty()) {
    if (!Frequency(s.center, "Center", hz, error)) return false;
    o.center = hz;
  }
  if (!o.channel && !s.channel.empty()) {
    if (!Frequency(s.channel, "Channel", hz, error)) return false;
    o.channel = hz;
  }
  if (o.channels.empty() && !s.channels.empty()) {
    for (size_t n = 0; n < s.channels.size(); ++n) {
      ChannelEntry entry;
      if (!ParseChannelEntry(s.channels[n], entry)) {
        error = "[Channels] Channel" + std::to_string(n + 1) + " '" + s.channels[n] +
                "' is not FREQ or FREQ=LABEL in Hz (k and M suffixes: 169.65M)";
        return false;
      }
      o.channels.push_back(entry);
    }
    if (!CheckChannelPlan(o.channels, error)) {
      error = "[Channels]: " + error;
      return false;
    }
    // The first channel is the one a single-channel setting names.
    o.channel = o.channels.front().hz;
  }
  if (o.ppm == 0 && !s.ppm.empty()) {
    char* end = nullptr;
    const double ppm = std::strtod(s.ppm.c_str(), &end);
    if (*end != 0 || ppm < -1000 || ppm > 1000) {
      error = "[Receiver] PPM '" + s.ppm + "' is not from -1000 to 1000";
      return false;
    }
    o.ppm = ppm;
  }
  if (!o.gain && !s.gain.empty() && s.gain != "auto") {
    char* end = nullptr;
    const double db = std::strtod(s.gain.c_str(), &end);
    if (*end != 0 || db < -20 || db > 100) {
      error = "[Receiver] Gain '" + s.gain + "' is not a gain in dB or auto";
      return false;
    }
    o.gain = db;
  }
  if (o.input == InputKind::kIq && o.inputPath == "-" && o.iqFormat.empty()) o.iqFormat = "cu8";
  return true;
}

bool SaveReceiverChoice(const std::filesystem::path& file, const ReceiverSettings& s,
                        std::string& error) {
  ProfileFile profile;
  // A file that exists but cannot be read is not replaced: its other content would be lost.
  if (!profile.Load(file, &error)) return false;
  profile.SetString(kSection, "Input", s.input);
  // An emptied value leaves the file, so the next start does not bring it back.
  auto put = [&profile](const char* key, const std::string& value) {
    if (!value.empty()) {
      profile.SetString(kSection, key, value);
    } else {
      profile.DeleteKeys(kSection, [key](std::string_view k) { return ProfileNameEquals(k, key); });
    }
  };
  put("AudioDevice", s.audioDevice);
  put("RtlTcp", s.rtlTcp);
  if (s.sdr) profile.SetString(kSection, "SDR", *s.sdr);
  put("Rate", s.rate);
  put("Center", s.center);
  put("Channel", s.channel);
  put("Gain", s.gain);
  return profile.Save(file, &error);
}

bool ApplyReceiverSection(const std::filesystem::path& file, ConsoleOptions& options,
                          std::string& error) {
  ReceiverSettings receiver;
  ReadReceiverSettings(file, receiver);
  return ApplyReceiverSettings(receiver, options, error);
}

}  // namespace skelmar
