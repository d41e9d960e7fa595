#include "convert/statement_list.h"

namespace tw {

void StatementList::clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  spans_.clear();
  spans_.shrink_to_fit();
}

StatementList::Span StatementList::place(std::size_t length) {
  if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < length) {
    chunks_.emplace_back();
    chunks_.back().reserve(length > kChunkBytes ? length : kChunkBytes);
  }
  std::string& chunk = chunks_.back();
  return {static_cast<std::uint32_t>(chunks_.size() - 1), static_cast<std::uint32_t>(chunk.size()), length};
}

void StatementList::append(std::string_view statement) {
  Span s = place(statement.size());
  chunks_[s.chunk].append(statement);
  spans_.push_back(s);
}

std::string_view StatementList::item(std::size_t index) const {
  const Span& s = spans_.at(index);
  return std::string_view(chunks_[s.chunk]).substr(s.offset, s.length);
}

void StatementList::setItem(std::size_t index, std::string_view statement) {
  Span& s = spans_.at(index);
  if (statement.size() <= s.length) {
    chunks_[s.chunk].replace(s.offset, statement.size(), statement);
    s.length = statement.size();
    return;
  }
  Span fresh = place(statement.size());
  chunks_[fresh.chunk].append(statement);
  s = fresh;
}

std::size_t StatementList::bytesUsed() const {
  std::size_t n = spans_.capacity() * sizeof(Span);
  for (const std::string& c : chunks_) n += c.capacity();
  return n;
}

std::size_t StatementList::textBytes() const {
  std::size_t n = 0;
  for (const Span& s : spans_) n += s.length;
  return n;
}

}  // namespace tw
