#include "platform/ascii.h"

#include <algorithm>

namespace dpc {

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = AsciiUpper(c);
  return upper;
}

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiUpper(x) == AsciiUpper(y);
         });
}

bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

size_t FindIgnoringAsciiCase(std::string_view text, std::string_view pattern, size_t from) {
  if (pattern.empty() || text.size() < pattern.size()) return std::string_view::npos;
  for (size_t i = from; i + pattern.size() <= text.size(); ++i) {
    if (EqualIgnoringAsciiCase(text.substr(i, pattern.size()), pattern)) return i;
  }
  return std::string_view::npos;
}

}  // namespace dpc
