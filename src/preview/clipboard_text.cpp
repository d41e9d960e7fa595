#include "preview/clipboard_text.h"

#include <vector>

#include "platform/utf8.h"

namespace tw {

namespace {
template <class Call>
bool retried(Call call) {
  for (int attempt = 0; attempt < kClipboardAttempts; ++attempt)
    if (call()) return true;
  return false;
}
}  // namespace

bool ClearClipboard(Clipboard& clipboard) {
  return retried([&] { return clipboard.clear(); });
}

bool SetClipboardText(Clipboard& clipboard, const std::string& text) {
  return retried([&] { return clipboard.setText(text); });
}

std::string ListRowsAsText(const ListRows& rows, const std::function<void()>& yield) {
  auto tick = [&] {
    if (yield) yield();
  };
  const std::size_t rowCount = rows.rowCount();
  const std::size_t columns = rows.columnCount();
  if (rowCount == 0 || columns == 0) return {};

  // Column widths in characters. The last column's padding is always taken away with the
  // blanks that end a row, so its width is never needed.
  std::vector<std::size_t> width(columns, 0);
  for (std::size_t k = 0; k + 1 < columns; ++k)
    for (std::size_t r = 0; r < rowCount; ++r) {
      tick();
      std::size_t n = Utf8Length(rows.cell(r, k));
      if (n > width[k]) width[k] = n;
    }

  std::string text;
  std::size_t estimate = 0;
  for (std::size_t r = 0; r < rowCount; ++r) estimate += rows.cell(r, 0).size() + 2;
  text.reserve(estimate);
  for (std::size_t r = 0; r < rowCount; ++r) {
    tick();
    for (std::size_t k = 0; k < columns; ++k) {
      tick();
      std::string_view cell = rows.cell(r, k);
      text.append(cell);
      if (k + 1 < columns) {
        std::size_t n = Utf8Length(cell);
        text.append(width[k] - n, ' ');
        text += '\t';
      }
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    text += "\r\n";
  }
  return text;
}

CopyResult CopyListViewToClipboard(const ListRows& rows, Clipboard& clipboard, const std::function<void()>& yield) {
  if (rows.rowCount() == 0) return CopyResult::NothingToCopy;
  std::string text = ListRowsAsText(rows, yield);
  ClearClipboard(clipboard);
  return SetClipboardText(clipboard, text) ? CopyResult::Copied : CopyResult::ClipboardBusy;
}

}  // namespace tw
