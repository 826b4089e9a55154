// One run of the monitor: settings, input, decoding, records and feeds.
#include "session/session.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "feeds/feed_spool.h"
#include "frontend/replay_source.h"
#include "platform/audio_source.h"
#include "platform/host_name.h"
#include "session/feed_start.h"
#include "session/inputs.h"
#include "session/program_strings.h"
#include "session/settings_file.h"

namespace skelmar {
namespace {

/// How long the feeds may take to deliver what they hold at the end.
constexpr int kFeedDrainMs = 10000;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

long long StartSeconds(const ConsoleOptions& o) {
  long long start = 0;
  if (o.startTime.empty() || !ParseIsoTime(o.startTime, start)) {
    start = static_cast<long long>(std::time(nullptr));
  }
  return start;
}

/// Puts back the file's value of a text setting that still holds the command line's.
template <size_t N>
void KeepFileText(char (&saved)[N], const char (&overridden)[N], const char (&file)[N]) {
  if (std::string(saved) == overridden) std::snprintf(saved, N, "%s", file);
}

}  // namespace

bool EdgeTap::Open(const std::string& path, std::string* error) {
  if (path.empty()) return true;
  active_ = writer_.Open(path, EdgeRecordingFormat::kBinary, error);
  return active_;
}

void EdgeTap::Copy(const EdgeRing& ring) {
  if (!active_) return;
  const uint32_t write = ring.writeIndex().load(std::memory_order_acquire);
  while (index_ != write) {
    writer_.Write(PulseSample{ring.durations()[index_], ring.statuses()[index_]});
    if (++index_ == ring.size()) index_ = 0;
  }
}

bool UsesStreamClock(const ConsoleOptions& o) {
  // A recording played in real time keeps its own stream time too, so
  // --start-time holds for it as for a file decoded at once.
  return !IsLiveInput(o.input, o.realtime) || o.input == InputKind::kReplay;
}

Session::Session(const ConsoleOptions& options, ConfigChoice config, Front front,
                 MessageSink& messages, Beeper& beeper, const std::atomic<bool>* stop)
    : options_(options),
      config_(std::move(config)),
      front_(front),
      messages_(messages),
      linkMessages_(messages),
      feedMessages_(messages),
      stop_(stop),
      streamClock_(StartSeconds(options)),
      clock_(UsesStreamClock(options) ? static_cast<Clock*>(&streamClock_)
                                      : static_cast<Clock*>(&systemClock_)),
      monitor(settings, MonitorServices{*clock_, messages, launcher_, beeper}),
      feeds_(0, feedMessages_),
      pipeline_(*clock_, monitor.filters, monitor.charset, feeds_),
      joiner_(pipeline_) {}

Session::~Session() { Shutdown(); }

int Session::ApplyOverrides(Settings& s) const {
  const ConsoleOptions& o = options_;
  if (o.fourLevel >= 0) s.fourLevelInterface = o.fourLevel;
  if (o.invert >= 0) s.invertData = o.invert;
  if (o.input == InputKind::kSerial) {
    std::snprintf(s.serialDevice, sizeof s.serialDevice, "%s", o.inputPath.c_str());
  }
  if (!o.charset.empty()) std::snprintf(s.charset, sizeof s.charset, "%s", o.charset.c_str());
  if (!o.pocsagType.empty()) {
    std::snprintf(s.pocsagType, sizeof s.pocsagType, "%s", o.pocsagType.c_str());
  }
  return kExitOk;
}

int Session::Configure() {
  const bool named = !options_.configPath.empty();
  if (named) {
    // The error_code form: a path whose status cannot be read (a link loop,
    // a folder we may not enter, an over-long name) is reported, not thrown.
    std::error_code ec;
    const auto type = std::filesystem::status(config_.file, ec).type();
    if (type == std::filesystem::file_type::not_found) {
      const std::string text = "settings file '" + config_.file.string() + "' does not exist";
      messages_.ShowMessage(text.c_str());
      return kExitFailure;
    }
    if (ec) {
      const std::string text =
          "settings file '" + config_.file.string() + "' cannot be read: " + ec.message();
      messages_.ShowMessage(text.c_str());
      return kExitFailure;
    }
  }
  // The file's problems are said once; the file itself is not replaced at
  // exit when it could not be read.
  ApplyOverrides(settings);
  std::string problem;
  const int loaded =
      LoadSettings(kApplicationName, config_.file, settings, monitor.filters, &problem);
  if (stop_ != nullptr && stop_->load()) return kExitOk;  // stopped while a FIFO held the read
  // A file the user named and we cannot read is not quietly replaced by defaults.
  if (loaded == 0 && named) {
    messages_.ShowMessage(problem.c_str());
    return kExitFailure;
  }
  if (loaded == 0) problem += "; the defaults are used";
  if (!problem.empty()) messages_.ShowMessage(problem.c_str());
  fileValues_ = settings;
  ApplyOverrides(settings);

  std::string charsetError;
  if (!monitor.charset.Select(settings.charset, charsetError)) {
    messages_.ShowMessage(charsetError.c_str());
    if (front_ == Front::kConsole) return kExitFailure;
    // The window still shows every page, with the codes as received.
    monitor.charset.Select("US", charsetError);
  }
  PocsagTypeChoice choice;
  if (!ParsePocsagType(settings.pocsagType, choice) && front_ == Front::kConsole) {
    const std::string text = std::string("PocsagType '") + settings.pocsagType +
                             "' in the settings file is not auto, function, alpha or numeric";
    messages_.ShowMessage(text.c_str());
    return kExitFailure;
  }
  if (front_ == Front::kConsole && !WantsLink()) {
    messages_.ShowMessage(
        "no input: give --replay FILE, --pcm FILE|-, --audio FILE, --audio-device NAME, "
        "--serial DEVICE, --iq FILE|-, --rtl-tcp HOST or --sdr ARGS (see --help)");
    return kExitUsage;
  }
  if (const int status = StartFeeds(); status != kExitOk) return status;

  launcher_.SetMaxRunning(settings.filterCmdMax);
  monitor.statistics.SetMessageSink(&messages_);
  monitor.pages.SetObserver(&joiner_);
  const bool wideband = options_.input == InputKind::kIq || options_.input == InputKind::kRtlTcp ||
                        options_.input == InputKind::kSdr;
  if (wideband && options_.channels.size() > 1) {
    if (!options_.recordPath.empty()) {
      messages_.ShowMessage("--record saves the edges of one channel: give one --channel");
      return kExitUsage;
    }
    for (const ChannelEntry& c : options_.channels) {
      chains_.push_back(std::make_unique<ChannelChain>(monitor, *clock_, ChannelName(c),
                                                       std::llround(c.hz), c.label));
      chains_.back()->pages.SetObserver(&joiner_);
      chains_.back()->pane.SetRowObserver(&merger_);
      ChannelChain& chain = *chains_.back();
      channelStats_.push_back({chain.name(), chain.label(), chain.frequencyHz(), &chain.stats});
    }
    // The monitor's report holds every channel's table and clears their
    // counts with the total's.
    monitor.statistics.SetChannels(channelStats_);
    // The monitor's pane shows the channels' lines; they met the filters in
    // their own panes already.
    monitor.monitorPane.SetFinishedLineHook(nullptr);
  } else if (wideband && options_.input != InputKind::kIq) {
    // The one channel: the one given, else the centre the device tunes to.
    // (A capture's is known once it is open: its header may hold the centre.)
    const double hz = options_.channel.value_or(SdrCenterHz(options_));
    monitor.pages.SetChannel(std::llround(hz), ChannelLabel());
  }
  monitor.Start();
  for (auto& chain : chains_) chain->Start();
  started_ = true;
  return kExitOk;
}

int Session::StartFeeds() {
  // The [Feeds] section, then the options over it.
  FeedSettings& f = feedSettings_;
  ReadFeedSettings(config_.file, f);
  if (options_.labelSet) f.label = options_.label;
  if (f.label.empty()) f.label = HostName();
  if (options_.dedupe >= 0) f.dedupeSeconds = options_.dedupe;
  if (!options_.mqtt.empty()) f.mqtt = options_.mqtt;
  if (!options_.pagermon.empty()) f.pagermon = options_.pagermon;
  feeds_.SetDedupe(f.dedupeSeconds);
  pipeline_.SetSource(f.label.c_str());

  std::string error;
  const FeedSecrets secrets{std::getenv("SKELMAR_MQTT_PASSWORD"),
                            std::getenv("SKELMAR_PAGERMON_KEY")};
  if (!skelmar::StartFeeds(f, secrets, &monitor.charset, feeds_, error)) {
    messages_.ShowMessage(error.c_str());
    feeds_.Stop(0);
    return kExitFailure;
  }
  // Pages a previous run could not deliver go first.
  const std::filesystem::path state =
      StateFolder(config_.origin == ConfigChoice::Origin::kProgramDirectory, config_.file,
                  std::getenv("XDG_STATE_HOME"), std::getenv("HOME"));
  if (feeds_.active() && !state.empty()) {
    spool_ = std::make_unique<FeedSpool>(state / kSpoolFileName);
    feeds_.RestoreSpool(*spool_);
  }
  return kExitOk;
}

void Session::SetOutputs(std::FILE* json, RowObserver* rows) {
  pipeline_.SetJsonOutput(json);
  monitor.monitorPane.SetRowObserver(rows);
}

bool Session::WantsLink() const {
  return options_.input != InputKind::kNone || settings.comPort != 0;
}

int Session::OpenChannels() {
  channelSources_ = MakeChannelSources(options_, settings.fourLevelInterface != 0, stop_);
  for (size_t k = 0; k < channelSources_.size(); ++k) {
    if (channelSources_[k]->Open(&chains_[k]->front.readIndex()) > 0) continue;
    if (!(stop_ != nullptr && stop_->load())) {
      messages_.ShowMessage(channelSources_[k]->lastError());
      linkFailed_ = true;
    }
    for (size_t j = 0; j < k; ++j) channelSources_[j]->Close();
    channelSources_.clear();
    return 0;
  }
  source_ = channelSources_.front().get();
  played_ = std::chrono::steady_clock::now();
  linkFailed_ = false;
  return 1;
}

int Session::OpenLink() {
  if (linkOpen()) return 1;
  streamEnded_ = false;
  liveEnded_ = false;
  endSeen_ = false;
  retrying_ = false;
  if (!chains_.empty()) return OpenChannels();
  if (options_.input == InputKind::kNone || options_.input == InputKind::kSerial) {
    if (!link_) {
      SystemMonotonicClock* mono = &monotonic_;
      MessageSink* sink = &messages_;
      link_ = std::make_unique<SlicerLink>(
          settings, linkMessages_,
          [mono, sink](const std::string& device) -> std::unique_ptr<EdgeSource> {
            return std::make_unique<SerialSlicer>(
                device, SerialSlicer::SystemServices(*mono, [sink](const std::string& text) {
                  sink->ShowMessage(text.c_str());
                }));
          },
          &monitor.front.readIndex());
    }
    if (!link_->Open()) {
      linkFailed_ = true;
      return 0;
    }
    source_ = link_->source();
  } else {
    // A lost rtl_tcp link or SDR device is made again by the input itself;
    // the notices that say so go to standard error, and the state is kept
    // for the window's status. A notice of a link that is back ends in
    // "decoding goes on".
    std::atomic<bool>* retrying = &retrying_;
    owned_ = MakeEdgeSource(options_, settings.fourLevelInterface != 0, stop_,
                            [retrying](const char* text) {
                              std::fprintf(stderr, "skelmar: %s\n", text);
                              const std::string_view said(text);
                              retrying->store(said.find("goes on") == std::string_view::npos);
                            });
    if (!owned_ || owned_->Open(&monitor.front.readIndex()) <= 0) {
      // Stopped while waiting for a FIFO's writer: no failure to tell.
      if (!(stop_ != nullptr && stop_->load())) {
        messages_.ShowMessage(owned_ ? owned_->lastError() : "No input to open");
        linkFailed_ = true;
      }
      owned_.reset();
      return 0;
    }
    source_ = owned_.get();
    // A capture's channel, where its centre is known: without one the
    // channel given is only an offset and the records carry no frequency.
    if (options_.input == InputKind::kIq) {
      const auto* audio = dynamic_cast<const AudioSource*>(source_);
      if (const auto hz = audio != nullptr ? audio->tunedHz() : std::nullopt) {
        monitor.pages.SetChannel(std::llround(*hz), ChannelLabel());
      }
    }
  }
  played_ = std::chrono::steady_clock::now();
  std::string error;
  if (!tap_.Open(options_.recordPath, &error)) {
    messages_.ShowMessage(error.c_str());
    CloseLink();
    linkFailed_ = true;
    return 0;
  }
  tap_.Start(*source_->ring());
  linkFailed_ = false;
  return 1;
}

void Session::CloseLink() {
  if (link_) link_->Close();
  for (auto& channel : channelSources_) channel->Close();
  channelSources_.clear();
  if (owned_) {
    owned_->Close();
    owned_.reset();
  }
  source_ = nullptr;
}

void Session::Report(const std::string& text) {
  // The window is closing: no box can be answered any more.
  if (front_ == Front::kDesktop) {
    std::fprintf(stderr, "skelmar: %s\n", text.c_str());
  } else {
    messages_.ShowMessage(text.c_str());
  }
}

void Session::ReportDeviceOverruns(uint64_t count, bool final, bool channels) {
  if (final) {
    if (const std::string text = DeviceOverrunReport::Final(count, channels); !text.empty()) {
      Report(text);
    }
    return;
  }
  if (const std::string text = overrunReport_.Update(count, SteadyMs(), channels); !text.empty()) {
    std::fprintf(stderr, "skelmar: %s\n", text.c_str());
  }
}

const char* Session::ChannelLabel() const {
  return options_.channels.empty() ? "" : options_.channels[0].label.c_str();
}

uint64_t Session::ChannelDrops() const {
  uint64_t drops = 0;
  for (const auto& channel : channelSources_) {
    if (const auto* audio = dynamic_cast<const AudioSource*>(channel.get())) {
      drops += audio->deviceOverruns();
    }
  }
  return drops;
}

void Session::ReportInputFailure(const char* cause) {
  messages_.ShowMessage(cause);
  status_ = kExitFailure;
}

void Session::ShowCommandMessages() {
  std::string text;
  while (launcher_.TakeMessage(text)) messages_.ShowMessage(text.c_str());
}

void Session::SumChannelStats() {
  if (chains_.empty()) return;
  monitor.stats = StatCounters{};
  for (const auto& chain : chains_) AddStats(monitor.stats, chain->stats);
}

void Session::PollChannels() {
  if (channelSources_.empty()) return;
  constexpr uint64_t kStep = kTicksPerSecondWhole / 1000;
  // A channel whose input stalls holds the others back by a second at most.
  constexpr uint64_t kMostBehind = kTicksPerSecondWhole;
  uint64_t slowest = UINT64_MAX, fastest = 0;
  for (const auto& chain : chains_) {
    slowest = std::min(slowest, chain->front.ticksRead());
    fastest = std::max(fastest, chain->front.ticksRead());
  }
  horizon_ =
      std::max({horizon_, slowest + kStep, fastest > kMostBehind ? fastest - kMostBehind : 0});
  for (;; horizon_ += kStep) {
    bool waiting = false;
    for (size_t k = 0; k < chains_.size(); ++k) {
      if (const EdgeRing* ring = channelSources_[k]->ring(); ring != nullptr) {
        waiting = chains_[k]->front.PollEdgesUntil(*ring, horizon_) || waiting;
      }
    }
    if (!waiting) return;
  }
}

bool Session::TickChannels() {
  const bool live = source_->IsLive();
  if (!live) {
    if (!streamEnded_) {
      bool more = false;
      for (auto& channel : channelSources_) more = channel->Advance(kTicksPerTimerTick) || more;
      streamEnded_ = !more;
      streamTicks_ += kTicksPerTimerTick;
    }
    streamClock_.Advance(kTicksPerTimerTick);
  }
  SumChannelStats();
  feeds_.Tick(SteadyMs(), clock_->NowLocal(), clock_->UtcOffsetMinutes(), monitor.stats,
              channelStats_);
  monitor.TimerTick(nullptr);
  for (auto& chain : chains_) chain->TimerTick();
  PollChannels();
  if (!live) {
    joiner_.Tick(
        static_cast<int64_t>(static_cast<double>(streamTicks_) * 1000.0 / kTicksPerSecond));
    if (!streamEnded_) return true;
  } else {
    joiner_.Tick(SteadyMs());
    ReportDeviceOverruns(ChannelDrops(), false, true);
    auto* audio = dynamic_cast<AudioSource*>(source_);
    if (audio == nullptr || !audio->captureEnded()) return true;
  }
  // The stream ended (one stream feeds every channel: the first tells).
  if (source_->lastError()[0] != 0 && !(stop_ != nullptr && stop_->load())) {
    ReportInputFailure(source_->lastError());
    if (front_ == Front::kDesktop) CloseLink();
    return false;
  }
  if (front_ == Front::kConsole) return false;
  if (!endSeen_) {
    endSeen_ = true;
    for (auto& chain : chains_) chain->front.EndOfSignal();
  }
  return true;
}

bool Session::Tick() {
  ShowCommandMessages();
  if (source_ != nullptr && !chains_.empty()) return TickChannels();
  if (source_ == nullptr) {
    // No input (the window before its port opens, or a serial device that
    // went away): the clocks and the filter log's flush go on.
    monitor.TimerTick(nullptr);
    return true;
  }
  if (!source_->IsLive()) {
    // Stream time moves on by the tick, also after the recording has ended,
    // so the window's flush and minute ticks keep running.
    if (!streamEnded_) {
      streamEnded_ = !source_->Advance(kTicksPerTimerTick);
      streamTicks_ += kTicksPerTimerTick;
    }
    streamClock_.Advance(kTicksPerTimerTick);
    tap_.Copy(*source_->ring());
    feeds_.Tick(SteadyMs(), clock_->NowLocal(), clock_->UtcOffsetMinutes(), monitor.stats);
    monitor.TimerTick(source_->ring());
    joiner_.Tick(
        static_cast<int64_t>(static_cast<double>(streamTicks_) * 1000.0 / kTicksPerSecond));
    if (!streamEnded_) return true;
    // An input cut short by a stop request is no failure.
    if (source_->lastError()[0] != 0 && !(stop_ != nullptr && stop_->load())) {
      ReportInputFailure(source_->lastError());
      if (front_ == Front::kDesktop) CloseLink();
      return false;
    }
    if (front_ == Front::kConsole) return false;
    // The window keeps its clocks running after the end; the page still
    // open at the end is written once, as the console writes it.
    if (!endSeen_) {
      endSeen_ = true;
      monitor.EndOfSignal(source_->ring());
    }
    return true;
  }
  if (options_.input == InputKind::kReplay) {
    // A recording played in real time keeps its own stream time: the time played.
    const auto now = std::chrono::steady_clock::now();
    streamClock_.Advance(static_cast<uint64_t>(
        std::chrono::duration<double>(now - played_).count() * kTicksPerSecond));
    played_ = now;
  }
  tap_.Copy(*source_->ring());
  feeds_.Tick(SteadyMs(), clock_->NowLocal(), clock_->UtcOffsetMinutes(), monitor.stats);
  monitor.TimerTick(source_->ring());
  joiner_.Tick(SteadyMs());
  // A recording played in real time has ended: the console is done, the
  // window goes on showing it.
  if (!source_->Advance(0)) {
    liveEnded_ = true;
    return front_ == Front::kDesktop;
  }
  if (auto* audio = dynamic_cast<AudioSource*>(source_); audio != nullptr) {
    ReportDeviceOverruns(audio->deviceOverruns(), false);
  }
  if (auto* audio = dynamic_cast<AudioSource*>(source_);
      audio != nullptr && audio->captureEnded()) {
    // The end of an audio file played live: nothing more comes.
    if (audio->lastError()[0] == 0) {
      liveEnded_ = true;
      return front_ == Front::kDesktop;
    }
    ReportInputFailure(audio->lastError());
    if (front_ == Front::kDesktop) CloseLink();
    return false;
  }
  if (auto* serial = dynamic_cast<SerialSlicer*>(source_);
      serial != nullptr && !serial->capturing()) {
    if (front_ == Front::kDesktop) {
      // The window says so and reopens the port when the user moves it; the
      // exit status says whether it came back.
      messages_.ShowMessage(serial->lastError());
      CloseLink();
      linkFailed_ = true;
      return false;
    }
    status_ = kExitFailure;
    // Said once; the program keeps running and reopens the device when it
    // returns (a USB adapter plugged in again). Until then the exit status
    // says it was lost.
    const std::string text = std::string(serial->lastError()) + "; trying to reopen it every 5 s";
    messages_.ShowMessage(text.c_str());
    lostOverruns_ += serial->overruns();
    link_->Close();
    source_ = nullptr;
    deviceLost_ = true;
    retry_ = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  }
  return true;
}

InputState Session::inputState() const {
  if (source_ == nullptr) {
    if (deviceLost_) return InputState::kRetrying;
    return linkFailed_ || status_ != kExitOk ? InputState::kLinkDown : InputState::kNone;
  }
  if (streamEnded_ || liveEnded_) return InputState::kEnded;
  return retrying_.load() ? InputState::kRetrying : InputState::kRunning;
}

bool Session::RetryLostDevice() {
  if (!deviceLost_ || source_ != nullptr) return false;
  const auto now = std::chrono::steady_clock::now();
  if (now < retry_) return false;
  linkMessages_.muted = true;
  const int reopened = link_->Open();
  linkMessages_.muted = false;
  if (!reopened) {
    retry_ = now + std::chrono::seconds(5);
    return false;
  }
  source_ = link_->source();
  tap_.Start(*source_->ring());
  deviceLost_ = false;
  status_ = kExitOk;
  const std::string text = link_->devicePath() + " is back; decoding goes on";
  messages_.ShowMessage(text.c_str());
  return true;
}

int Session::Finish() {
  if (finished_) return status_;
  finished_ = true;
  // The source writes the state in progress, the edges still in the ring are
  // decoded, and the decoders see the signal end, so a page still open is
  // written and counted.
  if (!chains_.empty()) {
    for (auto& channel : channelSources_) channel->Stop();
    PollChannels();
    for (auto& chain : chains_) chain->front.EndOfSignal();
    SumChannelStats();
    monitor.EndOfSignal(nullptr);
  } else if (source_ != nullptr) {
    source_->Stop();
    tap_.Copy(*source_->ring());
    monitor.EndOfSignal(source_->ring());
  } else {
    monitor.EndOfSignal(nullptr);
  }
  if (!chains_.empty()) {
    ReportDeviceOverruns(ChannelDrops(), true, true);
  } else if (auto* audio = dynamic_cast<AudioSource*>(source_); audio != nullptr) {
    ReportDeviceOverruns(audio->deviceOverruns(), true);
  }
  uint64_t overruns = lostOverruns_ + (source_ != nullptr ? source_->overruns() : 0);
  for (size_t k = 1; k < channelSources_.size(); ++k) overruns += channelSources_[k]->overruns();
  if (overruns > 0) {
    Report(std::to_string(overruns) + " edges were lost because decoding fell behind");
  }
  EdgeSource* source = source_;
  if (link_) {
    link_->Close();
    source = nullptr;  // the link owned it
  } else if (!channelSources_.empty()) {
    for (auto& channel : channelSources_) channel->Close();
    source = nullptr;
  } else if (source != nullptr) {
    source->Close();
  }
  source_ = nullptr;
  // Read after Close: a real-time replay's thread has ended by then.
  if (auto* replay = dynamic_cast<ReplaySource*>(source);
      replay != nullptr && !replay->warning().empty()) {
    Report(replay->warning());
  }
  owned_.reset();
  std::string error;
  if (!tap_.Close(&error)) {
    Report(error);
    status_ = kExitFailure;
  }
  joiner_.Flush();
  if (started_) monitor.Stop();
  if (front_ == Front::kConsole) ShowCommandMessages();
  if (pipeline_.jsonOutput() != nullptr) std::fflush(pipeline_.jsonOutput());
  // The grace period (a further stop ends it), the spool of what is left,
  // and the counts; undelivered pages make the run a failure.
  const std::function<bool()> cut = cutShort_ ? cutShort_ : [] { return false; };
  if (front_ == Front::kDesktop) feedMessages_.closed = true;
  if (!feeds_.Finish(kFeedDrainMs, cut, spool_.get())) status_ = kExitFailure;
  if (monitor.writeFailed()) status_ = kExitFailure;
  // An input that could not be opened, or a port lost and not back, as the console ends.
  if (linkFailed_) status_ = kExitFailure;
  return status_;
}

bool Session::Save(std::string* error) {
  // Values given on the command line stay out of the file unless changed since.
  Settings toSave = settings;
  Settings overridden = fileValues_;
  ApplyOverrides(overridden);
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

void Session::Shutdown() { Finish(); }

}  // namespace skelmar
