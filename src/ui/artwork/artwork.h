// The upgrader's artwork, drawn with QPainter: the icon, the main window's background and the
// sixteen button bitmaps. kvx-artwork writes them as PNG files at build time; the program gets
// them as compiled-in resources. Needs a QGuiApplication (fonts); any thread that owns one.
#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace kvx::ui::artwork {

inline constexpr int kBackgroundWidth = 650;
inline constexpr int kBackgroundHeight = 450;
inline constexpr int kButtonWidth = 79;
inline constexpr int kButtonHeight = 25;

enum class ButtonState { kUp, kDown, kFocused, kDisabled };
enum class ButtonTone { kAction, kGo, kNeutral };

// Icon 152 at `size` x `size` pixels, with transparent corners.
QImage DrawIcon(int size);
// Background bitmap 147.
QImage DrawBackground();
// One button bitmap showing `label`.
QImage DrawButton(const QString& label, ButtonTone tone, ButtonState state);

// Every file of the artwork: its file name and its picture.
struct Picture {
  QString file_name;
  QImage image;
};
std::vector<Picture> DrawAll();

}  // namespace kvx::ui::artwork
