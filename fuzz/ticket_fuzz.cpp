// The settings ticket's reader and rewriter on arbitrary bytes. Input parts (NUL-separated):
// ticket bytes, old path, new path, a flags byte (row; how many replace attempts fail, with
// which code).
#include <cstddef>
#include <cstdint>

#include "fakes/fake_clock.h"
#include "fakes/fake_file_system.h"
#include "fakes/fake_system.h"
#include "fuzz/fuzz_input.h"
#include "maintenance/ticket.h"

using dpc::fuzz::Require;

namespace {

constexpr const char* kTicket = "C:\\ProgramData\\Durvin\\Proof\\Server\\Tickets\\SYS_0000.xml";

void CheckTextFunctions(const std::string& bytes, const std::string& oldText,
                        const std::string& newText) {
  Require(dpc::UndoubleBackslashes(dpc::DoubleBackslashes(oldText)) == oldText,
          "escaping reverses");
  const dpc::LinesRewrite rewrite = dpc::ReplaceInLines(bytes, oldText, newText);
  Require(rewrite.bytes.empty() || rewrite.bytes.ends_with("\r\n"), "lines end with CR LF");
  if (rewrite.replaced == 0) {
    Require(dpc::JoinTicketLines(rewrite.bytes) == dpc::JoinTicketLines(bytes),
            "an unmatched rewrite keeps every byte but line ends");
  }
  for (const dpc::FolderRow& row : dpc::kFolderRows) {
    std::string value = "unchanged";
    dpc::ExtractTagValue(dpc::JoinTicketLines(bytes), row.openTag, row.closeTag, value);
  }
  if (auto encoding = dpc::DeclaredEncoding(bytes)) dpc::CodePageOfEncoding(*encoding);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const dpc::fuzz::Parts parts(data, size);
  const std::string& bytes = parts[0];
  const uint8_t flags = parts.Byte(3);
  const dpc::FolderRow& row = dpc::kFolderRows[flags % dpc::kFolderRows.size()];
  const std::string open(row.openTag), close(row.closeTag);
  CheckTextFunctions(bytes, parts[1], parts[2]);

  dpc::test::FakeFileSystem files;
  dpc::test::FakeShell shell;
  dpc::test::FakeAnsiCodePage codePage;
  dpc::test::FakeClock clock;
  shell.specialFolders[dpc::SpecialFolder::CommonAppData] = "C:\\ProgramData";
  files.AddFile(kTicket, bytes);
  const int failures = (flags >> 3) % (dpc::SettingsTicket::kReplaceAttempts + 2);
  const uint32_t code = (flags & 0x80) ? 32 : 5;
  files.replaceErrors.assign(static_cast<size_t>(failures), dpc::OsError{code, "MoveFileExW", ""});

  dpc::SettingsTicket ticket(files, shell, codePage, clock);
  const dpc::FolderSettings before = ticket.ReadFolderSettings();
  Require(before.present, "the ticket is there");
  ticket.DeclaredCodePage();
  const std::string newPath = parts[2];
  const dpc::TicketRewrite rewrite =
      ticket.ReplaceInTicket(open + parts[1] + close, open + newPath + close,
                             dpc::ExpectedValue{row.openTag, row.closeTag, newPath});

  Require(files.Exists(kTicket), "the ticket is never missing");
  Require(!files.Exists(ticket.ScratchPath()), "no scratch file is left");
  if (rewrite.written) {
    Require(rewrite.replaced == 1, "one element replaced");
    Require(ticket.ReadFolderSettings().Folder(row.number) == newPath, "the new path reads back");
  } else {
    Require(files.Content(kTicket) == bytes, "an unwritten ticket keeps its bytes");
  }
  return 0;
}
