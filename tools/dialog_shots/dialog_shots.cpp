// Renders the setup, filter and statistics dialogs and the colour preview to
// PNG files (run offscreen or under Xvfb): skelmar-dialog-shots OUTPUT_DIR
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "output/clock.h"
#include "output/filter_dialogs.h"
#include "output/statistics.h"
#include "session/monitor.h"
#include "shell/desktop/dialogs/colors_dialog.h"
#include "shell/desktop/dialogs/filters_dialog.h"
#include "shell/desktop/dialogs/interface_dialog.h"
#include "shell/desktop/dialogs/options_dialog.h"
#include "shell/desktop/dialogs/statistics_dialog.h"

using namespace skelmar;
using namespace skelmar::desktop;

namespace {

/// Messages are not expected while rendering; print any that comes.
class PrintedMessages : public MessageSink {
 public:
  void ShowMessage(const char* text) override { std::fprintf(stderr, "message: %s\n", text); }
  int AskQuestion(const char* text) override {
    std::fprintf(stderr, "question: %s\n", text);
    return 0;
  }
};

class NoLauncher : public CommandLauncher {
 public:
  bool Launch(const char*, const char*, char*, int) override { return false; }
};
class NoBeeper : public Beeper {
 public:
  void Beep() override {}
};

/// The window title drawn above the client area, so the pictures show which
/// dialog they are (a bare X server has no window manager to draw it).
QPixmap WithTitle(QWidget& widget) {
  widget.show();
  QApplication::processEvents();
  const QPixmap client = widget.grab();
  const int bar = 24;
  QPixmap framed(client.width() + 2, client.height() + bar + 1);
  framed.fill(QColor(0x3b, 0x4a, 0x6b));
  QPainter painter(&framed);
  painter.drawPixmap(1, bar, client);
  painter.setPen(Qt::white);
  QFont font = widget.font();
  font.setBold(true);
  painter.setFont(font);
  painter.drawText(QRect(8, 0, framed.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft,
                   widget.windowTitle());
  return framed;
}

bool Save(const QPixmap& pixmap, const QDir& dir, const char* name) {
  const QString path = dir.filePath(QString::fromLatin1(name));
  if (!pixmap.save(path)) {
    std::fprintf(stderr, "cannot write %s\n", path.toLocal8Bit().constData());
    return false;
  }
  std::printf("%s\n", path.toLocal8Bit().constData());
  return true;
}

FilterEntry Entry(int type, const char* capcode, int function, const char* label, const char* text,
                  int run) {
  FilterEntry e;
  e.type = type;
  std::snprintf(e.capcode, sizeof e.capcode, "%s", capcode);
  e.function = static_cast<int8_t>(function);
  std::snprintf(e.label, sizeof e.label, "%s", label);
  std::snprintf(e.text, sizeof e.text, "%s", text);
  e.runCommand = run;
  return e;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: skelmar-dialog-shots OUTPUT_DIR\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.exists() && !QDir().mkpath(dir.path())) {
    std::fprintf(stderr, "cannot create %s\n", argv[1]);
    return 1;
  }

  Settings settings;
  settings.comPort = 2;
  settings.comPortAddr = 0x2F8;
  settings.comPortIrq = 3;
  settings.filterFileEnabled = 1;
  std::snprintf(settings.filterFile, sizeof settings.filterFile, "/home/pager/filter.log");
  settings.filterFileFlush = 1;
  settings.filterFlushTime = 3;
  settings.statFileEnabled = 1;
  std::snprintf(settings.statFile, sizeof settings.statFile, "/home/pager/stats.txt");
  PrintedMessages messages;
  NoLauncher launcher;
  NoBeeper beeper;
  SystemClock clock;
  Monitor monitor(settings, MonitorServices{clock, messages, launcher, beeper});

  FilterTable& table = monitor.filters;
  table.entries[0] = Entry(kFilterPocsag, "0012345", 0, "Fire", "", 1);
  table.entries[1] = Entry(kFilterText, "", 0, "Water", "main break", 0);
  table.entries[2] = Entry(kFilterFlexLong, "0000012??", 0, "", "", 0);
  table.entries[3] = Entry(kFilterGsc, "123456", 2, "Doctor", "", 0);
  table.count = 4;

  const int hourly[kStatRows][2] = {{0, 0},       {412, 96}, {1630, 233}, {0, 0},
                                    {2875, 1049}, {37, 3},   {12, 0}};
  for (int row = 0; row < kStatRows; ++row) {
    for (int kind = 0; kind < 2; ++kind) {
      monitor.stats.hourly[row][kind] = hourly[row][kind];
      monitor.stats.daily[row][kind] = hourly[row][kind] * 14 + (row == 4 ? 9990000 : 0);
    }
  }

  bool ok = true;
  {
    InterfaceDialog d(nullptr, settings, messages);
    ok &= Save(WithTitle(d), dir, "interface-dialog.png");
  }
  {
    OptionsDialog d(nullptr, settings, monitor.front);
    ok &= Save(WithTitle(d), dir, "options-dialog.png");
  }
  {
    CustomColors custom;
    ColorsDialog d(nullptr, settings, messages, custom);
    ok &= Save(WithTitle(d), dir, "colors-dialog.png");
    QWidget* preview = d.findChild<QWidget*>(QStringLiteral("preview"));
    ok &= preview != nullptr && Save(preview->grab(), dir, "color-preview.png");
  }
  {
    FiltersDialog d(nullptr, settings, table, monitor.filterProcessor, messages);
    d.findChild<QListWidget*>(QStringLiteral("filters"))->setCurrentRow(0);
    ok &= Save(WithTitle(d), dir, "filters-dialog.png");
  }
  {
    FilterEditDialog d(nullptr, table.entries[0], messages);
    ok &= Save(WithTitle(d), dir, "filter-edit-dialog.png");
  }
  {
    StatisticsDialog d(nullptr, settings, monitor.stats, messages);
    ok &= Save(WithTitle(d), dir, "statistics-dialog.png");
  }
  {
    QFontDialog d;
    SetUpFontChooser(d, settings.font);
    ok &= Save(WithTitle(d), dir, "font-dialog.png");
  }
  {
    QColorDialog d(QColor(0, 128, 0));
    d.setWindowTitle(QStringLiteral("Skelmar Capcode"));
    d.setOption(QColorDialog::DontUseNativeDialog, true);
    ok &= Save(WithTitle(d), dir, "color-chooser.png");
  }
  return ok ? 0 : 1;
}
