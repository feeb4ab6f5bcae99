// CAdmComSetup: the port setup dialog. Lists the free ports it is given, in their order, each with
// what the system knows about it as its tooltip (USB ids and strings, the by-id link). The initial
// port is preselected when one entry equals it exactly, or when it is a link (such as
// /dev/serial/by-id/...) to one; a hidden baud-rate list always yields "115200".
//
// GUI thread only. Shown for the engine, which waits for the answer (see OperatorDialogs).
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/port_description.h"

class QComboBox;

namespace kvx::ui {

class CAdmComSetup final : public QDialog {
  Q_OBJECT

 public:
  // A port's description for its tooltip; empty for none.
  using PortDescriber = std::function<std::string(const std::string& port)>;

  CAdmComSetup(const std::vector<std::string>& free_ports, const std::string& initial_port,
               QWidget* parent = nullptr, const PortDescriber& describe = DescribeSystemPort);

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
