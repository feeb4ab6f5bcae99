// CAboutDlg: the about box with the program's name, version and copyright line. Modal, GUI thread.
#pragma once

#include <QDialog>

namespace kvx::ui {

class CAboutDlg final : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  // "Velmora KVX-01 Upgrader Version (v1.0.1) " and "About Velmora KVX-01 Upgrader ", each
  // with its trailing space.
  static QString VersionLine();
  static QString Caption();
};

}  // namespace kvx::ui
