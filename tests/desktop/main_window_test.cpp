// The desktop program's main window, driven through its real widgets:
// caption, menu commands, keys, layout, following and scrolled-back panes,
// message box, exit question, painted colours and the decoded pages.
#include "shell/desktop/main_window.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "audio_writer.h"
#include "frontend/edge_recording.h"
#include "iq_writer.h"
#include "session/program_strings.h"
#include "session/receiver_settings.h"
#include "shell/console/console_output.h"
#include "shell/desktop/desktop_program.h"
#include "shell/desktop/input_dialog.h"
#include "shell/desktop/message_boxes.h"

using namespace skelmar;
using namespace skelmar::desktop;

namespace {

class SilentBeeper : public Beeper {
 public:
  void Beep() override {}
};

/// One program with its window over a settings file in a temporary folder.
struct WindowFixture {
  explicit WindowFixture(ConsoleOptions options = {}, const char* ini = nullptr) {
    config.file = std::filesystem::path(dir.path().toStdString()) / "Skelmar.INI";
    config.origin = ConfigChoice::Origin::kOverride;
    if (ini != nullptr) std::ofstream(config.file) << ini;
    program = std::make_unique<DesktopProgram>(options, config, messages, beeper);
    window = std::make_unique<MainWindow>(*program, messages);
  }
  ~WindowFixture() {
    window.reset();
    program.reset();
  }
  void Show() {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
  }
  /// Decodes a recording to its end, then a few ticks more.
  void Drain() {
    for (int i = 0; i < 100000 && program->draining(); ++i) window->Tick();
    for (int i = 0; i < 5; ++i) window->Tick();
  }
  void WriteLines(int count, const char* prefix) {
    TextPane& pane = program->monitor.monitorPane;
    for (int i = 0; i < count; ++i) {
      pane.SetColor(kSlotAlphanumeric);
      pane.PutText((std::string(prefix) + std::to_string(i)).c_str());
      pane.EndLine();
    }
  }
  QTemporaryDir dir;
  ConfigChoice config;
  QtMessageSink messages;
  SilentBeeper beeper;
  std::unique_ptr<DesktopProgram> program;
  std::unique_ptr<MainWindow> window;
};

ConsoleOptions Replay(const char* recording, bool fourLevel) {
  ConsoleOptions o;
  o.input = InputKind::kReplay;
  o.inputPath = std::string(SKELMAR_SOURCE_DIR) + "/" + recording;
  o.fourLevel = fourLevel ? 1 : -1;
  o.startTime = "2026-01-01T00:00:00Z";
  return o;
}

std::string Row(const TextPane& pane, int i) { return pane.lines[i]; }

/// Takes the URLs the program would open.
class UrlCatcher : public QObject {
  Q_OBJECT

 public Q_SLOTS:
  void Open(const QUrl& url) { opened << url; }

 public:
  QList<QUrl> opened;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void StartupTitleThenPocsagCaption() {
    WindowFixture s(Replay("tests/data/golden/pocsag-1200.edges", false));
    QStringList titles;
    connect(s.window.get(), &QWidget::windowTitleChanged, this,
            [&titles](const QString& t) { titles << t; });
    QCOMPARE(s.window->windowTitle(), QString(kStartupTitle));
    s.Show();
    QVERIFY(s.program->linkOpen());  // the first move opened the recording
    QVERIFY(s.window->timerRunning());
    s.Drain();
    QVERIFY2(titles.contains(" Skelmar - POCSAG 1200"), qPrintable(titles.join('|')));
    QCOMPARE(titles.last(), QString(" Skelmar"));  // the hold ran out after the last page
  }

  void SamePagesAsTheConsole() {
    WindowFixture s(Replay("samples/mixed-traffic.edges", true), "[Skelmar]\n");
    s.Show();
    s.Drain();
    std::ifstream expected(std::string(SKELMAR_SOURCE_DIR) +
                           "/tests/golden/expected/mixed-traffic.txt");
    std::vector<std::string> console;
    for (std::string line; std::getline(expected, line);) console.push_back(line);
    const TextPane& pane = s.program->monitor.monitorPane;
    QVERIFY(console.size() > 50);
    // The pane keeps the last 199 rows; the console printed them all.
    const int rows = pane.lineCount;
    QCOMPARE(rows, std::min<int>(static_cast<int>(console.size()), kPaneLines - 1));
    const size_t offset = console.size() - static_cast<size_t>(rows);
    for (int i = 0; i < rows; ++i) {
      const std::string shown =
          RenderRow(pane.lines[i], pane.colors[i], s.program->settings, false);
      QCOMPARE(shown, console[offset + static_cast<size_t>(i)]);
    }
  }

  void CapcodeAndTextPaintedInTheirSlotColours() {
    WindowFixture s(Replay("tests/data/golden/pocsag-1200.edges", false));
    s.window->resize(800, 400);
    s.Show();
    s.Drain();
    QTest::qWait(50);
    PaneWidget* paneWidget = s.window->monitorPane();
    const TextPane& pane = s.program->monitor.monitorPane;
    const QImage image =
        paneWidget->canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int checked[kColorSlots + 1] = {};
    const PaneLook look = MakePaneLook(s.program->settings);
    for (int i = pane.topLine; i < pane.lineCount; ++i) {
      for (int c = 0; pane.lines[i][c] != 0 && c < kPaneColumns; ++c) {
        const int slot = pane.colors[i][c];
        if (slot != kSlotCapcode && slot != kSlotAlphanumeric) continue;
        const QRect cell((c - pane.leftColumn) * look.charWidth,
                         (i - pane.topLine) * look.lineHeight, look.charWidth, look.lineHeight);
        int ink = 0;
        for (int y = cell.top(); y <= cell.bottom() && y < image.height(); ++y) {
          for (int x = cell.left(); x <= cell.right() && x < image.width(); ++x) {
            const QColor p = image.pixelColor(x, y);
            if (p == QColor(Qt::black)) continue;  // background (slot 1)
            ++checked[slot];
            ++ink;
            if (slot == kSlotCapcode) {
              // Green 0,128,0 over black: green alone.
              QVERIFY2(p.red() == 0 && p.blue() == 0 && p.green() > 0,
                       qPrintable(QString("capcode pixel %1").arg(p.name())));
            } else {
              // Yellow 255,255,0 over black: red equal to green, no blue.
              QVERIFY2(p.red() == p.green() && p.red() > 0 && p.blue() == 0,
                       qPrintable(QString("text pixel %1").arg(p.name())));
            }
          }
        }
        // Every character but a blank leaves ink in its own cell.
        if (pane.lines[i][c] != ' ') {
          QVERIFY2(ink > 0, qPrintable(QString("row %1 column %2 '%3' not painted")
                                           .arg(i)
                                           .arg(c)
                                           .arg(QChar(pane.lines[i][c]))));
        }
      }
    }
    QVERIFY(checked[kSlotCapcode] > 50);
    QVERIFY(checked[kSlotAlphanumeric] > 50);
  }

  void SettingsFileProblemIsSaidOnce() {
    // An entry that cannot be understood is named in a message box before the
    // window opens; the entries around it still work.
    QTemporaryDir dir;
    ConfigChoice config;
    config.file = std::filesystem::path(dir.path().toStdString()) / "Skelmar.INI";
    config.origin = ConfigChoice::Origin::kOverride;
    std::ofstream(config.file) << "[Filter]\nFilterCount=2\nFilter1=2,\"1234567\",0,\"Ok\",\"\",0\n"
                                  "Filter2=garbage\n";
    QtMessageSink messages;
    SilentBeeper beeper;
    messages.SetNextAnswer(1);
    DesktopProgram program(ConsoleOptions{}, config, messages, beeper);
    QCOMPARE(messages.shown().size(), size_t{1});
    QVERIFY(messages.shown()[0].find("Filter2") != std::string::npos);
    QCOMPARE(program.monitor.filters.count, 2);
  }

  void EveryMenuCommand() {
    WindowFixture s;
    s.Show();
    auto trigger = [&s](int command) {
      auto* action = s.window->findChild<QAction*>(QString("command%1").arg(command));
      QVERIFY(action != nullptr);
      action->trigger();
      QCoreApplication::processEvents();
    };
    // 202 to 207 open their dialogs modally over the window; each is closed
    // as soon as it shows, and its title says which one opened.
    const char* titles[] = {"Skelmar Interface", "Skelmar Options", "Skelmar Font",
                            "Skelmar Colors",    "Skelmar Filters", "Skelmar Statistics"};
    for (int command = 202; command <= 207; ++command) {
      QString seen;
      QTimer closer;
      closer.setInterval(10);
      QObject::connect(&closer, &QTimer::timeout, [&seen] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
          seen = dialog->windowTitle();
          dialog->reject();
        }
      });
      closer.start();
      trigger(command);
      closer.stop();
      QCOMPARE(seen, QString(titles[command - 202]));
    }
    const size_t before = s.messages.shown().size();
    trigger(208);
    QCOMPARE(s.messages.shown().size(), before);
    s.messages.SetNextAnswer(1);
    trigger(209);
    QCOMPARE(s.messages.shown().back(), std::string("Yeah, right!  (I'm working on it!)"));
    // Exit asks first; Cancel keeps the window.
    s.messages.SetNextAnswer(0);
    trigger(201);
    QTest::qWait(20);
    QCOMPARE(s.messages.shown().back(), std::string("Skelmar Will Now Exit"));
    QVERIFY(s.window->isVisible());
    // Ctrl+Q goes the same way: the question, and Cancel keeps the window.
    const size_t asked = s.messages.shown().size();
    s.messages.SetNextAnswer(0);
    s.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    QTest::keyClick(s.window.get(), Qt::Key_Q, Qt::ControlModifier);
    QTest::qWait(20);
    QCOMPARE(s.messages.shown().size(), asked + 1);
    QCOMPARE(s.messages.shown().back(), std::string("Skelmar Will Now Exit"));
    QVERIFY(s.window->isVisible());
    // Menu texts and access keys.
    QStringList bar;
    for (QAction* a : s.window->menuBar()->actions()) bar << a->text();
    QCOMPARE(bar, QStringList({"&File", "&Setup", "&Filter...", "&Monitor", "&Help..."}));
  }

  void KeysLayoutAndScrolling() {
    WindowFixture s;
    s.window->resize(300, 200);
    s.Show();
    // Layout: a client area 401 high at Percent 75 gives 300 below, 101 above.
    s.program->settings.percent = 75.0;
    const int menu = s.window->menuBar()->height() + s.window->statusBar()->height();
    s.window->resize(300, 401 + menu);
    QTest::qWait(20);
    QCOMPARE(s.window->centralWidget()->height(), 401);
    QCOMPARE(s.window->filterPane()->height(), 101);
    QCOMPARE(s.window->monitorPane()->height(), 300);
    QCOMPARE(s.window->monitorPane()->y(), 101);

    s.WriteLines(150, "line ");
    const TextPane& pane = s.program->monitor.monitorPane;
    const int visible = pane.visibleLines;
    QVERIFY(visible > 3);
    QCOMPARE(pane.topLine, 150 - visible);  // followed the new lines
    QVERIFY(pane.maxLeftColumn > 8);        // narrower than a line
    auto key = [&s](Qt::Key k) { QTest::keyClick(s.window.get(), k); };
    key(Qt::Key_Home);
    QCOMPARE(pane.topLine, 0);
    key(Qt::Key_PageDown);
    QCOMPARE(pane.topLine, visible);
    key(Qt::Key_Down);
    QCOMPARE(pane.topLine, visible + 1);
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    QCOMPARE(pane.topLine, visible - 1);
    key(Qt::Key_PageUp);
    QCOMPARE(pane.topLine, 0);  // clamped
    key(Qt::Key_End);
    QCOMPARE(pane.topLine, pane.maxTopLine);
    key(Qt::Key_Right);
    QCOMPARE(pane.leftColumn, 8);
    key(Qt::Key_Left);
    QCOMPARE(pane.leftColumn, 0);
    QCOMPARE(s.window->monitorPane()->verticalBar()->value(), pane.topLine);
    QVERIFY(s.window->monitorPane()->verticalBar()->isVisible());
    // The filter pane has nothing to scroll: no bars.
    QVERIFY(!s.window->filterPane()->verticalBar()->isVisible());
  }

  void FollowingAndScrolledBackPanes() {
    WindowFixture s;
    s.window->resize(700, 400);
    s.Show();
    s.WriteLines(199, "first ");
    const TextPane& pane = s.program->monitor.monitorPane;
    QCOMPARE(pane.topLine, pane.maxTopLine);
    // Scrolled back to line 100: old lines go, the view keeps its text.
    s.window->monitorPane()->Scroll(Qt::Vertical, ScrollRequest::kThumbPosition, 100);
    QCOMPARE(pane.topLine, 100);
    const std::string top = Row(pane, 100);
    s.WriteLines(50, "second ");
    QCOMPARE(pane.topLine, 50);
    QCOMPARE(Row(pane, pane.topLine), top);
    QCOMPARE(s.window->monitorPane()->verticalBar()->value(), 50);
    // Back at the end it follows again.
    s.window->monitorPane()->Scroll(Qt::Vertical, ScrollRequest::kBottom);
    s.WriteLines(3, "third ");
    QCOMPARE(pane.topLine, pane.maxTopLine);
    QCOMPARE(Row(pane, pane.lineCount - 1), std::string("third 2"));
  }

  void ViewAtTheEndStaysThereAfterAResizeOrADrag() {
    WindowFixture s;
    s.window->resize(700, 500);
    s.Show();
    s.WriteLines(120, "first ");
    const TextPane& pane = s.program->monitor.monitorPane;
    QCOMPARE(pane.topLine, pane.maxTopLine);
    s.window->resize(700, 300);  // fewer lines fit
    QTRY_COMPARE(pane.topLine, pane.maxTopLine);
    s.WriteLines(2, "second ");
    QCOMPARE(pane.topLine, pane.maxTopLine);
    // The split dragged down: the monitor pane shrinks again.
    s.window->monitorPane()->onTopEdgeDragged(s.window->monitorPane()->y() + 60);
    QCOMPARE(pane.topLine, pane.maxTopLine);
    s.WriteLines(1, "third ");
    QCOMPARE(pane.topLine, pane.maxTopLine);
    QCOMPARE(Row(pane, pane.topLine + pane.visibleLines - 1), std::string("third 0"));
    // Scrolled back, a resize leaves the view where it is.
    s.window->monitorPane()->Scroll(Qt::Vertical, ScrollRequest::kThumbPosition, 10);
    s.window->resize(700, 280);
    QTRY_VERIFY(pane.topLine <= 10);
    QVERIFY(pane.topLine < pane.maxTopLine);
  }

  void FontAndColourChangesReachThePanes() {
    WindowFixture s;
    s.window->resize(600, 400);
    s.Show();
    const TextPane& pane = s.program->monitor.monitorPane;
    const int lines = pane.visibleLines;
    s.program->settings.font.height = -22;  // twice the default
    s.window->ApplyFont();
    QVERIFY2(pane.visibleLines <= lines / 2 + 1 && pane.visibleLines > 0,
             qPrintable(QString("%1 -> %2").arg(lines).arg(pane.visibleLines)));
    s.program->settings.colors[kSlotBackground] = Rgb(0, 0, 128);
    s.window->ApplyColors();
    QWidget* canvas = s.window->monitorPane()->canvas();
    const QImage image = canvas->grab().toImage();
    QCOMPARE(image.pixelColor(image.width() - 2, image.height() - 2), QColor(0, 0, 128));
  }

  void MessageBoxClosesOnlyOnOk() {
    const std::string text(90, 'm');
    MessageDialog dialog(nullptr, text.c_str());
    QCOMPARE(dialog.text().size(), 79);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.isVisible());
    dialog.close();
    QVERIFY(dialog.isVisible());
    dialog.findChild<QPushButton*>("ok")->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    QuestionDialog question(nullptr, "Sure?");
    question.show();
    QTest::keyClick(&question, Qt::Key_Escape);
    QCOMPARE(question.result(), int(QDialog::Rejected));
  }

  void LongCauseShownWholeAfterTheFixedTextAndOnStandardError() {
    const std::string cause =
        "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0: no such device";
    const std::string text = "Error Loading SLICER.VXD! " + cause;
    MessageDialog dialog(nullptr, text.c_str());
    QCOMPARE(dialog.text(), QString("Error Loading SLICER.VXD!"));
    QCOMPARE(dialog.detail(), QString::fromStdString(cause));
    MessageDialog fits(nullptr, "Invalid characters in capcode!");
    QCOMPARE(fits.text(), QString("Invalid characters in capcode!"));
    QVERIFY(fits.detail().isEmpty());

    QtMessageSink messages;
    std::FILE* log = std::tmpfile();
    messages.SetLog(log);
    messages.SetNextAnswer(1);
    messages.ShowMessage(text.c_str());
    QCOMPARE(messages.shown().back(), text);
    std::rewind(log);
    char line[256] = {};
    QVERIFY(std::fgets(line, sizeof line, log) != nullptr);
    QCOMPARE(std::string(line), "skelmar: " + text + "\n");
    std::fclose(log);
  }

  void InterfaceChangeDuringAReplaySaysWhyNothingChanges() {
    WindowFixture s(Replay("tests/data/golden/pocsag-1200.edges", false));
    s.Show();
    QVERIFY(s.program->linkOpen());
    QTimer picker;
    picker.setInterval(10);
    QObject::connect(&picker, &QTimer::timeout, [&picker] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      picker.stop();
      auto* port = dialog->findChild<QComboBox*>("port");
      port->setCurrentIndex(2);
      Q_EMIT port->activated(2);
      dialog->findChild<QPushButton*>("ok")->click();
    });
    picker.start();
    s.messages.SetNextAnswer(1);
    s.window->OnInterface();
    QVERIFY(s.program->settings.comPort != 0);  // kept for the next start
    QVERIFY(s.program->linkOpen());             // the recording goes on
    const std::string& said = s.messages.shown().back();
    QVERIFY2(
        said.find("recording") != std::string::npos && said.find("next start") != std::string::npos,
        said.c_str());
  }

  void StatusBarFollowsTheReplayToItsEnd() {
    WindowFixture s(Replay("tests/data/golden/pocsag-1200.edges", false));
    auto* input = s.window->findChild<QLabel*>("inputStatus");
    auto* pages = s.window->findChild<QLabel*>("pagesStatus");
    QVERIFY(input != nullptr && pages != nullptr);
    QCOMPARE(input->text(), QString("Recording pocsag-1200.edges: not open"));
    s.Show();
    s.Drain();
    QCOMPARE(input->text(), QString("Recording pocsag-1200.edges: ended"));
    // Every page the recording holds: one record a page of the golden output.
    std::ifstream golden(std::string(SKELMAR_SOURCE_DIR) +
                         "/tests/golden/expected/pocsag-1200.jsonl");
    int records = 0;
    for (std::string line; std::getline(golden, line);) records += line.empty() ? 0 : 1;
    QVERIFY(records > 0);
    QCOMPARE(pages->text(), QString("Pages: %1").arg(records));
    // No SDR input: no frequency; no feeds: no feed states; one channel: no channel list.
    QVERIFY(s.window->findChild<QLabel*>("receiverStatus")->isHidden());
    QVERIFY(s.window->findChild<QLabel*>("feedStatus")->isHidden());
    QVERIFY(s.window->channelDock() == nullptr);
    QVERIFY(s.window->findChild<QAction*>("showChannels") == nullptr);
  }

  void ChannelListOfAWidebandCapture() {
    // The golden POCSAG recording on one channel of a capture, a second
    // channel with no transmitter.
    skelmar::EdgeRecordingReader reader;
    std::string error;
    QVERIFY(reader.Open(std::string(SKELMAR_SOURCE_DIR) + "/tests/data/golden/pocsag-1200.edges",
                        &error));
    std::vector<skelmar::PulseSample> edges;
    for (skelmar::PulseSample e; reader.Next(e);) edges.push_back(e);
    siggen::AudioOptions audio;
    audio.sampleRate = 48000;
    audio.amplitude = 0.5;
    audio.filter = siggen::ReceiverFilter::kBessel4;
    audio.cutoffHz = 2000;
    siggen::IqCarrier carrier;
    carrier.audio = siggen::ToFloat(siggen::EdgesToAudio(edges, audio));
    carrier.offsetHz = -100e3;
    siggen::IqOptions iq;
    iq.centerHz = 169.6e6;
    iq.cnrDb = 30;
    QTemporaryDir captures;
    const std::string path = captures.path().toStdString() + "/band.cu8";
    QVERIFY(siggen::WriteIq(path, siggen::IqFileFormat::kCu8, {carrier}, iq));

    ConsoleOptions o;
    std::string problem;
    const std::vector<std::string> args = {"skelmar",
                                           "--iq",
                                           path,
                                           "--rate",
                                           "1024k",
                                           "--center",
                                           "169.6M",
                                           "--channel",
                                           "169.5M=Ops",
                                           "--channel",
                                           "169.7M",
                                           "--start-time",
                                           "2026-01-01T08:00:00Z"};
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    QVERIFY(ParseConsoleOptions(static_cast<int>(argv.size()), argv.data(), o, problem));
    WindowFixture s(o);
    ChannelDock* dock = s.window->channelDock();
    QVERIFY(dock != nullptr);
    QVERIFY(s.window->findChild<QAction*>("showChannels") != nullptr);
    s.Show();
    QVERIFY(dock->isVisible());
    s.Drain();

    std::ifstream golden(std::string(SKELMAR_SOURCE_DIR) +
                         "/tests/golden/expected/pocsag-1200.jsonl");
    int records = 0;
    for (std::string line; std::getline(golden, line);) records += line.empty() ? 0 : 1;
    QVERIFY(records > 0);
    QTableWidget* table = dock->table();
    QCOMPARE(table->rowCount(), 2);
    auto text = [table](int row, int column) { return table->item(row, column)->text(); };
    QCOMPARE(text(0, 0), QString("Ops"));
    QCOMPARE(text(0, 1), QString("169.5000 MHz"));
    QCOMPARE(text(0, 2), QString::number(records));
    QCOMPARE(text(0, 3), QString::number(records));
    // The last page came within the capture's few seconds after 08:00.
    QVERIFY2(text(0, 4).startsWith("08:00:"), qPrintable(text(0, 4)));
    QCOMPARE(text(1, 0), QString("169.7"));
    QCOMPARE(text(1, 3), QString("0"));
    QCOMPARE(text(1, 4), QString("\u2013"));
    // The last page came a moment before the end: its channel is marked, the
    // quiet one not; the mark runs out on the ticks after the end.
    const ChannelActivity* activity = s.window->channelActivity();
    QVERIFY(activity->rows()[0].active());
    QVERIFY(!activity->rows()[1].active());
    QVERIFY(table->item(0, 0)->background() != table->item(1, 0)->background());
    for (int i = 0; i < kActivityTicks + 1; ++i) s.window->Tick();
    QVERIFY(!activity->rows()[0].active());
    QCOMPARE(table->item(0, 0)->background(), QBrush());

    // The list moved above the panes and closed is so at the next start.
    s.window->addDockWidget(Qt::TopDockWidgetArea, dock);
    s.window->findChild<QAction*>("showChannels")->trigger();
    QVERIFY(!dock->isVisible());
    s.messages.SetNextAnswer(1);
    s.window->close();
    QVERIFY(!s.window->isVisible());
    s.window.reset();
    s.program = std::make_unique<DesktopProgram>(o, s.config, s.messages, s.beeper);
    s.window = std::make_unique<MainWindow>(*s.program, s.messages);
    s.Show();
    QCOMPARE(s.window->dockWidgetArea(s.window->channelDock()), Qt::TopDockWidgetArea);
    QVERIFY(!s.window->channelDock()->isVisible());
    QVERIFY(!s.window->findChild<QAction*>("showChannels")->isChecked());
  }

  void SelectedTextLineAndCapcodeGoToTheClipboard() {
    WindowFixture s(Replay("tests/data/golden/pocsag-1200.edges", false));
    s.Show();
    s.Drain();
    std::ifstream expected(std::string(SKELMAR_SOURCE_DIR) +
                           "/tests/golden/expected/pocsag-1200.txt");
    std::vector<std::string> rows;
    for (std::string line; std::getline(expected, line);) {
      while (!line.empty() && line.back() == ' ') line.pop_back();
      rows.push_back(line);
    }
    QVERIFY(rows.size() >= 3);
    PaneWidget* pane = s.window->monitorPane();
    QCOMPARE(pane->pane().topLine, 0);
    // A drag from the start of the second row to the fifth character of the
    // third, then Ctrl+C.
    const PaneLook& look = s.window->look();
    const QPoint from(0, look.lineHeight + look.lineHeight / 2);
    const QPoint to(5 * look.charWidth, 2 * look.lineHeight + look.lineHeight / 2);
    QTest::mousePress(pane->canvas(), Qt::LeftButton, {}, from);
    QTest::mouseMove(pane->canvas(), to);
    QTest::mouseRelease(pane->canvas(), Qt::LeftButton, {}, to);
    QApplication::clipboard()->clear();
    s.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    QTest::keyClick(s.window.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(),
             QString::fromStdString(rows[1] + "\n" + rows[2].substr(0, 5)));
    // A selection in the filter pane drops the monitor pane's.
    QTest::mousePress(s.window->filterPane()->canvas(), Qt::LeftButton, {}, QPoint(0, 0));
    QVERIFY(!pane->hasSelection());

    // The context menu of the second row: its line, and its capcode as the record has it.
    std::ifstream records(std::string(SKELMAR_SOURCE_DIR) +
                          "/tests/golden/expected/pocsag-1200.jsonl");
    std::string first;
    std::getline(records, first);
    const size_t at = first.find("\"capcode\":\"") + 11;
    const std::string capcode = first.substr(at, first.find('"', at) - at);
    std::unique_ptr<QMenu> menu(pane->MakeContextMenu(1));
    menu->findChild<QAction*>("copyLine")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(rows[1]));
    menu->findChild<QAction*>("copyCapcode")->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QString::fromStdString(capcode));
    // The time stamp row has no capcode to copy.
    std::unique_ptr<QMenu> stamp(pane->MakeContextMenu(0));
    QVERIFY(!stamp->findChild<QAction*>("copyCapcode")->isEnabled());
    // Lines that push the oldest out of a full pane leave the selection on its
    // text, and what went with the oldest line is gone from it.
    pane->Select(QPoint(0, 1), QPoint(5, 2));
    TextPane& text = pane->pane();
    auto line = [&text] {
      text.PutText("filler");
      text.EndLine();
    };
    while (text.lineCount < kPaneLines - 1) line();
    line();  // the first line pushed out
    QCOMPARE(pane->SelectedText(), QString::fromStdString(rows[1] + "\n" + rows[2].substr(0, 5)));
    line();
    QCOMPARE(pane->SelectedText(), QString::fromStdString(rows[2].substr(0, 5)));
  }

  void HelpMenuAboutAndF1() {
    WindowFixture s;
    s.Show();
    // F1 hands the README to the desktop's viewer.
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    s.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    QTest::keyClick(s.window.get(), Qt::Key_F1);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.opened.size(), 1);
    QVERIFY(catcher.opened[0].toLocalFile().endsWith("/README.md"));
    QFile readme(catcher.opened[0].toLocalFile());
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QVERIFY(readme.readLine().startsWith("# Skelmar"));
    // About: the version and the licence.
    QString said;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&said] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        said = box->windowTitle() + "|" + box->text();
        box->accept();
      }
    });
    closer.start();
    s.window->findChild<QAction*>("about")->trigger();
    QVERIFY2(said.startsWith("About Skelmar|Skelmar " SKELMAR_VERSION), qPrintable(said));
    QVERIFY(said.contains("Licence"));
    // The program's own icon, not a stock one, on the window and on its boxes.
    const QImage icon = s.window->windowIcon().pixmap(32, 32).toImage();
    const QImage stock =
        s.window->style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32).toImage();
    QVERIFY(!icon.isNull());
    QVERIFY(icon != stock);
    // The SVG's dark case fills the middle of the picture.
    QCOMPARE(icon.pixelColor(16, 24).red(), 0x2b);
    QCOMPARE(QApplication::windowIcon().pixmap(32, 32).toImage(), icon);
  }

  void ReceiverChoiceIsKeptAndStartsTheNextRun() {
    WindowFixture s({}, "[Skelmar]\nComPort=0\n\n[Feeds]\nDedupe=30\n");
    s.Show();
    int shown = 0;
    QTimer picker;
    picker.setInterval(10);
    QObject::connect(&picker, &QTimer::timeout, [&picker, &shown] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      QCOMPARE(dialog->windowTitle(), QString("Skelmar Receiver"));
      dialog->findChild<QRadioButton*>("rtlTcp")->setChecked(true);
      dialog->findChild<QLineEdit*>("rtlTcpHost")->setText("127.0.0.1:1");
      auto* channel = dialog->findChild<QLineEdit*>("channel");
      auto* problem = dialog->findChild<QLabel*>("problem");
      if (++shown == 1) {
        // Not a frequency: said in the dialog, which stays open.
        channel->setText("169.65Q");
        dialog->findChild<QPushButton*>("ok")->click();
        QVERIFY(problem->isVisible());
        QVERIFY(problem->text().contains("169.65Q"));
        QVERIFY(dialog->isVisible());
        return;
      }
      picker.stop();
      channel->setText("169.65M");
      dialog->findChild<QPushButton*>("ok")->click();
    });
    picker.start();
    s.window->findChild<QAction*>("receiver")->trigger();
    QTRY_VERIFY(!s.window->isVisible());
    QVERIFY(shown >= 2);
    // Kept in the file beside what was there.
    std::ifstream in(s.config.file);
    std::stringstream text;
    text << in.rdbuf();
    const std::string file = text.str();
    QVERIFY2(file.find("[Feeds]\nDedupe=30\n") != std::string::npos, file.c_str());
    QVERIFY2(file.find("[Receiver]\nInput=rtl_tcp\nRtlTcp=127.0.0.1:1\nChannel=169.65M\n") !=
                 std::string::npos,
             file.c_str());
    // The next run takes it from the file.
    QVERIFY(s.window->restartWith().has_value());
    ConsoleOptions next = *s.window->restartWith();
    QCOMPARE(next.input, InputKind::kNone);
    std::string problem;
    QVERIFY(ApplyReceiverSection(s.config.file, next, problem));
    QCOMPARE(next.input, InputKind::kRtlTcp);
    QCOMPARE(next.inputPath, std::string("127.0.0.1:1"));
    QCOMPARE(*next.channel, 169.65e6);
    // Its status bar names the server and the channel.
    WindowFixture again(next, nullptr);
    again.config = s.config;
    QCOMPARE(again.window->findChild<QLabel*>("receiverStatus")->text(), QString("169.6500 MHz"));
    QCOMPARE(again.window->findChild<QLabel*>("inputStatus")->text(),
             QString("rtl_tcp 127.0.0.1:1: not open"));
  }

  void OpenRecordingStartsTheNextRunOnIt() {
    WindowFixture s;
    s.Show();
    const QString path = QString(SKELMAR_SOURCE_DIR) + "/tests/data/golden/flex.edges";
    QTimer picker;
    picker.setInterval(10);
    // Kept polling until the chooser closes: selectFile leaves the name field alone once that
    // field has the focus, which under load can come before the first poll, so the name is
    // typed into the field as a user would and the choice tried again while the chooser stays.
    QObject::connect(&picker, &QTimer::timeout, [&path] {
      auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (chooser == nullptr || !chooser->isVisible()) return;
      chooser->selectNameFilter(kEdgeFilter);
      chooser->selectFile(path);
      if (auto* name = chooser->findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
      QMetaObject::invokeMethod(chooser, "accept");
    });
    picker.start();
    s.window->findChild<QAction*>("openRecording")->trigger();
    QTRY_VERIFY(!s.window->isVisible());
    QVERIFY(s.window->restartWith().has_value());
    QCOMPARE(s.window->restartWith()->input, InputKind::kReplay);
    QCOMPARE(QString::fromStdString(s.window->restartWith()->inputPath), path);
  }

  void FilterMatchesBecomeOneNotificationATick() {
    WindowFixture s(Replay("tests/data/golden/pocsag-1200.edges", false),
                    "[Filter]\nFilterCount=1\nFilter1=2,\"0273040\",4,\"Fire\",\"\",0\n");
    QStringList sent;
    s.window->SetNotificationSender(
        [&sent](const QString& summary, const QString& body) { sent << summary + "|" + body; });
    auto* notify = s.window->findChild<QAction*>("notify");
    QVERIFY(!notify->isChecked());  // off unless switched on
    notify->setChecked(true);
    s.Show();
    s.Drain();
    QCOMPARE(sent.size(), 1);
    QVERIFY2(sent[0].startsWith("Skelmar: filter match|"), qPrintable(sent[0]));
    QVERIFY2(sent[0].contains("Fire alarm: Building 4, 2nd floor"), qPrintable(sent[0]));
    QVERIFY(!sent[0].contains("-----"));  // the time stamp rule is no match
    // Kept in the file for the next start.
    QVERIFY(NotifyOnMatch(s.config.file));
  }

  void ExitCancelWritesNothingOkWritesOnce() {
    WindowFixture s;
    s.Show();
    s.messages.SetNextAnswer(0);
    s.window->close();
    QVERIFY(s.window->isVisible());
    QVERIFY(!std::filesystem::exists(s.config.file));
    QCOMPARE(s.window->saves(), 0);

    s.program->settings.percent = 40.0;
    s.messages.SetNextAnswer(1);
    s.window->close();
    QVERIFY(!s.window->isVisible());
    QCOMPARE(s.window->saves(), 1);
    std::ifstream in(s.config.file);
    std::stringstream text;
    text << in.rdbuf();
    QVERIFY2(text.str().find("Percent=40") != std::string::npos, text.str().c_str());
    QVERIFY(!s.program->linkOpen());
    // Closing again writes nothing more.
    std::filesystem::remove(s.config.file);
    s.window->close();
    QVERIFY(!std::filesystem::exists(s.config.file));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
