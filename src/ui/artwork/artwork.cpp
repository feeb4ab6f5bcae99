#include "ui/artwork/artwork.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>
#include <cmath>

#include "operator/app_identity.h"

namespace kvx::ui::artwork {

namespace {

// The palette: a navy header with an orange accent over a light, cool grey page.
const QColor kNavy(0x17, 0x32, 0x4f);
const QColor kNavyLight(0x22, 0x4b, 0x78);
const QColor kOrange(0xf0, 0x8a, 0x24);
const QColor kInk(0x1f, 0x3a, 0x5f);
const QColor kText(0x46, 0x55, 0x6a);
const QColor kHint(0x6a, 0x78, 0x88);
const QColor kPanel(0xf4, 0xf6, 0xf9);
const QColor kPanelBorder(0xc3, 0xcc, 0xd6);

// The panel that holds the controls: buttons sit on its colour.
const QRectF kPanelRect(212.5, 214.5, 427, 229);

QFont Font(int pixel_size, bool bold = false) {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferFullHinting);
  return font;
}

void Text(QPainter& painter, const QPointF& baseline, const QString& text, const QFont& font,
          const QColor& colour) {
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(baseline, text);
}

void DrawPage(QPainter& painter) {
  QLinearGradient page(0, 0, 0, kBackgroundHeight);
  page.setColorAt(0, QColor(0xec, 0xf0, 0xf4));
  page.setColorAt(1, QColor(0xd8, 0xde, 0xe6));
  painter.fillRect(0, 0, kBackgroundWidth, kBackgroundHeight, page);
}

void DrawHeader(QPainter& painter) {
  QLinearGradient band(0, 0, kBackgroundWidth, 96);
  band.setColorAt(0, kNavy);
  band.setColorAt(1, kNavyLight);
  painter.fillRect(0, 0, kBackgroundWidth, 96, band);

  // Faint signal rings spreading from behind the brand.
  painter.save();
  painter.setClipRect(0, 0, kBackgroundWidth, 96);
  painter.setBrush(Qt::NoBrush);
  for (int ring = 1; ring <= 7; ++ring) {
    painter.setPen(QPen(QColor(255, 255, 255, 16), 2));
    const double r = 40.0 * ring;
    painter.drawEllipse(QPointF(-20, 110), r, r);
  }
  painter.restore();

  painter.fillRect(0, 96, kBackgroundWidth, 3, kOrange);

  QFont brand = Font(30, true);
  brand.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  Text(painter, {24, 50}, QStringLiteral("VELMORA"), brand, Qt::white);
  Text(painter, {26, 76}, QStringLiteral("KVX-01 Firmware Upgrader"), Font(14),
       QColor(0xb8, 0xc9, 0xdc));
}

void DrawGlobe(QPainter& painter, const QPointF& centre, double radius) {
  painter.save();
  painter.setPen(QPen(QColor(255, 255, 255, 220), 1.6));
  painter.setBrush(Qt::NoBrush);
  painter.drawEllipse(centre, radius, radius);
  painter.drawEllipse(centre, radius * 0.45, radius);
  painter.drawLine(QPointF(centre.x() - radius, centre.y()),
                   QPointF(centre.x() + radius, centre.y()));
  painter.drawLine(QPointF(centre.x(), centre.y() - radius),
                   QPointF(centre.x(), centre.y() + radius));
  painter.restore();
}

// The maker's address, over the window's click area at (374, 18), 245 x 59.
void DrawLink(QPainter& painter) {
  const QRectF area(374.5, 18.5, 244, 58);
  painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
  painter.setBrush(QColor(255, 255, 255, 24));
  painter.drawRoundedRect(area, 8, 8);
  DrawGlobe(painter, {400, 47.5}, 13);
  Text(
      painter, {424, 45},
      QString::fromLatin1(kMakerHomePageLabel.data(), static_cast<int>(kMakerHomePageLabel.size())),
      Font(15, true), Qt::white);
  Text(painter, {425, 63}, QStringLiteral("Support and downloads"), Font(11),
       QColor(0xb8, 0xc9, 0xdc));
}

void DrawIntroduction(QPainter& painter) {
  // Starts right of where the development options appear.
  Text(painter, {252, 130}, QStringLiteral("Firmware upgrade"), Font(17, true), kInk);
  const std::array<QString, 3> steps = {
      QStringLiteral("Connect the KVX-01 to this PC with its USB cable."),
      QStringLiteral("Choose its serial port and the firmware file (.stf, .bin)."),
      QStringLiteral("Press START and keep the cable in until it completes.")};
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const double y = 156 + 19.0 * static_cast<double>(i);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kOrange);
    painter.drawEllipse(QPointF(260, y - 4.5), 7.5, 7.5);
    Text(painter, {256.5, y}, QString::number(i + 1), Font(11, true), Qt::white);
    Text(painter, {274, y}, steps[i], Font(12), kText);
  }
}

void DrawPanel(QPainter& painter) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x3a, 0x5f, 28));
  painter.drawRoundedRect(kPanelRect.translated(0, 2), 10, 10);
  painter.setPen(QPen(kPanelBorder, 1));
  painter.setBrush(kPanel);
  painter.drawRoundedRect(kPanelRect, 10, 10);

  // The selected port is written beside it by the window.
  Text(painter, {226, 250}, QStringLiteral("Serial port"), Font(13, true), kInk);

  painter.setFont(Font(11));
  painter.setPen(kText);
  painter.drawText(QRectF(222, 305, 68, 17), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Status"));
  painter.drawText(QRectF(222, 322, 68, 17), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Progress"));

  painter.setPen(QPen(QColor(0xd5, 0xdc, 0xe4), 1));
  painter.drawLine(QPointF(226, 352.5), QPointF(626, 352.5));

  Text(painter, {226, 376}, QStringLiteral("Start the upgrade"), Font(13, true), kInk);
  Text(painter, {226, 393}, QStringLiteral("Do not disconnect the terminal while it runs."),
       Font(11), kHint);
  Text(painter, {226, 433}, QStringLiteral("\u00a9 2019-2024 Velmora"), Font(10),
       QColor(0x8a, 0x96, 0xa3));
}

// The terminal: a flat-panel antenna on a short mast, with a satellite answering it.
void DrawTerminal(QPainter& painter) {
  painter.save();
  // Ground shadow and mast.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x3a, 0x5f, 40));
  painter.drawEllipse(QPointF(108, 404), 62, 8);
  QLinearGradient mast(100, 0, 116, 0);
  mast.setColorAt(0, QColor(0x5b, 0x67, 0x75));
  mast.setColorAt(1, QColor(0x3c, 0x46, 0x52));
  painter.setBrush(mast);
  painter.drawRect(QRectF(101, 340, 14, 62));
  painter.setBrush(QColor(0x3c, 0x46, 0x52));
  painter.drawRoundedRect(QRectF(74, 396, 68, 10), 4, 4);

  // The antenna panel, tilted towards the sky.
  painter.translate(108, 300);
  painter.rotate(-14);
  QLinearGradient face(0, -52, 0, 52);
  face.setColorAt(0, QColor(0x3a, 0x4d, 0x63));
  face.setColorAt(1, QColor(0x23, 0x30, 0x3f));
  painter.setPen(QPen(QColor(0x17, 0x20, 0x2b), 1.5));
  painter.setBrush(face);
  painter.drawRoundedRect(QRectF(-70, -48, 140, 96), 9, 9);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x5a, 0x74, 0x92));
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 6; ++column) {
      painter.drawRoundedRect(QRectF(-60 + column * 20.5, -38 + row * 20, 15, 15), 2, 2);
    }
  }
  painter.setBrush(kOrange);
  painter.drawEllipse(QPointF(58, 40), 3, 3);
  painter.restore();

  // The satellite.
  painter.save();
  painter.translate(160, 210);
  painter.rotate(-25);
  painter.setPen(QPen(QColor(0x1b, 0x3b, 0x63), 1));
  painter.setBrush(QColor(0x2f, 0x6f, 0xb0));
  painter.drawRect(QRectF(-38, -7, 26, 14));
  painter.drawRect(QRectF(12, -7, 26, 14));
  painter.setPen(QPen(QColor(0x9f, 0xc4, 0xea), 1));
  for (double x : {-29.0, -20.0, 21.0, 30.0}) painter.drawLine(QPointF(x, -6), QPointF(x, 6));
  painter.setPen(QPen(QColor(0x3c, 0x46, 0x52), 1));
  painter.setBrush(QColor(0xd7, 0xdd, 0xe4));
  painter.drawRect(QRectF(-10, -10, 20, 20));
  painter.restore();

  // Its signal reaching down to the terminal.
  painter.save();
  painter.setBrush(Qt::NoBrush);
  for (int arc = 0; arc < 3; ++arc) {
    painter.setPen(
        QPen(QColor(0xf0, 0x8a, 0x24, 200 - arc * 50), 2.2, Qt::SolidLine, Qt::RoundCap));
    const double r = 16 + arc * 11;
    painter.drawArc(QRectF(148 - r, 222 - r, 2 * r, 2 * r), 200 * 16, 55 * 16);
  }
  painter.restore();

  QFont name = Font(15, true);
  name.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  painter.setFont(name);
  painter.setPen(kInk);
  painter.drawText(QRectF(40, 414, 136, 22), Qt::AlignCenter, QStringLiteral("KVX-01"));
}

struct Tone {
  QColor top;
  QColor bottom;
  QColor border;
};

Tone ToneOf(ButtonTone tone) {
  switch (tone) {
    case ButtonTone::kGo:
      return {QColor(0x33, 0x9c, 0x68), QColor(0x23, 0x75, 0x4c), QColor(0x1a, 0x5c, 0x3b)};
    case ButtonTone::kNeutral:
      return {QColor(0x74, 0x80, 0x8e), QColor(0x58, 0x62, 0x6e), QColor(0x45, 0x4d, 0x57)};
    case ButtonTone::kAction:
      break;
  }
  return {QColor(0x33, 0x66, 0xa0), QColor(0x24, 0x4b, 0x78), QColor(0x1b, 0x3a, 0x5c)};
}

// The largest bold font up to 11 pixels in which `label` fits the button.
QFont ButtonFont(const QString& label) {
  for (int size = 11;; --size) {
    QFont font = Font(size, true);
    if (size <= 7 || QFontMetrics(font).horizontalAdvance(label) <= kButtonWidth - 12) return font;
  }
}

void DrawIconChip(QPainter& painter, double s) {
  const QRectF chip(0.27 * s, 0.30 * s, 0.46 * s, 0.46 * s);
  painter.setPen(
      QPen(Qt::white, std::max(1.0, 0.045 * s), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(chip, 0.06 * s, 0.06 * s);
  for (int pin = 0; pin < 3; ++pin) {
    const double offset = chip.left() + chip.width() * (0.25 + 0.25 * pin);
    const double y_offset = chip.top() + chip.height() * (0.25 + 0.25 * pin);
    painter.drawLine(QPointF(offset, chip.bottom()), QPointF(offset, chip.bottom() + 0.07 * s));
    painter.drawLine(QPointF(chip.left(), y_offset), QPointF(chip.left() - 0.07 * s, y_offset));
    painter.drawLine(QPointF(chip.right(), y_offset), QPointF(chip.right() + 0.07 * s, y_offset));
  }
  // The upward arrow: an upgrade.
  QPainterPath arrow;
  const double cx = chip.center().x();
  arrow.moveTo(cx, chip.top() + 0.07 * s);
  arrow.lineTo(cx + 0.14 * s, chip.top() + 0.22 * s);
  arrow.lineTo(cx + 0.055 * s, chip.top() + 0.22 * s);
  arrow.lineTo(cx + 0.055 * s, chip.bottom() - 0.07 * s);
  arrow.lineTo(cx - 0.055 * s, chip.bottom() - 0.07 * s);
  arrow.lineTo(cx - 0.055 * s, chip.top() + 0.22 * s);
  arrow.lineTo(cx - 0.14 * s, chip.top() + 0.22 * s);
  arrow.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(kOrange);
  painter.drawPath(arrow);
}

}  // namespace

QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double s = size;
  QLinearGradient tile(0, 0, s, s);
  tile.setColorAt(0, kNavyLight);
  tile.setColorAt(1, kNavy);
  painter.setPen(Qt::NoPen);
  painter.setBrush(tile);
  painter.drawRoundedRect(QRectF(0.03 * s, 0.03 * s, 0.94 * s, 0.94 * s), 0.2 * s, 0.2 * s);
  // Signal arcs in the top right corner.
  painter.setBrush(Qt::NoBrush);
  for (int arc = 0; arc < 2; ++arc) {
    painter.setPen(QPen(QColor(255, 255, 255, 150 - 50 * arc), std::max(1.0, 0.04 * s),
                        Qt::SolidLine, Qt::RoundCap));
    const double r = (0.12 + 0.1 * arc) * s;
    painter.drawArc(QRectF(0.84 * s - r, 0.16 * s - r, 2 * r, 2 * r), 180 * 16, 90 * 16);
  }
  DrawIconChip(painter, s);
  return image;
}

QImage DrawBackground() {
  QImage image(kBackgroundWidth, kBackgroundHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  DrawPage(painter);
  DrawHeader(painter);
  DrawLink(painter);
  DrawIntroduction(painter);
  DrawPanel(painter);
  DrawTerminal(painter);
  return image;
}

QImage DrawButton(const QString& label, ButtonTone tone, ButtonState state) {
  QImage image(kButtonWidth, kButtonHeight, QImage::Format_RGB32);
  image.fill(kPanel);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const QRectF body(0.5, 0.5, kButtonWidth - 1, kButtonHeight - 1);
  const Tone colours = ToneOf(tone);

  QColor text_colour = Qt::white;
  double text_shift = 0;
  if (state == ButtonState::kDisabled) {
    painter.setPen(QPen(QColor(0xb3, 0xbc, 0xc6), 1));
    painter.setBrush(QColor(0xcb, 0xd2, 0xda));
    painter.drawRoundedRect(body, 4, 4);
    text_colour = QColor(0xf1, 0xf3, 0xf6);
  } else {
    QLinearGradient fill(0, 0, 0, kButtonHeight);
    const bool down = state == ButtonState::kDown;
    fill.setColorAt(0, down ? colours.bottom.darker(112) : colours.top);
    fill.setColorAt(1, down ? colours.top.darker(112) : colours.bottom);
    painter.setPen(QPen(colours.border, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(body, 4, 4);
    if (down) {
      painter.setPen(QPen(QColor(0, 0, 0, 60), 1));
      painter.drawLine(QPointF(4, 1.5), QPointF(kButtonWidth - 4, 1.5));
      text_shift = 1;
    } else {
      painter.setPen(QPen(QColor(255, 255, 255, 60), 1));
      painter.drawLine(QPointF(4, 1.5), QPointF(kButtonWidth - 4, 1.5));
    }
    if (state == ButtonState::kFocused) {
      painter.setPen(QPen(QColor(0xff, 0xc6, 0x80), 1.5));
      painter.setBrush(Qt::NoBrush);
      painter.drawRoundedRect(body.adjusted(2, 2, -2, -2), 3, 3);
    }
  }
  painter.setFont(ButtonFont(label));
  if (state != ButtonState::kDisabled) {
    painter.setPen(QColor(0, 0, 0, 70));
    painter.drawText(body.translated(text_shift, text_shift + 1), Qt::AlignCenter, label);
  }
  painter.setPen(text_colour);
  painter.drawText(body.translated(text_shift, text_shift), Qt::AlignCenter, label);
  return image;
}

std::vector<Picture> DrawAll() {
  std::vector<Picture> pictures;
  for (const int size : {16, 32, 48, 256}) {
    pictures.push_back({QStringLiteral("icon_%1.png").arg(size), DrawIcon(size)});
  }
  pictures.push_back({QStringLiteral("background.png"), DrawBackground()});
  struct Button {
    const char* name;
    const char* label;
    ButtonTone tone;
  };
  const std::array<Button, 4> buttons = {{{"PORTSETUP", "PORT SETUP", ButtonTone::kAction},
                                          {"OPEN", "OPEN", ButtonTone::kAction},
                                          {"START", "START", ButtonTone::kGo},
                                          {"EXIT", "EXIT", ButtonTone::kNeutral}}};
  const std::array<std::pair<char, ButtonState>, 4> states = {{{'U', ButtonState::kUp},
                                                               {'D', ButtonState::kDown},
                                                               {'F', ButtonState::kFocused},
                                                               {'X', ButtonState::kDisabled}}};
  for (const Button& button : buttons) {
    for (const auto& [letter, state] : states) {
      pictures.push_back({QStringLiteral("%1_%2.png").arg(QLatin1String(button.name)).arg(letter),
                          DrawButton(QLatin1String(button.label), button.tone, state)});
    }
  }
  return pictures;
}

}  // namespace kvx::ui::artwork
