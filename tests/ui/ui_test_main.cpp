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
  // Listing the tests (ctest does at build time) needs no Qt.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  // Qt's runtime folder in the build tree: without one it would leave its own in /tmp.
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
    qputenv("XDG_RUNTIME_DIR", KVX_QT_RUNTIME_DIR);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  kvx::ui::InitUiResources();
  return RUN_ALL_TESTS();
}
