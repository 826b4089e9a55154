// Dialog 104 "Skelmar Options": what is decoded and shown.
#pragma once

#include "output/setup_dialogs.h"
#include "shell/desktop/dialogs/dialog_support.h"

class QCheckBox;

namespace skelmar {
class FrontEnd;
}

namespace skelmar::desktop {

class OptionsDialog : public SkelmarDialog {
  Q_OBJECT
 public:
  OptionsDialog(QWidget* owner, Settings& settings, FrontEnd& front);
  void accept() override;

 private:
  Settings& settings_;
  FrontEnd& front_;
  QCheckBox* boxes_[kOptionBoxes] = {};
};

}  // namespace skelmar::desktop
