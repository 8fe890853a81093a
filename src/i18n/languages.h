#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "i18n/translate.h"

// The interface languages besides English, the source language: Windows locale identifier, the
// stem of the translation file po/<stem>.po, and the language's name. Adding a language is adding
// a row here and its translation file; the build reads this list to compile the catalogues.
#define DPC_INTERFACE_LANGUAGES(X)        \
  X(1028, zh_TW, "Chinese (Traditional)") \
  X(1031, de, "German")                   \
  X(1036, fr, "French")                   \
  X(1040, it, "Italian")                  \
  X(1041, ja, "Japanese")                 \
  X(1042, ko, "Korean")                   \
  X(2052, zh_CN, "Chinese (Simplified)")  \
  X(3082, es, "Spanish (modern sort)")

namespace dpc {

struct InterfaceLanguage {
  uint32_t lcid;
  std::string_view name;
  std::string_view catalogue;  // the compiled .mo, built into the executable
};

// The rows of the table above, in its order.
std::span<const InterfaceLanguage> InterfaceLanguages();

// True for English and every language of the table.
bool IsInterfaceLanguage(uint32_t lcid);

// The dictionary for a language of the table; nullptr for English or any other identifier.
// Catalogues are read once per process and shared: a dictionary never changes.
std::shared_ptr<const Dictionary> DictionaryFor(uint32_t lcid);

}  // namespace dpc
