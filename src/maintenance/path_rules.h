#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "i18n/translate.h"
#include "platform/code_page.h"
#include "platform/file_system.h"

namespace dpc {

// An absolute path on a drive taken apart: "D:\Data\Jobs" is drive 'D' and the names Data, Jobs.
struct DrivePath {
  char drive = 0;  // 'A'..'Z'
  std::vector<std::string> names;

  bool IsRoot() const { return names.empty(); }
  // "D:\Data\Jobs"; "D:\" for the root.
  std::string ToString() const;
  DrivePath Prefix(size_t nameCount) const;
};

enum class PathForm { Drive, Empty, Relative, Network, BadName };

struct ParsedPath {
  PathForm form = PathForm::Empty;
  DrivePath path;  // for PathForm::Drive
};

// Lexical only, as Windows itself tidies a path: "\" and "/" separate, repeated separators count
// once, "." is dropped and ".." goes up (never above the drive). A name that Windows would alter
// or refuse (a character of \/:*?"<>| or below blank, a trailing blank or dot, a device name
// such as CON or LPT1) makes the path BadName.
ParsedPath ParsePath(std::string_view text);

enum class PathRelation { Apart, Same, Inside, Contains };
// How a stands to b (Inside: a lies below b). Names compare without regard to the case of A-Z.
PathRelation Relate(const DrivePath& a, const DrivePath& b);

enum class CharacterVerdict { Fine, Markup, NotInCodePage, ReadAsAnother };
struct CharacterCheck {
  CharacterVerdict verdict = CharacterVerdict::Fine;
  std::string character;  // ReadAsAnother: the first one at fault, in UTF-8
};
// Whether the path can be written into the ticket: `&`, `<` and `>` would break its XML; every
// character must have its form in the ANSI code page, in which the ticket is written; and a
// character beyond ASCII only where the ticket's declared encoding writes it as the same bytes,
// so that the server's XML reader sees the same text ("ä" is 0xE4 in both windows-1252 and
// ISO-8859-1, "€" only in the first).
CharacterCheck CheckCharacters(const std::string& path, AnsiCodePage& codePage,
                               uint32_t ticketCodePage);

// A folder that a move must keep apart from: another row's, the ticket's or the application's.
struct OtherFolder {
  std::string_view label;  // English caption, translated when shown
  std::string path;
};

struct FolderChoice {
  std::string storedValue;  // the row's current folder
  std::string typedPath;    // as the operator typed or chose it
  std::vector<OtherFolder> others;
  uint32_t ticketCodePage = 65001;  // SettingsTicket::DeclaredCodePage
};

struct PathVerdict {
  bool accepted = false;
  std::string message;  // translated, when refused
  std::string newPath;  // when accepted: the new folder tidied, as it is to be written
};

// The rules a new folder must meet before anything is copied or written.
class PathRules {
 public:
  PathRules(FileSystem& files, AnsiCodePage& codePage, const Translator& translator);
  PathVerdict Check(const FolderChoice& choice);

 private:
  struct Known;  // a path with its long-name form and the identities along it
  Known Inspect(const DrivePath& path);
  PathRelation RelateKnown(const Known& a, const Known& b);
  PathVerdict Refuse(std::string_view pattern, std::initializer_list<std::string_view> args);

  FileSystem& files_;
  AnsiCodePage& codePage_;
  const Translator& translator_;
};

}  // namespace dpc
