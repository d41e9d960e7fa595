// The common look of the SQL Preview windows: the face colour as background, the hand
// pointer over push buttons (the cursor file "HAND-M.CUR" beside the program when it is
// there, the system's hand otherwise), the hourglass over the whole program while a long
// pass runs, and sizes given in twips.
#pragma once

class QWidget;

namespace tw {

// The window's background (and so that of its frames and labels) takes the colour of
// button faces, following the user's colour scheme.
void ApplyFormBackColor(QWidget* window);

// Every push button of the window shows the hand pointer; other surfaces keep the default.
void UseHandOverButtons(QWidget* window);

// Pixels for a length in twips (1/1440 inch) at the widget's logical resolution.
int Twips(const QWidget* widget, int twips);

// Shows the hourglass over every window of the program for its lifetime; the hand and the
// default pointer come back when it ends.
class BusyPointer {
 public:
  BusyPointer();
  ~BusyPointer();
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

}  // namespace tw
