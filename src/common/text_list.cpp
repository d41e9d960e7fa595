#include "common/text_list.h"

#include <QString>

namespace tw {

namespace {
bool isAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}
QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (isAscii(a) && isAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      char x = a[i], y = b[i];
      if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
      if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
      if (x != y) return false;
    }
    return true;
  }
  return qs(a).compare(qs(b), Qt::CaseInsensitive) == 0;
}

bool ListContainsText(const TextList& list, std::string_view text) {
  for (int i = 0; i < list.count(); ++i)
    if (EqualsIgnoringCase(list.item(i), text)) return true;
  return false;
}

void ListRemoveText(TextList& list, std::string_view text) {
  for (int i = list.count() - 1; i >= 0; --i)
    if (list.item(i) == text) list.removeAt(i);
}

std::string LowerCaseText(std::string_view text) { return qs(text).toLower().toStdString(); }

}  // namespace tw
