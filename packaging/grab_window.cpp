// Saves a picture of one X11 window as PNG, for packaging/screenshot.sh:
//   tavora-grab-window WINDOW-ID FILE.png
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: tavora-grab-window WINDOW-ID FILE.png\n");
    return 64;
  }
  bool ok = false;
  const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&ok, 0);
  if (!ok) {
    std::fprintf(stderr, "tavora-grab-window: bad window id '%s'\n", argv[1]);
    return 64;
  }
  const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "tavora-grab-window: cannot grab or save\n");
    return 1;
  }
  return 0;
}
