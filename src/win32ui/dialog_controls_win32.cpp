// Addressing a dialog box's controls by id: texts, states, progress bars, lists and places.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include "platform/wide_text.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

namespace {

std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
  return Utf8FromWide(text);
}

std::string ListItemText(HWND dialog, int id, LRESULT index) {
  const LRESULT length = SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, index, 0);
  if (length <= 0) return {};
  std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item.data()));
  item.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
  return Utf8FromWide(item);
}

}  // namespace

NativeWindow DialogWindow::Control(int id) const {
  return GetDlgItem(window_, id);
}

void DialogWindow::SetCaption(std::string_view text) {
  SetWindowTextW(window_, WideFromUtf8(text).c_str());
}

std::string DialogWindow::Caption() const {
  return WindowText(window_);
}

void DialogWindow::SetText(int id, std::string_view text) {
  SetDlgItemTextW(window_, id, WideFromUtf8(text).c_str());
}

std::string DialogWindow::Text(int id) const {
  return WindowText(Control(id));
}

void DialogWindow::Enable(int id, bool enabled) {
  EnableWindow(Control(id), enabled ? TRUE : FALSE);
}

bool DialogWindow::IsEnabled(int id) const {
  return IsWindowEnabled(Control(id)) != FALSE;
}

void DialogWindow::Show(int id, bool visible) {
  ::ShowWindow(Control(id), visible ? SW_SHOW : SW_HIDE);
}

void DialogWindow::Focus(int id) {
  // Through the dialog, so the default button and the focus rectangle follow.
  SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE);
}

void DialogWindow::Check(int id, bool checked) {
  CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool DialogWindow::IsChecked(int id) const {
  return IsDlgButtonChecked(window_, id) == BST_CHECKED;
}

void DialogWindow::SetProgressRange16(int id, std::uint16_t low, std::uint16_t high) {
  SendDlgItemMessageW(window_, id, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void DialogWindow::SetProgressRange32(int id, int low, int high) {
  SendDlgItemMessageW(window_, id, PBM_SETRANGE32, static_cast<WPARAM>(low),
                      static_cast<LPARAM>(high));
}

void DialogWindow::SetProgressStep(int id, int step) {
  SendDlgItemMessageW(window_, id, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void DialogWindow::SetProgressPosition(int id, int position) {
  SendDlgItemMessageW(window_, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void DialogWindow::AddListItem(int id, std::string_view text) {
  const std::wstring wide = WideFromUtf8(text);
  SendDlgItemMessageW(window_, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

bool DialogWindow::SelectListItem(int id, std::string_view text) {
  // CB_FINDSTRINGEXACT ignores case; the list's choice does not.
  const LRESULT count = SendDlgItemMessageW(window_, id, CB_GETCOUNT, 0, 0);
  for (LRESULT index = 0; index < count; ++index) {
    if (ListItemText(window_, id, index) == text) {
      SelectListIndex(id, static_cast<int>(index));
      return true;
    }
  }
  return false;
}

void DialogWindow::SelectListIndex(int id, int index) {
  SendDlgItemMessageW(window_, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::string DialogWindow::SelectedListText(int id) const {
  const LRESULT index = SendDlgItemMessageW(window_, id, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? std::string() : ListItemText(window_, id, index);
}

void DialogWindow::MoveControl(int id, const PixelRect& rect) {
  MoveWindow(Control(id), rect.x, rect.y, rect.width, rect.height, TRUE);
}

void DialogWindow::ResizeWindow(int width, int height) {
  SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
}

void DialogWindow::AddSystemMenuItem(int id, std::string_view text) {
  HMENU menu = GetSystemMenu(window_, FALSE);
  if (menu == nullptr || text.empty()) return;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(id), WideFromUtf8(text).c_str());
}

}  // namespace kvx::win32ui
