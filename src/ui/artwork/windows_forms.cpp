#include "ui/artwork/windows_forms.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>
#include <cstdint>

#include "ui/artwork/artwork.h"

namespace kvx::ui::artwork {

namespace {

constexpr int kIconDirSize = 6;
constexpr int kIconEntrySize = 16;
// Windows reads an icon of 256 pixels only as PNG data inside the ICO file.
constexpr int kLargestBitmapIcon = 128;

void AppendLittle16(QByteArray& bytes, std::uint16_t value) {
  const std::uint16_t little = qToLittleEndian(value);
  bytes.append(reinterpret_cast<const char*>(&little), sizeof little);
}

void AppendLittle32(QByteArray& bytes, std::uint32_t value) {
  const std::uint32_t little = qToLittleEndian(value);
  bytes.append(reinterpret_cast<const char*>(&little), sizeof little);
}

QByteArray Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, format);
  return writer.write(image) ? bytes : QByteArray();
}

// One icon's image data as an ICO file stores it: a BMP-style image for the small sizes (taken
// from the single-image ICO file Qt writes), PNG for the large one.
struct IconImage {
  QByteArray entry;  // the ICONDIRENTRY without its offset field's final value
  QByteArray data;
};

bool EncodeOneIcon(const QImage& icon, IconImage& out) {
  if (icon.width() > kLargestBitmapIcon) {
    out.data = Encode(icon, "PNG");
    if (out.data.isEmpty()) return false;
    out.entry.clear();
    out.entry.append(char(0));  // 0 stands for 256
    out.entry.append(char(0));
    out.entry.append(char(0));  // no palette
    out.entry.append(char(0));
    AppendLittle16(out.entry, 1);   // planes
    AppendLittle16(out.entry, 32);  // bits per pixel
    AppendLittle32(out.entry, static_cast<std::uint32_t>(out.data.size()));
    AppendLittle32(out.entry, 0);
    return true;
  }
  const QByteArray single = Encode(icon, "ICO");
  if (single.size() < kIconDirSize + kIconEntrySize) return false;
  const auto* bytes = reinterpret_cast<const uchar*>(single.constData());
  const std::uint32_t size = qFromLittleEndian<std::uint32_t>(bytes + kIconDirSize + 8);
  const std::uint32_t offset = qFromLittleEndian<std::uint32_t>(bytes + kIconDirSize + 12);
  if (qFromLittleEndian<std::uint16_t>(bytes + 4) != 1 || offset > std::uint32_t(single.size()) ||
      size > std::uint32_t(single.size()) - offset) {
    return false;
  }
  out.entry = single.mid(kIconDirSize, kIconEntrySize);
  out.data = single.mid(static_cast<qsizetype>(offset), static_cast<qsizetype>(size));
  return true;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
         file.write(bytes) == bytes.size() && file.flush();
}

// The resource compiler takes 24-bit bitmaps, which Qt's BMP writer makes from an RGB image.
bool WriteBitmap(const QImage& image, const QString& path) {
  const QByteArray bytes = Encode(image.convertToFormat(QImage::Format_RGB32), "BMP");
  return !bytes.isEmpty() && WriteFile(path, bytes);
}

}  // namespace

QByteArray EncodeIconFile(const std::vector<QImage>& icons) {
  std::vector<IconImage> images(icons.size());
  for (std::size_t i = 0; i < icons.size(); ++i) {
    if (!EncodeOneIcon(icons[i], images[i])) return {};
  }
  QByteArray file;
  AppendLittle16(file, 0);  // reserved
  AppendLittle16(file, 1);  // an icon, not a cursor
  AppendLittle16(file, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = kIconDirSize + kIconEntrySize * static_cast<std::uint32_t>(images.size());
  for (const IconImage& image : images) {
    file.append(image.entry.left(12));
    AppendLittle32(file, offset);
    offset += static_cast<std::uint32_t>(image.data.size());
  }
  for (const IconImage& image : images) file.append(image.data);
  return file;
}

bool WriteWindowsForms(const std::vector<Picture>& pictures, const QDir& folder) {
  std::vector<QImage> icons;
  for (const Picture& picture : pictures) {
    if (picture.file_name.startsWith(QLatin1String("icon_"))) {
      icons.push_back(picture.image);
    } else if (!WriteBitmap(picture.image, folder.filePath(QString(picture.file_name)
                                                               .replace(QLatin1String(".png"),
                                                                        QLatin1String(".bmp"))))) {
      return false;
    }
  }
  const QByteArray icon_file = EncodeIconFile(icons);
  return !icon_file.isEmpty() && WriteFile(folder.filePath(QStringLiteral("icon.ico")), icon_file);
}

}  // namespace kvx::ui::artwork
