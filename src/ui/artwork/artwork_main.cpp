// kvx-artwork: draws the upgrader's icon, background and button bitmaps into a folder, as PNG
// files for the Qt window and as BMP and ICO files for the Windows resource script.
//   kvx-artwork <output folder>

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/artwork/artwork.h"
#include "ui/artwork/windows_forms.h"

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
  const std::vector<kvx::ui::artwork::Picture> pictures = kvx::ui::artwork::DrawAll();
  for (const kvx::ui::artwork::Picture& picture : pictures) {
    const QString path = folder.filePath(picture.file_name);
    if (!picture.image.save(path, "PNG")) {
      std::fprintf(stderr, "kvx-artwork: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  if (!kvx::ui::artwork::WriteWindowsForms(pictures, folder)) {
    std::fprintf(stderr, "kvx-artwork: cannot write the Windows forms into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
