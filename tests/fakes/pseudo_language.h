#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/translate.h"

namespace dpc::test {

inline constexpr char kMarkOpen[] = "\xE2\x9F\xA6";   // U+27E6
inline constexpr char kMarkClose[] = "\xE2\x9F\xA7";  // U+27E7

// A pseudo-language: every text it is asked for comes back marked, so a test can find any text
// that reached the operator without passing through the translator.
class PseudoDictionary : public Dictionary {
 public:
  std::optional<std::string> Lookup(std::string_view english) const override {
    return std::string(kMarkOpen) + std::string(english) + kMarkClose;
  }
};

// The words of `shown` outside every mark that hold a letter, once the values the test itself
// supplied (paths, the system's texts) are taken out; empty when all the rest was translated.
inline std::vector<std::string> UnmarkedWords(std::string shown,
                                              const std::vector<std::string>& values) {
  for (size_t open; (open = shown.find(kMarkOpen)) != std::string::npos;) {
    const size_t close = shown.find(kMarkClose, open);
    if (close == std::string::npos) break;
    shown.erase(open, close + std::string_view(kMarkClose).size() - open);
  }
  for (const std::string& value : values) {
    if (value.empty()) continue;
    for (size_t at; (at = shown.find(value)) != std::string::npos;) shown.erase(at, value.size());
  }
  std::vector<std::string> words;
  std::string word;
  bool letter = false;
  for (const char c : shown + ' ') {
    if (c == ' ' || c == '\r' || c == '\n' || c == '\t') {
      if (letter) words.push_back(word);
      word.clear();
      letter = false;
      continue;
    }
    word += c;
    letter = letter || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  }
  return words;
}

}  // namespace dpc::test
