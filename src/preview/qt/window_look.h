// The pointer rules of the SQL Preview windows: the custom pointer over push buttons (the
// cursor file "HAND-M.CUR" beside the program when it is there; without it, the default
// pointer), the hourglass over the whole program while a long pass runs, and sizes given
// in twips, and the look of the row lists. The face colour comes from
// platform/qt/qt_appearance.h.
#pragma once

#include <string>

class QAbstractItemModel;
class QTreeView;
class QWidget;

namespace tw {

// The program's folder, where "HAND-M.CUR" is looked for.
std::string ProgramFolder();

// Every push button of the window shows the hand pointer read from "HAND-M.CUR" in
// `folder`; other surfaces keep the default pointer. Without the file nothing changes.
// Throws std::runtime_error naming the file when it exists but cannot be used, so that the
// window's load guard reports it.
void UseHandOverButtons(QWidget* window, const std::string& folder = ProgramFolder());

// Pixels for a length in twips (1/1440 inch) at the widget's logical resolution.
int Twips(const QWidget* widget, int twips);

// Shows `model` in `view` as a list of whole rows: one selected at a time, not edited in
// place, every row of one height (so that a million rows lay out at once), and columns
// that keep the widths the user gives them.
void ShowAsRowList(QTreeView* view, QAbstractItemModel* model);

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
