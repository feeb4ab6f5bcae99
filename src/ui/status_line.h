// The main window's status line: light grey text (230, 230, 230) on dark grey (97, 97, 97).
// GUI thread only.
#pragma once

#include <QLabel>

namespace kvx::ui {

class StatusLine final : public QLabel {
  Q_OBJECT

 public:
  explicit StatusLine(QWidget* parent = nullptr);

  void SetStatus(const QString& text);

 signals:
  // Every status shown, in order (also the same text twice).
  void statusShown(const QString& text);
};

}  // namespace kvx::ui
