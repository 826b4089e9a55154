// Shared pieces of the setup dialogs: placement, icon, colour and font
// conversions, and the path fields that open a file chooser on focus.
#include "shell/desktop/dialogs/dialog_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QColor>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "shell/desktop/dialog_placement.h"

namespace skelmar::desktop {
namespace {

/// Centres a chooser from its show event, as every dialog of the program is.
class PlaceOnShow : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* widget = qobject_cast<QWidget*>(watched)) PlaceDialog(*widget);
    }
    return false;
  }
};

}  // namespace

SkelmarDialog::SkelmarDialog(QWidget* owner, const QString& title) : QDialog(owner) {
  setWindowTitle(title);
  setModal(true);
  // No "What's this" button: the dialogs have nothing to explain that way.
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
}

void SkelmarDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  PlaceDialog(*this);
}

QLabel* SkelmarDialog::MakeIconLabel() {
  auto* icon = new QLabel(this);
  icon->setObjectName("icon");
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  return icon;
}

QIcon ProgramIcon() {
  const QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) return icon;
  return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

void PlaceWhenShown(QDialog& chooser) { chooser.installEventFilter(new PlaceOnShow(&chooser)); }

QColor ToQColor(ColorRef color) {
  return QColor(static_cast<int>(RedOf(color)), static_cast<int>(GreenOf(color)),
                static_cast<int>(BlueOf(color)));
}

ColorRef FromQColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return Rgb(static_cast<uint32_t>(rgb.red()), static_cast<uint32_t>(rgb.green()),
             static_cast<uint32_t>(rgb.blue()));
}

QFont FontFromRecord(const LogFont& record) {
  QFont font(QString::fromLatin1(
      record.faceName, static_cast<int>(qstrnlen(record.faceName, sizeof record.faceName))));
  // A negative height is the character height in pixels; a positive one the
  // cell height, which for these fonts is close enough to use the same way.
  const int pixels = record.height < 0 ? -record.height : record.height;
  font.setPixelSize(pixels > 0 ? pixels : 11);
  font.setWeight(static_cast<QFont::Weight>(record.weight > 0 ? record.weight : 400));
  font.setItalic(record.italic != 0);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setKerning(false);
  return font;
}

void SetUpFontChooser(QFontDialog& chooser, const LogFont& record) {
  chooser.setObjectName("fontChooser");
  chooser.setWindowTitle(QStringLiteral("Skelmar Font"));
  // Fixed-pitch fonts only; every font here is scalable, so none is left out for that.
  chooser.setOptions(QFontDialog::DontUseNativeDialog | QFontDialog::MonospacedFonts);
  QFont start = FontFromRecord(record);
  start.setFamily(QFontInfo(start).family());
  // Set after the options: it refills the family list with the fixed-pitch fonts.
  chooser.setCurrentFont(start);
  // The panes draw neither underline nor strike-out, and the settings file
  // keeps neither: the chooser's Effects boxes would be ignored.
  for (QCheckBox* effect : chooser.findChildren<QCheckBox*>()) {
    effect->hide();
    if (auto* group = qobject_cast<QGroupBox*>(effect->parentWidget())) group->hide();
  }
  PlaceWhenShown(chooser);
}

PathChooser::PathChooser(QLineEdit& field, QWidget& next, QString title, QString pattern,
                         QString defaultName, bool mayNotExist, bool programs)
    : QObject(&field),
      field_(field),
      next_(next),
      title_(std::move(title)),
      pattern_(std::move(pattern)),
      defaultName_(std::move(defaultName)),
      mayNotExist_(mayNotExist),
      programs_(programs),
      button_(new QPushButton(QStringLiteral("..."), field.parentWidget())) {
  button_->setObjectName(field.objectName() + QStringLiteral("Browse"));
  button_->setAutoDefault(false);
  button_->setToolTip(title_);
  button_->setEnabled(field.isEnabled());
  // The button follows the field: a disabled field has nothing to choose.
  field.installEventFilter(this);
  connect(button_, &QPushButton::clicked, this, &PathChooser::Choose);
}

bool PathChooser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &field_ && event->type() == QEvent::EnabledChange) {
    button_->setEnabled(field_.isEnabled());
  }
  return false;
}

void PathChooser::Choose() {
  if (open_) return;
  open_ = true;
  QPointer<QFileDialog> chooser = new QFileDialog(field_.window(), title_);
  chooser->setObjectName("fileChooser");
  chooser->setOption(QFileDialog::DontUseNativeDialog, true);
  chooser->setAcceptMode(QFileDialog::AcceptOpen);
  chooser->setFileMode(mayNotExist_ ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (programs_) {
    // Programs on Linux have no name ending: the chooser lists what may be run.
    chooser->setNameFilters({pattern_});
    chooser->setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
  } else {
    chooser->setNameFilters({pattern_, QStringLiteral("All files (*)")});
  }
  const QString current = field_.text();
  if (!current.isEmpty()) {
    const QFileInfo info(current);
    chooser->setDirectory(info.absolutePath());
    chooser->selectFile(info.fileName());
  } else if (!defaultName_.isEmpty()) {
    chooser->selectFile(defaultName_);
  }
  PlaceWhenShown(*chooser);
  const bool chosen = chooser->exec() == QDialog::Accepted;
  if (chooser && chosen && !chooser->selectedFiles().isEmpty()) {
    field_.setText(QDir::toNativeSeparators(chooser->selectedFiles().first()));
  }
  delete chooser;
  if (chosen) next_.setFocus(Qt::OtherFocusReason);
  open_ = false;
}

}  // namespace skelmar::desktop
