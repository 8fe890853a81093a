// The path rules on arbitrary text. Input parts (NUL-separated): the stored folder, the new
// text, another row's folder, a flags byte (code page, drive kind, declared encoding).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fakes/fake_file_system.h"
#include "fuzz/fuzz_input.h"
#include "i18n/translate.h"
#include "maintenance/path_rules.h"

using dpc::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const dpc::fuzz::Parts parts(data, size);
  const uint8_t flags = parts.Byte(3);

  // Parsing is a fixed point: a tidied path parses to itself.
  for (size_t i = 0; i < 3; ++i) {
    const dpc::ParsedPath parsed = dpc::ParsePath(parts[i]);
    if (parsed.form != dpc::PathForm::Drive) continue;
    const std::string tidied = parsed.path.ToString();
    const dpc::ParsedPath again = dpc::ParsePath(tidied);
    Require(again.form == dpc::PathForm::Drive && again.path.ToString() == tidied,
            "tidied paths parse to themselves");
    Require(dpc::Relate(parsed.path, again.path) == dpc::PathRelation::Same, "same as itself");
  }

  dpc::test::FakeFileSystem files;
  files.AddFolder("C:\\Data\\Jobs\\Sub");
  files.AddFolder("C:\\Data\\Temp");
  files.AddFile("D:\\file.txt", "x");
  files.AddAlias("C:\\DATA~1", "C:\\Data");
  files.AddAlias("D:\\Link", "C:\\Data\\Jobs");
  const dpc::ParsedPath stored = dpc::ParsePath(parts[0]);
  if (stored.form == dpc::PathForm::Drive && !stored.path.IsRoot()) {
    files.AddFolder(stored.path.ToString());
  }
  static constexpr dpc::DriveKind kKinds[] = {dpc::DriveKind::Fixed, dpc::DriveKind::Network,
                                              dpc::DriveKind::Substituted};
  files.drives['E'] = kKinds[(flags >> 2) % 3];
  dpc::test::FakeAnsiCodePage codePage;
  static constexpr uint32_t kCodePages[] = {1252, 932, 65001, 1250};
  // The ticket's declared encodings besides: ISO-8859-1, and one this code does not know.
  static constexpr uint32_t kTicketCodePages[] = {1252, 28591, 65001, 0};
  codePage.identifier = kCodePages[flags & 3];
  dpc::Translator translator;
  dpc::PathRules rules(files, codePage, translator);

  const uint32_t ticketCodePage = kTicketCodePages[(flags >> 4) & 3];
  const dpc::PathVerdict verdict =
      rules.Check({parts[0], parts[1], {{"Temporary files:", parts[2]}}, ticketCodePage});
  Require(verdict.accepted == verdict.message.empty(), "a refusal says why");
  if (!verdict.accepted) return 0;
  const dpc::ParsedPath target = dpc::ParsePath(verdict.newPath);
  Require(target.form == dpc::PathForm::Drive && !target.path.IsRoot(), "a folder on a drive");
  Require(target.path.ToString() == verdict.newPath, "the new path is tidy");
  Require(verdict.newPath.find_first_of("&<>") == std::string::npos, "nothing that breaks XML");
  const bool ascii = std::all_of(verdict.newPath.begin(), verdict.newPath.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  Require(ascii || codePage.Encode(ticketCodePage, verdict.newPath) ==
                       codePage.FromUtf8(verdict.newPath),
          "the server reads the bytes written as the same text");
  Require(files.DriveType(target.path.drive) == dpc::DriveKind::Fixed, "a fixed drive");
  Require(dpc::Relate(target.path, stored.path) == dpc::PathRelation::Apart, "apart from the old");
  const dpc::ParsedPath other = dpc::ParsePath(parts[2]);
  if (other.form == dpc::PathForm::Drive) {
    Require(dpc::Relate(target.path, other.path) == dpc::PathRelation::Apart,
            "apart from the other folder");
  }
  return 0;
}
