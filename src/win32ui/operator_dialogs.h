// The boxes, dialogs and desktop services of the Windows window: message boxes, the file-open
// dialog, the completion prompt, the port setup dialog, the about box and the web page. All are
// owned by the main window once it exists.
#pragma once

#include "operator/operator_dialogs.h"
#include "win32ui/dialog_window.h"

namespace kvx::win32ui {

class Win32OperatorDialogs final : public ui::OperatorDialogs {
 public:
  // The window the modal boxes belong to; before it exists they have no owner.
  void SetOwner(NativeWindow owner) { owner_ = owner; }

  ui::BoxAnswer ShowBox(const ui::BoxRequest& request) override;
  void ShowBoxWithoutWaiting(const ui::BoxRequest& request) override;
  std::optional<std::string> ChooseImageFile(const std::string& current_path) override;
  ui::CompletionChoice AskCompletion() override;
  void ChoosePort(const std::vector<std::string>& free_ports, const std::string& initial_port,
                  ui::PortSetupDone done) override;
  void DismissPortSetup() override;
  void ShowAbout() override;
  void OpenWebPage(const std::string& url) override;

 private:
  NativeWindow owner_ = nullptr;
  DialogWindow* port_setup_ = nullptr;  // while the port setup dialog is open
};

}  // namespace kvx::win32ui
