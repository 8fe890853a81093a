#include "platform/text_error.h"

#include <utility>

namespace dpc {

namespace {

template <typename Values>
std::string Fill(std::string_view pattern, const Values& values) {
  std::string text;
  text.reserve(pattern.size());
  auto next = values.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      const char kind = pattern[i + 1];
      if (kind == '%') {
        text += '%';
        ++i;
        continue;
      }
      if ((kind == 's' || kind == 'd') && next != values.end()) {
        text += *next++;
        ++i;
        continue;
      }
    }
    text += c;
  }
  return text;
}

}  // namespace

std::string FillPattern(std::string_view pattern, std::initializer_list<std::string_view> values) {
  return Fill(pattern, values);
}

std::string FillPattern(std::string_view pattern, const std::vector<std::string>& values) {
  return Fill(pattern, values);
}

TextError::TextError(const char* pattern, std::vector<std::string> values)
    : std::runtime_error(Fill(pattern, values)), pattern_(pattern), values_(std::move(values)) {}

}  // namespace dpc
