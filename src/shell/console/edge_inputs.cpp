// The edge sources the command-line inputs name.
#include "shell/console/edge_inputs.h"

#include "frontend/replay_source.h"
#include "platform/audio_source.h"

namespace skelmar {

std::unique_ptr<EdgeSource> MakeEdgeSource(const ConsoleOptions& o, bool fourLevel) {
  switch (o.input) {
    case InputKind::kReplay:
      return std::make_unique<ReplaySource>(
          o.inputPath, o.realtime ? ReplayPacing::kRealTime : ReplayPacing::kDrain);
    case InputKind::kPcm:
      return std::make_unique<AudioSource>(AudioSourceKind::kRawPcm, o.inputPath.c_str(), o.rate,
                                           fourLevel);
    case InputKind::kAudioFile:
      return std::make_unique<AudioSource>(AudioSourceKind::kSoundFile, o.inputPath.c_str(), o.rate,
                                           fourLevel);
    case InputKind::kAudioDevice:
      return std::make_unique<AudioSource>(AudioSourceKind::kAlsa, o.inputPath.c_str(), o.rate,
                                           fourLevel);
    default:
      return nullptr;
  }
}

}  // namespace skelmar
