// The about box: the program's name and version, and the copyright line (string 176).
#pragma once

#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

// Fills the box's caption and lines once its controls exist.
void PrepareAboutBox(DialogWindow& box);
void RunAboutBox(NativeWindow owner);

}  // namespace kvx::win32ui
