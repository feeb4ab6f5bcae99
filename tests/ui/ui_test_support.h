// Fixtures for the Qt operator interface's tests: the toolkit-free dialogs and engine link of
// tests/support, and a wait that keeps Qt's event loop turning.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <functional>

#include "support/recording_engine_link.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"

namespace kvx::ui::test {

// Handles events until `done` holds; false if that did not happen within `bound`, which only a
// failing test reaches.
inline bool SpinUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds bound = std::chrono::seconds(30)) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > bound.count()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

using kvx::test::TempFolder;

}  // namespace kvx::ui::test
