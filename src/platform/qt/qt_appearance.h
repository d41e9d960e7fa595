// The common look of the program's windows: the face colour on a window and its plain
// controls, the application icon, the hand pointer read from a cursor file, and the skin
// (a Qt style sheet file).
//
// The loaders throw std::runtime_error naming the file when it exists but cannot be used,
// so that the calling load step can report it; a caller checks that the file exists first.
#pragma once

#include <string>

#include <QCursor>
#include <QIcon>

class QWidget;

namespace tw {

// Sets the background of `window` and of its option buttons, check boxes, frames and
// labels to the system's button-face colour; other controls keep theirs.
void ApplyFormBackColor(QWidget& window);

// The cursor in a Windows cursor file (.cur), with the hot spot the file names.
QCursor LoadCursorFile(const std::string& path);

// The icon in an image file (PNG, ICO, ...).
QIcon LoadIconFile(const std::string& path);

// Applies the skin file (a Qt style sheet) to `window`, after the face colour.
void ApplySkinFile(QWidget& window, const std::string& path);

// Writes a 32-bit Windows cursor file from an ARGB image and its hot spot.
void WriteCursorFile(const std::string& path, const QImage& image, int hotX, int hotY);

}  // namespace tw
