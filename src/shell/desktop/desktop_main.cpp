// The skelmar program of the desktop build: the window, or the console
// monitor with --console or when there is no display to open a window on.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "output/message_dialogs.h"
#include "platform/program_path.h"
#include "session/config_location.h"
#include "session/options.h"
#include "session/program_strings.h"
#include "session/receiver_settings.h"
#include "shell/console/console_run.h"
#include "shell/desktop/desktop_program.h"
#include "shell/desktop/main_window.h"
#include "shell/desktop/message_boxes.h"
#include "shell/desktop/program_icon.h"

namespace skelmar::desktop {
namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && value[0] != '\0') return true;
  }
  return false;
}

class QtBeeper : public Beeper {
 public:
  void Beep() override { QApplication::beep(); }
};

int RunWindow(int argc, char** argv, const ConsoleOptions& given) {
  // SIGTERM, SIGINT and SIGHUP end the program as OK in the exit question
  // would; they are read from a descriptor, so no handler and no global.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigaddset(&stops, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  const int signals = signalfd(-1, &stops, SFD_CLOEXEC | SFD_NONBLOCK);

  // Our own dialogs: titles and placement are the program's.
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication app(argc, argv);
  // The program's icon on every window and box, the start-up ones included.
  QApplication::setWindowIcon(MakeProgramIcon());
  QGuiApplication::setDesktopFileName(QStringLiteral("skelmar"));

  const std::string program = ProgramPath(argv[0]);
  const ConfigChoice config =
      ChooseConfigFile(given.configPath.empty() ? nullptr : given.configPath.c_str(), program,
                       std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
  // The [Receiver] section fills in an SDR input the command line leaves
  // open, as in the console, so the window can run from an SDR by itself.
  ConsoleOptions o = given;
  if (std::string problem; !ApplyReceiverSection(config.file, o, problem)) {
    std::fprintf(stderr, "skelmar: %s\n", problem.c_str());
    return 1;
  }

  // The stop signals are read from the start: a start-up message waiting for
  // its OK (a service manager's unattended start) must not keep them out.
  // Until the window exists, a stop closes every box as it opens and the
  // program ends once the start-up is through.
  MainWindow* window = nullptr;
  bool stoppedEarly = false;
  QTimer closeBoxes;
  closeBoxes.setInterval(20);
  QObject::connect(&closeBoxes, &QTimer::timeout, [] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QDialog*>(widget); box != nullptr && box->isVisible()) {
        box->done(QDialog::Rejected);  // past any rule that only OK ends it
      }
    }
  });
  QSocketNotifier stop(signals, QSocketNotifier::Read);
  QObject::connect(&stop, &QSocketNotifier::activated, [&] {
    signalfd_siginfo info;
    while (read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    }
    if (window != nullptr) {
      window->EndSession();
      return;
    }
    stoppedEarly = true;
    closeBoxes.start();
  });

  QtMessageSink messages;
  QtBeeper beeper;
  int status = kExitOk;
  // One run a pass; the window's input choosers end a run and name the
  // input of the next, which opens in a new window at the same place.
  for (bool first = true;; first = false) {
    DesktopProgram desktop(o, config, messages, beeper);
    if (first) closeBoxes.stop();
    if (signals >= 0 && stoppedEarly) {
      close(signals);
      return kExitOk;
    }
    // A settings file the user named and we cannot read ends the program, as
    // in the console; its cause was shown.
    if (desktop.startStatus() != kExitOk) {
      if (signals >= 0) close(signals);
      return desktop.startStatus();
    }
    // --json: the records go to standard output, as the console writes them.
    if (o.json) desktop.SetOutputs(stdout, nullptr);
    // The feeds' grace period runs as the window closes: a further stop
    // signal ends it at once, as in the console.
    desktop.SetGraceCutShort([signals] {
      signalfd_siginfo info;
      return signals >= 0 && read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
    });
    MainWindow mainWindow(desktop, messages);
    window = &mainWindow;
    // The desktop session ending (logout) closes the program without the question.
    const QMetaObject::Connection logout =
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainWindow,
                         [&mainWindow](QSessionManager&) { mainWindow.EndSession(); });

    mainWindow.show();
    status = app.exec();
    window = nullptr;
    QObject::disconnect(logout);
    const int finished = desktop.Finish();
    if (status == kExitOk) status = finished;
    if (!mainWindow.restartWith()) break;
    o = *mainWindow.restartWith();
    if (std::string problem; !ApplyReceiverSection(config.file, o, problem)) {
      messages.ShowMessage(problem.c_str());
      o.input = InputKind::kNone;
    }
  }
  if (signals >= 0) close(signals);
  return status;
}

}  // namespace
}  // namespace skelmar::desktop

int main(int argc, char** argv) {
  using namespace skelmar;
  bool console = !desktop::HasDisplay();
  for (int i = 1; i < argc; ++i) console = console || std::strcmp(argv[i], "--console") == 0;
  if (console) return RunConsoleProgram(argc, argv);

  ConsoleOptions options;
  std::string error;
  if (!ParseConsoleOptions(argc, argv, options, error)) {
    std::fprintf(stderr, "skelmar: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(ConsoleHelpText(true), stdout);
    return 0;
  }
  if (options.version) {
    std::puts("skelmar 0.1.0");
    return 0;
  }
  // The window shows its counts in the Statistics dialog and paints its own
  // colours; these two only shape what the console prints.
  const char* consoleOnly = options.stats                       ? "--stats"
                            : options.color != ColorMode::kAuto ? "--color"
                                                                : nullptr;
  if (consoleOnly != nullptr) {
    std::fprintf(stderr, "skelmar: %s works with --console only\n", consoleOnly);
    return 2;
  }
  return desktop::RunWindow(argc, argv, options);
}
