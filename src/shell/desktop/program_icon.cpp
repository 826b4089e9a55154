// The icon from the SVG built into the program: drawn with QtSvg where the
// build has it, so no image plugin is needed at run time; otherwise through
// Qt's SVG icon plugin, when installed.
#include "shell/desktop/program_icon.h"

#include <QPainter>
#include <QPixmap>

#ifdef SKELMAR_HAVE_QTSVG
#include <QSvgRenderer>
#endif

// A resource of a static library is registered by hand, outside any namespace.
static void InitIconResource() { Q_INIT_RESOURCE(program_icon); }

namespace skelmar::desktop {

QIcon MakeProgramIcon() {
  InitIconResource();
  const QString file = QStringLiteral(":/skelmar/skelmar.svg");
#ifdef SKELMAR_HAVE_QTSVG
  QSvgRenderer svg(file);
  if (svg.isValid()) {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
      QPixmap pixmap(size, size);
      pixmap.fill(Qt::transparent);
      QPainter painter(&pixmap);
      svg.render(&painter);
      painter.end();
      icon.addPixmap(pixmap);
    }
    return icon;
  }
#endif
  return QIcon(file);
}

}  // namespace skelmar::desktop
