// A read-only Qt item model over the run's field conversion rows: one row per source
// field, four columns "MS Access Table", "MS Access Table Field", "MS Access Field
// Datatype" and "New FoxPro Datatype". The rows live in the run's state, not in the
// window, so the list shows them every time the window opens.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "convert/table_definition.h"

namespace tw {

class FieldConversionModel : public QAbstractTableModel {
 public:
  explicit FieldConversionModel(const std::vector<FieldConversionRow>& rows, QObject* parent = nullptr)
      : QAbstractTableModel(parent), rows_(rows) {}

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const std::vector<FieldConversionRow>& rows_;
};

}  // namespace tw
