// kvx-upgrader.exe: the Windows operator window. For now it shows the main window and its boxes
// without an engine: the image buttons, the system menu's About, F1, the log window
// (Ctrl+Shift+D), the port setup dialog (over no ports) and dropped files. Start and Open stay
// disabled: it cannot upgrade anything. Wiring the engine and the operator behaviour comes next.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>

#include <memory>

#include "operator/app_identity.h"
#include "win32ui/about_box.h"
#include "win32ui/dialog_window.h"
#include "win32ui/main_window_layout.h"
#include "win32ui/port_setup_dialog.h"
#include "win32ui/resource_ids.h"

namespace {

using kvx::win32ui::DialogWindow;

void PrepareMainWindow(DialogWindow& window, std::unique_ptr<DialogWindow>& log_window) {
  kvx::win32ui::ApplyMainWindowLayout(window);
  window.SetCaption(kvx::ui::StartTitle(false));
  window.Show(IDC_PORTSETUP, true);
  window.Enable(IDC_START, false);
  window.Enable(IDC_OPEN, false);
  const auto about = [&window] { kvx::win32ui::RunAboutBox(window.handle()); };
  window.OnCommand(IDM_ABOUT, about);
  window.OnHelp(about);
  window.OnCommand(IDC_PORTSETUP,
                   [&window] { kvx::win32ui::RunPortSetup(window.handle(), {}, ""); });
  window.OnCommand(ID_LOG_WINDOW_TOGGLE, [&window, &log_window] {
    if (!log_window) log_window = DialogWindow::Create(IDD_LOG_WINDOW, window.handle());
    if (log_window) log_window->ShowWindow(!IsWindowVisible(log_window->handle()));
  });
  window.OnFilesDropped([&window](const std::string& path) { window.SetText(IDC_PATH_BOX, path); });
  const auto quit = [] { PostQuitMessage(0); };
  window.OnCommand(IDC_EXIT, quit);
  window.OnClose(quit);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  kvx::win32ui::LoadRichTextLibrary();
  std::unique_ptr<DialogWindow> log_window;
  const std::unique_ptr<DialogWindow> window = DialogWindow::Create(
      IDD_MAIN_WINDOW, nullptr,
      [&log_window](DialogWindow& created) { PrepareMainWindow(created, log_window); });
  if (!window) return 1;
  window->ShowWindow(true);
  const int result = kvx::win32ui::RunMessageLoop(*window, IDR_MAIN_ACCELERATORS);
  log_window.reset();
  return result;
}
