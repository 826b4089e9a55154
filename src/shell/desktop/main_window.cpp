// The main window's layout, commands, keys, timer and closing.
#include "shell/desktop/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMargins>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "session/program_strings.h"
#include "settings/profile_file.h"
#include "shell/desktop/dialogs/dialog_support.h"
#include "shell/desktop/dialogs/dialogs.h"
#include "shell/desktop/input_dialog.h"
#include "shell/desktop/program_icon.h"

namespace skelmar::desktop {

namespace {

// Where the channel list is kept between runs: its side of the panes and
// whether it is shown, in the window's own section of the settings file.
constexpr const char* kDesktopSection = "Desktop";
struct DockSide {
  const char* name;
  Qt::DockWidgetArea area;
};
constexpr DockSide kDockSides[] = {{"bottom", Qt::BottomDockWidgetArea},
                                   {"top", Qt::TopDockWidgetArea},
                                   {"left", Qt::LeftDockWidgetArea},
                                   {"right", Qt::RightDockWidgetArea}};

}  // namespace

/// The client area: the panes' parent, painted in the background colour.
class ClientArea : public QWidget {
 public:
  explicit ClientArea(QWidget* parent) : QWidget(parent) {}
  std::function<void()> onResized;

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (onResized) onResized();
  }
};

/// The split's window operations on the two pane widgets.
class MainWindow::SplitAdapter : public SplitWindows {
 public:
  explicit SplitAdapter(MainWindow& w) : w_(w) {}
  Rect MonitorWindowRect() override {
    const QRect g = w_.monitorPane_->geometry();
    const QPoint at = w_.client_->mapToGlobal(g.topLeft());
    return Rect{at.x(), at.y(), at.x() + g.width(), at.y() + g.height()};
  }
  void MonitorClientSize(int& width, int& height) override {
    // The text area: inside the frame, less the scroll bars shown.
    PaneWidget* pane = w_.monitorPane_;
    const QRect inside = pane->contentsRect();
    width = inside.width() - (pane->verticalBar()->isVisible() ? pane->verticalBar()->width() : 0);
    height = inside.height() -
             (pane->horizontalBar()->isVisible() ? pane->horizontalBar()->height() : 0);
  }
  void MoveMonitorPane(int x, int y, int width, int height) override {
    w_.monitorPane_->setGeometry(x, y, width, height);
  }
  void MoveFilterPane(int x, int y, int width, int height) override {
    w_.filterPane_->setGeometry(x, y, width, height);
  }

 private:
  MainWindow& w_;
};

MainWindow::MainWindow(DesktopProgram& program, QtMessageSink& messages)
    : program_(program), messages_(messages) {
  Settings& s = program_.settings;
  setWindowTitle(QString::fromLatin1(kStartupTitle));
  // The program's icon on this window and every box and dialog.
  QApplication::setWindowIcon(MakeProgramIcon());
  setWindowIcon(ProgramIcon());
  messages_.SetOwner(this);

  previewFont_ = MakePaneFont(LogFont{});
  // Window creation: font and metrics, the panes, then the monitor.
  look_ = MakePaneLook(s);
  client_ = new ClientArea(this);
  client_->setAutoFillBackground(true);
  QPalette palette = client_->palette();
  palette.setColor(QPalette::Window, look_.colors[kSlotBackground]);
  client_->setPalette(palette);
  setCentralWidget(client_);
  Monitor& monitor = program_.monitor;
  monitorPane_ = new PaneWidget(monitor.monitorPane, look_, kSizingFrame, true, client_);
  filterPane_ = new PaneWidget(monitor.filterPane, look_, kDialogFrame, false, client_);
  monitorPane_->SetCharset(&monitor.charset);
  filterPane_->SetCharset(&monitor.charset);
  monitorPane_->setObjectName("monitorPane");
  filterPane_->setObjectName("filterPane");
  monitorPane_->onResized = [this] { MonitorPaneResized(); };
  monitorPane_->onTopEdgeDragged = [this](int top) { DragSplit(top); };
  client_->onResized = [this] { LayOutPanes(); };
  // One selection in the window: starting one in a pane drops the other's.
  monitorPane_->onSelectionStarted = [this] { filterPane_->ClearSelection(); };
  filterPane_->onSelectionStarted = [this] { monitorPane_->ClearSelection(); };
  monitor.caption.SetListener(this);
  notifier_.SetEnabled(NotifyOnMatch(program_.configFile()));
  monitor.filterPane.SetRowObserver(&notifier_);
  monitor.Start();
  // The colour chooser's 16 custom colours start white at every start.
  for (int i = 0; i < QColorDialog::customCount(); ++i) QColorDialog::setCustomColor(i, Qt::white);
  BuildMenu();
  status_ = new StatusBar(this);
  setStatusBar(status_);
  status_->Update(program_);

  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });

  // Outer place and size from the settings. A window manager tells the frame
  // only after the window is shown, so the size is corrected once it has.
  wantedOuter_ = QRect(s.xPos, s.yPos, s.xSize, s.ySize);
  move(s.xPos, s.yPos);
  resize(s.xSize, s.ySize);
  if (s.maximized != 0) setWindowState(windowState() | Qt::WindowMaximized);
}

MainWindow::~MainWindow() {
  timer_.stop();
  program_.monitor.caption.SetListener(nullptr);
  program_.monitor.monitorPane.SetView(nullptr);
  program_.monitor.filterPane.SetView(nullptr);
  program_.monitor.filterPane.SetRowObserver(nullptr);
  messages_.SetOwner(nullptr);
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  auto add = [this](QWidget* menu, const char* text, int command, void (MainWindow::*handler)()) {
    auto* action = new QAction(QString::fromLatin1(text), this);
    action->setObjectName(QStringLiteral("command%1").arg(command));
    connect(action, &QAction::triggered, this, handler);
    menu->addAction(action);
    return action;
  };
  QMenu* file = bar->addMenu("&File");
  QAction* open = add(file, "&Open Recording...", 0, &MainWindow::OnOpenRecording);
  open->setObjectName(QStringLiteral("openRecording"));
  open->setShortcut(QKeySequence::Open);
  addAction(open);
  add(file, "&Receiver...", 0, &MainWindow::OnReceiver)->setObjectName(QStringLiteral("receiver"));
  file->addSeparator();
  // Ctrl+Q, as desktop programs quit: the same path as the menu command.
  QAction* exit = add(file, "E&xit", 201, &MainWindow::OnExit);
  exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  addAction(exit);  // also while the menu has never been opened
  // Ctrl+C copies the text selected in either pane.
  auto* copy = new QAction(QStringLiteral("&Copy"), this);
  copy->setObjectName(QStringLiteral("copy"));
  copy->setShortcut(QKeySequence::Copy);
  connect(copy, &QAction::triggered, this, [this] {
    if (!monitorPane_->CopySelection()) filterPane_->CopySelection();
  });
  addAction(copy);
  QMenu* setup = bar->addMenu("&Setup");
  add(setup, "&Interface...", 202, &MainWindow::OnInterface);
  add(setup, "&Options...", 203, &MainWindow::OnOptions);
  add(setup, "&Font...", 204, &MainWindow::OnFont);
  add(setup, "&Colors...", 205, &MainWindow::OnColors);
  add(bar, "&Filter...", 206, &MainWindow::OnFilters);
  QMenu* monitor = bar->addMenu("&Monitor");
  add(monitor, "&Statistics...", 207, &MainWindow::OnStatistics);
  add(monitor, "&Keep Alive...", 208, &MainWindow::OnKeepAlive);
  monitor->addSeparator();
  QAction* notify = monitor->addAction(QStringLiteral("Desktop &Notifications"));
  notify->setObjectName(QStringLiteral("notify"));
  notify->setCheckable(true);
  notify->setChecked(notifier_.enabled());
  connect(notify, &QAction::toggled, this, [this](bool on) { SetNotifyOnMatch(on); });
  AddChannelDock(monitor);
  // The Help command of the menu bar opens a menu that keeps it first.
  QMenu* help = bar->addMenu("&Help...");
  add(help, "&Help...", 209, &MainWindow::OnHelp);
  QAction* manual = add(help, "&Manual", 0, &MainWindow::OnManual);
  manual->setObjectName(QStringLiteral("manual"));
  manual->setShortcut(QKeySequence::HelpContents);
  addAction(manual);
  add(help, "&About Skelmar...", 0, &MainWindow::OnAbout)->setObjectName(QStringLiteral("about"));
}

void MainWindow::AddChannelDock(QMenu* monitorMenu) {
  // One channel: the window as it always was.
  const auto& channels = program_.channels();
  if (channels.size() < 2) return;
  activity_ = std::make_unique<ChannelActivity>(program_.clock());
  for (const auto& chain : channels)
    activity_->Add(chain->name(), chain->frequencyHz(), chain->stats);
  activity_->Tick();
  channelDock_ = new ChannelDock(*activity_, this);
  Qt::DockWidgetArea area = Qt::BottomDockWidgetArea;
  bool shown = true;
  ProfileFile profile;
  if (profile.Load(program_.configFile())) {
    const auto side = profile.Find(kDesktopSection, "ChannelsDock");
    for (const DockSide& d : kDockSides) {
      if (side && *side == d.name) area = d.area;
    }
    const auto visible = profile.Find(kDesktopSection, "ChannelsShown");
    shown = !(visible && *visible == "0");
  }
  addDockWidget(area, channelDock_);
  if (!shown) channelDock_->hide();
  QAction* show = channelDock_->toggleViewAction();
  show->setText(QStringLiteral("&Channels"));
  show->setObjectName(QStringLiteral("showChannels"));
  monitorMenu->addAction(show);
}

void MainWindow::StoreChannelDock() {
  if (channelDock_ == nullptr) return;
  std::string error;
  ProfileFile profile;
  if (!profile.Load(program_.configFile(), &error)) return;
  // A floating list keeps the side it was last docked on.
  const Qt::DockWidgetArea area = dockWidgetArea(channelDock_);
  for (const DockSide& d : kDockSides) {
    if (area == d.area && !channelDock_->isFloating()) {
      profile.SetString(kDesktopSection, "ChannelsDock", d.name);
    }
  }
  profile.SetString(kDesktopSection, "ChannelsShown", channelDock_->isHidden() ? "0" : "1");
  if (!profile.Save(program_.configFile(), &error)) {
    std::fprintf(stderr, "skelmar: the channel list's place could not be saved: %s\n",
                 error.c_str());
  }
}

bool MainWindow::TickSession() {
  const bool ok = program_.Tick();
  if (activity_ && activity_->Tick()) activityChanged_ = true;
  return ok;
}

WindowMetrics MainWindow::Metrics() const {
  WindowMetrics m;
  m.frameHeight = kSizingFrame;
  const int decoration = frameGeometry().height() - geometry().height();
  const int sides = (frameGeometry().width() - geometry().width()) / 2;
  m.captionHeight = std::max(0, decoration - 2 * sides);
  m.menuHeight = menuBar()->isVisible() ? menuBar()->height() : menuBar()->sizeHint().height();
  // The status bar takes its height from the client area as the menu bar does.
  if (status_ != nullptr)
    m.menuHeight += status_->isVisible() ? status_->height() : status_->sizeHint().height();
  // So does the channel list docked above or below the panes.
  if (channelDock_ != nullptr && channelDock_->isVisible() && !channelDock_->isFloating()) {
    const Qt::DockWidgetArea area = dockWidgetArea(channelDock_);
    if (area == Qt::TopDockWidgetArea || area == Qt::BottomDockWidgetArea)
      m.menuHeight += channelDock_->minimumSizeHint().height();
  }
  m.hScrollHeight = monitorPane_->horizontalBar()->sizeHint().height();
  return m;
}

bool MainWindow::NormalState() const {
  return (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) == 0;
}

void MainWindow::TrackFrame() {
  const QRect f = frameGeometry();
  const QRect g = geometry();
  if (!NormalState() || f == g) return;  // not known yet, or not the normal frame
  frame_ = QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(),
                    f.bottom() - g.bottom());
  if (!wantedOuter_.isValid()) return;
  const QRect wanted = wantedOuter_;
  wantedOuter_ = QRect();
  if (f != wanted) {
    resize(wanted.size().shrunkBy(frame_));
    move(wanted.topLeft());
  }
}

QRect MainWindow::NormalOuter() const {
  if (!isMaximized() && !isFullScreen()) return frameGeometry();
  // Maximised: the normal place and size; never shown normally, the settings' own.
  if (wantedOuter_.isValid()) return wantedOuter_;
  return normalGeometry().marginsAdded(frame_);
}

void MainWindow::StoreGeometry() {
  Settings& s = program_.settings;
  const QRect outer = NormalOuter();
  s.xPos = outer.x();
  s.yPos = outer.y();
  s.xSize = outer.width();
  s.ySize = outer.height();
  s.maximized = isMaximized() ? 1 : 0;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  TrackFrame();
  if (isMinimized()) return;
  const QSize decoration = frameGeometry().size() - size();
  const OuterSize outer{frameGeometry().width(), frameGeometry().height()};
  const int minimum =
      MinimumOuterHeight(Metrics(), look_.lineHeight, program_.monitor.monitorPane.maxLeftColumn);
  Rect work{0, 0, 0, 0};
  if (QScreen* sc = screen()) {
    const QRect a = sc->availableGeometry();
    work = Rect{a.left(), a.top(), a.left() + a.width(), a.top() + a.height()};
  }
  const OuterSize fitted =
      work.right > 0 ? FitMainWindow(outer, minimum, isMaximized(), work) : outer;
  if (fitted.width != outer.width || fitted.height != outer.height) {
    resize(fitted.width - decoration.width(), fitted.height - decoration.height());
    return;  // the resize comes back here
  }
  program_.settings.xSize = outer.width;
  program_.settings.ySize = outer.height;
}

void MainWindow::LayOutPanes() {
  split_.panesLaidOut = true;
  const int w = client_->width();
  const int h = client_->height();
  const PaneHeights heights = SplitClientArea(h, program_.settings.percent);
  split_.monitorPaneHeight = heights.monitorPaneHeight;
  split_.monitorPaneTop = heights.monitorPaneTop;
  filterPane_->setGeometry(0, 0, w, split_.monitorPaneTop);
  monitorPane_->setGeometry(0, split_.monitorPaneTop, w, split_.monitorPaneHeight);
  split_.monitorPaneScreenTop = client_->mapToGlobal(QPoint(0, split_.monitorPaneTop)).y();
}

void MainWindow::MonitorPaneResized() {
  SplitAdapter windows(*this);
  SplitMetrics metrics;
  metrics.frameHeight = kSizingFrame;
  metrics.hScrollHeight = monitorPane_->horizontalBar()->sizeHint().height();
  int clientWidth = 0;
  int clientHeight = 0;
  windows.MonitorClientSize(clientWidth, clientHeight);
  SplitMonitorPane(split_, program_.settings.percent, client_->width(), client_->height(),
                   look_.lineHeight, program_.monitor.monitorPane.maxLeftColumn, metrics, windows,
                   clientWidth, clientHeight);
}

void MainWindow::DragSplit(int top) {
  const int h = client_->height();
  top = std::clamp(top, 0, std::max(0, h - 1));
  monitorPane_->setGeometry(0, top, client_->width(), h - top);
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  TrackFrame();
  program_.settings.xPos = frameGeometry().x();
  program_.settings.yPos = frameGeometry().y();
  const QPoint at = frameGeometry().topLeft();
  if (!moveSeen_) {
    moveSeen_ = true;
    OpenLinkIfNeeded();
  } else if (!placed_) {
    // Showing the window brings moves of its own (the window manager placing
    // and framing it): they are not the user's, and retry nothing.
    if (event->spontaneous()) placed_ = true;
  } else if (at != triedAt_) {
    OpenLinkIfNeeded();
  }
  if (!placed_) triedAt_ = at;
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  QTimer::singleShot(0, this, [this] {
    // Where windows are not told their position (Wayland) no move comes:
    // the link opens on the first show instead.
    if (!moveSeen_) {
      moveSeen_ = true;
      OpenLinkIfNeeded();
    }
  });
  // Without a window manager no placing move comes either.
  QTimer::singleShot(500, this, [this] {
    if (!placed_) triedAt_ = frameGeometry().topLeft();
    placed_ = true;
  });
}

void MainWindow::OpenLinkIfNeeded() {
  if (closed_ || !program_.WantsLink() || program_.linkOpen()) return;
  // A recording or a sound device named on the command line is tried once:
  // moving the window cannot make it open. A serial port is tried again at
  // each move, as the user may have plugged it in meanwhile.
  const InputKind input = program_.options().input;
  if (input != InputKind::kNone && input != InputKind::kSerial && linkTried_) return;
  linkTried_ = true;
  triedAt_ = frameGeometry().topLeft();
  // A failure's message is shown after the move has been handled.
  messages_.Hold();
  const int opened = program_.OpenLink();
  messages_.Release();
  if (opened) StartTimer();
  status_->Update(program_);
}

void MainWindow::StartTimer() {
  timer_.setInterval(program_.draining() ? 0 : 100);
  timer_.start();
}

void MainWindow::ReopenLink() {
  timer_.stop();
  program_.CloseLink();
  if (!program_.WantsLink()) return;
  if (program_.OpenLink()) StartTimer();
  status_->Update(program_);
}

void MainWindow::Tick() {
  // A box opened inside a tick runs a loop in which the timer fires again.
  if (inTick_ || closed_) return;
  inTick_ = true;
  messages_.Hold();
  bool ok = true;
  if (program_.draining()) {
    // A recording decoded at once: ticks on stream time until the window
    // should paint again.
    QElapsedTimer slice;
    slice.start();
    do {
      ok = TickSession();
    } while (ok && program_.draining() && slice.elapsed() < 15);
  } else {
    ok = TickSession();
  }
  messages_.Release();
  inTick_ = false;
  notifier_.Flush();
  status_->Update(program_);
  if (activityChanged_) {
    activityChanged_ = false;
    channelDock_->table()->Refresh();
  }
  if (!ok) {
    timer_.stop();
  } else if (timer_.isActive()) {
    const int interval = program_.draining() ? 0 : 100;
    if (timer_.interval() != interval) timer_.setInterval(interval);
  }
}

void MainWindow::CaptionChanged(const char* caption) {
  setWindowTitle(QString::fromLatin1(caption));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  Qt::Orientation orientation = Qt::Vertical;
  ScrollRequest request = ScrollRequest::kOther;
  switch (event->key()) {
    case Qt::Key_PageUp:
      request = ScrollRequest::kPageBack;
      break;
    case Qt::Key_PageDown:
      request = ScrollRequest::kPageForward;
      break;
    case Qt::Key_Home:
      request = ScrollRequest::kTop;
      break;
    case Qt::Key_End:
      request = ScrollRequest::kBottom;
      break;
    case Qt::Key_Up:
      request = ScrollRequest::kLineBack;
      break;
    case Qt::Key_Down:
      request = ScrollRequest::kLineForward;
      break;
    case Qt::Key_Left:
      orientation = Qt::Horizontal;
      request = ScrollRequest::kPageBack;
      break;
    case Qt::Key_Right:
      orientation = Qt::Horizontal;
      request = ScrollRequest::kPageForward;
      break;
    default:
      QMainWindow::keyPressEvent(event);
      return;
  }
  monitorPane_->Scroll(orientation, request);
  event->accept();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  if (!ending_ && program_.settings.confirmExit != 0 && messages_.ConfirmExit() != 1) {
    event->ignore();
    return;
  }
  std::string error;
  ++saves_;
  StoreGeometry();
  if (!program_.Save(&error)) {
    std::fprintf(stderr, "skelmar: the settings could not be saved: %s\n", error.c_str());
    if (!ending_) {
      messages_.ShowMessage(("Settings not saved: " + error).c_str());
      if (messages_.AskQuestion("The settings could not be saved. Exit anyway?") != 1) {
        event->ignore();
        return;
      }
    }
  }
  StoreChannelDock();
  closed_ = true;
  timer_.stop();
  program_.Shutdown();
  event->accept();
}

void MainWindow::EndSession() {
  ending_ = true;
  close();
}

void MainWindow::OnExit() {
  // As the title-bar close: through closeEvent, after this command has returned.
  QTimer::singleShot(0, this, [this] { close(); });
}

void MainWindow::OnInterface() {
  const Settings before = program_.settings;
  if (!RunInterfaceDialog(this, program_.settings, messages_) ||
      !InterfaceLinkChanged(before, program_.settings)) {
    return;
  }
  // An input named on the command line is not the serial port: the new port
  // is kept in the settings and used when the program starts without it.
  const ConsoleOptions& o = program_.options();
  if (o.input == InputKind::kNone || o.input == InputKind::kSerial) {
    ReopenLink();
    return;
  }
  const char* what = o.input == InputKind::kAudioDevice ? "the sound card" : "the recording";
  const std::string text = std::string("The input of this run is ") + what + " " + o.inputPath +
                           ", not the serial port. The new port is used at the next start "
                           "without an input on the command line.";
  messages_.ShowMessage(text.c_str());
}

void MainWindow::SetNotifyOnMatch(bool on) {
  notifier_.SetEnabled(on);
  std::string error;
  if (!SaveNotifyOnMatch(program_.configFile(), on, error)) {
    messages_.ShowMessage(("The notification setting could not be saved: " + error).c_str());
  }
}

void MainWindow::RestartWith(ConsoleOptions options) {
  // The --record file holds the input it was given for; a new run must not
  // write over it.
  options.recordPath.clear();
  restart_ = std::move(options);
  EndSession();
}

void MainWindow::OnOpenRecording() {
  const auto chosen = ChooseRecording(this);
  if (!chosen) return;
  ConsoleOptions o = program_.options();
  o.input = chosen->first;
  o.inputPath = chosen->second;
  // The receiver's tuning of the settings file applies to a capture; what
  // the command line gave for the last input does not.
  o.iqFormat.clear();
  o.iqRate = 0;
  o.center.reset();
  o.channel.reset();
  RestartWith(std::move(o));
}

void MainWindow::OnReceiver() {
  ReceiverSettings current;
  ReadReceiverSettings(program_.configFile(), current);
  const Settings& s = program_.settings;
  QString port = QStringLiteral("none chosen (Setup > Interface)");
  if (s.serialDevice[0] != '\0') {
    port = QString::fromLocal8Bit(s.serialDevice);
  } else if (s.comPort != 0) {
    port = QStringLiteral("COM%1 (Setup > Interface)").arg(s.comPort);
  }
  const auto chosen = ChooseReceiver(this, current, port);
  if (!chosen) return;
  std::string error;
  if (!SaveReceiverChoice(program_.configFile(), *chosen, error)) {
    messages_.ShowMessage(("The receiver could not be saved: " + error).c_str());
    return;
  }
  // The new run takes its input from the settings file, as at a start
  // without an input on the command line.
  ConsoleOptions o = program_.options();
  o.input = InputKind::kNone;
  o.inputPath.clear();
  o.iqFormat.clear();
  o.iqRate = 0;
  o.center.reset();
  o.channel.reset();
  o.gain.reset();
  o.ppm = 0;
  RestartWith(std::move(o));
}

void MainWindow::OnOptions() { RunOptionsDialog(this, program_.settings, program_.monitor.front); }

void MainWindow::OnFont() {
  if (RunFontDialog(this, program_.settings)) ApplyFont();
}

void MainWindow::OnColors() {
  // ApplyColors rebuilds the background only when it changed.
  if (RunColorsDialog(this, program_.settings, messages_, customColors_).accepted) ApplyColors();
}

void MainWindow::OnFilters() {
  RunFiltersDialog(this, program_.settings, program_.monitor.filters,
                   program_.monitor.filterProcessor, messages_);
}

void MainWindow::OnStatistics() {
  RunStatisticsDialog(this, program_.settings, program_.monitor.stats, messages_);
}

namespace {

/// The README: installed beside the program, installed where this build
/// installs, or in the source tree the program was built from.
QString FindReadme() {
  const QString beside =
      QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/skelmar/README.md");
  for (const QString& path : {beside, QStringLiteral(SKELMAR_DOC_DIR "/README.md"),
                              QStringLiteral(SKELMAR_TREE_DIR "/README.md")}) {
    if (QFileInfo(path).isReadable()) return QFileInfo(path).canonicalFilePath();
  }
  return {};
}

const char* AboutText() {
  return "Skelmar " SKELMAR_VERSION
         "\n\nA radio-pager monitor: POCSAG, FLEX and GSC pages from a receiver's data "
         "slicer, a sound card or an SDR.\n\nLicence: none has been published with this "
         "copy; all rights are reserved by its authors.";
}

}  // namespace

void MainWindow::OnManual() {
  const QString readme = FindReadme();
  if (!readme.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(readme))) return;
  const std::string text =
      readme.isEmpty()
          ? std::string("The README was not found (it is installed in " SKELMAR_DOC_DIR
                        "). The manual page is there too: man skelmar")
          : "No program could show " + readme.toStdString() + ". The manual page: man skelmar";
  messages_.ShowMessage(text.c_str());
}

void MainWindow::OnAbout() {
  QMessageBox box(this);
  box.setObjectName(QStringLiteral("aboutBox"));
  box.setWindowTitle(QStringLiteral("About Skelmar"));
  box.setIconPixmap(windowIcon().pixmap(64, 64));
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromLatin1(AboutText()));
  box.exec();
}

void MainWindow::OnHelp() { messages_.ShowMessage("Yeah, right!  (I'm working on it!)"); }

void MainWindow::ApplyFont() {
  // The colours stay as they are shown until ApplyColors.
  QColor colors[kColorSlots + 1];
  std::copy(std::begin(look_.colors), std::end(look_.colors), colors);
  look_ = MakePaneLook(program_.settings);
  std::copy(std::begin(colors), std::end(colors), look_.colors);
  LayOutPanes();
  for (PaneWidget* pane : {filterPane_, monitorPane_}) {
    pane->ResizeModel();
    pane->canvas()->update();
  }
}

void MainWindow::ApplyColors() {
  const QColor background = look_.colors[kSlotBackground];
  UpdatePaneColors(look_, program_.settings);
  if (look_.colors[kSlotBackground] != background) {
    QPalette palette = client_->palette();
    palette.setColor(QPalette::Window, look_.colors[kSlotBackground]);
    client_->setPalette(palette);
  }
  for (PaneWidget* pane : {filterPane_, monitorPane_}) pane->canvas()->update();
}

}  // namespace skelmar::desktop
