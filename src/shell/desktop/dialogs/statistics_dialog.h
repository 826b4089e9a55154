// Dialog 109 "Skelmar Statistics": a snapshot of the counts and the report file.
#pragma once

#include "output/statistics.h"
#include "shell/desktop/dialogs/dialog_support.h"

class QCheckBox;
class QLineEdit;

namespace skelmar::desktop {

/// The counts as they were when the dialog opened (it does not refresh). The
/// only button is OK; Escape and the title bar's close button close the
/// dialog without storing the file settings, as a user expects of Escape.
class StatisticsDialog : public SkelmarDialog {
  Q_OBJECT
 public:
  StatisticsDialog(QWidget* owner, Settings& settings, const StatCounters& counters,
                   MessageSink& messages);
  void accept() override;

 private:
  Settings& settings_;
  MessageSink& messages_;
  QCheckBox* enabled_;
  QLineEdit* path_;
};

}  // namespace skelmar::desktop
