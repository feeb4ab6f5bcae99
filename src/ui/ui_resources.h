// The artwork compiled into the program: the icon, the background and the button bitmaps.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace kvx::ui {

// Registers the compiled-in resources; call once before any of the functions below (the
// resources live in a static library, so nothing registers them by itself).
void InitUiResources();

// Icon 152: the window icon in every size drawn.
QIcon AppIcon();
// Background bitmap 147, 650 x 450.
QPixmap BackgroundBitmap();
// A button bitmap by its resource name, e.g. "&START_U" (79 x 25).
QPixmap ButtonBitmap(const QString& name);

}  // namespace kvx::ui
