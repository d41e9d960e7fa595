#include "platform/file_dialogs.h"

namespace tw {

namespace {
std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}
}  // namespace

std::vector<FileFilterEntry> ParseFileFilter(std::string_view filter) {
  std::vector<FileFilterEntry> entries;
  if (!filter.empty() && filter.back() == '|') filter.remove_suffix(1);
  if (filter.empty()) return entries;
  std::vector<std::string_view> parts = split(filter, '|');
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    FileFilterEntry entry;
    entry.description = std::string(parts[i]);
    for (std::string_view pattern : split(parts[i + 1], ';')) {
      pattern = trimmed(pattern);
      if (!pattern.empty()) entry.patterns.emplace_back(pattern);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace tw
