#include "common/text_list.h"

#include "platform/case_rules.h"

namespace tw {

bool ListContainsText(const TextList& list, std::string_view text) {
  for (int i = 0; i < list.count(); ++i)
    if (equalsIgnoringCase(list.item(i), text)) return true;
  return false;
}

void ListRemoveText(TextList& list, std::string_view text) {
  for (int i = list.count() - 1; i >= 0; --i)
    if (list.item(i) == text) list.removeAt(i);
}

}  // namespace tw
