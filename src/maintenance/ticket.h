#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include <string>
#include <string_view>

#include "maintenance/folder_rows.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/file_system.h"
#include "platform/shell.h"

namespace dpc {

// The server's folders as the settings ticket names them, unescaped and in UTF-8; empty when the
// ticket or the element is missing.
struct FolderSettings {
  bool present = false;
  std::string ReferenceProfiles;
  std::string PaperProfiles;
  std::string Job;
  std::string Print;
  std::string Temp;
  std::string ApplicationFolder;

  // The folder of dialog row 1..5.
  const std::string& Folder(int row) const;
  std::string& Folder(int row);
};

// The ticket's text handling, on its raw bytes in the ANSI code page.

// The file's lines joined with nothing between them; a line ends with LF or CR LF.
std::string JoinTicketLines(std::string_view bytes);
// The text between the first opening tag and the first closing tag of the whole text, tags
// matched literally and with letter case; empty when the closing tag is missing or stands before
// the value. `value` stays as it was when the opening tag is missing.
void ExtractTagValue(std::string_view text, std::string_view openTag, std::string_view closeTag,
                     std::string& value);
// Every pair of backslashes becomes one, scanning left to right.
std::string UndoubleBackslashes(std::string_view stored);
std::string DoubleBackslashes(std::string_view path);

struct LinesRewrite {
  std::string bytes;  // every line followed by CR LF
  int replaced = 0;
};
// Replaces, line by line, every occurrence of oldText (letter case of A-Z not counting) by
// newText; every other byte stays as it was.
LinesRewrite ReplaceInLines(std::string_view bytes, std::string_view oldText,
                            std::string_view newText);

// The encoding the XML declaration at the start of the text names, in lower case; nullopt
// without a declaration or without an encoding in it (the document is then UTF-8).
std::optional<std::string> DeclaredEncoding(std::string_view bytes);
// The Windows code page of an encoding name ("windows-1252" 1252, "utf-8" 65001); nullopt for
// names it does not know.
std::optional<uint32_t> CodePageOfEncoding(std::string_view name);

struct ProductGuidResult {
  bool exists = false;      // "ProfileUpdater.xml" was found
  std::string ProductGuid;  // "{" + the element's text + "}", braces also without the element
};

// What one rewrite did.
struct TicketRewrite {
  int replaced = 0;      // elements matched in the ticket
  bool written = false;  // the ticket now holds the rewritten text
  std::optional<OsError> error;
  // The error came from a file of ours beside the ticket (the scratch file or the backup): one
  // left there could not be removed, or ours could not be made afresh. The ticket was not
  // touched. Empty otherwise.
  std::string refusedFile;
  // The swap failed half way and neither the old ticket nor the new one could be put back at the
  // ticket's name: the old content is in the backup file, the new one in the scratch file.
  bool ticketMissing = false;
};

// The value a rewrite must leave in the ticket for it to be written.
struct ExpectedValue {
  std::string_view openTag;
  std::string_view closeTag;
  std::string path;  // UTF-8
};

// The server's settings ticket "SYS_0000.xml" and the companion "ProfileUpdater.xml".
class SettingsTicket {
 public:
  SettingsTicket(FileSystem& files, Shell& shell, AnsiCodePage& codePage, Clock& clock);

  // Sets TicketFolder. Throws SystemError when the ticket exists but cannot be read.
  FolderSettings ReadFolderSettings();
  // Throws SystemError when the file cannot be read.
  std::string ReadTicketText(const std::string& path);
  // Throws SystemError when the file exists but cannot be read.
  ProductGuidResult ReadProductGuid(const std::string& applicationFolder);

  // Rewrites the ticket with every oldElement (opening tag, unescaped path, closing tag) replaced
  // by newElement. Nothing is written when no element matched or, with `expected`,
  // unless exactly one matched and the new text reads back as the expected value. The new text
  // goes to "SYS_0000.tmp", made afresh by this call (whatever stood there is removed first), is
  // flushed, and replaces the ticket in one step that keeps the ticket's owner and permissions
  // where the file system allows it, and its read-only and hidden attributes; the old ticket
  // passes through "SYS_0000.bak", removed first like the scratch file. On failure the error
  // comes back, and whatever the swap left behind is put back at the ticket's name: the old
  // ticket, else the new one (which is then written).
  TicketRewrite ReplaceInTicket(const std::string& oldElement, const std::string& newElement,
                                const std::optional<ExpectedValue>& expected = std::nullopt);

  // The code page the ticket's XML declaration names: 65001 without a declaration or encoding
  // (XML's default), 0 for an encoding this code does not know or a ticket that cannot be read.
  uint32_t DeclaredCodePage();

  std::string TicketPath() const { return TicketFolder + "\\SYS_0000.xml"; }
  std::string ScratchPath() const { return TicketFolder + "\\SYS_0000.tmp"; }
  std::string BackupPath() const { return TicketFolder + "\\SYS_0000.bak"; }

  std::string TicketFolder;

  // A replace that meets a sharing violation is tried this often, this far apart.
  static constexpr int kReplaceAttempts = 10;
  static constexpr uint32_t kReplaceRetryMs = 100;

 private:
  std::optional<OsError> RemoveLeftOver(const std::string& path);
  std::optional<OsError> HoldTicketFolder(std::vector<std::unique_ptr<FileHandle>>& held);
  std::optional<OsError> ReplaceWithRetry();

  FileSystem& files_;
  Shell& shell_;
  AnsiCodePage& codePage_;
  Clock& clock_;
};

}  // namespace dpc
