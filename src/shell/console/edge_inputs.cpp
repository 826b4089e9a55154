// The edge sources the command-line inputs name.
#include "shell/console/edge_inputs.h"

#include "frontend/replay_source.h"
#include "platform/audio_source.h"
#include "platform/iq_input.h"

namespace skelmar {

std::unique_ptr<EdgeSource> MakeEdgeSource(const ConsoleOptions& o, bool fourLevel,
                                           const std::atomic<bool>* stop) {
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
    case InputKind::kIq: {
      IqTuning tuning;
      tuning.channelHz = o.channel;
      tuning.centerHz = o.center;
      tuning.ppm = o.ppm;
      auto input = std::make_unique<IqReceiverInput>(
          std::make_unique<IqFileStream>(o.inputPath, o.iqFormat, o.iqRate), tuning);
      auto source = std::make_unique<AudioSource>(std::move(input), false, fourLevel);
      if (stop != nullptr) source->SetStopFlag(stop);
      return source;
    }
    default:
      return nullptr;
  }
}

}  // namespace skelmar
