// One run of the monitor, whichever front drives it: the settings in force,
// the input, the decoding channel, the record pipeline and the feeds. The
// console and the window are thin drivers of this class.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "feeds/feed.h"
#include "feeds/feed_settings.h"
#include "feeds/feed_spool.h"
#include "feeds/page_joiner.h"
#include "frontend/edge_recording.h"
#include "frontend/edge_source.h"
#include "platform/command_queue.h"
#include "platform/serial_slicer.h"
#include "platform/slicer_link.h"
#include "session/channel_chain.h"
#include "session/config_location.h"
#include "session/monitor.h"
#include "session/options.h"
#include "session/overrun_report.h"
#include "session/record_pipeline.h"
#include "session/stream_clock.h"
#include "settings/settings.h"

namespace skelmar {

/// Exit statuses both fronts share.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

/// Which front drives the session: they differ only where a window can do
/// better than give up (a bad character set is shown and the window runs on
/// US; a lost serial device waits for the user to move the window).
enum class Front { kConsole, kDesktop };

/// Copies every new ring entry to the --record file before the tick reads it.
class EdgeTap {
 public:
  bool Open(const std::string& path, std::string* error);
  void Copy(const EdgeRing& ring);
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

/// Passes messages on until the run ends; then, in the window, they go to
/// standard error: the window has closed, and a box would wait for an
/// answer nobody is there to give.
class ClosingMessages : public MessageSink {
 public:
  explicit ClosingMessages(MessageSink& to) : to_(to) {}
  void ShowMessage(const char* text) override {
    if (closed.load()) {
      std::fprintf(stderr, "skelmar: %s\n", text);
    } else {
      to_.ShowMessage(text);
    }
  }
  int AskQuestion(const char* text) override { return closed.load() ? 1 : to_.AskQuestion(text); }
  std::atomic<bool> closed{false};

 private:
  MessageSink& to_;
};

/// What a front shows of its input: none yet, running, at its end, down (it
/// failed to open, failed or went away), or being made again by itself.
enum class InputState { kNone, kRunning, kEnded, kLinkDown, kRetrying };

/// True for the inputs that are recordings (their own stream time, decoded
/// as fast as they are read); false for the live ones, on the machine's clock.
bool UsesStreamClock(const ConsoleOptions& options);

class Session {
 public:
  /// `messages` shows every message of the run (the console's standard
  /// error, the window's message boxes); `stop` (may be null) is set when the
  /// user asks the program to end, so blocked reads give up.
  Session(const ConsoleOptions& options, ConfigChoice config, Front front, MessageSink& messages,
          Beeper& beeper, const std::atomic<bool>* stop = nullptr);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// Defaults, the settings file over them, then the command line's
  /// overrides (never saved); the character set and POCSAG type checked;
  /// the [Feeds] section and the feed options, and the feeds started; the
  /// monitor started. Returns kExitOk, or the exit status after the cause
  /// was shown.
  int Configure();

  /// Tells whether the user asked again to stop while the feeds deliver
  /// what they hold at the end (the console's second Ctrl-C).
  void SetGraceCutShort(std::function<bool()> cutShort) { cutShort_ = std::move(cutShort); }

  /// Where pages go besides the feeds: JSON lines to `json` (null: none),
  /// and finished rows to `rows` (null: none).
  void SetOutputs(std::FILE* json, RowObserver* rows);

  /// Whether there is an input to open: one on the command line, or a serial
  /// port in the settings.
  bool WantsLink() const;
  /// SlicerLinkOpen.
  bool linkOpen() const { return source_ != nullptr; }
  /// Opens the input and the --record file: 1 when the ring is ready, 0
  /// after the failure was shown (stopRequested() tells a stop from a failure).
  int OpenLink();
  /// The last OpenLink failed, or the window's serial port went away since.
  bool linkFailed() const { return linkFailed_; }
  void CloseLink();
  bool IsLive() const { return source_ != nullptr && source_->IsLive(); }

  /// A recording decoded at once that still has edges.
  bool draining() const { return linkOpen() && !source_->IsLive() && !streamEnded_; }

  /// One 100 ms tick. A recording moves on by 100 ms of stream time; a live
  /// input is read as it arrived. Returns false when the input has ended or
  /// failed (a failure was shown, and for the window the link is closed).
  bool Tick();
  /// Console only: while a lost serial device is away, tries it again every
  /// 5 s; true when it is back.
  bool RetryLostDevice();

  /// End of input or a stop: the source writes the state in progress, what
  /// is still in the ring is decoded, the decoders see the signal end, the
  /// input and the record file are closed, held fragments go out and the
  /// feeds get up to 10 s to deliver. Returns the run's exit status.
  int Finish();

  /// Writes the settings file; command-line overrides are not written.
  bool Save(std::string* error);
  /// Closes the filter log and the input (the window's exit).
  void Shutdown();

  /// Stream time decoded so far, in timer ticks of the edge clock.
  uint64_t streamTicks() const { return streamTicks_; }
  uint64_t pages() const { return pipeline_.pages(); }
  const RecordPipeline& records() const { return pipeline_; }
  Clock& clock() { return *clock_; }
  const FeedHub& feeds() const { return feeds_; }
  const std::filesystem::path& configFile() const { return config_.file; }
  const ConsoleOptions& options() const { return options_; }
  InputState inputState() const;
  /// The serial device the link opens (empty before it first tried).
  std::string linkDevice() const { return link_ ? link_->devicePath() : std::string(); }
  /// The status so far (a lost device or a failed input make it 1).
  int status() const { return status_; }
  /// Where a wideband input carries several channels, their decoding chains
  /// in the order given (empty for one channel: the monitor decodes it).
  /// `monitor.stats` then holds the counts of all of them.
  const std::vector<std::unique_ptr<ChannelChain>>& channels() const { return chains_; }
  /// The channels' names and counts, as the reports show them (empty for one channel).
  const std::vector<ChannelStats>& channelStats() const { return channelStats_; }

  Settings settings;

 private:
  int ApplyOverrides(Settings& s) const;
  int StartFeeds();
  void ReportInputFailure(const char* cause);
  void ReportDeviceOverruns(uint64_t count, bool final, bool channels = false);
  /// Audio samples the channels of one IQ stream lost by falling behind it.
  uint64_t ChannelDrops() const;
  /// The label of the one channel, or "".
  const char* ChannelLabel() const;
  /// Start failures and drops of the filter commands.
  void ShowCommandMessages();
  /// A message of the run's end.
  void Report(const std::string& text);
  // Several channels of one input.
  int OpenChannels();
  bool TickChannels();
  /// Decodes what every channel's ring holds, all channels in turn a
  /// millisecond of stream time at a time, so pages come out in the order
  /// they ended on air.
  void PollChannels();
  void SumChannelStats();

  ConsoleOptions options_;
  ConfigChoice config_;
  Front front_;
  MessageSink& messages_;
  MutableMessages linkMessages_;
  ClosingMessages feedMessages_;
  const std::atomic<bool>* stop_;
  SystemClock systemClock_;
  StreamClock streamClock_;
  Clock* clock_;
  CommandQueue launcher_;
  SystemMonotonicClock monotonic_;
  Settings fileValues_;  ///< the values the command line overrode, as the file had them

 public:
  Monitor monitor;

 private:
  FeedSettings feedSettings_;
  FeedHub feeds_;
  std::unique_ptr<FeedSpool> spool_;
  std::function<bool()> cutShort_;
  RecordPipeline pipeline_;
  PageJoiner joiner_;
  EdgeTap tap_;
  std::unique_ptr<SlicerLink> link_;
  std::unique_ptr<EdgeSource> owned_;
  EdgeSource* source_ = nullptr;
  std::vector<std::unique_ptr<ChannelChain>> chains_;
  std::vector<std::unique_ptr<EdgeSource>> channelSources_;  ///< [0] is source_
  std::vector<ChannelStats> channelStats_;
  RowMerger merger_{monitor.monitorPane};
  uint64_t horizon_ = 0;  ///< stream time the channels have been read to
  std::chrono::steady_clock::time_point played_;
  std::chrono::steady_clock::time_point retry_;
  uint64_t streamTicks_ = 0;
  uint64_t lostOverruns_ = 0;  ///< of serial sources that went away
  DeviceOverrunReport overrunReport_;
  int status_ = kExitOk;
  bool streamEnded_ = false;
  bool liveEnded_ = false;  ///< a recording or file played in real time has ended
  /// Set from the capture thread while an SDR input makes its link again.
  std::atomic<bool> retrying_{false};
  bool endSeen_ = false;
  bool deviceLost_ = false;
  bool linkFailed_ = false;  ///< the last open failed, or the window lost its port
  bool started_ = false;
  bool finished_ = false;
};

}  // namespace skelmar
