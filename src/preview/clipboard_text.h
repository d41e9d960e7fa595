// The clipboard helpers of the SQL Preview window: empty the clipboard and put a text on
// it, each retried while another program holds the clipboard, and the copy of a list's
// rows as text laid out in tab-separated, blank-padded columns.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/clipboard.h"

namespace tw {

// How often a clipboard call is tried before the helpers give up.
inline constexpr int kClipboardAttempts = 1000;

// Empties the clipboard, trying up to kClipboardAttempts times; true when an attempt
// succeeded. A last failure is not reported.
bool ClearClipboard(Clipboard& clipboard);

// Puts `text` on the clipboard as plain text, trying up to kClipboardAttempts times; true
// when an attempt succeeded. A last failure is not reported.
bool SetClipboardText(Clipboard& clipboard, const std::string& text);

// The rows of a list as the copy reads them: column 0 is a row's text, column k > 0 its
// sub-item k.
class ListRows {
 public:
  virtual ~ListRows() = default;
  virtual std::size_t rowCount() const = 0;
  virtual std::size_t columnCount() const = 0;
  virtual std::string_view cell(std::size_t row, std::size_t column) const = 0;
};

// The copy layout: for every row, every cell followed by blanks up to its column's width
// (the longest cell of the column, in characters) and a tab; the row's last tab and every
// blank that then ends the text are removed, and CR LF follows. Cells of any length are
// handled. `yield` is called once per cell measured and once per row and cell laid out
// (it may be empty).
std::string ListRowsAsText(const ListRows& rows, const std::function<void()>& yield = {});

enum class CopyResult {
  Copied,         // the clipboard holds the rows
  NothingToCopy,  // the list has no rows; the clipboard was left as it was
  ClipboardBusy,  // the clipboard could not be set; it may have been emptied
};

// Lays out all rows with ListRowsAsText, empties the clipboard and puts the text on it.
CopyResult CopyListViewToClipboard(const ListRows& rows, Clipboard& clipboard,
                                   const std::function<void()>& yield = {});

}  // namespace tw
