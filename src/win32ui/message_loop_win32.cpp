// The window thread's message loop, and the libraries its templates need.
#include <windows.h>

#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

bool LoadRichTextLibrary() {
  static const HMODULE library = LoadLibraryW(L"riched20.dll");
  return library != nullptr;
}

namespace {

// Keys go to the main window's accelerators and dialog navigation; everything else is dispatched.
void Dispatch(const DialogWindow& dialog, HACCEL accelerators, MSG& message) {
  HWND window = dialog.handle();
  if (window != nullptr) {
    if (accelerators != nullptr && TranslateAcceleratorW(window, accelerators, &message) != 0) {
      return;
    }
    if (IsDialogMessageW(window, &message) != 0) return;
  }
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

HACCEL LoadAccelerators(int accelerators_id) {
  return LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(accelerators_id));
}

}  // namespace

int RunMessageLoop(const DialogWindow& dialog, int accelerators_id) {
  HACCEL accelerators = LoadAccelerators(accelerators_id);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(dialog, accelerators, message);
  return static_cast<int>(message.wParam);
}

void RunMessagesUntil(const DialogWindow& dialog, int accelerators_id,
                      const std::function<bool()>& done) {
  HACCEL accelerators = LoadAccelerators(accelerators_id);
  MSG message;
  while (!done()) {
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    Dispatch(dialog, accelerators, message);
  }
}

}  // namespace kvx::win32ui
