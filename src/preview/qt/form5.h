// The Datatypes Conversion window: read-only list of the fields being converted, with the
// type keyword each matched and the FoxPro type family it gets, and "< Back". The rows
// belong to the run's state, so the list shows them again at every opening.
#pragma once

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

#include "preview/field_conversion_model.h"

class QPushButton;
class QTreeView;

namespace tw {

class QtUi;
class Ui;

class Form5 : public QDialog {
 public:
  Form5(const std::vector<FieldConversionRow>& rows, Ui* ui = nullptr, QWidget* owner = nullptr,
        const std::string& applicationTitle = "Tablewright");
  ~Form5() override;

  QTreeView* list() const { return ListView1; }

  void PushButton5_Click();  // < Back

 private:
  void Form_Load();

  std::unique_ptr<QtUi> ownUi_;
  Ui& ui_;
  FieldConversionModel model_;
  QPushButton* PushButton5;
  QTreeView* ListView1;
};

}  // namespace tw
