#include "win32ui/gui_queue.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include <windows.h>

namespace kvx::win32ui {

namespace {

constexpr UINT kItemQueued = WM_APP + 1;
constexpr wchar_t kAnnouncerClass[] = L"KvxGuiQueueAnnouncer";

LRESULT CALLBACK AnnouncerProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kItemQueued) {
    if (auto* queue = reinterpret_cast<GuiQueue*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
      queue->DeliverOne();
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterAnnouncerClass() {
  static const ATOM registered = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = &AnnouncerProcedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kAnnouncerClass;
    return RegisterClassExW(&window_class);
  }();
  (void)registered;
}

}  // namespace

GuiQueue::GuiQueue() {
  RegisterAnnouncerClass();
  // A message-only window: never shown, never enumerated, only receives what is posted to it.
  announcer_ = CreateWindowExW(0, kAnnouncerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(announcer_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

GuiQueue::~GuiQueue() {
  Close();
  SetWindowLongPtrW(announcer_, GWLP_USERDATA, 0);
  DestroyWindow(announcer_);
}

void GuiQueue::Announce() {
  PostMessageW(announcer_, kItemQueued, 0, 0);
}

}  // namespace kvx::win32ui
