// The main window under a reparenting window manager on a real X server: the
// outer place and size and the maximised state survive a close and a start,
// and a port that cannot be opened is reported once per move of the user.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "shell/desktop/desktop_program.h"
#include "shell/desktop/main_window.h"
#include "shell/desktop/message_boxes.h"

extern char** environ;

using namespace skelmar;
using namespace skelmar::desktop;

namespace {

bool OnPath(const char* name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    if (access((dir + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

pid_t Spawn(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return 0;
  return pid;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
      c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = r != nullptr ? r->atom : xcb_atom_t{0};
  std::free(r);
  return atom;
}

/// An X server of our own with openbox on it, for the length of the run.
class FramedDisplay {
 public:
  FramedDisplay() {
    if (!OnPath("Xvfb") || !OnPath("openbox")) {
      reason = "Xvfb or openbox is not installed (scripts/setup.sh installs them)";
      return;
    }
    int ready[2];
    if (pipe(ready) != 0) return;
    server_ = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24",
                     "-nolisten", "tcp"});
    close(ready[1]);
    char number[16] = {};
    const ssize_t n = server_ != 0 ? read(ready[0], number, sizeof number - 1) : 0;
    close(ready[0]);
    if (n <= 0) {
      reason = "Xvfb did not start";
      return;
    }
    display_ = ":" + std::string(number, static_cast<size_t>(n));
    display_.erase(display_.find_last_not_of("\n ") + 1);
    setenv("DISPLAY", display_.c_str(), 1);
    manager_ = Spawn({"openbox", "--sm-disable"});
    // Ready once it has claimed the screen.
    xcb_connection_t* c = xcb_connect(display_.c_str(), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
    for (int i = 0; i < 100 && reason.empty(); ++i) {
      xcb_get_property_reply_t* r = xcb_get_property_reply(
          c, xcb_get_property(c, 0, root, check, XCB_ATOM_WINDOW, 0, 1), nullptr);
      const bool up = r != nullptr && xcb_get_property_value_length(r) > 0;
      std::free(r);
      if (up) {
        xcb_disconnect(c);
        return;
      }
      usleep(50000);
    }
    xcb_disconnect(c);
    reason = "openbox did not start";
  }
  ~FramedDisplay() {
    for (pid_t pid : {manager_, server_}) {
      if (pid == 0) continue;
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
  std::string reason;  ///< why there is no framed display (empty: there is one)

 private:
  pid_t server_ = 0;
  pid_t manager_ = 0;
  std::string display_;
};

/// Asks the window manager to maximise or restore the window, as its title
/// bar's button does (not through Qt's own window state).
void AskWindowManager(QWidget& window, bool maximise) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11->connection();
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = static_cast<xcb_window_t>(window.winId());
  event.type = Atom(c, "_NET_WM_STATE");
  event.data.data32[0] = maximise ? 1 : 0;
  event.data.data32[1] = Atom(c, "_NET_WM_STATE_MAXIMIZED_VERT");
  event.data.data32[2] = Atom(c, "_NET_WM_STATE_MAXIMIZED_HORZ");
  event.data.data32[3] = 2;  // a user's request
  xcb_send_event(c, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(c);
}

class SilentBeeper : public Beeper {
 public:
  void Beep() override {}
};

/// One start of the program over the settings file `file`.
struct Start {
  Start(const std::filesystem::path& file, ConsoleOptions options = {}) {
    config.file = file;
    config.origin = ConfigChoice::Origin::kOverride;
    for (int i = 0; i < 8; ++i) messages.SetNextAnswer(1);  // no box waits for a click
    program = std::make_unique<DesktopProgram>(options, config, messages, beeper);
    window = std::make_unique<MainWindow>(*program, messages);
    window->show();
  }
  ~Start() {
    window.reset();
    program.reset();
  }
  ConfigChoice config;
  QtMessageSink messages;
  SilentBeeper beeper;
  std::unique_ptr<DesktopProgram> program;
  std::unique_ptr<MainWindow> window;
};

std::string FileText(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

QString Show(const QRect& r) {
  return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

}  // namespace

class WindowManagerTest : public QObject {
  Q_OBJECT
 public:
  explicit WindowManagerTest(std::string reason) : reason_(std::move(reason)) {}

 private Q_SLOTS:
  void initTestCase() {
    if (!reason_.empty()) QSKIP(reason_.c_str());
  }

  void OuterGeometryAndMaximisedStateRoundTrip() {
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "s.INI";
    std::ofstream(file) << "[Skelmar]\nxPos=100\nyPos=80\nxSize=600\nySize=400\nConfirmExit=0\n";
    QRect resized;
    {
      Start s(file);
      // The settings' size is the outer one, frame and title bar included.
      QTRY_VERIFY(s.window->geometry() != s.window->frameGeometry());  // framed
      QTRY_COMPARE(Show(s.window->frameGeometry()), QString("100,80 600x400"));
      // The user makes it smaller and moves it.
      s.window->resize(480, 290);
      s.window->move(150, 120);
      QTRY_COMPARE(s.window->frameGeometry().topLeft(), QPoint(150, 120));
      QTRY_COMPARE(s.window->geometry().size(), QSize(480, 290));
      resized = s.window->frameGeometry();
      s.window->close();
    }
    {
      Start s(file);
      QTRY_VERIFY(s.window->geometry() != s.window->frameGeometry());
      QTRY_COMPARE(Show(s.window->frameGeometry()), Show(resized));
      QTest::qWait(300);  // no late growth once the frame is known
      QCOMPARE(Show(s.window->frameGeometry()), Show(resized));
      AskWindowManager(*s.window, true);
      QTRY_VERIFY(s.window->isMaximized());
      QTest::qWait(200);
      s.window->close();
    }
    QVERIFY2(FileText(file).find("Maximized=1") != std::string::npos, FileText(file).c_str());
    {
      Start s(file);
      QTRY_VERIFY(s.window->isMaximized());
      QTRY_VERIFY(s.window->frameGeometry().width() >= 1280);
      QVERIFY(s.window->frameGeometry().top() >= -1);  // the title bar on the screen
      // Restored, it has the place and size it had before it was maximised.
      AskWindowManager(*s.window, false);
      QTRY_VERIFY(!s.window->isMaximized());
      QTRY_COMPARE(Show(s.window->frameGeometry()), Show(resized));
      s.window->close();
    }
    QVERIFY(FileText(file).find("Maximized") == std::string::npos);
    {
      Start s(file);
      QTRY_VERIFY(s.window->geometry() != s.window->frameGeometry());
      QTRY_COMPARE(Show(s.window->frameGeometry()), Show(resized));
      s.window->close();
    }
  }

  void PortThatCannotOpenIsReportedOncePerUserMove() {
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "s.INI";
    std::ofstream(file) << "[Skelmar]\nxPos=100\nyPos=80\nConfirmExit=0\n";
    ConsoleOptions serial;
    serial.input = InputKind::kSerial;
    serial.inputPath = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    Start s(file, serial);
    QTRY_COMPARE(s.messages.shown().size(), size_t{1});
    QTest::qWait(800);  // the window manager's own moves have come by now
    QCOMPARE(s.messages.shown().size(), size_t{1});
    QVERIFY(s.messages.shown()[0].find("A50285BI-if00-port0") != std::string::npos);
    // The user moves the window: one more try.
    s.window->move(200, 150);
    QTRY_COMPARE(s.messages.shown().size(), size_t{2});
    QTest::qWait(300);
    QCOMPARE(s.messages.shown().size(), size_t{2});
    s.window->close();
    QCOMPARE(s.program->Finish(), kExitFailure);  // as the console ends
  }

  void RecordingThatCannotOpenIsReportedOnce() {
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "s.INI";
    std::ofstream(file) << "[Skelmar]\nxPos=100\nyPos=80\nConfirmExit=0\n";
    ConsoleOptions replay;
    replay.input = InputKind::kReplay;
    replay.inputPath = dir.path().toStdString() + "/missing.edges";
    Start s(file, replay);
    QTRY_COMPARE(s.messages.shown().size(), size_t{1});
    QTest::qWait(800);
    s.window->move(200, 150);
    QTest::qWait(500);
    QCOMPARE(s.messages.shown().size(), size_t{1});
    s.window->close();
    QCOMPARE(s.program->Finish(), kExitFailure);
  }

 private:
  std::string reason_;
};

int main(int argc, char** argv) {
  FramedDisplay display;
  qputenv("QT_QPA_PLATFORM", display.reason.empty() ? "xcb" : "offscreen");
  QApplication app(argc, argv);
  WindowManagerTest test(display.reason);
  return QTest::qExec(&test, argc, argv);
}

#include "window_manager_test.moc"
