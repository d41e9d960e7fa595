#include "preview/statement_list_model.h"

#include <algorithm>
#include <limits>

namespace tw {

int StatementListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  // An item view counts rows in an int; a list longer than that shows its first rows.
  constexpr std::size_t kMax = static_cast<std::size_t>(std::numeric_limits<int>::max());
  return static_cast<int>(lines_.size() < kMax ? lines_.size() : kMax);
}

int StatementListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant StatementListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  std::string_view text = lines_.item(static_cast<std::size_t>(index.row()));
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant StatementListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return QString(kSqlPreviewHeader);
  return {};
}

Qt::ItemFlags StatementListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void StatementListModel::linesChanged(int first, int last) {
  if (rowCount() == 0) return;
  first = std::max(first, 0);
  last = std::min(last, rowCount() - 1);
  if (first > last) return;
  emit dataChanged(index(first, 0), index(last, 0), {Qt::DisplayRole});
}

}  // namespace tw
