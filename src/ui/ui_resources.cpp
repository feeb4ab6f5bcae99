#include "ui/ui_resources.h"

#include <QStringLiteral>

// Q_INIT_RESOURCE declares the initialiser itself, which has to be in the global namespace.
static void RegisterCompiledResources() {
  Q_INIT_RESOURCE(kvx_upgrader);
}

namespace kvx::ui {

void InitUiResources() {
  RegisterCompiledResources();
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/kvx/icon_%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

QPixmap BackgroundBitmap() {
  return QPixmap(QStringLiteral(":/kvx/background.png"));
}

QPixmap ButtonBitmap(const QString& name) {
  // The files are named without the ampersand.
  QString file = name;
  if (file.startsWith(QLatin1Char('&'))) file.remove(0, 1);
  return QPixmap(QStringLiteral(":/kvx/") + file + QStringLiteral(".png"));
}

}  // namespace kvx::ui
