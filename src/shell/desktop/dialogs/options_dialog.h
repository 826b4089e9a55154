// Dialog 104 "Skelmar Options": what is decoded and shown.
#pragma once

#include "output/setup_dialogs.h"
#include "shell/desktop/dialogs/dialog_support.h"

class QCheckBox;

namespace skelmar {
class ChannelControl;
}

namespace skelmar::desktop {

class OptionsDialog : public SkelmarDialog {
  Q_OBJECT
 public:
  OptionsDialog(QWidget* owner, Settings& settings, ChannelControl& channel);
  void accept() override;

 private:
  Settings& settings_;
  ChannelControl& channel_;
  QCheckBox* boxes_[kOptionBoxes] = {};
};

}  // namespace skelmar::desktop
