#include "platform/qt/qt_appearance.h"

#include <cstdint>
#include <fstream>
#include <stdexcept>

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

namespace tw {

namespace {
void paintFace(QWidget& widget, const QColor& face) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, face);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

std::uint16_t le16(const QByteArray& data, int at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[at]) |
                                    (static_cast<std::uint8_t>(data[at + 1]) << 8));
}

void put16(std::string& out, std::uint16_t v) {
  out += static_cast<char>(v & 0xff);
  out += static_cast<char>(v >> 8);
}
void put32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xff);
}
}  // namespace

void ApplyFormBackColor(QWidget& window) {
  const QColor face = QApplication::palette().color(QPalette::Button);
  paintFace(window, face);
  for (QWidget* child : window.findChildren<QWidget*>()) {
    if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) || qobject_cast<QGroupBox*>(child) ||
        qobject_cast<QLabel*>(child))
      paintFace(*child, face);
  }
}

QCursor LoadCursorFile(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("The pointer file " + path + " could not be read: " + file.errorString().toStdString() +
                             ".");
  QByteArray data = file.readAll();
  // A cursor file: reserved 0, type 2, at least one image; the first directory entry holds
  // the hot spot at bytes 10-13 of the file.
  if (data.size() < 22 || le16(data, 0) != 0 || le16(data, 2) != 2 || le16(data, 4) == 0)
    throw std::runtime_error("The pointer file " + path + " is not a cursor file.");
  int hotX = le16(data, 10), hotY = le16(data, 12);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "cur");
  QImage image = reader.read();
  if (image.isNull())
    throw std::runtime_error("The pointer file " + path +
                             " could not be read: " + reader.errorString().toStdString() + ".");
  return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

QIcon LoadIconFile(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  QImage image = reader.read();
  if (image.isNull())
    throw std::runtime_error("The icon file " + path + " could not be read: " + reader.errorString().toStdString() +
                             ".");
  return QIcon(QPixmap::fromImage(image));
}

void ApplySkinFile(QWidget& window, const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly))
    throw std::runtime_error("The skin file " + path + " could not be read: " + file.errorString().toStdString() +
                             ".");
  QByteArray sheet = file.readAll();
  if (file.error() != QFileDevice::NoError)
    throw std::runtime_error("The skin file " + path + " could not be read: " + file.errorString().toStdString() +
                             ".");
  ApplyFormBackColor(window);
  window.setStyleSheet(QString::fromUtf8(sheet));
}

void WriteCursorFile(const std::string& path, const QImage& source, int hotX, int hotY) {
  QImage image = source.convertToFormat(QImage::Format_ARGB32);
  const int w = image.width(), h = image.height();
  const int maskStride = ((w + 31) / 32) * 4;
  const std::uint32_t bitmapSize = 40 + static_cast<std::uint32_t>(w * h * 4 + maskStride * h);
  std::string out;
  // Directory: reserved, type 2 (cursor), one image.
  put16(out, 0);
  put16(out, 2);
  put16(out, 1);
  // Entry: size, colours, reserved, hot spot, bitmap size and offset.
  out += static_cast<char>(w >= 256 ? 0 : w);
  out += static_cast<char>(h >= 256 ? 0 : h);
  out += '\0';
  out += '\0';
  put16(out, static_cast<std::uint16_t>(hotX));
  put16(out, static_cast<std::uint16_t>(hotY));
  put32(out, bitmapSize);
  put32(out, 22);
  // BITMAPINFOHEADER with the doubled height of colour plus mask.
  put32(out, 40);
  put32(out, static_cast<std::uint32_t>(w));
  put32(out, static_cast<std::uint32_t>(h * 2));
  put16(out, 1);
  put16(out, 32);
  put32(out, 0);
  put32(out, static_cast<std::uint32_t>(w * h * 4 + maskStride * h));
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  // Colour rows bottom-up, BGRA; then the AND mask (1 = transparent).
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      QRgb p = image.pixel(x, y);
      out += static_cast<char>(qBlue(p));
      out += static_cast<char>(qGreen(p));
      out += static_cast<char>(qRed(p));
      out += static_cast<char>(qAlpha(p));
    }
  for (int y = h - 1; y >= 0; --y) {
    std::string row(static_cast<std::size_t>(maskStride), '\0');
    for (int x = 0; x < w; ++x)
      if (qAlpha(image.pixel(x, y)) == 0) row[static_cast<std::size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    out += row;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) throw std::runtime_error("The cursor file " + path + " could not be written.");
}

}  // namespace tw
