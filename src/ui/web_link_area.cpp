#include "ui/web_link_area.h"

#include <QMouseEvent>

namespace kvx::ui {

WebLinkArea::WebLinkArea(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("webLink"));
  setCursor(Qt::PointingHandCursor);
  setAttribute(Qt::WA_TranslucentBackground);
}

void WebLinkArea::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton)
    pressed_inside_ = rect().contains(event->position().toPoint());
  event->accept();
}

void WebLinkArea::mouseReleaseEvent(QMouseEvent* event) {
  const bool open = event->button() == Qt::LeftButton && pressed_inside_ &&
                    rect().contains(event->position().toPoint());
  pressed_inside_ = false;
  event->accept();
  if (open) emit activated();
}

}  // namespace kvx::ui
