// Saves a rectangle of the screen as a PNG: skelshot OUT.png X Y WIDTH HEIGHT.
// Used under Xvfb to picture the desktop program for the README.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 6) {
    std::fprintf(stderr, "usage: skelshot OUT.png X Y WIDTH HEIGHT\n");
    return 2;
  }
  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    std::fprintf(stderr, "skelshot: no screen\n");
    return 1;
  }
  const QPixmap shot = screen->grabWindow(0, std::atoi(argv[2]), std::atoi(argv[3]),
                                          std::atoi(argv[4]), std::atoi(argv[5]));
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "skelshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
