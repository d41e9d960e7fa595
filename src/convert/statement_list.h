// The statement list: the ordered SQL statements of a run in preview mode, one complete
// statement per line, numbered from 1 in the preview window (index 0 here).
//
// Only the run empties it and appends to it; the preview window's dialogs change the text
// of existing lines and its execution pass reads it. A run of a million rows makes a
// million lines, so the texts live back to back in large chunks with an offset table:
// about 16 bytes per line beyond the text itself, and no reallocation of the text as the
// list grows. Replacing a line with a longer text appends the new text and leaves the old
// bytes unused until the list is emptied.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tw {

class StatementList {
 public:
  std::size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  void clear();
  void append(std::string_view statement);
  std::string_view item(std::size_t index) const;
  void setItem(std::size_t index, std::string_view statement);
  // Bytes held: text buffer and offset table (for the memory benchmark).
  std::size_t bytesUsed() const;
  // Total length of the live line texts.
  std::size_t textBytes() const;

 private:
  struct Span {
    std::uint32_t chunk;
    std::uint32_t offset;
    std::uint64_t length;
  };
  // Where a text of `length` bytes can be stored; opens a new chunk when needed.
  Span place(std::size_t length);

  static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  std::vector<std::string> chunks_;  // each reserved once, never grown past its capacity
  std::vector<Span> spans_;
};

}  // namespace tw
