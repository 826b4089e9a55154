// The console front: drives one session from the terminal, its 100 ms tick
// on stream time for files and on the wall clock for live inputs, with pages
// printed as lines or JSON. Needs no display.
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
#include "platform/program_path.h"
#include "platform/soapy_sdr.h"
#include "platform/terminal_beeper.h"
#include "session/config_location.h"
#include "session/options.h"
#include "session/receiver_settings.h"
#include "session/session.h"
#include "shell/console/console_output.h"
#include "shell/console/console_run.h"

namespace skelmar {
namespace {

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
  /// The same look as Wait(0) without the lock, for a loop that runs once per
  /// 100 ms of a file: until a stop comes it is one atomic load.
  bool Stopped() { return requested_.load(std::memory_order_acquire) && Wait(0); }
  /// Stop signals received so far: a later one cuts the feeds' grace period short.
  int count() const { return count_.load(); }
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
    count_ = 1;
    changed_.notify_all();
    // Repeated until the program ends: a wake that lands just before the main
    // thread starts its read would be lost.
    while (!closing_ && !seen_) {
      pthread_kill(main_, WakeSignal());
      changed_.wait_for(lock, std::chrono::milliseconds(50), [this] { return closing_ || seen_; });
    }
    while (!closing_) {
      lock.unlock();
      const timespec tick{0, 50 * 1000 * 1000};
      const int got = sigtimedwait(&set_, nullptr, &tick);
      lock.lock();
      if (got > 0 && !closing_) ++count_;
    }
  }

  sigset_t set_;
  pthread_t main_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::atomic<bool> requested_{false};
  std::atomic<int> count_{0};
  bool seen_ = false;
  bool closing_ = false;
  std::thread watcher_;
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

void PrintStats(const std::vector<ChannelStats>& channels, const StatCounters& total,
                Clock& clock) {
  const SystemTime now = clock.NowLocal();
  char date[48], time[48];
  clock.FormatDate(now, date, sizeof date);
  clock.FormatTime(now, time, sizeof time);
  std::string report;
  FormatChannelStatReport(channels, total, date, time, report);
  std::fwrite(report.data(), 1, report.size(), stdout);
}

/// Watches standard output: pages that cannot be written there are lost, so
/// the first failure is said once, and the run ends unless a feed still
/// delivers the pages (then it goes on and the exit status says it).
class OutputWatch {
 public:
  explicit OutputWatch(const Session& session) : session_(session) {}
  /// After each tick; false when the run should end.
  bool Check() {
    if (failed_ || !std::ferror(stdout)) return true;
    failed_ = true;
    const int cause = errno;
    const bool feeding = session_.feeds().active();
    std::fprintf(stderr, "skelmar: the pages cannot be written to standard output: %s%s\n",
                 std::strerror(cause != 0 ? cause : EIO),
                 feeding ? "; the feeds go on receiving them" : "");
    return feeding;
  }
  /// At the end: what is still buffered must get out too.
  bool Flush() {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) Check();
    return !failed_;
  }

 private:
  const Session& session_;
  bool failed_ = false;
};

/// Said only when some transmission came the other way up, which is worth
/// knowing about the receiver (and what InvertData would change).
void PrintPolarityStats(const RecordPipeline& printer) {
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
                static_cast<unsigned long long>(c.dropped + c.queued));
  }
}

int Run(const ConsoleOptions& given, const char* argv0) {
  std::setlocale(LC_ALL, "");
  StopSignals signals;
  const ConfigChoice config =
      ChooseConfigFile(given.configPath.empty() ? nullptr : given.configPath.c_str(),
                       ProgramPath(argv0), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  // The [Receiver] section fills in an SDR input the command line leaves open.
  ConsoleOptions o = given;
  if (std::string problem; !ApplyReceiverSection(config.file, o, problem)) {
    std::fprintf(stderr, "skelmar: %s\n", problem.c_str());
    return kExitFailure;
  }
  ConsoleMessages messages;
  TerminalBeeper beeper;
  Session session(o, config, Front::kConsole, messages, beeper, &signals.flag());
  if (const int status = session.Configure(); status != kExitOk) return status;
  if (signals.requested()) return kExitOk;  // stopped while a FIFO held the settings read

  const bool color =
      o.color == ColorMode::kAlways || (o.color == ColorMode::kAuto && isatty(STDOUT_FILENO));
  RowPrinter rowPrinter(stdout, session.settings, color, &session.monitor.charset);
  session.SetOutputs(o.json ? stdout : nullptr, o.json ? nullptr : &rowPrinter);
  if (!session.OpenLink()) {
    session.Finish();
    return signals.requested() ? kExitOk : kExitFailure;
  }

  OutputWatch output(session);
  if (!session.IsLive()) {
    // Files and pipes: 100 ms of stream time, then one tick, as fast as they deliver.
    // Only when the pages go elsewhere: on a terminal that also shows them the
    // line would run into the page rows.
    Progress progress(!o.quiet && isatty(STDERR_FILENO) && !isatty(STDOUT_FILENO));
    for (;;) {
      const bool more = session.Tick();
      progress.Update(session.streamTicks(), session.pages());
      if (!more || !output.Check() || signals.Stopped()) break;
    }
    progress.Clear();
  } else {
    // Live sources: the tick runs on the wall clock every 100 ms.
    auto next = std::chrono::steady_clock::now();
    for (;;) {
      next += std::chrono::milliseconds(100);
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
          next - std::chrono::steady_clock::now());
      if (signals.Wait(wait.count() > 0 ? static_cast<long>(wait.count()) : 0)) break;
      if (!session.linkOpen()) {
        // The serial device went away: decoding waits, the clocks and the
        // filter log's flush go on, and the device is tried again every 5 s.
        session.Tick();
        session.RetryLostDevice();
        continue;
      }
      const bool more = session.Tick();
      std::fflush(stdout);
      if (!more || !output.Check()) break;
    }
  }

  // A stop signal from now on cuts the feeds' grace period short.
  const int stopsBefore = signals.count();
  session.SetGraceCutShort([&signals, stopsBefore] { return signals.count() > stopsBefore; });
  int status = session.Finish();
  if (o.stats) {
    // Several channels: each one's counts, then all of them together.
    PrintStats(session.channelStats(), session.monitor.stats, session.clock());
    PrintPolarityStats(session.records());
    PrintFeedStats(session.feeds());
  }
  if (!output.Flush()) status = kExitFailure;
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
  if (options.input == skelmar::InputKind::kSdr && options.inputPath == "list") {
    if (skelmar::ListSdrDevices(stdout, error)) return skelmar::kExitOk;
    std::fprintf(stderr, "skelmar: %s\n", error.c_str());
    return skelmar::kExitFailure;
  }
  return skelmar::Run(options, argv[0]);
}

}  // namespace skelmar
