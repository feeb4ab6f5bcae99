// CAdmComSetup: the port setup dialog. Lists the free ports it is given, in their order, with the
// initial port preselected when one entry equals it exactly; a hidden baud-rate list always
// yields "115200".
//
// GUI thread only. Shown for the engine, which waits for the answer (see OperatorDialogs).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;

namespace kvx::ui {

class CAdmComSetup final : public QDialog {
  Q_OBJECT

 public:
  CAdmComSetup(const std::vector<std::string>& free_ports, const std::string& initial_port,
               QWidget* parent = nullptr);

  // Valid after Ok: the selected port (empty when the list was empty) and baud-rate text.
  const std::string& port() const { return port_; }
  const std::string& baud() const { return baud_; }

 private:
  void OnOk();

  QComboBox* port_list_ = nullptr;
  QComboBox* baud_list_ = nullptr;
  std::string port_;
  std::string baud_;
};

}  // namespace kvx::ui
