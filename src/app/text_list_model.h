// A list of texts that is both the `TextList` the logic fills and a Qt list model that
// item views show: every change is announced to the views as it happens.
#pragma once

#include <QAbstractListModel>
#include <QStringList>

#include "common/text_list.h"

namespace tw {

class TextListModel : public QAbstractListModel, public TextList {
 public:
  using QAbstractListModel::QAbstractListModel;

  // TextList
  int count() const override { return static_cast<int>(items_.size()); }
  std::string item(int index) const override;
  void add(const std::string& text) override;
  void removeAt(int index) override;
  void clear() override;

  // QAbstractListModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  std::vector<std::string> items_;
};

}  // namespace tw
