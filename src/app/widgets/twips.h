// Window layouts are given in twips (1/1440 inch). These turn them into pixels by the
// screen's logical resolution: 15 twips a pixel at 96 DPI, more pixels at higher DPI, so
// that captions in point-sized fonts always fit their controls.
#pragma once

#include <cmath>

#include <QRect>
#include <QWidget>

namespace tw {

inline int TwipsToPixels(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

inline QRect TwipsRect(int left, int top, int width, int height, double dpi) {
  return QRect(TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(width, dpi),
               TwipsToPixels(height, dpi));
}

// Places `widget` at a twips position inside its parent.
inline void PlaceInTwips(QWidget& widget, int left, int top, int width, int height, double dpi) {
  widget.setGeometry(TwipsRect(left, top, width, height, dpi));
}

}  // namespace tw
