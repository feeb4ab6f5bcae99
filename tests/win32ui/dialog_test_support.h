// Helpers of the Windows window's tests: places of controls, messages pumped, modal boxes
// driven from inside their own loop, and pixels read back from the screen.
#pragma once

#include <windows.h>
// After <windows.h>, whose types it uses.
#include <richedit.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win32ui/dialog_window.h"

namespace kvx::win32ui::test {

// A control's rectangle in the dialog's client pixels.
inline RECT PlaceOf(HWND dialog, HWND control) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// Dialog units of the dialog's template font, in client pixels. The corner and the size are
// each converted, as the dialog manager does when it makes a control.
inline RECT UnitsToPixels(HWND dialog, int x, int y, int width, int height) {
  RECT corner{x, y, 0, 0};
  MapDialogRect(dialog, &corner);
  RECT size{width, height, 0, 0};
  MapDialogRect(dialog, &size);
  return {corner.left, corner.top, corner.left + size.left, corner.top + size.top};
}

inline void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// The whole text of a rich-text control, however long.
inline std::wstring RichText(HWND text) {
  GETTEXTLENGTHEX length_query{GTL_DEFAULT, 1200};
  const LRESULT length =
      SendMessageW(text, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length_query), 0);
  std::wstring content(static_cast<std::size_t>(length) + 1, L'\0');
  GETTEXTEX query{static_cast<DWORD>((length + 1) * sizeof(wchar_t)), GT_DEFAULT, 1200, nullptr,
                  nullptr};
  const LRESULT copied = SendMessageW(text, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&query),
                                      reinterpret_cast<LPARAM>(content.data()));
  content.resize(static_cast<std::size_t>(copied));
  return content;
}

// The face name and point size of a window's font.
struct FontInfo {
  std::wstring face;
  int points = 0;
};
inline FontInfo FontOf(HWND window) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  const int height = font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
  return {font.lfFaceName, MulDiv(height, 72, dpi)};
}

inline std::wstring WideText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

// Opens a modal box with `open` and, once it runs, calls `act` with it from inside its loop
// (`act` must end it). Returns what `open` returns.
template <typename Result>
Result WhileModal(const std::function<Result()>& open, const std::function<void(HWND)>& act) {
  static const std::function<void(HWND)>* pending = nullptr;
  pending = &act;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR id, DWORD) {
    if (pending == nullptr) return;
    HWND box = GetActiveWindow();
    wchar_t class_name[16] = {};
    GetClassNameW(box, class_name, 16);
    if (box == nullptr || std::wstring(class_name) != L"#32770") return;
    KillTimer(nullptr, id);
    const std::function<void(HWND)>* act_now = pending;
    pending = nullptr;
    (*act_now)(box);
  });
  const Result result = open();
  KillTimer(nullptr, timer);
  pending = nullptr;
  return result;
}

// 32-bit pixels (0x00RRGGBB) of a bitmap or of a screen rectangle, rows from the top.
inline std::vector<std::uint32_t> PixelsOf(HDC dc, HBITMAP bitmap, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  for (std::uint32_t& pixel : pixels) pixel &= 0x00FFFFFF;
  return pixels;
}

inline std::vector<std::uint32_t> ScreenPixels(const RECT& screen_rect) {
  const int width = screen_rect.right - screen_rect.left;
  const int height = screen_rect.bottom - screen_rect.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP capture = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, capture);
  BitBlt(memory, 0, 0, width, height, screen, screen_rect.left, screen_rect.top, SRCCOPY);
  SelectObject(memory, old);
  std::vector<std::uint32_t> pixels = PixelsOf(memory, capture, width, height);
  DeleteObject(capture);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

inline std::vector<std::uint32_t> ResourceBitmapPixels(const wchar_t* name, int width, int height) {
  HBITMAP bitmap = LoadBitmapW(GetModuleHandleW(nullptr), name);
  HDC screen = GetDC(nullptr);
  std::vector<std::uint32_t> pixels = PixelsOf(screen, bitmap, width, height);
  ReleaseDC(nullptr, screen);
  DeleteObject(bitmap);
  return pixels;
}

}  // namespace kvx::win32ui::test
