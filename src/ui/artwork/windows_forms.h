// The artwork in the forms a Windows resource script takes: 24-bit BMP files for the background
// and the button bitmaps, one ICO file holding every size of the icon.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QImage>
#include <vector>

#include "ui/artwork/artwork.h"

namespace kvx::ui::artwork {

// One ICO file of `icons` (square, up to 256 pixels each), or empty when Qt cannot encode one.
QByteArray EncodeIconFile(const std::vector<QImage>& icons);

// Writes the pictures of DrawAll as background.bmp, <BUTTON>_<STATE>.bmp and one icon.ico of
// all the icon sizes into `folder`; false on any failure.
bool WriteWindowsForms(const std::vector<Picture>& pictures, const QDir& folder);

}  // namespace kvx::ui::artwork
