// The SQL Preview window as the conversion run opens it: each `showModal` creates a fresh
// `Form2` over the run's state, owned by the main window, shows it modally and discards it
// when it closes.
#pragma once

#include <functional>
#include <string>

#include "convert/conversion_run.h"
#include "platform/clipboard.h"
#include "platform/shell.h"
#include "platform/ui.h"

class QWidget;

namespace tw {

class Form2;

class QtPreviewWindow : public PreviewWindow {
 public:
  // `owner`: the main window. `ui`: null for Qt message boxes owned by the preview windows
  // (tests pass a fake). `applicationTitle` titles those boxes.
  QtPreviewWindow(Clipboard& clipboard, Shell& shell, QWidget* owner = nullptr, Ui* ui = nullptr,
                  std::string applicationTitle = "Tablewright")
      : clipboard_(clipboard),
        shell_(shell),
        owner_(owner),
        ui_(ui),
        applicationTitle_(std::move(applicationTitle)) {}

  void setOwner(QWidget* owner) { owner_ = owner; }
  void setApplicationTitle(std::string title) { applicationTitle_ = std::move(title); }
  // Called with every new window before it is shown (tests and benchmarks adjust it there).
  void setOnCreated(std::function<void(Form2&)> hook) { onCreated_ = std::move(hook); }

  void showModal(ConversionState& state) override;

 private:
  Clipboard& clipboard_;
  Shell& shell_;
  QWidget* owner_;
  Ui* ui_;
  std::string applicationTitle_;
  std::function<void(Form2&)> onCreated_;
};

}  // namespace tw
