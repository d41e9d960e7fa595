// tablewright-art: draws the program's own pictures into the program folder:
//   HAND-M.CUR       the hand pointer shown over push buttons (32 x 32, hot spot at the
//                    tip of the pointing finger);
//   tablewright.png  the application icon (256 x 256): two tables and an arrow;
//   icons/hicolor/NxN/apps/tablewright.png
//                    the same icon at the sizes a desktop asks for (48, 64, 128, 256).
//
//   tablewright-art OUTPUT_FOLDER
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/qt_appearance.h"

namespace {

// The hand, one row a line: '#' outline, 'o' fill, anything else transparent.
constexpr const char* kHand[] = {
    "      ##          ",  "     #oo#         ",  "     #oo#         ",  "     #oo#         ",  "     #oo#         ",
    "     #oo###       ",  "     #oo#oo###    ",  "     #oo#oo#oo##  ",  " ### #oo#oo#oo#o# ",  "#ooo##oooooooo#o# ",
    "#oooo#ooooooooooo#",  " #ooo#ooooooooooo#",  "  #ooooooooooooooo#", "  #ooooooooooooooo#", "   #oooooooooooooo#",
    "   #ooooooooooooo# ", "    #oooooooooooo# ", "    #ooooooooooo#  ", "     #oooooooooo#  ", "     #oooooooooo#  ",
    "     ############  ",
};
constexpr int kHotX = 6, kHotY = 0;

QImage hand() {
  QImage image(32, 32, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  int y = 0;
  for (const char* row : kHand) {
    for (int x = 0; row[x] != '\0' && x < 32; ++x) {
      if (row[x] == '#') image.setPixel(x, y, qRgba(0, 0, 0, 255));
      else if (row[x] == 'o') image.setPixel(x, y, qRgba(255, 255, 255, 255));
    }
    ++y;
  }
  return image;
}

void drawTable(QPainter& p, QRectF r, QColor header, QColor lines) {
  p.setPen(QPen(lines, 6));
  p.setBrush(Qt::white);
  p.drawRoundedRect(r, 8, 8);
  QRectF head(r.left(), r.top(), r.width(), r.height() / 4);
  p.setBrush(header);
  p.drawRoundedRect(head, 8, 8);
  p.setPen(QPen(lines, 4));
  for (int i = 2; i < 4; ++i) {
    qreal y = r.top() + r.height() * i / 4;
    p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
  }
  qreal x = r.left() + r.width() / 2;
  p.drawLine(QPointF(x, head.bottom()), QPointF(x, r.bottom()));
}

// The icon drawn on a 256-unit square, scaled to `size` pixels.
QImage icon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2b, 0x4c, 0x7e));
  p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);
  drawTable(p, QRectF(28, 40, 92, 110), QColor(0xa4, 0x37, 0x3a), QColor(0x40, 0x40, 0x40));
  drawTable(p, QRectF(136, 106, 92, 110), QColor(0xe0, 0xa8, 0x2e), QColor(0x40, 0x40, 0x40));
  // The arrow from the first table to the second.
  QPainterPath arrow;
  arrow.moveTo(60, 172);
  arrow.cubicTo(60, 214, 96, 226, 118, 214);
  p.setPen(QPen(Qt::white, 12, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawPath(arrow);
  QPolygonF head;
  head << QPointF(112, 196) << QPointF(132, 210) << QPointF(110, 230);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPolygon(head);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tablewright-art OUTPUT_FOLDER\n");
    return 2;
  }
  // Plain image drawing: no display and no application object are needed.
  const std::string folder = argv[1];
  try {
    tw::WriteCursorFile(folder + "/HAND-M.CUR", hand(), kHotX, kHotY);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tablewright-art: %s\n", e.what());
    return 1;
  }
  std::vector<std::pair<int, std::string>> icons = {{256, folder + "/tablewright.png"}};
  for (int size : {48, 64, 128, 256}) {
    const std::string dir = folder + "/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
    QDir().mkpath(QString::fromStdString(dir));
    icons.emplace_back(size, dir + "/tablewright.png");
  }
  for (const auto& [size, path] : icons) {
    if (!icon(size).save(QString::fromStdString(path), "PNG")) {
      std::fprintf(stderr, "tablewright-art: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
