// The Colors dialog: eleven colour buttons over working copies, the preview,
// "&Default Colors", and OK writing the copies back.
#include "shell/desktop/dialogs/colors_dialog.h"

#include <QColorDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include "output/filters.h"

namespace skelmar::desktop {
namespace {

// The framed area is 160 x 114 dialog units: 13 preview lines fit in it.
constexpr int kPreviewWidth = 240;
constexpr int kPreviewHeight = 186;

}  // namespace

ColorPreview::ColorPreview(const ColorWorkingCopies& colors, QWidget* parent)
    : QWidget(parent), colors_(colors), font_(PreviewFont()) {
  setObjectName("preview");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(kPreviewWidth, kPreviewHeight);
}

QFont ColorPreview::PreviewFont() {
  QFont font(QStringLiteral("Courier New"));
  font.setPixelSize(11);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setKerning(false);
  return font;
}

void ColorPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor background = ToQColor(colors_.Get(kSlotBackground));
  painter.fillRect(rect(), background);
  painter.setFont(font_);
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(background);
  const QFontMetrics metrics(font_);
  const int lineHeight = metrics.height() + metrics.leading();
  for (int line = 0; line < kPreviewLines; ++line) {
    int x = 0;  // each piece continues where the one before ended
    const int baseline = line * lineHeight + metrics.ascent();
    for (const PreviewPiece& piece : PreviewLine(line)) {
      const QString text = QString::fromLatin1(piece.text);
      painter.setPen(ToQColor(colors_.Get(piece.slot)));
      painter.drawText(x, baseline, text);
      x += metrics.horizontalAdvance(text);
    }
  }
}

ColorsDialog::ColorsDialog(QWidget* owner, Settings& settings, MessageSink& messages,
                           CustomColors& custom)
    : SkelmarDialog(owner, QStringLiteral("Skelmar Colors")),
      settings_(settings),
      messages_(messages),
      custom_(custom),
      working_(settings),
      preview_(nullptr) {
  auto* grid = new QGridLayout;
  for (int i = 0; i < kColorButtons; ++i) {
    const ColorButton& button = kColorButtonTable[i];
    auto* push = new QPushButton(QString::fromLatin1(button.label), this);
    push->setObjectName(QStringLiteral("color%1").arg(button.slot));
    push->setAutoDefault(false);
    grid->addWidget(push, i % 6, i / 6);
    connect(push, &QPushButton::clicked, this, [this, &button] { ChooseColor(button); });
  }
  auto* defaults = new QPushButton(QStringLiteral("&Default Colors"), this);
  defaults->setObjectName("defaults");
  defaults->setAutoDefault(false);
  grid->addWidget(defaults, 5, 1);
  connect(defaults, &QPushButton::clicked, this, &ColorsDialog::ResetColors);

  auto* frame = new QFrame(this);
  frame->setObjectName("previewFrame");
  frame->setFrameStyle(QFrame::Box | QFrame::Plain);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(1, 1, 1, 1);
  preview_ = new ColorPreview(working_, frame);
  frameLayout->addWidget(preview_);

  auto* ok = new QPushButton(QStringLiteral("&OK"), this);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  ok->setObjectName("ok");
  cancel->setObjectName("cancel");
  ok->setDefault(true);
  cancel->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &ColorsDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &ColorsDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* left = new QVBoxLayout;
  left->addLayout(grid);
  left->addStretch();
  left->addLayout(buttons);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(MakeIconLabel());
  layout->addLayout(left);
  layout->addWidget(frame, 0, Qt::AlignTop);
}

void ColorsDialog::ChooseColor(const ColorButton& button) {
  // The program's custom colours are lent to the chooser and taken back after.
  for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, ToQColor(custom_.colors[i]));
  QColorDialog chooser(ToQColor(working_.Get(button.slot)), this);
  chooser.setObjectName("colorChooser");
  chooser.setWindowTitle(QString::fromLatin1(button.chooserTitle));
  chooser.setOption(QColorDialog::DontUseNativeDialog, true);
  PlaceWhenShown(chooser);
  const bool chosen = chooser.exec() == QDialog::Accepted;
  for (int i = 0; i < 16; ++i) custom_.colors[i] = FromQColor(QColorDialog::customColor(i));
  if (!chosen) return;
  working_.Set(button.slot, FromQColor(chooser.selectedColor()));
  preview_->update();
}

void ColorsDialog::ResetColors() {
  if (messages_.AskQuestion(kResetColorsQuestion) != 1) return;
  working_.ResetToDefaults();
  preview_->update();
}

void ColorsDialog::accept() {
  backgroundChanged_ = working_.Apply(settings_);
  QDialog::accept();
}

}  // namespace skelmar::desktop
