// Text added to a rich-text control (the log window's): each piece in a colour of its own.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <richedit.h>

#include "platform/wide_text.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

void DialogWindow::AppendText(int id, std::string_view text, Colour colour) {
  HWND control = Control(id);
  // From the end to the end: the insertion point, however the operator left the selection.
  SendMessageW(control, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_COLOR;
  format.crTextColor = RGB(colour.red, colour.green, colour.blue);
  SendMessageW(control, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  const std::wstring wide = WideFromUtf8(text);
  SendMessageW(control, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
}

void DialogWindow::ScrollTextLines(int id, int lines) {
  SendMessageW(Control(id), EM_LINESCROLL, 0, lines);
}

}  // namespace kvx::win32ui
