#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "i18n/languages.h"
#include "i18n/translate.h"
#include "platform/failure.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "platform/xml.h"

namespace dpc {

using DictionaryLookup = std::function<std::shared_ptr<const Dictionary>(uint32_t lcid)>;

// Where the server keeps its interface language, and what reads it.
struct LanguageSources {
  FileSystem& files;
  XmlParser& xml;
  Shell& shell;
  std::string controllerFolder;  // ends with a backslash
};

// How the caller reports a selection that failed.
enum class LanguageReport {
  kNone,     // the language was selected
  kShow,     // first failure of this version of the ticket: the general error box and the log
  kLogOnly,  // the same ticket, unchanged, failed again: the trace log only
};

struct LanguageOutcome {
  uint32_t lcid = kEnglishLcid;  // the language in force after the call
  LanguageReport report = LanguageReport::kNone;
  std::string failure;  // the operator's message, in the language in force; empty with kNone
  std::string logText;  // the same in English, for the trace log
  // English trace lines for unreadable tickets passed over because a later one was read; each
  // version of a ticket is named once.
  std::vector<std::string> skipped;
};

// Follows the interface language that the server's settings tickets name. Reads, in this order,
// each existing one replacing the language code of the one before:
//   1. <controller folder>Tickets\SYS_0000.xml
//   2. <common application data>\Kelvra\Kelvra Tarn\Server\Tickets\SYS_0000.xml
//   3. <common application data>\Durvin\Proof\Server\Tickets\SYS_0000.xml (the settings ticket)
// The code is the text of document element > System > CountryCode, a decimal locale identifier;
// anything but a language of the table in languages.h (or no code at all) is English.
//
// Each Select re-reads a ticket only when its size or last-write time changed, so it is cheap
// enough for every menu opening. A ticket that cannot be parsed, or has no System element, is
// passed over when a later one is readable (the later one would replace its code anyway);
// otherwise the selection ends with the previous language kept, and the failure is to be shown
// once per version of the file and logged after that. User-interface thread only.
class LanguageSelector {
 public:
  // `dictionaries` gives the dictionary of a language of the table (nullptr for English): the
  // built-in catalogues, or a test's own.
  explicit LanguageSelector(LanguageSources sources, DictionaryLookup dictionaries = DictionaryFor);

  // Selects the language into the translator, with its dictionary.
  LanguageOutcome Select(Translator& translator);

 private:
  struct Ticket {
    std::string path;
    std::optional<FileStamp> stamp;  // of the version read last
    std::string code;                // its CountryCode text
    std::optional<Failure> failure;  // why that version could not be read
    bool reported = false;           // its failure has been shown
    bool skipLogged = false;         // its being passed over has been logged
  };

  void ResolvePaths();
  void Read(Ticket& ticket, const FileStamp& stamp);

  LanguageSources sources_;
  DictionaryLookup dictionaries_;
  std::vector<Ticket> tickets_;
};

}  // namespace dpc
