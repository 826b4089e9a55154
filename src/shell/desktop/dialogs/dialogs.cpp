// Entry functions of the setup, filter and statistics dialogs, and the font chooser.
#include "shell/desktop/dialogs/dialogs.h"

#include <QFontDialog>
#include <QFontInfo>

#include "shell/desktop/dialogs/colors_dialog.h"
#include "shell/desktop/dialogs/dialog_support.h"
#include "shell/desktop/dialogs/filters_dialog.h"
#include "shell/desktop/dialogs/interface_dialog.h"
#include "shell/desktop/dialogs/options_dialog.h"
#include "shell/desktop/dialogs/statistics_dialog.h"

namespace skelmar::desktop {

bool RunInterfaceDialog(QWidget* owner, Settings& settings, MessageSink& messages) {
  InterfaceDialog dialog(owner, settings, messages);
  return dialog.exec() == QDialog::Accepted;
}

bool RunOptionsDialog(QWidget* owner, Settings& settings, ChannelControl& channel) {
  OptionsDialog dialog(owner, settings, channel);
  return dialog.exec() == QDialog::Accepted;
}

bool RunFontDialog(QWidget* owner, Settings& settings) {
  QFontDialog chooser(owner);
  SetUpFontChooser(chooser, settings.font);
  if (chooser.exec() != QDialog::Accepted) return false;
  const QFont chosen = chooser.selectedFont();
  const QFontInfo info(chosen);
  const QByteArray face = chosen.family().toLatin1();
  ApplyFontChoice(settings.font, face.constData(), info.pixelSize(), chosen.weight(),
                  chosen.italic());
  return true;
}

ColorsResult RunColorsDialog(QWidget* owner, Settings& settings, MessageSink& messages,
                             CustomColors& custom) {
  ColorsDialog dialog(owner, settings, messages, custom);
  ColorsResult result;
  result.accepted = dialog.exec() == QDialog::Accepted;
  result.backgroundChanged = result.accepted && dialog.backgroundChanged();
  return result;
}

void RunFiltersDialog(QWidget* owner, Settings& settings, FilterTable& table,
                      FilterProcessor& processor, MessageSink& messages) {
  FiltersDialog dialog(owner, settings, table, processor, messages);
  dialog.exec();
}

void RunStatisticsDialog(QWidget* owner, Settings& settings, const StatCounters& counters,
                         MessageSink& messages) {
  StatisticsDialog dialog(owner, settings, counters, messages);
  dialog.exec();
}

}  // namespace skelmar::desktop
