// The UI tests' entry: a QApplication on the offscreen platform (unless the environment asks for
// another), the compiled-in artwork, then GoogleTest.

#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

#include "ui/ui_resources.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  kvx::ui::InitUiResources();
  return RUN_ALL_TESTS();
}
