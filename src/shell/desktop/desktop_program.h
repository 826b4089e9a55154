// What the window program owns besides its widgets: the settings, the monitor
// and the edge source (the slicer link or the input the command line names).
// No Qt here: the main window drives it from its timer.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "frontend/edge_source.h"
#include "platform/posix_command_launcher.h"
#include "platform/serial_slicer.h"
#include "platform/slicer_link.h"
#include "settings/settings.h"
#include "shell/config_location.h"
#include "session/options.h"
#include "shell/console/console_output.h"
#include "shell/monitor.h"

namespace skelmar::desktop {

class DesktopProgram {
 public:
  /// Defaults, then the settings file over them, then the command line's overrides.
  /// `messages` shows the monitor's and the link's messages.
  DesktopProgram(const ConsoleOptions& options, ConfigChoice config, MessageSink& messages,
                 Beeper& beeper);
  ~DesktopProgram();
  DesktopProgram(const DesktopProgram&) = delete;
  DesktopProgram& operator=(const DesktopProgram&) = delete;

  /// Whether there is a link to open: an input on the command line, or a
  /// serial port in the settings.
  bool WantsLink() const;
  /// SlicerLinkOpen.
  bool linkOpen() const { return source_ != nullptr; }
  /// Opens the link: 1 when the ring is ready, 0 after its failure message.
  int OpenLink();
  void CloseLink();

  /// A recording decoded at once that still has edges: the window ticks as
  /// fast as it keeps up instead of every 100 ms.
  bool draining() const { return linkOpen() && !source_->IsLive() && !streamEnded_; }

  /// One 100 ms timer tick: moves a recording on by 100 ms of stream time,
  /// then the monitor's tick. Returns false when the input failed (its message
  /// was shown and the link closed).
  bool Tick();

  /// Writes the settings file; command-line overrides are not written.
  /// Returns false with the reason in `error`.
  bool Save(std::string* error);

  /// Closes the filter log and the link.
  void Shutdown();

  const std::filesystem::path& configFile() const { return config_.file; }

  Settings settings;

 private:
  ConsoleOptions options_;
  ConfigChoice config_;
  MessageSink& messages_;
  SystemClock systemClock_;
  StreamClock streamClock_;
  PosixCommandLauncher launcher_;
  Settings fileValues_;  ///< the values the command line overrode, as the file had them
  SystemMonotonicClock monotonic_;
  std::chrono::steady_clock::time_point played_;

 public:
  Monitor monitor;

 private:
  std::unique_ptr<SlicerLink> link_;
  std::unique_ptr<EdgeSource> owned_;
  EdgeSource* source_ = nullptr;
  bool streamEnded_ = false;
  bool shutDown_ = false;
};

}  // namespace skelmar::desktop
