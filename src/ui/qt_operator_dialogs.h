// The operator's dialogs as Qt shows them: QMessageBox, QFileDialog, the completion prompt, the
// port setup dialog, the about box and QDesktopServices. GUI thread only.
#pragma once

#include <QPointer>

#include "operator/operator_dialogs.h"

namespace kvx::ui {

class CAdmComSetup;

class QtOperatorDialogs final : public OperatorDialogs {
 public:
  BoxAnswer ShowBox(QWidget* owner, const BoxRequest& request) override;
  void ShowBoxWithoutWaiting(const BoxRequest& request) override;
  std::optional<std::string> ChooseImageFile(QWidget* owner,
                                             const std::string& current_path) override;
  CompletionChoice AskCompletion(QWidget* owner) override;
  void ChoosePort(QWidget* owner, const std::vector<std::string>& free_ports,
                  const std::string& initial_port, PortSetupDone done) override;
  void DismissPortSetup() override;
  void ShowAbout(QWidget* owner) override;
  void OpenWebPage(const std::string& url) override;

 private:
  QPointer<CAdmComSetup> port_setup_;  // the open port setup dialog, if any
};

}  // namespace kvx::ui
