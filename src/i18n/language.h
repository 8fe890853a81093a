#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "i18n/translate.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/xml.h"

namespace dpc {

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
// enough for every menu opening. A ticket that cannot be parsed, or has no System element, ends
// the selection with the previous language kept; its failure is to be shown once per version of
// the file and logged after that. User-interface thread only.
class LanguageSelector {
 public:
  explicit LanguageSelector(LanguageSources sources);

  // Selects the language into the translator, with its dictionary.
  LanguageOutcome Select(Translator& translator);

 private:
  struct Ticket {
    std::string path;
    std::optional<FileStamp> stamp;      // of the version read last
    std::string code;                    // its CountryCode text
    std::optional<std::string> failure;  // why that version could not be read
    bool reported = false;               // its failure has been shown
  };

  void ResolvePaths();
  void Read(Ticket& ticket, const FileStamp& stamp, const Translator& translator);

  LanguageSources sources_;
  std::vector<Ticket> tickets_;
};

}  // namespace dpc
