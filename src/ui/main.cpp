// kvx-upgrader: the operator's upgrader for the Velmora KVX-01. Takes no arguments of its own.

#include <QApplication>
#include <clocale>

#include "platform/program_version.h"
#include "ui/upgrader_app.h"

int main(int argc, char** argv) {
  // Config.ini, image texts and terminal replies are in the locale's character set.
  std::setlocale(LC_ALL, "");
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kvx-upgrader"));
  QApplication::setApplicationVersion(QStringLiteral(KVX_VERSION));
  kvx::ui::CSKY_DECK_UPGRADERApp upgrader;
  return upgrader.Run();
}
