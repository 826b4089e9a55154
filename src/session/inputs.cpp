// The edge sources the command-line inputs name.
#include "session/inputs.h"

#include <algorithm>

#include "frontend/replay_source.h"
#include "platform/audio_source.h"
#include "platform/iq_channels.h"
#include "platform/iq_input.h"
#include "platform/rtl_tcp.h"
#include "platform/soapy_sdr.h"

namespace skelmar {

double SdrCenterHz(const ConsoleOptions& o) {
  if (o.center) return *o.center;
  if (o.channels.size() > 1) {
    // Between the outermost channels, so that the band fits the rate.
    double low = o.channels.front().hz, high = low;
    for (const ChannelEntry& c : o.channels) {
      low = std::min(low, c.hz);
      high = std::max(high, c.hz);
    }
    return (low + high) / 2;
  }
  if (o.channel) return *o.channel + (o.iqRate > 0 ? o.iqRate : kDefaultSdrRate) / 4;
  return 0;
}

namespace {

// An rtl_tcp server and a SoapySDR device are tuned alike.
template <typename Tuning>
Tuning TuningOf(const ConsoleOptions& o) {
  Tuning tuning;
  tuning.centerHz = SdrCenterHz(o);
  tuning.sampleRate = o.iqRate > 0 ? o.iqRate : kDefaultSdrRate;
  tuning.gainDb = o.gain;
  tuning.ppm = o.ppm;
  return tuning;
}

std::unique_ptr<IqStream> MakeStream(const ConsoleOptions& o,
                                     std::function<void(const char*)> notice) {
  switch (o.input) {
    case InputKind::kIq:
      return std::make_unique<IqFileStream>(o.inputPath, o.iqFormat, o.iqRate);
    case InputKind::kRtlTcp:
      return std::make_unique<RtlTcpStream>(o.inputPath, TuningOf<RtlTcpTuning>(o),
                                            std::move(notice));
    case InputKind::kSdr:
      return std::make_unique<SoapySdrStream>(o.inputPath, TuningOf<SdrTuning>(o),
                                              std::move(notice));
    default:
      return nullptr;
  }
}

}  // namespace

std::vector<std::unique_ptr<EdgeSource>> MakeChannelSources(
    const ConsoleOptions& o, bool fourLevel, const std::atomic<bool>* stop,
    std::function<void(const char*)> notice) {
  std::vector<std::unique_ptr<EdgeSource>> sources;
  if (o.channels.size() < 2) return sources;
  auto stream = MakeStream(o, std::move(notice));
  if (!stream) return sources;
  std::vector<double> hz;
  for (const ChannelEntry& c : o.channels) hz.push_back(c.hz);
  const bool live = o.input != InputKind::kIq;
  const std::optional<double> center = live ? std::optional<double>(SdrCenterHz(o)) : o.center;
  auto splitter = std::make_shared<IqChannelSplitter>(std::move(stream), hz, center, o.ppm);
  for (size_t k = 0; k < hz.size(); ++k) {
    auto source = std::make_unique<AudioSource>(MakeIqChannelInput(splitter, k), live, fourLevel);
    if (stop != nullptr) source->SetStopFlag(stop);
    sources.push_back(std::move(source));
  }
  return sources;
}

std::unique_ptr<EdgeSource> MakeEdgeSource(const ConsoleOptions& o, bool fourLevel,
                                           const std::atomic<bool>* stop,
                                           std::function<void(const char*)> notice) {
  auto receiver = [&](std::unique_ptr<IqStream> stream, bool live, std::optional<double> center) {
    IqTuning tuning;
    tuning.channelHz = o.channel;
    tuning.centerHz = center;
    tuning.ppm = o.ppm;
    auto input = std::make_unique<IqReceiverInput>(std::move(stream), tuning);
    auto source = std::make_unique<AudioSource>(std::move(input), live, fourLevel);
    if (stop != nullptr) source->SetStopFlag(stop);
    return source;
  };
  auto audio = [&](AudioSourceKind kind) {
    auto source = std::make_unique<AudioSource>(kind, o.inputPath.c_str(), o.rate, fourLevel);
    if (stop != nullptr) source->SetStopFlag(stop);
    return source;
  };
  switch (o.input) {
    case InputKind::kReplay:
      return std::make_unique<ReplaySource>(
          o.inputPath, o.realtime ? ReplayPacing::kRealTime : ReplayPacing::kDrain);
    case InputKind::kPcm:
      return audio(AudioSourceKind::kRawPcm);
    case InputKind::kAudioFile:
      return audio(AudioSourceKind::kSoundFile);
    case InputKind::kAudioDevice:
      return audio(AudioSourceKind::kAlsa);
    case InputKind::kIq:
      return receiver(MakeStream(o, std::move(notice)), false, o.center);
    case InputKind::kRtlTcp:
    case InputKind::kSdr:
      return receiver(MakeStream(o, std::move(notice)), true, SdrCenterHz(o));
    default:
      return nullptr;
  }
}

}  // namespace skelmar
