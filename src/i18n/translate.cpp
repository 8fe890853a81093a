#include "i18n/translate.h"

#include <utility>

namespace dpc {

Translator& Translator::Instance() {
  static Translator translator;
  return translator;
}

void Translator::SwitchOn() {
  std::lock_guard lock(mutex_);
  on_ = true;
}

void Translator::SelectDictionary(std::shared_ptr<const Dictionary> dictionary) {
  std::lock_guard lock(mutex_);
  dictionary_ = std::move(dictionary);
}

std::string Translator::Translate(const std::string& english) const {
  std::shared_ptr<const Dictionary> dictionary;
  {
    std::lock_guard lock(mutex_);
    if (!on_ || !dictionary_) return english;
    dictionary = dictionary_;  // looked up outside the lock: a dictionary may be slow
  }
  return dictionary->Lookup(english).value_or(english);
}

std::string Translate(const std::string& english) {
  return Translator::Instance().Translate(english);
}

std::string TranslateFormat(const std::string& pattern, const std::string& argument) {
  std::string text = Translate(pattern);
  const size_t slot = text.find("%s");
  if (slot != std::string::npos) text.replace(slot, 2, argument);
  return text;
}

}  // namespace dpc
