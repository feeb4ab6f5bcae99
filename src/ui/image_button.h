// A push button drawn from four bitmaps named after its caption: U (up), D (pressed),
// F (focused) and X (disabled), e.g. "&START_U". The caption's '&' gives the Alt shortcut.
// GUI thread only.
#pragma once

#include <QAbstractButton>
#include <QPixmap>

namespace kvx::ui {

class ImageButton final : public QAbstractButton {
  Q_OBJECT

 public:
  // `caption` such as "&START_"; the bitmaps are loaded from the program's resources.
  explicit ImageButton(const QString& caption, QWidget* parent = nullptr);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const QPixmap& Current() const;

  QPixmap up_;
  QPixmap down_;
  QPixmap focused_;
  QPixmap disabled_;
};

}  // namespace kvx::ui
