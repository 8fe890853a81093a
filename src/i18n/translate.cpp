#include "i18n/translate.h"

#include <utility>

namespace dpc {

std::string Translator::Translate(std::string_view english) const {
  if (dictionary_) {
    if (auto found = dictionary_->Lookup(english)) return std::move(*found);
  }
  return std::string(english);
}

std::string Translator::Format(std::string_view pattern,
                               std::initializer_list<std::string_view> args) const {
  return FillPlaceholders(Translate(pattern), args);
}

void Translator::Select(uint32_t lcid, std::shared_ptr<const Dictionary> dictionary) {
  if (lcid == lcid_ && dictionary == dictionary_) return;
  lcid_ = lcid;
  dictionary_ = std::move(dictionary);
  ++generation_;
}

std::string FillPlaceholders(std::string_view pattern,
                             std::initializer_list<std::string_view> args) {
  std::string text;
  text.reserve(pattern.size());
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size()) {
      const char kind = pattern[i + 1];
      if (kind == '%') {
        text += '%';
        ++i;
        continue;
      }
      if ((kind == 's' || kind == 'd') && next != args.end()) {
        text += *next++;
        ++i;
        continue;
      }
    }
    text += c;
  }
  return text;
}

}  // namespace dpc
