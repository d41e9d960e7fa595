// A read-only Qt item model over the run's `StatementList`: one row per line, one column
// headed "SQL Preview". Texts are converted only for the rows a view asks for, so a
// million lines open at once; the model never copies the list.
//
// The list must not grow or shrink while the model is shown (the run fills it before the
// window opens); changed texts are announced with `linesChanged`.
#pragma once

#include <QAbstractTableModel>

#include "convert/statement_list.h"

namespace tw {

inline constexpr const char* kSqlPreviewHeader = "SQL Preview";

class StatementListModel : public QAbstractTableModel {
 public:
  explicit StatementListModel(const StatementList& lines, QObject* parent = nullptr)
      : QAbstractTableModel(parent), lines_(lines) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Rows `first` to `last` (0-based, inclusive) have new texts.
  void linesChanged(int first, int last);

 private:
  const StatementList& lines_;
};

}  // namespace tw
