// The window program's monitor and edge source, driven by the window's timer.
#include "shell/desktop/desktop_program.h"

#include <cstdio>
#include <ctime>
#include <string>

#include "platform/audio_source.h"
#include "shell/console/edge_inputs.h"
#include "shell/program_strings.h"
#include "shell/settings_file.h"

namespace skelmar::desktop {
namespace {

long long StartSeconds(const ConsoleOptions& o) {
  long long start = 0;
  if (o.startTime.empty() || !ParseIsoTime(o.startTime, start)) {
    start = static_cast<long long>(std::time(nullptr));
  }
  return start;
}

/// Recordings run on their own stream time, as in the console; live inputs
/// on the machine's clock.
bool UsesStreamClock(const ConsoleOptions& o) {
  return o.input == InputKind::kReplay || o.input == InputKind::kPcm ||
         o.input == InputKind::kAudioFile || o.input == InputKind::kIq;
}

/// The command line's overrides of the settings (never saved).
void ApplyOverrides(const ConsoleOptions& o, Settings& s) {
  if (o.fourLevel >= 0) s.fourLevelInterface = o.fourLevel;
  if (o.invert >= 0) s.invertData = o.invert;
  if (o.input == InputKind::kSerial) {
    std::snprintf(s.serialDevice, sizeof s.serialDevice, "%s", o.inputPath.c_str());
  }
  if (!o.charset.empty()) std::snprintf(s.charset, sizeof s.charset, "%s", o.charset.c_str());
  if (!o.pocsagType.empty()) {
    std::snprintf(s.pocsagType, sizeof s.pocsagType, "%s", o.pocsagType.c_str());
  }
}

/// Puts back the file's value of a text setting that still holds the command line's.
template <size_t N>
void KeepFileText(char (&saved)[N], const char (&overridden)[N], const char (&file)[N]) {
  if (std::string(saved) == overridden) std::snprintf(saved, N, "%s", file);
}

}  // namespace

DesktopProgram::DesktopProgram(const ConsoleOptions& options, ConfigChoice config,
                               MessageSink& messages, Beeper& beeper)
    : options_(options),
      config_(std::move(config)),
      messages_(messages),
      streamClock_(StartSeconds(options)),
      monitor(settings,
              MonitorServices{UsesStreamClock(options) ? static_cast<Clock&>(streamClock_)
                                                       : static_cast<Clock&>(systemClock_),
                              messages, launcher_, beeper}) {
  // A file that cannot be read, or an entry that cannot be understood, is
  // said once; the window runs on what could be read (the file itself is not
  // replaced at exit when it could not be read).
  std::string problem;
  if (!LoadSettings(kApplicationName, config_.file, settings, monitor.filters, &problem)) {
    problem += "; the defaults are used";
  }
  if (!problem.empty()) messages_.ShowMessage(problem.c_str());
  fileValues_ = settings;
  ApplyOverrides(options_, settings);
  monitor.statistics.SetMessageSink(&messages_);
  std::string charsetError;
  if (!monitor.charset.Select(settings.charset, charsetError)) {
    // The window still shows every page, with the codes as received.
    messages_.ShowMessage(charsetError.c_str());
    monitor.charset.Select("US", charsetError);
  }
}

DesktopProgram::~DesktopProgram() { Shutdown(); }

bool DesktopProgram::WantsLink() const {
  return options_.input != InputKind::kNone || settings.comPort != 0;
}

int DesktopProgram::OpenLink() {
  if (linkOpen()) return 1;
  streamEnded_ = false;
  if (options_.input == InputKind::kNone || options_.input == InputKind::kSerial) {
    if (!link_) {
      SystemMonotonicClock* mono = &monotonic_;
      MessageSink* sink = &messages_;
      link_ = std::make_unique<SlicerLink>(
          settings, messages_,
          [mono, sink](const std::string& device) -> std::unique_ptr<EdgeSource> {
            return std::make_unique<SerialSlicer>(
                device, SerialSlicer::SystemServices(*mono, [sink](const std::string& text) {
                  sink->ShowMessage(text.c_str());
                }));
          },
          &monitor.front.readIndex());
    }
    if (!link_->Open()) return 0;
    source_ = link_->source();
    return 1;
  }
  owned_ = MakeEdgeSource(options_, settings.fourLevelInterface != 0);
  if (!owned_ || owned_->Open(&monitor.front.readIndex()) <= 0) {
    messages_.ShowMessage(owned_ ? owned_->lastError() : "No input to open");
    owned_.reset();
    return 0;
  }
  source_ = owned_.get();
  played_ = std::chrono::steady_clock::now();
  return 1;
}

void DesktopProgram::CloseLink() {
  if (link_) link_->Close();
  if (owned_) {
    owned_->Close();
    owned_.reset();
  }
  source_ = nullptr;
}

bool DesktopProgram::Tick() {
  if (source_ == nullptr) {
    monitor.TimerTick(nullptr);
    return true;
  }
  if (!source_->IsLive()) {
    // Stream time moves on by the tick, also after the recording has ended,
    // so the flush and minute ticks keep running.
    if (!streamEnded_) streamEnded_ = !source_->Advance(kTicksPerTimerTick);
    streamClock_.Advance(kTicksPerTimerTick);
    monitor.TimerTick(source_->ring());
    if (streamEnded_ && source_->lastError()[0] != 0) {
      messages_.ShowMessage(source_->lastError());
      CloseLink();
      return false;
    }
    return true;
  }
  if (options_.input == InputKind::kReplay) {
    // A recording played in real time keeps its own stream time.
    const auto now = std::chrono::steady_clock::now();
    streamClock_.Advance(static_cast<uint64_t>(
        std::chrono::duration<double>(now - played_).count() * kTicksPerSecond));
    played_ = now;
  }
  monitor.TimerTick(source_->ring());
  source_->Advance(0);
  const char* failure = nullptr;
  if (auto* audio = dynamic_cast<AudioSource*>(source_);
      audio != nullptr && audio->captureEnded()) {
    if (audio->lastError()[0] != 0) failure = audio->lastError();
    if (failure == nullptr)
      return true;  // the end of an audio file played live: nothing more comes
  }
  if (auto* serial = dynamic_cast<SerialSlicer*>(source_);
      serial != nullptr && !serial->capturing()) {
    failure = serial->lastError();
  }
  if (failure == nullptr) return true;
  messages_.ShowMessage(failure);
  CloseLink();
  return false;
}

bool DesktopProgram::Save(std::string* error) {
  // Values given on the command line stay out of the file unless changed since.
  Settings toSave = settings;
  Settings overridden = fileValues_;
  ApplyOverrides(options_, overridden);
  if (toSave.fourLevelInterface == overridden.fourLevelInterface) {
    toSave.fourLevelInterface = fileValues_.fourLevelInterface;
  }
  if (toSave.invertData == overridden.invertData) toSave.invertData = fileValues_.invertData;
  KeepFileText(toSave.serialDevice, overridden.serialDevice, fileValues_.serialDevice);
  KeepFileText(toSave.charset, overridden.charset, fileValues_.charset);
  KeepFileText(toSave.pocsagType, overridden.pocsagType, fileValues_.pocsagType);
  if (!PrepareConfigDirectory(config_, error)) return false;
  return SaveSettings(kApplicationName, config_.file, toSave, monitor.filters, error) == 1;
}

void DesktopProgram::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  monitor.Stop();
  CloseLink();
}

}  // namespace skelmar::desktop
