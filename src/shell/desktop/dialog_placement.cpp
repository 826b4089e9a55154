// Dialog placement: Qt geometry in, the core's CenterDialog rule, Qt geometry out.
#include "shell/desktop/dialog_placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include "output/message_dialogs.h"

namespace skelmar::desktop {
namespace {

Rect ToRect(const QRect& r) {
  return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

void PlaceDialog(QWidget& dialog) {
  QWidget* owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
  QScreen* screen = owner ? owner->screen() : dialog.screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect work = screen->availableGeometry();
  const QRect parent = owner ? owner->frameGeometry() : work;
  // The frame is not known before the first show on some platforms; the
  // client size is the best estimate then.
  QRect frame = dialog.frameGeometry();
  if (frame.width() <= 0 || frame.height() <= 0) frame = QRect(QPoint(0, 0), dialog.size());
  const Point at = CenterDialog(ToRect(frame), ToRect(parent), ToRect(work));
  dialog.move(at.x, at.y);
}

}  // namespace skelmar::desktop
