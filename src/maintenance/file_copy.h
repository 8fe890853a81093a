#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace dpc {

// An object's permissions as a move carries them to its copy: the owner, whether the list is
// protected, and the entries to set. Below the top these are the object's own entries, and the
// copy inherits the rest from its new parent.
struct Permissions {
  std::string ownerSid;
  bool isProtected = false;
  std::vector<Ace> entries;
};

// The entries an object keeps when it moves: its own, or every entry it holds now (inherited
// ones written as its own) where its place would not pass the same on.
Permissions CarriedPermissions(const Security& security, bool everyEntry);

// What the copy of one file found and made.
struct CopiedFile {
  uint64_t sourceId = 0;  // the old file's index on its volume, size and times as copied
  uint64_t size = 0;
  uint64_t lastWrite = 0;
  uint32_t attributes = 0;
  uint64_t copyId = 0;  // the new file's index; 0 for a file that stood there before
  Permissions permissions;
};

// How the copy of one file ended.
struct FileOutcome {
  enum class Kind {
    Copied,
    Preexisting,  // a file stood at the new name: left as it was, to be compared
    Link,         // the name was a link when it was opened
    Changed,      // the name led to another file than the listing showed
    Encrypted,    // refused: its copy could not be read back as it is
    Failed,
  };
  Kind kind = Kind::Failed;
  std::optional<OsError> error;
  CopiedFile file;
};

// The attributes a copy carries; compressed follows the new folder, and encryption is refused.
inline constexpr uint32_t kCarriedAttributes =
    file_attribute::kReadOnly | file_attribute::kHidden | file_attribute::kSystem |
    file_attribute::kArchive | file_attribute::kNotContentIndexed | file_attribute::kTemporary;

// Copies the file `entry` of the old folder into the new folder, through their handles: made new
// (never over an existing file), with its data (the allocated ranges of a sparse file where the
// new drive keeps files sparse), its named streams, attributes and times; the read-only mark
// comes last. A failed copy removes the file it made, through its own handle. `progress` runs
// after each chunk; a throw from it removes the file and is raised again.
FileOutcome CopyOneFile(FileHandle& oldFolder, FileHandle& newFolder, const FolderEntry& entry,
                        const CopyProgressCallback& progress);

}  // namespace dpc
