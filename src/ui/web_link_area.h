// The invisible click area over the maker's address in the main window's background. A left press
// inside followed by a release inside opens the page; any release forgets the press.
// GUI thread only.
#pragma once

#include <QWidget>

namespace kvx::ui {

class WebLinkArea final : public QWidget {
  Q_OBJECT

 public:
  explicit WebLinkArea(QWidget* parent = nullptr);

 signals:
  void activated();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_inside_ = false;
};

}  // namespace kvx::ui
