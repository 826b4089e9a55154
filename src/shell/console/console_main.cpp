// The console monitor: settings, an edge source, the monitor and its 100 ms
// tick, with pages printed as lines or JSON. Needs no display.
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "feeds/mqtt_feed.h"
#include "feeds/page_joiner.h"
#include "feeds/pagermon_feed.h"
#include "frontend/edge_recording.h"
#include "frontend/edge_source.h"
#include "frontend/replay_source.h"
#include "platform/audio_source.h"
#include "platform/posix_command_launcher.h"
#include "platform/program_path.h"
#include "platform/serial_slicer.h"
#include "platform/slicer_link.h"
#include "platform/terminal_beeper.h"
#include "shell/config_location.h"
#include "shell/console/console_options.h"
#include "shell/console/console_output.h"
#include "shell/console/console_run.h"
#include "shell/console/edge_inputs.h"
#include "shell/monitor.h"
#include "shell/settings_file.h"

namespace skelmar {
namespace {

constexpr const char* kAppName = "Skelmar";
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

/// Messages of the monitor go to standard error, one line each.
class ConsoleMessages : public MessageSink {
 public:
  void ShowMessage(const char* text) override { std::fprintf(stderr, "skelmar: %s\n", text); }
  int AskQuestion(const char* text) override {
    std::fprintf(stderr, "skelmar: %s (yes)\n", text);
    return 1;
  }
};

/// SIGINT, SIGTERM and SIGHUP are blocked in every thread and taken by a
/// watcher thread, so no handler touches program state. When one comes while
/// the main thread waits for input (a FIFO with no writer, a silent pipe) the
/// watcher interrupts that wait with a wake signal whose handler does nothing
/// and is installed without SA_RESTART, so the read returns and the loop ends.
class StopSignals {
 public:
  StopSignals() : main_(pthread_self()) {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    sigaddset(&set_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
    struct sigaction wake {};
    wake.sa_handler = [](int) {};
    sigemptyset(&wake.sa_mask);
    wake.sa_flags = 0;
    sigaction(WakeSignal(), &wake, nullptr);
    watcher_ = std::thread([this] { Watch(); });
  }
  ~StopSignals() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    changed_.notify_all();
    pthread_kill(watcher_.native_handle(), SIGHUP);  // ends its sigwait
    watcher_.join();
  }
  /// Waits up to `ms` milliseconds (0: just looks); true when a stop signal
  /// came. Once the main thread has seen the stop it is no longer woken.
  bool Wait(long ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return requested_.load(); });
    if (requested_) seen_ = true;
    return requested_;
  }
  bool requested() { return Wait(0); }
  /// Set from the watcher thread; inputs that retry interrupted reads look at it.
  const std::atomic<bool>& flag() const { return requested_; }

 private:
  static int WakeSignal() { return SIGRTMIN + 3; }

  void Watch() {
    int signal = 0;
    sigwait(&set_, &signal);
    std::unique_lock<std::mutex> lock(mutex_);
    if (closing_) return;
    requested_ = true;
    changed_.notify_all();
    // Repeated until the program ends: a wake that lands just before the main
    // thread starts its read would be lost.
    while (!closing_ && !seen_) {
      pthread_kill(main_, WakeSignal());
      changed_.wait_for(lock, std::chrono::milliseconds(50), [this] { return closing_ || seen_; });
    }
  }

  sigset_t set_;
  pthread_t main_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> requested_{false};
  bool seen_ = false;
  bool closing_ = false;
  std::thread watcher_;
};

/// Copies every new ring entry to the --record file before the tick reads it.
class EdgeTap {
 public:
  bool Open(const std::string& path, std::string* error) {
    if (path.empty()) return true;
    active_ = writer_.Open(path, EdgeRecordingFormat::kBinary, error);
    return active_;
  }
  void Copy(const EdgeRing& ring) {
    if (!active_) return;
    const uint32_t write = ring.writeIndex().load(std::memory_order_acquire);
    while (index_ != write) {
      writer_.Write(PulseSample{ring.durations()[index_], ring.statuses()[index_]});
      if (++index_ == ring.size()) index_ = 0;
    }
  }
  void Start(const EdgeRing& ring) { index_ = ring.writeIndex().load(std::memory_order_acquire); }
  bool Close(std::string* error) { return !active_ || writer_.Close(error); }

 private:
  EdgeRecordingWriter writer_;
  bool active_ = false;
  uint32_t index_ = 0;
};

/// Passes messages on, except while muted: attempts to reopen a lost serial
/// device would otherwise repeat the same failure every few seconds.
class MutableMessages : public MessageSink {
 public:
  explicit MutableMessages(MessageSink& to) : to_(to) {}
  void ShowMessage(const char* text) override {
    if (!muted) to_.ShowMessage(text);
  }
  int AskQuestion(const char* text) override { return muted ? 1 : to_.AskQuestion(text); }
  bool muted = false;

 private:
  MessageSink& to_;
};

/// The one-line progress report for long file decodes.
class Progress {
 public:
  // The first line waits a quarter second, so short files show none and the
  // speed is measured over a useful stretch.
  explicit Progress(bool enabled)
      : enabled_(enabled), start_(std::chrono::steady_clock::now()), last_(start_) {}
  void Update(uint64_t streamTicks, uint64_t pages, bool force = false) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    const double stream = static_cast<double>(streamTicks) / kTicksPerSecond;
    const double wall = std::chrono::duration<double>(now - start_).count();
    const double speed = wall > 0 ? stream / wall : 0;
    std::fprintf(stderr, "\r\x1b[K%02d:%02d:%02d stream, %llu pages, %.0fx real time",
                 static_cast<int>(stream / 3600), static_cast<int>(stream / 60) % 60,
                 static_cast<int>(stream) % 60, static_cast<unsigned long long>(pages), speed);
    shown_ = true;
  }
  void Clear() {
    if (shown_) std::fputs("\r\x1b[K", stderr);
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

void PrintStats(const StatCounters& counters, Clock& clock) {
  const SystemTime now = clock.NowLocal();
  char date[48], time[48];
  clock.FormatDate(now, date, sizeof date);
  clock.FormatTime(now, time, sizeof time);
  char report[2048];
  const int n = FormatStatReport(counters, date, time, report, sizeof report);
  if (n > 0) std::fwrite(report, 1, static_cast<size_t>(n), stdout);
}

// ---- Feeds -----------------------------------------------------------------

/// How long the feeds may take to deliver what they hold at the end.
constexpr int kFeedDrainMs = 10000;

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

/// The MQTT password: SKELMAR_MQTT_PASSWORD, else the first line of the passfile.
bool MqttPassword(const MqttOptions& mqtt, std::string& password, std::string& error) {
  if (const char* env = std::getenv("SKELMAR_MQTT_PASSWORD"); env != nullptr && env[0] != 0) {
    password = env;
    return true;
  }
  if (mqtt.passfile.empty()) return true;
  std::FILE* f = std::fopen(mqtt.passfile.c_str(), "r");
  if (f == nullptr) {
    error = "MQTT: cannot read the passfile '" + mqtt.passfile + "': " + std::strerror(errno);
    return false;
  }
  char line[512] = {};
  if (std::fgets(line, sizeof line, f) != nullptr) {
    line[std::strcspn(line, "\r\n")] = 0;
    password = line;
  }
  std::fclose(f);
  return true;
}

/// The feeds the settings file and the options ask for, added to `hub`.
bool StartFeeds(const FeedSettings& feeds, FeedHub& hub, std::string& error) {
  if (!feeds.mqtt.empty()) {
    MqttOptions mqtt;
    std::string password;
    if (!ParseMqttUrl(feeds.mqtt, HostName(), mqtt, error) ||
        !MqttPassword(mqtt, password, error)) {
      return false;
    }
    auto feed = std::make_unique<MqttFeed>(mqtt, std::move(password));
    if (!feed->Start(error)) return false;
    hub.Add(std::move(feed));
  }
  if (!feeds.pagermon.empty()) {
    PagerMonOptions pagermon;
    if (!ParsePagerMonUrl(feeds.pagermon, pagermon, error)) return false;
    const char* key = std::getenv("SKELMAR_PAGERMON_KEY");
    if (key == nullptr || key[0] == 0) {
      error = "--pagermon needs the server's API key in SKELMAR_PAGERMON_KEY";
      return false;
    }
    auto feed = std::make_unique<PagerMonFeed>(pagermon, key, feeds.label);
    if (!feed->Start(error)) return false;
    hub.Add(std::move(feed));
  }
  return true;
}

/// Said only when some transmission came the other way up, which is worth
/// knowing about the receiver (and what InvertData would change).
void PrintPolarityStats(const PagePrinter& printer) {
  const uint64_t pocsag = printer.invertedPages(PageProtocol::kPocsag);
  const uint64_t flex = printer.invertedPages(PageProtocol::kFlex);
  const uint64_t gsc = printer.invertedPages(PageProtocol::kGsc);
  if (pocsag + flex + gsc == 0) return;
  std::printf("Polarity: %llu of %llu pages found inverted (POCSAG %llu, FLEX %llu, GSC %llu)\n",
              static_cast<unsigned long long>(pocsag + flex + gsc),
              static_cast<unsigned long long>(printer.pages()),
              static_cast<unsigned long long>(pocsag), static_cast<unsigned long long>(flex),
              static_cast<unsigned long long>(gsc));
}

void PrintFeedStats(const FeedHub& hub) {
  if (hub.dedupeSeconds() > 0) {
    std::printf("Feeds: %llu repeated pages suppressed (--dedupe %d)\n",
                static_cast<unsigned long long>(hub.suppressed()), hub.dedupeSeconds());
  }
  for (const auto& feed : hub.feeds()) {
    const FeedCounters c = feed->counters();
    std::printf("Feeds: %s %llu pages sent, %llu records not delivered\n", feed->name(),
                static_cast<unsigned long long>(c.sent),
                static_cast<unsigned long long>(c.dropped));
  }
}

int Run(const ConsoleOptions& o, const char* argv0) {
  std::setlocale(LC_ALL, "");
  StopSignals signals;

  // Settings: defaults, then the file over them.
  const std::string program = ProgramPath(argv0);
  const ConfigChoice config =
      ChooseConfigFile(o.configPath.empty() ? nullptr : o.configPath.c_str(), program,
                       std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  if (!o.configPath.empty()) {
    // The error_code form: a path whose status cannot be read (a link loop,
    // a folder we may not enter, an over-long name) is reported, not thrown.
    std::error_code ec;
    const auto type = std::filesystem::status(config.file, ec).type();
    if (type == std::filesystem::file_type::not_found) {
      std::fprintf(stderr, "skelmar: settings file '%s' does not exist\n", config.file.c_str());
      return kExitFailure;
    }
    if (ec) {
      std::fprintf(stderr, "skelmar: settings file '%s' cannot be read: %s\n", config.file.c_str(),
                   ec.message().c_str());
      return kExitFailure;
    }
  }
  Settings settings;
  if (o.fourLevel >= 0) settings.fourLevelInterface = o.fourLevel;
  if (o.invert >= 0) settings.invertData = o.invert;

  const bool live = o.input == InputKind::kAudioDevice || o.input == InputKind::kSerial ||
                    (o.input == InputKind::kNone) || (o.input == InputKind::kReplay && o.realtime);
  long long start = 0;
  if (!o.startTime.empty()) {
    ParseIsoTime(o.startTime, start);
  } else {
    start = static_cast<long long>(std::time(nullptr));
  }
  SystemClock systemClock;
  StreamClock streamClock(start);
  // A recording played in real time keeps its own stream time, so --start-time
  // holds for it as for a file decoded at once.
  const bool realtimeReplay = o.input == InputKind::kReplay && o.realtime;
  Clock& clock =
      live && !realtimeReplay ? static_cast<Clock&>(systemClock) : static_cast<Clock&>(streamClock);

  ConsoleMessages messages;
  PosixCommandLauncher launcher;
  TerminalBeeper beeper;
  Monitor monitor(settings, MonitorServices{clock, messages, launcher, beeper});
  std::string settingsProblem;
  const int loaded =
      LoadSettings(kAppName, config.file, settings, monitor.filters, &settingsProblem);
  if (signals.requested()) return kExitOk;  // stopped while a FIFO held the settings read
  // A file the user named and we cannot read is not quietly replaced by defaults.
  if (loaded == 0 && !o.configPath.empty()) {
    messages.ShowMessage(settingsProblem.c_str());
    return kExitFailure;
  }
  if (loaded == 0) settingsProblem += "; the defaults are used";
  if (!settingsProblem.empty()) messages.ShowMessage(settingsProblem.c_str());
  // Command-line overrides win over the file and are never saved.
  if (o.fourLevel >= 0) settings.fourLevelInterface = o.fourLevel;
  if (o.invert >= 0) settings.invertData = o.invert;
  if (!o.charset.empty()) {
    std::snprintf(settings.charset, sizeof settings.charset, "%s", o.charset.c_str());
  }
  if (!o.pocsagType.empty()) {
    std::snprintf(settings.pocsagType, sizeof settings.pocsagType, "%s", o.pocsagType.c_str());
  }
  {
    std::string charsetError;
    if (!monitor.charset.Select(settings.charset, charsetError)) {
      std::fprintf(stderr, "skelmar: %s\n", charsetError.c_str());
      return kExitFailure;
    }
    PocsagTypeChoice choice;
    if (!ParsePocsagType(settings.pocsagType, choice)) {
      std::fprintf(stderr,
                   "skelmar: PocsagType '%s' in the settings file is not auto, function, alpha or "
                   "numeric\n",
                   settings.pocsagType);
      return kExitFailure;
    }
  }
  if (o.input == InputKind::kSerial) {
    std::snprintf(settings.serialDevice, sizeof settings.serialDevice, "%s", o.inputPath.c_str());
  }
  if (o.input == InputKind::kNone && settings.comPort == 0) {
    std::fprintf(
        stderr,
        "skelmar: no input: give --replay FILE, --pcm FILE|-, --audio FILE, --audio-device NAME or "
        "--serial DEVICE (see --help)\n");
    return kExitUsage;
  }

  // Feeds: the [Feeds] section, then the options over it.
  FeedSettings feedSettings;
  ReadFeedSettings(config.file, feedSettings);
  if (o.labelSet) feedSettings.label = o.label;
  if (feedSettings.label.empty()) feedSettings.label = HostName();
  if (o.dedupe >= 0) feedSettings.dedupeSeconds = o.dedupe;
  if (!o.mqtt.empty()) feedSettings.mqtt = o.mqtt;
  if (!o.pagermon.empty()) feedSettings.pagermon = o.pagermon;
  FeedHub feeds(feedSettings.dedupeSeconds, messages);
  {
    std::string feedError;
    if (!StartFeeds(feedSettings, feeds, feedError)) {
      std::fprintf(stderr, "skelmar: %s\n", feedError.c_str());
      feeds.Stop(0);
      return kExitFailure;
    }
  }

  const bool color =
      o.color == ColorMode::kAlways || (o.color == ColorMode::kAuto && isatty(STDOUT_FILENO));
  RowPrinter rowPrinter(stdout, settings, color, &monitor.charset);
  PagePrinter pagePrinter(stdout, clock, monitor.filters, o.json, &monitor.charset);
  pagePrinter.SetFeeds(&feeds, feedSettings.label.c_str());
  PageJoiner joiner(pagePrinter);
  if (!o.json) monitor.monitorPane.SetRowObserver(&rowPrinter);
  monitor.pages.SetObserver(&joiner);
  monitor.statistics.SetMessageSink(&messages);
  monitor.Start();

  // The edge source: a file or pipe, an audio device, or the serial slicer.
  std::unique_ptr<EdgeSource> owned;
  std::unique_ptr<SystemMonotonicClock> monotonic;
  std::unique_ptr<SlicerLink> link;
  MutableMessages linkMessages(messages);
  EdgeSource* source = nullptr;
  if (o.input == InputKind::kSerial || o.input == InputKind::kNone) {
    monotonic = std::make_unique<SystemMonotonicClock>();
    SystemMonotonicClock* mono = monotonic.get();
    link = std::make_unique<SlicerLink>(
        settings, linkMessages,
        [mono, &messages](const std::string& device) -> std::unique_ptr<EdgeSource> {
          return std::make_unique<SerialSlicer>(
              device, SerialSlicer::SystemServices(*mono, [&messages](const std::string& text) {
                messages.ShowMessage(text.c_str());
              }));
        },
        &monitor.front.readIndex());
    if (!link->Open()) {
      monitor.Stop();
      return kExitFailure;
    }
    source = link->source();
  } else {
    owned = MakeEdgeSource(o, settings.fourLevelInterface != 0, &signals.flag());
    if (owned->Open(&monitor.front.readIndex()) <= 0) {
      monitor.Stop();
      if (signals.requested()) return kExitOk;  // stopped while waiting for a FIFO's writer
      std::fprintf(stderr, "skelmar: %s\n", owned->lastError());
      return kExitFailure;
    }
    source = owned.get();
  }

  EdgeTap tap;
  std::string error;
  if (!tap.Open(o.recordPath, &error)) {
    std::fprintf(stderr, "skelmar: %s\n", error.c_str());
    source->Close();
    monitor.Stop();
    return kExitFailure;
  }
  tap.Start(*source->ring());

  int status = kExitOk;
  uint64_t lostOverruns = 0;  // of serial sources that went away
  if (!source->IsLive()) {
    // Files and pipes: 100 ms of stream time, then one tick, as fast as they deliver.
    // Only when the pages go elsewhere: on a terminal that also shows them the
    // line would run into the page rows.
    Progress progress(!o.quiet && isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO));
    uint64_t streamTicks = 0;
    for (;;) {
      const bool more = source->Advance(kTicksPerTimerTick);
      streamTicks += kTicksPerTimerTick;
      streamClock.Advance(kTicksPerTimerTick);
      tap.Copy(*source->ring());
      feeds.Tick(SteadyMs(), clock.NowLocal(), clock.UtcOffsetMinutes(), monitor.stats);
      monitor.TimerTick(source->ring());
      joiner.Tick(
          static_cast<int64_t>(static_cast<double>(streamTicks) * 1000.0 / kTicksPerSecond));
      progress.Update(streamTicks, pagePrinter.pages());
      if (!more || signals.Wait(0)) break;
    }
    progress.Clear();
    // An input cut short by a stop request is no failure.
    if (source->lastError()[0] != 0 && !signals.requested()) {
      std::fprintf(stderr, "skelmar: %s\n", source->lastError());
      status = kExitFailure;
    }
  } else {
    // Live sources: the tick runs on the wall clock every 100 ms.
    auto next = std::chrono::steady_clock::now();
    auto played = next;
    auto retry = next;
    for (;;) {
      next += std::chrono::milliseconds(100);
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          next - std::chrono::steady_clock::now());
      if (signals.Wait(wait.count() > 0 ? static_cast<long>(wait.count()) : 0)) break;
      if (realtimeReplay) {
        // The replay is paced by the wall clock: its stream time is the time played.
        const auto now = std::chrono::steady_clock::now();
        streamClock.Advance(static_cast<uint64_t>(
            std::chrono::duration<double>(now - played).count() * kTicksPerSecond));
        played = now;
      }
      if (source == nullptr) {
        // The serial device went away: decoding waits, the clocks and the
        // filter log's flush go on, and the link is tried again every 5 s.
        monitor.TimerTick(nullptr);
        const auto now = std::chrono::steady_clock::now();
        if (now < retry) continue;
        linkMessages.muted = true;
        const int reopened = link->Open();
        linkMessages.muted = false;
        if (!reopened) {
          retry = now + std::chrono::seconds(5);
          continue;
        }
        source = link->source();
        tap.Start(*source->ring());
        std::fprintf(stderr, "skelmar: %s is back; decoding goes on\n", link->devicePath().c_str());
        status = kExitOk;
        continue;
      }
      tap.Copy(*source->ring());
      feeds.Tick(SteadyMs(), clock.NowLocal(), clock.UtcOffsetMinutes(), monitor.stats);
      monitor.TimerTick(source->ring());
      joiner.Tick(SteadyMs());
      std::fflush(stdout);
      if (!source->Advance(0)) break;  // a recording played in real time has ended
      if (auto* audio = dynamic_cast<AudioSource*>(source);
          audio != nullptr && audio->captureEnded()) {
        if (audio->lastError()[0] != 0) {
          std::fprintf(stderr, "skelmar: %s\n", audio->lastError());
          status = kExitFailure;
        }
        break;
      }
      if (auto* serial = dynamic_cast<SerialSlicer*>(source);
          serial != nullptr && !serial->capturing()) {
        // Said once; the program keeps running and reopens the device when
        // it returns (a USB adapter plugged in again). Until then the exit
        // status says it was lost.
        std::fprintf(stderr, "skelmar: %s; trying to reopen it every 5 s\n", serial->lastError());
        lostOverruns += serial->overruns();
        link->Close();
        source = nullptr;
        status = kExitFailure;
        retry = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      }
    }
  }

  // End of input or a stop: the source writes the state in progress, the
  // edges still in the ring are decoded, and the decoders see the signal end,
  // so a page still open is written and counted.
  if (source != nullptr) {
    source->Stop();
    tap.Copy(*source->ring());
    monitor.EndOfSignal(source->ring());
  } else {
    monitor.EndOfSignal(nullptr);
  }

  const uint64_t overruns = lostOverruns + (source != nullptr ? source->overruns() : 0);
  if (overruns > 0) {
    std::fprintf(stderr, "skelmar: %llu edges were lost because decoding fell behind\n",
                 static_cast<unsigned long long>(overruns));
  }
  if (link) {
    link->Close();
    source = nullptr;  // the link owned it
  } else {
    source->Close();
  }
  // Read after Close: a real-time replay's thread has ended by then.
  if (auto* replay = dynamic_cast<ReplaySource*>(source);
      replay != nullptr && !replay->warning().empty()) {
    std::fprintf(stderr, "skelmar: %s\n", replay->warning().c_str());
  }
  if (!tap.Close(&error)) {
    std::fprintf(stderr, "skelmar: %s\n", error.c_str());
    status = kExitFailure;
  }
  joiner.Flush();
  monitor.Stop();
  std::fflush(stdout);
  uint64_t queued = 0;
  for (const auto& feed : feeds.feeds()) queued += feed->counters().queued;
  if (queued > 0) {
    std::fprintf(stderr, "skelmar: giving the feeds up to %d s to deliver %llu queued records\n",
                 kFeedDrainMs / 1000, static_cast<unsigned long long>(queued));
  }
  feeds.Stop(kFeedDrainMs);
  if (monitor.writeFailed()) status = kExitFailure;
  if (o.stats) {
    PrintStats(monitor.stats, clock);
    PrintPolarityStats(pagePrinter);
    PrintFeedStats(feeds);
  }
  std::fflush(stdout);
  return status;
}

}  // namespace

int RunConsoleProgram(int argc, char** argv) {
  skelmar::ConsoleOptions options;
  std::string error;
  if (!skelmar::ParseConsoleOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "skelmar: %s\n", error.c_str());
    return skelmar::kExitUsage;
  }
  if (options.help) {
    std::fputs(skelmar::ConsoleHelpText(), stdout);
    return skelmar::kExitOk;
  }
  if (options.version) {
    std::puts("skelmar 0.1.0");
    return skelmar::kExitOk;
  }
  return skelmar::Run(options, argv[0]);
}

}  // namespace skelmar
