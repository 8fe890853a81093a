#include "i18n/language.h"


namespace dpc {

uint32_t SelectInterfaceLanguage(const LanguageSources&, Translator& translator) {
  translator.Select(kEnglishLcid, nullptr);
  return kEnglishLcid;
}

}  // namespace dpc
