// The main window's state as the logic reads it: the Access file and password fields, the
// free-table folder, the destination kind and container path, the SQL Preview choices, the
// two hidden table lists and the progress bar. The window implements it over its
// controls; `MainWindowModel` holds the same state in plain members for tests and the
// headless converter. Values are read at the moment they are needed, so a change made
// during a yield takes effect at the next read.
#pragma once

#include <string>

#include "common/text_list.h"

namespace tw {

class MainWindowFields {
 public:
  virtual ~MainWindowFields() = default;
  virtual std::string Text5() const = 0;     // Access database file path
  virtual std::string Text6() const = 0;     // Access database password (may be empty)
  virtual std::string Text2() const = 0;     // folder of FoxPro free tables
  virtual bool OptionDBC1() const = 0;       // true: the destination is a database container
  virtual std::string DBCPath1() const = 0;  // path of the database container
  virtual int Check1() const = 0;            // 1: SQL Preview mode
  virtual bool Option1() const = 0;          // preview once per file
  virtual bool Option2() const = 0;          // preview once per table
  // 1: "Keep Access field types, keys and indexes" (native tables); 0: the classic mapping.
  virtual int Check2() const { return 0; }
  virtual TextList& List1() = 0;                                 // tables present in the destination
  virtual TextList& List2() = 0;                                 // source tables of the current run
  virtual void setProgressValue(double percent) = 0;             // ProgressBar1.Value
  virtual void setProgressCaption(const std::string& text) = 0;  // ProgressBar1's caption
};

class MainWindowModel : public MainWindowFields {
 public:
  std::string Text5() const override { return text5; }
  std::string Text6() const override { return text6; }
  std::string Text2() const override { return text2; }
  bool OptionDBC1() const override { return optionDBC1; }
  std::string DBCPath1() const override { return dbcPath1; }
  int Check1() const override { return check1; }
  bool Option1() const override { return option1; }
  bool Option2() const override { return option2; }
  int Check2() const override { return check2; }
  TextList& List1() override { return list1; }
  TextList& List2() override { return list2; }
  void setProgressValue(double percent) override { progressValue = percent; }
  void setProgressCaption(const std::string& text) override { progressCaption = text; }

  std::string text5, text6, text2;
  bool optionDBC1 = false;
  std::string dbcPath1;
  int check1 = 0;
  bool option1 = true;
  bool option2 = false;
  int check2 = 0;
  VectorTextList list1, list2;
  double progressValue = 0;
  std::string progressCaption = "Progress Bar";
};

}  // namespace tw
