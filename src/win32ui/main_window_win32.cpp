#include "win32ui/main_window.h"

#include <utility>

#include "operator/control_ids.h"
#include "win32ui/main_window_layout.h"
#include "win32ui/resource_ids.h"

// After the program's headers: <windows.h> defines macros named like their constants.
#include <windows.h>

namespace kvx::win32ui {

MainWindow::MainWindow(GuiQueue& queue, ui::EngineLink& engine, ProfileStore& profile, Clock& clock,
                       std::filesystem::path config_file)
    : queue_(queue),
      behaviour_(ui::MainWindowServices{engine, dialogs_, profile, clock, queue, queue,
                                        std::move(config_file)},
                 *this) {}

bool MainWindow::Create() {
  dialog_ = DialogWindow::Create(IDD_MAIN_WINDOW, nullptr, ApplyMainWindowLayout);
  if (!dialog_) return false;
  dialogs_.SetOwner(dialog_->handle());
  log_window_ = std::make_unique<LogWindow>(dialog_->handle(), queue_,
                                            [this] { behaviour_.OnLogWindowKey(); });
  ConnectCommands();
  return true;
}

void MainWindow::ConnectCommands() {
  for (const int id : {IDC_START, IDC_OPEN, IDC_PORTSETUP, IDC_EXIT, IDM_ABOUT, ID_DEV_SEQUENCE_1,
                       ID_DEV_SEQUENCE_2, ID_DEV_SEQUENCE_3, ID_DEV_SEQUENCE_4, ID_DUMP_TOGGLE,
                       ID_LOG_WINDOW_TOGGLE}) {
    dialog_->OnCommand(id, [this, id] { behaviour_.OnCommand(id); });
  }
  dialog_->OnHelp([this] { behaviour_.OnAbout(); });
  dialog_->OnClose([this] { behaviour_.OnExit(); });
  dialog_->OnClickArea(IDC_WEB_LINK_AREA, [this] { behaviour_.OnWebLink(); });
  // Each name from the last dropped to the first: the first becomes the path.
  dialog_->OnFilesDropped([this](const std::string& path) { behaviour_.DropFiles({path}); });
}

void MainWindow::Start() {
  behaviour_.OnInitDialog();
}

int MainWindow::Run() {
  return RunMessageLoop(*dialog_, IDR_MAIN_ACCELERATORS);
}

void MainWindow::EnableControl(int id, bool enabled) {
  dialog_->Enable(id, enabled);
}

bool MainWindow::IsControlEnabled(int id) const {
  return dialog_->IsEnabled(id);
}

void MainWindow::ShowControl(int id, bool visible) {
  dialog_->Show(id, visible);
}

void MainWindow::SetChecked(int id, bool checked) {
  dialog_->Check(id, checked);
}

bool MainWindow::IsChecked(int id) const {
  return dialog_->IsChecked(id);
}

void MainWindow::FocusControl(int id) {
  dialog_->Focus(id);
}

void MainWindow::SetControlText(int id, const std::string& text) {
  dialog_->SetText(id, text);
}

std::string MainWindow::ControlText(int id) const {
  return dialog_->Text(id);
}

void MainWindow::SetProgressRange(const ui::ProgressRange& range) {
  if (range.sixteen_bits) {
    dialog_->SetProgressRange16(IDC_PROGRESS, static_cast<std::uint16_t>(range.minimum),
                                static_cast<std::uint16_t>(range.maximum));
  } else {
    dialog_->SetProgressRange32(IDC_PROGRESS, range.minimum, range.maximum);
  }
}

void MainWindow::SetProgressPosition(int position) {
  dialog_->SetProgressPosition(IDC_PROGRESS, position);
}

void MainWindow::SetTitle(const std::string& title) {
  dialog_->SetCaption(title);
}

void MainWindow::ShowSelectedPort(const std::string& /*port*/) {
  // The dialog's template has no place for it: the title names the selected port.
}

void MainWindow::ShowMainWindow() {
  dialog_->ShowWindow(true);
  SetForegroundWindow(dialog_->handle());
}

void MainWindow::AttachTrace(TraceStore* trace) {
  log_window_->Attach(trace);
}

void MainWindow::SetLogWindowShown(bool shown) {
  log_window_->SetShown(shown);
}

void MainWindow::RunUntil(const std::function<bool()>& done) {
  RunMessagesUntil(*dialog_, IDR_MAIN_ACCELERATORS, done);
}

void MainWindow::Ended() {
  PostQuitMessage(0);
}

}  // namespace kvx::win32ui
