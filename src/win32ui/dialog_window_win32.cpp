#include "win32ui/dialog_window.h"

#include <windows.h>

#include "win32ui/dialog_pictures.h"

namespace kvx::win32ui {

// The system's dialog procedure: finds the box through the window's user data, which the
// initialisation message brings.
struct DialogProcedures {
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      auto* dialog = reinterpret_cast<DialogWindow*>(lparam);
      SetWindowLongPtrW(window, DWLP_USER, lparam);
      dialog->window_ = window;
      if (dialog->prepare_) dialog->prepare_(*dialog);
      return TRUE;
    }
    auto* dialog = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, DWLP_USER));
    if (dialog == nullptr) return FALSE;
    if (message == WM_NCDESTROY) {
      dialog->window_ = nullptr;
      return FALSE;
    }
    const INT_PTR handled = dialog->Handle(message, wparam, lparam);
    if (handled != 0 && message != WM_CTLCOLORSTATIC) {
      SetWindowLongPtrW(window, DWLP_MSGRESULT, 0);
    }
    return handled;
  }
};

DialogWindow::DialogWindow(bool modal) : modal_(modal), pictures_(std::make_unique<Pictures>()) {}

DialogWindow::~DialogWindow() {
  if (!modal_ && window_ != nullptr) {
    // The box must not call back into a destroyed object while it goes.
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    DestroyWindow(window_);
  }
}

std::unique_ptr<DialogWindow> DialogWindow::Create(int template_id, NativeWindow owner,
                                                   const Prepare& prepare) {
  // Owned at once; make_unique cannot reach the private constructor.
  std::unique_ptr<DialogWindow> dialog(new DialogWindow(false));
  dialog->prepare_ = prepare;
  CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), owner,
                     &DialogProcedures::Procedure, reinterpret_cast<LPARAM>(dialog.get()));
  if (dialog->window_ == nullptr) return nullptr;
  return dialog;
}

int DialogWindow::RunModal(int template_id, NativeWindow owner, const Prepare& prepare) {
  DialogWindow dialog(true);
  dialog.prepare_ = prepare;
  const INT_PTR result =
      DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_id), owner,
                      &DialogProcedures::Procedure, reinterpret_cast<LPARAM>(&dialog));
  return static_cast<int>(result);
}

void DialogWindow::EndModal(int result) {
  if (modal_ && window_ != nullptr) EndDialog(window_, result);
}

void DialogWindow::ShowWindow(bool visible) {
  ::ShowWindow(window_, visible ? SW_SHOW : SW_HIDE);
}

void DialogWindow::OnCommand(int id, std::function<void()> handler) {
  commands_[id] = std::move(handler);
}

void DialogWindow::OnClickArea(int id, std::function<void()> handler) {
  click_areas_[id] = std::move(handler);
}

void DialogWindow::OnFilesDropped(std::function<void(const std::string&)> handler) {
  files_dropped_ = std::move(handler);
  DragAcceptFiles(window_, files_dropped_ ? TRUE : FALSE);
}

void DialogWindow::OnHelp(std::function<void()> handler) {
  help_ = std::move(handler);
}

void DialogWindow::OnClose(std::function<void()> handler) {
  close_ = std::move(handler);
}

namespace {

// Ok and Cancel end a modal box; a modeless one (the main window) ignores Enter and Escape.
bool RunCommand(const std::map<int, std::function<void()>>& commands, int id) {
  const auto found = commands.find(id);
  if (found == commands.end() || !found->second) return false;
  // A handler may replace the table (and so itself): run a copy.
  const std::function<void()> handler = found->second;
  handler();
  return true;
}

}  // namespace

std::intptr_t DialogWindow::Handle(unsigned message, std::uintptr_t wparam, std::intptr_t lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (RunCommand(commands_, id)) return TRUE;
      if (id == IDOK || id == IDCANCEL) {
        if (modal_) EndDialog(window_, id);
        return TRUE;
      }
      return FALSE;
    }
    case WM_SYSCOMMAND:
      // The system keeps the low four bits of its own commands.
      if ((wparam & 0xFFF0) < 0xF000 && RunCommand(commands_, static_cast<int>(wparam & 0xFFF0))) {
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      if (close_) {
        const std::function<void()> handler = close_;
        handler();
        return TRUE;
      }
      if (modal_) {
        EndDialog(window_, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    case WM_HELP:
    case WM_CONTEXTMENU:
      if (!help_) return FALSE;
      help_();
      return TRUE;
    case WM_DRAWITEM:
      return DrawBitmapButton(lparam) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC:
      return ColourStatic(wparam, lparam);
    case WM_ERASEBKGND:
      return pictures_->background ? TRUE : FALSE;
    case WM_PAINT:
      return Paint() ? TRUE : FALSE;
    case WM_DROPFILES:
      TakeDroppedFiles(wparam);
      return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      TrackClickArea(message == WM_LBUTTONDOWN, lparam);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace kvx::win32ui
