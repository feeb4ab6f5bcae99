#include "ui/status_line.h"

#include <QPalette>

namespace kvx::ui {

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
  setObjectName(QStringLiteral("statusLine"));
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setAutoFillBackground(true);
  QPalette colours = palette();
  colours.setColor(QPalette::Window, QColor(97, 97, 97));
  colours.setColor(QPalette::WindowText, QColor(230, 230, 230));
  setPalette(colours);
  setIndent(4);
}

void StatusLine::SetStatus(const QString& text) {
  setText(text);
  emit statusShown(text);
}

}  // namespace kvx::ui
