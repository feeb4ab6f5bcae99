// CViewDialog: the prompt after a completed upgrade. Accepted = "&Upgrade" (another terminal);
// rejected = "Exit", Escape or the close button. Modal, GUI thread.
#pragma once

#include <QDialog>

namespace kvx::ui {

class CViewDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit CViewDialog(QWidget* parent = nullptr);
};

}  // namespace kvx::ui
