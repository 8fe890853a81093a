#include "maintenance/file_copy.h"

#include "platform/scope_exit.h"

namespace dpc {
namespace {

OsError NotTheListedFile() {
  return OsError{1006, "GetFileInformationByHandle",
                 "The file was replaced by another after the folder was read."};
}

}  // namespace

Permissions CarriedPermissions(const Security& security, bool everyEntry) {
  Permissions permissions{security.ownerSid, everyEntry || security.isProtected, {}};
  for (const Ace& ace : security.dacl.value_or(std::vector<Ace>{})) {
    if (ace.inherited() && !everyEntry) continue;
    Ace own = ace;
    own.flags = static_cast<uint8_t>(own.flags & ~Ace::kInherited);
    permissions.entries.push_back(std::move(own));
  }
  return permissions;
}

FileOutcome CopyOneFile(FileHandle& oldFolder, FileHandle& newFolder, const FolderEntry& entry,
                        const CopyProgressCallback& progress) {
  using Kind = FileOutcome::Kind;
  const auto failed = [](const OsError& error) { return FileOutcome{Kind::Failed, error, {}}; };
  auto source = oldFolder.Open(entry.name, OpenAs::kFile);
  if (!source) return failed(source.error());
  const auto info = (*source)->FileDetails();
  if (!info) return failed(info.error());
  if (info->IsLink()) return {Kind::Link, std::nullopt, {}};
  if (entry.fileId != 0 && info->identity.fileIndex != entry.fileId) {
    return {Kind::Changed, NotTheListedFile(), {}};
  }
  if ((info->attributes & file_attribute::kEncrypted) != 0) return {Kind::Encrypted, {}, {}};
  const auto security = (*source)->ReadSecurity();
  if (!security) return failed(security.error());

  FileOutcome outcome{Kind::Copied, std::nullopt, {}};
  CopiedFile& file = outcome.file;
  file.sourceId = info->identity.fileIndex;
  file.size = info->size;
  file.lastWrite = info->times.lastWrite;
  file.attributes = info->attributes;
  // A file with more names than this one keeps its whole list: what it inherited came from
  // another folder, which the new place would not pass on.
  file.permissions = CarriedPermissions(*security, info->links > 1);

  // A reparse point that holds data (deduplicated, in the cloud) is read through its filter: the
  // reparse point's own bytes are a stub. It must still be the file the listing showed.
  FileHandle* data = source->get();
  std::unique_ptr<FileHandle> through;
  if (info->IsReparsePoint()) {
    auto opened = oldFolder.Open(entry.name, OpenAs::kFileData);
    if (!opened) return failed(opened.error());
    const auto reached = (*opened)->FileDetails();
    if (!reached) return failed(reached.error());
    if (!(reached->identity == info->identity)) return {Kind::Changed, NotTheListedFile(), {}};
    through = std::move(*opened);
    data = through.get();
  }

  auto made = newFolder.Create(entry.name, false);
  if (!made) {
    const uint32_t code = made.error().code;
    if (code == os_code::kFileExists || code == os_code::kAlreadyExists) {
      outcome.kind = Kind::Preexisting;
      return outcome;
    }
    return failed(made.error());
  }
  FileHandle& target = **made;
  // Whatever ends the copy early, the half-made file goes, through its own handle: its name may
  // lead elsewhere by now.
  bool complete = false;
  const ScopeExit removeUnlessComplete([&] {
    if (!complete) (void)target.Delete();
  });
  std::vector<ByteRange> ranges;
  if ((info->attributes & file_attribute::kSparse) != 0) {
    if (auto allocated = data->AllocatedRanges(); allocated && target.MakeSparse()) {
      ranges = std::move(*allocated);
      // An empty sparse file holds no range; its size alone is carried.
      if (ranges.empty()) ranges.push_back({0, 0});
    }
  }
  if (const OsStatus copied = data->CopyData(target, ranges, info->size, progress); !copied) {
    return failed(copied.error());
  }
  const auto streams = data->Streams();
  if (!streams) return failed(streams.error());
  for (const StreamEntry& stream : *streams) {
    auto from = data->OpenStream(stream.name);
    if (!from) return failed(from.error());
    auto to = target.CreateStream(stream.name);
    if (!to) return failed(to.error());
    if (const OsStatus copied = (*from)->CopyData(**to, {}, 0, {}); !copied) {
      return failed(copied.error());
    }
  }
  // The read-only mark goes on with the rest, once the data is complete.
  if (const OsStatus basics = target.SetBasics(info->attributes & kCarriedAttributes, info->times);
      !basics) {
    return failed(basics.error());
  }
  const auto madeInfo = target.FileDetails();
  if (!madeInfo) return failed(madeInfo.error());
  file.copyId = madeInfo->identity.fileIndex;
  complete = true;
  return outcome;
}

}  // namespace dpc
