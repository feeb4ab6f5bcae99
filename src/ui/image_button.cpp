#include "ui/image_button.h"

#include <QPainter>

#include "ui/ui_resources.h"

namespace kvx::ui {

ImageButton::ImageButton(const QString& caption, QWidget* parent)
    : QAbstractButton(parent),
      up_(ButtonBitmap(caption + QLatin1Char('U'))),
      down_(ButtonBitmap(caption + QLatin1Char('D'))),
      focused_(ButtonBitmap(caption + QLatin1Char('F'))),
      disabled_(ButtonBitmap(caption + QLatin1Char('X'))) {
  setText(caption);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
}

QSize ImageButton::sizeHint() const {
  return up_.isNull() ? QSize(79, 25) : up_.size();
}

const QPixmap& ImageButton::Current() const {
  if (!isEnabled()) return disabled_;
  if (isDown()) return down_;
  if (hasFocus()) return focused_;
  return up_;
}

void ImageButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(rect(), Current());
}

}  // namespace kvx::ui
