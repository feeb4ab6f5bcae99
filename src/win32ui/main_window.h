// The Windows operator window: the main dialog of resources.rc as a view of MainWindowBehaviour.
// It turns the dialog's commands (buttons, accelerators, the system menu's About, F1, the link
// area, drops, the close button) into the behaviour's commands and shows what the behaviour
// decides. The engine's reports reach the behaviour through the thread's GuiQueue.
//
// Window thread only.
#pragma once

#include <filesystem>
#include <memory>

#include "operator/engine_link.h"
#include "operator/main_window_behaviour.h"
#include "operator/main_window_view.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "win32ui/dialog_window.h"
#include "win32ui/gui_queue.h"
#include "win32ui/log_window.h"
#include "win32ui/operator_dialogs.h"

namespace kvx::win32ui {

class MainWindow final : public ui::MainWindowView {
 public:
  // Everything given must outlive the window.
  MainWindow(GuiQueue& queue, ui::EngineLink& engine, ProfileStore& profile, Clock& clock,
             std::filesystem::path config_file);
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates the dialog (hidden) and the log window; false when the system refuses.
  bool Create();
  // Starts the engine and asks the start-up warning; the window shows once it is confirmed.
  void Start();
  // Runs the thread's messages until the engine has ended after Exit; returns the exit code.
  int Run();

  DialogWindow& dialog() const { return *dialog_; }
  ui::MainWindowBehaviour& behaviour() { return behaviour_; }

  // MainWindowView
  void EnableControl(int id, bool enabled) override;
  bool IsControlEnabled(int id) const override;
  void ShowControl(int id, bool visible) override;
  void SetChecked(int id, bool checked) override;
  bool IsChecked(int id) const override;
  void FocusControl(int id) override;
  void SetControlText(int id, const std::string& text) override;
  std::string ControlText(int id) const override;
  void SetProgressRange(const ui::ProgressRange& range) override;
  void SetProgressPosition(int position) override;
  void SetTitle(const std::string& title) override;
  void ShowSelectedPort(const std::string& port) override;
  void ShowMainWindow() override;
  void AttachTrace(TraceStore* trace) override;
  void SetLogWindowShown(bool shown) override;
  void RunUntil(const std::function<bool()>& done) override;
  void Ended() override;

 private:
  void ConnectCommands();

  GuiQueue& queue_;
  Win32OperatorDialogs dialogs_;
  std::unique_ptr<DialogWindow> dialog_;
  std::unique_ptr<LogWindow> log_window_;
  // Last, so it goes first: closing a running engine still uses the dialog and the queue, and
  // a command that arrives meanwhile still reaches it.
  ui::MainWindowBehaviour behaviour_;
};

}  // namespace kvx::win32ui
