// The desktop window offscreen: CPU used while idle, the cost of a full
// repaint of a 200-line pane, and an hour of mixed traffic replayed into it.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "frontend/edge_recording.h"
#include "mixed_traffic.h"
#include "shell/desktop/desktop_program.h"
#include "shell/desktop/main_window.h"
#include "shell/desktop/message_boxes.h"

using namespace skelmar;
using namespace skelmar::desktop;

namespace {

class SilentBeeper : public Beeper {
 public:
  void Beep() override {}
};

struct Session {
  explicit Session(const ConsoleOptions& options) {
    config.file = std::filesystem::temp_directory_path() / "bench_desktop.ini";
    config.origin = ConfigChoice::Origin::kOverride;
    std::filesystem::remove(config.file);
    program = std::make_unique<DesktopProgram>(options, config, messages, beeper);
    window = std::make_unique<MainWindow>(*program, messages);
  }
  ~Session() {
    window.reset();
    program.reset();
    std::filesystem::remove(config.file);
  }
  ConfigChoice config;
  QtMessageSink messages;
  SilentBeeper beeper;
  std::unique_ptr<DesktopProgram> program;
  std::unique_ptr<MainWindow> window;
};

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

/// CPU share of one core while the shown window runs its event loop with no
/// input: without a link (no timer), and with the 100 ms timer running on a
/// recording that has ended.
void Idle(benchmark::State& state, bool timer) {
  ConsoleOptions options;
  if (timer) {
    options.input = InputKind::kReplay;
    options.inputPath = SKELMAR_SOURCE_DIR "/tests/data/golden/pocsag-512.edges";
  }
  Session s(options);
  s.window->show();
  while (s.program->draining()) s.window->Tick();
  QTest::qWait(300);
  double share = 0;
  for (auto _ : state) {
    const double cpu = ProcessCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // The program's own event loop, as it runs (QTest::qWait would poll).
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    share = (ProcessCpuSeconds() - cpu) / (static_cast<double>(wall.nsecsElapsed()) * 1e-9);
  }
  state.counters["cpu_percent_of_core"] = share * 100.0;
  state.counters["timer_running"] = s.window->timerRunning() ? 1 : 0;
}
void BM_IdleNoInput(benchmark::State& state) { Idle(state, false); }
void BM_IdleTimerRunning(benchmark::State& state) { Idle(state, true); }
BENCHMARK(BM_IdleNoInput)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleTimerRunning)->Iterations(1)->Unit(benchmark::kMillisecond);

/// A whole repaint of a pane showing 200 lines of 80 characters in many
/// colours (a pane of its own: the main window is kept inside the screen).
void BM_FullRepaint200Lines(benchmark::State& state) {
  // Colour runs per line: a page line has about four (capcode, function,
  // type, message); eight is a busy FLEX line.
  const int runs = static_cast<int>(state.range(0));
  const int runLength = kPaneColumns / runs;
  Session s(ConsoleOptions{});
  TextPane& pane = s.program->monitor.monitorPane;
  const PaneLook look = MakePaneLook(s.program->settings);
  PaneWidget widget(pane, look, kSizingFrame, true, nullptr);
  widget.resize(82 * look.charWidth + 40, 200 * look.lineHeight + 2 * kSizingFrame + 40);
  widget.show();
  QTest::qWait(100);
  for (int line = 0; line < kPaneLines; ++line) {
    for (int c = 0; c < kPaneColumns; ++c) {
      pane.SetColor(2 + (c / runLength + line) % 10);
      pane.PutChar(static_cast<char>('!' + (c + line) % 90));  // the 80th character ends the row
    }
  }
  pane.SetColor(kSlotAlphanumeric);
  pane.PutText("the line being composed");
  pane.ScrollVertical(-1000);
  QWidget* canvas = widget.canvas();
  for (auto _ : state) canvas->repaint();
  state.counters["lines_shown"] = std::min(pane.visibleLines, pane.lineCount + 1);
  state.counters["runs_per_line"] = runs;
}
BENCHMARK(BM_FullRepaint200Lines)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

/// One hour of generated mixed traffic replayed into the window as fast as
/// it keeps up, painting as it goes.
void BM_OneHourReplayIntoWindow(benchmark::State& state) {
  const std::string path = "/tmp/bench_desktop_one_hour.edges";
  siggen::MixedTrafficOptions traffic;
  traffic.rngStart = 4;
  traffic.seconds = 3600;
  const siggen::MixedTraffic made = siggen::MakeMixedTraffic(traffic);
  EdgeRecordingWriter writer;
  std::string error;
  if (!writer.Open(path, EdgeRecordingFormat::kBinary, &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  double ticks = 0;
  for (const PulseSample& sample : made.edges) {
    writer.Write(sample);
    ticks += sample.duration;
  }
  if (!writer.Close(&error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const double stream = ticks / kTicksPerSecond;
  double wall = 0;
  for (auto _ : state) {
    ConsoleOptions options;
    options.input = InputKind::kReplay;
    options.inputPath = path;
    options.fourLevel = 1;
    options.startTime = "2026-01-01T00:00:00Z";  // the whole hour on one day
    Session s(options);
    QElapsedTimer timer;
    timer.start();
    s.window->show();  // the first move opens the recording; the timer drains it
    while (s.program->draining()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double seconds = static_cast<double>(timer.nsecsElapsed()) * 1e-9;
    state.SetIterationTime(seconds);
    wall += seconds;
    long pages = 0;
    for (const auto& row : s.program->monitor.stats.daily) pages += row[0] + row[1];
    state.counters["pages_decoded"] = static_cast<double>(pages);
  }
  std::remove(path.c_str());
  state.counters["stream_s"] = stream;
  state.counters["pages_sent"] = static_cast<double>(made.pages.size());
  state.counters["x_real_time"] = stream * static_cast<double>(state.iterations()) / wall;
}
BENCHMARK(BM_OneHourReplayIntoWindow)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
