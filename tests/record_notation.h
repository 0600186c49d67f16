#pragma once
// Expected records written as in the written examples: "·" stands for a blank
// and "\n" for a record ending; the ending of the last record is added.
#include <string>
#include <string_view>

inline std::string RECORDS(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const bool dot = s.compare(i, 2, "\xC2\xB7") == 0;
    out += dot ? std::string_view(" ") : s[i] == '\n' ? std::string_view("\r\n") : s.substr(i, 1);
    i += dot ? 1 : 0;
  }
  return out + "\r\n";
}
