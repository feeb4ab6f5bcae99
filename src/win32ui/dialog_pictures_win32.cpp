// A dialog box's pictures: owner-drawn bitmap buttons in their four states, static controls in
// their own colours, the background bitmap under the controls and the window's icons.
#include "win32ui/dialog_pictures.h"

#include <windows.h>

#include "platform/wide_text.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

void GdiObjectDeleter::operator()(void* object) const {
  DeleteObject(object);
}
void IconDeleter::operator()(HICON__* icon) const {
  DestroyIcon(icon);
}

namespace {

COLORREF Rgb(Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

// The picture for the state the system asks a button to be drawn in.
ButtonState StateToDraw(UINT item_state) {
  if ((item_state & ODS_DISABLED) != 0) return ButtonState::kDisabled;
  if ((item_state & ODS_SELECTED) != 0) return ButtonState::kDown;
  if ((item_state & ODS_FOCUS) != 0) return ButtonState::kFocused;
  return ButtonState::kUp;
}

void DrawBitmap(HDC target, HBITMAP bitmap, int x, int y, int width, int height) {
  HDC source = CreateCompatibleDC(target);
  HGDIOBJ old = SelectObject(source, bitmap);
  BitBlt(target, x, y, width, height, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  return {info.bmWidth, info.bmHeight};
}

OwnedIcon LoadProgramIcon(int icon_id, int size_metric) {
  const int size = GetSystemMetrics(size_metric);
  return OwnedIcon(
      static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(icon_id),
                                    IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

}  // namespace

bool DialogWindow::UseBitmapButton(int id, std::string_view name) {
  std::array<OwnedBitmap, 4> bitmaps;
  for (std::size_t state = 0; state < bitmaps.size(); ++state) {
    const std::wstring resource = WideFromUtf8(std::string(name) + kButtonStateLetters[state]);
    bitmaps[state].reset(LoadBitmapW(GetModuleHandleW(nullptr), resource.c_str()));
    if (!bitmaps[state]) return false;
  }
  pictures_->buttons[id] = std::move(bitmaps);
  InvalidateRect(Control(id), nullptr, TRUE);
  return true;
}

bool DialogWindow::DrawBitmapButton(std::intptr_t draw_item) {
  const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(draw_item);
  if (item == nullptr || item->CtlType != ODT_BUTTON) return false;
  const auto found = pictures_->buttons.find(static_cast<int>(item->CtlID));
  if (found == pictures_->buttons.end()) return false;
  HBITMAP bitmap = found->second[static_cast<std::size_t>(StateToDraw(item->itemState))].get();
  const RECT& area = item->rcItem;
  DrawBitmap(item->hDC, bitmap, area.left, area.top, area.right - area.left,
             area.bottom - area.top);
  return true;
}

void DialogWindow::SetTextColours(int id, Colour text, Colour background) {
  pictures_->colours[id] = {text, background, OwnedBrush(CreateSolidBrush(Rgb(background)))};
  InvalidateRect(Control(id), nullptr, TRUE);
}

std::intptr_t DialogWindow::ColourStatic(std::uintptr_t device_context, std::intptr_t control) {
  const int id = GetDlgCtrlID(reinterpret_cast<HWND>(control));
  const auto found = pictures_->colours.find(id);
  if (found == pictures_->colours.end()) return FALSE;
  HDC dc = reinterpret_cast<HDC>(device_context);
  SetTextColor(dc, Rgb(found->second.text));
  SetBkColor(dc, Rgb(found->second.background));
  return reinterpret_cast<std::intptr_t>(found->second.brush.get());
}

void DialogWindow::UseBackground(int bitmap_id) {
  pictures_->background.reset(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmap_id)));
  InvalidateRect(window_, nullptr, TRUE);
}

void DialogWindow::UseIcon(int icon_id) {
  pictures_->large_icon = LoadProgramIcon(icon_id, SM_CXICON);
  pictures_->small_icon = LoadProgramIcon(icon_id, SM_CXSMICON);
  SendMessageW(window_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(pictures_->large_icon.get()));
  SendMessageW(window_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(pictures_->small_icon.get()));
}

// Painted through an off-screen bitmap of the client's size, so the background never flickers
// under the controls; minimised, the window shows its icon centred.
bool DialogWindow::Paint() {
  if (!pictures_->background) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window_, &paint);
  RECT client;
  GetClientRect(window_, &client);
  if (IsIconic(window_)) {
    if (pictures_->large_icon) {
      const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
      const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
      DrawIcon(dc, x, y, pictures_->large_icon.get());
    }
    EndPaint(window_, &paint);
    return true;
  }
  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP canvas = CreateCompatibleBitmap(dc, client.right, client.bottom);
  HGDIOBJ old = SelectObject(buffer, canvas);
  FillRect(buffer, &client, GetSysColorBrush(COLOR_BTNFACE));
  const SIZE size = BitmapSize(pictures_->background.get());
  DrawBitmap(buffer, pictures_->background.get(), 0, 0, size.cx, size.cy);
  const RECT& dirty = paint.rcPaint;
  BitBlt(dc, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, buffer,
         dirty.left, dirty.top, SRCCOPY);
  SelectObject(buffer, old);
  DeleteObject(canvas);
  DeleteDC(buffer);
  EndPaint(window_, &paint);
  return true;
}

}  // namespace kvx::win32ui
