// CSKY_DECK_UPGRADERApp: the application object. Puts together the services the engine and the
// main window run on, runs the main window until the engine has ended, and tears everything
// down in order. One per process, on the GUI thread, after QApplication exists.
#pragma once

namespace kvx::ui {

class CSKY_DECK_UPGRADERApp {
 public:
  // Runs the program; returns its exit code (always 0: the program ends when its window ends).
  int Run();
};

}  // namespace kvx::ui
