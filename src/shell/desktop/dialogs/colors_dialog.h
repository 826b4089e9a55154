// Dialog 105 "Skelmar Colors" and its live colour preview.
#pragma once

#include <QFont>
#include <QWidget>

#include "output/setup_dialogs.h"
#include "shell/desktop/dialogs/dialog_support.h"

namespace skelmar {
class MessageSink;
}

namespace skelmar::desktop {

/// The preview: 13 sample lines, each piece in its working colour, drawn
/// opaque on the working background with a font of its own (not the panes').
class ColorPreview : public QWidget {
  Q_OBJECT
 public:
  ColorPreview(const ColorWorkingCopies& colors, QWidget* parent);
  /// "Courier New" with an 11-pixel character height (a metric-compatible
  /// monospace font where it is missing).
  static QFont PreviewFont();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const ColorWorkingCopies& colors_;
  QFont font_;
};

class ColorsDialog : public SkelmarDialog {
  Q_OBJECT
 public:
  ColorsDialog(QWidget* owner, Settings& settings, MessageSink& messages, CustomColors& custom);
  void accept() override;
  bool backgroundChanged() const { return backgroundChanged_; }
  const ColorWorkingCopies& workingCopies() const { return working_; }

 private:
  void ChooseColor(const ColorButton& button);
  void ResetColors();

  Settings& settings_;
  MessageSink& messages_;
  CustomColors& custom_;
  ColorWorkingCopies working_;
  ColorPreview* preview_;
  bool backgroundChanged_ = false;
};

}  // namespace skelmar::desktop
