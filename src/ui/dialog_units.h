// Dialog units, the font-relative measure the dialog templates are laid out in: a horizontal unit
// is a quarter of the font's average character width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QRect>
#include <QStringLiteral>
#include <cmath>

namespace kvx::ui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    char_width_ = metrics.horizontalAdvance(alphabet) / alphabet.size();
    char_height_ = metrics.height();
  }

  int X(int units) const { return static_cast<int>(std::lround(units * char_width_ / 4)); }
  int Y(int units) const { return static_cast<int>(std::lround(units * char_height_ / 8)); }
  QRect Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
  }

 private:
  double char_width_ = 6;
  double char_height_ = 13;
};

}  // namespace kvx::ui
