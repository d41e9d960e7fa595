// The Qt file and folder choosers: QFileDialog, modal over the window that is active when
// they are called (a modal dialog when one is open, otherwise the owner given here).
#pragma once

#include <QStringList>

#include "platform/file_dialogs.h"

class QWidget;

namespace tw {

// A filter of the form "description|pattern;pattern|..." in Qt's form, one name filter per
// entry: "description (pattern pattern)".
QStringList QtNameFilters(std::string_view filter);

class QtFileDialogs : public FileDialogs {
 public:
  explicit QtFileDialogs(QWidget* owner = nullptr) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }

  std::string openFile(const std::string& title, const std::string& filter, const std::string& fileName) override;
  std::string browseForFolder(const std::string& prompt, const std::string& startFolder) override;

 private:
  QWidget* parent() const;
  QWidget* owner_;
};

}  // namespace tw
