// The window thread's message loop, and the libraries its templates need.
#include <windows.h>

#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

bool LoadRichTextLibrary() {
  static const HMODULE library = LoadLibraryW(L"riched20.dll");
  return library != nullptr;
}

int RunMessageLoop(const DialogWindow& dialog, int accelerators_id) {
  HACCEL accelerators =
      LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(accelerators_id));
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    HWND window = dialog.handle();
    if (window != nullptr) {
      if (accelerators != nullptr && TranslateAcceleratorW(window, accelerators, &message) != 0) {
        continue;
      }
      if (IsDialogMessageW(window, &message) != 0) continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace kvx::win32ui
