// The operator's dialogs as Qt shows them: QMessageBox, QFileDialog, the completion prompt, the
// port setup dialog, the about box and QDesktopServices, each over the owner window (the main
// window once the program has one; none before, or in tests). GUI thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "operator/operator_dialogs.h"

namespace kvx::ui {

class CAdmComSetup;

class QtOperatorDialogs final : public OperatorDialogs {
 public:
  // The main window is made after its dialogs (its behaviour needs them): it is given here once
  // it exists. The dialogs forget it when it goes.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  BoxAnswer ShowBox(const BoxRequest& request) override;
  void ShowBoxWithoutWaiting(const BoxRequest& request) override;
  std::optional<std::string> ChooseImageFile(const std::string& current_path) override;
  CompletionChoice AskCompletion() override;
  void ChoosePort(const std::vector<std::string>& free_ports, const std::string& initial_port,
                  PortSetupDone done) override;
  void DismissPortSetup() override;
  void ShowAbout() override;
  void OpenWebPage(const std::string& url) override;

 private:
  QPointer<QWidget> owner_;
  QPointer<CAdmComSetup> port_setup_;  // the open port setup dialog, if any
};

}  // namespace kvx::ui
