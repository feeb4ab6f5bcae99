// The X11 tests' entry: an Xvfb of their own, Qt's xcb platform on it, then GoogleTest. Without
// Xvfb or xprop the tests are skipped (exit code 77, which ctest reports as skipped).

#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>
#include <cstdio>

#include "ui/ui_resources.h"
#include "x11/xvfb_server.h"

int main(int argc, char** argv) {
  constexpr int kSkipped = 77;
  std::setlocale(LC_ALL, "");
  ::testing::InitGoogleTest(&argc, argv);
  if (!kvx::ui::test::OnPath("Xvfb") || !kvx::ui::test::OnPath("xprop")) {
    std::fprintf(stderr, "Xvfb or xprop is not installed (scripts/install-deps.sh): skipped\n");
    return kSkipped;
  }
  kvx::ui::test::XvfbServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "Xvfb did not start\n");
    return 1;
  }
  qputenv("DISPLAY", server.display().c_str());
  qputenv("QT_QPA_PLATFORM", "xcb");
  // Qt's runtime folder in the build tree: without one it would leave its own in /tmp.
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
    qputenv("XDG_RUNTIME_DIR", KVX_QT_RUNTIME_DIR);
  int result = 0;
  {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kvx-upgrader"));
    QApplication::setQuitOnLastWindowClosed(false);
    kvx::ui::InitUiResources();
    result = RUN_ALL_TESTS();
  }
  return result;
}
