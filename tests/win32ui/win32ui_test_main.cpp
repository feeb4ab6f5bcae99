// The Windows window's tests: they need a display (Wine on an X server; scripts/test-windows.sh
// starts an Xvfb). Without one they are skipped (exit code 77, which ctest reports as skipped).
#include <gtest/gtest.h>
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <cstdio>

#include "win32ui/dialog_window.h"

namespace {

bool CanCreateWindows() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int kSkipped = 77;
  ::testing::InitGoogleTest(&argc, argv);
  if (!CanCreateWindows()) {
    std::fprintf(stderr, "no display to create windows on (Xvfb): skipped\n");
    return kSkipped;
  }
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  if (!kvx::win32ui::LoadRichTextLibrary()) {
    std::fprintf(stderr, "riched20.dll did not load\n");
    return 1;
  }
  return RUN_ALL_TESTS();
}
