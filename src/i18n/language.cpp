#include "i18n/language.h"

#include "i18n/translate.h"

namespace dpc {

uint32_t SelectInterfaceLanguage(const LanguageSources&) {
  Translator::Instance().SelectDictionary(nullptr);
  return kEnglishLcid;
}

}  // namespace dpc
