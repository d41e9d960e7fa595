// A list of texts as the program's list boxes hold them, and the helpers that search and
// prune such lists. The main window's hidden table lists implement `TextList` over their
// widgets; `VectorTextList` serves the logic and the tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tw {

class TextList {
 public:
  virtual ~TextList() = default;
  virtual int count() const = 0;
  virtual std::string item(int index) const = 0;
  virtual void add(const std::string& text) = 0;
  virtual void removeAt(int index) = 0;
  virtual void clear() = 0;
};

class VectorTextList : public TextList {
 public:
  VectorTextList() = default;
  VectorTextList(std::initializer_list<std::string> items) : items(items) {}
  int count() const override { return static_cast<int>(items.size()); }
  std::string item(int index) const override { return items.at(static_cast<std::size_t>(index)); }
  void add(const std::string& text) override { items.push_back(text); }
  void removeAt(int index) override { items.erase(items.begin() + index); }
  void clear() override { items.clear(); }

  std::vector<std::string> items;
};

// True when any entry of the list equals the text without regard to letter case.
bool ListContainsText(const TextList& list, std::string_view text);

// Removes every entry of the list that equals the text exactly (case-sensitive).
void ListRemoveText(TextList& list, std::string_view text);

}  // namespace tw
