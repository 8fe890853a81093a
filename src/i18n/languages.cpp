#include "i18n/languages.h"

#include <array>
#include <cstddef>

#include "i18n/mo_catalog.h"

// The compiled catalogues, generated from po/<stem>.po at build time.
namespace dpc::catalogue {
#define DPC_DECLARE_CATALOGUE(lcid, stem, name) \
  extern const unsigned char stem[];            \
  extern const std::size_t stem##_size;
DPC_INTERFACE_LANGUAGES(DPC_DECLARE_CATALOGUE)
#undef DPC_DECLARE_CATALOGUE
}  // namespace dpc::catalogue

namespace dpc {

namespace {

#define DPC_LANGUAGE_ROW(lcid, stem, name) \
  {lcid, name,                             \
   std::string_view(reinterpret_cast<const char*>(catalogue::stem), catalogue::stem##_size)},
const InterfaceLanguage kLanguages[] = {DPC_INTERFACE_LANGUAGES(DPC_LANGUAGE_ROW)};
#undef DPC_LANGUAGE_ROW

constexpr size_t kLanguageCount = std::size(kLanguages);

}  // namespace

std::span<const InterfaceLanguage> InterfaceLanguages() { return kLanguages; }

bool IsInterfaceLanguage(uint32_t lcid) {
  if (lcid == kEnglishLcid) return true;
  for (const auto& language : kLanguages)
    if (language.lcid == lcid) return true;
  return false;
}

std::shared_ptr<const Dictionary> DictionaryFor(uint32_t lcid) {
  // Parsed on first use; a catalogue that does not parse leaves its language in English.
  static const auto dictionaries = [] {
    std::array<std::shared_ptr<const Dictionary>, kLanguageCount> parsed;
    for (size_t i = 0; i < kLanguageCount; ++i)
      parsed[i] = MoCatalog::Parse(kLanguages[i].catalogue);
    return parsed;
  }();
  for (size_t i = 0; i < kLanguageCount; ++i)
    if (kLanguages[i].lcid == lcid) return dictionaries[i];
  return nullptr;
}

}  // namespace dpc
