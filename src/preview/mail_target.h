// The "mailto:" target that hands an execution failure to the user's mail program: a new
// message to the support address, subject "Tablewright", the body "Here is the error
// message that I get: ", a line break and the failure text. Subject and body are
// percent-encoded as RFC 6068 asks, so that "&", "#", "%", "?", "=" and line breaks in the
// failure text reach the body whole instead of ending it or being read as URL syntax.
#pragma once

#include <string>
#include <string_view>

namespace tw {

// Percent-encodes the UTF-8 bytes of a header field value of a "mailto:" URI: letters,
// digits and "-._~" stay, every other byte becomes %XX (upper-case hex). Line breaks (CR LF,
// a lone CR or a lone LF) become %0D%0A, the only line break RFC 6068 allows in a body.
std::string PercentEncodeMailValue(std::string_view value);

// "mailto:" + support address + "?subject=Tablewright&body=" + the encoded body.
std::string ErrorMailTarget(std::string_view errorText);

}  // namespace tw
