#include "ui/port_label.h"

#include <QFontMetrics>
#include <QPalette>

#include "ui/qt_text.h"

namespace kvx::ui {

namespace {

// The background's ink and hint colours.
const QColor kPortColour(0x1f, 0x3a, 0x5f);
const QColor kNoPortColour(0x6a, 0x78, 0x88);

}  // namespace

PortLabel::PortLabel(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("portLabel"));
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  setFont(font);
  Refresh();
}

void PortLabel::ShowPort(const std::string& port) {
  port_ = ToQString(port);
  Refresh();
}

void PortLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Refresh();
}

void PortLabel::Refresh() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, port_.isEmpty() ? kNoPortColour : kPortColour);
  setPalette(colours);
  if (port_.isEmpty()) {
    setText(QString::fromLatin1(kNoPortText));
    setToolTip(QString());
    return;
  }
  // A by-id path runs far past the button: its start and its end tell ports apart.
  setText(fontMetrics().elidedText(port_, Qt::ElideMiddle, width()));
  setToolTip(port_);
}

}  // namespace kvx::ui
