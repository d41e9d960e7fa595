#include "preview/field_conversion_model.h"

#include <limits>

namespace tw {

int FieldConversionModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(rows_.size() < kMax ? rows_.size() : kMax);
}

int FieldConversionModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 4; }

QVariant FieldConversionModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  const FieldConversionRow& row = rows_[static_cast<std::size_t>(index.row())];
  const std::string* cell = nullptr;
  switch (index.column()) {
    case 0: cell = &row.table; break;
    case 1: cell = &row.field; break;
    case 2: cell = &row.accessType; break;
    default: cell = &row.foxproType; break;
  }
  return QString::fromStdString(*cell);
}

QVariant FieldConversionModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
    return QString(kConversionCaptions[section]);
  return {};
}

Qt::ItemFlags FieldConversionModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace tw
