// What every setup dialog shares: modal, centred from its show event, the
// program icon at its left edge, and the common choosers placed the same way.
#pragma once

#include <QDialog>
#include <QString>

#include "settings/settings.h"

class QColor;
class QFileDialog;
class QFont;
class QFontDialog;
class QLabel;
class QLineEdit;
class QPushButton;

namespace skelmar::desktop {

/// A modal dialog that centres itself over its owner each time it is shown.
class SkelmarDialog : public QDialog {
  Q_OBJECT
 public:
  SkelmarDialog(QWidget* owner, const QString& title);

 protected:
  void showEvent(QShowEvent* event) override;
  /// The program icon for the dialog's left edge.
  QLabel* MakeIconLabel();
};

/// The program's icon: the application's when one is set, else a stock one.
QIcon ProgramIcon();

/// Makes a common dialog (chooser) centre itself over its parent when shown.
void PlaceWhenShown(QDialog& chooser);

QColor ToQColor(ColorRef color);
ColorRef FromQColor(const QColor& color);

/// The font a `LogFont` record describes (fixed pitch; kerning off).
QFont FontFromRecord(const LogFont& record);

/// Titles the font chooser "Skelmar Font", limits it to fixed-pitch fonts and
/// starts it on the font the record gives (the installed font that stands in
/// for a missing face, such as Liberation Mono for Courier New).
void SetUpFontChooser(QFontDialog& chooser, const LogFont& record);

/// A path field with a button beside it that opens a file chooser; the field
/// stays editable (typed, pasted or cleared by hand). A chosen file replaces
/// its text, then the focus moves to `next`. A flag keeps a second chooser
/// from opening while one is shown.
class PathChooser : public QObject {
  Q_OBJECT
 public:
  /// `pattern` is the chooser's type filter; `defaultName` ("*.log") is
  /// offered when the field is empty; `mayNotExist` lets the user name a file
  /// that is yet to be written; `programs` lists executable files only.
  PathChooser(QLineEdit& field, QWidget& next, QString title, QString pattern, QString defaultName,
              bool mayNotExist, bool programs);
  /// The button that opens the chooser (named after the field, "…Browse").
  QPushButton* button() { return button_; }
  bool eventFilter(QObject* watched, QEvent* event) override;
  /// Opens the chooser now.
  void Choose();
  bool open() const { return open_; }

 private:
  QLineEdit& field_;
  QWidget& next_;
  QString title_;
  QString pattern_;
  QString defaultName_;
  bool mayNotExist_;
  bool programs_;
  QPushButton* button_;
  bool open_ = false;
};

}  // namespace skelmar::desktop
