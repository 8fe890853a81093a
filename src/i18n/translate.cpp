#include "i18n/translate.h"

#include <utility>

#include "platform/text_error.h"

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
  return FillPattern(pattern, args);
}

}  // namespace dpc
