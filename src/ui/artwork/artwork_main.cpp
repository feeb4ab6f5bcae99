// kvx-artwork: draws the upgrader's icon, background and button bitmaps into a folder.
//   kvx-artwork <output folder>

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/artwork/artwork.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kvx-artwork <output folder>\n");
    return 2;
  }
  // Drawing needs fonts, not a display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  const QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.exists() && !QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "kvx-artwork: cannot create %s\n", argv[1]);
    return 1;
  }
  for (const kvx::ui::artwork::Picture& picture : kvx::ui::artwork::DrawAll()) {
    const QString path = folder.filePath(picture.file_name);
    if (!picture.image.save(path, "PNG")) {
      std::fprintf(stderr, "kvx-artwork: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
