#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"
#include "platform/shell.h"
#include "platform/xml.h"
#include "i18n/translate.h"

namespace dpc {

// Where the server keeps its interface language, and what reads it.
struct LanguageSources {
  FileSystem& files;
  XmlParser& xml;
  Shell& shell;
  std::string controllerFolder;  // ends with a backslash
};

// Selects the interface language that the server's settings ticket names and returns its locale
// identifier. For now the controller speaks English only: the choice is always 1033, the
// translator passes every text through, and the ticket is not read. Reading the ticket and
// choosing a dictionary plug in here without changing the callers.
uint32_t SelectInterfaceLanguage(const LanguageSources& sources, Translator& translator);

}  // namespace dpc
