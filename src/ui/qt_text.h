// Text between the program's UTF-8 std::string and Qt's QString.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace kvx::ui {

inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) {
  return text.toStdString();
}

// A message text for a Qt label: "\r\n" line breaks become "\n" (a lone CR would show as a box).
inline QString DisplayText(std::string_view text) {
  QString shown = ToQString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

}  // namespace kvx::ui
