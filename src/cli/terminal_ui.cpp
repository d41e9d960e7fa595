#include "cli/terminal_ui.h"

#include <algorithm>
#include <cmath>

#include "common/guard.h"

namespace tw::cli {

MessageAnswer TerminalUi::messageBox(const std::string& title, const std::string& text, MessageIcon,
                                     MessageButtons buttons) {
  if (beforeOutput_) beforeOutput_();
  if (title == kErrorTitle || text == "Unable to access the database") ++failures_;
  if (buttons == MessageButtons::Ok) {
    std::fprintf(err_, "%s: %s\n", title.c_str(), WithLineFeedBreaks(text).c_str());
    std::fflush(err_);
    return MessageAnswer::Ok;
  }
  if (policy_ != OverwritePolicy::Ask) {
    bool yes = policy_ == OverwritePolicy::Yes;
    std::fprintf(err_, "%s: %s %s\n", title.c_str(), WithLineFeedBreaks(text).c_str(), yes ? "yes" : "no");
    return yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  std::fprintf(err_, "%s [y/N] ", WithLineFeedBreaks(text).c_str());
  std::fflush(err_);
  std::string line;
  int c;
  while ((c = std::fgetc(in_)) != EOF && c != '\n') line += static_cast<char>(c);
  if (c == EOF && line.empty()) std::fputc('\n', err_);
  std::size_t start = line.find_first_not_of(" \t");
  bool yes = start != std::string::npos && (line[start] == 'y' || line[start] == 'Y');
  return yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void TerminalWindow::setProgressValue(double percent) {
  MainWindowModel::setProgressValue(percent);
  int p = static_cast<int>(std::lround(percent));
  if (p != lastPercent_) {
    lastPercent_ = p;
    draw();
  }
}

void TerminalWindow::setProgressCaption(const std::string& text) {
  MainWindowModel::setProgressCaption(text);
  draw();
}

void TerminalWindow::clearLine() {
  if (!draw_ || !lineShown_) return;
  std::fputs("\r\x1b[K", err_);
  lineShown_ = false;
}

void TerminalWindow::draw() {
  if (!draw_) return;
  constexpr int kWidth = 30;
  int p = std::clamp(lastPercent_ < 0 ? 0 : lastPercent_, 0, 100);
  int filled = p * kWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '-');
  std::fprintf(err_, "\r\x1b[K[%s] %3d%% %s", bar.c_str(), p, progressCaption.c_str());
  std::fflush(err_);
  lineShown_ = true;
}

}  // namespace tw::cli
