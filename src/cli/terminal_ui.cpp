#include "cli/terminal_ui.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "common/guard.h"

namespace tw::cli {

namespace {

constexpr const char* kOverwriteTitle = "Overwrite?";
constexpr const char* kDoneText = "Done.";
constexpr const char* kUnableToAccess = "Unable to access the database";

// A message on one line: its line breaks become "; ", leading and trailing ones vanish.
std::string OneLine(const std::string& text) {
  std::string broken = WithLineFeedBreaks(text), out;
  for (char c : broken) {
    if (c != '\n') {
      out += c;
    } else if (!out.empty() && out.back() != ' ') {
      out += "; ";
    }
  }
  while (!out.empty() && (out.back() == ' ' || out.back() == ';')) out.pop_back();
  return out;
}

// The procedure a report's tag names: "in Tavrel2021/08/31.Form1.PushButton7_Click " gives
// "Form1.PushButton7_Click" (the dated prefix means nothing on a terminal).
std::string ProcedureName(std::string_view tag) {
  if (tag.rfind("in ", 0) == 0) tag.remove_prefix(3);
  while (!tag.empty() && tag.back() == ' ') tag.remove_suffix(1);
  std::size_t slash = tag.rfind('/');
  std::size_t dot = slash == std::string_view::npos ? slash : tag.find('.', slash);
  if (dot != std::string_view::npos) tag.remove_prefix(dot + 1);
  return std::string(tag);
}

// The length of the UTF-8 sequence at `i`, or 0 when the bytes there are none.
std::size_t Utf8Length(std::string_view t, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(t[k]); };
  const unsigned char c = b(i);
  std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > t.size() || (n == 2 && c < 0xC2)) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((b(i + k) & 0xC0) != 0x80) return 0;
  return n;
}

}  // namespace

std::string ShownSafely(std::string_view text) {
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t n = Utf8Length(text, i);
    if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
      out += std::string("\\u00") + hex[static_cast<unsigned char>(text[i + 1]) >> 4] +
             hex[static_cast<unsigned char>(text[i + 1]) & 15];
    } else if (n > 1 || (n == 1 && c >= 0x20 && c != 0x7F)) {
      out.append(text.substr(i, n));
    } else {
      const char* named = c == 0x1B ? "\\e" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : nullptr;
      out += named ? std::string(named) : std::string("\\x") + hex[c >> 4] + hex[c & 15];
    }
    i += n ? n : 1;
  }
  return out;
}

bool ReadAnswerLine(int fd, std::string& line) {
  line.clear();
  char c;
  for (;;) {
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0) return false;  // EINTR included: an interrupt ends the question
    if (n == 0) return !line.empty();
    if (c == '\n') return true;
    line += c;
  }
}

void TerminalUi::line(const std::string& text) {
  if (beforeOutput_) beforeOutput_();
  std::fprintf(err_, "%s: %s\n", kProgramName, ShownSafely(text).c_str());
  std::fflush(err_);
}

MessageAnswer TerminalUi::messageBox(const std::string& title, const std::string& text, MessageIcon,
                                     MessageButtons buttons) {
  if (buttons != MessageButtons::Ok) {
    if (title == kOverwriteTitle) return askOverwrite(text);
    // No other question is asked during a run; a terminal without a window answers No.
    line(settings_.subject + ": " + OneLine(text) + " (answered no)");
    return MessageAnswer::No;
  }
  if (title == applicationTitle() && text == kDoneText) {
    done_ = true;
    return MessageAnswer::Ok;
  }
  if (title == kErrorTitle || text == kUnableToAccess) ++failures_;
  line(settings_.subject + ": " + OneLine(text));
  return MessageAnswer::Ok;
}

void TerminalUi::showProcedureFailure(const std::string&, const std::string&, const ProcedureFailure& parts) {
  ++failures_;
  // A description is one line: a line break in it comes from a name, and shows escaped.
  std::string text = settings_.subject + ": " + std::string(parts.description);
  if (settings_.verbose) text += " [" + ProcedureName(parts.tag) + " line " + std::to_string(parts.line) + "]";
  line(text);
}

MessageAnswer TerminalUi::askOverwrite(const std::string& text) {
  const std::string question = OneLine(text);
  if (settings_.overwrite != OverwritePolicy::Ask || quit_) {
    bool yes = settings_.overwrite == OverwritePolicy::Yes && !quit_;
    if (settings_.verbose) line(settings_.subject + ": " + question + (yes ? " yes" : " no"));
    return yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  if (settings_.answerFd < 0) {
    if (!toldNoTerminal_ && !settings_.quiet) {
      line(
          "standard input is not a terminal: tables the destination already has are kept "
          "(--overwrite=yes replaces them)");
      toldNoTerminal_ = true;
    }
    return MessageAnswer::No;
  }
  for (;;) {
    if (beforeOutput_) beforeOutput_();
    // Keys typed before the question was shown (during a long table, say) answer nothing.
    ::tcflush(settings_.answerFd, TCIFLUSH);
    std::fprintf(err_, "%s [y/n/a/q] ", ShownSafely(question).c_str());
    std::fflush(err_);
    std::string answer;
    if (!ReadAnswerLine(settings_.answerFd, answer)) {
      // End of input or an interrupt: no more questions, nothing more replaced.
      std::fputc('\n', err_);
      quit_ = true;
      return MessageAnswer::No;
    }
    std::size_t start = answer.find_first_not_of(" \t\r");
    char c = start == std::string::npos ? '\0' : static_cast<char>(answer[start] | 0x20);
    switch (c) {
      case 'y': return MessageAnswer::Yes;
      case 'n': return MessageAnswer::No;
      case 'a': settings_.overwrite = OverwritePolicy::Yes; return MessageAnswer::Yes;
      case 'q': quit_ = true; return MessageAnswer::No;
      default: std::fputs("Please answer y (yes), n (no), a (yes to all) or q (stop here).\n", err_);
    }
  }
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
  lastPercent_ = 0;
  draw();
}

void TerminalWindow::clearLine() {
  if (!draw_ || !lineShown_) return;
  std::fputs("\r\x1b[K", err_);
  std::fflush(err_);
  lineShown_ = false;
}

void TerminalWindow::draw() {
  if (!draw_) return;
  // Between tables and at rest the bar has nothing to say.
  if (progressCaption.empty() || progressCaption == "Progress Bar") {
    clearLine();
    return;
  }
  constexpr int kWidth = 30;
  int p = std::clamp(lastPercent_, 0, 100);
  int filled = p * kWidth / 100;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kWidth - filled), '-');
  std::fprintf(err_, "\r\x1b[K[%s] %3d%% %s", bar.c_str(), p, ShownSafely(progressCaption).c_str());
  std::fflush(err_);
  lineShown_ = true;
}

}  // namespace tw::cli
