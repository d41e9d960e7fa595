#include "preview/qt/window_look.h"

#include <QApplication>
#include <QCoreApplication>
#include <QCursor>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeView>
#include <QWidget>

#include "platform/qt/qt_appearance.h"

namespace tw {

std::string ProgramFolder() { return QCoreApplication::applicationDirPath().toStdString(); }

void UseHandOverButtons(QWidget* window, const std::string& folder) {
  const std::string path = folder + "/HAND-M.CUR";
  if (!QFileInfo::exists(QString::fromStdString(path))) return;
  const QCursor hand = LoadCursorFile(path);
  for (QPushButton* button : window->findChildren<QPushButton*>()) button->setCursor(hand);
}

void ShowAsRowList(QTreeView* view, QAbstractItemModel* model) {
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setAllColumnsShowFocus(true);
  view->header()->setStretchLastSection(false);
}

int Twips(const QWidget* widget, int twips) { return twips * widget->logicalDpiX() / 1440; }

BusyPointer::BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
BusyPointer::~BusyPointer() { QApplication::restoreOverrideCursor(); }

}  // namespace tw
