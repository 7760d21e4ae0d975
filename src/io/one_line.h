// one_line.h - any text fit for one line of a message.
#pragma once

#include <string>
#include <string_view>

namespace holescan {

// `text` with its control characters written as \n, \r, \t or \xNN, so that a file name
// holding a line break cannot split a message line. Other bytes, UTF-8 ones included, stay.
inline std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line.push_back(c);
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else if (c == '\t') {
      line += "\\t";
    } else {
      static constexpr char kHex[] = "0123456789abcdef";
      line += "\\x";
      line.push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 0x0F]);
    }
  }
  return line;
}

}  // namespace holescan
