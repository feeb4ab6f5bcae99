// The selected port beside "Serial port" in the main window, for window managers that show no
// title bar (or none at all): the port name, cut in the middle when it is too long (the whole
// name is the tooltip), or "none" in the hint colour. GUI thread.
#pragma once

#include <QLabel>
#include <string>

namespace kvx::ui {

class PortLabel final : public QLabel {
  Q_OBJECT

 public:
  static constexpr const char* kNoPortText = "none";

  explicit PortLabel(QWidget* parent = nullptr);

  // `port` empty: no port is selected.
  void ShowPort(const std::string& port);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Refresh();

  QString port_;
};

}  // namespace kvx::ui
