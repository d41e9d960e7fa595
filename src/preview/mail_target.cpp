#include "preview/mail_target.h"

#include "common/guard.h"

namespace tw {

namespace {
bool unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}
}  // namespace

std::string PercentEncodeMailValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size() * 3);
  for (std::size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c == '\r' || c == '\n') {
      out += "%0D%0A";
      if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
    } else if (unreserved(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

std::string ErrorMailTarget(std::string_view errorText) {
  std::string body = "Here is the error message that I get: ";
  body += '\n';
  body += errorText;
  std::string target = "mailto:";
  target += kContactEmail;
  target += "?subject=";
  target += PercentEncodeMailValue("Tablewright");
  target += "&body=";
  target += PercentEncodeMailValue(body);
  return target;
}

}  // namespace tw
