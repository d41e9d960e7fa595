#include "preview/qt/qt_preview_window.h"

#include "preview/qt/form2.h"

namespace tw {

void QtPreviewWindow::showModal(ConversionState& state) {
  Form2 window(state, clipboard_, shell_, ui_, owner_, applicationTitle_);
  if (onCreated_) onCreated_(window);
  window.exec();
}

}  // namespace tw
