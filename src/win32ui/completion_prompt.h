// The prompt after a completed upgrade: Upgrade (Ok, 1) another terminal or Exit (Cancel, 2).
#pragma once

#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

// Gives the prompt its caption of two spaces: no visible caption.
void PrepareCompletionPrompt(DialogWindow& prompt);
// Escape and the close button give Exit too.
int RunCompletionPrompt(NativeWindow owner);

}  // namespace kvx::win32ui
