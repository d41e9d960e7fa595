#include "app/text_list_model.h"

#include <stdexcept>

namespace tw {

std::string TextListModel::item(int index) const {
  if (index < 0 || index >= count()) throw std::out_of_range("Invalid list index " + std::to_string(index) + ".");
  return items_[static_cast<std::size_t>(index)];
}

void TextListModel::add(const std::string& text) {
  const int row = count();
  beginInsertRows(QModelIndex(), row, row);
  items_.push_back(text);
  endInsertRows();
}

void TextListModel::removeAt(int index) {
  if (index < 0 || index >= count()) throw std::out_of_range("Invalid list index " + std::to_string(index) + ".");
  beginRemoveRows(QModelIndex(), index, index);
  items_.erase(items_.begin() + index);
  endRemoveRows();
}

void TextListModel::clear() {
  if (items_.empty()) return;
  beginResetModel();
  items_.clear();
  endResetModel();
}

int TextListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : count(); }

QVariant TextListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  return QString::fromStdString(items_[static_cast<std::size_t>(index.row())]);
}

}  // namespace tw
