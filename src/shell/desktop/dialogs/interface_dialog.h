// Dialog 103 "Skelmar Interface": the slicer's serial port and signal options.
#pragma once

#include "output/setup_dialogs.h"
#include "shell/desktop/dialogs/dialog_support.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace skelmar {
class MessageSink;
}

namespace skelmar::desktop {

class InterfaceDialog : public SkelmarDialog {
  Q_OBJECT
 public:
  InterfaceDialog(QWidget* owner, Settings& settings, MessageSink& messages);
  void accept() override;

 private:
  void PortPicked(int choice);
  void ShowFields(const InterfaceFields& fields);
  InterfaceFields ReadFields() const;

  Settings& settings_;
  MessageSink& messages_;
  QComboBox* port_;
  QLineEdit* address_;
  QComboBox* irq_;
  QCheckBox* fourLevel_;
  QCheckBox* invert_;
  QLineEdit* device_;
};

}  // namespace skelmar::desktop
