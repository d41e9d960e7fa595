// A progress bar that shows a caption of its own inside the bar ("Progress Bar" at rest,
// the table being converted during a run) instead of a percentage. The caption is shown
// as given: no "%" placeholders are expanded.
#pragma once

#include <QProgressBar>
#include <QString>

namespace tw {

class CaptionProgressBar : public QProgressBar {
 public:
  explicit CaptionProgressBar(QWidget* parent = nullptr) : QProgressBar(parent) {
    setRange(0, 100);
    setValue(0);
    setTextVisible(true);
    setAlignment(Qt::AlignCenter);
  }
  void setCaption(const QString& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    update();
  }
  QString caption() const { return caption_; }
  QString text() const override { return caption_; }

 private:
  QString caption_ = QStringLiteral("Progress Bar");
};

}  // namespace tw
