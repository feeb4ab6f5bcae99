// A dialog box's mouse and shell input: click areas and files dropped on it.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/wide_text.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

namespace {

// A dropped name is read into a buffer of this many characters, terminator included; a longer
// name arrives cut.
constexpr UINT kDroppedNameBuffer = MAX_PATH;

bool InsideControl(HWND dialog, int id, POINT point) {
  HWND control = GetDlgItem(dialog, id);
  if (control == nullptr) return false;
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return PtInRect(&rect, point) != FALSE;
}

}  // namespace

void DialogWindow::TakeDroppedFiles(std::uintptr_t drop) {
  HDROP files = reinterpret_cast<HDROP>(drop);
  const UINT count = DragQueryFileW(files, 0xFFFFFFFF, nullptr, 0);
  std::vector<std::string> names;
  for (UINT index = count; index-- > 0;) {
    wchar_t name[kDroppedNameBuffer] = {};
    const UINT length = DragQueryFileW(files, index, name, kDroppedNameBuffer);
    names.push_back(Utf8FromWide(
        std::wstring_view(name, length < kDroppedNameBuffer ? length : kDroppedNameBuffer - 1)));
  }
  DragFinish(files);
  if (!files_dropped_) return;
  const std::function<void(const std::string&)> handler = files_dropped_;
  for (const std::string& name : names) handler(name);
}

void DialogWindow::TrackClickArea(bool pressed, std::intptr_t point_bits) {
  const POINT point{static_cast<short>(LOWORD(point_bits)), static_cast<short>(HIWORD(point_bits))};
  if (pressed) {
    pressed_area_ = 0;
    for (const auto& [id, handler] : click_areas_) {
      if (InsideControl(window_, id, point)) pressed_area_ = id;
    }
    return;
  }
  // Any release clears the press; only one inside the same area counts.
  const int area = pressed_area_;
  pressed_area_ = 0;
  if (area == 0 || !InsideControl(window_, area, point)) return;
  const auto found = click_areas_.find(area);
  if (found == click_areas_.end() || !found->second) return;
  const std::function<void()> handler = found->second;
  handler();
}

}  // namespace kvx::win32ui
