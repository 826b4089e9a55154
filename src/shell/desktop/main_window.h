// The main window: title from the mode caption, the filter pane on top and
// the monitor pane below, the channel list of several channels, menu 100,
// the keyboard scrolling, the 100 ms timer that drives the monitor, and
// closing. Rules come from the core; this only shows them.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>
#include <memory>
#include <optional>

#include "frontend/mode_caption.h"
#include "output/channel_activity.h"
#include "output/pane_split.h"
#include "output/setup_dialogs.h"
#include "shell/desktop/channel_view.h"
#include "shell/desktop/desktop_program.h"
#include "shell/desktop/match_notifier.h"
#include "shell/desktop/message_boxes.h"
#include "shell/desktop/pane_widget.h"
#include "shell/desktop/status_bar.h"

namespace skelmar::desktop {

class ClientArea;

/// Frame width of the monitor pane (its top edge moves the split).
inline constexpr int kSizingFrame = 4;
/// Frame width of the filter pane.
inline constexpr int kDialogFrame = 2;

class MainWindow : public QMainWindow, public CaptionListener {
 public:
  /// Takes its place and size from the settings; the monitor is started here.
  MainWindow(DesktopProgram& program, QtMessageSink& messages);
  ~MainWindow() override;

  // Operations the setup dialogs' callers use.
  /// Closes and opens the link again (after an Interface change).
  void ReopenLink();
  /// Makes the pane font and metrics from the settings again and lays out both panes.
  void ApplyFont();
  /// Repaints both panes in the settings' colours.
  void ApplyColors();

  /// Ends the program as OK in the exit confirmation would, without asking
  /// (SIGTERM, the desktop session ending).
  void EndSession();

  /// File › Open Recording…: a recording, audio file or IQ capture for this run.
  void OnOpenRecording();
  /// File › Receiver…: the live input, kept in the settings file.
  void OnReceiver();
  /// Ends this run without the exit question, so the program starts again
  /// on `options` in a new window at the same place.
  void RestartWith(ConsoleOptions options);
  /// The options of the next run, when the user chose another input.
  const std::optional<ConsoleOptions>& restartWith() const { return restart_; }

  /// Monitor › Desktop Notifications: a notification for each tick with a filter match.
  void SetNotifyOnMatch(bool on);
  /// Where notifications go (the session bus unless a test says otherwise).
  void SetNotificationSender(NotificationSender send) { notifier_.SetSender(std::move(send)); }

  // Commands 201 to 209.
  void OnExit();
  void OnInterface();
  void OnOptions();
  void OnFont();
  void OnColors();
  void OnFilters();
  void OnStatistics();
  void OnKeepAlive() {}
  void OnHelp();
  /// Help › About: version and licence.
  void OnAbout();
  /// F1: the README in the desktop's viewer; says where it should be when it is missing.
  void OnManual();

  /// One timer tick (the timer calls it; a tick never starts inside another).
  void Tick();

  QtMessageSink& messages() { return messages_; }
  /// The pane font, metrics and colours in use.
  const PaneLook& look() const { return look_; }
  /// The colour preview's font: the default pane font, made once at start-up.
  const QFont& previewFont() const { return previewFont_; }
  DesktopProgram& program() { return program_; }
  PaneWidget* monitorPane() { return monitorPane_; }
  PaneWidget* filterPane() { return filterPane_; }
  /// The channel list of several channels (null for one).
  ChannelDock* channelDock() { return channelDock_; }
  const ChannelActivity* channelActivity() const { return activity_.get(); }
  const PaneSplit& split() const { return split_; }
  bool timerRunning() const { return timer_.isActive(); }
  /// Times the settings file was written by closing.
  int saves() const { return saves_; }

  void CaptionChanged(const char* caption) override;

 protected:
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class SplitAdapter;
  void BuildMenu();
  void LayOutPanes();
  void MonitorPaneResized();
  void DragSplit(int top);
  void OpenLinkIfNeeded();
  void StartTimer();
  /// One session tick, and the channels' activity after it.
  bool TickSession();
  /// The channel dock, for several channels.
  void AddChannelDock(QMenu* monitorMenu);
  /// Keeps the channel list's side and whether it is shown for the next run.
  void StoreChannelDock();
  WindowMetrics Metrics() const;
  bool NormalState() const;
  /// Learns the frame once the window manager has told it, and then gives the
  /// window the outer place and size of the settings.
  void TrackFrame();
  /// The outer geometry of the normal (not maximised) window.
  QRect NormalOuter() const;
  /// Place, size and maximised state into the settings, before they are saved.
  void StoreGeometry();

  DesktopProgram& program_;
  QtMessageSink& messages_;
  PaneLook look_;
  QFont previewFont_;
  ClientArea* client_;
  PaneWidget* filterPane_;
  PaneWidget* monitorPane_;
  StatusBar* status_ = nullptr;
  /// Several channels: their activity, taken at every session tick, and its dock.
  std::unique_ptr<ChannelActivity> activity_;
  ChannelDock* channelDock_ = nullptr;
  bool activityChanged_ = false;
  PaneSplit split_;
  QTimer timer_;
  QRect wantedOuter_;  ///< the settings' outer geometry, until the frame is known
  QMargins frame_;     ///< the frame of the normal window
  QPoint triedAt_;     ///< where the window was when the link was last tried
  bool inTick_ = false;
  bool moveSeen_ = false;
  bool placed_ = false;
  bool linkTried_ = false;
  bool shownOnce_ = false;
  bool ending_ = false;
  bool closed_ = false;
  int saves_ = 0;
  std::optional<ConsoleOptions> restart_;
  MatchNotifier notifier_{DesktopNotificationSender()};
  /// The colour choosers' 16 custom colours: white at start, shared, never saved.
  CustomColors customColors_;
};

}  // namespace skelmar::desktop
